#include "config/ConfigPages.h"

#include <algorithm>

#include "config/McuPages.h"
#include "config/PicPages.h"
#include "families/PldGeometry.h"

namespace tesmar::config {

const std::array<const char*, kSheetCount> kSheetNames = {
    "Page100", "Page130", "Page200", "Page201", "Page202", "Page203", "Page204", "Page204A",
    "Page205", "Page206", "Page207", "Page208", "Page209", "Page212", "Page102",
};

std::vector<Sheet> sheetsForPageCode(std::uint8_t pageCode) {
    // The upper microcontroller codes map one to one, except 210 and 211 which
    // share the page of a sibling chip.
    static constexpr std::array<std::pair<std::uint8_t, Sheet>, 7> kMcuTable = {{
        {206, Sheet::Page206}, {207, Sheet::Page207}, {208, Sheet::Page208}, {209, Sheet::Page209},
        {210, Sheet::Page205}, {211, Sheet::Page209}, {212, Sheet::Page212},
    }};
    switch (pageCode) {
    case 100: case 101: return {Sheet::Page100};
    case 102: case 103: case 104: return {Sheet::Page102};
    case 130: return {Sheet::Page130};
    case 200: return {Sheet::Page200};
    case 201: return {Sheet::Page201};
    case 202: return {Sheet::Page202};
    case 203: return {Sheet::Page203};
    case 204: return {Sheet::Page204, Sheet::Page204A};
    case 205: return {Sheet::Page205};
    default: break;
    }
    for (const auto& [code, sheet] : kMcuTable)
        if (code == pageCode) return {sheet};
    return {};
}

bool sheetBuilt(Sheet sheet) {
    return sheet == Sheet::Page100 || sheet == Sheet::Page102 || sheet == Sheet::Page130 || kMcuPagesBuilt;
}

bool hasConfigDialog(const DeviceRecord& rec) {
    switch (rec.FamilyLetter) {
    case 'C': return picConfigPageBuilt(rec);
    case 'P': return pldHasGeometry(rec);
    default: {
        const auto sheets = sheetsForPageCode(rec.PageCode);
        return !sheets.empty() && std::all_of(sheets.begin(), sheets.end(), sheetBuilt);
    }
    }
}

namespace {

std::vector<ControlRow> memoryProtectionRows() {
    using K = ControlKind;
    using G = ConfigGlobal;
    return {
        // Serial EEPROM status register: WPEN bit 7, block protect bits 3..2.
        {Sheet::Page100, "GB100_Wpen", nullptr, K::GroupBox, " Write Protect Enable ", 8, 8, 150, 64,
         G::SerialFlashStatus, 0, 0xFF, true, {}},
        {Sheet::Page100, "CB100_Wpen", "GB100_Wpen", K::CheckBox, "WPEN", 14, 28, 120, 20,
         G::SerialFlashStatus, 0x80, 0x7F, true, {}},
        {Sheet::Page100, "RG100", nullptr, K::RadioGroup, " Block-Protect ", 170, 8, 200, 130,
         G::SerialFlashStatus, 0x0C, 0x80, true, {"None", "Upper 1/4", "Upper 1/2", "All"}},
        // Serial flash status register: SRP bit 7, top/bottom bit 5, block protect bits 4..2.
        // The top/bottom choice comes first: it decides the block-protect list.
        {Sheet::Page102, "RG102_TB", nullptr, K::RadioGroup, "Top/Bottom Write Protect", 220, 8, 190, 76,
         G::SerialFlashStatus, kTopBottomBit, 0xDF, true, {"Top", "Bottom"}, &kTopBottom, 0},
        {Sheet::Page102, "RG102_BP", nullptr, K::RadioGroup, " Block-Protect ", 8, 8, 200, 176,
         G::SerialFlashStatus, kBlockProtectBits, 0xE3, true, {"None", "Upper 1/2", "All"}, &kBlockProtect},
        {Sheet::Page102, "CB102_SRP", nullptr, K::CheckBox, "Status Register Protect", 220, 96, 190, 20,
         G::SerialFlashStatus, 0x80, 0x7F, true, {}},
        // Software data protection of parallel EEPROMs.
        {Sheet::Page130, "RG130", nullptr, K::RadioGroup,
         " Software Data Protection  (Activated during Programming) ", 8, 8, 400, 80, G::SdpEnable, 0x01, 0x00,
         true, {"SDP OFF", "SDP ON"}},
    };
}

}  // namespace

std::span<const ControlRow> controlRows() {
    static const std::vector<ControlRow> rows = [] {
        std::vector<ControlRow> r = memoryProtectionRows();
        for (const auto table : {mcuRowsEarly(), mcuRowsLater()}) r.insert(r.end(), table.begin(), table.end());
        return r;
    }();
    return rows;
}

const ControlRow* findRow(std::string_view name) {
    for (const ControlRow& r : controlRows())
        if (name == r.name) return &r;
    return nullptr;
}

namespace {

struct BlockProtectTable {
    std::uint32_t lastAddress;
    std::vector<const char*> top, bottom;
};

const std::vector<BlockProtectTable>& blockProtectTables() {
    static const std::vector<BlockProtectTable> tables = {
        {0x1FFFF, {"None", "010000h - 01FFFFh", "All"}, {"None", "000000h - 00FFFFh", "All"}},
        {0x3FFFF,
         {"None", "030000h - 03FFFFh", "020000h - 03FFFFh", "All"},
         {"None", "000000h - 00FFFFh", "000000h - 01FFFFh", "All"}},
        {0x7FFFF,
         {"None", "070000h - 07FFFFh", "060000h - 07FFFFh", "040000h - 07FFFFh", "All"},
         {"None", "000000h - 00FFFFh", "000000h - 01FFFFh", "000000h - 03FFFFh", "All"}},
        {0xFFFFF,
         {"None", "0F0000h - 0FFFFFh", "0E0000h - 0FFFFFh", "0C0000h - 0FFFFFh", "080000h - 0FFFFFh", "All"},
         {"None", "000000h - 00FFFFh", "000000h - 01FFFFh", "000000h - 03FFFFh", "000000h - 07FFFFh", "All"}},
    };
    return tables;
}

const BlockProtectTable* tableFor(std::uint32_t lastAddress) {
    for (const auto& t : blockProtectTables())
        if (t.lastAddress == lastAddress) return &t;
    return nullptr;
}

// The BP field each of the form's items writes on a size without a range table.
constexpr std::array<std::optional<std::uint8_t>, 3> kFormItemField = {std::uint8_t(0), std::nullopt,
                                                                         kBlockProtectBits};

}  // namespace

std::optional<std::vector<const char*>> blockProtectItems(std::uint32_t lastAddress, bool bottom) {
    const BlockProtectTable* t = tableFor(lastAddress);
    if (!t) return std::nullopt;
    return bottom ? t->bottom : t->top;
}

std::optional<int> blockProtectItem(std::uint32_t lastAddress, std::uint8_t status) {
    const std::uint8_t field = status & kBlockProtectBits;
    const BlockProtectTable* t = tableFor(lastAddress);
    if (!t) {
        for (std::size_t i = 0; i < kFormItemField.size(); ++i)
            if (kFormItemField[i] == field) return int(i);
        return std::nullopt;
    }
    // Every BP value from the last range on protects the whole device.
    return std::min(field >> 2, int(t->top.size()) - 1);
}

bool blockProtectOffered(std::uint32_t lastAddress, int index) {
    if (index < 0) return false;
    if (const BlockProtectTable* t = tableFor(lastAddress)) return index < int(t->top.size());
    return index < int(kFormItemField.size()) && kFormItemField[std::size_t(index)].has_value();
}

std::uint8_t writeBlockProtect(std::uint32_t lastAddress, std::uint8_t status, int index) {
    if (!blockProtectOffered(lastAddress, index)) return status;
    const std::uint8_t field = tableFor(lastAddress) ? std::uint8_t((unsigned(index) << 2) & kBlockProtectBits)
                                                     : *kFormItemField[std::size_t(index)];
    return std::uint8_t((status & ~kBlockProtectBits) | field);
}

void rebuildBlockProtectItems(PageContext& ctx) {
    const std::uint32_t last = ctx.device().LastAddress;
    if (const auto items = blockProtectItems(last, ctx.itemIndex("RG102_TB") == 1))
        ctx.setItems("RG102_BP", std::vector<std::string>(items->begin(), items->end()));
    for (int i = 0; i < ctx.itemCount("RG102_BP"); ++i) ctx.setItemEnabled("RG102_BP", i, blockProtectOffered(last, i));
}

namespace {

void topBottomClick(PageContext& ctx, const ControlRow& row, int state) {
    plainClick(ctx, row, state);
    rebuildBlockProtectItems(ctx);
}

std::optional<int> blockProtectDecode(PageContext& ctx, const ControlRow& row) {
    rebuildBlockProtectItems(ctx);
    const auto item = blockProtectItem(ctx.device().LastAddress, ctx.value(row.target));
    return item ? std::optional<int>(*item) : std::nullopt;
}

void blockProtectClick(PageContext& ctx, const ControlRow& row, int state) {
    ctx.setValue(row.target, writeBlockProtect(ctx.device().LastAddress, ctx.value(row.target), state));
}

// Page code 101: a serial EEPROM without the WPEN bit.
void page101(PageContext& ctx) {
    ctx.setVisible("GB100_Wpen", false);
    ctx.move("RG100", 4, 8);
}

// Page code 104: a serial flash without SRP and top/bottom.
void page104(PageContext& ctx) {
    ctx.setVisible("CB102_SRP", false);
    ctx.setVisible("RG102_TB", false);
}

}  // namespace

const Rule kTopBottom{nullptr, topBottomClick};
const Rule kBlockProtect{blockProtectDecode, blockProtectClick};

PageSetup pageSetup(std::uint8_t pageCode) {
    switch (pageCode) {
    case 101: return page101;
    case 104: return page104;
    default: return isMcuPageCode(pageCode) ? mcuPageSetup : nullptr;
    }
}

}  // namespace tesmar::config
