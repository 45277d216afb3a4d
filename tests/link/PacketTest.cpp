// The device-parameter packet and family tails, byte for byte, both as built
// and as the simulated programmer received them after "V000".
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "link/Link.h"
#include "link/LinkTestSupport.h"
#include "sim/SimProgrammer.h"
#include "support/TestSupport.h"

using namespace tesmar;
using tesmar::test::RecordImage;
using tesmar::test::linkRecord;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct PacketCase {
    const char* name;
    RecordImage record;
    Bytes packet;  // 15 bytes
    Bytes tail;
};

// Voltages shared by most cases: 5.0 V, 6.25 V, 4.5 V, 12.5 V.
constexpr std::uint8_t kV9 = 125, kV10 = 156, kV11 = 45, kV12 = 125;

RecordImage rec(char family, std::int8_t algorithm = 0) {
    return linkRecord(family, algorithm).voltages(5.0f, 6.25f, 4.5f, 12.5f).lastAddress(0x7FFF);
}

std::vector<PacketCase> cases() {
    return {
        {"TwentyEightPinShift",
         rec('R', 3).pinCount(28).powerPins({0x80 | 7, 0x40 | 34}).epromVoltage(12.7f).firmwareParam1(0x11)
             .pulseWidth(999).firmwareParam3(0x22),
         {0, 0, 0, 0, 0, 8, 0, 9, 0, kV9, kV10, kV11, kV12, 'R', 3},
         {126, 0x11, 99, 0x22}},
        {"FortyPinUnshifted",
         // Pins 34 (Vcc) and 7 (Vpp) have no driver: their bytes stay empty but are used up.
         rec('E', 5).powerPins({0x40 | 34, 0x40 | 40, 0x80 | 7, 0x80 | 1}).firmwareParam3(0x33).programParam16(0x1234),
         {0, 0, 0, 0, 0, 0, 8, 0, 9, kV9, kV10, kV11, kV12, 'E', 5},
         {0x33, 0x12, 0x34}},
        {"GroundPinsSorted",
         rec('P', 7).powerPins({20, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
         {0, 0, 0, 10, 20, 0, 0, 0, 0, kV9, kV10, kV11, kV12, 'P', 7},
         {}},
        {"GroundRunsIntoVccSlots",
         // Seven ground pins reach bytes 5 and 6; a Vcc pin without a driver leaves
         // byte 5 as the ground step wrote it, the next Vcc pin replaces byte 6.
         rec('F', 1).powerPins({1, 2, 3, 4, 5, 6, 7, 0x40 | 3, 0x40 | 2}).programParam16(0x0102),
         {1, 2, 3, 4, 5, 6, 2, 0, 0, kV9, kV10, kV11, kV12, 'F', 1},
         {0, 0x01, 0x02}},
        {"VccPinsPastTheEnd",
         rec('O', 2).powerPins({0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41})
             .epromVoltage(12.5f).pulseWidth(1000),
         {0, 0, 0, 0, 0, 1, 1, 1, 1, kV9, kV10, kV11, kV12, 'O', 2},
         {125, 0, 1, 0}},
        {"VppPinsPastTheEnd",
         rec('R', 4).powerPins({0xA8, 0xA8, 0xA8, 0xA8, 0xA8, 0xA8, 0xA8, 0xA8, 0xA8, 0xA8, 0xA8, 0xA8})
             .epromVoltage(21.0f).pulseWidth(25000),
         {0, 0, 0, 0, 0, 0, 0, 23, 23, kV9, kV10, kV11, kV12, 'R', 4},
         {210, 0, 25, 0}},
        {"PicWordCount",
         rec('C', 0).dataEepromSize(127).firmwareParam2(0x5A).pageCode(0x21),
         {0, 0, 0, 0, 0, 0, 0, 0, 0, kV9, kV10, kV11, kV12, 'C', 0},
         {1, 0, 0x5A, 0x21}},
        {"Pic18ByteCount",
         rec('C', 18).dataEepromSize(255).firmwareParam2(1).pageCode(0x60),
         {0, 0, 0, 0, 0, 0, 0, 0, 0, kV9, kV10, kV11, kV12, 'C', 18},
         {1, 0, 1, 0x60}},
        {"SerialTail",
         rec('S', 9).firmwareParam1(0x44).pulseWidth(0x1234).programParam(0x56).eraseTime(0xABCD).pageCode(0x77),
         {0, 0, 0, 0, 0, 0, 0, 0, 0, kV9, kV10, kV11, kV12, 'S', 9},
         {0x44, 0x34, 0x56, 0xAB, 0xCD, 0x77}},
        {"SmallPackageLowPinsWrap",
         // On an 8-pin device (k = 16) pin 1 becomes 241 and has no driver; pin 5 (21) is
         // a ground pin that lands as 37 after the shift.
         rec('M', 1).pinCount(8).powerPins({0x40 | 1, 0x40 | 24, 0x80 | 17, 5}),
         {0, 0, 0, 0, 245, 0, 8, 9, 0, kV9, kV10, kV11, kV12, 'M', 1},
         {}},
    };
}

}  // namespace

class PacketByRecord : public ::testing::TestWithParam<PacketCase> {};

TEST_P(PacketByRecord, BuildsTheLiteralBytes) {
    const PacketCase& c = GetParam();
    const DeviceRecord d = c.record.build();
    const auto packet = buildDeviceParameterPacket(d);
    EXPECT_EQ(Bytes(packet.begin(), packet.end()), c.packet);
    EXPECT_EQ(buildFamilyTail(d), c.tail);
}

TEST_P(PacketByRecord, ArrivesAtTheProgrammerAfterV000) {
    const PacketCase& c = GetParam();
    sim::SimProgrammer sim;
    ASSERT_EQ(sim.open("Tesmar", 2), UsbOk);
    test::RecorderHost host;
    AppState st;
    st.usb = &sim;
    st.host = &host;
    st.CurrentDevice = c.record.shared();

    SendDeviceParameters(st);

    Bytes expected{0, 0, 0x80, 0};  // LastAddress 0x7FFF + 1, high byte first
    expected.insert(expected.end(), c.packet.begin(), c.packet.end());
    expected.insert(expected.end(), c.tail.begin(), c.tail.end());
    EXPECT_EQ(sim.lastParameters(), expected);
    Bytes wire{'V', '0', '0', '0'};
    wire.insert(wire.end(), expected.begin(), expected.end());
    EXPECT_EQ(sim.hostBytes(), wire);
    EXPECT_TRUE(sim.protocolErrors().empty());
    EXPECT_EQ(host.lines(), QStringList{" Parameters sent OK"});
}

INSTANTIATE_TEST_SUITE_P(Cases, PacketByRecord, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VoltageByte, TruncatesTheWidenedFloatAndStaysInAByte) {
    struct {
        float volts;
        int factor;
        std::uint8_t expected;
    } const table[] = {
        {12.7f, 10, 126},  // just below 12.7 as a float
        {5.0f, 25, 125},
        {12.5f, 10, 125},
        {10.2f, 25, 254},  // 254.99999... truncates
        {10.2f, 10, 101},
        {30.0f, 10, 255},  // above a byte: held at 255
        {-3.0f, 10, 0},
        {std::numeric_limits<float>::infinity(), 25, 255},
        {std::nanf(""), 25, 0},
    };
    for (const auto& row : table)
        EXPECT_EQ(voltageByte(row.volts, row.factor), row.expected) << row.volts << " x " << row.factor;
}

TEST(VoltageByte, OutOfRangeRecordStillSendsAPacket) {
    const DeviceRecord d = linkRecord('R', 0).voltages(99.0f, -5.0f, std::nanf(""), 1e30f).build();
    const auto p = buildDeviceParameterPacket(d);
    EXPECT_EQ(p[9], 255);
    EXPECT_EQ(p[10], 0);
    EXPECT_EQ(p[11], 0);
    EXPECT_EQ(p[12], 255);
}

TEST(PinShift, MovesLowPinsDownAndHighPinsUp) {
    EXPECT_EQ(shiftPin(7, 28), 1);
    EXPECT_EQ(shiftPin(34, 28), 40);
    EXPECT_EQ(shiftPin(0, 28), 0);     // an empty entry stays empty
    EXPECT_EQ(shiftPin(7, 40), 7);
    EXPECT_EQ(shiftPin(7, 48), 7);
    EXPECT_EQ(shiftPin(14, 27), 7);    // k = 20 - 13
    EXPECT_EQ(shiftPin(1, -128), std::uint8_t(1 - 84));  // a corrupt pin count wraps, never traps
}

TEST(DeviceParameters, WithoutADeviceSendNothing) {
    sim::SimProgrammer sim;
    sim.open("Tesmar", 2);
    test::RecorderHost host;
    AppState st;
    st.usb = &sim;
    st.host = &host;
    SendDeviceParameters(st);
    EXPECT_TRUE(sim.hostBytes().empty());
    EXPECT_TRUE(host.lines().isEmpty());
}
