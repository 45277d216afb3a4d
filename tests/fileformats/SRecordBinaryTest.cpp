// Motorola S-records and binary files against srec_cat, the save layout,
// offsets and the S-record errors.
#include "FormatFixture.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

class SRecordSaveRoundTrip : public FormatFixture, public ::testing::WithParamInterface<SaveRange> {};

}  // namespace

TEST_P(SRecordSaveRoundTrip, ReloadsToTheSavedBytes) {
    const SaveRange& r = GetParam();
    expectSaveReloads(r, 1, "out.mot", {"-motorola"}, r.start + 7 * r.stop);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, SRecordSaveRoundTrip,
    ::testing::Values(SaveRange{"S1Only", 0x7FFF, 0x11, 0x7FFF},
                      SaveRange{"S1IntoS2", 0x3FFFF, 0xFF00, 0x2FFFF},
                      SaveRange{"S2IntoS3", 0x1FFFFFF, 0xFFFF00, 0x1000100},
                      SaveRange{"Top4MBOf16MB", 0xFFFFFF, 0xC00000, 0xFFFFFF}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SRecordSaveRoundTrip, SixtyFourBytesAreTwoS1RecordsAndS9) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    for (int i = 0; i < 64; ++i) st.buf.DeviceBuffer[i] = std::uint8_t(i);
    const QString file = path("s1.mot");
    ASSERT_TRUE(save(file, 1, 0, 63));
    const QList<QByteArray> lines = readFile(file).split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith("S1230000000102"));
    EXPECT_EQ(lines[0].size(), 2 + 2 + 4 + 64 + 2);
    EXPECT_TRUE(lines[1].startsWith("S1230020202122"));
    EXPECT_EQ(lines[2], "S9030000FC");
    EXPECT_EQ(lines[3], "");
}

TEST_F(SRecordSaveRoundTrip, FromSixtyFourKUsesS2WithThirtyOneBytes) {
    select({.letter = 'F', .lastAddress = 0x1FFFF});
    const QString file = path("s2.mot");
    ASSERT_TRUE(save(file, 1, 0x10000, 0x1003F));
    const QList<QByteArray> lines = readFile(file).split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("S223010000"));
    EXPECT_TRUE(lines[1].startsWith("S22301001F"));
    EXPECT_TRUE(lines[2].startsWith("S20601003E"));
}

// ---------------------------------------------------------------------------

namespace {

class SRecordFromSrecCat : public FormatFixture, public ::testing::WithParamInterface<SrecCatInput> {};

}  // namespace

TEST_P(SRecordFromSrecCat, LoadsTheSameBytes) {
    const SrecCatInput& c = GetParam();
    select({.letter = 'F', .lastAddress = 0xFFFFF});
    const QByteArray bytes = randomBytes(c.size, c.size ^ c.at);
    const QString mot = path("in.mot");
    // srec_cat writes the end record only with a start address.
    ASSERT_NO_FATAL_FAILURE(
        srecCatWrite(bytes, c.at, mot, QStringList{"-motorola"} << c.options << "-execution-start-address" << "0"));

    load(mot, 1, 0, 3);
    ASSERT_EQ(st.ErrorFlag.get(), 0) << host.lines().join("\n").toStdString();
    EXPECT_EQ(image(c.at, c.size), bytes);
    EXPECT_EQ(st.buf.DeviceBuffer[c.at + c.size], 0xFF);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, SRecordFromSrecCat,
    ::testing::Values(SrecCatInput{"S1WithS9", {"-address-length=2"}, 0x10, 0x8000},
                      SrecCatInput{"S2WithS8", {"-address-length=3"}, 0x12345, 0x23456},
                      SrecCatInput{"S3WithS7", {"-address-length=4"}, 0x3, 0x40000},
                      SrecCatInput{"HeaderAndCount", {"-enable=data-count"}, 0x200, 0x1000}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {

struct BadSrec {
    const char* name;
    const char* text;
    std::uint8_t code;
    QStringList lines;
};

class SRecordErrors : public FormatFixture, public ::testing::WithParamInterface<BadSrec> {};

}  // namespace

TEST_P(SRecordErrors, StopWithTheirCodeAndLine) {
    const BadSrec& c = GetParam();
    expectLoadEnds("bad.mot", c.text, 1, c.code, c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SRecordErrors,
    ::testing::Values(
        BadSrec{"StrayText", "\nS9030000FC\n", 21, {" ", " File isn't a motorola file", " Not Motorola S-record format"}},
        BadSrec{"ColonBeforeFirstIsSkipped", ":S10400105596\nS9030000FC\n", 0,
                {" ", "TBD", " Highest Load Address : 10", " Lowest Load Address  : 10"}},
        BadSrec{"NoEndRecord", "S10400105596\n", 21, {" Not Motorola S-record format"}},
        BadSrec{"CountTooSmall", "S1020010ED\nS9030000FC\n", 21, {" Not Motorola S-record format"}},
        BadSrec{"BadDigit", "S1040010X596\nS9030000FC\n", 21, {" Not Motorola S-record format"}},
        BadSrec{"Checksum", "S10400105597\nS9030000FC\n", 2, {" Checksum Error "}},
        BadSrec{"S2OutsideBuffer", "S205100000559A\nS9030000FC\n", 70, {" File doesn't fit in allocated buffer"}},
        BadSrec{"S0AndS5Skipped", "S00600004844521B\nS10400105596\nS5030001FB\nS804000000FB\n", 0,
                {" ", "TBD", " Highest Load Address : 10", " Lowest Load Address  : 10"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Binary

TEST_F(SRecordSaveRoundTrip, BinaryWithAddOffsetLandsAtTheOffset) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    const QByteArray bytes = randomBytes(0x1000, 5);
    load(write("in.bin", bytes), 2, 0x100);
    ASSERT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_EQ(image(0x100, 0x1000), bytes);
    EXPECT_EQ(st.buf.DeviceBuffer[0xFF], 0xFF);
    EXPECT_EQ(st.buf.LowestLoad, 0x100u);
    EXPECT_EQ(st.buf.HighestLoad, 0x10FFu);
}

TEST_F(SRecordSaveRoundTrip, BinaryWithSubtractOffsetDropsTheLeadingBytes) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    const QByteArray bytes = randomBytes(0x1000, 6);
    // Intel HEX with a subtracted offset: the data sits above the offset, so it fits.
    const QString hex = path("sub.hex");
    ASSERT_EQ(runTool("srec_cat", {write("sub.bin", bytes), "-binary", "-offset", "0x2000", "-o", hex, "-intel"}), 0);
    load(hex, 0, -0x1800);
    ASSERT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_EQ(image(0x800, 0x1000), bytes);
}

TEST_F(SRecordSaveRoundTrip, NegativeOffsetBelowTheBufferDoesNotFit) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    load(write("in.bin", randomBytes(0x100, 7)), 2, -0x10);
    EXPECT_EQ(st.ErrorFlag.get(), 70);
    EXPECT_EQ(host.lines(), QStringList{" File doesn't fit in allocated buffer"});
}

TEST_F(SRecordSaveRoundTrip, BinaryLongerThanTheBufferStopsAtItsEnd) {
    select({.letter = 'R', .lastAddress = 0x7FFF});
    const QByteArray bytes = randomBytes(0x8001, 8);
    load(write("big.bin", bytes), 2);
    EXPECT_EQ(st.ErrorFlag.get(), 70);
    EXPECT_EQ(image(0, 0x8000), bytes.left(0x8000));
}

TEST_F(SRecordSaveRoundTrip, BinarySaveIsTheRangeUnchanged) {
    select({.letter = 'E', .lastAddress = 0xFFFF});
    const QByteArray bytes = randomBytes(st.buf.size(), 9);
    put(0, bytes);
    const QString file = path("out.bin");
    ASSERT_TRUE(save(file, 2, 0x123, 0x4567));
    EXPECT_EQ(readFile(file), bytes.mid(0x123, 0x4567 - 0x123 + 1));
}
