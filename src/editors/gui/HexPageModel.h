#pragma once
// One page of the image as the three grids of the hex editor show it. The
// page holds only the 256 shown bytes; nothing grows with the image.
#include <array>
#include <cstdint>

#include "editors/gui/PageGrid.h"

namespace tesmar {

struct HexPage {
    std::uint32_t offset = 0;            // buffer offset of the first shown byte
    std::array<std::uint8_t, 256> bytes{};
    int valid = 0;                       // shown bytes that lie inside the view
};

class HexPageModel : public PageGridModel {
public:
    enum class Kind { Address, Hex, Characters };

    HexPageModel(const HexPage& page, Kind kind, QObject* parent = nullptr);

protected:
    int cellColumns() const override { return 16; }
    QString addressText(int row) const override;
    QString cellText(int row, int col) const override;

private:
    const HexPage& page_;
    Kind kind_;
};

}  // namespace tesmar
