// The load/save frame: buffer sizes, pre-fill, the report lines, the
// progress window and save failures.
#include <QFile>

#include "FormatFixture.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

struct SizeCase {
    const char* name;
    RecordSpec shape;
    bool oddEven;
    std::uint64_t view, block;
};

class LoadBufferSizes : public ::testing::TestWithParam<SizeCase> {};

}  // namespace

TEST_P(LoadBufferSizes, HoldWhatTheDeviceNeeds) {
    const SizeCase& c = GetParam();
    const LoadBufferSize s = loadBufferSize(*makeDevice(c.shape), c.oddEven);
    EXPECT_EQ(s.view, c.view);
    EXPECT_EQ(s.block, c.block);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, LoadBufferSizes,
    ::testing::Values(
        SizeCase{"EpromExact", {.letter = 'R', .lastAddress = 0x7FFF}, false, 0x8000, 0x20001},
        SizeCase{"EpromOddEven", {.letter = 'R', .lastAddress = 0x7FFF}, true, 0x20000, 0x20001},
        // The odd/even image of a 128 KB pair is larger than the table's size.
        SizeCase{"EpromOddEvenLarge", {.letter = 'R', .lastAddress = 0x1FFFF}, true, 0x40000, 0x40001},
        SizeCase{"Flash", {.letter = 'F', .lastAddress = 0x3FFFF}, false, 0x40000, 0x40001},
        SizeCase{"McuBf91", {.letter = 'M', .lastAddress = 0xFFFF, .maker = 0xBF, .deviceId = 0x91}, false, 0x12000, 0x12001},
        SizeCase{"McuPage203", {.letter = 'M', .lastAddress = 0x1FFF, .pageCode = 203, .dataEeprom = 0x200}, false,
                 0x2200, 0x2200},
        SizeCase{"McuSmallPageView", {.letter = 'M', .lastAddress = 0x3FF, .pageCode = 205, .dataEeprom = 0x40}, false,
                 0x440, 0x1000},
        SizeCase{"McuPlain", {.letter = 'M', .lastAddress = 0x1FFF}, false, 0x10000, 0x10000},
        // 128 KB of code do not fit the 64 KB of the table.
        SizeCase{"McuLargeCode", {.letter = 'M', .lastAddress = 0x1FFFF, .dataEeprom = 0x1000}, false, 0x21000, 0x21000},
        SizeCase{"McuUserRow", {.letter = 'M', .lastAddress = 0xFFFF, .algorithm = 35}, false, 0x10020, 0x10020},
        SizeCase{"PicClassic", {.letter = 'C', .lastAddress = 0x1FFF, .algorithm = 1, .pageCode = 10}, false, 0x20000, 0x20001},
        SizeCase{"PicEnhanced", {.letter = 'C', .lastAddress = 0x3FFF, .algorithm = 1, .pageCode = 46}, false, 0x20000, 0x20000},
        SizeCase{"Pic18", {.letter = 'C', .lastAddress = 0x7FFF, .algorithm = 18, .pageCode = 20, .dataEeprom = 0xFF},
                 false, 0x100000, 0x100000},
        SizeCase{"Pic18WithEnhancedPage", {.letter = 'C', .lastAddress = 0x7FFF, .algorithm = 18, .pageCode = 47,
                                           .dataEeprom = 0xFF}, false, 0xF0300, 0x100000},
        SizeCase{"SerialWordWide", {.letter = 'S', .lastAddress = 0x1FFFF, .pulseWidth = 16}, false, 0x40000, 0x40001}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DefaultSaveStop, OffersTheWholeImage) {
    struct Case {
        RecordSpec shape;
        bool oddEven;
        std::uint64_t stop;
    };
    const Case cases[] = {
        {{.letter = 'E', .lastAddress = 0x7FFF}, false, 0x7FFF},
        {{.letter = 'R', .lastAddress = 0x7FFF}, true, 0xFFFF},
        {{.letter = 'M', .lastAddress = 0x7FF, .algorithm = 35}, false, 0x81F},
        {{.letter = 'M', .lastAddress = 0xFFFF, .maker = 0xBF, .deviceId = 0x91}, false, 0x11FFF},
        {{.letter = 'M', .lastAddress = 0x1FFF, .pageCode = 209, .dataEeprom = 0x200}, false, 0x21FF},
        // No rule matches: the code and its data area, never 0.
        {{.letter = 'M', .lastAddress = 0x1FFF}, false, 0x1FFF},
        {{.letter = 'M', .lastAddress = 0x1FFF, .dataEeprom = 0x100}, false, 0x20FF},
    };
    for (const Case& c : cases) EXPECT_EQ(defaultSaveStop(*makeDevice(c.shape), c.oddEven), c.stop) << c.shape.letter;
}

// ---------------------------------------------------------------------------

using LoadFrameTest = FormatFixture;

TEST_F(LoadFrameTest, FillOptionsPreFillTheNewBuffer) {
    struct Case {
        RecordSpec shape;
        std::uint8_t option;
        QByteArray first;
    };
    const Case cases[] = {
        {{.letter = 'E', .lastAddress = 0x7FFF, .blank = 0xFF}, 1, QByteArray::fromHex("FFFFFFFF")},
        {{.letter = 'E', .lastAddress = 0x7FFF, .blank = 0xFF}, 2, QByteArray::fromHex("00000000")},
        {{.letter = 'E', .lastAddress = 0x7FFF, .blank = 0x00}, 3, QByteArray::fromHex("FFFFFFFF")},
        {{.letter = 'O', .lastAddress = 0x7FFF, .blank = 0xA5}, 1, QByteArray::fromHex("A5FFA5FF")},
        {{.letter = 'O', .lastAddress = 0x7FFF, .blank = 0xA5}, 3, QByteArray::fromHex("00FF00FF")},
        {{.letter = 'C', .lastAddress = 0x7FF, .algorithm = 4, .blank = 0x3F}, 2, QByteArray::fromHex("00000000")},
    };
    for (const Case& c : cases) {
        select(c.shape);
        load(write("empty.bin", {}), 2, 0, c.option);
        ASSERT_EQ(st.ErrorFlag.get(), 0);
        EXPECT_EQ(image(0, 4), c.first) << c.shape.letter << int(c.option);
        const std::size_t tail = (st.buf.size() - 2) & ~std::size_t(1);
        EXPECT_EQ(image(tail, 2), c.first.right(2)) << "the whole block is filled";
    }
}

TEST_F(LoadFrameTest, NoFillKeepsThePreviousImageAndErasesTheRest) {
    select({.letter = 'E', .lastAddress = 0xFFFF, .blank = 0xFF});
    st.buf.replace(0x100);
    for (int i = 0; i < 0x100; ++i) st.buf.DeviceBuffer[i] = std::uint8_t(i);
    load(write("one.bin", QByteArray::fromHex("AA")), 2, 0x10, 0);
    ASSERT_EQ(st.ErrorFlag.get(), 0);
    ASSERT_EQ(st.buf.size(), 0x20001u);
    EXPECT_EQ(image(0, 0x10), QByteArray::fromHex("000102030405060708090A0B0C0D0E0F"));
    EXPECT_EQ(st.buf.DeviceBuffer[0x10], 0xAA);
    EXPECT_EQ(st.buf.DeviceBuffer[0xFF], 0xFF);
    EXPECT_EQ(st.buf.DeviceBuffer[0x100], 0xFF);
    EXPECT_EQ(st.buf.DeviceBuffer[0x20000], 0xFF);
}

TEST_F(LoadFrameTest, ReportShowsTheExtentOfWhatWasStored) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    const QString file = write("mid.bin", randomBytes(0x100, 1));
    load(file, 2, 0x1234);
    EXPECT_EQ(host.lines(), (QStringList{" ", " File " + file + " Loaded", " Highest Load Address : 1333",
                                         " Lowest Load Address  : 1234"}));
    EXPECT_TRUE(host.sounds().empty());
}

TEST_F(LoadFrameTest, LowestIsTheLowestByteStoredEvenAboveTheOffset) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    const QString file = write("hi.hex", ":01300000AA25\r\n:01100000BB34\r\n:00000001FF\r\n");
    load(file, 0, 0x100);
    EXPECT_EQ(host.lines().mid(2), (QStringList{" Highest Load Address : 3100", " Lowest Load Address  : 1100"}));
    EXPECT_EQ(st.buf.LowestLoad, 0x1100u);
    EXPECT_EQ(st.buf.HighestLoad, 0x3100u);
}

TEST_F(LoadFrameTest, ALoadThatStoresNothingReportsTheOffsetAsLowest) {
    // Highest starts at the buffer's start and Lowest at the offset's size
    // (added or subtracted); with nothing stored both stay there.
    struct Case {
        std::int8_t format;
        const char* name;
        const char* text;
        std::int64_t offset;
        const char* lowest;
    };
    const Case cases[] = {
        {0, "end.hex", ":00000001FF\r\n", 0x100, "100"},
        {1, "header.mot", "S0030000FC\nS9030000FC\n", -0x2F0, "2F0"},
        {2, "empty.bin", "", 0x1234, "1234"},
    };
    for (const Case& c : cases) {
        select({.letter = 'E', .lastAddress = 0x7FFF});
        host.memoClear();
        load(write(c.name, c.text), c.format, c.offset);
        ASSERT_EQ(st.ErrorFlag.get(), 0) << c.name;
        EXPECT_EQ(host.lines().mid(2),
                  (QStringList{" Highest Load Address : 0", QString(" Lowest Load Address  : ") + c.lowest}))
            << c.name;
    }
}

TEST_F(LoadFrameTest, FileBiggerThanTheDeviceButInsideTheBufferWarns) {
    struct Case {
        RecordSpec shape;
        bool oddEven;
        std::uint8_t code;
        bool warned;
        std::size_t bytes = 0x9000;
    };
    // A microcontroller's data EEPROM follows its code in the image.
    const RecordSpec avr{.letter = 'M', .lastAddress = 0x1FFF, .algorithm = 32, .pageCode = 204, .dataEeprom = 512};
    const Case cases[] = {
        {{.letter = 'E', .lastAddress = 0x7FFF}, false, 0, true},
        {{.letter = 'R', .lastAddress = 0x7FFF}, false, 70, false},  // an EPROM's buffer ends with the device
        {{.letter = 'R', .lastAddress = 0x3FFF}, true, 0, false},    // odd/even mode never warns
        {avr, false, 0, false, 0x2200},
        {avr, false, 0, true, 0x2201},
    };
    for (const Case& c : cases) {
        st.OddEvenMode = c.oddEven;
        select(c.shape);
        host.memoClear();
        load(write("big.bin", randomBytes(c.bytes, 2)), 2);
        EXPECT_EQ(st.ErrorFlag.get(), c.code) << c.shape.letter;
        EXPECT_EQ(host.lines().contains(" File bigger than selected device"), c.warned) << c.shape.letter;
    }
}

TEST_F(LoadFrameTest, ProgressMovesOnlyWhenItsPercentageChanges) {
    select({.letter = 'F', .lastAddress = 0xFFFFF});
    const QString file = path("p.hex");
    put(0, randomBytes(0x100000, 3));
    ASSERT_TRUE(save(file, 0, 0, 0xFFFFF));
    load(file, 0);
    ASSERT_EQ(progress.size(), 2u);
    EXPECT_EQ(progress[0]->captions, QStringList{" Saving File......."});
    EXPECT_EQ(progress[1]->captions, QStringList{" Loading File......."});
    for (const auto& p : progress) {
        EXPECT_EQ(p->closes, 1);
        ASSERT_GE(p->positions.size(), 100u);
        EXPECT_EQ(p->positions.size(), 101u);  // 0, then each percent once
        for (std::size_t i = 1; i < p->positions.size(); ++i) EXPECT_EQ(p->positions[i], p->positions[i - 1] + 1);
        EXPECT_EQ(p->positions.back(), 100);
    }
}

TEST_F(LoadFrameTest, MissingFileShowsTheBoxAndChangesNothing) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    st.buf.DeviceBuffer[0] = 0x5A;
    const std::size_t before = st.buf.size();
    load(path("nope.hex"), 0);
    EXPECT_EQ(host.messages(), QStringList{"|File ERROR"});
    EXPECT_EQ(st.buf.size(), before);
    EXPECT_EQ(st.buf.DeviceBuffer[0], 0x5A);
    EXPECT_TRUE(host.lines().isEmpty());
    EXPECT_TRUE(progress.empty());
}

TEST_F(LoadFrameTest, FileFoundSeesFilesOnly) {
    EXPECT_FALSE(FileFound(path("none")));
    EXPECT_FALSE(FileFound(dir.path()));
    EXPECT_TRUE(FileFound(write("f", "x")));
}

// ---------------------------------------------------------------------------

using SaveFrameTest = FormatFixture;

TEST_F(SaveFrameTest, FullDiskIsNotASuccess) {
    if (!QFile::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    select({.letter = 'F', .lastAddress = 0x3FFFFF});
    for (std::int8_t format : {0, 1, 2}) {
        EXPECT_FALSE(save("/dev/full", format, 0, 0x3FFFFF)) << int(format);
    }
    EXPECT_EQ(host.messages(), QStringList(3, "|File ERROR"));
    for (const auto& p : progress) EXPECT_EQ(p->closes, 1);
}

TEST_F(SaveFrameTest, BadRangesWriteNoFile) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    const QString file = path("r.hex");
    EXPECT_FALSE(save(file, 0, 0x200, 0x100));
    EXPECT_FALSE(save(file, 0, 0, std::uint32_t(st.buf.size())));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(host.messages().size(), 2);
    EXPECT_TRUE(save(file, 0, 0, std::uint32_t(st.buf.size() - 1)));
}

TEST_F(SaveFrameTest, UncreatableFileShowsTheBox) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    EXPECT_FALSE(save(path("no/such/dir/x.hex"), 0, 0, 0xFF));
    EXPECT_EQ(host.messages(), QStringList{"|File ERROR"});
}

TEST_F(SaveFrameTest, JedecIsNotWrittenForAPartWithoutFuseGeometry) {
    select({.letter = 'P', .lastAddress = 0x7FF});
    const QString file = path("f.jed");
    EXPECT_FALSE(save(file, 5, 0, 0x7FF));
    EXPECT_FALSE(QFile::exists(file));
}

TEST_F(SaveFrameTest, RangeRulesFollowTheFormatNotTheDevice) {
    select({.letter = 'C', .lastAddress = 0x7FF, .algorithm = 4, .pageCode = 12, .configCount = 2});
    // A range format on a PIC still needs a range inside the buffer...
    EXPECT_FALSE(save(path("a.hex"), 0, 0, std::uint32_t(st.buf.size())));
    // ...while the PIC formats ignore it.
    EXPECT_TRUE(save(path("b.hex"), 3, 0x7FFFFFFF, 1));
}
