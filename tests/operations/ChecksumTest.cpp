#include <gtest/gtest.h>

#include "operations/Checksum.h"
#include "support/TestSupport.h"

using namespace tesmar;

namespace {

struct Case {
    const char* name;
    char letter;
    std::vector<std::uint8_t> bytes;
    std::uint32_t lastAddress;
    std::uint32_t expected;
};

DeviceRecord makeRecord(char letter) {
    std::array<std::uint8_t, kDeviceRecordSize> raw{};
    raw[1] = std::uint8_t(letter);
    return DeviceRecord::fromImage(raw.data());
}

}  // namespace

class ChecksumByFamily : public ::testing::TestWithParam<Case> {};

TEST_P(ChecksumByFamily, SumsTheImage) {
    const Case& c = GetParam();
    AppState st;
    test::RecorderHost host;
    st.host = &host;
    st.CurrentDevice = std::make_shared<DeviceRecord>(makeRecord(c.letter));
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
