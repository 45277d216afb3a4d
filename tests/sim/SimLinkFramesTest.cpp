// The link frames: identify, bitstream and firmware uploads, device parameters, probe.
#include <gtest/gtest.h>

#include "SimTestUtil.h"

using namespace tesmar;
using namespace tesmar::sim;
using namespace tesmar::sim::test;

namespace {
const Bytes kIdentify{'N', 0, 0, 0};
}

TEST(SimLink, IdentifyAnswersTheSetReply) {
    OpenSim s;
    send(s.sim, kIdentify);
    EXPECT_EQ(drain(s.sim), Bytes{2});
    s.sim.setIdentifyReply({5, 1, 0});
    send(s.sim, kIdentify);
    EXPECT_EQ(drain(s.sim), (Bytes{5, 1, 0}));
    send(s.sim, {'N', 0, 0, 1});
    EXPECT_TRUE(drain(s.sim).empty()) << "only N,0,0,0 identifies";
    EXPECT_EQ(s.sim.protocolErrors().size(), 1u);
}

struct BitstreamCase {
    const char* name;
    std::vector<std::size_t> writes;  // data bytes per write call after "FPGA"
};

class SimBitstream : public ::testing::TestWithParam<BitstreamCase> {};

TEST_P(SimBitstream, GoodFollowsExactly19897DataBytes) {
    OpenSim s;
    send(s.sim, bytes("FPGA"));
    EXPECT_EQ(drain(s.sim), bytes("Send"));
    Bytes data = pattern(kBitstreamSize);
    std::size_t at = 0;
    for (std::size_t n : GetParam().writes) {
        EXPECT_TRUE(drain(s.sim).empty()) << "Good before all data arrived, at " << at;
        send(s.sim, Bytes(data.begin() + std::ptrdiff_t(at), data.begin() + std::ptrdiff_t(at + n)));
        at += n;
    }
    ASSERT_EQ(at, kBitstreamSize);
    EXPECT_EQ(drain(s.sim), bytes("Good"));
    EXPECT_EQ(s.sim.lastBitstream(), data);
    send(s.sim, kIdentify);
    EXPECT_EQ(drain(s.sim), Bytes{2}) << "back to frames after the data";
}

INSTANTIATE_TEST_SUITE_P(Uploads, SimBitstream,
                         ::testing::Values(BitstreamCase{"OneWrite", {19897}},
                                           BitstreamCase{"HundredBytesThenZeroFill", {100, 19797}},
                                           BitstreamCase{"Pieces", {1, 4095, 8192, 7609}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SimLink, BitstreamAndFollowingFrameInOneWrite) {
    OpenSim s;
    send(s.sim, bytes("FPGA") + Bytes(kBitstreamSize, 0) + kIdentify);
    EXPECT_EQ(drain(s.sim), bytes("Send") + bytes("Good") + Bytes{2});
}

struct FirmwareCase {
    const char* name;
    std::size_t fileBytes;     // bytes the host sends
    std::uint16_t lengthField;
    int sumDelta;
    const char* reply;
};

class SimFirmware : public ::testing::TestWithParam<FirmwareCase> {};

TEST_P(SimFirmware, OkayOnlyWithTheRightSum) {
    const FirmwareCase& c = GetParam();
    OpenSim s;
    Bytes data = pattern(c.fileBytes, 7);
    send(s.sim, firmwareFrame(data, c.lengthField, c.sumDelta) + kIdentify);
    EXPECT_EQ(drain(s.sim), bytes(c.reply) + Bytes{2});
    EXPECT_EQ(s.sim.lastFirmware(), data);
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Uploads, SimFirmware,
    ::testing::Values(FirmwareCase{"Small", 100, 100, 0, "Okay"},
                      FirmwareCase{"Length0x1234", 0x1234, 0x1234, 0, "Okay"},
                      FirmwareCase{"Empty", 0, 0, 0, "Okay"},
                      FirmwareCase{"WrongSum", 100, 100, 1, "Fail"},
                      FirmwareCase{"LongFileCutTo8192", 8192, 10000, 0, "Okay"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimLink, FirmwareLengthTravelsHighByteFirst) {
    OpenSim s;
    // 0x0102 = 258 bytes; read the other way round (0x0201 = 513) the sum byte would go astray.
    Bytes data(258, 1);
    send(s.sim, firmwareFrame(data, 0x0102));
    EXPECT_EQ(drain(s.sim), bytes("Okay"));
}

struct TailCase {
    char letter;
    std::size_t tail;
};

class SimParameters : public ::testing::TestWithParam<TailCase> {};

TEST_P(SimParameters, TakesTheFamilyTailAndNoMore) {
    const TailCase& c = GetParam();
    OpenSim s;
    Bytes packet(kPacketSize, 0);
    packet[13] = std::uint8_t(c.letter);
    packet[14] = 18;
    Bytes tail = pattern(c.tail, 3);
    Bytes frame = bytes("V000") + Bytes{0x00, 0x01, 0x00, 0x00} + packet + tail;
    send(s.sim, frame);
    EXPECT_TRUE(drain(s.sim).empty()) << "device parameters have no reply";
    EXPECT_EQ(s.sim.lastParameters(), Bytes(frame.begin() + 4, frame.end()));
    send(s.sim, kIdentify);
    EXPECT_EQ(drain(s.sim), Bytes{2}) << "the frame after the tail is read as a frame";
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

INSTANTIATE_TEST_SUITE_P(Letters, SimParameters,
                         ::testing::Values(TailCase{'C', 4}, TailCase{'E', 3}, TailCase{'F', 3}, TailCase{'S', 6},
                                           TailCase{'O', 4}, TailCase{'R', 4}, TailCase{'M', 0},
                                           TailCase{'P', 0}, TailCase{'L', 0}, TailCase{0, 0}),
                         [](const auto& info) {
                             return info.param.letter ? std::string(1, info.param.letter) : std::string("None");
                         });

TEST(SimLink, ParametersSentInSeparateWrites) {
    OpenSim s;
    Bytes packet(kPacketSize, 0);
    packet[13] = 'S';
    send(s.sim, bytes("V000"));
    send(s.sim, {0, 0, 0x80, 0});
    send(s.sim, packet);
    send(s.sim, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(s.sim.lastParameters(), (Bytes{0, 0, 0x80, 0} + packet + Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(SimLink, ProbeAnswersGoodOrOverCurrent) {
    OpenSim s;
    for (const char* probe : {"TO", "EO"}) {
        send(s.sim, bytes(probe) + Bytes{0, 0});
        EXPECT_EQ(readN(s.sim, 4), bytes("Good")) << probe;
    }
    s.sim.faults().overCurrent = true;
    for (const char* probe : {"TO", "EO"}) {
        send(s.sim, bytes(probe) + Bytes{0, 0});
        EXPECT_EQ(readN(s.sim, 4), bytes("OCER")) << probe;
    }
}

TEST(SimLink, UnknownFramesAreNotedAndUnanswered) {
    OpenSim s;
    send(s.sim, bytes("XYZW") + bytes("ER") + Bytes{0, 0});  // the second: empty socket
    EXPECT_TRUE(drain(s.sim).empty());
    EXPECT_EQ(s.sim.protocolErrors().size(), 2u);
}
