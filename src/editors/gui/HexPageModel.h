#pragma once
// One page of the image as the three grids of the hex editor show it. The
// page holds only the 256 shown bytes; nothing grows with the image.
#include <QAbstractTableModel>
#include <array>
#include <cstdint>

namespace tesmar {

struct HexPage {
    std::uint32_t offset = 0;            // buffer offset of the first shown byte
    std::array<std::uint8_t, 256> bytes{};
    int valid = 0;                       // shown bytes that lie inside the view
};

class HexPageModel : public QAbstractTableModel {
public:
    enum class Kind { Address, Hex, Characters };

    HexPageModel(const HexPage& page, Kind kind, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The page changed: every cell is redrawn.
    void pageChanged();
    // One byte of the page changed.
    void cellChanged(int row, int col);

private:
    const HexPage& page_;
    Kind kind_;
};

}  // namespace tesmar
