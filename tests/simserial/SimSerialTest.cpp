// The serial EEPROM / serial flash chip model and its family frames, driven
// straight through the driver interface, the way the host's routines use it.
#include <gtest/gtest.h>

#include <algorithm>

#include "devices/DeviceDataFile.h"
#include "sim/SerialChip.h"
#include "sim/SimTestUtil.h"
#include "support/RecordImage.h"
#include "support/TestSupport.h"

using namespace tesmar;
using namespace tesmar::sim;
using namespace tesmar::sim::test;
using tesmar::test::RecordImage;

namespace {

const Bytes kRead{'E', 'R', 0, 0};
const Bytes kExtraRead{'E', 'r', 0, 0};
const Bytes kProgram{'E', 'P', 0, 0};
const Bytes kErase{'E', 'E', 0, 0};
const Bytes kIdentify2{'E', 'i', 0, 0};
const Bytes kIdentify3{'E', 'I', 0, 0};

SerialChip::Params eeprom(std::size_t size, std::uint8_t page = 0) {
    return {.size = size, .signature = {0, 0}, .pageCode = page};
}

SerialChip::Params flash(std::size_t size, std::uint8_t page = 0) {
    return {.size = size, .signature = {0xBA, 0x20, 0x12}, .pageCode = page, .flash = true};
}

struct SerialSim : OpenSim {
    std::shared_ptr<SerialChip> chip;
    explicit SerialSim(const SerialChip::Params& p) {
        chip = std::make_shared<SerialChip>(p);
        sim.insertChip(chip);
    }
};

// The host's program loop: "EP", then blocks of at most 0x6000 bytes, each
// followed by one 4-byte acknowledgement read per started 4 bytes.
Bytes programLikeTheHost(SimProgrammer& sim, const Bytes& data) {
    send(sim, kProgram);
    Bytes acks;
    for (std::size_t done = 0; done < data.size();) {
        std::size_t n = std::min<std::size_t>(data.size() - done, 0x6000);
        send(sim, Bytes(data.begin() + std::ptrdiff_t(done), data.begin() + std::ptrdiff_t(done + n)));
        for (std::size_t i = 0; i < n; i += 4) acks = acks + readN(sim, 4);
        done += n;
    }
    return acks;
}

Bytes acksOf(std::size_t n, char c = 'D') { return Bytes(n, std::uint8_t(c)); }

}  // namespace

TEST(SimSerial, BlankChipMatchesTheRecord) {
    struct Case {
        const char* name;
        std::uint32_t last;
        std::uint16_t pulse;
        std::uint8_t blank, maker, device, device2, page;
        const char* technology;
        Bytes signature;
        std::size_t statusBytes, extra;
        bool words;
    };
    const Case cases[] = {
        {"24C02", 0xFF, 8, 0xFF, 0, 0, 0, 0, "serial EEPROM", {0, 0}, 0, 0, false},
        {"AT24RF08C", 0x3FF, 8, 0xFF, 0, 0, 0, 0, "serial EEPROM", {0, 0}, 0, 32, false},
        // Only the exact name has the extra area.
        {"AT24RF08", 0x3FF, 8, 0xFF, 0, 0, 0, 0, "serial EEPROM", {0, 0}, 0, 0, false},
        {"at24rf08c", 0x3FF, 8, 0xFF, 0, 0, 0, 0, "serial EEPROM", {0, 0}, 0, 0, false},
        {"AT24RF08C-X", 0x3FF, 8, 0xFF, 0, 0, 0, 0, "serial EEPROM", {0, 0}, 0, 0, false},
        {"93C46", 0x7F, 16, 0xFF, 0, 0, 0, 0, "serial EEPROM", {0, 0}, 0, 0, true},
        {"25C040", 0x1FF, 8, 0xFF, 0, 0, 0, 101, "serial EEPROM", {0, 0}, 1, 0, false},
        {"25F020", 0x3FFFF, 8, 0xFF, 0xBA, 0x20, 0x12, 103, "serial flash", {0xBA, 0x20, 0x12}, 2, 0, false},
        {"25F080", 0xFFFFF, 8, 0xFF, 0xBA, 0x20, 0x14, 104, "serial flash", {0xBA, 0x20, 0x14}, 1, 0, false},
        {"25F512", 0xFFFF, 8, 0x00, 0xBA, 0x05, 0, 0, "serial flash", {0xBA, 0x05}, 0, 0, false},
    };
    SimProgrammer sim;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceRecord rec = RecordImage('S')
                               .name(c.name)
                               .lastAddress(c.last)
                               .pulseWidth(c.pulse)
                               .blankByte(c.blank)
                               .makerId(c.maker)
                               .deviceId(c.device)
                               .deviceId2(c.device2)
                               .pageCode(c.page)
                               .build();
        sim.insertBlankChipFor(rec);
        auto chip = std::dynamic_pointer_cast<SerialChip>(sim.chip());
        ASSERT_TRUE(chip);
        EXPECT_EQ(chip->technology(), c.technology);
        EXPECT_EQ(chip->size(), std::size_t(c.last) + 1);
        EXPECT_EQ(chip->signature(), c.signature);
        EXPECT_EQ(chip->statusByteCount(), c.statusBytes);
        EXPECT_EQ(chip->statusBytes(), Bytes(c.statusBytes, 0));
        EXPECT_EQ(chip->extraArea(), Bytes(c.extra, c.blank));
        EXPECT_EQ(chip->params().wordOrganised, c.words);
        EXPECT_TRUE(chip->isBlank());
        EXPECT_EQ(chip->at(0), c.blank);
        EXPECT_EQ(chip->at(c.last), c.blank);
    }
}

TEST(SimSerial, EveryRecordOfTheSampleFileGetsAMatchingPart) {
    DeviceDataFile file;
    ASSERT_TRUE(file.open((tesmar::test::runDir() + "/zrvusb_s.usb").toStdString()));
    SimProgrammer sim;
    int devices = 0, withExtra = 0, withStatus = 0, words = 0;
    for (int m = 0; m < file.manufacturerCount(); ++m) {
        for (std::size_t d = 0; d < file.deviceNames(m).size(); ++d) {
            auto rec = file.record(m, int(d));
            ASSERT_TRUE(rec);
            SCOPED_TRACE(rec->Name);
            sim.insertBlankChipFor(*rec);
            auto chip = std::dynamic_pointer_cast<SerialChip>(sim.chip());
            ASSERT_TRUE(chip);
            EXPECT_EQ(chip->size(), std::size_t(rec->LastAddress) + 1);
            ++devices;
            withExtra += chip->extraSize() == kSerialExtraAreaSize;
            withStatus += chip->statusByteCount() > 0;
            words += chip->params().wordOrganised;
        }
    }
    EXPECT_GT(devices, 10);
    EXPECT_EQ(withExtra, 1);
    EXPECT_GT(withStatus, 0);
    EXPECT_GT(words, 0);
}

TEST(SimSerial, ReadSendsTheArrayThenTheStatusBytes) {
    struct Case {
        std::uint8_t page;
        Bytes status;
    };
    const Case cases[] = {{0, {}}, {100, {0x9C}}, {101, {0x84}}, {102, {0x1C}}, {103, {0x3C, 0x42}}, {104, {0x80}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.page));
        SerialSim s(eeprom(0x200, c.page));
        const Bytes image = pattern(0x200, c.page + 1);
        s.chip->load(0, image);
        for (std::size_t i = 0; i < c.status.size(); ++i) s.chip->setStatus(i, c.status[i]);

        send(s.sim, kRead);
        Bytes got;
        for (std::size_t i = 0; i < image.size(); i += 4) got = got + readN(s.sim, 4);
        EXPECT_EQ(got, image);
        EXPECT_EQ(readN(s.sim, 1), c.status.empty() ? Bytes{} : Bytes{c.status[0]});
        EXPECT_EQ(drain(s.sim), c.status.size() > 1 ? Bytes{c.status[1]} : Bytes{});
        EXPECT_EQ(s.chip->readCommands(), 1u);
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
}

TEST(SimSerial, ExtraAreaComesWithItsOwnFrameAndCarriesTheStatusBytes) {
    for (std::uint8_t page : {std::uint8_t(0), std::uint8_t(103)}) {
        SCOPED_TRACE(int(page));
        SerialChip::Params p = eeprom(0x400, page);
        p.extraSize = kSerialExtraAreaSize;
        SerialSim s(p);
        const Bytes image = pattern(0x400, 3), extra = pattern(32, 4);
        s.chip->load(0, image);
        s.chip->loadExtra(0, extra);
        s.chip->setStatus(0, 0x8C);
        s.chip->setStatus(1, 0x02);

        send(s.sim, kRead);
        EXPECT_EQ(drain(s.sim), image);  // the status bytes wait for the extra area
        send(s.sim, kExtraRead);
        Bytes tail = page ? Bytes{0x8C, 0x02} : Bytes{};
        EXPECT_EQ(drain(s.sim), extra + tail);
        EXPECT_EQ(s.chip->extraReadCommands(), 1u);
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
}

TEST(SimSerial, ExtraAreaDoesNotSpillPastItsEnd) {
    SerialChip::Params p = eeprom(0x40);
    p.extraSize = 4;
    SerialChip chip(p);
    const Bytes b{1, 2, 3, 4, 5, 6};
    chip.loadExtra(2, b);
    EXPECT_EQ(chip.extraArea(), (Bytes{0xFF, 0xFF, 1, 2}));
    chip.loadExtra(4, b);
    chip.loadExtra(SIZE_MAX, b);
    EXPECT_EQ(chip.extraArea(), (Bytes{0xFF, 0xFF, 1, 2}));
}

TEST(SimSerial, PartWithoutExtraAreaRefusesTheExtraFrame) {
    SerialSim s(eeprom(0x100));
    send(s.sim, kExtraRead);
    EXPECT_TRUE(drain(s.sim).empty());
    ASSERT_EQ(s.sim.protocolErrors().size(), 1u);
    EXPECT_NE(s.sim.protocolErrors()[0].find("unknown frame 45 72 00 00"), std::string::npos);
}

TEST(SimSerial, ProgramAcknowledgesEveryFourBytesAndTakesTheStatusBytes) {
    struct Case {
        std::uint8_t page;
        Bytes status;
    };
    // 0x10000 bytes go as blocks of 0x6000, 0x6000 and 0x4000.
    const Case cases[] = {{0, {}}, {101, {0x8C}}, {103, {0x9C, 0x40}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.page));
        SerialSim s(eeprom(0x10000, c.page));
        s.chip->load(0, pattern(0x10000, 9));  // an EEPROM takes new data over old
        const Bytes image = pattern(0x10000, 10);

        EXPECT_EQ(programLikeTheHost(s.sim, image), acksOf(0x10000));
        EXPECT_EQ(s.chip->memory(), image);
        EXPECT_EQ(s.chip->lastProgramBytes(), 0x10000u);
        EXPECT_TRUE(s.chip->lastStatusWritten().empty());
        for (std::uint8_t b : c.status) send(s.sim, {b});
        EXPECT_EQ(s.chip->lastStatusWritten(), c.status);
        EXPECT_EQ(s.chip->statusBytes(), c.status);
        EXPECT_TRUE(drain(s.sim).empty());  // status bytes are not answered

        // The link is back in step: the next four bytes are a frame.
        send(s.sim, kRead);
        EXPECT_EQ(drain(s.sim), image + c.status);
        EXPECT_EQ(s.chip->programCommands(), 1u);
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
}

TEST(SimSerial, StatusBytesMayTravelInTheSameWriteAsTheData) {
    SerialSim s(eeprom(0x20, 103));
    send(s.sim, kProgram + pattern(0x20, 5) + Bytes{0x11, 0x22} + kRead);
    EXPECT_EQ(drain(s.sim), (acksOf(0x20) + pattern(0x20, 5) + Bytes{0x11, 0x22}));
    EXPECT_EQ(s.chip->statusWriteLog(), (Bytes{0x11, 0x22}));
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

TEST(SimSerial, LastAcknowledgementGroupIsPaddedToFour) {
    SerialSim s(eeprom(6));
    send(s.sim, kProgram + Bytes{1, 2, 3, 4, 5, 6});
    EXPECT_EQ(drain(s.sim), acksOf(8));
    EXPECT_EQ(s.chip->memory(), (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(SimSerial, FlashOnlyClearsBitsAndAcknowledgesWhatDoesNotReadBack) {
    struct Case {
        const char* what;
        bool flash;
        std::uint8_t before, written, after;
        char ack;
    };
    const Case cases[] = {
        {"flash on blank", true, 0xFF, 0xA5, 0xA5, 'D'},
        {"flash over data", true, 0x0F, 0xF0, 0x00, 'F'},
        {"flash clearing more bits", true, 0x0F, 0x05, 0x05, 'D'},
        {"EEPROM over data", false, 0x0F, 0xF0, 0xF0, 'D'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SerialSim s(c.flash ? flash(16) : eeprom(16));
        s.chip->load(5, Bytes{c.before});
        Bytes data(16, 0xFF);
        data[5] = c.written;
        send(s.sim, kProgram + data);
        Bytes want = acksOf(16);
        want[5] = std::uint8_t(c.ack);
        EXPECT_EQ(drain(s.sim), want);
        EXPECT_EQ(s.chip->at(5), c.after);
        EXPECT_EQ(s.chip->at(4), 0xFF);
    }
}

TEST(SimSerial, StuckBitsShowInTheAcknowledgementAndTheRead) {
    for (bool isFlash : {false, true}) {
        SCOPED_TRACE(isFlash ? "flash" : "EEPROM");
        SerialSim s(isFlash ? flash(0x40) : eeprom(0x40));
        s.sim.faults().stickBit(0x21, 3);
        const Bytes zeros(0x40, 0);
        send(s.sim, kProgram);
        send(s.sim, zeros);
        Bytes want = acksOf(0x40);
        want[0x21] = kSerialProgramFailure;
        EXPECT_EQ(drain(s.sim), want);
        send(s.sim, kRead);
        Bytes read = drain(s.sim);
        ASSERT_EQ(read.size(), 0x40u);
        EXPECT_EQ(read[0x21], 0x08);
        read[0x21] = 0;
        EXPECT_EQ(read, zeros);
    }
}

TEST(SimSerial, AbortedProgramSendsNoStatusBytesAndTheResetIsNoFault) {
    SerialSim s(eeprom(0x100, 103));
    s.chip->setStatus(0, 0x0C);
    s.chip->setStatus(1, 0x01);
    programLikeTheHost(s.sim, pattern(0x100, 2));
    // The host stops here after an Abort; its next operation starts with a reset.
    ASSERT_EQ(s.sim.reset(), 0);
    EXPECT_TRUE(s.sim.protocolErrors().empty());
    EXPECT_TRUE(s.chip->lastStatusWritten().empty());
    EXPECT_EQ(s.chip->statusBytes(), (Bytes{0x0C, 0x01}));
    send(s.sim, kRead);
    EXPECT_EQ(drain(s.sim), (pattern(0x100, 2) + Bytes{0x0C, 0x01}));

    // One status byte of two, then the reset: the second is simply missing.
    programLikeTheHost(s.sim, pattern(0x100, 3));
    send(s.sim, {0x55});
    ASSERT_EQ(s.sim.reset(), 0);
    EXPECT_TRUE(s.sim.protocolErrors().empty());
    EXPECT_EQ(s.chip->lastStatusWritten(), Bytes{0x55});
    EXPECT_EQ(s.chip->statusBytes(), (Bytes{0x55, 0x01}));
}

TEST(SimSerial, ResetInTheMiddleOfTheDataIsNoted) {
    SerialSim s(eeprom(0x100));
    send(s.sim, kProgram + pattern(0x80, 1));
    ASSERT_EQ(s.sim.reset(), 0);
    ASSERT_EQ(s.sim.protocolErrors().size(), 1u);
    EXPECT_NE(s.sim.protocolErrors()[0].find("serial program stream"), std::string::npos);
    EXPECT_EQ(s.chip->lastProgramBytes(), 0x80u);
}

TEST(SimSerial, StalledAcknowledgementsStillProgramTheData) {
    SerialSim s(eeprom(0x40));
    s.sim.faults().acksStallAfter = 8;
    send(s.sim, kProgram + pattern(0x40, 6));
    EXPECT_EQ(drain(s.sim), acksOf(8));
    EXPECT_EQ(s.chip->memory(), pattern(0x40, 6));
}

TEST(SimSerial, EraseAnswersDoneAndLeavesExtraAreaAndStatusAlone) {
    struct Case {
        const char* what;
        bool fails;
        std::optional<std::string> wrongDone;
        std::string reply;
        bool erased;
    };
    const Case cases[] = {
        {"good", false, std::nullopt, "Done", true},
        {"failing", true, std::nullopt, "Fail", false},
        {"garbled word", false, std::string("Dome"), "Dome", true},
        {"no word", false, std::string(""), "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SerialChip::Params p = flash(0x100, 100);
        p.extraSize = 32;
        SerialSim s(p);
        s.chip->load(0, pattern(0x100, 7));
        s.chip->loadExtra(0, pattern(32, 8));
        s.chip->setStatus(0, 0x9C);
        s.sim.faults().eraseFails = c.fails;
        if (c.wrongDone) s.sim.faults().wrongReply[Reply::EraseDone] = *c.wrongDone;

        send(s.sim, kErase);
        EXPECT_EQ(drain(s.sim), bytes(c.reply));
        EXPECT_EQ(s.chip->isBlank(), c.erased);
        if (!c.erased) {
            EXPECT_EQ(s.chip->memory(), pattern(0x100, 7));
        }
        EXPECT_EQ(s.chip->extraArea(), pattern(32, 8));
        EXPECT_EQ(s.chip->status(0), 0x9C);
        EXPECT_EQ(s.chip->eraseCommands(), 1u);
    }
}

TEST(SimSerial, ErasedPartPassesTheHostsTwoByteBlankCheckAndErrBEndsTheStream) {
    SerialSim s(flash(0x1000, 100));
    s.chip->load(0x801, Bytes{0x7F});
    send(s.sim, kErase);
    ASSERT_EQ(drain(s.sim), bytes("Done"));
    send(s.sim, kRead);
    for (std::size_t i = 0; i < 0x1000; i += 2) ASSERT_EQ(readN(s.sim, 2), (Bytes{0xFF, 0xFF})) << i;
    // The status byte is left unread, as the host's next operation finds it:
    // that operation begins by purging the receive queue.
    ASSERT_EQ(s.sim.purge(PurgeRx), 0);
    // A programmed byte, found part way, and "ErrB": nothing more comes.
    s.chip->load(0x801, Bytes{0x7F});
    send(s.sim, kRead);
    for (std::size_t i = 0; i < 0x800; i += 2) ASSERT_EQ(readN(s.sim, 2), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(readN(s.sim, 2), (Bytes{0xFF, 0x7F}));
    send(s.sim, bytes("ErrB"));
    EXPECT_TRUE(drain(s.sim).empty());
    send(s.sim, kIdentify3);
    EXPECT_EQ(drain(s.sim), (Bytes{0xBA, 0x20, 0x12}));
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

TEST(SimSerial, ErrVAndStopEndTheReadBeforeTheStatusBytes) {
    for (const char* ender : {"ErrV", "Stop"}) {
        SCOPED_TRACE(ender);
        SerialSim s(eeprom(0x100, 103));
        send(s.sim, kRead);
        EXPECT_EQ(readN(s.sim, 16), Bytes(16, 0xFF));
        send(s.sim, bytes(ender));
        EXPECT_TRUE(drain(s.sim).empty());
        send(s.sim, kIdentify2);
        EXPECT_EQ(drain(s.sim), (Bytes{0, 0}));
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
}

TEST(SimSerial, StalledReadGoesQuietUntilStop) {
    SerialSim s(eeprom(0x100, 100));
    const Bytes image = pattern(0x100, 12);
    s.chip->load(0, image);
    s.sim.faults().streamStallsAfter = 10;
    send(s.sim, kRead);
    EXPECT_EQ(drain(s.sim), Bytes(image.begin(), image.begin() + 10));
    send(s.sim, bytes("Stop"));
    s.sim.faults().streamStallsAfter.reset();
    send(s.sim, kRead);
    EXPECT_EQ(drain(s.sim), (image + Bytes{0}));
}

TEST(SimSerial, IdentifyAnswersTwoOrThreeBytes) {
    struct Case {
        const char* what;
        Bytes signature;
        Bytes frame;
        std::optional<Bytes> wrongSignature;
        std::optional<Bytes> wholeReply;
        Bytes reply;
    };
    const Case cases[] = {
        {"two-byte part, Ei", {0xBA, 0x05}, kIdentify2, {}, {}, {0xBA, 0x05}},
        {"three-byte part, EI", {0xBA, 0x20, 0x13}, kIdentify3, {}, {}, {0xBA, 0x20, 0x13}},
        {"three-byte part, Ei", {0xBA, 0x20, 0x13}, kIdentify2, {}, {}, {0xBA, 0x20}},
        {"two-byte part, EI", {0xBA, 0x05}, kIdentify3, {}, {}, {0xBA, 0x05, 0xFF}},
        {"no signature", {0, 0}, kIdentify2, {}, {}, {0, 0}},
        {"wrong signature", {0xBA, 0x20, 0x13}, kIdentify3, Bytes{0xC2, 0x20, 0x14}, {}, {0xC2, 0x20, 0x14}},
        {"short wrong signature", {0xBA, 0x20, 0x13}, kIdentify3, Bytes{0xC2}, {}, {0xC2, 0xFF, 0xFF}},
        {"long wrong signature", {0xBA, 0x05}, kIdentify2, Bytes{1, 2, 3, 4}, {}, {1, 2}},
        {"whole reply", {0xBA, 0x05}, kIdentify2, {}, Bytes{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
        {"empty reply", {0xBA, 0x20, 0x13}, kIdentify3, {}, Bytes{}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SerialChip::Params p = eeprom(0x100);
        p.signature = c.signature;
        SerialSim s(p);
        s.sim.faults().signature = c.wrongSignature;
        s.sim.faults().chipIdReply = c.wholeReply;
        send(s.sim, c.frame);
        EXPECT_EQ(drain(s.sim), c.reply);
        EXPECT_EQ(s.chip->identifyRequests(), std::string(1, char(c.frame[1])));
    }
}

TEST(SimSerial, SilentProgrammerAnswersNothing) {
    SerialSim s(flash(0x100));
    s.sim.faults().silent = true;
    for (const Bytes& f : {kIdentify3, kRead, kErase}) {
        send(s.sim, f);
        EXPECT_TRUE(drain(s.sim).empty());
    }
    EXPECT_EQ(s.chip->identifyRequests(), "");
}

TEST(SimSerial, UnusedFramePositionsMustBeZero) {
    SerialSim s(eeprom(0x100));
    for (const Bytes& f : {Bytes{'E', 'R', 0, 1}, Bytes{'E', 'P', 1, 0}, Bytes{'E', 'E', '0', '0'}, Bytes{'E', 'i', 0, 'i'}}) {
        send(s.sim, f);
        EXPECT_TRUE(drain(s.sim).empty());
    }
    EXPECT_EQ(s.sim.protocolErrors().size(), 4u);
    EXPECT_EQ(s.chip->readCommands() + s.chip->programCommands() + s.chip->eraseCommands(), 0u);
    EXPECT_TRUE(s.chip->isBlank());
}
