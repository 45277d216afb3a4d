#pragma once
// The configuration dialog's pages as data: which sheet serves which page
// code, and one row per control (its global, bits and items). The generic
// binder in the dialog reads a control's state from its row and writes the
// global back on a click; the rules the rows cannot say (the block-protect
// list of serial flashes) are the named functions at the end.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "app/AppState.h"
#include "devices/DeviceRecord.h"

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

// Whether this build fills the sheets of a page code. The microcontroller
// sheets exist in the frame but stay empty and hidden until they are built.
constexpr bool kMcuPagesBuilt = false;
bool sheetBuilt(Sheet sheet);

// Whether the selected device has a configuration page this build can show;
// the main window keeps its Config button disabled otherwise.
bool configPageBuilt(const DeviceRecord& rec);

// The values the pages edit.
enum class ConfigGlobal { SerialFlashStatus, SdpEnable };
std::uint8_t& configGlobal(McuConfig& mcu, ConfigGlobal g);

enum class ControlKind { GroupBox, CheckBox, RadioGroup };

// What a control does beyond its bits.
enum class ControlRule {
    Plain,
    RebuildBlockProtect,  // after the write the block-protect list follows the new top/bottom choice
    BlockProtect,         // item and bits by device size (blockProtectItem / writeBlockProtect)
};

struct ControlRow {
    Sheet sheet;
    const char* name;
    const char* parent;  // nullptr: on the sheet itself
    ControlKind kind;
    const char* caption;
    int x, y, width, height;
    ConfigGlobal global;
    std::uint8_t mask;   // the bits the control shows and writes
    std::uint8_t keep;   // the bits a write leaves as they were; the rest become 0
    bool sense;          // check box: checked when its bits are set
    std::vector<const char*> items;  // radio group: the items of the form (may be rebuilt)
    ControlRule rule;
    int initialItem = -1;  // radio group: the item selected before the page shows its value
};

// Every control of the memory-protection pages, parents before children.
std::span<const ControlRow> controlRows();
const ControlRow* findRow(std::string_view name);

// Generic binding: the state a control shows for a value, and the value a click writes.
bool rowChecked(const ControlRow& row, std::uint8_t value);
std::uint8_t writeChecked(const ControlRow& row, std::uint8_t value, bool checked);
// The item for the value's field, never past the last of `itemCount` items (-1 with no items).
int rowItem(const ControlRow& row, std::uint8_t value, int itemCount);
std::uint8_t writeItem(const ControlRow& row, std::uint8_t value, int index);

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

}  // namespace tesmar::config
