// The fault plan: each fault as the host sees it, and the programmer's recovery once it is lifted.
#include <gtest/gtest.h>

#include <functional>

#include "SimTestUtil.h"
#include "sim/EpromChip.h"

using namespace tesmar;
using namespace tesmar::sim;
using namespace tesmar::sim::test;

namespace {

const Bytes kIdentify{'N', 0, 0, 0};

struct FaultySim : OpenSim {
    std::shared_ptr<Chip> chip = std::make_shared<EpromChip>(1000, Bytes{0xFF}, Bytes{0x20, 0x0D}, true);
    FaultySim() { sim.insertChip(chip); }
};

// Runs the exchange that ends in the given reply point and returns the programmer's last answer.
Bytes exchange(SimProgrammer& sim, Reply where) {
    switch (where) {
    case Reply::FpgaSend:
        send(sim, bytes("FPGA"));
        return drain(sim);
    case Reply::FpgaGood:
        send(sim, bytes("FPGA"));
        drain(sim);
        send(sim, Bytes(kBitstreamSize, 0));
        return drain(sim);
    case Reply::McuOkay:
        send(sim, firmwareFrame(Bytes(10, 3), 10));
        return drain(sim);
    case Reply::Probe:
        send(sim, {'T', 'O', 0, 0});
        return drain(sim);
    case Reply::EraseDone:
        send(sim, bytes("EE00"));
        return drain(sim);
    case Reply::Other:
        break;
    }
    return {};
}

struct WordCase {
    const char* name;
    Reply where;
    const char* right;
};

const WordCase kWords[] = {
    {"FpgaSend", Reply::FpgaSend, "Send"}, {"FpgaGood", Reply::FpgaGood, "Good"},
    {"McuOkay", Reply::McuOkay, "Okay"},   {"Probe", Reply::Probe, "Good"},
    {"EraseDone", Reply::EraseDone, "Done"},
};

}  // namespace

class SimReplyWord : public ::testing::TestWithParam<WordCase> {};

TEST_P(SimReplyWord, RightWithoutFaults) {
    FaultySim s;
    EXPECT_EQ(exchange(s.sim, GetParam().where), bytes(GetParam().right));
}

TEST_P(SimReplyWord, WrongWordWhereAsked) {
    FaultySim s;
    s.sim.faults().wrongReply[GetParam().where] = "Nope";
    EXPECT_EQ(exchange(s.sim, GetParam().where), bytes("Nope"));
}

TEST_P(SimReplyWord, ShortReplies) {
    FaultySim s;
    s.sim.faults().shortReplies = 2;
    EXPECT_EQ(exchange(s.sim, GetParam().where), bytes(std::string(GetParam().right, 2)));
}

TEST_P(SimReplyWord, SilenceAnswersNothing) {
    FaultySim s;
    s.sim.faults().silent = true;
    EXPECT_TRUE(exchange(s.sim, GetParam().where).empty());
    s.sim.faults().silent = false;
    send(s.sim, kIdentify);
    EXPECT_EQ(drain(s.sim), Bytes{2}) << "a silent programmer took nothing in";
}

INSTANTIATE_TEST_SUITE_P(Points, SimReplyWord, ::testing::ValuesIn(kWords),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SimFaults, WrongWordAtOnePointLeavesTheOthers) {
    FaultySim s;
    s.sim.faults().wrongReply[Reply::FpgaGood] = "Bad!";
    EXPECT_EQ(exchange(s.sim, Reply::Probe), bytes("Good"));
    EXPECT_EQ(exchange(s.sim, Reply::FpgaGood), bytes("Bad!"));
    s.sim.faults().wrongReply[Reply::McuOkay] = "";
    EXPECT_TRUE(exchange(s.sim, Reply::McuOkay).empty()) << "a missing word";
}

TEST(SimFaults, SilenceAlsoStopsAStreamAlreadyRunning) {
    FaultySim s;
    send(s.sim, {'E', 'R', 0, 0});
    EXPECT_EQ(readN(s.sim, 8).size(), 8u);
    s.sim.faults().silent = true;
    EXPECT_TRUE(drain(s.sim).empty());
}

TEST(SimFaults, SplitRepliesTrickleIntoTheQueueButAReadCollectsThem) {
    FaultySim s;
    s.sim.faults().splitReplies = 1;
    send(s.sim, {'T', 'O', 0, 0});
    std::uint32_t waiting = 0;
    s.sim.queueStatus(waiting);
    EXPECT_EQ(waiting, 1u);
    s.sim.queueStatus(waiting);
    EXPECT_EQ(waiting, 2u);
    EXPECT_EQ(readN(s.sim, 4), bytes("Good"));
    send(s.sim, {'E', 'R', 0, 0});
    s.sim.queueStatus(waiting);
    EXPECT_EQ(waiting, 1u) << "streams trickle as well";
}

TEST(SimFaults, NotReadyAndOverCurrent) {
    FaultySim s;
    s.sim.faults().notReady = true;
    send(s.sim, kIdentify);
    EXPECT_EQ(drain(s.sim), Bytes{1});
    s.sim.faults().overCurrent = true;
    send(s.sim, {'E', 'O', 0, 0});
    EXPECT_EQ(drain(s.sim), bytes("OCER"));
}

TEST(SimFaults, StuckBitFailsTheProgramAtItsAddress) {
    FaultySim s;
    s.sim.faults().stickBit(5, 3);
    send(s.sim, Bytes{'E', 'P', 0, 0} + Bytes(10, 0x00));
    EXPECT_EQ(drain(s.sim), (Bytes(5, 'D') + Bytes{kEpromProgramFailure, 0x00, 0x08}));
    // A value that keeps the bit set programs fine.
    s.chip->erase();
    send(s.sim, Bytes{'E', 'P', 0, 0} + Bytes(1000, 0x08));
    EXPECT_EQ(drain(s.sim), Bytes(1000, 'D'));
}

TEST(SimFaults, StreamStallsAfterNBytesUntilStopped) {
    FaultySim s;
    s.sim.faults().streamStallsAfter = 100;
    send(s.sim, {'E', 'R', 0, 0});
    EXPECT_EQ(drain(s.sim).size(), 100u);
    EXPECT_TRUE(readN(s.sim, 8).empty());
    send(s.sim, bytes("Stop"));
    send(s.sim, {'E', 'R', 0, 0});
    EXPECT_EQ(drain(s.sim).size(), 100u) << "each stream stalls at the same point";
    send(s.sim, bytes("Stop"));
    s.sim.faults().streamStallsAfter.reset();
    send(s.sim, {'E', 'R', 0, 0});
    EXPECT_EQ(drain(s.sim).size(), 1000u);
}

TEST(SimFaults, SignatureOverrideIsPaddedToTwoBytes) {
    FaultySim s;
    s.sim.faults().signature = Bytes{0x33};
    send(s.sim, {'E', 'I', 0, 0});
    EXPECT_EQ(drain(s.sim), (Bytes{0x33, 0xFF}));
}
