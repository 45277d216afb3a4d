// Tester frames built from vector lines, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ictest/IcFrames.h"

using namespace tesmar::ictest;
using Bytes = std::vector<std::uint8_t>;

namespace {

const std::uint8_t* chars(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// Ground and supply as the database stores them for a package (pin + k, supply with role bits 01).
IcPower powerFor(int pins, int gnd, int vcc) {
    const int k = (40 - pins) / 2;
    return icPower(std::uint8_t(gnd + k), std::uint8_t(0x40 | (vcc + k)), pins);
}

Bytes level(const std::string& line, std::uint16_t clock = 1) {
    return icLevelFrame(chars(line), int(line.size()), clock);
}

struct LineCase {
    const char* what;
    std::string line;
    int gnd, vcc;
    Bytes direction, level;
};

}  // namespace

class TesterLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(TesterLine, BuildsTheDirectionAndLevelFrames) {
    const LineCase& c = GetParam();
    const int pins = int(c.line.size());
    const IcPower p = powerFor(pins, c.gnd, c.vcc);
    EXPECT_EQ(icDirectionFrame(chars(c.line), pins, p), c.direction);
    EXPECT_EQ(level(c.line), c.level);
}

INSTANTIATE_TEST_SUITE_P(
    Packages, TesterLine,
    ::testing::Values(
        // 14 pins: seven pins per byte, pin 14 is bit 6 of byte 1.
        LineCase{"7400", "00H00HGH00H00V", 7, 14, {'E', 14, 7, 8, 0x5B, 0x76, 0, 0}, {0x00, 0x40, 0, 0, 0, 0}},
        // Pin 8 of a 14-pin IC opens the second byte.
        LineCase{"pin8", "HHHHHHH1HHHHHH", 7, 14, {'E', 14, 7, 8, 0x00, 0x01, 0, 0}, {0x00, 0x01, 0, 0, 0, 0}},
        // Both clocks of a 14-pin IC: C on pin 3, c on pin 11 (bit 3 of byte 1).
        LineCase{"7474", "11C1HLGHL1c01V", 7, 14, {'E', 14, 7, 8, 0x4B, 0x74, 0x04, 0x08},
                 {0x0B, 0x64, 0x00, 0x01, 0x00, 0x01}},
        LineCase{"74138", "000001HGHHHHHHLV", 8, 16, {'E', 16, 8, 8, 0xBF, 0x80, 0, 0}, {0x20, 0x80, 0, 0, 0, 0}},
        LineCase{"74HC918", "10101010GHLHLHLHLV", 9, 18, {'E', 18, 9, 8, 0xFF, 0x01, 0x02, 0, 0, 0},
                 {0x55, 0x00, 0x02, 0, 0}},
        // A clock on pin 11 of a 20-pin IC: clock mask bit 2 of byte 1, C/K pair 0, 1.
        LineCase{"74374", "0L00LL00LGCL00LL00LV", 10, 20, {'E', 20, 10, 8, 0xCD, 0x32, 0x0B, 0x00, 0x04, 0x00},
                 {0x00, 0x00, 0x08, 0x00, 0x01}},
        LineCase{"74154", "HHHHHHHHHHHGHHHHH001111V", 12, 24, {'E', 24, 12, 8, 0x00, 0x08, 0xFE, 0, 0, 0},
                 {0x00, 0x00, 0xF8, 0, 0}}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.what); });

TEST(TesterFrames, OpenAndCloseCarryGroundAndSupply) {
    const IcPower p = powerFor(14, 7, 14);
    EXPECT_EQ(icOpenFrame(p), (std::array<std::uint8_t, 4>{'E', 'S', 7, 8}));
    EXPECT_EQ(icCloseFrame(), (std::array<std::uint8_t, 4>{'E', 'F', 0, 0}));
}

TEST(TesterFrames, SecondClockOfA24PinIcChangesNoLevelByte) {
    const std::string with = "1XXXXXXXXXXGXXXXXXXXXcXV";
    std::string without = with;
    without[21] = 'L';
    EXPECT_EQ(level(with), level(without));
    EXPECT_EQ(level(with), (Bytes{0x01, 0x00, 0x80, 0, 0}));
    // The direction frame still names it as a clock pin.
    const Bytes d = icDirectionFrame(chars(with), 24, powerFor(24, 12, 24));
    EXPECT_EQ(d[9], 0x20);
}

TEST(TesterFrames, BurstDoublesTheClockCountFromLineToLine) {
    std::uint16_t count = 1;
    const std::string one = "K0000000G000000V", two = "KK000000G000000V", none = "00000000G000000V";
    EXPECT_EQ(icLevelFrame(chars(one), 16, count), (Bytes{0, 0x80, 0x00, 0x02, 0, 0}));
    EXPECT_EQ(icLevelFrame(chars(none), 16, count), (Bytes{0, 0x80, 0, 0, 0, 0}));
    EXPECT_EQ(icLevelFrame(chars(two), 16, count), (Bytes{0, 0x80, 0x00, 0x08, 0, 0}));
    EXPECT_EQ(count, 8);
    // High byte first; a long burst stays at the largest count instead of wrapping to none.
    count = 0x2000;
    EXPECT_EQ(icLevelFrame(chars(two), 16, count), (Bytes{0, 0x80, 0x80, 0x00, 0, 0}));
    EXPECT_EQ(icLevelFrame(chars(one), 16, count), (Bytes{0, 0x80, 0x80, 0x00, 0, 0}));
    // A 'C' after a 'K' in the same line takes the pair back to 0, 1.
    count = 1;
    EXPECT_EQ(icLevelFrame(chars(std::string("KC000000G000000V")), 16, count), (Bytes{0, 0x80, 0, 1, 0, 0}));
}

TEST(TesterFrames, UnknownCharactersSetNoBit) {
    const std::string line = "?z. -#*+!~aBGV";
    const IcPower p = powerFor(14, 13, 14);  // package pin 13 sits on socket pin 39
    EXPECT_EQ(icDirectionFrame(chars(line), 14, p), (Bytes{'E', 14, 39, 8, 0x00, 0x60, 0, 0}));
    EXPECT_EQ(level(line), (Bytes{0, 0x40, 0, 0, 0, 0}));
}

TEST(TesterFrames, SocketPinsAndSupplyDriverCodes) {
    struct {
        int stored, pins, socket;
    } pinCases[] = {{20, 14, 7}, {27, 14, 40}, {20, 16, 8}, {28, 16, 40}, {7, 28 - 4, 7 - 8}, {21, 24, 29}, {1, 40 - 6, 254}};
    for (auto c : pinCases) EXPECT_EQ(socketPin(std::uint8_t(c.stored), c.pins), std::uint8_t(c.socket)) << c.stored;

    const int table[][2] = {{1, 1}, {2, 2}, {10, 3}, {11, 4}, {32, 5}, {35, 6}, {36, 7}, {40, 8}, {3, 3}, {33, 33}, {0, 0}};
    for (auto c : table) EXPECT_EQ(supplyDriverCode(std::uint8_t(c[0])), c[1]) << c[0];

    // Only the low six bits of the supply byte are a pin: 0x54 is pin 20,
    // which a 20-pin IC puts on socket pin 10 (driver 3).
    EXPECT_EQ(icPower(20, 0x54, 20).supplyCode, 3);
    EXPECT_EQ(icPower(20, 0x14, 20).supplyCode, 3);
    EXPECT_EQ(icPower(20, 0x5B, 14).ground, 7);
}

TEST(TesterFrames, ResultLineReadsOutputsAndInputsBack) {
    const std::string line = "00H00HGH00H00V";
    const std::uint8_t good[2] = {0x24, 0x09};  // pins 3, 6, 8, 11 high
    std::string r = icResultLine(chars(line), 14, good);
    EXPECT_EQ(r, line);
    EXPECT_EQ(firstMismatch(chars(line), r), -1);

    const std::uint8_t stuckLow[2] = {0x20, 0x09};  // pin 3 stuck low
    r = icResultLine(chars(line), 14, stuckLow);
    EXPECT_EQ(r, "00L00HGH00H00V");
    EXPECT_EQ(firstMismatch(chars(line), r), 2);

    const std::uint8_t shorted[2] = {0x25, 0x09};  // input pin 1 pulled high
    r = icResultLine(chars(line), 14, shorted);
    EXPECT_EQ(r, "10H00HGH00H00V");
    EXPECT_EQ(firstMismatch(chars(line), r), 0);

    // Ground, supply, don't-care and clock pins are copied, whatever they read.
    const std::string clocked = "XC0000HGcKXXXXXV";
    const std::uint8_t all[2] = {0xFF, 0xFF};
    EXPECT_EQ(icResultLine(chars(clocked), 16, all), "XC1111HGcKXXXXXV");
}

TEST(TesterFrames, PinCountsAndSizes) {
    for (int pins : {14, 16, 18, 20, 24}) EXPECT_TRUE(isTesterPinCount(pins)) << pins;
    for (int pins : {0, 8, 15, 22, 28, 40, 255}) EXPECT_FALSE(isTesterPinCount(pins)) << pins;
    EXPECT_EQ(levelFrameLength(14), 6);
    EXPECT_EQ(levelFrameLength(16), 6);
    EXPECT_EQ(levelFrameLength(18), 5);
    EXPECT_EQ(replyLength(16), 2);
    EXPECT_EQ(replyLength(24), 3);
}
