// The simulated IC tester frame by frame: bit packing, power and seating,
// clock pulses, state, the memory part, and the faults a part can have.
#include <gtest/gtest.h>

#include <map>

#include "IcTesterDriver.h"
#include "sim/EpromChip.h"
#include "sim/LogicIc.h"

using namespace tesmar;
using namespace tesmar::simic::test;

namespace {

struct Tester {
    sim::SimProgrammer sim;
    explicit Tester(const std::string& part) {
        sim.open("Tesmar", 0x20000002);
        sim.insertLogicIc(part);
    }
    // One vector line as a whole attempt (open, line, close).
    std::string run(const std::string& line, std::uint8_t gnd, std::uint8_t vc = 8) {
        Attempt a = runAttempt(sim, {line}, int(line.size()), gnd, vc);
        return a.results.empty() ? "" : a.results.front();
    }
};

const std::vector<std::string> k7400{
    "00H00HGH00H00V", "01H01HGH01H01V", "10H10HGH10H10V", "11L11LGL11L11V", "00H01HGH10L11V",
};

// A 6116 line: address, then either data written or data expected.
std::string ramLine(unsigned address, bool write, std::uint8_t data) {
    static const int a[] = {8, 7, 6, 5, 4, 3, 2, 1, 23, 22, 19};
    static const int d[] = {9, 10, 11, 13, 14, 15, 16, 17};
    std::string line(24, '0');
    line[11] = 'G';
    line[23] = 'V';
    for (int i = 0; i < 11; ++i) line[std::size_t(a[i] - 1)] = (address >> i) & 1 ? '1' : '0';
    for (int i = 0; i < 8; ++i) {
        bool bit = (data >> i) & 1;
        line[std::size_t(d[i] - 1)] = write ? (bit ? '1' : '0') : (bit ? 'H' : 'L');
    }
    line[17] = '0';              // chip enable
    line[19] = write ? '1' : '0';  // output enable
    line[20] = write ? '0' : '1';  // write enable
    return line;
}

}  // namespace

// ---- bit layout --------------------------------------------------------------

TEST(SimIcTester, FourteenPinPartsPackSevenPinsPerByte) {
    Tester t("7404");
    write(t.sim, {'E', 'S', 7, 8});
    // Inputs 1, 3, 5, 9, 11, 13 low: every output high.
    write(t.sim, directionFrame("0H0H0HGH0H0H0V", 14, 7, 8));
    EXPECT_EQ(directionFrame("0H0H0HGH0H0H0V", 14, 7, 8), (Bytes{'E', 14, 7, 8, 0x55, 0x6A, 0, 0}));
    write(t.sim, Bytes{0, 0x40, 0, 0, 0, 0});
    // Pins 2, 4, 6 are bits 1, 3, 5 of byte 0; pin 8 is bit 0 of byte 1, then 10, 12 and the supply on 14.
    EXPECT_EQ(read(t.sim, 2), (Bytes{0x2A, 0x55}));
    EXPECT_TRUE(t.sim.protocolErrors().empty());
}

TEST(SimIcTester, EightPinsPerByteFailFourteenPinParts) {
    Tester t("7404");
    write(t.sim, {'E', 'S', 7, 8});
    // What a host packing eight pins per byte would send for "0H0H0HGH0H0H0V":
    // pins 9, 11, 13 and 14 land on the wrong bits.
    write(t.sim, Bytes{'E', 14, 7, 8, 0x55, 0x35, 0, 0});
    write(t.sim, Bytes{0, 0x20, 0, 0, 0, 0});
    Bytes reply = read(t.sim, 2);
    EXPECT_NE(resultLine("0H0H0HGH0H0H0V", 14, reply), "0H0H0HGH0H0H0V");
}

TEST(SimIcTester, LargerPartsPackEightPinsPerByteInThreeBytes) {
    Tester t("74HC918");
    // Inputs 1-8 = 1,0,0,0,0,0,0,1: outputs 17 and 10 low, 11-16 high.
    EXPECT_EQ(t.run("10000001GLHHHHHHLV", 9), "10000001GLHHHHHHLV");
    write(t.sim, {'E', 'S', 9, 8});
    Bytes dir = directionFrame("10000001GLHHHHHHLV", 18, 9, 8);
    EXPECT_EQ(dir, (Bytes{'E', 18, 9, 8, 0xFF, 0x01, 0x02, 0, 0, 0}));
    write(t.sim, dir);
    write(t.sim, Bytes{0x81, 0x00, 0x02, 0, 0});
    // Pin 1 and 8 driven high; outputs 11-16 (bits 2-7 of byte 1) high; supply pin 18 (bit 1 of byte 2).
    EXPECT_EQ(read(t.sim, 3), (Bytes{0x81, 0xFC, 0x02}));
    EXPECT_TRUE(t.sim.protocolErrors().empty());
}

TEST(SimIcTester, BitsOfPinsThePartDoesNotHaveAreNoted) {
    Tester t("7400");
    write(t.sim, {'E', 'S', 7, 8});
    write(t.sim, Bytes{'E', 14, 7, 8, 0x80, 0, 0, 0});
    write(t.sim, Bytes(6, 0));
    read(t.sim, 2);
    ASSERT_EQ(t.sim.protocolErrors().size(), 1u);
    EXPECT_NE(t.sim.protocolErrors()[0].find("direction mask"), std::string::npos);
}

// ---- power and seating -------------------------------------------------------

struct SeatCase {
    const char* what;
    Bytes open, directionHead;  // 4 bytes each; empty open = none sent
    bool passes;
};

class SimIcSeating : public ::testing::TestWithParam<SeatCase> {};

TEST_P(SimIcSeating, OnlyTheRightPinsPowerThePart) {
    const SeatCase& c = GetParam();
    Tester t("7400");
    if (!c.open.empty()) write(t.sim, c.open);
    int failed = -1;
    for (std::size_t i = 0; i < k7400.size() && failed < 0; ++i) {
        Bytes dir = directionFrame(k7400[i], 14, 7, 8);
        std::copy(c.directionHead.begin(), c.directionHead.end(), dir.begin());
        write(t.sim, dir);
        unsigned clocks = 1;
        write(t.sim, levelFrame(k7400[i], 14, clocks));
        if (resultLine(k7400[i], 14, read(t.sim, 2)) != k7400[i]) failed = int(i);
    }
    EXPECT_EQ(failed == -1, c.passes) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimIcSeating,
    ::testing::Values(SeatCase{"right", {'E', 'S', 7, 8}, {'E', 14, 7, 8}, true},
                      // The database's bytes sent without the shift to the socket.
                      SeatCase{"ground not remapped", {'E', 'S', 20, 8}, {'E', 14, 20, 8}, false},
                      SeatCase{"supply pin instead of driver code", {'E', 'S', 7, 40}, {'E', 14, 7, 40}, false},
                      SeatCase{"supply on another driver", {'E', 'S', 7, 7}, {'E', 14, 7, 7}, false},
                      // The tester would seat a 16-pin part: pins 8-14 land one socket pin off.
                      SeatCase{"wrong pin count", {'E', 'S', 7, 8}, {'E', 16, 7, 8}, false},
                      SeatCase{"never opened", {}, {'E', 14, 7, 8}, false}),
    [](const auto& info) {
        std::string n = info.param.what;
        for (char& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST(SimIcTester, UnknownNamesLeaveTheSocketEmptyAndCaseDoesNotMatter) {
    Tester t("7499");
    EXPECT_EQ(t.sim.chip(), nullptr);
    t.sim.insertLogicIc("74hc918");
    ASSERT_TRUE(t.sim.logicIc());
    EXPECT_EQ(t.sim.logicIc()->name(), "74HC918");
    EXPECT_EQ(t.sim.logicIc()->pinCount(), 18);
}

TEST(SimIcTester, OtherChipsKeepTheirOwnFrames) {
    sim::SimProgrammer sim;
    sim.open("Tesmar", 0x20000002);
    sim.insertChip(std::make_shared<sim::EpromChip>(16, Bytes{0xFF}, Bytes{1, 2}, true));
    write(sim, {'E', 'S', 7, 8});
    EXPECT_EQ(sim.protocolErrors().size(), 1u);
    EXPECT_EQ(sim.logicIc(), nullptr);
    write(sim, {'E', 'I', 0, 0});
    EXPECT_EQ(read(sim, 2), (Bytes{1, 2}));
}

// ---- clocks and state --------------------------------------------------------

struct CountCase {
    unsigned first, second;  // C/K and c pulse counts
};

class SimIcPulses : public ::testing::TestWithParam<CountCase> {};

TEST_P(SimIcPulses, EachSideCountsItsOwnPulses) {
    const CountCase c = GetParam();
    Tester t("74393");
    write(t.sim, {'E', 'S', 7, 8});
    // Clocks on pin 1 (first side) and pin 13 (second side), clears low, counters read.
    write(t.sim, Bytes{'E', 14, 7, 8, 0x42, 0x50, 0x01, 0x20});
    write(t.sim, Bytes{0, 0x40, std::uint8_t(c.first >> 8), std::uint8_t(c.first), std::uint8_t(c.second >> 8),
                       std::uint8_t(c.second)});
    Bytes reply = read(t.sim, 2);
    ASSERT_EQ(reply.size(), 2u);
    unsigned q1 = 0, q2 = 0;
    for (int b = 0; b < 4; ++b) {
        q1 |= unsigned(pinBit(reply, 14, 3 + b)) << b;
        q2 |= unsigned(pinBit(reply, 14, 11 - b)) << b;
    }
    EXPECT_EQ(q1, c.first % 16);
    EXPECT_EQ(q2, c.second % 16);
}

INSTANTIATE_TEST_SUITE_P(Counts, SimIcPulses,
                         ::testing::Values(CountCase{0, 0}, CountCase{1, 0}, CountCase{0, 1}, CountCase{5, 3},
                                           CountCase{16, 17}, CountCase{0x0102, 0}, CountCase{0x8000, 0x0111}));

TEST(SimIcTester, ClockBurstsDoubleFromLineToLine) {
    Tester t("74393");
    // Pin 1: first clock, 2: its clear, 3-6: its count; 13: second clock, 12: its clear, 11-8: its count.
    const std::vector<std::string> lines{
        "01LLLLGLLLL10V",  // both cleared
        "K0LHLLGLLLL00V",  // burst of 2
        "K0LHHLGLLLL00V",  // 4 more: 6
        "K0LHHHGLLLL00V",  // 8 more: 14
        "C0HHHHGLLLL00V",  // one pulse: 15
        "00HHHHGLLLH0cV",  // the second side counts one
        "K0HHHHGLLHL0cV",  // 16 more on the first side wrap to 15; the second side reaches 2
    };
    Attempt a = runAttempt(t.sim, lines, 14, 7, 8);
    EXPECT_EQ(a.failedLine, -1) << (a.results.empty() ? "" : a.results.back());
    EXPECT_EQ(a.results.size(), lines.size());
}

TEST(SimIcTester, WithoutPulsesTheRegisterKeepsItsData) {
    Tester t("74374");
    // The 20-pin level frame has one pulse pair; no clock character leaves it zero.
    const std::vector<std::string> lines{
        "0H11HH11HGCH11HH11HV",
        "0H00HH00HG0H00HH00HV",
        "1X00XX00XG0X00XX00XV",  // outputs off
        "0L00LL00LGCL00LL00LV",
    };
    EXPECT_EQ(runAttempt(t.sim, lines, 20, 10, 8).failedLine, -1);
}

TEST(SimIcTester, ClosingTheTesterRemovesTheSupplyAndTheData) {
    Tester t("74374");
    EXPECT_EQ(runAttempt(t.sim, {"0H11HH11HGCH11HH11HV"}, 20, 10, 8).failedLine, -1);
    // Powered again: the register starts from zero.
    EXPECT_EQ(runAttempt(t.sim, {"0L11LL11LG0L11LL11LV"}, 20, 10, 8).failedLine, -1);
}

TEST(SimIcTester, BothPresetAndClearDriveBothOutputsHigh) {
    Tester t("7474");
    EXPECT_EQ(t.run("0XX0HHGHH0XX0V", 7), "0XX0HHGHH0XX0V");
}

// ---- the memory part ---------------------------------------------------------

TEST(SimIcTester, TheStaticRamKeepsWhatWasWritten) {
    Tester t("6116");
    const std::vector<std::string> lines{
        ramLine(0x123, true, 0xA5), ramLine(0x7FF, true, 0x3C), ramLine(0x123, false, 0xA5),
        ramLine(0x7FF, false, 0x3C), ramLine(0x000, false, 0x00),
    };
    EXPECT_EQ(runAttempt(t.sim, lines, 24, 12, 8).failedLine, -1);
    // A wrong expectation fails.
    EXPECT_EQ(runAttempt(t.sim, {ramLine(0x10, true, 0x01), ramLine(0x10, false, 0x02)}, 24, 12, 8).failedLine, 1);
}

TEST(SimIcTester, ALoneDirectionFrameDoesNotDerailTheFramesAfterIt) {
    // The memory-IC test sends one direction frame and no level frame.
    Tester t("6116");
    write(t.sim, Bytes{'E', 24, 12, 8, 0x12, 0x34, 0x56, 0, 0, 0});
    write(t.sim, {'F', 'P', 'G', 'A'});
    EXPECT_EQ(read(t.sim, 4), (Bytes{'S', 'e', 'n', 'd'}));
    write(t.sim, Bytes(sim::kBitstreamSize, 0));
    EXPECT_EQ(read(t.sim, 4), (Bytes{'G', 'o', 'o', 'd'}));

    write(t.sim, Bytes{'E', 24, 12, 8, 0x12, 0x34, 0x56, 0, 0, 0});
    t.sim.insertLogicIc("7400");
    EXPECT_EQ(runAttempt(t.sim, k7400, 14, 7, 8).failedLine, -1);
    EXPECT_TRUE(t.sim.protocolErrors().empty()) << t.sim.protocolErrors().front();
}

// ---- faults ------------------------------------------------------------------

struct FaultCase {
    const char* what;
    int pin;
    int kind;  // 0 stuck low, 1 stuck high, 2 shorted
    int failingLine;
    const char* result;
};

class SimIcFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(SimIcFaults, TheFirstLineThatSeesTheFaultFails) {
    const FaultCase& c = GetParam();
    Tester t("7400");
    if (c.kind == 2) t.sim.logicIc()->shortInput(c.pin);
    else t.sim.logicIc()->stickPin(c.pin, c.kind == 1);
    Attempt a = runAttempt(t.sim, k7400, 14, 7, 8);
    EXPECT_EQ(a.failedLine, c.failingLine);
    ASSERT_FALSE(a.results.empty());
    EXPECT_EQ(a.results.back(), c.result);
    // The fault stays until it is cleared.
    EXPECT_EQ(runAttempt(t.sim, k7400, 14, 7, 8).failedLine, c.failingLine);
    t.sim.logicIc()->clearFaults();
    EXPECT_EQ(runAttempt(t.sim, k7400, 14, 7, 8).failedLine, -1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimIcFaults,
    ::testing::Values(
        // Output 3 stuck high: good until both inputs are high.
        FaultCase{"output_stuck_high", 3, 1, 3, "11H11LGL11L11V"},
        FaultCase{"output_stuck_low", 6, 0, 0, "00H00LGH00H00V"},
        // Input 2 stuck high: reads back wrong at once.
        FaultCase{"input_stuck_high", 2, 1, 0, "01H00HGH00H00V"},
        // Input 13 stuck low: the first line that drives it high.
        FaultCase{"input_stuck_low", 13, 0, 1, "01H01HGH01H00V"},
        // A shorted input reads the opposite level, and the gate sees it too.
        FaultCase{"shorted_input", 1, 2, 0, "10H00HGH00H00V"},
        FaultCase{"shorted_output", 11, 2, 0, "00H00HGH00L00V"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(SimIcTester, AFaultOnAClockedPartFailsOnlyTheLinesThatShowIt) {
    Tester t("7474");
    // Second flip-flop's Q (pin 9) stuck low: the first line that expects it high is line 1.
    t.sim.logicIc()->stickPin(9, false);
    std::vector<std::string> lines;
    for (const DbIc& ic : sampleDatabase())
        if (ic.name == "7474") lines = ic.lines();
    ASSERT_EQ(lines.size(), 5u);
    Attempt a = runAttempt(t.sim, lines, 14, 7, 8);
    EXPECT_EQ(a.failedLine, 1);
    EXPECT_EQ(a.results.back(), "1XX0HLGLL0XX1V");
}
