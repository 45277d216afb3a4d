// The configuration page tables and their bit rules, without a window.
#include <gtest/gtest.h>

#include <bit>
#include <map>
#include <set>
#include <string>

#include "config/ConfigPages.h"
#include "config/PicPages.h"
#include "support/RecordImage.h"

using namespace tesmar;
using namespace tesmar::config;

namespace {

DeviceRecord device(char family, std::uint8_t pageCode, std::int8_t algorithm = 0) {
    return test::RecordImage(family).algorithm(algorithm).name("X").lastAddress(0xFFFF).pageCode(pageCode).build();
}

}  // namespace

TEST(ConfigPagesTest, EveryPageCodeFindsItsSheets) {
    const std::map<int, std::vector<Sheet>> expected = {
        {100, {Sheet::Page100}}, {101, {Sheet::Page100}}, {102, {Sheet::Page102}}, {103, {Sheet::Page102}},
        {104, {Sheet::Page102}}, {130, {Sheet::Page130}}, {200, {Sheet::Page200}}, {201, {Sheet::Page201}},
        {202, {Sheet::Page202}}, {203, {Sheet::Page203}}, {204, {Sheet::Page204, Sheet::Page204A}},
        {205, {Sheet::Page205}}, {206, {Sheet::Page206}}, {207, {Sheet::Page207}}, {208, {Sheet::Page208}},
        {209, {Sheet::Page209}}, {210, {Sheet::Page205}}, {211, {Sheet::Page209}}, {212, {Sheet::Page212}},
    };
    for (int code = 0; code < 256; ++code) {
        const auto it = expected.find(code);
        const std::vector<Sheet> want = it == expected.end() ? std::vector<Sheet>{} : it->second;
        EXPECT_EQ(sheetsForPageCode(std::uint8_t(code)), want) << "page code " << code;
    }
}

TEST(ConfigPagesTest, SheetNamesAreTheFrameOrder) {
    EXPECT_STREQ(kSheetNames[std::size_t(Sheet::Page100)], "Page100");
    EXPECT_STREQ(kSheetNames[std::size_t(Sheet::Page204A)], "Page204A");
    EXPECT_STREQ(kSheetNames[std::size_t(Sheet::Page212)], "Page212");
    EXPECT_STREQ(kSheetNames[std::size_t(Sheet::Page102)], "Page102");
    EXPECT_EQ(int(Sheet::Page102), kSheetCount - 1);
}

TEST(ConfigPagesTest, ConfigHasADialogForEveryPageCodeWithSheets) {
    struct Case { char family; int page; bool dialog; std::int8_t algorithm = 0; };
    const Case cases[] = {
        {'S', 100, true}, {'S', 101, true}, {'S', 102, true}, {'S', 103, true}, {'S', 104, true},
        {'E', 130, true}, {'F', 130, true}, {'S', 0, false}, {'E', 131, false}, {'E', 240, false},
        {'M', 200, true}, {'M', 204, true}, {'M', 210, true}, {'M', 212, true}, {'M', 0, false}, {'M', 213, false},
        // PICs open their own dialog, with the ID group alone for a code without sheets.
        {'C', 100, true}, {'C', 13, true}, {'C', 46, true, 18}, {'C', 27, true, 18},
        // A PLD shows its user fuses when its algorithm is a row of the GAL table.
        {'P', 0, true, 1}, {'P', 0, true, 13}, {'P', 0, false, 17}, {'P', 102, false, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hasConfigDialog(device(c.family, std::uint8_t(c.page), c.algorithm)), c.dialog)
            << c.family << " page " << c.page << " algorithm " << int(c.algorithm);
}

TEST(ConfigPagesTest, ControlTableIsConsistent) {
    std::set<std::string> names;
    for (const ControlRow& row : controlRows()) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(names.insert(row.name).second) << "name twice";
        if (row.parent) {
            EXPECT_TRUE(names.count(row.parent)) << "parent must come first";
        }
        EXPECT_EQ(row.mask & row.keep, 0) << "a control's bits cannot also be kept";
        EXPECT_TRUE(sheetBuilt(Sheet(row.sheet.index)));
        if (row.kind == ControlKind::RadioGroup && row.rule != &kBlockProtect) {
            // Every item must have a value of its own in the field.
            const unsigned fieldValues = (row.mask >> std::countr_zero(unsigned(row.mask))) + 1u;
            EXPECT_LE(row.items.size(), fieldValues);
            EXPECT_GE(row.items.size(), 2u);
        }
        EXPECT_EQ(findRow(row.name), &row);
    }
    EXPECT_EQ(findRow("nothing"), nullptr);
}

TEST(ConfigPagesTest, GenericWritesTouchOnlyTheirBits) {
    const ControlRow& wpen = *findRow("CB100_Wpen");
    EXPECT_EQ(writeChecked(wpen, 0x1C, true), 0x9C);
    EXPECT_EQ(writeChecked(wpen, 0xFF, false), 0x7F);
    EXPECT_TRUE(rowChecked(wpen, 0x80));
    EXPECT_FALSE(rowChecked(wpen, 0x7F));

    // The EEPROM block-protect choice keeps WPEN and clears everything else.
    const ControlRow& rg100 = *findRow("RG100");
    EXPECT_EQ(writeItem(rg100, 0xFF, 1), 0x84);
    EXPECT_EQ(writeItem(rg100, 0x73, 3), 0x0C);
    EXPECT_EQ(rowItem(rg100, 0xF7, 4), 1);

    const ControlRow& rg130 = *findRow("RG130");
    EXPECT_EQ(writeItem(rg130, 0x00, 1), 1);
    EXPECT_EQ(writeItem(rg130, 0xFF, 0), 0);
    EXPECT_EQ(rowItem(rg130, 0xFF, 2), 1);
    EXPECT_EQ(rowItem(rg130, 0xFE, 2), 0);
}

TEST(ConfigPagesTest, AValueBeyondTheItemsChoosesNone) {
    const ControlRow& rg100 = *findRow("RG100");
    EXPECT_EQ(rowItem(rg100, 0x04, 2), 1);
    EXPECT_EQ(rowItem(rg100, 0x0C, 2), -1);
    EXPECT_EQ(rowItem(rg100, 0x0C, 0), -1);
}

TEST(ConfigPagesTest, BlockProtectItemsBySizeAndDirection) {
    struct Case { std::uint32_t last; std::size_t count; const char* top1; const char* bottomLast; };
    const Case cases[] = {
        {0x1FFFF, 3, "010000h - 01FFFFh", "000000h - 00FFFFh"},
        {0x3FFFF, 4, "030000h - 03FFFFh", "000000h - 01FFFFh"},
        {0x7FFFF, 5, "070000h - 07FFFFh", "000000h - 03FFFFh"},
        {0xFFFFF, 6, "0F0000h - 0FFFFFh", "000000h - 07FFFFh"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.last);
        const auto top = blockProtectItems(c.last, false);
        const auto bottom = blockProtectItems(c.last, true);
        ASSERT_TRUE(top && bottom);
        ASSERT_EQ(top->size(), c.count);
        ASSERT_EQ(bottom->size(), c.count);
        EXPECT_STREQ(top->front(), "None");
        EXPECT_STREQ(top->back(), "All");
        EXPECT_STREQ(bottom->back(), "All");
        EXPECT_STREQ((*top)[1], c.top1);
        EXPECT_STREQ((*bottom)[c.count - 2], c.bottomLast);
        EXPECT_TRUE(blockProtectOffered(c.last, int(c.count) - 1));
        EXPECT_FALSE(blockProtectOffered(c.last, int(c.count)));
    }
    EXPECT_FALSE(blockProtectItems(0xFFFF, false));
}

TEST(ConfigPagesTest, BlockProtectItemClampsToAll) {
    struct Case { std::uint32_t last; int maxItem; };
    for (const Case c : {Case{0x1FFFF, 2}, Case{0x3FFFF, 3}, Case{0x7FFFF, 4}, Case{0xFFFFF, 5}}) {
        for (int bp = 0; bp < 8; ++bp) {
            // Bits outside the field must not shift the item.
            const std::uint8_t status = std::uint8_t(0xA3 | (bp << 2));
            EXPECT_EQ(blockProtectItem(c.last, status), std::min(bp, c.maxItem)) << c.last << " bp " << bp;
        }
    }
    // Without a range table only none and all have an item.
    EXPECT_EQ(blockProtectItem(0x3FFF, 0x1C), 2);
    EXPECT_EQ(blockProtectItem(0x3FFF, 0x80), 0);
    EXPECT_EQ(blockProtectItem(0x3FFF, 0x08), std::nullopt);
}

TEST(ConfigPagesTest, BlockProtectWriteKeepsOtherBits) {
    EXPECT_EQ(writeBlockProtect(0xFFFFF, 0xBF, 0), 0xA3);
    EXPECT_EQ(writeBlockProtect(0xFFFFF, 0xA3, 5), 0xB7);
    EXPECT_EQ(writeBlockProtect(0x1FFFF, 0x00, 2), 0x08);  // "All" of a 128 KB part
    EXPECT_EQ(writeBlockProtect(0x7FFFF, 0x80, 3), 0x8C);
    // Out of the list, or the range a size without a table lacks: nothing changes.
    EXPECT_EQ(writeBlockProtect(0x1FFFF, 0x9C, 3), 0x9C);
    EXPECT_EQ(writeBlockProtect(0x1FFFF, 0x9C, -1), 0x9C);
    EXPECT_EQ(writeBlockProtect(0xFFFF, 0x88, 1), 0x88);
}

TEST(ConfigPagesTest, GlobalsAreTheSharedValues) {
    McuConfig mcu;
    configGlobal(mcu, ConfigGlobal::SerialFlashStatus) = 0x5A;
    configGlobal(mcu, ConfigGlobal::SdpEnable) = 1;
    EXPECT_EQ(mcu.SerialFlashStatus, 0x5A);
    EXPECT_EQ(mcu.SdpEnable, 1);
}
