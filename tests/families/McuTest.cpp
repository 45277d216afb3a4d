// The microcontroller family on the simulated programmer, over the sample
// 'M' records: files programmed with their fuses and locks and read back,
// the steps of a Program, the calibration byte, faults and Abort.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <QTemporaryDir>
#include <chrono>
#include <optional>
#include <stdexcept>

#include "config/gui/TfrmConfig.h"
#include "devices/DeviceDataFile.h"
#include "families/FamilyRig.h"
#include "families/Mcu.h"
#include "link/Replies.h"
#include "fileformats/FormatFixture.h"
#include "fileformats/LoadSave.h"
#include "operations/Dispatch.h"
#include "sim/McuChip.h"
#include "support/MainWindowRig.h"

using namespace tesmar;
using namespace tesmar::test;
using Target = sim::McuChip::Target;

namespace {

const std::vector<DeviceRecord>& sampleMcus() {
    static const std::vector<DeviceRecord> mcus = [] {
        std::vector<DeviceRecord> out;
        DeviceDataFile file;
        if (!file.open((runDir() + "/zrvusb_m.usb").toStdString())) return out;
        for (int m = 0; m < file.manufacturerCount(); ++m)
            for (int d = 0; auto rec = file.record(m, d); ++d)
                if (rec->FamilyLetter == 'M') out.push_back(*rec);
        return out;
    }();
    return mcus;
}

const DeviceRecord& sampleMcu(const std::string& name) {
    for (const DeviceRecord& r : sampleMcus())
        if (r.Name == name) return r;
    throw std::runtime_error("no sample part " + name);
}

// A part on the bench: a blank chip of the record in the socket.
struct Bench : FamilyRig {
    explicit Bench(const DeviceRecord& rec) : FamilyRig(rec) {
        st.pause = [](int) {};
        st.settings.ProgramSteps = kMcuStepCode;
    }
    sim::McuChip& chip() { return dynamic_cast<sim::McuChip&>(*sim.chip()); }
    bool run(char op) {
        startRun(op);
        host.memoClear();
        sim.clearLog();
        chip().clearLog();
        ExecuteOperation(st);
        return st.ErrorFlag.get() == 0;
    }
    bool load(const QString& file) {
        st.file.FileFormat = 0;
        st.file.FillOption = 1;
        LoadFile(st, file);
        return st.ErrorFlag.get() == 0;
    }
    QStringList lines() const { return host.lines(); }
    std::string log() const { return host.lines().join('|').toStdString(); }
};

// Fuse, lock and security values set as the Config dialog would, and what
// the chip must hold after a Program: the bytes as each algorithm sends them
// (0 bits programmed). Lock bit 2 would scramble the read back, so only lock
// bit 1 is programmed.
struct PartSettings {
    std::uint8_t steps = kMcuStepCode;
    std::optional<std::uint8_t> fuse[3];  // low, high, extended as the chip must hold them
    std::optional<std::uint8_t> lock;     // the lock (algorithm 26: security) byte
    bool lockBit1 = false;                // lock step 1 programmed lock bit 1
};

PartSettings configure(const DeviceRecord& r, McuConfig& m) {
    PartSettings s;
    m.McuConfigKnown = true;
    const bool extended = r.PageCode == 205 || r.PageCode == 207 || r.PageCode >= 209;
    switch (r.Algorithm) {
    case 32:  // every byte as set; lock bit 1 is bit 1 on chip codes 200 and 201, else bit 0
        m.FuseLow = 0xE2, m.FuseHigh = 0xD9, m.FuseExt = 0xF9;
        m.LockBits = r.PageCode == 200 || r.PageCode == 201 ? 0xFD : 0xFE;
        s.fuse[0] = 0xE2, s.fuse[1] = 0xD9, s.lock = m.LockBits, s.lockBit1 = true;
        if (extended) s.fuse[2] = 0xF9;
        break;
    case 30:  // fuse bits 5 and 0 only; lock bits 1 and 2 only
        m.FuseLow = 0x00, m.LockBits = 4;
        s.fuse[0] = 0xDE, s.lock = 0xFD, s.lockBit1 = true;
        break;
    case 26:  // security bits 1-0: MOVC inhibit on, lock bit off
        m.SecurityByte = 0xFD;
        s.lock = 0xFD;
        break;
    case 28:
        m.FuseLow = 0x01;
        s.fuse[0] = 0xDF;
        break;
    case 34:  // page 212 keeps its lock bits in bits 1-0; page 206 sets bits 7-4
        m.FuseLow = r.PageCode == 212 ? 0xEF : 0xF5;
        s.fuse[0] = m.FuseLow;
        break;
    case 35:  // lock step 1 is the fuse byte
        m.FuseLow = 0xFE;
        s.fuse[0] = 0xFE;
        s.steps = kMcuStepCode | kMcuStepLock1;
        break;
    default:
        break;
    }
    if (r.Algorithm != 34 && r.Algorithm != 35 && (r.StepMask & kMcuStepLock1)) {
        s.steps |= kMcuStepLock1;
        s.lockBit1 = true;
    }
    return s;
}

QString writeHex(const QTemporaryDir& dir, const QString& name, const Bytes& image) {
    const QString bin = dir.filePath(name + ".bin"), hex = dir.filePath(name + ".hex");
    EXPECT_TRUE(writeFile(bin, QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(image.size()))));
    QString err;
    EXPECT_EQ(runTool("srec_cat", {bin, "-binary", "-o", hex, "-intel"}, &err), 0) << err.toStdString();
    return hex;
}

}  // namespace

// A file with code and data EEPROM (or user row) programs the part with the
// fuses and lock set in Config; read back into a cleared image and saved, it
// gives the same file.
TEST(McuFamily, EverySamplePartProgramsAFileWithItsSettingsAndReadsItBack) {
    ASSERT_GT(sampleMcus().size(), 30u);
    QTemporaryDir dir;
    for (const DeviceRecord& rec : sampleMcus()) {
        SCOPED_TRACE(rec.Name);
        Bench b(rec);
        const std::size_t code = std::size_t(rec.LastAddress) + 1;
        const std::size_t data = rec.DataEepromSize;
        const std::size_t stop = std::size_t(defaultSaveStop(rec, false));
        Bytes image = pattern(code + data, rec.LastAddress ^ rec.DeviceId2);
        image.resize(stop + 1, rec.BlankByte);
        const QString original = writeHex(dir, "original", image);
        ASSERT_TRUE(b.load(original)) << b.log();

        const PartSettings s = configure(rec, b.st.mcu);
        b.st.settings.ProgramSteps = s.steps;
        ASSERT_TRUE(b.run('P')) << b.log();
        sim::McuChip& chip = b.chip();
        EXPECT_TRUE(chip.code() == Bytes(image.begin(), image.begin() + std::ptrdiff_t(code)));
        EXPECT_TRUE(chip.dataArea() ==
                    Bytes(image.begin() + std::ptrdiff_t(code), image.begin() + std::ptrdiff_t(code + data)));
        for (int i = 0; i < 3; ++i) {
            if (s.fuse[i]) {
                EXPECT_EQ(chip.fuses()[std::size_t(i)], *s.fuse[i]) << "fuse byte " << i;
            }
        }
        if (s.lock) {
            EXPECT_EQ(chip.lockByte(), *s.lock);
        }
        EXPECT_EQ(chip.lockBitProgrammed(1), s.lockBit1);
        for (const std::string& e : b.sim.protocolErrors()) ADD_FAILURE() << e;

        prefillErased(b.st.buf, rec);
        ASSERT_TRUE(b.run('R')) << b.log();
        b.st.file.FileFormat = 0;
        b.st.file.SaveStart = 0;
        b.st.file.SaveStop = std::uint32_t(stop);
        const QString saved = dir.filePath("saved.hex");
        ASSERT_TRUE(SaveFile(b.st, saved));
        QString err;
        EXPECT_EQ(runTool("srec_cmp", {original, "-intel", saved, "-intel"}, &err), 0) << err.toStdString();
        for (const std::string& e : b.sim.protocolErrors()) ADD_FAILURE() << e;
    }
}
namespace {

// What a Read keeps of the part's fuse, lock and calibration bytes, as the
// chip in the socket holds them; a value left empty is not the Read's to
// change.
struct ReadKeeps {
    std::optional<std::uint8_t> low, high, ext, lock;
    std::optional<std::array<std::uint8_t, 4>> calibration;
    bool any() const { return low || high || ext || lock || calibration; }
};

ReadKeeps keptByRead(const DeviceRecord& r, const sim::McuChip& chip) {
    ReadKeeps k;
    const auto f = chip.fuses();
    const std::uint8_t lock = chip.lockByte();
    if (r.Algorithm == 32) {
        switch (r.PageCode) {
        case 203: k = {f[0], f[1], {}, std::uint8_t(lock & 3), chip.calibration()}; break;
        case 204: k = {f[0], f[1], {}, lock, chip.calibration()}; break;
        case 205:
        case 209:
        case 211: k = {f[0], f[1], f[2], lock, {}}; break;
        case 207: k = {f[0], f[1], f[2], lock, chip.calibration()}; break;
        default: break;  // the fuse read carries nothing to keep
        }
    } else if (r.Algorithm == 30) {
        // The two fuse bits and lock bits 1 and 2 (bits 1 and 2 of the lock byte).
        k.low = std::uint8_t(f[0] & 0x21);
        k.lock = std::uint8_t(lock & 0x06);
    } else if (r.Algorithm == 35) {
        k.low = f[0];  // the byte behind the user row
    } else if (r.MakerId == 0x1E && (r.DeviceId == 0x73 || r.Algorithm == 34)) {
        // The fuse byte of "ERF"; on chip code 212 its bits 1-0 are lock bits 1 and 2.
        k.low = f[0];
        if (r.PageCode == 212)
            k.low = std::uint8_t((f[0] & 0xFC) | (chip.lockBitProgrammed(1) ? 0 : 1) | (chip.lockBitProgrammed(2) ? 0 : 2));
    }
    return k;
}

}  // namespace

// Every sample microcontroller with its own fuse, lock and calibration bytes
// (none of them factory values): two Reads in a row store exactly what the
// chip holds, and the lock bits they report are the chip's. An Erase keeps or
// checks the data EEPROM as the chip's EESAVE fuse says. Each round sets the
// other value of every fuse bit, and lock bit 1 programmed, then not.
TEST(McuFamily, ReadStoresTheChipsFuseLockAndCalibrationBytes) {
    constexpr std::array<std::uint8_t, 3> kFuses{0x5C, 0xB5, 0xF3};
    constexpr std::array<std::uint8_t, 4> kCalibration{0x3C, 0x4D, 0x5E, 0x6F};
    for (const DeviceRecord& rec : sampleMcus()) {
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE(rec.Name + " round " + std::to_string(round));
            Bench b(rec);
            sim::McuChip::Params p = b.chip().params();
            p.calibration = kCalibration;
            auto chip = std::make_shared<sim::McuChip>(p);
            b.sim.insertChip(chip);
            const std::size_t code = std::size_t(rec.LastAddress) + 1;
            chip->load(0, pattern(code, 21));
            chip->loadData(0, pattern(chip->dataArea().size(), 22));
            const Bytes data = chip->dataArea();
            chip->setFuses(round == 0 ? kFuses
                                      : std::array<std::uint8_t, 3>{std::uint8_t(~kFuses[0]), std::uint8_t(~kFuses[1]),
                                                                    std::uint8_t(~kFuses[2])});
            // Lock bit 1 programmed in the first round only; lock bit 2 never
            // (it would scramble the code read back), the other bits mixed.
            const bool lockBit1 = round == 0 && rec.Algorithm != 26;
            for (std::uint8_t lock : round == 0 ? std::array<std::uint8_t, 2>{0xE6, 0xE5}
                                                : std::array<std::uint8_t, 2>{0x1B, 0x1E}) {
                chip->setLockByte(lock);
                if (chip->lockBitProgrammed(1) == lockBit1 && !chip->readLocked({})) break;
            }
            ASSERT_EQ(chip->lockBitProgrammed(1), lockBit1);
            ASSERT_FALSE(chip->readLocked({}));
            const ReadKeeps want = keptByRead(rec, *chip);

            McuConfig& m = b.st.mcu;
            for (int read = 0; read < 2; ++read) {
                m.FuseLow = 0x11, m.FuseHigh = 0x22, m.FuseExt = 0x33, m.LockBits = 0x44, m.SecurityByte = 0x55;
                m.CalibrationBytes = {0x66, 0x77, 0x88, 0x99};
                m.McuConfigKnown = false;
                prefillErased(b.st.buf, rec);
                ASSERT_TRUE(b.run('R')) << b.log();
                EXPECT_TRUE(b.image(0, code) == chip->code());
                EXPECT_TRUE(b.image(code, rec.DataEepromSize) ==
                            Bytes(data.begin(), data.begin() + std::min<std::size_t>(data.size(), rec.DataEepromSize)));
                EXPECT_EQ(m.FuseLow, want.low.value_or(0x11));
                EXPECT_EQ(m.FuseHigh, want.high.value_or(0x22));
                EXPECT_EQ(m.FuseExt, want.ext.value_or(0x33));
                EXPECT_EQ(m.LockBits, want.lock.value_or(0x44));
                EXPECT_EQ(m.SecurityByte, 0x55);
                EXPECT_EQ(m.CalibrationBytes, want.calibration.value_or(std::array<std::uint8_t, 4>{0x66, 0x77, 0x88, 0x99}));
                EXPECT_EQ(m.CalibrationRead, want.calibration.has_value());
                EXPECT_EQ(m.McuConfigKnown, want.any());
                // Lock bits reported are the chip's; a part that reports any reports 1 and 2 at least.
                const bool reports = !b.lines().filter(" LockBit ").isEmpty();
                for (int n = 1; n <= 3; ++n) {
                    const bool p = chip->lockBitProgrammed(n);
                    EXPECT_FALSE(b.lines().contains(QString(" LockBit %1 = %2").arg(n).arg(p ? "U" : "P"))) << b.log();
                    if (reports && n < 3) {
                        EXPECT_TRUE(b.lines().contains(QString(" LockBit %1 = %2").arg(n).arg(p ? "P" : "U"))) << b.log();
                    }
                }
                for (const std::string& e : b.sim.protocolErrors()) ADD_FAILURE() << e;
            }

            if (!(rec.Buttons >> BtnErase & 1u)) continue;
            ASSERT_TRUE(b.run('E')) << b.log();
            EXPECT_TRUE(chip->code() == Bytes(code, rec.BlankByte));
            if (chip->dataArea().empty() || rec.Algorithm == 35) continue;
            // Code 210's fuse read cannot show EESAVE: its erase says nothing of the EEPROM.
            const bool said = rec.PageCode != 210;
            EXPECT_EQ(b.lines().contains(" EEprom is preserved through Chip Erase"), said && chip->dataArea() == data);
            EXPECT_EQ(b.lines().contains(" EEprom Clean "), said && chip->dataArea() != data) << b.log();
        }
    }
}

namespace {

std::string joined(const std::vector<std::string>& v) {
    std::string out;
    for (const std::string& s : v) out += (out.empty() ? "" : ",") + s;
    return out;
}

}  // namespace

// The frames and lines of one operation, from a part that was programmed
// before (its lock step left CurrentArea on lock bit 1), with the fuses set.
TEST(McuFamily, EachOperationRunsItsStepsInOrder) {
    struct Case {
        const char* name;
        const char* part;
        char op;
        std::uint8_t steps;
        const char* frames;
        const char* lines;
        std::uint8_t fuseHigh = 0;  // the chip's high fuse byte when not 0
        std::int8_t algorithm = 0;  // the record's algorithm instead, when not 0
        bool eepromOnly = false;    // the chip holds data in its EEPROM alone: the run fails
    };
    const Case cases[] = {
        {"erase first, then code, EEPROM and fuses", "ATmega88", 'P', 0x41,
         "EC,EI,EE0,ERp,ERL,ERe,EPp,EPe,ERp,ERe,EPF,fuse high,fuse extended,EPL",
         " Erased | Code Area Clean| EEprom Clean | Programmed| Verifying @ Vdd = 5.0V | Code Area Verify OK| EEprom "
         "Verify OK| Fusebits Programmed| High Fusebits Programmed| Extended Fusebits Programmed| Lockbits Programmed"},
        {"four steps, no verify after the lock steps", "89S8252", 'P', 0x0F, "EI,EPp,EPe,ERp,ERe,EPF,EP1,EP2,EP3",
         " Programmed| Verifying @ Vdd = 5.0V | Code Area Verify OK| EEprom Verify OK| Fusebits Programmed| Lockbit 1 "
         "Programmed| Lockbit 2 Programmed| Lockbit 3 Programmed"},
        {"lock byte instead of lock steps", "AT90S2313", 'P', 0x0F, "EC,EI,EPp,EPe,ERp,ERe,EPF,EPL",
         " Programmed| Verifying @ Vdd = 5.0V | Code Area Verify OK| EEprom Verify OK| Fusebits Programmed| Lockbits "
         "Programmed"},
        {"erase first on a part without erase", "87C51", 'P', 0x41, "EI,EPp,ERp,ES",
         " Programmed| Verifying @ Vdd = 5.0V | Code Area Verify OK| Security Bits Programmed"},
        {"user row and fuse byte read off after the erase", "89LP4052", 'P', 0x43, "EI,EE0,ERp,EPp,ERp,EP1",
         " Erased | Code Area Clean| Programmed| Verifying @ Vdd = 5.0V | Code Area Verify OK| Fuses programmed"},
        {"a Verify writes no fuse byte", "89S2051", 'V', 0x01, "EI,ERp", " Verifying @ Vdd = 5.0V | Code Area Verify OK"},
        {"blank check of the code area whatever the steps", "89C51", 'B', 0x02, "EI,ERp", " Code Area Clean"},
        // Code 210's fuse read ends before its high fuse byte, so nothing
        // tells whether EESAVE kept its EEPROM: Blank Check checks it, EESAVE
        // or not; a Program after an erase with EESAVE programmed goes on,
        // claims nothing of it and writes it whole.
        {"code 210, Blank Check of data in the EEPROM alone", "ATmega328", 'B', 0x01, "EC,EI,ERp,ERL,ERe",
         " Code Area Clean| ATmega328 EEprom not blank or EESAVE bit set", 0xD7, 0, true},
        {"code 210 with EESAVE, erase first", "ATmega328", 'P', 0x41,
         "EC,EI,EE0,ERp,ERL,EPp,EPe,ERp,ERe,EPF,fuse high,fuse extended,EPL",
         " Erased | Code Area Clean| Programmed| Verifying @ Vdd = 5.0V | Code Area Verify OK| EEprom Verify OK| "
         "Fusebits Programmed| High Fusebits Programmed| Extended Fusebits Programmed| Lockbits Programmed",
         0xD7},
        {"fuse read alone (the Config page's)", "ATmega88", kMcuReadFusesOp, 0x41, "EC,EI,ERL",
         " Fuse and Lock Bits Read"},
        {"Erase button", "ATmega88", 'E', 0x41, "EC,EI,EE0,ERp,ERL,ERe", " Erased | Code Area Clean| EEprom Clean "},
        {"EESAVE keeps the EEPROM", "ATmega88", 'E', 0x01, "EC,EI,EE0,ERp,ERL",
         " Erased | Code Area Clean| EEprom is preserved through Chip Erase", 0xD7},
        // A sized data EEPROM of 0 bytes still has its steps: the size goes out as 0.
        {"data EEPROM of size 0, Program", "ATtiny11", 'P', 0x01, "EC,EI,EPp,EPe,ERp,ERe,EPF,fuse high,EPL",
         " Programmed| Verifying @ Vdd = 5.0V | Code Area Verify OK| EEprom Verify OK| Fusebits Programmed| High "
         "Fusebits Programmed| Lockbits Programmed"},
        {"data EEPROM of size 0, Read", "ATtiny11", 'R', 0x01, "EC,EI,ERp,ERe,ERL", " Read Completed"},
        {"data EEPROM of size 0, Blank", "ATtiny11", 'B', 0x01, "EC,EI,ERp,ERL,ERe", " Code Area Clean| EEprom Clean "},
        // Lock bits reported by the signature come without a fuse byte read,
        // whatever the algorithm.
        {"lock bits by signature", "89S52", 'R', 0x01, "EI,ERp,ERL",
         " Read Completed| LockBit 1 = U| LockBit 2 = U| LockBit 3 = U", 0, 34},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceRecord rec = sampleMcu(c.part);
        if (c.algorithm) rec.Algorithm = c.algorithm;
        Bench b(rec);
        const std::size_t code = std::size_t(rec.LastAddress) + 1 + (rec.Algorithm == 35 ? 32 : 0);
        // A part that can be erased holds a program already.
        if ((c.op == 'E' || (c.steps & kMcuStepEraseFirst)) && (rec.Buttons >> BtnErase & 1u)) {
            b.chip().load(0, pattern(code, 3));
            b.chip().loadData(0, pattern(b.chip().dataArea().size(), 4));
        }
        if (c.eepromOnly) b.chip().loadData(0, pattern(b.chip().dataArea().size(), 4));
        if (c.op == 'P') b.fillImage(pattern(code + rec.DataEepromSize, 5));
        if (c.fuseHigh) b.chip().setFuses({b.chip().fuses()[0], c.fuseHigh, b.chip().fuses()[2]});
        b.st.mcu.McuConfigKnown = true;
        b.st.mcu.CurrentArea = '1';
        b.st.settings.ProgramSteps = c.steps;
        EXPECT_EQ(b.run(c.op), !c.eepromOnly) << b.log();
        EXPECT_EQ(joined(b.chip().commands()), c.frames);
        EXPECT_EQ(b.log(), c.lines);
        for (const std::string& e : b.sim.protocolErrors()) ADD_FAILURE() << e;
        if (c.op == 'P') {
            EXPECT_TRUE(b.chip().code() == b.image(0, rec.LastAddress + 1));
            EXPECT_TRUE(b.chip().dataArea() == b.image(rec.LastAddress + 1, b.chip().dataArea().size()));
        }
    }
}

// The calibration byte chosen in Config (CAL0..CAL3 as read from the chip)
// goes into the code where the user put it; an address outside the part's
// code and EEPROM, or no byte chosen, stops the Program before any traffic.
TEST(McuFamily, CalibrationByteIsProgrammedWhereChosenAndNowhereElse) {
    const DeviceRecord& rec = sampleMcu("ATmega8");
    Bench b(rec);
    McuConfig& m = b.st.mcu;
    b.sim.faults().fuseReadBytes = 6;  // of 7: nothing of it is kept
    EXPECT_FALSE(b.run('R'));
    EXPECT_EQ(b.log(), " Read Completed| Error with read");
    EXPECT_EQ(m.CalibrationBytes, (std::array<std::uint8_t, 4>{}));
    EXPECT_FALSE(m.McuConfigKnown);
    m.ProgramCalibration = 1;  // chosen before the chip's bytes were read
    EXPECT_FALSE(b.run('P'));
    EXPECT_EQ(b.log(), " Calibration bytes not read from this chip");
    EXPECT_EQ(joined(b.chip().commands()), "EC,EI");
    b.sim.faults() = {};
    ASSERT_TRUE(b.run('R')) << b.log();
    ASSERT_EQ(m.CalibrationBytes, b.chip().calibration());
    m.ProgramCalibration = 1;
    for (std::uint8_t index = 1; index <= 4; ++index) {  // CAL0..CAL3
        m.CalibrationIndex = index;
        m.CalibrationAddress = rec.LastAddress - index;
        ASSERT_TRUE(b.run('P')) << b.log();
        EXPECT_EQ(b.chip().code()[rec.LastAddress - index], b.chip().calibration()[index - 1u]);
    }

    struct Refused {
        std::uint32_t address;
        std::uint8_t index;
        const char* line;
    };
    const std::uint32_t pastEeprom = rec.LastAddress + 1 + rec.DataEepromSize;
    for (const Refused& r : {Refused{pastEeprom, 1, " Calibration address outside the device"},
                             Refused{0xFFFFFFFF, 1, " Calibration address outside the device"},
                             Refused{0, 0, " Calibration byte not chosen"}}) {
        m.CalibrationAddress = r.address;
        m.CalibrationIndex = r.index;
        EXPECT_FALSE(b.run('P'));
        EXPECT_EQ(b.log(), r.line);
        EXPECT_EQ(joined(b.chip().commands()), "EC,EI");
    }
}

// Abort in a Read ends the stream at once (the toolbar sends "Stop") and
// leaves nothing for the next operation; Abort in a Program finishes the code
// area the programmer expects and runs nothing after it.
TEST(McuFamily, AbortEndsReadAtOnceAndProgramAfterItsArea) {
    const DeviceRecord& rec = sampleMcu("ATmega328");
    Bench b(rec);
    b.chip().load(0, pattern(rec.LastAddress + 1, 9));
    b.abortAtGauge(0x1000);
    EXPECT_FALSE(b.run('R') && b.st.RunFlag.load());
    EXPECT_FALSE(b.lines().contains(" Read Completed"));
    EXPECT_TRUE(b.sim.hostBytes() == frameBytes('T', 'O') + frameBytes('E', 'C', 0, 210) + frameBytes('E', 'I') +
                                         frameBytes('E', 'R', 'p') + word("Stop"));
    b.host.onGauge = nullptr;
    b.sim.faults().splitReplies = 3;  // signature and stream trickle in
    ASSERT_TRUE(b.run('R')) << b.log();
    EXPECT_TRUE(b.image(0, rec.LastAddress + 1) == b.chip().code());
    for (const std::string& e : b.sim.protocolErrors()) ADD_FAILURE() << e;

    Bench p(rec);
    p.fillImage(pattern(rec.LastAddress + 1, 10));
    p.st.mcu.McuConfigKnown = true;
    p.abortAtGauge(0x1000);
    p.run('P');
    EXPECT_EQ(p.st.RunFlag.load(), 0);
    EXPECT_EQ(joined(p.chip().commands()), "EC,EI,EPp");
    EXPECT_TRUE(p.chip().code() == p.image(0, rec.LastAddress + 1));
    EXPECT_TRUE(p.chip().configWrites().empty());
    const auto calls = p.sim.driverCalls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "status"), 2);  // two blocks, a status call before each
    for (const std::string& e : p.sim.protocolErrors()) ADD_FAILURE() << e;
}

// A stream left on Abort must not reach the next operation's replies: in a
// Program no "Stop" ends it (the verify, the blank check of the erase pass),
// and an Abort as a step starts comes before its frame. No step starts after
// the Abort.
TEST(McuFamily, AbortLeavesNothingForTheNextOperation) {
    struct Case {
        const char* part;
        char op;
        std::uint8_t steps;
        int crossing;  // of the gauge's middle: 1 in the first stream, 2 the second; 0 as the first step starts
    };
    for (const Case& c : {Case{"89S8252", 'P', kMcuStepCode, 2}, Case{"ATmega88", 'P', 0x41, 1},
                          Case{"89LP4052", 'P', 0x01, 2}, Case{"89LP4052", 'R', 0x01, 0},
                          Case{"ATmega88", 'E', 0x01, 0}}) {
        SCOPED_TRACE(std::string(c.part) + " " + c.op);
        const DeviceRecord& rec = sampleMcu(c.part);
        Bench b(rec);
        if (c.op == 'E') b.chip().load(0, pattern(rec.LastAddress + 1, 12));
        const Bytes held = b.chip().code();
        b.fillImage(pattern(rec.LastAddress + 1, 11));
        b.st.settings.ProgramSteps = c.steps;
        if (c.crossing)
            b.abortAtGauge(int(rec.LastAddress + 1) / 2, c.crossing);
        else
            b.host.onGauge = [&b](int, int) {
                if (b.st.RunFlag.load()) b.pressAbort();
            };
        b.run(c.op);
        ASSERT_EQ(b.st.RunFlag.load(), 0);
        if (c.op == 'E') {
            EXPECT_TRUE(b.chip().code() == held);
        }
        b.host.onGauge = nullptr;
        prefillErased(b.st.buf, rec);
        EXPECT_TRUE(b.run('R')) << b.log();
        EXPECT_TRUE(b.image(0, rec.LastAddress + 1) == b.chip().code());
        for (const std::string& e : b.sim.protocolErrors()) ADD_FAILURE() << e;
    }
}

// Abort while the programmer is silent or its stream has stalled: over the
// hardware port the operation ends within the Abort's grace, whatever the
// step was waiting for, and however many reads come after it.
TEST(McuFamily, AbortOnASilentLineEndsWithinTheGrace) {
    struct Case {
        const char* name;
        char op;
        std::uint8_t steps;
        std::function<void(sim::FaultPlan&)> fault;
    };
    const Case cases[] = {
        {"Read, the stream stalls", 'R', 0x01, [](auto& f) { f.streamStallsAfter = 0x100; }},
        {"Program, its verify stalls", 'P', 0x01, [](auto& f) { f.streamStallsAfter = 0x100; }},
        {"Program, the blank check of its erase stalls", 'P', 0x41, [](auto& f) { f.streamStallsAfter = 0x100; }},
        {"Program, acknowledgements stop", 'P', 0x01, [](auto& f) { f.acksStallAfter = 64; }},
        {"Program, no Send", 'P', 0x01, [](auto& f) { f.programSend = ""; }},
        {"Erase, no Done", 'E', 0x01, [](auto& f) { f.wrongReply[sim::Reply::EraseDone] = ""; }},
    };
    const DeviceRecord& rec = sampleMcu("ATmega88");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b(rec);
        SilentLinePort port(b);
        b.st.usb = &port;
        b.st.settings.IdCheckOption = 0;
        b.st.settings.ProgramSteps = c.steps;
        b.fillImage(pattern(rec.LastAddress + 1, 13));
        c.fault(b.sim.faults());
        b.run(c.op);
        EXPECT_TRUE(port.pressed);
        EXPECT_EQ(b.st.RunFlag.load(), 0);
        EXPECT_LE(port.afterAbort.count(), (kAbortGrace + std::chrono::milliseconds(10)).count());
    }
}

namespace {

class McuWindowTest : public MainWindowRig {
protected:
    void selectPart(const std::string& name) {
        const auto found = findDevice(3, name);
        ASSERT_TRUE(found) << name;
        select(found->place);
    }
    sim::McuChip& chip() { return dynamic_cast<sim::McuChip&>(*sim_.chip()); }
    QStringList seen() { return w().memoLines() + boxes().seen(); }
};

}  // namespace

// Selecting a part forgets the fuse, lock and security values of the part
// before: its first Program leaves the chip's as they are. The part's
// operations are on the toolbar, and only its own programming steps are kept.
TEST_F(McuWindowTest, AFreshSelectionProgramsNoFuseLockOrSecurityByte) {
    for (const char* part : {"ATmega88", "AT90S2313", "87C51", "89S8252", "89S2051", "89LP4052"}) {
        SCOPED_TRACE(part);
        select(0, 0, 0);
        st().mcu.McuConfigKnown = true;  // set up in Config for the part before
        selectPart(part);
        const DeviceRecord& rec = *st().dev();
        for (QToolButton* b : {w().SB_Prog, w().SB_Read, w().SB_Verify, w().SB_Blank}) EXPECT_TRUE(b->isEnabled());
        EXPECT_EQ(w().SB_Erase->isEnabled(), bool(rec.Buttons >> BtnErase & 1u));
        clearLogs();
        w().SB_Prog->click();
        const QStringList lines = w().memoLines();
        EXPECT_TRUE(lines.contains(" Programmed")) << lines.join('|').toStdString();
        EXPECT_EQ(lines.filter("left as they are").size(), 1);
        EXPECT_TRUE(chip().configWrites().empty());
        EXPECT_EQ(w().ProgFail->text(), "0");
    }
    selectPart("ATmega88");
    // A look at Config, closed with OK, chooses nothing: the page showed the
    // chip's own bytes, and Program puts back just those.
    const auto fuses = chip().fuses();
    const std::uint8_t lock = chip().lockByte();
    onNextModal([](QWidget* wnd) { QTest::mouseClick(static_cast<TfrmConfig*>(wnd)->BitBtn1, Qt::LeftButton); },
                "tesmar::TfrmConfig");
    w().SB_Config->click();
    w().SB_Prog->click();
    EXPECT_EQ(chip().fuses(), fuses);
    EXPECT_EQ(chip().lockByte(), lock);
    st().settings.ProgramSteps = 0x7E;
    st().mcu.ProgramCalibration = 1;
    st().mcu.CalibrationRead = true;
    selectPart("ATmega88");
    EXPECT_EQ(st().settings.ProgramSteps, 0x40);
    EXPECT_EQ(st().mcu.ProgramCalibration, 0);  // another chip's calibration bytes are never stored
    EXPECT_FALSE(st().mcu.CalibrationRead);
}

// What the user sets in Config after a selection is what Program puts in the
// chip: the chip's own fuses but for CKDIV8, and lock bit 1.
TEST_F(McuWindowTest, FusesAndLockSetInConfigReachTheChip) {
    selectPart("ATmega88");
    onNextModal(
        [](QWidget* wnd) {
            auto* d = static_cast<TfrmConfig*>(wnd);
            QCheckBox* div8 = d->control<QCheckBox>("CB205_Ckdiv8");
            QTest::mouseClick(div8, Qt::LeftButton, {}, QPoint(6, div8->height() / 2));  // "CKDIV8 = 1"
            d->control<QComboBox>("CB205_MlbBox")->setCurrentIndex(1);                  // "LB1 on"
            QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
        },
        "tesmar::TfrmConfig");
    chip().setFuses({0x62, 0xDF, 0xF9});
    w().SB_Config->click();
    clearLogs();
    w().SB_Prog->click();
    EXPECT_EQ(w().ProgCorrect->text(), "1") << w().memoLines().join('|').toStdString();
    EXPECT_EQ(chip().fuses(), (std::array<std::uint8_t, 3>{0xE2, 0xDF, 0xF9}));
    EXPECT_EQ(chip().lockByte(), 0xFE);
}

// Each fault of the part or the programmer ends the Program within seconds
// with its line, counted as a failure, with no fuse, lock or security write.
TEST_F(McuWindowTest, EveryFaultEndsWithinSecondsWithItsLineAndAFailure) {
    struct Case {
        const char* name;
        std::function<void(sim::FaultPlan&)> fault;
        const char* line;  // a memo line or box ("caption|text") starting so
        std::uint8_t steps = kMcuStepCode;
        std::size_t writes = 0;  // configuration writes that still took
    };
    const std::uint32_t eeprom = 0x2000;  // ATmega88's data EEPROM in the image and the chip's addresses
    const Case cases[] = {
        {"wrong signature", [](auto& f) { f.signature = Bytes{0x1E, 0x12, 0x34}; },
         "CHIP_ID Error|ID: 30=0x1E 31=0x12 32=0x34 "},
        {"silent signature", [](auto& f) { f.chipIdReply = Bytes{}; }, " Error with read"},
        {"no Send", [](auto& f) { f.programSend = ""; }, " Programmer did not ask for data"},
        {"acknowledgements stop", [](auto& f) { f.acksStallAfter = 8; }, " Error with read"},
        {"stuck code bit", [](auto& f) { f.stickBit(0x10, 3); }, "  Compare Error @ 0x00010 Ram = 0x00"},
        {"stuck EEPROM bit", [&](auto& f) { f.stickBit(eeprom + 5, 0); }, " EEprom"},
        {"erase fails", [](auto& f) { f.eraseFails = true; }, " Erase Error", 0x41},
        {"stream stalls", [](auto& f) { f.streamStallsAfter = 100; }, " Error with read"},
        {"short fuse read", [](auto& f) { f.fuseReadBytes = 2; }, " Error with read", 0x41},
        {"fuse write answers stop", [](auto& f) { f.configRepliesAfter = 0; }, " Error with read", 1, 1},
        {"locked part", [](auto& f) { f.lockedChip = true; }, "  Compare Error @ 0x00000"},
        {"over-current", [](auto& f) { f.overCurrent = true; }, "Over Current!"},
    };
    boxes().setButton(0x00040000);  // QMessageBox::Abort
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        selectPart("ATmega88");
        std::fill(st().buf.DeviceBuffer.begin(), st().buf.DeviceBuffer.begin() + eeprom + 512, 0x00);
        st().mcu.McuConfigKnown = true;
        st().settings.ProgramSteps = c.steps;
        c.fault(sim_.faults());
        clearLogs();
        const int failed = w().ProgFail->text().toInt();
        QElapsedTimer clock;
        clock.start();
        w().SB_Prog->click();
        EXPECT_LT(clock.elapsed(), 8000);
        const QStringList lines = seen();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const QString& l) { return l.startsWith(c.line); }))
            << lines.join('|').toStdString();
        EXPECT_EQ(w().ProgFail->text().toInt(), failed + 1);
        EXPECT_EQ(chip().configWrites().size(), c.writes);
        sim_.faults() = {};
    }
}
