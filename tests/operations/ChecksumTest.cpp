#include <gtest/gtest.h>

#include "operations/Checksum.h"
#include "operations/Report.h"
#include "support/RecordImage.h"
#include "support/TestSupport.h"

using namespace tesmar;
using test::RecordImage;

namespace {

struct Case {
    const char* name;
    char letter;
    std::vector<std::uint8_t> bytes;
    std::uint32_t lastAddress;
    std::uint32_t expected;
};

std::uint32_t sumOf(const DeviceRecord& rec, std::size_t bufferSize, std::uint32_t lastAddress,
                    const std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>>& bytes, std::uint8_t fill = 0) {
    ImageBuffer buf;
    buf.replace(bufferSize);
    std::fill(buf.DeviceBuffer.begin(), buf.DeviceBuffer.end(), fill);
    for (const auto& [at, v] : bytes) std::copy(v.begin(), v.end(), buf.DeviceBuffer.begin() + at);
    buf.BufferLastAddress = lastAddress;
    return computeChecksum(buf, &rec);
}

}  // namespace

class ChecksumByFamily : public ::testing::TestWithParam<Case> {};

TEST_P(ChecksumByFamily, SumsTheImage) {
    const Case& c = GetParam();
    AppState st;
    test::RecorderHost host;
    st.host = &host;
    st.CurrentDevice = RecordImage(c.letter).shared();
    st.buf.replace(0x10000);
    std::copy(c.bytes.begin(), c.bytes.end(), st.buf.DeviceBuffer.begin());
    st.buf.BufferLastAddress = c.lastAddress;
    EXPECT_EQ(UpdateChecksum(st), c.expected);
    EXPECT_EQ(host.checksum(), QString::asprintf("0x%.4X", c.expected & 0xFFFF));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChecksumByFamily,
    ::testing::Values(Case{"ByteFamily", 'R', {0xFF, 0x01}, 1, 0x100},
                      Case{"SerialSigned", 'S', {0xFF, 0x01}, 1, 0},
                      Case{"WordLittleEndian", 'O', {0x34, 0x12}, 1, 0x1234},
                      Case{"PldFuseWeights", 'P', {1, 0, 1}, 2, 5},
                      Case{"UnknownLetter", 'D', {1, 2, 3}, 2, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Checksum, PicWordsAreSignExtendedAndTheConfigWordIsMasked) {
    const DeviceRecord pic = RecordImage('C').configMasks({0x3F, 0xFF}).build();
    // 0x3F,0xFF contributes -1; 0x30,0x7F contributes 0x307F; config word 0x3F,0x72 masked by 0x3FFF.
    EXPECT_EQ(sumOf(pic, 0x10000, 1, {{0, {0x3F, 0xFF}}}), 0xFFFFFFFFu);
    EXPECT_EQ(sumOf(pic, 0x10000, 1, {{0, {0x30, 0x7F}}}), 0x307Fu);
    EXPECT_EQ(sumOf(pic, 0x10000, 1, {{0, {0x30, 0x7F}}, {0x400E, {0x3F, 0x72}}}), 0x307Fu + 0x3F72u);
    // An odd count takes one byte more; a word cut off by the buffer end is not read.
    EXPECT_EQ(sumOf(pic, 0x10000, 2, {{0, {0x00, 0x01, 0x00, 0x02}}}), 3u);
    // PIC18 takes its mask term from 0xF0010; page 46 ANDs both configuration words.
    const DeviceRecord pic18 = RecordImage('C').algorithm(18).configMasks({0x0F, 0x0F}).build();
    EXPECT_EQ(sumOf(pic18, 0x100000, 1, {{0xF0010, {0x12, 0x34}}}), 0x0204u);
    // Only page code 46 itself takes its term from 0x1000E and 0x10010; its
    // neighbours take 0x400E.
    for (const auto& [page, expected] : {std::pair{45, 0x1234u}, {46, 0x300Cu}, {47, 0x1234u}}) {
        const DeviceRecord rec = RecordImage('C').pageCode(std::uint8_t(page)).configMasks({0x3F, 0xFF}).build();
        EXPECT_EQ(sumOf(rec, 0x20000, 1, {{0x400E, {0x12, 0x34}}, {0x1000E, {0x3F, 0x0F, 0x30, 0x7C}}}), expected)
            << "page " << page;
    }
}

TEST(Checksum, ByteFamiliesAndDataAreas) {
    // An erased 32 KiB image: 0x8000 x 0xFF.
    EXPECT_EQ(sumOf(RecordImage('R').build(), 0x10000, 0x7FFF, {}, 0xFF), 0x7F8000u);
    // 'M' adds its data area after the code.
    const DeviceRecord mcu = RecordImage('M').dataEepromSize(4).build();
    EXPECT_EQ(sumOf(mcu, 0x20000, 3, {{0, {1, 1, 1, 1, 2, 2, 2, 2, 9}}}), 12u);
    // A 16-bit serial part sums two signed bytes per step.
    const DeviceRecord serial16 = RecordImage('S').pulseWidth(16).build();
    EXPECT_EQ(sumOf(serial16, 0x10000, 1, {{0, {0xFF, 0x02, 0x03, 0x04, 0x50}}}), 8u);
    // A data area reaching past the buffer is cut at its end.
    const DeviceRecord big = RecordImage('M').dataEepromSize(0xFFFF).build();
    EXPECT_EQ(sumOf(big, 0x10, 0xF, {}, 1), 0x10u);
}

TEST(Sounds, PlayOnlyWhenSwitchedOnAndSwitchOffOnADeviceError) {
    AppState st;
    test::RecorderHost host;
    st.host = &host;
    PlayChimesSound(st);
    EXPECT_TRUE(host.sounds().empty());
    st.settings.SoundOn = 1;
    PlayChimesSound(st);
    PlayErrorSound(st);
    PlayNotifySound(st);
    EXPECT_EQ(host.sounds(), (std::vector<Sound>{Sound::Chimes, Sound::Error, Sound::Notify}));
    host.soundWorks = false;
    PlayErrorSound(st);
    EXPECT_EQ(st.settings.SoundOn, 0);
    host.soundWorks = true;
    PlayErrorSound(st);
    EXPECT_EQ(host.sounds().size(), 3u);
}
