// The flash / parallel EEPROM chip model and its family frames, driven
// straight through the driver interface.
#include <gtest/gtest.h>

#include "devices/DeviceDataFile.h"
#include "sim/FlashChip.h"
#include "sim/SimTestUtil.h"
#include "support/TestSupport.h"

using namespace tesmar;
using namespace tesmar::sim;
using namespace tesmar::sim::test;

namespace {

const Bytes kRead{'E', 'R', 0, 0};
const Bytes kProgram{'E', 'P', 0, 0};
const Bytes kChipId{'E', 'I', 0, 0};
const Bytes kIdentify{'N', 0, 0, 0};

FlashChip::Params flash(std::size_t size, std::uint8_t maker = 0x55, std::uint8_t device = 0x20) {
    return {.family = 'F', .size = size, .maker = maker, .device = device};
}

struct FlashSim : OpenSim {
    std::shared_ptr<FlashChip> chip;
    explicit FlashSim(const FlashChip::Params& p) {
        chip = std::make_shared<FlashChip>(p);
        sim.insertChip(chip);
    }
};

// The host's pre-erase loop: one 4-byte read per step of 4 below LastAddress.
std::size_t hostPreEraseReads(std::size_t size) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < size - 1; i += 4) ++n;
    return n;
}

}  // namespace

TEST(SimFlash, OptionByteRule) {
    struct Case {
        const char* name;
        bool option;
    };
    const Case cases[] = {
        {"FxxxA", true},  {"FxxxAB", true}, {"Fxxx0", true},   {"FxxxN", true},  {"Fxxxs", true},
        {"Fxxx", true},   // the record's fifth byte is the NUL after the name
        {"FxxxS", false}, {"FxxxR", false}, {"FxxxT", false},  {"Fxxxn", false}, {"FLSH01", false},
        {"EEPAR1", false}, {"fxxxA", false}, {"FXXXA", false}, {"Fxx", false},  {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(flashTakesOptionByte(c.name), c.option) << c.name;
}

TEST(SimFlash, BlankChipMatchesTheRecord) {
    struct Case {
        char letter;
        std::uint32_t last;
        std::uint8_t blank, maker, device, page;
        const char* mcu;
        const char* technology;
        bool option, preErase, contents, blockFlags, bootFlag;
    };
    const Case cases[] = {
        {'E', 0x7FF, 0xFF, 0x4D, 0x16, 0, "EEPAR1", "parallel EEPROM", false, false, false, false, false},
        {'E', 0x7FFF, 0xFF, 0x4D, 0x56, 0x82, "FxxxA", "parallel EEPROM", true, false, false, false, false},
        {'F', 0x7FFFF, 0xFF, 0x01, 0xA4, 0, "FxxxR", "flash", false, false, false, true, false},
        {'F', 0x3FFFF, 0x00, 0x55, 0xB0, 0x83, "FxxxT", "flash", false, false, false, false, true},
        {'F', 0x1FFFF, 0xFF, 0x89, 0xB4, 0, "FLSH01", "flash", false, true, false, false, false},
        {'F', 0x3FFFF, 0xFF, 0x89, 0xBD, 0, "FLSH01", "flash", false, true, true, false, false},
        {'F', 0x1FFFF, 0xFF, 0x89, 0x94, 0x83, "FLSH01", "flash", false, false, false, false, true},
        {'F', 0x3FFFF, 0xFF, 0x89, 0x95, 0, "FLSH01", "flash", false, false, false, false, false},
    };
    SimProgrammer sim;
    for (const Case& c : cases) {
        DeviceRecord rec;
        rec.FamilyLetter = c.letter;
        rec.LastAddress = c.last;
        rec.BlankByte = c.blank;
        rec.MakerId = c.maker;
        rec.DeviceId = c.device;
        rec.PageCode = c.page;
        rec.McuFile = c.mcu;
        sim.insertBlankChipFor(rec);
        auto chip = std::dynamic_pointer_cast<FlashChip>(sim.chip());
        ASSERT_TRUE(chip) << c.letter;
        SCOPED_TRACE(testing::Message() << c.letter << " " << std::hex << int(c.maker) << "/" << int(c.device));
        EXPECT_EQ(chip->size(), std::size_t(c.last) + 1);
        EXPECT_EQ(chip->at(0), c.blank);
        EXPECT_EQ(chip->at(c.last), c.blank);
        EXPECT_TRUE(chip->isBlank());
        EXPECT_EQ(chip->signature(), (Bytes{c.maker, c.device}));
        EXPECT_EQ(chip->technology(), c.technology);
        EXPECT_EQ(chip->params().optionByte, c.option);
        EXPECT_EQ(chip->preErases(), c.preErase);
        EXPECT_EQ(chip->sendsContentsAfterErase(), c.contents);
        EXPECT_EQ(chip->reportsBlockFlags(), c.blockFlags);
        EXPECT_EQ(chip->reportsBootBlock(), c.bootFlag);
    }
}

TEST(SimFlash, EverySampleDeviceGetsAFlashChip) {
    DeviceDataFile file;
    ASSERT_TRUE(file.open((tesmar::test::runDir() + "/zrvusb_e.usb").toStdString()));
    SimProgrammer sim;
    int devices = 0, withOption = 0;
    for (int m = 0; m < file.manufacturerCount(); ++m) {
        for (std::size_t d = 0; d < file.deviceNames(m).size(); ++d) {
            auto rec = file.record(m, int(d));
            ASSERT_TRUE(rec);
            sim.insertBlankChipFor(*rec);
            auto chip = std::dynamic_pointer_cast<FlashChip>(sim.chip());
            ASSERT_TRUE(chip) << rec->Name;
            EXPECT_EQ(chip->size(), std::size_t(rec->LastAddress) + 1) << rec->Name;
            EXPECT_EQ(chip->params().optionByte, rec->McuFile == "FxxxA") << rec->Name << " " << rec->McuFile;
            ++devices;
            withOption += chip->params().optionByte;
        }
    }
    EXPECT_GT(devices, 10);
    EXPECT_GT(withOption, 0);
    EXPECT_LT(withOption, devices);
}

TEST(SimFlash, ReadStreamsTheArrayInEightByteReads) {
    FlashSim s(flash(64));
    Bytes content = pattern(64, 3);
    s.chip->load(0, content);
    send(s.sim, kRead);
    Bytes got;
    for (int i = 0; i < 8; ++i) {
        Bytes part = readN(s.sim, 8);
        ASSERT_EQ(part.size(), 8u);
        got = got + part;
    }
    EXPECT_EQ(got, content);
    EXPECT_TRUE(readN(s.sim, 8).empty()) << "the stream ends with the array";
    send(s.sim, kIdentify);
    EXPECT_EQ(drain(s.sim), Bytes{2});
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

TEST(SimFlash, BlankCheckStreamStopsOnErrB) {
    FlashSim s(flash(0x40000));
    send(s.sim, kRead);
    EXPECT_EQ(readN(s.sim, 8), Bytes(8, 0xFF));
    send(s.sim, bytes("ErrB"));
    EXPECT_LT(drain(s.sim).size(), 0x40000u - 8u);
    send(s.sim, kChipId);
    EXPECT_EQ(drain(s.sim), (Bytes{0x55, 0x20}));
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

// The option byte, when the firmware takes one, is not data: the data still
// lands at address 0, and the byte is recorded for the host's tests.
TEST(SimFlash, ProgramTakesTheOptionByteBeforeTheData) {
    struct Case {
        bool option;
        Bytes sent;
        std::optional<std::uint8_t> recorded;
    };
    Bytes data = pattern(16, 7);
    const Case cases[] = {
        {true, kProgram + Bytes{1} + data, 1},
        {true, kProgram + Bytes{0} + data, 0},
        {false, kProgram + data, std::nullopt},
    };
    for (const Case& c : cases) {
        auto p = flash(16);
        p.family = 'E';
        p.optionByte = c.option;
        FlashSim s(p);
        send(s.sim, c.sent);
        EXPECT_EQ(drain(s.sim), Bytes(16, 'D'));
        EXPECT_EQ(s.chip->memory(), data);
        EXPECT_EQ(s.chip->lastOptionByte(), c.recorded);
        EXPECT_EQ(s.chip->programCommands(), 1u);
        send(s.sim, kIdentify);
        EXPECT_EQ(drain(s.sim), Bytes{2}) << "the program stream ended with the array";
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
}

TEST(SimFlash, OptionByteMayArriveInItsOwnWrite) {
    auto p = flash(8);
    p.optionByte = true;
    FlashSim s(p);
    send(s.sim, kProgram);
    send(s.sim, Bytes{0x01});
    EXPECT_TRUE(drain(s.sim).empty());
    send(s.sim, Bytes(8, 0x3C));
    EXPECT_EQ(drain(s.sim), Bytes(8, 'D'));
    EXPECT_EQ(s.chip->lastOptionByte(), std::optional<std::uint8_t>(1));
    EXPECT_EQ(s.chip->at(0), 0x3C);
    send(s.sim, kProgram);
    EXPECT_EQ(s.chip->lastOptionByte(), std::nullopt) << "a new program command forgets the last option byte";
}

TEST(SimFlash, ProgramAnswersEightAcknowledgementsPerEightBytesInBlocks) {
    const std::size_t size = 0x6000 + 0x2000;
    FlashSim s(flash(size));
    Bytes data = pattern(size, 11);
    send(s.sim, kProgram);
    send(s.sim, Bytes(data.begin(), data.begin() + 0x6000));
    // The host reads the acknowledgements in 8-byte plain reads.
    std::size_t acks = 0;
    for (std::size_t i = 0; i < 0x6000; i += 8) {
        Bytes a = readN(s.sim, 8);
        ASSERT_EQ(a, Bytes(8, 'D')) << i;
        acks += a.size();
    }
    EXPECT_EQ(acks, 0x6000u);
    EXPECT_TRUE(drain(s.sim).empty());
    send(s.sim, Bytes(data.begin() + 0x6000, data.end()));
    EXPECT_EQ(drain(s.sim), Bytes(0x2000, 'D'));
    EXPECT_EQ(s.chip->memory(), data);
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

TEST(SimFlash, LastAcknowledgementGroupIsPaddedToEight) {
    FlashSim s(flash(13));
    send(s.sim, kProgram + Bytes(13, 0x00));
    EXPECT_EQ(drain(s.sim), Bytes(16, 'D'));
    send(s.sim, kIdentify);
    EXPECT_EQ(drain(s.sim), Bytes{2});
}

// Flash cells only lose bits when programmed; EEPROM cells take the byte.
// Either way a bad byte is acknowledged with a failure mark and programming goes on.
TEST(SimFlash, ProgrammingByTechnology) {
    struct Case {
        const char* name;
        char family;
        std::uint8_t cell, value, stuck;
        bool protect;
        std::uint8_t after;
        bool good;
    };
    const Case cases[] = {
        {"flash blank", 'F', 0xFF, 0x5A, 0, false, 0x5A, true},
        {"flash clears only", 'F', 0x0F, 0xF0, 0, false, 0x00, false},
        {"flash subset", 'F', 0x0F, 0x05, 0, false, 0x05, true},
        {"eeprom overwrites", 'E', 0x0F, 0xF0, 0, false, 0xF0, true},
        {"eeprom stuck bit", 'E', 0xFF, 0x00, 0x10, false, 0x10, false},
        {"flash stuck bit", 'F', 0xFF, 0x00, 0x80, false, 0x80, false},
        {"flash protected", 'F', 0xFF, 0x12, 0, true, 0xFF, false},
        {"eeprom protected", 'E', 0x34, 0x34, 0, true, 0x34, true},
    };
    for (const Case& c : cases) {
        auto p = flash(8);
        p.family = c.family;
        FlashSim s(p);
        s.chip->load(3, Bytes{c.cell});
        if (c.stuck) s.sim.faults().stuckOnes[3] = c.stuck;
        if (c.protect) s.chip->setBlockProtected(3, true);  // 8 blocks of one byte
        Bytes data(8, 0xFF);
        for (std::size_t a = 0; a < 8; ++a) data[a] = s.chip->at(a);
        data[3] = c.value;
        data[5] = 0x00;
        send(s.sim, kProgram + data);
        Bytes acks(8, 'D');
        if (!c.good) acks[3] = kFlashProgramFailure;
        EXPECT_EQ(drain(s.sim), acks) << c.name;
        EXPECT_EQ(s.chip->at(3), c.after) << c.name;
        EXPECT_EQ(s.chip->at(5), 0x00) << c.name << ": programming goes on after a bad byte";
    }
}

TEST(SimFlash, EraseAnswersDone) {
    struct Case {
        std::uint8_t maker, device;
        char family;
    };
    for (const Case& c : {Case{0x55, 0x20, 'F'}, Case{0x4D, 0x56, 'E'}, Case{0x89, 0x94, 'F'}, Case{0x89, 0x95, 'F'},
                          Case{0x01, 0xA4, 'F'}}) {
        auto p = flash(0x100, c.maker, c.device);
        p.family = c.family;
        FlashSim s(p);
        s.chip->load(0x10, pattern(0x20, 4));
        send(s.sim, bytes("EE00"));
        EXPECT_EQ(drain(s.sim), bytes("Done")) << std::hex << int(c.maker) << "/" << int(c.device);
        EXPECT_TRUE(s.chip->isBlank());
        EXPECT_EQ(s.chip->eraseCommands(), 1u);
    }
}

// Maker 0x89 parts other than 0x94/0x95 report the pre-erase: one 4-byte reply
// for every 4 bytes, as many as the host's loop reads, then "Good".
TEST(SimFlash, PreEraseProgressThenGood) {
    for (std::size_t size : {std::size_t(1), std::size_t(4), std::size_t(5), std::size_t(8), std::size_t(0x20000)}) {
        FlashSim s(flash(size, 0x89, 0xB4));
        s.chip->load(0, Bytes(size, 0x00));
        EXPECT_EQ(s.chip->preEraseReplies(), hostPreEraseReads(size)) << size;
        send(s.sim, bytes("EE00"));
        Bytes first;
        const std::size_t reads = hostPreEraseReads(size);
        for (std::size_t i = 0; i < reads; ++i) {
            Bytes r = readN(s.sim, 4);
            ASSERT_EQ(r.size(), 4u) << size << " reply " << i;
            if (i == 1) first = r;
        }
        EXPECT_EQ(readN(s.sim, 4), bytes("Good")) << size;
        EXPECT_TRUE(drain(s.sim).empty()) << size << ": nothing follows for this device";
        EXPECT_TRUE(s.chip->isBlank());
        if (size > 8) {
            EXPECT_EQ(first, (Bytes{4, 0, 0, 0})) << "progress replies carry the address";
        }
        send(s.sim, kRead);
        EXPECT_EQ(drain(s.sim), Bytes(size, 0xFF));
        EXPECT_TRUE(s.sim.protocolErrors().empty()) << size;
    }
}

TEST(SimFlash, PreErasingDeviceBDSendsItsBlankContentsAfterGood) {
    const std::size_t size = 0x40000;
    FlashSim s(flash(size, 0x89, 0xBD));
    s.chip->load(0x100, pattern(0x100, 2));
    send(s.sim, bytes("EE00"));
    Bytes all = drain(s.sim);
    ASSERT_EQ(all.size(), hostPreEraseReads(size) * 4 + 4 + size);
    std::size_t good = hostPreEraseReads(size) * 4;
    EXPECT_EQ(Bytes(all.begin() + std::ptrdiff_t(good), all.begin() + std::ptrdiff_t(good) + 4), bytes("Good"));
    EXPECT_EQ(Bytes(all.begin() + std::ptrdiff_t(good) + 4, all.end()), Bytes(size, 0xFF));
    EXPECT_TRUE(s.sim.protocolErrors().empty());

    // A host that asks with "ER" while those contents are still coming is out of step.
    send(s.sim, bytes("EE00"));
    for (std::size_t i = 0, n = hostPreEraseReads(size); i < n; ++i) readN(s.sim, 4);
    EXPECT_EQ(readN(s.sim, 4), bytes("Good"));
    send(s.sim, kRead);
    EXPECT_EQ(s.sim.protocolErrors().size(), 1u);
}

TEST(SimFlash, EraseFailures) {
    struct Case {
        const char* name;
        std::uint8_t maker, device;
        bool eraseFails;
        std::string wrongWord;
        std::string word;
        bool blankAfter;
    };
    const Case cases[] = {
        {"done path fails", 0x55, 0x20, true, "", "Fail", false},
        {"pre-erase fails", 0x89, 0xB4, true, "", "Fail", false},
        {"pre-erase fails, no contents", 0x89, 0xBD, true, "", "Fail", false},
        {"wrong Done", 0x55, 0x20, false, "Nope", "Nope", true},
        {"wrong Good", 0x89, 0xB4, false, "Bad!", "Bad!", true},
        {"Good missing", 0x89, 0xB4, false, "", "", true},
    };
    for (const Case& c : cases) {
        FlashSim s(flash(64, c.maker, c.device));
        s.chip->load(7, Bytes{0x00});
        s.sim.faults().eraseFails = c.eraseFails;
        if (!c.eraseFails) s.sim.faults().wrongReply[Reply::EraseDone] = c.wrongWord;
        send(s.sim, bytes("EE00"));
        Bytes all = drain(s.sim);
        std::size_t progress = s.chip->preErases() ? s.chip->preEraseReplies() * 4 : 0;
        ASSERT_GE(all.size(), progress) << c.name;
        Bytes tail(all.begin() + std::ptrdiff_t(progress), all.end());
        if (c.device == 0xBD && !c.eraseFails) tail.resize(tail.size() - 64);
        EXPECT_EQ(tail, bytes(c.word)) << c.name;
        EXPECT_EQ(s.chip->isBlank(), c.blankAfter) << c.name;
    }
}

TEST(SimFlash, ShortReplyCutsTheWordNotTheProgress) {
    FlashSim s(flash(32, 0x89, 0xB4));
    s.sim.faults().shortReplies = 2;
    send(s.sim, bytes("EE00"));
    Bytes all = drain(s.sim);
    EXPECT_EQ(all.size(), s.chip->preEraseReplies() * 4 + 2);
    EXPECT_EQ(Bytes(all.end() - 2, all.end()), bytes("Go"));
}

TEST(SimFlash, ProtectedBlocksSurviveEraseAndAreReported) {
    const std::size_t size = 0x80000;
    FlashSim s(flash(size, 0x01, 0xA4));
    s.chip->load(0, Bytes(size, 0x00));
    s.chip->setBlockProtected(2, true);
    s.chip->setBlockProtected(7, true);
    send(s.sim, kChipId);
    EXPECT_EQ(drain(s.sim), (Bytes{0x01, 0xA4, 0, 0, 1, 0, 0, 0, 0, 1}));
    send(s.sim, bytes("EE00"));
    EXPECT_EQ(drain(s.sim), bytes("Done")) << "protected sectors do not fail the erase";
    const std::size_t block = size / 8;
    for (std::size_t b = 0; b < 8; ++b) {
        std::uint8_t want = (b == 2 || b == 7) ? 0x00 : 0xFF;
        EXPECT_EQ(s.chip->at(b * block), want) << b;
        EXPECT_EQ(s.chip->at(b * block + block - 1), want) << b;
    }
}

TEST(SimFlash, ChipIdReplies) {
    struct Case {
        const char* name;
        std::uint8_t maker, device, page;
        bool bootProtected;
        Bytes reply;
    };
    const Case cases[] = {
        {"plain", 0x55, 0x20, 0, false, {0x55, 0x20}},
        {"page 0x82", 0x4D, 0x56, 0x82, false, {0x4D, 0x56}},
        {"boot block open", 0x55, 0xB0, 0x83, false, {0x55, 0xB0, 0x00}},
        {"boot block protected", 0x55, 0xB0, 0x83, true, {0x55, 0xB0, 0x01}},
        {"blocks all open", 0x01, 0xA4, 0, false, {0x01, 0xA4, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"block flags win over the boot flag", 0x01, 0xA4, 0x83, true, {0x01, 0xA4, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"other device of maker 0x01", 0x01, 0x20, 0, false, {0x01, 0x20}},
    };
    for (const Case& c : cases) {
        auto p = flash(0x10000, c.maker, c.device);
        p.pageCode = c.page;
        FlashSim s(p);
        s.chip->setBootBlockProtected(c.bootProtected);
        send(s.sim, kChipId);
        EXPECT_EQ(drain(s.sim), c.reply) << c.name;
    }
}

TEST(SimFlash, SignatureFaultsKeepOrReplaceTheProtectionBytes) {
    FlashSim s(flash(0x10000, 0x01, 0xA4));
    s.chip->setBlockProtected(0, true);
    s.sim.faults().signature = Bytes{0x1C};
    send(s.sim, kChipId);
    EXPECT_EQ(drain(s.sim), (Bytes{0x1C, 0xFF, 1, 0, 0, 0, 0, 0, 0, 0}));
    for (const Bytes& whole : {Bytes{}, Bytes{0x01}, Bytes{0x01, 0xA4, 0, 0}, Bytes(12, 0x01)}) {
        s.sim.faults().chipIdReply = whole;
        send(s.sim, kChipId);
        EXPECT_EQ(drain(s.sim), whole);
    }
}

TEST(SimFlash, ProtectedBootBlockKeepsItsCells) {
    auto p = flash(0x10000, 0x55, 0xB0);
    p.pageCode = 0x83;
    FlashSim s(p);
    s.chip->load(0, Bytes(0x10000, 0x00));
    s.chip->setBootBlockProtected(true);
    send(s.sim, bytes("EE00"));
    EXPECT_EQ(drain(s.sim), bytes("Done"));
    EXPECT_EQ(s.chip->at(0xBFFF), 0xFF);
    EXPECT_EQ(s.chip->at(0xC000), 0x00) << "the top 16 KiB is the boot block";
    EXPECT_EQ(s.chip->at(0xFFFF), 0x00);
    s.chip->setBootBlock(0, 0x100);
    EXPECT_TRUE(s.chip->cellProtected(0xFF));
    EXPECT_FALSE(s.chip->cellProtected(0x100));
    EXPECT_FALSE(s.chip->cellProtected(0xC000));
    s.chip->setBootBlock(0x20000, 0x100);
    EXPECT_FALSE(s.chip->cellProtected(0xFFFF)) << "a boot block outside the array protects nothing";
}

TEST(SimFlash, Stalls) {
    {
        FlashSim s(flash(0x100));
        s.sim.faults().acksStallAfter = 16;
        Bytes data = pattern(0x100, 5);
        send(s.sim, kProgram + data);
        EXPECT_EQ(drain(s.sim), Bytes(16, 'D'));
        EXPECT_EQ(s.chip->memory(), data) << "the data still lands";
        send(s.sim, kIdentify);
        EXPECT_EQ(drain(s.sim), Bytes{2});
    }
    {
        FlashSim s(flash(0x100, 0x89, 0xB4));
        s.sim.faults().streamStallsAfter = 10;
        send(s.sim, bytes("EE00"));
        EXPECT_EQ(drain(s.sim).size(), 10u) << "the pre-erase progress goes quiet";
        send(s.sim, bytes("Stop"));
        s.sim.faults().streamStallsAfter.reset();
        EXPECT_TRUE(drain(s.sim).empty()) << "\"Stop\" ends it";
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
    {
        FlashSim s(flash(0x100));
        s.sim.faults().silent = true;
        send(s.sim, kChipId);
        EXPECT_TRUE(drain(s.sim).empty());
    }
}

TEST(SimFlash, OtherFramesAreNotFlashFrames) {
    FlashSim s(flash(8));
    for (const Bytes& f : {Bytes{'E', 'R', 'p', 0}, Bytes{'E', 'E', '0', '1'}, Bytes{'E', 'P', 1, 0},
                           Bytes{'E', 'I', 0, 1}}) {
        send(s.sim, f);
    }
    EXPECT_TRUE(drain(s.sim).empty());
    EXPECT_EQ(s.sim.protocolErrors().size(), 4u);
}
