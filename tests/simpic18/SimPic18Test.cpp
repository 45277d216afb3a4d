// The PIC18 chip model and its family frames, driven straight through the
// driver interface, the way the host's routines use it.
#include <gtest/gtest.h>

#include "devices/DeviceDataFile.h"
#include "sim/Pic18Chip.h"
#include "sim/SimTestUtil.h"
#include "support/RecordImage.h"
#include "support/TestSupport.h"

using namespace tesmar;
using namespace tesmar::sim;
using namespace tesmar::sim::test;
using tesmar::test::RecordImage;
using Area = Pic18Chip::Area;

namespace {

constexpr std::uint16_t kAllButtons = 0x5FF;

Bytes readFrame(char letter) { return {'E', 'R', std::uint8_t(letter), 0}; }
Bytes programFrame(char letter, std::uint8_t param = 0) { return {'E', 'P', std::uint8_t(letter), param}; }
const Bytes kDeviceId{'E', 'I', 0, 0};
const Bytes kDefaults{0x27, 0x00, 0x0F, 0x0F, 0x01, 0x00, 0x00, 0x85, 0xC0, 0x0F, 0xE0, 0x0F, 0x40, 0x0F};

// 18F452-like: 32 KiB code, 256 bytes of data EEPROM.
RecordImage pic18(std::uint32_t last = 0x7FFF) {
    return RecordImage('C')
        .algorithm(18)
        .name("18F452")
        .voltages(5.0f, 5.5f, 2.0f, 12.0f)
        .lastAddress(last)
        .pageCode(27)
        .blankByte(0xFF)
        .configMaskCount(14)
        .configMasks({kDefaults.begin(), kDefaults.end()})
        .programParam(8)
        .dataEepromSize(255)
        .deviceId(0x42)
        .deviceId2(0x20)
        .buttons(kAllButtons)
        .stepMask(0x57);
}

struct Pic18Sim : OpenSim {
    std::shared_ptr<Pic18Chip> chip;
    explicit Pic18Sim(const DeviceRecord& rec) {
        sim.insertBlankChipFor(rec);
        chip = std::dynamic_pointer_cast<Pic18Chip>(sim.chip());
    }
};

Bytes acks(std::size_t words) {
    Bytes b;
    for (std::size_t i = 0; i < words; ++i) b = b + Bytes{'O', 'K'};
    return b;
}

// The host's exchange for the data, ID and configuration areas: the frame,
// "Send", the area in one write, then every answer the programmer gives.
Bytes program(SimProgrammer& sim, char letter, const Bytes& data) {
    send(sim, programFrame(letter));
    Bytes word = readN(sim, 4);
    EXPECT_EQ(word, bytes("Send"));
    if (word != bytes("Send")) return {};
    send(sim, data);
    return drain(sim);
}

}  // namespace

TEST(SimPic18, EveryPic18RecordOfTheSampleFileGetsABlankPartThatPassesTheHostsChecks) {
    DeviceDataFile file;
    ASSERT_TRUE(file.open((tesmar::test::runDir() + "/zrvusb_m.usb").toStdString()));
    SimProgrammer sim;
    sim.open("Tesmar", 0);
    int parts = 0;
    for (int m = 0; m < file.manufacturerCount(); ++m) {
        for (std::size_t d = 0; d < file.deviceNames(m).size(); ++d) {
            auto rec = file.record(m, int(d));
            ASSERT_TRUE(rec);
            if (!rec->isPic18()) continue;
            SCOPED_TRACE(rec->Name);
            sim.insertBlankChipFor(*rec);
            auto chip = std::dynamic_pointer_cast<Pic18Chip>(sim.chip());
            ASSERT_TRUE(chip);
            EXPECT_TRUE(chip->allErased());
            std::size_t code = std::size_t(rec->LastAddress) + 1;
            std::size_t data = (rec->StepMask & 2) ? std::size_t(rec->DataEepromSize) + 1 : 0;
            send(sim, readFrame('p'));
            Bytes stream = drain(sim);
            ASSERT_EQ(stream.size(), code + data + 8 + 14);
            // The blank rules the host applies: code and ID words [0xFF, blank],
            // data pairs [blank, 0xFF], configuration equal to the defaults.
            for (std::size_t i = 0; i + 1 < code + data + 8; i += 2) {
                bool inData = i >= code && i < code + data;
                std::uint8_t low = stream[i], high = stream[i + 1];
                if (inData) ASSERT_TRUE(low == rec->BlankByte && high == 0xFF) << i;
                else ASSERT_TRUE(high == rec->BlankByte && low == 0xFF) << i;
            }
            EXPECT_EQ(Bytes(stream.end() - 14, stream.end()), Bytes(rec->ConfigMasks.begin(), rec->ConfigMasks.begin() + 14));
            send(sim, kDeviceId);
            Bytes id = readN(sim, 2);
            ASSERT_EQ(id.size(), 2u);
            EXPECT_EQ(id[1], rec->DeviceId);
            EXPECT_EQ(id[0] & 0xE0, rec->DeviceId2);
            EXPECT_NE(id[0] & 0x1F, 0) << "a revision in the low bits";
            ++parts;
        }
    }
    EXPECT_GE(parts, 10);
    EXPECT_TRUE(sim.protocolErrors().empty());
}

TEST(SimPic18, ReadStreamStartsAtTheAskedAreaAndRunsToTheEnd) {
    Pic18Sim s(pic18(0xFF).build());
    Bytes code = pattern(0x100, 3), data = pattern(0x100, 7), ids{1, 2, 3, 4, 5, 6, 7, 8};
    Bytes cfg{0x25, 0, 0x0E, 0x0D, 1, 0, 0, 0x81, 0xC0, 0x0F, 0xE0, 0x0F, 0x40, 0x0F};
    s.chip->loadCode(0, code);
    s.chip->loadData(0, data);
    s.chip->loadIds(0, ids);
    s.chip->loadConfig(0, cfg);
    struct Case {
        char letter;
        Bytes expected;
    } cases[] = {
        {'p', code + data + ids + cfg},
        {'d', data + ids + cfg},
        {'i', ids + cfg},
        {'c', cfg},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.letter);
        send(s.sim, readFrame(c.letter));
        EXPECT_EQ(drain(s.sim), c.expected);
    }
    // A part without a data EEPROM has no 'd' area and leaves it out of the stream.
    Pic18Sim plain(pic18(0xFF).stepMask(0x55).build());
    send(plain.sim, readFrame('i'));
    EXPECT_EQ(drain(plain.sim).size(), 8u + 14u);
    send(plain.sim, readFrame('d'));
    EXPECT_TRUE(drain(plain.sim).empty());
    EXPECT_EQ(plain.sim.protocolErrors().size(), 1u);
}

TEST(SimPic18, ErrVEndsAReadStreamSoTheNextFrameIsAnswered) {
    Pic18Sim s(pic18().build());
    send(s.sim, readFrame('p'));
    EXPECT_EQ(readN(s.sim, 2).size(), 2u);
    send(s.sim, bytes("ErrV"));
    s.sim.purge(3);
    send(s.sim, kDeviceId);
    EXPECT_EQ(readN(s.sim, 2), (Bytes{0x23, 0x42}));
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

TEST(SimPic18, CodeGoesInBlocksOfAtMost0x6000BytesAndEveryWordIsAcknowledged) {
    Pic18Sim s(pic18(0x7FFF).build());
    Bytes device = pattern(0x8000, 11);  // device order, low byte first
    send(s.sim, programFrame('p', 8));
    EXPECT_EQ(readN(s.sim, 4), bytes("Send"));
    send(s.sim, Bytes(device.begin(), device.begin() + 0x6000));
    EXPECT_EQ(readN(s.sim, 0x6000), acks(0x3000));
    send(s.sim, Bytes(device.begin() + 0x6000, device.end()));
    EXPECT_EQ(drain(s.sim), acks(0x1000));
    EXPECT_EQ(s.chip->code(), device);
    EXPECT_EQ(s.chip->lastProgramParam(), 8);
    EXPECT_EQ(s.chip->lastProgramData(Area::Code), device);
    EXPECT_EQ(s.chip->commands(), (std::vector<std::string>{"EP p 0x08"}));

    // The read stream gives the code back as the chip holds it.
    send(s.sim, readFrame('p'));
    Bytes stream = drain(s.sim);
    EXPECT_EQ(Bytes(stream.begin(), stream.begin() + 0x8000), device);
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

TEST(SimPic18, CodeCellsOnlyClearUntilTheBulkErase) {
    Pic18Sim s(pic18(0x0F).build());
    Bytes first(16, 0x0F), second(16, 0xF0);
    send(s.sim, programFrame('p', 8));
    readN(s.sim, 4);
    send(s.sim, first);
    EXPECT_EQ(drain(s.sim), acks(8));

    // Programming again without an erase: the first word already fails.
    send(s.sim, programFrame('p', 8));
    readN(s.sim, 4);
    send(s.sim, second);
    // "EE", the word as the part holds it, then the word sent, high bytes first.
    EXPECT_EQ(drain(s.sim), (Bytes{'E', 'E', 0x00, 0x00, 0xF0, 0xF0}));
    // Only the failed word was touched; nothing after it is programmed.
    EXPECT_EQ(s.chip->code(), (Bytes{0x00, 0x00} + Bytes(14, 0x0F)));

    send(s.sim, bytes("EE23"));
    EXPECT_TRUE(s.chip->allErased());
    EXPECT_EQ(s.chip->eraseCommands(), 1u);
    send(s.sim, programFrame('p', 8));
    readN(s.sim, 4);
    send(s.sim, second);
    EXPECT_EQ(drain(s.sim), acks(8));
    EXPECT_EQ(s.chip->code(), second);
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

TEST(SimPic18, AFailedWordEndsTheAnswersAndTheRestOfItsBlockIsTakenNotParsed) {
    // A bit stuck at 1 in code buffer offset 0x6003 = device byte 0x6002, the
    // low byte of the word at 0x6002 in the second block.
    Pic18Sim s(pic18(0x7FFF).build());
    s.sim.faults().stickBit(0x6003, 0);
    Bytes device(0x8000, 0x00);
    send(s.sim, programFrame('p', 8));
    readN(s.sim, 4);
    send(s.sim, Bytes(device.begin(), device.begin() + 0x6000));
    EXPECT_EQ(drain(s.sim), acks(0x3000));
    send(s.sim, Bytes(device.begin() + 0x6000, device.end()));
    EXPECT_EQ(drain(s.sim), (acks(1) + Bytes{'E', 'E', 0x00, 0x01, 0x00, 0x00}));
    // The host stops after the report; the programmer looks for frames again.
    send(s.sim, kDeviceId);
    EXPECT_EQ(readN(s.sim, 2), (Bytes{0x23, 0x42}));
    EXPECT_TRUE(s.sim.protocolErrors().empty());

    // A failure in the first block: the host never sends the second one.
    Pic18Sim t(pic18(0x7FFF).build());
    t.sim.faults().stickBit(0x0000, 7);  // the high byte of word 0
    send(t.sim, programFrame('p', 8));
    readN(t.sim, 4);
    send(t.sim, Bytes(device.begin(), device.begin() + 0x6000));
    EXPECT_EQ(drain(t.sim), (Bytes{'E', 'E', 0x80, 0x00, 0x00, 0x00}));
    send(t.sim, Bytes{'C', 125, 'S', 'E'});
    EXPECT_EQ(t.chip->lastVdd(), 125);
    EXPECT_TRUE(t.sim.protocolErrors().empty());
}

TEST(SimPic18, DataAndIdsAreAnsweredPerPairAndConfigurationPerByte) {
    Pic18Sim s(pic18(0xFF).build());
    Bytes data = pattern(0x100, 5);
    EXPECT_EQ(program(s.sim, 'd', data), acks(0x80));
    EXPECT_EQ(s.chip->dataEeprom(), data);
    // Data EEPROM bytes take the value written, without an erase.
    Bytes again = pattern(0x100, 9);
    EXPECT_EQ(program(s.sim, 'd', again), acks(0x80));
    EXPECT_EQ(s.chip->dataEeprom(), again);

    Bytes ids{0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A, 0xF0, 0xDE};
    EXPECT_EQ(program(s.sim, 'i', ids), acks(4));
    EXPECT_EQ(s.chip->ids(), ids);

    // Protection (CONFIG5H, CONFIG5L) stays off: it would only clear.
    const Bytes cfg{0x22, 0, 0x0A, 0x05, 0, 0, 0, 0x81, 0xC0, 0x0F, 0xA0, 0x03, 0x40, 0x01};
    const Bytes allGood(14, 'D');
    EXPECT_EQ(program(s.sim, 'c', cfg), allGood);
    EXPECT_EQ(Bytes(s.chip->config().begin(), s.chip->config().end()), cfg);
    // Configuration bytes are rewritten whole: setting bits back needs no erase.
    EXPECT_EQ(program(s.sim, 'c', kDefaults), allGood);
    EXPECT_EQ(Bytes(s.chip->config().begin(), s.chip->config().end()), kDefaults);

    EXPECT_EQ(s.chip->commands(), (std::vector<std::string>{"EP d", "EP d", "EP i", "EP c", "EP c"}));
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

TEST(SimPic18, StuckBitsAreReportedAtTheirBufferOffsets) {
    struct Case {
        const char* name;
        std::uint32_t offset;
        char letter;
        Bytes expected;
    } cases[] = {
        // EEPROM byte 3: the pair [2, 3], device bytes then host bytes in order.
        {"data", 0xF0203, 'd', acks(1) + Bytes{'E', 'E', 0x00, 0x01, 0x00, 0x00}},
        // ID buffer offset 2 is device byte 3, the high byte of word 1.
        {"ids", 0xF0002, 'i', acks(1) + Bytes{'E', 'E', 0x01, 0x00, 0x00, 0x00}},
        {"config", 0xF0012, 'c', Bytes{'D', 'D', 'F'} + Bytes(11, 'D')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pic18Sim s(pic18(0xFF).build());
        s.sim.faults().stickBit(c.offset, 0);
        std::size_t n = c.letter == 'd' ? 0x100 : c.letter == 'i' ? 8 : 14;
        EXPECT_EQ(program(s.sim, c.letter, Bytes(n, 0x00)), c.expected);
        send(s.sim, kDeviceId);
        EXPECT_EQ(readN(s.sim, 2).size(), 2u);
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
}

TEST(SimPic18, BulkEraseRestoresEveryAreaAndEs23IsForPageCode32Only) {
    Pic18Sim s(pic18(0xFF).build());
    s.chip->loadCode(0, Bytes(0x100, 0));
    s.chip->loadData(0, Bytes(0x100, 0));
    s.chip->loadIds(0, Bytes(8, 0));
    s.chip->loadConfig(0, Bytes(14, 0));
    EXPECT_FALSE(s.chip->allErased());
    s.sim.faults().eraseFails = true;
    send(s.sim, bytes("EE23"));
    EXPECT_FALSE(s.chip->allErased());
    s.sim.faults().eraseFails = false;
    send(s.sim, bytes("EE23"));
    EXPECT_TRUE(s.chip->allErased());
    EXPECT_EQ(Bytes(s.chip->config().begin(), s.chip->config().end()), kDefaults);
    EXPECT_TRUE(drain(s.sim).empty()) << "no reply to an erase";

    send(s.sim, bytes("ES23"));
    EXPECT_EQ(s.sim.protocolErrors().size(), 1u);

    Pic18Sim p32(pic18(0xFF).pageCode(32).build());
    p32.chip->loadData(0, Bytes(0x100, 0));
    p32.chip->loadCode(0, Bytes(0x100, 0));
    send(p32.sim, bytes("ES23"));
    EXPECT_EQ(p32.chip->dataEeprom(), Bytes(0x100, 0xFF));
    EXPECT_EQ(p32.chip->code(), Bytes(0x100, 0x00)) << "the data erase leaves the code";
    EXPECT_EQ(p32.chip->dataEraseCommands(), 1u);
    EXPECT_TRUE(p32.sim.protocolErrors().empty());
}

TEST(SimPic18, VoltagesAndFramesAreRecordedInOrder) {
    Pic18Sim s(pic18(0xFF).build());
    send(s.sim, Bytes{'C', 125, 'S', 'E'} + Bytes{'P', 120, 'S', 'E'} + kDeviceId);
    readN(s.sim, 2);
    send(s.sim, Bytes{'C', 137, 'S', 'E'} + Bytes{'C', 50, 'S', 'E'});
    EXPECT_TRUE(drain(s.sim).empty()) << "voltage frames get no reply";
    EXPECT_EQ(s.chip->vddHistory(), (std::vector<std::uint8_t>{125, 137, 50}));
    EXPECT_EQ(s.chip->vppHistory(), (std::vector<std::uint8_t>{120}));
    EXPECT_EQ(s.chip->lastVdd(), 50);
    EXPECT_EQ(s.chip->commands(),
              (std::vector<std::string>{"Vdd 125", "Vpp 120", "EI", "Vdd 137", "Vdd 50"}));
}

TEST(SimPic18, FaultsChangeTheDeviceIdAndTheSendWord) {
    Pic18Sim s(pic18(0xFF).build());
    s.sim.faults().signature = Bytes{0x3F, 0x42};
    send(s.sim, kDeviceId);
    EXPECT_EQ(readN(s.sim, 2), (Bytes{0x3F, 0x42}));

    // Without "Send" the programmer takes no data: the next frame is a frame.
    s.sim.faults().programSend = "Nope";
    send(s.sim, programFrame('i'));
    EXPECT_EQ(readN(s.sim, 4), bytes("Nope"));
    send(s.sim, Bytes{'C', 125, 'S', 'E'});
    EXPECT_EQ(s.chip->lastVdd(), 125);
    EXPECT_TRUE(s.chip->allErased());
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

namespace {

std::vector<DeviceRecord> samplePic18s() {
    return tesmar::test::sampleRecords("zrvusb_m.usb", [](const DeviceRecord& r) { return r.isPic18(); });
}

Bytes defaultsOf(const DeviceRecord& r) { return Bytes(r.ConfigMasks.begin(), r.ConfigMasks.begin() + 14); }

Bytes streamOf(SimProgrammer& sim, char letter, std::size_t n) {
    send(sim, readFrame(letter));
    Bytes all = drain(sim);
    all.resize(std::min(n, all.size()));
    return all;
}

constexpr std::size_t k5H = 8, k5L = 9;

}  // namespace

// A PIC18 part implements the bits its erased configuration sets; the others
// read 0 and are noted when sent set.
TEST(SimPic18, UnimplementedConfigurationBitsReadZeroAndAreNoted) {
    const auto parts = samplePic18s();
    ASSERT_GE(parts.size(), 10u);
    for (const DeviceRecord& r : parts) {
        SCOPED_TRACE(r.Name);
        Pic18Sim s(r);
        const Bytes defaults = defaultsOf(r);
        std::vector<std::string> notes;
        for (std::size_t i = 0; i < 14; ++i)
            if (defaults[i] != 0xFF)
                notes.push_back("configuration byte " + std::to_string(i) + ": " +
                                QString::asprintf("0x%02X", ~defaults[i] & 0xFF).toStdString() +
                                " written to unimplemented bits");
        EXPECT_EQ(program(s.sim, 'c', Bytes(14, 0xFF)), Bytes(14, 'D'));
        EXPECT_EQ(streamOf(s.sim, 'c', 14), defaults);
        EXPECT_EQ(s.chip->configNotes(), notes);
        EXPECT_EQ(program(s.sim, 'c', Bytes(14, 0x00)), Bytes(14, 'D'));
        EXPECT_EQ(streamOf(s.sim, 'c', 14), Bytes(14, 0x00));
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
}

// Checking every code-protection box (CP0.., CPB) hides the code and nothing
// else; only a bulk erase lifts it. CPD hides the data EEPROM alone.
TEST(SimPic18, ProtectionHidesCodeOrDataUntilABulkErase) {
    int parts = 0;
    for (const DeviceRecord& r : samplePic18s()) {
        if (r.PageCode == 25 || r.PageCode == 26) continue;  // no configuration page
        SCOPED_TRACE(r.Name);
        Pic18Sim s(r);
        const Bytes code = pattern(s.chip->code().size(), 3);
        s.chip->loadCode(0, code);
        const Bytes defaults = defaultsOf(r);
        // Every bit but the protection bits at 0: readable.
        Bytes open(14, 0x00);
        open[k5H] = defaults[k5H], open[k5L] = defaults[k5L];
        EXPECT_EQ(program(s.sim, 'c', open), Bytes(14, 'D'));
        EXPECT_EQ(streamOf(s.sim, 'p', code.size()), code);

        Bytes shut = defaults;
        shut[k5H] &= 0x80, shut[k5L] = 0x00;
        EXPECT_EQ(program(s.sim, 'c', shut), Bytes(14, 'D'));
        EXPECT_EQ(streamOf(s.sim, 'p', code.size()), Bytes(code.size(), 0x00));
        EXPECT_EQ(streamOf(s.sim, 'i', 8), s.chip->ids());
        if (!s.chip->dataEeprom().empty()) {
            EXPECT_EQ(streamOf(s.sim, 'd', 4), Bytes(s.chip->dataEeprom().begin(), s.chip->dataEeprom().begin() + 4));
        }
        Bytes relaxed(14, 'D');
        relaxed[k5L] = 'F';
        if (defaults[k5H] & 0x40) relaxed[k5H] = 'F';
        EXPECT_EQ(program(s.sim, 'c', defaults), relaxed);
        EXPECT_TRUE(s.chip->codeProtected());
        send(s.sim, bytes("EE23"));
        EXPECT_FALSE(s.chip->codeProtected());
        EXPECT_TRUE(s.sim.protocolErrors().empty());
        ++parts;

        if (!(defaults[k5H] & 0x80) || s.chip->dataEeprom().empty()) continue;
        Pic18Sim d(r);
        d.chip->loadCode(0, code);
        Bytes cpd = defaults;
        cpd[k5H] &= 0x7F;
        EXPECT_EQ(program(d.sim, 'c', cpd), Bytes(14, 'D'));
        EXPECT_EQ(streamOf(d.sim, 'd', 4), Bytes(4, 0x00));
        EXPECT_EQ(streamOf(d.sim, 'p', code.size()), code);
    }
    EXPECT_GE(parts, 10);
}

TEST(SimPic18, IdLocationsReadInDeviceOrderAndTheConfigurationStreamCanStall) {
    Pic18Sim s(pic18(0xFF).build());
    EXPECT_EQ(program(s.sim, 'i', Bytes{0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17}), acks(4));
    for (std::size_t n = 0; n < 8; ++n) EXPECT_EQ(s.chip->idLocation(n), 0x10 + n);
    s.sim.faults().picConfigStreamStallsAfter = 2;
    send(s.sim, readFrame('i'));
    EXPECT_EQ(drain(s.sim), (Bytes{0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x27, 0x00}));
    send(s.sim, bytes("Stop"));
    send(s.sim, kDeviceId);
    EXPECT_EQ(drain(s.sim), (Bytes{0x23, 0x42}));
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}
