// Intel HEX against srec_cat in both directions, the record layout of saves,
// and every way a file can be wrong.
#include "FormatFixture.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

class IntelSaveRoundTrip : public FormatFixture, public ::testing::WithParamInterface<SaveRange> {};

}  // namespace

TEST_P(IntelSaveRoundTrip, ReloadsToTheSavedBytes) {
    const SaveRange& r = GetParam();
    expectSaveReloads(r, 0, "out.hex", {"-intel"}, r.start ^ r.stop);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, IntelSaveRoundTrip,
    ::testing::Values(SaveRange{"SmallWhole", 0x7FFF, 0, 0x7FFF},
                      SaveRange{"SmallUnaligned", 0xFFFF, 0x3, 0x1234},
                      SaveRange{"LargeUnalignedCrossing", 0x3FFFF, 0x12345, 0x3FFFF},
                      SaveRange{"LargeEndsOnBoundary", 0x3FFFF, 0x5, 0x1FFFF},
                      SaveRange{"AboveSegmentReach", 0x1FFFFF, 0x123457, 0x1345AB},
                      SaveRange{"Whole16MB", 0xFFFFFF, 0, 0xFFFFFF}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IntelSaveRoundTrip, SmallDeviceGivesTwoRecordsAndTheEndLine) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    for (int i = 0; i < 32; ++i) st.buf.DeviceBuffer[i] = std::uint8_t(i);
    const QString file = path("small.hex");
    ASSERT_TRUE(save(file, 0, 0, 0x1F));
    EXPECT_EQ(readFile(file), QByteArray(":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                                         ":10001000101112131415161718191A1B1C1D1E1F68\r\n"
                                         ":00000001FF\r\n"));
}

TEST_F(IntelSaveRoundTrip, LargeDeviceStartsWithTheSegmentOfTheStart) {
    select({.letter = 'F', .lastAddress = 0x3FFFF});
    const QString file = path("seg.hex");
    ASSERT_TRUE(save(file, 0, 0x12345, 0x12346));
    const QList<QByteArray> lines = readFile(file).split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], ":020000021234B6\r");
    EXPECT_TRUE(lines[1].startsWith(":020005")) << lines[1].toStdString();
}

TEST_F(IntelSaveRoundTrip, WholeLargeDeviceSwitchesToLinearAtEach64K) {
    select({.letter = 'F', .lastAddress = 0x1FFFF});
    const QString file = path("lin.hex");
    ASSERT_TRUE(save(file, 0, 0, 0x1FFFF));
    const QByteArray text = readFile(file);
    EXPECT_TRUE(text.startsWith(":020000020000FC\r\n"));
    EXPECT_TRUE(text.contains(":10FFF000"));
    EXPECT_TRUE(text.contains(":10FFF000") && text.indexOf(":020000040001F9\r\n") > text.indexOf(":10FFF000"));
    EXPECT_TRUE(text.endsWith(":020000040002F8\r\n:00000001FF\r\n"));
}

// ---------------------------------------------------------------------------

namespace {

class IntelFromSrecCat : public FormatFixture, public ::testing::WithParamInterface<SrecCatInput> {};

}  // namespace

TEST_P(IntelFromSrecCat, LoadsTheSameBytes) {
    const SrecCatInput& c = GetParam();
    select({.letter = 'F', .lastAddress = 0xFFFFF});
    const QByteArray bytes = randomBytes(c.size, c.at + c.size);
    const QString hex = path("in.hex");
    ASSERT_NO_FATAL_FAILURE(srecCatWrite(bytes, c.at, hex, QStringList{"-intel"} << c.options));

    load(hex, 0, 0, 2);
    ASSERT_EQ(st.ErrorFlag.get(), 0) << host.lines().join("\n").toStdString();
    EXPECT_EQ(image(c.at, c.size), bytes);
    EXPECT_EQ(st.buf.DeviceBuffer[c.at - 1], 0);
    EXPECT_EQ(st.buf.DeviceBuffer[c.at + c.size], 0);
    EXPECT_TRUE(host.lines().contains(" Lowest Load Address  : " + QString::number(c.at, 16).toUpper()));
    EXPECT_TRUE(host.lines().contains(" Highest Load Address : " + QString::number(c.at + c.size - 1, 16).toUpper()));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, IntelFromSrecCat,
    ::testing::Values(
        SrecCatInput{"Records16Linear", {"-Output_Block_Size", "16"}, 0x100, 0x30000},
        SrecCatInput{"Records32Linear", {"-Output_Block_Size", "32"}, 0x1FFF3, 0x25001},
        SrecCatInput{"SegmentRecords", {"-address-length=3"}, 0x8001, 0x40000},
        SrecCatInput{"StartSegmentType03", {"-address-length=3", "-execution-start-address", "0x1234"}, 0x10, 0x100},
        SrecCatInput{"StartLinearType05", {"-execution-start-address", "0x12345678"}, 0x20000, 0x1000}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------

namespace {

struct BadFile {
    const char* name;
    const char* text;
    std::uint8_t code;
    QStringList lines;     // log lines after the load
    bool fileErrorBox;
};

class IntelErrors : public FormatFixture, public ::testing::WithParamInterface<BadFile> {};

}  // namespace

TEST_P(IntelErrors, StopWithTheirCodeAndLine) {
    const BadFile& c = GetParam();
    expectLoadEnds("bad.hex", c.text, 0, c.code, c.lines);
    EXPECT_EQ(host.messages().contains("|File ERROR"), c.fileErrorBox);
    EXPECT_EQ(host.sounds().empty(), c.code == 0);
    ASSERT_EQ(progress.size(), 1u);
    EXPECT_EQ(progress[0]->closes, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntelErrors,
    ::testing::Values(
        BadFile{"StrayTextFirst", "x:00000001FF\r\n", 20, {" ", " File isn't a hex file", " Not Intel Hex Format"}, false},
        BadFile{"BlankFirstLine", "\r\n:00000001FF\r\n", 20, {" ", " File isn't a hex file", " Not Intel Hex Format"}, false},
        BadFile{"EmptyFile", "", 20, {" Not Intel Hex Format"}, false},
        BadFile{"NoEndRecord", ":0100000055AA\r\n", 20, {" Not Intel Hex Format"}, false},
        BadFile{"SixtyFiveBytes", ":41000000", 20, {" Not Intel Hex Format"}, false},
        BadFile{"BadDigit", ":0100000G55AA\r\n:00000001FF\r\n", 20, {" Not Intel Hex Format"}, false},
        BadFile{"BadDigitInData", ":02000000551Z00\r\n:00000001FF\r\n", 20, {" Not Intel Hex Format"}, false},
        BadFile{"UnknownType", ":0100000655A4\r\n:00000001FF\r\n", 20, {" Not Intel Hex Format"}, false},
        BadFile{"Checksum", ":0100000055AB\r\n:00000001FF\r\n", 2, {" Checksum Error "}, false},
        BadFile{"CutInRecord", ":10000000AABB", 1, {}, true},
        BadFile{"OutsideBuffer", ":020000040010EA\r\n:0100000055AA\r\n:00000001FF\r\n", 70,
                {" File doesn't fit in allocated buffer"}, false},
        BadFile{"LowerCaseDigits", ":01000000aa55\r\n:00000001ff\r\n", 0,
                {" ", "TBD", " Highest Load Address : 0", " Lowest Load Address  : 0"}, false},
        BadFile{"StartLinearBeforeEnd", ":0400000500001234B1\r\n:00000001FF\r\n", 0,
                {" ", "TBD", " Highest Load Address : 0", " Lowest Load Address  : 0"}, false},
        BadFile{"StartSegmentIsDropped", ":04000003DEADBEEF00\r\n:00000001FF\r\n", 0,
                {" ", "TBD", " Highest Load Address : 0", " Lowest Load Address  : 0"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IntelErrors, StoredBytesBeforeACheckSumErrorStay) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    load(write("cs.hex", ":02001000123400\r\n"), 0);
    EXPECT_EQ(st.ErrorFlag.get(), 2);
    EXPECT_EQ(st.buf.DeviceBuffer[0x10], 0x12);
    EXPECT_EQ(st.buf.DeviceBuffer[0x11], 0x34);
    EXPECT_EQ(st.buf.DeviceBuffer[0x12], 0xFF);
}
