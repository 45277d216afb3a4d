#include "editors/gui/HexPageModel.h"

#include "editors/HexEditing.h"

namespace tesmar {

HexPageModel::HexPageModel(const HexPage& page, Kind kind, QObject* parent)
    : PageGridModel(16, kind == Kind::Address, parent), page_(page), kind_(kind) {}

QString HexPageModel::addressText(int row) const {
    if (row * 16 >= page_.valid) return QString();
    return hex8(page_.offset + std::uint32_t(row) * 16);
}

QString HexPageModel::cellText(int row, int col) const {
    const int i = row * 16 + col;
    if (i >= page_.valid) return QString();
    const std::uint8_t b = page_.bytes[std::size_t(i)];
    return kind_ == Kind::Hex ? hex2(b) : QString(byteCharacter(b));
}

}  // namespace tesmar
