#pragma once
// Buffer-side rules of the PLD fuse-map editor. The editor shows the array
// fuses of the map as grid rows of one JEDEC line each (as many fuses as the
// device has rows), sixteen grid rows at a time. Positions are grid rows;
// every offset is checked against the view, which never reaches past the
// array or the allocated image.
#include <QChar>
#include <cstdint>
#include <optional>
#include <vector>

#include "app/AppState.h"
#include "devices/DeviceRecord.h"

namespace tesmar {

constexpr int kFusePageRows = 16;

// What the editor shows of a device's fuse map. Empty (no columns, no rows)
// for a record without fuse geometry.
struct FuseView {
    std::uint32_t columns = 0;  // fuses per grid row
    std::uint32_t rows = 0;     // grid rows of the array
    std::uint64_t fuses() const { return std::uint64_t(columns) * rows; }
};

FuseView fuseEditorView(const DeviceRecord* rec, std::size_t allocated);

// Highest scroll position: one step per grid row, the last showing the last
// full page.
int fuseScrollMaximum(const FuseView& v);

// The top row after each move, or nothing when the view stays.
std::optional<std::uint32_t> fusePageDown(const FuseView& v, std::uint32_t top);
std::optional<std::uint32_t> fusePageUp(std::uint32_t top);
std::optional<std::uint32_t> fuseRowDown(const FuseView& v, std::uint32_t top);
std::optional<std::uint32_t> fuseRowUp(std::uint32_t top);
std::optional<std::uint32_t> fuseScrollTo(const FuseView& v, int position);

// The shown grid rows as fuse values (0 or 1), row by row.
struct FusePage {
    std::uint32_t top = 0;            // grid row shown first
    std::uint32_t columns = 0;
    std::vector<std::uint8_t> cells;  // 16 x columns
    int valid = 0;                    // cells that lie inside the view

    std::uint64_t firstFuse() const { return std::uint64_t(top) * columns; }
};

// Fills the page with the 16 grid rows from `top`.
void loadFusePage(const ImageBuffer& buf, const FuseView& v, std::uint32_t top, FusePage& page);
// Writes the shown cells back as fuse values.
void storeFusePage(ImageBuffer& buf, const FusePage& page);

// The character a fuse shows: '-' blank, 'X' intact.
QChar fuseCharacter(std::uint8_t fuse);
// The fuse value a typed character enters: 'X' or 'x' intact (0), '-' blank
// (1); any other character enters nothing.
std::optional<std::uint8_t> fuseForCharacter(QChar c);

}  // namespace tesmar
