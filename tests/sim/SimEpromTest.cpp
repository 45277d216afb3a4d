// The EPROM/OTP chip model and its family frames.
#include <gtest/gtest.h>

#include "SimTestUtil.h"
#include "sim/EpromChip.h"

using namespace tesmar;
using namespace tesmar::sim;
using namespace tesmar::sim::test;

namespace {

const Bytes kRead{'E', 'R', 0, 0};
const Bytes kProgram{'E', 'P', 0, 0};
const Bytes kChipId{'E', 'I', 0, 0};
const Bytes kIdentify{'N', 0, 0, 0};

DeviceRecord record(char letter, std::uint32_t lastAddress, std::uint8_t blank = 0xFF, bool erasable = true) {
    DeviceRecord rec;
    rec.FamilyLetter = letter;
    rec.LastAddress = lastAddress;
    rec.BlankByte = blank;
    rec.MakerId = 0x20;
    rec.DeviceId = 0x0D;
    rec.Buttons = erasable ? (1u << BtnErase) : 0;
    return rec;
}

struct EpromSim : OpenSim {
    std::shared_ptr<Chip> chip;
    explicit EpromSim(std::size_t size, bool erasable = true) {
        chip = std::make_shared<EpromChip>(size, Bytes{0xFF}, Bytes{0x20, 0x0D}, erasable);
        sim.insertChip(chip);
    }
};

}  // namespace

TEST(SimEprom, BlankChipMatchesTheRecord) {
    struct Case {
        DeviceRecord rec;
        std::size_t size;
        Bytes firstBytes;
        bool erasable;
    };
    std::vector<Case> cases = {
        {record('R', 0x7FFF), 0x8000, {0xFF, 0xFF, 0xFF}, true},
        {record('O', 0xFFFF, 0xFF, false), 0x10000, {0xFF, 0xFF}, false},
        {record('O', 0x3, 0x3F), 4, {0x3F, 0xFF, 0x3F, 0xFF}, true},
    };
    SimProgrammer sim;
    for (const Case& c : cases) {
        sim.insertBlankChipFor(c.rec);
        auto chip = std::dynamic_pointer_cast<EpromChip>(sim.chip());
        ASSERT_TRUE(chip) << c.rec.FamilyLetter;
        EXPECT_EQ(chip->size(), c.size);
        EXPECT_EQ(Bytes(chip->memory().begin(), chip->memory().begin() + std::ptrdiff_t(c.firstBytes.size())),
                  c.firstBytes);
        EXPECT_TRUE(chip->isBlank());
        EXPECT_EQ(chip->signature(), (Bytes{0x20, 0x0D}));
        EXPECT_EQ(chip->uvErasable(), c.erasable);
    }
    sim.insertBlankChipFor(record('L', 0xFF));
    EXPECT_FALSE(sim.chip()) << "no chip model for a letter without a family";
    sim.insertBlankChipFor(record('R', 0xFFFFFFFF));
    EXPECT_FALSE(sim.chip()) << "a size no socket holds";
}

TEST(SimEprom, ReadStreamsTheWholeChipInOrder) {
    EpromSim s(70000);
    Bytes content = pattern(70000, 5);
    s.chip->load(0, content);
    send(s.sim, kRead);
    std::uint32_t waiting = 0;
    s.sim.queueStatus(waiting);
    EXPECT_GT(waiting, 0u);
    EXPECT_LT(waiting, 70000u) << "a stream is released as the host takes it";
    EXPECT_EQ(drain(s.sim), content);
    send(s.sim, kIdentify);
    EXPECT_EQ(drain(s.sim), Bytes{2});
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

TEST(SimEprom, EightByteReadsCollectTheStream) {
    EpromSim s(20);
    Bytes content = pattern(20, 9);
    s.chip->load(0, content);
    send(s.sim, kRead);
    Bytes got;
    for (int i = 0; i < 3; ++i) {
        Bytes part = readN(s.sim, 8);
        got.insert(got.end(), part.begin(), part.end());
    }
    EXPECT_EQ(got, content);
}

class SimStreamEnd : public ::testing::TestWithParam<const char*> {};

TEST_P(SimStreamEnd, EndsTheReadStream) {
    EpromSim s(200000);
    send(s.sim, kRead);
    EXPECT_EQ(readN(s.sim, 8).size(), 8u);
    send(s.sim, bytes(GetParam()));
    std::size_t left = drain(s.sim).size();
    EXPECT_LT(left, 200000u - 8u);
    EXPECT_TRUE(drain(s.sim).empty()) << "nothing more once the queue is empty";
    send(s.sim, kChipId);
    EXPECT_EQ(readN(s.sim, 2), (Bytes{0x20, 0x0D}));
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

INSTANTIATE_TEST_SUITE_P(Words, SimStreamEnd, ::testing::Values("Stop", "ErrV", "ErrB"));

TEST(SimEprom, StopWithoutAStreamIsHarmless) {
    EpromSim s(16);
    send(s.sim, bytes("Stop") + bytes("ErrV") + kIdentify);
    EXPECT_EQ(drain(s.sim), Bytes{2});
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

TEST(SimEprom, ProgramAcknowledgesEveryByteInBlocks) {
    EpromSim s(0x6000 + 100);
    Bytes data = pattern(0x6000 + 100, 11);
    send(s.sim, kProgram);
    send(s.sim, Bytes(data.begin(), data.begin() + 0x6000));
    EXPECT_EQ(drain(s.sim), Bytes(0x6000, 'D'));
    send(s.sim, Bytes(data.begin() + 0x6000, data.end()));
    EXPECT_EQ(drain(s.sim), Bytes(100, 'D'));
    EXPECT_EQ(s.chip->memory(), data);
    send(s.sim, kIdentify);
    EXPECT_EQ(drain(s.sim), Bytes{2}) << "the stream ends after the chip's size";
}

TEST(SimEprom, ProgrammingOnlyClearsBits) {
    struct Case {
        std::uint8_t cell, value;
        Bytes reply;
        std::uint8_t after;
    };
    std::vector<Case> cases = {
        {0xFF, 0x5A, {'D'}, 0x5A},
        {0x0F, 0x07, {'D'}, 0x07},
        {0x0F, 0xF0, {kEpromProgramFailure, 0xF0, 0x00}, 0x00},
        {0x00, 0xFF, {kEpromProgramFailure, 0xFF, 0x00}, 0x00},
    };
    for (const Case& c : cases) {
        EpromSim s(1);
        s.chip->load(0, Bytes{c.cell});
        send(s.sim, kProgram + Bytes{c.value});
        EXPECT_EQ(drain(s.sim), c.reply) << int(c.cell) << " <- " << int(c.value);
        EXPECT_EQ(s.chip->at(0), c.after);
    }
}

TEST(SimEprom, FailureEndsTheProgramStreamAndDropsTheRestOfTheBlock) {
    EpromSim s(100);
    s.chip->load(3, Bytes{0x00});
    // The rest of the block happens to hold the bytes of an identify frame.
    send(s.sim, kProgram + Bytes{1, 2, 3, 4} + kIdentify + Bytes(20, 9));
    EXPECT_EQ(drain(s.sim), (Bytes{'D', 'D', 'D', kEpromProgramFailure, 4, 0}));
    EXPECT_EQ(s.chip->at(4), 0xFF) << "nothing after the failing byte was programmed";
    send(s.sim, kChipId);
    EXPECT_EQ(drain(s.sim), (Bytes{0x20, 0x0D}));
}

TEST(SimEprom, OddAndEvenChipsTakeTurns) {
    SimProgrammer sim;
    sim.open("Tesmar", 2);
    Bytes image = pattern(16, 4);
    std::vector<std::shared_ptr<Chip>> chips;
    for (int half = 0; half < 2; ++half) {
        chips.push_back(EpromChip::blankFor(record('R', 7)));
        sim.insertChip(chips.back());
        Bytes bytesOfChip;
        for (std::size_t i = std::size_t(half); i < image.size(); i += 2) bytesOfChip.push_back(image[i]);
        send(sim, kProgram + bytesOfChip);
        EXPECT_EQ(drain(sim), Bytes(8, 'D'));
        send(sim, kRead);
        EXPECT_EQ(drain(sim), bytesOfChip);
    }
    EXPECT_NE(chips[0]->memory(), chips[1]->memory());
}

TEST(SimEprom, EraseOnlyForUvErasableParts) {
    struct Case {
        bool erasable, fault;
        const char* reply;
        bool blankAfter;
    };
    for (const Case& c : {Case{true, false, "Done", true}, Case{false, false, "Fail", false},
                          Case{true, true, "Fail", false}}) {
        EpromSim s(64, c.erasable);
        s.sim.faults().eraseFails = c.fault;
        s.chip->load(10, Bytes{0x12, 0x34});
        send(s.sim, bytes("EE00"));
        EXPECT_EQ(readN(s.sim, 4), bytes(c.reply));
        EXPECT_EQ(s.chip->isBlank(), c.blankAfter);
    }
}

TEST(SimEprom, ChipIdAnswersTheSignature) {
    EpromSim s(8);
    send(s.sim, kChipId);
    EXPECT_EQ(drain(s.sim), (Bytes{0x20, 0x0D}));
    s.sim.faults().signature = Bytes{0x1C, 0x99};
    send(s.sim, kChipId);
    EXPECT_EQ(drain(s.sim), (Bytes{0x1C, 0x99}));
}

TEST(SimEprom, OtherFramesAreNotEpromFrames) {
    EpromSim s(8);
    for (const Bytes& f : {Bytes{'E', 'R', 'p', 0}, Bytes{'E', 'E', '2', '3'}, Bytes{'E', 'X', 0, 0}}) send(s.sim, f);
    EXPECT_TRUE(drain(s.sim).empty());
    EXPECT_EQ(s.sim.protocolErrors().size(), 3u);
}

TEST(SimEprom, AFrameInsideAStreamIsNotedAndEndsIt) {
    EpromSim s(100000);
    send(s.sim, kRead);
    readN(s.sim, 8);
    s.sim.purge(PurgeRx);
    EXPECT_TRUE(drain(s.sim).empty()) << "purging the receive side ends the stream";
    send(s.sim, kRead);
    readN(s.sim, 8);
    send(s.sim, kChipId);
    EXPECT_EQ(s.sim.protocolErrors().size(), 1u);
}
