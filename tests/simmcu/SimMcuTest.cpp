// The microcontroller chip model and its family frames, driven straight
// through the driver interface with the bytes the host's routines send.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "sim/McuChip.h"
#include "sim/SimTestUtil.h"
#include "support/TestSupport.h"

using namespace tesmar;
using namespace tesmar::sim;
using namespace tesmar::sim::test;
using Target = McuChip::Target;

namespace {

std::vector<DeviceRecord> sampleMcus() {
    return tesmar::test::sampleRecords("zrvusb_m.usb", [](const DeviceRecord& r) { return r.FamilyLetter == 'M'; });
}

DeviceRecord named(const std::string& name) {
    for (const auto& r : sampleMcus())
        if (r.Name == name) return r;
    ADD_FAILURE() << "no sample part " << name;
    return {};
}

// The host's frame bytes: S2, the chip-code select rule, the program frame's fourth byte.
std::uint8_t s2(const DeviceRecord& r) { return r.DeviceId == 0x55 ? 0x55 : r.DeviceId2; }
bool sendsChipCode(const DeviceRecord& r) {
    return r.PageCode > 199 && r.Algorithm != 26 && r.Algorithm != 34 && r.Algorithm != 35;
}
Bytes programCode(const DeviceRecord& r) {
    return {'E', 'P', 'p', r.Algorithm == 32 ? r.ProgramParam : r.Algorithm == 35 ? std::uint8_t(0xFF) : s2(r)};
}
const Bytes kReadCode{'E', 'R', 'p', 0}, kChipId{'E', 'I', 0, 0}, kFuseRead{'E', 'R', 'L', 0};

struct McuSim : OpenSim {
    DeviceRecord rec;
    std::shared_ptr<McuChip> chip;
    explicit McuSim(const std::string& name, bool selectChipCode = true) : rec(named(name)) {
        sim.insertBlankChipFor(rec);
        chip = std::dynamic_pointer_cast<McuChip>(sim.chip());
        if (selectChipCode && sendsChipCode(rec)) send(sim, {'E', 'C', 0, rec.PageCode});
    }
    Bytes operator()(const Bytes& b) {
        send(sim, b);
        return drain(sim);
    }
};

Bytes acks(std::size_t n, std::size_t failAt = SIZE_MAX) {
    Bytes b(n, 'D');
    if (failAt < n) b[failAt] = 'F';
    return b;
}

}  // namespace

TEST(SimMcu, EverySampleRecordGetsABlankPartAnsweringItsFrames) {
    // "ERL" reply lengths by chip code; every other code answers one byte.
    const std::map<int, std::size_t> fuseReadLength{{203, 7}, {204, 7}, {205, 4}, {207, 8}, {209, 4}, {211, 4}};
    const auto records = sampleMcus();
    ASSERT_GT(records.size(), 30u);
    for (const DeviceRecord& r : records) {
        SCOPED_TRACE(r.Name);
        McuSim s(r.Name);
        ASSERT_TRUE(s.chip);
        EXPECT_EQ(s(kChipId), Bytes({r.MakerId, r.DeviceId, r.DeviceId2 ? r.DeviceId2 : std::uint8_t(0xFF)}));
        // Algorithm 35 streams the user row and then the fuse byte behind the code.
        const std::size_t stream = r.LastAddress + 1 + (r.Algorithm == 35 ? 33 : 0);
        EXPECT_EQ(s(kReadCode).size(), stream);
        auto it = fuseReadLength.find(r.PageCode);
        EXPECT_EQ(s(kFuseRead).size(), it == fuseReadLength.end() ? 1u : it->second);
        EXPECT_EQ(s.chip->dataArea(), Bytes(r.DataEepromSize, 0xFF));
        EXPECT_TRUE(s.sim.protocolErrors().empty()) << s.sim.protocolErrors().front();
    }
}

TEST(SimMcu, AvrProgramsCodeEepromFusesAndLockFrameByFrame) {
    McuSim s("ATmega88");  // chip code 205, ProgramParam 32, 512 EEPROM bytes
    const Bytes code = pattern(0x2000, 5), eeprom = pattern(512, 6);
    EXPECT_EQ(s(programCode(s.rec)), bytes("Send"));
    EXPECT_EQ(s(code), acks(0x2000));
    EXPECT_EQ(s({'E', 'P', 'e', 4, 0x02, 0x00}), bytes("Send"));
    EXPECT_EQ(s(eeprom), acks(512));
    // "EPF", then the high and extended fuse bytes raw, then "EPL": one answer byte each.
    EXPECT_EQ(s({'E', 'P', 'F', 0xE2}), Bytes{0xE2});
    EXPECT_EQ(s({0xD7}), Bytes{0xD7});
    EXPECT_EQ(s({0xFD}), Bytes{0xFD});
    EXPECT_EQ(s({'E', 'P', 'L', 0xFE}), Bytes{0xFE});
    EXPECT_EQ(s(kFuseRead), Bytes({0xE2, 0xD7, 0xFD, 0xFE}));  // low, high, extended, lock
    EXPECT_EQ(s(kReadCode), code);
    EXPECT_EQ(s({'E', 'R', 'e', 0x00, 0x02, 0x00}), eeprom);
    EXPECT_EQ(s.chip->configWrites(), (std::vector<McuChip::ConfigWrite>{
                                          {Target::FuseLow, 0xE2}, {Target::FuseHigh, 0xD7},
                                          {Target::FuseExt, 0xFD}, {Target::Lock, 0xFE}}));
    EXPECT_EQ(s.chip->selectedChipCode(), 205);
    EXPECT_TRUE(s.sim.protocolErrors().empty());
}

// An algorithm 28 or 30 part writes only fuse bits 5 and 0 from "EPF" (the
// host sends the others as 1); its other fuse bits keep what it holds.
TEST(SimMcu, FuseWriteOfAlgorithms28And30TakesOnlyBits5And0) {
    struct Case {
        const char* part;
        std::uint8_t held, sent, after;
    };
    for (const Case& c : {Case{"89S8253", 0xF5, 0xFF, 0xF5}, Case{"89S8253", 0xF5, 0xDF, 0xD5},
                          Case{"AT90S2313", 0x12, 0xDF, 0x13}}) {
        SCOPED_TRACE(std::string(c.part) + " " + std::to_string(c.sent));
        McuSim s(c.part);
        s.chip->setFuses({c.held, 0xFF, 0xFF});
        EXPECT_EQ(s({'E', 'P', 'F', c.sent}), Bytes{c.after});
        EXPECT_EQ(s.chip->fuses()[0], c.after);
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
}

TEST(SimMcu, DataAreaFramesByAlgorithm) {
    struct Case {
        const char* part;
        Bytes program, programReply, read;
        std::size_t bytes;  // data sent after the program frame
        Bytes tail;         // streamed after them by the read frame
    };
    const Case cases[] = {
        // Algorithm 28: 2048 bytes straight after the frame; algorithm 30: the size first, then "Send".
        {"89S8253", {'E', 'P', 'e', 0x02}, {}, {'E', 'R', 'e', 0}, 2048, {}},
        {"AT90S2313", {'E', 'P', 'e', 0x01, 0x00, 0x80}, bytes("Send"), {'E', 'R', 'e', 0x80, 0x00, 0x80}, 128, {}},
        // Algorithm 35: lock step 1 writes the fuse byte; the code frame takes the user row
        // along, and the read stream ends with the fuse byte.
        {"89LP4052", Bytes{'E', 'P', '1', 0xA5, 'E', 'P', 'p', 0xA5}, Bytes{0xA5} + bytes("Send"), kReadCode,
         0x1000 + 32, {0xA5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part);
        McuSim s(c.part);
        const Bytes data = pattern(c.bytes, 9);
        EXPECT_EQ(s(c.program), c.programReply);
        EXPECT_EQ(s(data), acks(data.size()));
        EXPECT_EQ(s(c.read), data + c.tail);
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
}

TEST(SimMcu, CodeOnlyClearsBitsEepromTakesValuesEraseKeepsFusesAndEesave) {
    struct Case {
        const char* part;
        std::uint8_t eesaveBit;  // in the high fuse byte; 0 = the part has none
    };
    for (const Case c : {Case{"ATtiny26", 0x04}, Case{"ATmega88", 0x08}, Case{"ATmega328", 0x08},
                         Case{"ATtiny2313", 0x40}, Case{"ATtiny12", 0x00}, Case{"AT90S2313", 0x00}}) {
        for (bool eesave : {false, true}) {
            SCOPED_TRACE(std::string(c.part) + (eesave ? " EESAVE" : ""));
            McuSim s(c.part);
            s.chip->load(0, Bytes{0x0F});
            s.chip->loadData(0, Bytes{0x0F});
            s.chip->setFuses({0x00, std::uint8_t(eesave ? ~c.eesaveBit : 0xFF), 0x00});
            s.chip->setLockByte(0xF0);  // locked: nothing would take, so unlock by erase first
            Bytes code(s.rec.LastAddress + 1, 0xF0);
            EXPECT_EQ(s({'E', 'E', '0', s2(s.rec)}), bytes("Done"));
            const bool kept = eesave && c.eesaveBit;
            EXPECT_EQ(s.chip->dataArea()[0], kept ? 0x0F : 0xFF);
            EXPECT_EQ(s.chip->lockByte(), 0xFF);
            EXPECT_EQ(s.chip->fuses()[0], 0x00);
            s.chip->load(0, Bytes{0x0F});
            s(programCode(s.rec));
            EXPECT_EQ(s(code), acks(code.size(), 0));  // 0x0F AND 0xF0 does not read back
            EXPECT_EQ(s.chip->code()[0], 0x00);
            EXPECT_EQ(s({'E', 'P', 'e', std::uint8_t(s.rec.Algorithm == 32 ? 4 : s2(s.rec)),
                         std::uint8_t(s.rec.DataEepromSize >> 8), std::uint8_t(s.rec.DataEepromSize)}),
                      bytes("Send"));
            EXPECT_EQ(s(Bytes(s.rec.DataEepromSize, 0xF0)), acks(s.rec.DataEepromSize));
            EXPECT_TRUE(s.sim.protocolErrors().empty());
        }
    }
}

TEST(SimMcu, LockBitsReadAsThePartReportsThemAndLockTheArrays) {
    struct Case {
        const char* part;
        Bytes lock;          // the frames that lock it
        bool writeBlocked, readGarbled;
        std::size_t at;      // "ERL" byte holding the lock bits
        std::uint8_t mask, bits;
    };
    const Case cases[] = {
        {"89S52", {'E', 'P', '1', 0x06}, true, false, 0, 0x1C, 0x04},  // bits 2-4, set = programmed
        {"89S52", Bytes{'E', 'P', '1', 0x06, 'E', 'P', '2', 0x06}, true, true, 0, 0x1C, 0x0C},
        {"89S53", {'E', 'P', '1', 0xFF}, true, false, 0, 0x07, 0x03},  // bits 2-0, set = unprogrammed
        {"89S8253", {'E', 'P', '2', 0x02}, false, true, 0, 0x07, 0x05},  // bits 0-2, set = unprogrammed
        {"89S2051", {'E', 'P', 'F', 0xFE}, true, false, 0, 0x03, 0x02},  // lock bit 1 in the fuse byte
        {"AT90S2313", {'E', 'P', 'L', 0xFD}, true, false, 0, 0xC0, 0x40},  // bit 7 lock bit 1, bit 6 lock bit 2
        {"ATmega88", {'E', 'P', 'L', 0xFC}, true, true, 3, 0xFF, 0xFC},
        {"87C51RC", {'E', 'S', 0, 0xFE}, true, true, 0, 0xFF, 0xFE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part + (" " + std::to_string(c.lock.size())));
        McuSim s(c.part);
        s(c.lock);
        s(programCode(s.rec));
        const Bytes zeros(s.rec.LastAddress + 1 + (s.rec.Algorithm == 35 ? 32 : 0), 0x00);
        EXPECT_EQ(s(zeros) == acks(zeros.size()), !c.writeBlocked);
        EXPECT_EQ(s.chip->code() == Bytes(zeros.size(), 0xFF), c.writeBlocked);
        EXPECT_EQ(s(kReadCode) != s.chip->code(), c.readGarbled);
        const Bytes erl = s(kFuseRead);
        ASSERT_GT(erl.size(), c.at);
        EXPECT_EQ(erl[c.at] & c.mask, c.bits);
        EXPECT_TRUE(s.sim.protocolErrors().empty());
    }
    McuSim s("ATmega88");
    s.sim.faults().lockedChip = true;
    EXPECT_NE(s(kReadCode), s.chip->code());
    EXPECT_EQ(s(kFuseRead)[3], 0xFF);  // its lock bits still read unprogrammed
}

TEST(SimMcu, FaultsShowInTheReplies) {
    struct Case {
        const char* name;
        const char* part;
        std::function<void(FaultPlan&)> fault;
        std::vector<std::pair<Bytes, Bytes>> exchanges;  // host bytes, then everything the programmer sends
    };
    const Bytes tinyCode(0x400, 0x00);
    const Case cases[] = {
        {"wrong signature", "ATmega88", [](FaultPlan& f) { f.signature = Bytes{0x1E, 0x00}; },
         {{kChipId, {0x1E, 0x00, 0xFF}}}},
        {"silent signature", "ATmega88", [](FaultPlan& f) { f.chipIdReply = Bytes{}; }, {{kChipId, {}}}},
        {"no Send", "ATtiny11", [](FaultPlan& f) { f.programSend = ""; },
         {{{'E', 'P', 'p', 0}, {}}, {kChipId, {0x1E, 0x90, 0x04}}}},
        {"acknowledgements stop", "ATtiny11", [](FaultPlan& f) { f.acksStallAfter = 8; },
         {{{'E', 'P', 'p', 0}, bytes("Send")}, {tinyCode, acks(8)}}},
        {"stuck code bit", "ATtiny11", [](FaultPlan& f) { f.stickBit(5, 0); },
         {{{'E', 'P', 'p', 0}, bytes("Send")}, {tinyCode, acks(0x400, 5)}}},
        {"stuck EEPROM bit", "ATtiny12", [](FaultPlan& f) { f.stickBit(0x400 + 3, 7); },
         {{{'E', 'P', 'e', 4, 0, 64}, bytes("Send")}, {Bytes(64, 0x00), acks(64, 3)}}},
        {"erase fails", "ATmega88", [](FaultPlan& f) { f.eraseFails = true; }, {{{'E', 'E', '0', 0x0A}, bytes("Fail")}}},
        {"erase answers late", "ATmega88", [](FaultPlan& f) { f.eraseDoneAfterPolls = 2; },
         {{{'E', 'E', '0', 0x0A}, {}}, {{}, {}}, {{}, bytes("Done")}}},
        {"stalled stream", "ATmega88", [](FaultPlan& f) { f.streamStallsAfter = 100; },
         {{kReadCode, Bytes(100, 0xFF)}, {bytes("ErrV") + kChipId, {0x1E, 0x93, 0x0A}}}},
        {"short ERL", "ATmega88", [](FaultPlan& f) { f.fuseReadBytes = 2; },
         {{{'E', 'P', 'F', 0x11}, {0x11}}, {{0x22}, {0x22}}, {{0x33}, {0x33}}, {kFuseRead, {0x11, 0x22}}}},
        {"silent ERF", "89S2051", [](FaultPlan& f) { f.fuseReadBytes = 0; }, {{{'E', 'R', 'F', 0}, {}}}},
        // The writes still take: the fuse read shows them.
        {"write answers stop", "ATmega88", [](FaultPlan& f) { f.configRepliesAfter = 1; },
         {{{'E', 'P', 'F', 0xE4}, {0xE4}}, {{0xC9}, {}}, {{0xFE}, {}}, {{'E', 'P', 'L', 0xFC}, {}},
          {kFuseRead, {0xE4, 0xC9, 0xFE, 0xFC}}}},
        {"over-current", "ATmega88", [](FaultPlan& f) { f.overCurrent = true; }, {{{'T', 'O', 0, 0}, bytes("OCER")}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        McuSim s(c.part);
        c.fault(s.sim.faults());
        for (std::size_t i = 0; i < c.exchanges.size(); ++i)
            EXPECT_EQ(s(c.exchanges[i].first), c.exchanges[i].second) << "exchange " << i;
        EXPECT_TRUE(s.sim.protocolErrors().empty()) << s.sim.protocolErrors().front();
    }
}

// The firmware is the judge of the host: traffic the frames do not allow is noted.
TEST(SimMcu, HostMistakesAreNotedAsProtocolErrors) {
    struct Case {
        const char* name;
        const char* part;
        bool selectChipCode;
        std::vector<Bytes> writes;  // each followed by reading all the programmer sends
        std::string expect;         // part of a protocol note
        std::uint32_t readFirst = 0;  // read only this much after the first write
    };
    const Bytes epf{'E', 'P', 'F', 0x62}, epl{'E', 'P', 'L', 0xFC};
    const Case cases[] = {
        {"high fuse byte missing", "ATmega88", true, {epf, epl}, "dropped 2 bytes of a frame"},
        {"extended fuse byte on a part without one", "ATmega8", true, {epf, {0xD9}, {0xFF}, epl}, "unknown frame"},
        {"raw fuse byte cut off", "ATmega88", true, {epf}, "abandoned an unfinished high fuse byte"},
        {"no chip-code select", "ATmega88", false, {kChipId}, "before the chip-code select"},
        {"wrong chip code", "ATmega88", false, {{'E', 'C', 0, 204}}, "for a part of chip code 205"},
        {"chip code to an algorithm-34 part", "89S2051", false, {{'E', 'C', 0, 212}}, "takes none"},
        {"program frame byte 3", "ATmega88", true, {{'E', 'P', 'p', 0x40}}, "EPp: byte 3 is 0x40"},
        {"algorithm-30 fuse write", "AT90S2313", true, {{'E', 'P', 'F', 0x00}}, "clears bits outside 0x21"},
        {"EEPROM size", "AT90S2313", true, {{'E', 'R', 'e', 0, 0x01, 0x00}}, "part has 128"},
        {"erase of an EPROM part", "87C51", true, {{'E', 'E', '0', 0x51}}, "cannot be erased"},
        {"user row and fuse byte left in the stream", "89LP4052", true, {kReadCode, {'E', 'P', 'p', 0xFF}},
         "while a stream was still running", 0x1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        McuSim s(c.part, c.selectChipCode);
        for (std::size_t i = 0; i < c.writes.size(); ++i) {
            send(s.sim, c.writes[i]);
            if (i == 0 && c.readFirst) readN(s.sim, c.readFirst);
            else drain(s.sim);
        }
        s.sim.reset();  // as the next operation begins
        const auto notes = s.sim.protocolErrors();
        ASSERT_FALSE(notes.empty());
        EXPECT_NE(notes.front().find(c.expect), std::string::npos) << notes.front();
    }
}
