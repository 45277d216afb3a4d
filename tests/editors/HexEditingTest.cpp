#include <gtest/gtest.h>

#include "editors/HexEditing.h"
#include "editors/EditorRig.h"

using namespace tesmar;
using test::RecordSpec;

namespace {

struct ViewCase {
    const char* name;
    RecordSpec rec;
    bool oddEven;
    std::size_t allocated;
    std::uint32_t view;
};

class ViewSize : public ::testing::TestWithParam<ViewCase> {};

TEST_P(ViewSize, FollowsTheFamilyAndNeverPassesTheBlock) {
    const ViewCase& c = GetParam();
    const DeviceRecord rec = c.rec.record();
    EXPECT_EQ(hexEditorViewSize(&rec, c.oddEven, c.allocated), c.view);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ViewSize,
    ::testing::Values(
        ViewCase{"SmallEpromAtLeast4K", {'R', 0x7FF}, false, 0x10000, 0x1000},
        ViewCase{"OddEvenDoubles", {'R', 0x3FFF}, true, 0x8000, 0x8000},
        ViewCase{"McuAddsDataArea", {'M', 0x1FFF, 0, 0, 0xFF, 0x200}, false, 0x20000, 0x2200},
        ViewCase{"PicMidRange", {'C', 0x3FFF, 0, 10}, false, 0x20000, 0x10000},
        ViewCase{"PicEnhanced", {'C', 0x3FFF, 0, 46}, false, 0x20000, 0x20000},
        ViewCase{"Pic18WholeImage", {'C', 0x7FFF, 18, 0}, false, 0x100000, 0x100000},
        // An 'M' image loaded into 0x10000 bytes while the record claims 128 KiB.
        ViewCase{"CutToLoadedBlock", {'M', 0x1FFFF}, false, 0x10000, 0x10000},
        ViewCase{"TinyOddEvenBlock", {'R', 0x3F}, true, 0x80, 0x80}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HexEditing, ScrollMaximumShowsTheLastFullPage) {
    EXPECT_EQ(scrollMaximum(0x1000), 240);
    EXPECT_EQ(scrollMaximum(0x100000), 0xFFF0);
    EXPECT_EQ(scrollMaximum(0x80), 0);
    EXPECT_EQ(lastFullPage(0x80), 0u);
}

TEST(HexEditing, GoToWrapsIntoTheView) {
    // A power-of-two view: the same as ANDing with view - 16.
    for (std::uint32_t typed : {0x0u, 0x1234u, 0xFFFFFFFFu, 0x10000000u, 0xFF5u})
        EXPECT_EQ(wrapToView(typed, 0x1000), typed & 0xFF0) << std::hex << typed;
    // A view of 0x2200: an address inside it is kept, not masked to 0.
    EXPECT_EQ(wrapToView(0x1000, 0x2200), 0x1000u);
    EXPECT_EQ(wrapToView(0x21FF, 0x2200), 0x21F0u);
    EXPECT_EQ(wrapToView(0x2200, 0x2200), 0u);
    EXPECT_LT(wrapToView(0xFFFFFFFFu, 0x10001), 0x10001u);
}

TEST(HexEditing, GoToPlaceSelectsTheTypedRow) {
    struct { std::uint32_t a, page; int row; } cases[] = {
        {0x000, 0x000, 0}, {0xF00, 0xF00, 0}, {0xF10, 0xF00, 1}, {0xFF0, 0xF00, 15}};
    for (const auto& c : cases) {
        const CellPlace p = goToPlace(c.a, 0x1000);
        EXPECT_EQ(p.page, c.page) << std::hex << c.a;
        EXPECT_EQ(p.row, c.row) << std::hex << c.a;
        EXPECT_EQ(p.col, 0);
    }
}

TEST(HexEditing, PlaceOfAMatch) {
    struct { std::uint32_t p, page; int row, col; } cases[] = {
        {0x1234, 0x1230, 0, 4}, {0x1EFF, 0x1EF0, 0, 15}, {0x1F00, 0x1F00, 0, 0}, {0x1FE3, 0x1F00, 14, 3}};
    for (const auto& c : cases) {
        const CellPlace p = placeOffset(c.p, 0x2000);
        EXPECT_EQ(p.page, c.page) << std::hex << c.p;
        EXPECT_EQ(p.row, c.row) << std::hex << c.p;
        EXPECT_EQ(p.col, c.col) << std::hex << c.p;
    }
    // A view that is no multiple of 16: the cell is the byte's, not p mod 16.
    const CellPlace odd = placeOffset(0x1003, 0x1008);
    EXPECT_EQ(odd.page + std::uint32_t(odd.row * 16 + odd.col), 0x1003u);
}

TEST(HexEditing, FindStaysInsideTheView) {
    ImageBuffer buf;
    buf.replace(0x2000);
    buf.DeviceBuffer[0x0FFE] = 'A';
    buf.DeviceBuffer[0x0FFF] = 'B';
    buf.DeviceBuffer[0x1800] = 'C';
    EXPECT_EQ(findPattern(buf, 0x1000, 0, "AB"), 0xFFEu);
    EXPECT_FALSE(findPattern(buf, 0x1000, 0, QByteArray("AB\0", 3)));  // would end past the view
    EXPECT_FALSE(findPattern(buf, 0x1000, 0, "C"));                    // beyond the view
    EXPECT_FALSE(findPattern(buf, 0x1000, 0xFFF, "AB"));
    EXPECT_FALSE(findPattern(buf, 0x1000, 0, QByteArray()));
    EXPECT_FALSE(findPattern(buf, 0x10, 0, QByteArray(0x11, 0)));      // longer than the view
    EXPECT_FALSE(findPattern(buf, 0x1000, 0xFFFFFFFFull, "A"));
}

TEST(HexEditing, OverlapTest) {
    struct { std::uint64_t b, n, t; bool overlap; } cases[] = {
        {0x100, 0x10, 0xF8, true},   {0x100, 0x10, 0x108, true}, {0x100, 0x10, 0x110, false},
        {0x100, 0x10, 0xF0, false},  {0x100, 0x10, 0x100, true}, {0x100, 0, 0x100, false},
        // No 32-bit wrap: begin + count past 4 GiB still overlaps a low target above begin.
        {0xFFFFFFF0, 0x20, 0xFFFFFFF8, true}};
    for (const auto& c : cases)
        EXPECT_EQ(rangesOverlap(c.b, c.n, c.t), c.overlap) << std::hex << c.b << " " << c.n << " " << c.t;
}

std::vector<std::uint8_t> slice(const ImageBuffer& b, std::size_t at, std::size_t n) {
    return {b.DeviceBuffer.begin() + std::ptrdiff_t(at), b.DeviceBuffer.begin() + std::ptrdiff_t(at + n)};
}

ImageBuffer counting(std::size_t size) {
    ImageBuffer b;
    b.replace(size);
    for (std::size_t i = 0; i < size; ++i) b.DeviceBuffer[i] = std::uint8_t(i);
    return b;
}

TEST(HexEditing, CopyOverlappingMoveReadsTheSourceFirst) {
    ImageBuffer b = counting(0x1000);
    EXPECT_EQ(copyBlock(b, 0x1000, 0x10, 8, 0x14, std::uint8_t(0xEE)), 8u);
    EXPECT_EQ(slice(b, 0x10, 12),
              (std::vector<std::uint8_t>{0xEE, 0xEE, 0xEE, 0xEE, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17}));
}

TEST(HexEditing, CopyClampsCountAndDropsTargetPastTheView) {
    ImageBuffer b = counting(0x2000);
    // The source runs past the view: only its 8 bytes inside are copied.
    EXPECT_EQ(copyBlock(b, 0x1000, 0xFF8, 0x20, 0x100, std::nullopt), 8u);
    EXPECT_EQ(slice(b, 0x100, 9), (std::vector<std::uint8_t>{0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF, 0x08}));
    // The target runs past the view: the bytes beyond it are dropped, the block after the view is untouched.
    EXPECT_EQ(copyBlock(b, 0x1000, 0x20, 8, 0xFFC, std::nullopt), 8u);
    EXPECT_EQ(slice(b, 0xFFC, 8), (std::vector<std::uint8_t>{0x20, 0x21, 0x22, 0x23, 0x00, 0x01, 0x02, 0x03}));
    // A count of 4 G is cut before anything is allocated.
    EXPECT_EQ(copyBlock(b, 0x1000, 0xFF0, 0xFFFFFFFFull, 0x200, std::nullopt), 0x10u);
    EXPECT_EQ(copyBlock(b, 0x1000, 0xFFFFFFF0u, 0x20, 0x0, std::nullopt), 0u);
    EXPECT_EQ(b.DeviceBuffer[0], 0x00);
}

TEST(HexEditing, FillByteAndWord) {
    ImageBuffer b;
    b.replace(0x100);
    EXPECT_EQ(fillRange(b, 0x100, 0x10, 0x12, 0x3FFF, true), 3u);
    EXPECT_EQ(slice(b, 0x0F, 5), (std::vector<std::uint8_t>{0, 0x3F, 0xFF, 0x3F, 0}));
    EXPECT_EQ(fillRange(b, 0x100, 0x20, 0x21, 0x015A, false), 2u);
    EXPECT_EQ(slice(b, 0x20, 3), (std::vector<std::uint8_t>{0x5A, 0x5A, 0}));
    EXPECT_EQ(fillRange(b, 0x100, 0x10, 0x0F, 0xAA, false), 0u);
    EXPECT_EQ(fillRange(b, 0x80, 0x7E, 0xFFFFFFFF, 0xAA, false), 2u);  // stops at the view
    EXPECT_EQ(b.DeviceBuffer[0x80], 0);
}

TEST(HexEditing, HexFields) {
    EXPECT_EQ(parseHexField("1f"), 0x1Fu);
    EXPECT_EQ(parseHexField(" 00001234 "), 0x1234u);
    EXPECT_EQ(parseHexField("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(parseHexField("000000010"), 0x10u);
    for (const char* bad : {"", " ", "100000000", "12G", "-1", "$10", "1 2"})
        EXPECT_FALSE(parseHexField(bad)) << bad;
    EXPECT_EQ(parseHexPattern("4142"), QByteArray("AB"));
    EXPECT_FALSE(parseHexPattern("4G42"));
    EXPECT_FALSE(parseHexPattern(" 142"));
}

TEST(HexEditing, CharacterColumn) {
    EXPECT_EQ(byteCharacter(0x7B), QChar('.'));
    EXPECT_EQ(byteCharacter(0x20), QChar(' '));
    EXPECT_EQ(byteCharacter(0x7A), QChar('z'));
    EXPECT_EQ(byteCharacter(0x1F), QChar('.'));
    EXPECT_EQ(byteCharacter(0xE9), QChar('.'));
}

}  // namespace
