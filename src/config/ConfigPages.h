#pragma once
// The "ID / Configuration" dialog's pages as data: which sheet serves which
// page code, and one row per control (ControlRows.h). The rules the rows
// cannot say (the block-protect list of serial flashes) are named functions
// at the end.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "config/ControlRows.h"

namespace tesmar::config {

// The sheets of the page control, in their order.
enum class Sheet : int {
    Page100, Page130, Page200, Page201, Page202, Page203, Page204, Page204A, Page205, Page206, Page207,
    Page208, Page209, Page212, Page102,
};
constexpr int kSheetCount = 15;
extern const std::array<const char*, kSheetCount> kSheetNames;

// The sheets shown for a page code, first one active; empty for a code without a page.
std::vector<Sheet> sheetsForPageCode(std::uint8_t pageCode);

// Whether this build fills the sheets of a page code (McuPages.h holds the
// microcontroller sheets).
constexpr bool kMcuPagesBuilt = true;
bool sheetBuilt(Sheet sheet);

// Whether Config has a dialog to open for the device: a PIC always has its
// own (PicPages.h), a PLD its fuse view when its algorithm names a fuse
// geometry, every other kind a sheet of its page code. A record that lists
// Config without one would open an empty frame.
bool hasConfigDialog(const DeviceRecord& rec);

// Every control of the pages, parents before children.
std::span<const ControlRow> controlRows();
const ControlRow* findRow(std::string_view name);

// What a page does before its controls are set (hides, moves, renames);
// nullptr for a page with nothing of the kind.
using PageSetup = void (*)(PageContext& ctx);
PageSetup pageSetup(std::uint8_t pageCode);

// Rules of the serial flash page.
extern const Rule kTopBottom;     // after the write the block-protect list follows the new choice
extern const Rule kBlockProtect;  // item and bits by device size (blockProtectItem / writeBlockProtect)

// Serial flash block protection (status bits 4..2, top/bottom bit 5).
constexpr std::uint8_t kBlockProtectBits = 0x1C;
constexpr std::uint8_t kTopBottomBit = 0x20;
// The items for a device size, "Top" (bottom = false) or "Bottom" ranges;
// nullopt for sizes without a range table (the form's own items stay).
std::optional<std::vector<const char*>> blockProtectItems(std::uint32_t lastAddress, bool bottom);
// Sizes without a range table keep the form's items, of which only "None"
// (BP 0) and "All" (every BP bit set) mean the same on every part; the range
// between has no known BP value there and is not offered.
//
// The item the status selects, or nullopt to leave the list as it is (on a
// size without a table: a BP value other than none or all).
std::optional<int> blockProtectItem(std::uint32_t lastAddress, std::uint8_t status);
// The status after choosing item `index`; an item that is not offered, or is
// out of the list, leaves the status as it is.
std::uint8_t writeBlockProtect(std::uint32_t lastAddress, std::uint8_t status, int index);
// Whether item `index` of the list is offered for this size.
bool blockProtectOffered(std::uint32_t lastAddress, int index);
// Lists the block-protect ranges of the device size for the top/bottom choice.
void rebuildBlockProtectItems(PageContext& ctx);

}  // namespace tesmar::config
