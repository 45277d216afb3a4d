#include "editors/gui/FusePageModel.h"

#include <algorithm>

namespace tesmar {

FusePageModel::FusePageModel(const FusePage& page, Kind kind, QObject* parent)
    : QAbstractTableModel(parent), page_(page), kind_(kind), columns_(int(page.columns)) {}

int FusePageModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kFusePageRows; }

int FusePageModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return kind_ == Kind::Address ? 1 : columns_;
}

QVariant FusePageModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    const int cols = int(page_.columns);
    const int row = index.row();
    if (kind_ == Kind::Address) {
        if (row * cols >= page_.valid) return QString();
        return QString::number(page_.firstFuse() + std::uint64_t(row) * std::uint64_t(cols));
    }
    const int i = row * cols + index.column();
    if (index.column() >= cols || i >= page_.valid) return QString();
    return QString(fuseCharacter(page_.cells[std::size_t(i)]));
}

Qt::ItemFlags FusePageModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void FusePageModel::pageChanged() {
    if (kind_ == Kind::Fuses && columns_ != int(page_.columns)) {
        beginResetModel();
        columns_ = int(page_.columns);
        endResetModel();
        return;
    }
    emit dataChanged(index(0, 0), index(rowCount() - 1, std::max(columnCount() - 1, 0)), {Qt::DisplayRole});
}

void FusePageModel::cellChanged(int row, int col) {
    if (kind_ == Kind::Address) return;
    const QModelIndex i = index(row, col);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

}  // namespace tesmar
