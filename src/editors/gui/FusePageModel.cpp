#include "editors/gui/FusePageModel.h"

namespace tesmar {

FusePageModel::FusePageModel(const FusePage& page, Kind kind, QObject* parent)
    : PageGridModel(kFusePageRows, kind == Kind::Address, parent), page_(page), columns_(int(page.columns)) {}

QString FusePageModel::addressText(int row) const {
    const int cols = int(page_.columns);
    if (row * cols >= page_.valid) return QString();
    return QString::number(page_.firstFuse() + std::uint64_t(row) * std::uint64_t(cols));
}

QString FusePageModel::cellText(int row, int col) const {
    const int cols = int(page_.columns);
    const int i = row * cols + col;
    if (col >= cols || i >= page_.valid) return QString();
    return QString(fuseCharacter(page_.cells[std::size_t(i)]));
}

void FusePageModel::pageChanged() {
    if (!isAddressColumn() && columns_ != int(page_.columns)) {
        beginResetModel();
        columns_ = int(page_.columns);
        endResetModel();
        return;
    }
    PageGridModel::pageChanged();
}

}  // namespace tesmar
