#include "editors/gui/HexPageModel.h"

#include "editors/HexEditing.h"

namespace tesmar {

HexPageModel::HexPageModel(const HexPage& page, Kind kind, QObject* parent)
    : QAbstractTableModel(parent), page_(page), kind_(kind) {}

int HexPageModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 16; }

int HexPageModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return kind_ == Kind::Address ? 1 : 16;
}

QVariant HexPageModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    const int row = index.row();
    if (kind_ == Kind::Address) {
        if (row * 16 >= page_.valid) return QString();
        return hex8(page_.offset + std::uint32_t(row) * 16);
    }
    const int i = row * 16 + index.column();
    if (i >= page_.valid) return QString();
    const std::uint8_t b = page_.bytes[std::size_t(i)];
    return kind_ == Kind::Hex ? hex2(b) : QString(byteCharacter(b));
}

Qt::ItemFlags HexPageModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void HexPageModel::pageChanged() {
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::DisplayRole});
}

void HexPageModel::cellChanged(int row, int col) {
    if (kind_ == Kind::Address) return;
    const QModelIndex i = index(row, col);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

}  // namespace tesmar
