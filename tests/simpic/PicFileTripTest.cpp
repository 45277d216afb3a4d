// PIC parts of the sample data copied through hex files: a part read by the
// family routine, saved, loaded into a fresh program and programmed into a
// blank part gives the same part; a file laid out as PIC tools lay them out
// programs exactly its contents.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <stdexcept>

#include "families/FamilyRig.h"
#include "families/Pic.h"
#include "families/Pic18.h"
#include "fileformats/LoadSave.h"
#include "operations/Dispatch.h"
#include "sim/Pic18Chip.h"
#include "sim/PicChip.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

const std::vector<DeviceRecord>& samplePics() {
    static const std::vector<DeviceRecord> pics =
        sampleRecords("zrvusb_m.usb", [](const DeviceRecord& r) { return r.FamilyLetter == 'C'; });
    return pics;
}

const DeviceRecord& samplePic(const std::string& name) {
    for (const DeviceRecord& r : samplePics())
        if (r.Name == name) return r;
    throw std::runtime_error("no sample PIC " + name);
}

Bytes swapPairs(Bytes b) {
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) std::swap(b[i], b[i + 1]);
    return b;
}

// What a part holds, as the part holds it: code, data EEPROM, IDs (with the
// backup word behind them), configuration, calibration word.
using PartAreas = std::array<Bytes, 5>;
enum { Code, Data, Ids, Config };

void expectSame(const PartAreas& got, const PartAreas& want) {
    const char* const names[] = {"code", "data EEPROM", "IDs", "configuration", "calibration"};
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(got[i] == want[i]) << names[i] << " differs";
}

PartAreas areasOf(const sim::Chip& chip) {
    if (auto* p = dynamic_cast<const sim::PicChip*>(&chip)) {
        const auto backup = p->idBackup(), cal = p->calibration();
        return {p->code(), p->dataEeprom(), p->ids() + Bytes(backup.begin(), backup.end()), p->config(),
                Bytes(cal.begin(), cal.end())};
    }
    const auto& p = dynamic_cast<const sim::Pic18Chip&>(chip);
    return {p.code(), p.dataEeprom(), p.ids(), Bytes(p.config().begin(), p.config().end()), {}};
}

// The protection bits of configuration byte i: set, they leave the part readable.
std::uint8_t unprotected(const sim::PicFamilyChip& chip, std::size_t i) {
    return chip.configRules().codeProtection(i) | chip.configRules().dataProtection(i);
}

// Noise a part of the record could hold: words within the word width,
// configuration bits only where they exist and protection off (a protected
// part cannot be copied), the factory calibration and bandgap bits left as
// they are.
void fillPart(sim::Chip& chip, const DeviceRecord& r, std::uint32_t seed) {
    if (auto* p = dynamic_cast<sim::PicChip*>(&chip)) {
        Bytes code = pattern(p->size() - (p->params().calibrationAtTop ? 2 : 0), seed);
        for (std::size_t i = 0; i < code.size(); i += 2) code[i] &= r.BlankByte;
        p->load(0, code);
        p->loadData(0, pattern(p->dataEeprom().size(), seed + 1));
        Bytes ids = pattern(8, seed + 2);
        for (std::size_t i = 0; i < ids.size(); i += 2) ids[i] &= r.BlankByte;
        p->loadIds(0, ids);
        Bytes cfg = pattern(p->config().size(), seed + 3);
        for (std::size_t i = 0; i < cfg.size(); ++i) cfg[i] = (cfg[i] & r.ConfigMasks[i]) | unprotected(*p, i);
        if (p->params().bandgap) cfg[0] = (cfg[0] & ~sim::kPicBandgapBits) | (p->config()[0] & sim::kPicBandgapBits);
        p->loadConfig(0, cfg);
        return;
    }
    auto& p = dynamic_cast<sim::Pic18Chip&>(chip);
    p.loadCode(0, pattern(p.size(), seed));
    p.loadData(0, pattern(p.dataEeprom().size(), seed + 1));
    p.loadIds(0, pattern(8, seed + 2));
    Bytes cfg = pattern(14, seed + 3);
    const Pic18Mask mask = pic18MaskFor(r.PageCode);
    for (std::size_t i = 0; i < cfg.size(); ++i) cfg[i] = (cfg[i] & mask[i]) | unprotected(p, i);
    p.loadConfig(0, cfg);
}

// A program on the bench with a blank part of the record in the socket.
struct Bench : FamilyRig {
    explicit Bench(const DeviceRecord& rec) : FamilyRig(rec) {
        st.pause = [](int) {};
        st.settings.VerifyMaxMin = 0;
        st.settings.ProgramSteps = std::uint8_t(rec.StepMask & 0x17);  // code, data, IDs, configuration
    }
    sim::Chip& chip() { return *sim.chip(); }
    bool run(char op) {
        st.OperationCode = op;
        st.RunFlag = 1;
        host.memoClear();
        ExecuteOperation(st);
        return st.ErrorFlag.get() == 0;
    }
    // Loads `file` in `format` (3 INHX8M, 4 INHX16); true when it loaded with no warning.
    bool load(const QString& file, std::int8_t format) {
        host.memoClear();
        st.file.FileFormat = format;
        st.file.FillOption = 1;
        LoadFile(st, file);
        return st.ErrorFlag.get() == 0 && host.lines().filter("WARNING").isEmpty();
    }
    std::string log() const { return host.lines().join('|').toStdString(); }
};

}  // namespace

TEST(PicFileTrip, EverySamplePartSurvivesReadSaveLoadProgramInBothFormats) {
    ASSERT_GT(samplePics().size(), 40u);
    QTemporaryDir dir;
    for (const DeviceRecord& rec : samplePics()) {
        for (std::int8_t format : {3, 4}) {
            SCOPED_TRACE(rec.Name + (format == 3 ? " INHX8M" : " INHX16"));
            Bench from(rec);
            fillPart(from.chip(), rec, 7);
            ASSERT_TRUE(from.run('R')) << from.log();
            const QString file = dir.filePath("part.hex");
            from.st.file.FileFormat = format;
            ASSERT_TRUE(SaveFile(from.st, file));

            Bench to(rec);
            ASSERT_TRUE(to.load(file, format)) << to.log();
            ASSERT_TRUE(to.run('P')) << to.log();
            expectSame(areasOf(to.chip()), areasOf(from.chip()));
            EXPECT_TRUE(to.sim.protocolErrors().empty());
        }
    }
}

namespace {

// INHX8M as PIC tools write it: 16 data bytes per record at most, each area
// in its own records, an extended linear record before data above 64 KiB.
QByteArray inhx8m(const std::map<std::uint32_t, Bytes>& areas) {
    QByteArray text;
    auto line = [&text](std::uint8_t type, std::uint16_t address, const Bytes& data) {
        Bytes rec{std::uint8_t(data.size()), std::uint8_t(address >> 8), std::uint8_t(address), type};
        rec.insert(rec.end(), data.begin(), data.end());
        std::uint8_t sum = 0;
        for (std::uint8_t b : rec) sum = std::uint8_t(sum + b);
        rec.push_back(std::uint8_t(-sum));
        text += ":" + QByteArray(reinterpret_cast<const char*>(rec.data()), qsizetype(rec.size())).toHex().toUpper() + "\n";
    };
    std::uint32_t upper = 0;
    for (const auto& [at, bytes] : areas) {
        for (std::size_t i = 0; i < bytes.size(); i += 16) {
            const std::uint32_t a = at + std::uint32_t(i);
            if ((a >> 16) != upper) {
                upper = a >> 16;
                line(0x04, 0, {std::uint8_t(upper >> 8), std::uint8_t(upper)});
            }
            line(0x00, std::uint16_t(a), Bytes(bytes.begin() + std::ptrdiff_t(i),
                                               bytes.begin() + std::ptrdiff_t(std::min(i + 16, bytes.size()))));
        }
    }
    return text + ":00000001FF\n";
}

}  // namespace

// Word parts keep each word low byte first in the file; a data EEPROM byte is
// the low byte of its word. PIC18 files hold the part's bytes in its own
// order, the configuration bytes CONFIG1L, CONFIG1H ...
TEST(PicFileTrip, ConventionalFilesLoadWithoutWarningsAndProgramTheirContents) {
    struct Case {
        const char* part;
        std::uint32_t id, config, data;  // INHX8M byte addresses
    };
    const Case cases[] = {
        {"16F84A", 0x4000, 0x400E, 0x4200},
        {"16F1827", 0x10000, 0x1000E, 0x1E000},
        {"16C54", 0x400, 0x1FFE, 0},  // 12-bit: IDs right after the code, configuration word 0xFFF
        {"18F452", 0x200000, 0x300000, 0xF00000},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part);
        const DeviceRecord& rec = samplePic(c.part);
        const auto model = sim::makeBlankChip(rec);  // the part the file stands for
        fillPart(*model, rec, 21);
        PartAreas want = areasOf(*model);
        std::map<std::uint32_t, Bytes> file;
        if (rec.isPic18()) {
            want[Ids] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};  // IDLOC0 .. IDLOC7
            file = {{0, want[Code]}, {c.id, want[Ids]}, {c.config, swapPairs(want[Config])}, {c.data, want[Data]}};
        } else {
            file = {{0, swapPairs(want[Code])}, {c.id, swapPairs(Bytes(want[Ids].begin(), want[Ids].begin() + 8))},
                    {c.config, swapPairs(want[Config])}};
            Bytes words;
            for (std::uint8_t b : want[Data]) words.insert(words.end(), {b, 0x00});
            if (!words.empty()) file[c.data] = words;
        }
        const QString path = dir.filePath(QString(c.part) + ".hex");
        ASSERT_TRUE(writeFile(path, inhx8m(file)));

        Bench to(rec);
        ASSERT_TRUE(to.load(path, 3)) << to.log();
        ASSERT_TRUE(to.run('P')) << to.log();
        expectSame(areasOf(to.chip()), want);
    }
}

// Abort in a Program sends the programmer no "Stop", so the blank check of
// the Program's erase pass leaves a stream that is still coming; the next
// operation must still read the part from its first byte.
TEST(PicFileTrip, AbortInTheErasePassOfAProgramLeavesNothingForTheNextRead) {
    for (const char* part : {"16F84A", "18F452"}) {
        SCOPED_TRACE(part);
        Bench b(samplePic(part));
        b.st.settings.ProgramSteps = PicStepEraseFirst;
        b.host.onGauge = [&](int, int pos) {
            const auto& cmds = dynamic_cast<sim::PicFamilyChip&>(b.chip()).commands();
            if (pos >= 0x200 && !cmds.empty() && cmds.back() == "ER p" && b.st.RunFlag.load()) b.st.RunFlag = 0;
        };
        b.run('P');
        ASSERT_EQ(b.st.RunFlag.load(), 0) << "the erase pass ran no blank check";
        b.host.onGauge = nullptr;

        fillPart(b.chip(), b.dev(), 5);
        b.st.settings.ProgramSteps = PicStepCode;
        ASSERT_TRUE(b.run('R')) << b.log();
        const Bytes code = b.chip().memory();
        EXPECT_EQ(b.image(0, code.size()), b.dev().isPic18() ? swapPairs(code) : code);
        // A frame sent while the programmer still streams is lost on it.
        for (const std::string& e : b.sim.protocolErrors()) ADD_FAILURE() << e;
    }
}
