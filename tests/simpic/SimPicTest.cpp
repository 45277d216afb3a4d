// The PIC10/12/16 chip model and its family frames, driven straight through
// the driver interface, the way the host's routines use it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "devices/DeviceDataFile.h"
#include "sim/PicChip.h"
#include "sim/SimTestUtil.h"
#include "support/RecordImage.h"
#include "support/TestSupport.h"

using namespace tesmar;
using namespace tesmar::sim;
using namespace tesmar::sim::test;
using tesmar::test::RecordImage;
using Area = PicChip::Area;

namespace {

constexpr std::uint16_t kAllButtons = 0x5FF;                          // erase allowed: flash
constexpr std::uint16_t kOtpButtons = kAllButtons & ~(1u << BtnErase);  // no erase: OTP

Bytes readFrame(char letter) { return {'E', 'R', std::uint8_t(letter), 0}; }
Bytes programFrame(char letter) { return {'E', 'P', std::uint8_t(letter), 0}; }
const Bytes kDeviceId{'E', 'I', 0, 0};
const Bytes kBulkErase = bytes("EE23");
const Bytes kDataErase = bytes("ES23");

Bytes acks(std::size_t words) {
    Bytes b;
    for (std::size_t i = 0; i < words; ++i) b = b + Bytes{'O', 'K'};
    return b;
}

// The records the tests use, as the data files hold them.
RecordImage picImage(std::uint32_t last, std::uint8_t page, std::int8_t alg = 0) {
    return RecordImage('C')
        .algorithm(alg)
        .name("PIC")
        .voltages(5.0f, 5.5f, 2.0f, 13.0f)
        .lastAddress(last)
        .pageCode(page)
        .blankByte(0x3F)
        .configMaskCount(2)
        .configMasks({0x3F, 0xFF})
        .buttons(kAllButtons)
        .stepMask(0x55);
}

// 16F84A-like: data EEPROM, flash.
DeviceRecord f84() {
    return picImage(0x7FF, 9).dataEepromSize(63).configMasks({0x00, 0x1F}).deviceId(0x05).deviceId2(0x60)
        .stepMask(0x57).build();
}
// 12F629-like: calibration at the top of the code, bandgap bits, data EEPROM.
DeviceRecord f629() {
    return picImage(0x7FF, 32).dataEepromSize(127).configMasks({0x31, 0xFF}).deviceId(0x0F).deviceId2(0x80)
        .stepMask(0x57).build();
}
// 10F200-like: algorithm 11, 12-bit words.
DeviceRecord f200() {
    return picImage(0x1FF, 5, 11).blankByte(0x0F).configMasks({0x00, 0x1F}).build();
}
// 12F683-like: a calibration word in the stream after the IDs.
DeviceRecord f683() {
    return picImage(0xFFF, 16).dataEepromSize(255).configMasks({0x0F, 0xFF}).deviceId(0x04).deviceId2(0x60)
        .stepMask(0x5F).build();
}
// 16C54-like: OTP, page code 40.
DeviceRecord c54() {
    return picImage(0x3FF, 40, 5).blankByte(0x0F).configMasks({0x00, 0x1F}).buttons(kOtpButtons).stepMask(0x15)
        .build();
}
// 12C508-like: OTP with the calibration word at the top.
DeviceRecord c508() {
    return picImage(0x3FF, 15, 6).blankByte(0x0F).configMasks({0x00, 0x1F}).buttons(kOtpButtons).stepMask(0x15)
        .build();
}
// 16F1827-like: enhanced mid-range, two configuration words.
DeviceRecord f1827() {
    return picImage(0x1FFF, 46).dataEepromSize(255).configMaskCount(4).configMasks({0x3F, 0xFF, 0x3F, 0xF7})
        .deviceId(0x27).deviceId2(0xA0).stepMask(0x57).build();
}

struct PicSim : OpenSim {
    std::shared_ptr<PicChip> chip;
    explicit PicSim(const DeviceRecord& rec) {
        sim.insertBlankChipFor(rec);
        chip = std::dynamic_pointer_cast<PicChip>(sim.chip());
    }
};

// The host's program exchange: the frame, "Send", the data in one write, then
// every acknowledgement the programmer has to give.
Bytes program(SimProgrammer& sim, char letter, const Bytes& data) {
    send(sim, programFrame(letter));
    Bytes word = readN(sim, 4);
    EXPECT_EQ(word, bytes("Send"));
    if (word != bytes("Send")) return {};
    send(sim, data);
    return drain(sim);
}

Bytes blankWords(std::size_t n, std::uint8_t blank) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = i % 2 ? 0xFF : blank;
    return b;
}

}  // namespace

TEST(SimPic, BlankPartMatchesTheRecord) {
    struct Case {
        const char* name;
        DeviceRecord rec;
        const char* technology;
        std::size_t code, data, config;
        bool calibrationAtTop, calibrationWord, backup;
        Bytes deviceId;
    };
    const Case cases[] = {
        {"16F84A", f84(), "flash PIC", 0x800, 64, 2, false, false, false, {0x05, 0x65}},
        {"12F629", f629(), "flash PIC", 0x800, 128, 2, true, false, false, {0x0F, 0x85}},
        {"10F200", f200(), "flash PIC", 0x200, 0, 2, true, false, true, {0x00, 0x00}},
        {"12F683", f683(), "flash PIC", 0x1000, 256, 2, false, true, false, {0x04, 0x65}},
        {"16C54", c54(), "OTP PIC", 0x400, 0, 2, false, false, false, {0x00, 0x00}},
        {"12C508", c508(), "OTP PIC", 0x400, 0, 2, true, false, false, {0x00, 0x00}},
        {"16F1827", f1827(), "flash PIC", 0x2000, 256, 4, false, false, false, {0x27, 0xA5}},
        // The revision bits only go where the record leaves them free, never on page code 49.
        {"16F1459", picImage(0x3FFF, 49).deviceId(0x30).deviceId2(0x20).build(), "flash PIC", 0x4000, 0, 2, false,
         false, false, {0x30, 0x20}},
        {"odd id", picImage(0xFFF, 6).deviceId(0x24).deviceId2(0x03).build(), "flash PIC", 0x1000, 0, 2, false,
         false, false, {0x24, 0x03}},
        // A data EEPROM size without the data step bit: no data area.
        {"no data", picImage(0xFFF, 6).dataEepromSize(127).build(), "flash PIC", 0x1000, 0, 2, false, false, false,
         {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PicSim s(c.rec);
        ASSERT_TRUE(s.chip);
        EXPECT_EQ(s.chip->technology(), c.technology);
        EXPECT_EQ(s.chip->code().size(), c.code);
        EXPECT_EQ(s.chip->dataEeprom(), Bytes(c.data, 0xFF));
        EXPECT_EQ(s.chip->ids(), blankWords(8, c.rec.BlankByte));
        EXPECT_EQ(s.chip->config().size(), c.config);
        EXPECT_EQ(s.chip->params().calibrationAtTop, c.calibrationAtTop);
        EXPECT_EQ(s.chip->params().calibrationWord, c.calibrationWord);
        EXPECT_EQ(s.chip->params().idBackupWord, c.backup);
        EXPECT_TRUE(s.chip->allErased());
        // The first code word is erased; the last holds the factory value only where the part keeps one there.
        EXPECT_EQ(s.chip->at(0), c.rec.BlankByte);
        EXPECT_EQ(s.chip->at(1), 0xFF);
        Bytes top{s.chip->at(c.code - 2), s.chip->at(c.code - 1)};
        auto cal = s.chip->calibration();
        EXPECT_EQ(top, c.calibrationAtTop ? Bytes(cal.begin(), cal.end()) : blankWords(2, c.rec.BlankByte));

        send(s.sim, kDeviceId);
        EXPECT_EQ(drain(s.sim), c.deviceId);
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
}

TEST(SimPic, Pic18RecordsGetTheirOwnModel) {
    SimProgrammer sim;
    sim.insertBlankChipFor(picImage(0x7FFF, 27, 18).build());
    EXPECT_TRUE(sim.chip());
    EXPECT_FALSE(std::dynamic_pointer_cast<PicChip>(sim.chip()));
    sim.insertBlankChipFor(f84());
    EXPECT_TRUE(std::dynamic_pointer_cast<PicChip>(sim.chip()));
}

TEST(SimPic, EveryPicRecordOfTheSampleFileGetsAMatchingPart) {
    DeviceDataFile file;
    ASSERT_TRUE(file.open((tesmar::test::runDir() + "/zrvusb_m.usb").toStdString()));
    SimProgrammer sim;
    sim.open("Tesmar", 0);
    int parts = 0, withData = 0, withCalibration = 0, otp = 0;
    for (int m = 0; m < file.manufacturerCount(); ++m) {
        for (std::size_t d = 0; d < file.deviceNames(m).size(); ++d) {
            auto rec = file.record(m, int(d));
            ASSERT_TRUE(rec);
            if (rec->FamilyLetter != 'C' || rec->isPic18()) continue;
            SCOPED_TRACE(rec->Name);
            sim.insertBlankChipFor(*rec);
            auto chip = std::dynamic_pointer_cast<PicChip>(sim.chip());
            ASSERT_TRUE(chip);
            // The whole stream from the code: every area the part has, nothing more.
            std::size_t data = (rec->StepMask & 2) ? (std::size_t(rec->DataEepromSize) + 1) * 2 : 0;
            std::size_t expected = std::size_t(rec->LastAddress) + 1 + data + 8 + (rec->Algorithm == 11 ? 2 : 0) +
                                   ((rec->StepMask & 8) ? 2 : 0) + rec->ConfigMaskCount;
            send(sim, readFrame('p'));
            EXPECT_EQ(drain(sim).size(), expected);
            EXPECT_TRUE(chip->allErased());
            ++parts;
            withData += data > 0;
            withCalibration += chip->params().calibrationAtTop || chip->params().calibrationWord;
            otp += !chip->params().flash;
        }
    }
    EXPECT_TRUE(sim.protocolErrors().empty());
    EXPECT_GT(parts, 20);
    EXPECT_GT(withData, 5);
    EXPECT_GT(withCalibration, 3);
    EXPECT_GT(otp, 3);
}

// A tiny algorithm-11 part with every area, so the stream can be written out byte by byte.
TEST(SimPic, ReadStreamRunsFromTheRequestedAreaToTheEndInTheFixedOrder) {
    DeviceRecord rec = picImage(0x3, 5, 11).blankByte(0x0F).dataEepromSize(1).stepMask(0x1F).build();
    PicSim s(rec);
    ASSERT_TRUE(s.chip);
    const Bytes code{0x01, 0x02}, data{0xA1, 0xA2}, ids{0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17},
        config{0x0F, 0xEE};
    s.chip->load(0, code);
    s.chip->setCalibration({0x0C, 0x55});
    s.chip->setIdBackup({0x0C, 0x66});
    s.chip->loadData(0, data);
    s.chip->loadIds(0, ids);
    s.chip->loadConfig(0, config);

    const Bytes codeArea{0x01, 0x02, 0x0C, 0x55};  // the calibration word is the last code word
    const Bytes dataArea{0x0F, 0xA1, 0x0F, 0xA2};
    const Bytes idArea = ids + Bytes{0x0C, 0x66};  // the backup word follows the IDs
    const Bytes calibration{0x0C, 0x55};
    struct Case {
        char letter;
        Bytes stream;
    };
    const Case cases[] = {
        {'p', codeArea + dataArea + idArea + calibration + config},
        {'d', dataArea + idArea + calibration + config},
        {'i', idArea + calibration + config},
        {'k', calibration + config},
        // The calibration word comes in every stream, even one that starts after it.
        {'c', calibration + config},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.letter);
        s.sim.clearLog();
        send(s.sim, readFrame(c.letter));
        EXPECT_EQ(drain(s.sim), c.stream);
        EXPECT_TRUE(s.sim.protocolErrors().empty());
        EXPECT_EQ(s.chip->commands().back(), std::string("ER ") + c.letter);
    }
}

TEST(SimPic, StreamHasOnlyTheAreasThePartHas) {
    // No data EEPROM, no calibration word: code, IDs, configuration.
    PicSim s(picImage(0x7, 6).build());
    s.chip->load(0, Bytes{1, 2, 3, 4, 5, 6, 7, 8});
    send(s.sim, readFrame('p'));
    EXPECT_EQ(drain(s.sim), Bytes({1, 2, 3, 4, 5, 6, 7, 8}) + blankWords(8, 0x3F) + blankWords(2, 0x3F));
    // Frames for areas it lacks are nobody's: the programmer stays quiet and the host is at fault.
    for (char letter : {'d', 'k', 'x'}) {
        SCOPED_TRACE(letter);
        s.sim.clearLog();
        send(s.sim, readFrame(letter));
        EXPECT_EQ(drain(s.sim), Bytes{});
        EXPECT_EQ(s.sim.protocolErrors().size(), 1u);
    }
}

TEST(SimPic, PageCode40NamesItsDataAreaWithByteZero) {
    DeviceRecord rec = picImage(0x3, 40, 5).blankByte(0x0F).dataEepromSize(1).stepMask(0x17).build();
    PicSim s(rec);
    s.chip->loadData(0, Bytes{0x5A, 0xA5});
    send(s.sim, Bytes{'E', 'R', 0, 0});
    EXPECT_EQ(drain(s.sim), Bytes({0x0F, 0x5A, 0x0F, 0xA5}) + blankWords(8 + 2, 0x0F));
    EXPECT_EQ(s.chip->commands().back(), "ER 0x00");
    EXPECT_EQ(program(s.sim, 0, Bytes{0x0F, 0x11, 0x0F, 0x22}), acks(2));
    EXPECT_EQ(s.chip->dataEeprom(), Bytes({0x11, 0x22}));
    // 'd' is not its letter.
    send(s.sim, readFrame('d'));
    EXPECT_EQ(drain(s.sim), Bytes{});
    EXPECT_EQ(s.sim.protocolErrors().size(), 1u);
}

TEST(SimPic, VoltageFramesAreTakenSilentlyAndRecorded) {
    PicSim s(f84());
    EXPECT_FALSE(s.chip->lastVdd());
    send(s.sim, Bytes{'C', 125, 'S', 'E'});
    send(s.sim, Bytes{'P', 130, 'S', 'E'});
    send(s.sim, Bytes{'C', 137, 'S', 'E'});
    EXPECT_EQ(drain(s.sim), Bytes{});
    EXPECT_EQ(s.chip->lastVdd(), 137);
    EXPECT_EQ(s.chip->lastVpp(), 130);
    EXPECT_EQ(s.chip->commands(), (std::vector<std::string>{"Vdd 125", "Vpp 130", "Vdd 137"}));
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

TEST(SimPic, ProgramTakesEachAreaWordByWord) {
    struct Case {
        const char* name;
        DeviceRecord rec;
        char letter;
        Area area;
        std::size_t bytes;
    };
    const Case cases[] = {
        {"code", f84(), 'p', Area::Code, 0x800},
        {"ids", f84(), 'i', Area::Id, 8},
        {"data", f84(), 'd', Area::Data, 128},
        {"enhanced code", f1827(), 'p', Area::Code, 0x2000},
        {"OTP code", c54(), 'p', Area::Code, 0x400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PicSim s(c.rec);
        Bytes data = pattern(c.bytes, std::uint32_t(c.bytes));
        // OTP cells only clear bits: a blank part takes any word below its blank pattern.
        if (c.area != Area::Data)
            for (std::size_t i = 0; i < data.size(); i += 2) data[i] &= c.rec.BlankByte;
        EXPECT_EQ(program(s.sim, c.letter, data), acks(c.bytes / 2));
        EXPECT_EQ(s.chip->lastProgramData(c.area), data);
        Bytes held;
        switch (c.area) {
        case Area::Code: held = s.chip->code(); break;
        case Area::Id: held = s.chip->ids(); break;
        default:
            // The data area keeps the low byte of each word.
            for (std::uint8_t b : s.chip->dataEeprom()) held = held + Bytes{data[held.size()], b};
            break;
        }
        EXPECT_EQ(held, data);
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
}

TEST(SimPic, DataWordsReadBackWithTheBlankByteInTheirHighHalf) {
    PicSim s(f84());
    Bytes sent;
    for (int i = 0; i < 64; ++i) sent = sent + Bytes{0x00, std::uint8_t(i * 3)};
    EXPECT_EQ(program(s.sim, 'd', sent), acks(64));
    send(s.sim, readFrame('d'));
    Bytes stream = drain(s.sim);
    ASSERT_GE(stream.size(), 128u);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(stream[2 * i], 0x3F);
        EXPECT_EQ(stream[2 * i + 1], std::uint8_t(i * 3));
    }
}

TEST(SimPic, FlashWordsTakeTheValueWrittenOtpWordsOnlyClearBits) {
    struct Case {
        const char* name;
        DeviceRecord rec;
        Bytes reply;
        Bytes held;
    };
    // The part holds 0x0A,0x5F at word 0; the host writes 0x05,0xF0 there.
    const Case cases[] = {
        {"flash", f84(), acks(1024), {0x05, 0xF0}},
        {"OTP", c54(), Bytes{'E', 'E', 0x00, 0x50, 0x05, 0xF0}, {0x00, 0x50}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PicSim s(c.rec);
        s.chip->load(0, Bytes{0x0A, 0x5F});
        Bytes data = blankWords(s.chip->code().size(), c.rec.BlankByte);
        data[0] = 0x05;
        data[1] = 0xF0;
        EXPECT_EQ(program(s.sim, 'p', data), c.reply);
        EXPECT_EQ(Bytes(s.chip->code().begin(), s.chip->code().begin() + 2), c.held);
    }
}

TEST(SimPic, StuckBitStopsTheAreaWithTheDeviceAndBufferWords) {
    struct Case {
        const char* name;
        DeviceRecord rec;
        char letter;
        std::size_t bytes;
        std::uint32_t address;  // image offset of the stuck cell
        std::size_t word;       // the word it belongs to
        Bytes deviceWord;       // what the failure report names
    };
    // Every word sent is 0x00,0x00; one cell keeps bit 2.
    const Case cases[] = {
        {"code high byte", f84(), 'p', 0x800, 0x0100, 0x80, {0x04, 0x00}},
        {"code low byte", f84(), 'p', 0x800, 0x07FF, 0x3FF, {0x00, 0x04}},
        {"ID", f84(), 'i', 8, 0x4005, 2, {0x00, 0x04}},
        {"data", f84(), 'd', 128, 0x4200 + 2 * 10 + 1, 10, {0x3F, 0x04}},
        {"enhanced ID", f1827(), 'i', 8, 0x10002, 1, {0x04, 0x00}},
        {"enhanced data", f1827(), 'd', 512, 0x10200 + 2 * 200 + 1, 200, {0x3F, 0x04}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PicSim s(c.rec);
        s.sim.faults().stickBit(c.address, 2);
        Bytes reply = program(s.sim, c.letter, Bytes(c.bytes, 0x00));
        EXPECT_EQ(reply, acks(c.word) + Bytes({'E', 'E'}) + c.deviceWord + Bytes({0x00, 0x00}));
        // Nothing after the failing word was programmed, yet all its data was taken.
        EXPECT_EQ(s.chip->lastProgramData(c.letter == 'p' ? Area::Code : c.letter == 'i' ? Area::Id : Area::Data)
                      .size(),
                  c.bytes);
        send(s.sim, kDeviceId);
        EXPECT_EQ(drain(s.sim).size(), 2u);
        EXPECT_TRUE(s.sim.protocolErrors().empty());
        if (c.letter == 'p' && 2 * c.word + 2 < s.chip->code().size()) {
            EXPECT_EQ(s.chip->at(2 * c.word + 2), 0x3F);
            EXPECT_EQ(s.chip->at(2 * c.word - 2), 0x00);
        }
    }
}

TEST(SimPic, CalibrationWordAtTheTopIsNeverProgrammedAndItsFillerGetsNoAcknowledgement) {
    for (const DeviceRecord& rec : {f629(), f200(), c508()}) {
        SCOPED_TRACE(int(rec.PageCode));
        PicSim s(rec);
        auto factory = s.chip->calibration();
        std::size_t n = s.chip->code().size();
        // The host's code area is one word short; it sends the first two bytes again as filler.
        Bytes data(n - 2, 0x00);
        data = data + Bytes{data[0], data[1]};
        Bytes reply = program(s.sim, 'p', data);
        EXPECT_EQ(reply, acks(n / 2 - 1));
        EXPECT_EQ(s.chip->calibration(), factory);
        EXPECT_EQ(s.chip->at(n - 3), 0x00);
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
}

TEST(SimPic, Algorithm5TakesItsLastCodeWordLikeAnyOther) {
    PicSim s(c54());
    Bytes data(s.chip->code().size(), 0x00);
    data[data.size() - 2] = 0x0C;
    data[data.size() - 1] = 0x42;
    EXPECT_EQ(program(s.sim, 'p', data), acks(data.size() / 2));
    EXPECT_EQ(s.chip->code(), data);
}

TEST(SimPic, ConfigurationBytesAreAcknowledgedTogether) {
    PicSim s(f1827());
    Bytes reply = program(s.sim, 'c', Bytes{0x2F, 0xA4, 0x1E, 0xF3});
    EXPECT_EQ(reply, Bytes(4, kPicConfigAck));
    // Bit 3 of word 2 is not implemented (mask 0xF7) and reads 1 on this enhanced part.
    EXPECT_EQ(s.chip->config(), Bytes({0x2F, 0xA4, 0x1E, 0xFB}));
    EXPECT_EQ(s.chip->lastProgramData(Area::Config), Bytes({0x2F, 0xA4, 0x1E, 0xF3}));
    send(s.sim, readFrame('c'));
    EXPECT_EQ(drain(s.sim), Bytes({0x2F, 0xA4, 0x1E, 0xFB}));

    s.sim.faults().stickBit(0x10011, 0);
    EXPECT_EQ(program(s.sim, 'c', Bytes{0x00, 0x00, 0x00, 0x00}),
              Bytes({kPicConfigAck, kPicConfigAck, kPicConfigAck, kPicConfigFailure}));
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

TEST(SimPic, BandgapBitsSurviveProgrammingAndErase) {
    PicSim s(f629());
    const std::uint8_t bandgap = s.chip->config()[0] & kPicBandgapBits;
    ASSERT_NE(bandgap, kPicBandgapBits);  // a factory value, not the erased one
    // The host sends the first byte with both bandgap bits set.
    EXPECT_EQ(program(s.sim, 'c', Bytes{std::uint8_t(0x01 | 0x30), 0x84}), Bytes(2, kPicConfigAck));
    EXPECT_EQ(s.chip->config(), Bytes({std::uint8_t(0x01 | bandgap), 0x84}));
    send(s.sim, kBulkErase);
    // Mask 0x31: bits 3-1 are not implemented and read 0.
    EXPECT_EQ(s.chip->config(), Bytes({std::uint8_t(0x01 | bandgap), 0xFF}));
    EXPECT_TRUE(s.chip->allErased());
}

TEST(SimPic, BulkEraseClearsEveryAreaButKeepsTheFactoryWords) {
    struct Case {
        const char* name;
        DeviceRecord rec;
    };
    const Case cases[] = {{"16F84A", f84()}, {"12F629", f629()}, {"10F200", f200()}, {"12F683", f683()},
                          {"16F1827", f1827()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PicSim s(c.rec);
        s.chip->setCalibration({0x34, 0x5C});
        s.chip->setIdBackup({0x0C, 0x5C});
        s.chip->load(0, pattern(s.chip->code().size() - 2, 7));
        s.chip->loadData(0, pattern(s.chip->dataEeprom().size(), 8));
        s.chip->loadIds(0, Bytes(8, 0x00));
        s.chip->loadConfig(0, Bytes(s.chip->config().size(), 0x00));
        ASSERT_FALSE(s.chip->allErased());
        send(s.sim, kBulkErase);
        EXPECT_EQ(drain(s.sim), Bytes{});
        EXPECT_TRUE(s.chip->allErased());
        using Word = std::array<std::uint8_t, 2>;
        EXPECT_EQ(s.chip->calibration(), (Word{0x34, 0x5C}));
        if (s.chip->params().idBackupWord) {
            EXPECT_EQ(s.chip->idBackup(), (Word{0x0C, 0x5C}));
        }
        EXPECT_EQ(s.chip->eraseCommands(), 1u);
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
}

TEST(SimPic, DataEraseBelongsToPageCode32Parts) {
    PicSim s(f629());
    s.chip->loadData(0, Bytes(128, 0x11));
    s.chip->load(0, Bytes{0x00, 0x00});
    send(s.sim, kDataErase);
    EXPECT_EQ(drain(s.sim), Bytes{});
    EXPECT_EQ(s.chip->dataEeprom(), Bytes(128, 0xFF));
    EXPECT_EQ(s.chip->at(0), 0x00);  // the code stays
    EXPECT_EQ(s.chip->dataEraseCommands(), 1u);
    EXPECT_TRUE(s.sim.protocolErrors().empty());  // the PIC takes the frame, not the IC tester

    PicSim other(f84());
    send(other.sim, kDataErase);
    EXPECT_EQ(drain(other.sim), Bytes{});
    EXPECT_EQ(other.sim.protocolErrors().size(), 1u);
}

TEST(SimPic, CalibrationWordHasNoProgramFrame) {
    PicSim s(f683());
    send(s.sim, programFrame('k'));
    EXPECT_EQ(drain(s.sim), Bytes{});
    ASSERT_EQ(s.sim.protocolErrors().size(), 1u);
    // It is read like the other areas, right before the configuration.
    s.chip->setCalibration({0x12, 0x34});
    send(s.sim, readFrame('k'));
    EXPECT_EQ(drain(s.sim), Bytes({0x12, 0x34, 0x0F, 0xFF}));  // configuration masks 0x0F, 0xFF
}

TEST(SimPic, FaultsReachTheHost) {
    {
        SCOPED_TRACE("wrong device ID");
        PicSim s(f84());
        s.sim.faults().signature = Bytes{0x3F, 0xFF};
        send(s.sim, kDeviceId);
        EXPECT_EQ(drain(s.sim), Bytes({0x3F, 0xFF}));
    }
    for (const std::string word : {"", "Busy", "Se"}) {
        SCOPED_TRACE("no Send: '" + word + "'");
        PicSim s(f84());
        s.sim.faults().programSend = word;
        send(s.sim, programFrame('i'));
        EXPECT_EQ(drain(s.sim), bytes(word));
        // Without "Send" the firmware expects no data: the next frame is a frame.
        send(s.sim, kDeviceId);
        EXPECT_EQ(drain(s.sim), Bytes({0x05, 0x65}));
        EXPECT_EQ(s.chip->ids(), blankWords(8, 0x3F));
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
    {
        SCOPED_TRACE("short replies");
        PicSim s(f84());
        s.sim.faults().shortReplies = 3;
        send(s.sim, programFrame('c'));
        EXPECT_EQ(drain(s.sim), bytes("Sen"));
    }
    {
        SCOPED_TRACE("stalled stream");
        PicSim s(f84());
        s.sim.faults().streamStallsAfter = 100;
        send(s.sim, readFrame('p'));
        EXPECT_EQ(drain(s.sim).size(), 100u);
        send(s.sim, bytes("ErrV"));
        send(s.sim, kDeviceId);
        EXPECT_EQ(drain(s.sim).size(), 2u);
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
    {
        SCOPED_TRACE("stalled acknowledgements");
        PicSim s(f84());
        s.sim.faults().acksStallAfter = 5;
        EXPECT_EQ(program(s.sim, 'i', Bytes(8, 0x00)), Bytes({'O', 'K', 'O', 'K', 'O'}));
        EXPECT_EQ(s.chip->ids(), Bytes(8, 0x00));  // still programmed
    }
    {
        SCOPED_TRACE("failing erase");
        PicSim s(f84());
        s.chip->load(0, Bytes{0x00, 0x00});
        s.sim.faults().eraseFails = true;
        send(s.sim, kBulkErase);
        EXPECT_EQ(s.chip->at(0), 0x00);
        EXPECT_EQ(s.chip->eraseCommands(), 1u);
    }
}

TEST(SimPic, VerifyAbortEndsTheStream) {
    PicSim s(f84());
    send(s.sim, readFrame('p'));
    EXPECT_EQ(readN(s.sim, 4), Bytes({0x3F, 0xFF, 0x3F, 0xFF}));
    send(s.sim, bytes("ErrV"));
    send(s.sim, kDeviceId);
    EXPECT_EQ(drain(s.sim), Bytes({0x05, 0x65}));
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

TEST(SimPic, FillerInItsOwnWriteIsStillData) {
    PicSim s(f629());
    std::size_t n = s.chip->code().size();
    send(s.sim, programFrame('p'));
    EXPECT_EQ(readN(s.sim, 4), bytes("Send"));
    send(s.sim, Bytes(n - 2, 0x00));
    send(s.sim, Bytes{0x00, 0x00});
    EXPECT_EQ(drain(s.sim), acks(n / 2 - 1));
    send(s.sim, kDeviceId);
    EXPECT_EQ(drain(s.sim), Bytes({0x0F, 0x85}));
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

namespace {

std::vector<DeviceRecord> sampleParts() {
    return tesmar::test::sampleRecords("zrvusb_m.usb",
                                       [](const DeviceRecord& r) { return r.FamilyLetter == 'C' && !r.isPic18(); });
}

Bytes configOf(const DeviceRecord& r, std::uint8_t fill) { return Bytes(r.ConfigMaskCount, fill); }

// What the configuration pages write into word 1 for "All memory protected"
// and for "Protection off" (data protection off too), each byte as (byte AND
// keep) OR set; then the bits whose 0 protects the data memory.
struct Edit {
    std::uint8_t keepH, setH, keepL, setL;
};
struct PageProtection {
    Edit all, off;
    std::uint8_t dataH = 0, dataL = 0;
};

const std::map<int, PageProtection> kPageProtection{
    {0, {{0xFF, 0, 0xF7, 0}, {0xFF, 0, 0xFF, 0x08}}},        {1, {{0xFF, 0, 0xEF, 0}, {0xFF, 0, 0xFF, 0x10}}},
    {2, {{0xFF, 0, 0xCF, 0}, {0xFF, 0, 0xFF, 0x30}}},        {3, {{0, 0, 0xCF, 0}, {0, 0x3F, 0xFF, 0xB0}}},
    {4, {{0x1F, 0, 0xFF, 0}, {0xFF, 0x20, 0xFF, 0}}},        {5, {{0xFF, 0, 0xF7, 0}, {0xFF, 0, 0xFF, 0x08}}},
    {6, {{0, 0, 0x9F, 0}, {0, 0x3F, 0xFF, 0x60}}},           {7, {{0, 0x3F, 0xCF, 0x42}, {0, 0x3F, 0xCF, 0x72}}},
    {8, {{0, 0, 0x4F, 0}, {0, 0x3F, 0x4F, 0xB0}}},           {9, {{0, 0, 0x0F, 0}, {0, 0x3F, 0xFF, 0xF0}}},
    {10, {{0xFF, 0, 0xBF, 0}, {0xFF, 0, 0xFF, 0xC0}, 0, 0x80}}, {12, {{0, 0, 0x0F, 0}, {0, 0x3F, 0xFF, 0x30}}},
    {15, {{0, 0, 0x17, 0}, {0, 0x0F, 0xFF, 0xE8}}},          {16, {{0xFF, 0, 0xBF, 0}, {0xFF, 0, 0xFF, 0xC0}, 0, 0x80}},
    {17, {{0, 0, 0xCF, 0}, {0, 0x3F, 0xFF, 0x30}}},    {19, {{0, 0, 0x07, 0}, {0, 0x0F, 0xFF, 0xF8}}},
    {20, {{0, 0, 0x2F, 0}, {0, 0x0F, 0xFF, 0xD0}}},          {21, {{0xCF, 0, 0xCF, 0}, {0xFF, 0x31, 0xFF, 0x30}, 0x01}},
    {22, {{0x0C, 0, 0xCF, 0}, {0x0C, 0x33, 0xFF, 0x30}}},    {23, {{0x01, 0, 0xFF, 0}, {0, 0x3D, 0xFF, 0}, 0x01}},
    {24, {{0xFF, 0, 0x4F, 0}, {0xFF, 0, 0x4F, 0x10}}},       {29, {{0, 0, 0x0F, 0}, {0, 0x3F, 0x0F, 0x30}}},
    {30, {{0x0F, 0, 0xFF, 0}, {0x0F, 0x21, 0xFF, 0}, 0x01}}, {31, {{0x01, 0, 0xFF, 0}, {0, 0x21, 0xFF, 0}, 0x01}},
    {32, {{0xFF, 0, 0x7F, 0}, {0xFF, 0x01, 0xFF, 0x80}, 0x01}}, {33, {{0x1F, 0, 0xFF, 0}, {0xFF, 0x21, 0xFF, 0}, 0x01}},
    {40, {{0xFF, 0, 0xF7, 0}, {0xFF, 0, 0xFF, 0x08}}},
    {46, {{0xFF, 0, 0x7F, 0}, {0xFF, 0x01, 0xFF, 0x80}, 0x01}}, {47, {{0xFF, 0, 0x7F, 0}, {0xFF, 0x01, 0xFF, 0x80}, 0x01}},
    {48, {{0xFF, 0, 0x7F, 0}, {0xFF, 0x01, 0xFF, 0x80}, 0x01}}, {49, {{0xFF, 0, 0x7F, 0}, {0xFF, 0x01, 0xFF, 0x80}, 0x01}},
    {50, {{0xFF, 0, 0x7F, 0}, {0xFF, 0x01, 0xFF, 0x80}, 0x01}},
};

// Word 1 as a page leaves it from start, then as the host sends it: ANDed with the masks.
Bytes ruled(const DeviceRecord& r, const Edit& e, Bytes start) {
    start[0] = std::uint8_t((start[0] & e.keepH) | e.setH);
    start[1] = std::uint8_t((start[1] & e.keepL) | e.setL);
    for (std::size_t i = 0; i < start.size(); ++i) start[i] &= r.ConfigMasks[i];
    return start;
}

Bytes streamOf(SimProgrammer& sim, char letter) {
    send(sim, readFrame(letter));
    return drain(sim);
}

// The configuration bytes at the end of the stream (a calibration word may come before them).
Bytes configStream(SimProgrammer& sim, const DeviceRecord& r) {
    const Bytes all = streamOf(sim, 'c');
    return Bytes(all.end() - std::min<std::ptrdiff_t>(r.ConfigMaskCount, std::ptrdiff_t(all.size())), all.end());
}

}  // namespace

// Each sample part reads its missing configuration bits fixed (0 on classic
// parts, 1 within the word on enhanced ones) and notes the ones sent set.
TEST(SimPic, UnimplementedConfigurationBitsReadFixedAndAreNoted) {
    const auto parts = sampleParts();
    ASSERT_GT(parts.size(), 40u);
    for (const DeviceRecord& r : parts) {
        SCOPED_TRACE(r.Name);
        PicSim s(r);
        const bool enhanced = r.PageCode >= 46;
        std::vector<std::string> notes;
        Bytes ones, zeros;
        for (std::size_t i = 0; i < r.ConfigMaskCount; ++i) {
            const std::uint8_t word = i % 2 ? 0xFF : r.BlankByte, mask = r.ConfigMasks[i];
            ones.push_back(enhanced ? word : word & mask);
            zeros.push_back(enhanced ? word & ~mask : 0x00);
            if (~mask & 0xFF)
                notes.push_back("configuration byte " + std::to_string(i) + ": " +
                                QString::asprintf("0x%02X", ~mask & 0xFF).toStdString() +
                                " written to unimplemented bits");
        }
        if (r.PageCode == 32) {
            const std::uint8_t bandgap = s.chip->config()[0] & kPicBandgapBits;
            ones[0] = (ones[0] & ~kPicBandgapBits) | bandgap;
            zeros[0] = bandgap;
        }
        EXPECT_EQ(configStream(s.sim, r), ones) << "erased";
        EXPECT_EQ(program(s.sim, 'c', configOf(r, 0xFF)), Bytes(r.ConfigMaskCount, kPicConfigAck));
        EXPECT_EQ(s.chip->configNotes(), notes);
        EXPECT_EQ(program(s.sim, 'c', configOf(r, 0x00)), Bytes(r.ConfigMaskCount, kPicConfigAck));
        EXPECT_EQ(configStream(s.sim, r), zeros);
        EXPECT_EQ(s.chip->configNotes(), notes) << "zeros are no note";
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
}

// The pages' "All memory protected" hides the code (and nothing else), their
// "Protection off" does not; only a bulk erase lifts protection, and an OTP
// part keeps it. The pages' data protection hides the data EEPROM alone.
TEST(SimPic, ProtectionAsThePagesSetItHidesMemoryUntilABulkErase) {
    int protectedParts = 0, otpParts = 0, dataParts = 0;
    for (const DeviceRecord& r : sampleParts()) {
        auto page = kPageProtection.find(r.PageCode);
        if (page == kPageProtection.end()) continue;
        SCOPED_TRACE(r.Name);
        PicSim s(r);
        const bool otp = !s.chip->params().flash;
        Bytes code = s.chip->code();
        for (std::size_t i = 0; i + 2 < code.size(); i += 2) code[i] = 0x01, code[i + 1] = std::uint8_t(i);
        s.chip->load(0, code);
        const Bytes allAcks(r.ConfigMaskCount, kPicConfigAck);
        const Bytes masks(r.ConfigMasks.begin(), r.ConfigMasks.begin() + r.ConfigMaskCount);

        auto head = [&s](char letter, std::size_t n) {
            const Bytes all = streamOf(s.sim, letter);
            return Bytes(all.begin(), all.begin() + std::ptrdiff_t(std::min(n, all.size())));
        };
        // Every other bit at 0 protects nothing.
        const Bytes open = ruled(r, page->second.off, configOf(r, 0x00));
        EXPECT_EQ(program(s.sim, 'c', open), allAcks);
        EXPECT_EQ(head('p', code.size()), code);
        EXPECT_FALSE(s.chip->codeProtected());
        if (r.PageCode == 7) {
            // The 14C000's calibration-space copies (word bits 13, 8, 7) leave the program space readable.
            PicSim c(r);
            c.chip->load(0, code);
            Bytes cal = open;
            cal[0] &= 0xDE, cal[1] &= 0x7F;
            program(c.sim, 'c', cal);
            const Bytes read = streamOf(c.sim, 'p');
            EXPECT_EQ(Bytes(read.begin(), read.begin() + std::ptrdiff_t(std::min(code.size(), read.size()))), code);
            EXPECT_FALSE(c.chip->codeProtected());
        }

        // An OTP part cannot set again what the first program cleared.
        const Bytes shut = program(s.sim, 'c', ruled(r, page->second.all, otp ? open : masks));
        if (!otp) {
            EXPECT_EQ(shut, allAcks);
        }
        EXPECT_EQ(head('p', code.size()), Bytes(code.size(), 0x00));
        EXPECT_EQ(head('i', 8), s.chip->ids());
        // Taking it back fails: the protection bits read back programmed.
        const Bytes relax = program(s.sim, 'c', ruled(r, page->second.off, masks));
        EXPECT_NE(relax, allAcks);
        EXPECT_TRUE(s.chip->codeProtected());

        send(s.sim, kBulkErase);
        EXPECT_EQ(s.chip->codeProtected(), otp);
        EXPECT_EQ(s.sim.protocolErrors().size(), otp ? 1u : 0u) << "an OTP part has no electrical erase";
        ++protectedParts;
        otpParts += otp;

        if (!(page->second.dataH | page->second.dataL) || s.chip->dataEeprom().empty()) continue;
        PicSim d(r);
        d.chip->loadData(0, Bytes(d.chip->dataEeprom().size(), 0x5A));
        Bytes cfg = masks;
        cfg[0] &= ~page->second.dataH, cfg[1] &= ~page->second.dataL;
        EXPECT_EQ(program(d.sim, 'c', cfg), allAcks);
        const Bytes data = streamOf(d.sim, r.PageCode == 40 ? 0 : 'd');
        EXPECT_EQ(Bytes(data.begin(), data.begin() + 4), Bytes({r.BlankByte, 0x00, r.BlankByte, 0x00}));
        EXPECT_FALSE(d.chip->codeProtected());
        ++dataParts;
    }
    EXPECT_GT(protectedParts, 40);
    EXPECT_GE(otpParts, 10);
    EXPECT_GE(dataParts, 15);
}

TEST(SimPic, IdWordsReadInDeviceOrder) {
    for (const DeviceRecord& rec : {f84(), f1827(), c54()}) {
        SCOPED_TRACE(int(rec.PageCode));
        PicSim s(rec);
        EXPECT_EQ(program(s.sim, 'i', Bytes{0x00, 0x01, 0x00, 0x02, 0x03, 0x04, 0x00, 0x08}), acks(4));
        EXPECT_EQ((std::vector<std::uint16_t>{s.chip->idWord(0), s.chip->idWord(1), s.chip->idWord(2),
                                              s.chip->idWord(3)}),
                  (std::vector<std::uint16_t>{0x0001, 0x0002, 0x0304, 0x0008}));
    }
}

TEST(SimPic, ConfigurationFaults) {
    struct Case {
        const char* name;
        std::function<void(FaultPlan&)> fault;
        Bytes sent;        // configuration data sent after "Send", if it came
        Bytes reply;       // everything the programmer says to the frame and the data
        Bytes config;      // what the part then holds
        bool protectedAfterErase;
    };
    // 16F84A-like: masks 0x00, 0x1F; bit 4 of the low byte protects.
    const Case cases[] = {
        {"no Send", [](FaultPlan& f) { f.picConfigSend = ""; }, {}, {}, {0x00, 0x1F}, false},
        {"other word", [](FaultPlan& f) { f.picConfigSend = "Busy"; }, {}, bytes("Busy"), {0x00, 0x1F}, false},
        {"no acks", [](FaultPlan& f) { f.picConfigAcks = 0; }, {0x00, 0x1B}, bytes("Send"), {0x00, 0x1B}, false},
        {"short acks", [](FaultPlan& f) { f.picConfigAcks = 1; }, {0x00, 0x1B}, bytes("Send") + Bytes{'D'},
         {0x00, 0x1B}, false},
        {"stuck at 0", [](FaultPlan& f) { f.picConfigStuckZeros[1] = 0x10; }, {0x00, 0x1F},
         bytes("Send") + Bytes{'D', 'F'}, {0x00, 0x0F}, true},
        {"stuck at 1", [](FaultPlan& f) { f.stickBit(0x400F, 4); }, {0x00, 0x0B}, bytes("Send") + Bytes{'D', 'F'},
         {0x00, 0x1B}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PicSim s(f84());
        c.fault(s.sim.faults());
        send(s.sim, programFrame('c'));
        Bytes reply = drain(s.sim);
        if (!c.sent.empty()) send(s.sim, c.sent);
        EXPECT_EQ(reply + drain(s.sim), c.reply);
        EXPECT_EQ(s.chip->config(), c.config);
        // The other program frames still answer "Send"; the next frame is read as a frame.
        send(s.sim, programFrame('i'));
        EXPECT_EQ(readN(s.sim, 4), bytes("Send"));
        send(s.sim, Bytes(8, 0x00));
        EXPECT_EQ(drain(s.sim), acks(4));
        send(s.sim, kBulkErase);
        EXPECT_EQ(s.chip->codeProtected(), c.protectedAfterErase);
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
}

TEST(SimPic, StalledConfigurationStreamStopsAfterItsFirstBytesUntilErrV) {
    PicSim s(f1827());
    s.sim.faults().picConfigStreamStallsAfter = 1;
    send(s.sim, readFrame('i'));
    EXPECT_EQ(drain(s.sim), blankWords(8, 0x3F) + Bytes{0x3F});
    EXPECT_EQ(drain(s.sim), Bytes{});
    send(s.sim, bytes("ErrV"));
    send(s.sim, kDeviceId);
    EXPECT_EQ(drain(s.sim), Bytes({0x27, 0xA5}));
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}
