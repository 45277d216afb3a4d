// PIC18 operations end to end on the simulated programmer.
#include <gtest/gtest.h>

#include <algorithm>

#include "FamilyRig.h"
#include "families/Pic.h"
#include "families/Pic18.h"
#include "operations/Dispatch.h"
#include "sim/Pic18Chip.h"
#include "support/MainWindowRig.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

using Area = sim::Pic18Chip::Area;
using Commands = std::vector<std::string>;

constexpr std::uint16_t kNoErase = kAllButtons & ~std::uint16_t(1u << BtnErase);

// The default configuration of a page-27 part (its erased state).
const Bytes kDefaults27{0x27, 0x00, 0x0F, 0x0F, 0x01, 0x00, 0x00, 0x85, 0xC0, 0x0F, 0xE0, 0x0F, 0x40, 0x0F};
const Bytes kMask27{0x27, 0x00, 0x0F, 0x0F, 0x01, 0x00, 0x00, 0x85, 0xC0, 0x0F, 0xE0, 0x0F, 0x40, 0x0F};

struct Pic18Spec {
    std::string name = "18F452";
    std::uint8_t page = 27;
    std::uint32_t last = 0x7FFF;
    std::uint16_t eesize = 255;
    std::uint8_t dev = 0x04, dev2 = 0x20;
    std::uint8_t steps = 0x57;
    std::uint16_t buttons = kAllButtons;
    std::uint8_t param = 0x40;

    DeviceRecord record() const {
        return RecordImage('C')
            .algorithm(18)
            .name(name)
            .voltages(5.0f, 5.5f, 2.5f, 13.0f)
            .lastAddress(last)
            .deviceId(dev)
            .deviceId2(dev2)
            .pageCode(page)
            .blankByte(0xFF)
            .programParam(param)
            .dataEepromSize(eesize)
            .configMaskCount(14)
            .configMasks(kDefaults27)
            .buttons(buttons)
            .stepMask(steps)
            .build();
    }
};

const Pic18Spec k18F452{};
const Pic18Spec k18F1320{"18F1320", 27, 0x1FFF, 0, 0x07, 0xE0, 0x55};  // no data EEPROM

struct Pic18Rig : FamilyRig {
    explicit Pic18Rig(const Pic18Spec& part = k18F452) : FamilyRig(part.record()) {
        st.pause = [](int) {};
        st.settings.ProgramSteps = std::uint8_t(dev().StepMask & 0x17);
        st.settings.VerifyMaxMin = 0;
    }
    sim::Pic18Chip& chip() { return dynamic_cast<sim::Pic18Chip&>(*sim.chip()); }
    std::uint32_t codeBytes() const { return dev().LastAddress + 1; }
    std::uint32_t dataBytes() const { return dev().DataEepromSize + 1u; }
    bool hasData() const { return dev().StepMask & 2; }

    // An image whose every area differs from the erased part.
    void fillAreas(std::uint32_t seed) {
        fillImage(pattern(codeBytes(), seed));
        if (hasData()) fillImage(pattern(dataBytes(), seed + 1), kPic18DataPlace);
        fillImage(pattern(8, seed + 2), kPic18IdPlace);
        Bytes cfg = pattern(14, seed + 3);
        for (std::size_t i = 0; i < cfg.size(); ++i) cfg[i] &= kMask27[i];
        // Protection off (CONFIG5H, CONFIG5L): a protected part reads its code and data as 0.
        cfg[8] |= 0xC0;
        cfg[9] |= 0x0F;
        fillImage(cfg, kPic18ConfigPlace);
    }
    std::vector<std::string> commands() { return chip().commands(); }
};

// Words of the image (high byte first) as the part holds them (low byte first).
Bytes swapped(Bytes b) {
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) std::swap(b[i], b[i + 1]);
    return b;
}

bool run(Pic18Rig& r, char op) {
    r.startRun(op);
    r.sim.clearLog();
    r.chip().clearCommands();
    r.host.memoClear();
    Pic18DoOperation(r.st);
    return r.st.ErrorFlag.get() == 0;
}

Commands operator+(Commands a, const Commands& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
const Commands kOpening{"Vdd 125", "Vpp 130", "EI"};

std::string lines(const Pic18Rig& r) { return r.host.lines().join('\n').toStdString(); }

bool sent(const Bytes& host, const char* word) {
    return std::search(host.begin(), host.end(), word, word + 4) != host.end();
}

}  // namespace

TEST(Pic18, ReadStoresEveryAreaInTheImageOrder) {
    for (const Pic18Spec& part : {k18F452, k18F1320}) {
        SCOPED_TRACE(part.name);
        Pic18Rig r(part);
        const Bytes code = pattern(r.codeBytes(), 3);
        r.chip().loadCode(0, code);
        const Bytes data = pattern(r.dataBytes(), 4);
        if (r.hasData()) r.chip().loadData(0, data);
        const Bytes ids{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
        r.chip().loadIds(0, ids);
        const Bytes cfg{0x22, 0x00, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x81, 0xC0, 0x0F, 0xE0, 0x03, 0x40, 0x0C};
        r.chip().loadConfig(0, cfg);
        r.st.settings.ProgramSteps = 0x17;

        ASSERT_TRUE(run(r, 'R')) << lines(r);
        EXPECT_EQ(r.commands(), (kOpening + Commands{"ER p"}));
        EXPECT_EQ(r.host.lines().last(), " Read Completed");
        // The part streams low byte first; the image keeps words high byte first.
        EXPECT_EQ(r.image(0, 4), (Bytes{code[1], code[0], code[3], code[2]}));
        EXPECT_EQ(r.image(0, r.codeBytes()), swapped(code));
        if (r.hasData()) {
            EXPECT_EQ(r.image(kPic18DataPlace, r.dataBytes()), data);
        }
        EXPECT_EQ(r.image(kPic18IdPlace, 8), swapped(ids));
        EXPECT_EQ(r.image(kPic18ConfigPlace, 14), cfg);
        EXPECT_TRUE(r.sim.protocolErrors().empty());
    }
}

TEST(Pic18, OperationsOpenWithTheSupplyAndDeviceIdFrames) {
    Pic18Rig r;
    ASSERT_TRUE(run(r, 'R')) << lines(r);
    EXPECT_EQ(r.sim.hostBytes(),
              (Bytes{'C', 125, 'S', 'E', 'P', 130, 'S', 'E', 'E', 'I', 0, 0, 'E', 'R', 'p', 0}));
}

TEST(Pic18, ReadStartsAtTheFirstChosenAreaAndDropsTheOthers) {
    Pic18Rig r;
    const Bytes ids{0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
    r.chip().loadIds(0, ids);
    // Code, IDs and configuration: the data EEPROM between them is dropped.
    r.st.settings.ProgramSteps = 0x15;
    std::fill_n(r.st.buf.DeviceBuffer.begin() + kPic18DataPlace, r.dataBytes(), 0x5A);
    ASSERT_TRUE(run(r, 'R')) << lines(r);
    EXPECT_EQ(r.image(kPic18IdPlace, 8), swapped(ids));
    EXPECT_EQ(r.image(kPic18DataPlace, r.dataBytes()), Bytes(r.dataBytes(), 0x5A));
    EXPECT_EQ(r.image(kPic18ConfigPlace, 14), kDefaults27);

    // The configuration alone asks for its own area.
    r.st.settings.ProgramSteps = 0x10;
    ASSERT_TRUE(run(r, 'R')) << lines(r);
    EXPECT_EQ(r.commands(), (kOpening + Commands{"ER c"}));
    // Without a chosen configuration it is still taken from the stream.
    r.st.settings.ProgramSteps = 0x04;
    ASSERT_TRUE(run(r, 'R')) << lines(r);
    EXPECT_EQ(r.commands(), (kOpening + Commands{"ER i"}));
    // Nothing chosen reads the code, and that choice is kept.
    r.st.settings.ProgramSteps = 0;
    ASSERT_TRUE(run(r, 'R')) << lines(r);
    EXPECT_EQ(r.commands(), (kOpening + Commands{"ER p"}));
    EXPECT_EQ(r.st.settings.ProgramSteps, 1);
    EXPECT_TRUE(r.sim.protocolErrors().empty());
}

TEST(Pic18, ProgramSendsEveryAreaLowByteFirstAndVerifiesIt) {
    Pic18Rig r;
    r.fillAreas(11);
    ASSERT_TRUE(run(r, 'P')) << lines(r);
    EXPECT_EQ(r.commands(), (kOpening + Commands{"Vdd 125", "EP p 0x40", "EP d", "EP i", "Vdd 125", "ER p", "Vdd 125",
                                                "EP c", "ER c"}));
    EXPECT_EQ(r.chip().code(), swapped(r.image(0, r.codeBytes())));
    EXPECT_EQ(r.chip().dataEeprom(), r.image(kPic18DataPlace, r.dataBytes()));
    EXPECT_EQ(r.chip().ids(), swapped(r.image(kPic18IdPlace, 8)));
    Bytes cfg = r.image(kPic18ConfigPlace, 14);
    for (std::size_t i = 0; i < 14; ++i) cfg[i] &= kMask27[i];
    EXPECT_EQ(r.chip().lastProgramData(Area::Config), cfg);
    EXPECT_EQ(r.chip().lastProgramParam(), std::optional<std::uint8_t>(0x40));
    const QStringList shown = r.host.lines();
    EXPECT_TRUE(shown.contains(" Programmed"));
    EXPECT_TRUE(shown.contains(" Verifying @ Vdd = 5.0V "));
    EXPECT_EQ(shown.last(), " CONFIG Programmed");
    EXPECT_TRUE(r.sim.protocolErrors().empty());
}

TEST(Pic18, CodeGoesOutInBlocksOfAtMost0x6000Bytes) {
    Pic18Spec big = k18F452;
    big.last = 0xFFFF;
    Pic18Rig r(big);
    r.fillAreas(5);
    r.st.settings.ProgramSteps = 0x01;
    ASSERT_TRUE(run(r, 'P')) << lines(r);
    const auto writes = r.sim.hostWrites();
    const auto code = std::find(writes.begin(), writes.end(), frameBytes('E', 'P', 'p', 0x40));
    ASSERT_LT(code + 3, writes.end());
    EXPECT_EQ(code[1], swapped(r.image(0, 0x6000)));
    EXPECT_EQ(code[2], swapped(r.image(0x6000, 0x6000)));
    EXPECT_EQ(code[3], swapped(r.image(0xC000, 0x4000)));
    EXPECT_EQ(r.chip().code(), swapped(r.image(0, 0x10000)));
}

TEST(Pic18, VerifyNamesTheFirstDifferenceOfEachArea) {
    struct Case {
        std::size_t at;
        const char* line;
        std::uint8_t steps;
    };
    const Case cases[] = {
        {0x101, " Code Area ", 0x17},
        {kPic18DataPlace + 7, " Data Area ", 0x17},
        {kPic18IdPlace + 2, " ID Area ", 0x17},
        {kPic18ConfigPlace + 3, " Config Area ", 0x17},
        {kPic18ConfigPlace + 3, " Config Area ", 0x10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Pic18Rig r;
        r.fillAreas(21);
        r.st.settings.ProgramSteps = c.steps | 0x17;
        ASSERT_TRUE(run(r, 'P')) << lines(r);
        r.st.settings.ProgramSteps = c.steps;
        ASSERT_TRUE(run(r, 'V')) << lines(r);
        r.st.buf.DeviceBuffer[c.at] ^= 0x01;
        EXPECT_FALSE(run(r, 'V'));
        const QStringList shown = r.host.lines();
        ASSERT_GE(shown.size(), 3);
        EXPECT_EQ(shown[1], c.line);
        EXPECT_TRUE(shown[2].contains(QString::asprintf("%.5X", unsigned(c.at)))) << shown[2].toStdString();
        EXPECT_TRUE(sent(r.sim.hostBytes(), "ErrV"));
        EXPECT_TRUE(r.sim.protocolErrors().empty());
    }
}

TEST(Pic18, ConfigurationVerifyIgnoresBitsOutsideTheMaskRow) {
    Pic18Rig r;
    r.fillAreas(31);
    ASSERT_TRUE(run(r, 'P')) << lines(r);
    r.st.settings.ProgramSteps = 0x10;
    // CONFIG1L has no bits on page 27; CONFIG1H bit 7 is not one of its bits.
    r.st.buf.DeviceBuffer[kPic18ConfigPlace + 1] ^= 0xFF;
    r.st.buf.DeviceBuffer[kPic18ConfigPlace] ^= 0x80;
    EXPECT_TRUE(run(r, 'V')) << lines(r);
    EXPECT_EQ(r.commands(), (kOpening + Commands{"Vdd 125", "ER c"}));
}

TEST(Pic18, VerifyAtMaxAndMinSupply) {
    Pic18Rig r;
    r.fillAreas(41);
    ASSERT_TRUE(run(r, 'P')) << lines(r);
    r.st.settings.VerifyMaxMin = 1;
    r.chip().clearCommands();
    ASSERT_TRUE(run(r, 'V')) << lines(r);
    EXPECT_EQ(r.host.lines(), (QStringList{" Verifying @ Vdd<max> = 5.5V ", " Verifying @ Vdd<min> = 2.5V "}));
    EXPECT_EQ(r.commands(), (kOpening + Commands{"Vdd 137", "ER p", "Vdd 62", "ER p"}));
    // A difference at the high supply ends the run before the low one.
    r.st.buf.DeviceBuffer[0x20] ^= 0x10;
    EXPECT_FALSE(run(r, 'V'));
    EXPECT_EQ(r.commands(), (kOpening + Commands{"Vdd 137", "ER p"}));
}

TEST(Pic18, BlankCheckNamesTheAreaThatIsNotBlank) {
    {
        Pic18Rig r;
        r.st.settings.ProgramSteps = 0x01;  // every area is checked whatever was chosen
        ASSERT_TRUE(run(r, 'B')) << lines(r);
        EXPECT_EQ(r.host.lines(), QStringList{" Clean"});
    }
    struct Case {
        const char* line;
        std::function<void(sim::Pic18Chip&)> dirty;
    };
    const Case cases[] = {
        {" Code Area not Blank", [](sim::Pic18Chip& c) { c.loadCode(0x301, Bytes{0xFE}); }},
        {" Data Area not Blank", [](sim::Pic18Chip& c) { c.loadData(17, Bytes{0x00}); }},
        {" ID Area not Blank", [](sim::Pic18Chip& c) { c.loadIds(6, Bytes{0x7F}); }},
        // Blank configuration is the default bytes, not 0xFF.
        {" Config Area not Blank", [](sim::Pic18Chip& c) { c.loadConfig(2, Bytes{0x0E}); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Pic18Rig r;
        c.dirty(r.chip());
        EXPECT_FALSE(run(r, 'B'));
        EXPECT_EQ(r.host.lines(), QStringList{c.line});
        EXPECT_TRUE(sent(r.sim.hostBytes(), "ErrB"));
        EXPECT_TRUE(r.sim.protocolErrors().empty());
    }
}

TEST(Pic18, EraseClearsThePartAndChecksItBlank) {
    Pic18Rig r;
    r.fillAreas(51);
    ASSERT_TRUE(run(r, 'P')) << lines(r);
    ASSERT_FALSE(r.chip().allErased());
    ASSERT_TRUE(run(r, 'E')) << lines(r);
    EXPECT_TRUE(r.chip().allErased());
    EXPECT_EQ(r.commands(), (kOpening + Commands{"Vdd 125", "EE23", "ER p"}));
    EXPECT_EQ(r.host.lines(), QStringList{" Erase Complete"});

    // Page 32 parts get the second erase; a part that cannot be erased gets nothing.
    Pic18Spec p32 = k18F452;
    p32.page = 32;
    Pic18Rig r32(p32);
    ASSERT_TRUE(run(r32, 'E')) << lines(r32);
    EXPECT_EQ(r32.commands(), (kOpening + Commands{"Vdd 125", "EE23", "ER p", "ES23"}));
    Pic18Spec otp = k18F452;
    otp.buttons = kNoErase;
    Pic18Rig ro(otp);
    ASSERT_TRUE(run(ro, 'E')) << lines(ro);
    EXPECT_EQ(ro.commands(), (kOpening + Commands{"Vdd 125"}));
    EXPECT_EQ(ro.host.captions().last(), "Erase");
}

TEST(Pic18, EraseBeforeProgramSkipsTheBlankCheck) {
    Pic18Rig r;
    r.fillAreas(61);
    ASSERT_TRUE(run(r, 'P')) << lines(r);
    r.fillAreas(62);  // words that need bits set again: only an erase lets them in
    r.st.settings.ProgramSteps = 0x41;
    ASSERT_TRUE(run(r, 'P')) << lines(r);
    EXPECT_EQ(r.commands(), (kOpening + Commands{"Vdd 125", "EE23", "Vdd 125", "EP p 0x40", "Vdd 125", "ER p"}));
    EXPECT_FALSE(r.host.lines().contains(" Clean"));
    EXPECT_EQ(r.chip().code(), swapped(r.image(0, r.codeBytes())));

    // With the IDs but not the code chosen, the later pass programs them.
    r.fillAreas(63);
    r.st.settings.ProgramSteps = 0x44;
    ASSERT_TRUE(run(r, 'P')) << lines(r);
    EXPECT_EQ(r.commands(), (kOpening + Commands{"Vdd 125", "EE23", "Vdd 125", "EP i", "Vdd 125", "ER i"}));
    EXPECT_EQ(r.chip().ids(), swapped(r.image(kPic18IdPlace, 8)));
}

TEST(Pic18, ProgramOfTheConfigurationAloneProgramsAndVerifiesIt) {
    Pic18Rig r;
    r.fillAreas(71);
    r.st.settings.ProgramSteps = 0x10;
    ASSERT_TRUE(run(r, 'P')) << lines(r);
    EXPECT_EQ(r.commands(), (kOpening + Commands{"Vdd 125", "EP c", "ER c"}));
    Bytes cfg = r.image(kPic18ConfigPlace, 14);
    EXPECT_EQ(Bytes(r.chip().config().begin(), r.chip().config().end()), cfg);
}

TEST(Pic18, DeviceIdIsComparedWithoutRevisionBits) {
    // The simulated part answers with revision bits set: a matching record passes.
    Pic18Rig r;
    ASSERT_TRUE(run(r, 'R')) << lines(r);
    EXPECT_NE(r.chip().deviceIdReply()[0] & 0x1F, 0);
    EXPECT_TRUE(r.host.questions().isEmpty());

    for (std::uint8_t field : {0, 1}) {
        DeviceRecord rec = r.dev();
        if (field == 0) rec.DeviceId ^= 0x01; else rec.DeviceId2 ^= 0x20;
        r.st.CurrentDevice = std::make_shared<const DeviceRecord>(rec);
        r.host.queueAnswer(Answer::Abort);
        EXPECT_FALSE(run(r, 'P'));
        EXPECT_EQ(r.host.questions().last(), "Device ID mismatch|Device ID mismatch");
        EXPECT_EQ(r.host.lines(), QStringList{" Device ID mismatch!"});
        EXPECT_EQ(r.commands(), kOpening);
        EXPECT_EQ(r.host.closeCount(), int(field) + 2);  // the read before, then each run
    }
    // Retry asks again; Ignore goes on.
    r.host.queueAnswer(Answer::Retry);
    r.host.queueAnswer(Answer::Ignore);
    EXPECT_TRUE(run(r, 'R')) << lines(r);
    EXPECT_EQ(r.commands(), (Commands{"Vdd 125", "Vpp 130", "EI", "EI", "ER p"}));
}

TEST(Pic18, ProgrammingFailureNamesTheWordAndStops) {
    Pic18Rig r;
    r.fillAreas(81);
    r.st.buf.DeviceBuffer[0x10] = 0x12;
    r.st.buf.DeviceBuffer[0x11] = 0x34;
    r.sim.faults().stickBit(0x11, 0);
    EXPECT_FALSE(run(r, 'P'));
    EXPECT_EQ(r.host.lines(), QStringList{" Programming Error @ 0x00010 Ram = 0x1234 18F452 = 0x1235"});
    EXPECT_EQ(r.commands().back(), "EP p 0x40");
    EXPECT_FALSE(sent(r.sim.hostBytes(), "ErrV"));
}

TEST(Pic18, ProgramFrameWithoutSendFails) {
    Pic18Rig r;
    r.fillAreas(91);
    r.st.settings.ProgramSteps = 0x04;
    r.sim.faults().programSend = "Nope";
    EXPECT_FALSE(run(r, 'P'));
    EXPECT_EQ(r.host.lines(), QStringList{" Programmer did not ask for data"});
    EXPECT_EQ(r.sim.hostWrites().back(), frameBytes('E', 'P', 'i'));
    EXPECT_TRUE(r.chip().allErased());
}

TEST(Pic18, SilentOrStalledProgrammerEndsWithAReadError) {
    {
        Pic18Rig r;
        r.sim.faults().silent = true;
        EXPECT_FALSE(run(r, 'R'));
        EXPECT_EQ(r.host.lines(), QStringList{" Error with read"});
        EXPECT_TRUE(r.host.questions().isEmpty());
    }
    {
        Pic18Rig r;
        r.sim.faults().streamStallsAfter = 100;
        EXPECT_FALSE(run(r, 'R'));
        EXPECT_EQ(r.host.lines(), QStringList{" Error with read"});
    }
    {
        Pic18Rig r;
        r.fillAreas(5);
        r.sim.faults().acksStallAfter = 40;
        EXPECT_FALSE(run(r, 'P'));
        EXPECT_EQ(r.host.lines(), QStringList{" Error with read"});
    }
}

TEST(Pic18, RecordsTheImageCannotHoldFailBeforeAnyTraffic) {
    struct Case {
        Pic18Spec part;
        QString line;
    };
    Pic18Spec hugeData = k18F452;
    hugeData.eesize = 0xFFFF;
    Pic18Spec calibrated = k18F452;
    calibrated.steps |= 0x08;
    for (const Case& c : {Case{hugeData, " Device doesn't fit in allocated buffer"},
                          Case{calibrated, " Device record has a calibration area PIC18 parts do not have"}}) {
        Pic18Rig r(c.part);
        EXPECT_FALSE(run(r, 'R'));
        EXPECT_EQ(r.host.lines(), QStringList{c.line});
        EXPECT_TRUE(r.sim.hostBytes().empty());
        EXPECT_EQ(r.host.closeCount(), 1);
    }
}

TEST(Pic18, AbortDuringTheVerifyOfAProgramLeavesNothingForTheNextReply) {
    Pic18Rig r;
    r.fillAreas(101);
    r.host.onGauge = [&](int, int pos) {
        const auto& cmds = r.chip().commands();
        if (pos >= 0x200 && !cmds.empty() && cmds.back() == "ER p" && r.st.RunFlag.load()) r.pressAbort();
    };
    run(r, 'P');
    EXPECT_EQ(r.st.RunFlag.load(), 0);
    EXPECT_FALSE(r.host.lines().contains(" CONFIG Programmed"));
    r.host.onGauge = nullptr;
    std::fill_n(r.st.buf.DeviceBuffer.begin(), r.codeBytes(), 0);
    EXPECT_TRUE(run(r, 'R')) << lines(r);
    EXPECT_EQ(r.image(0, r.codeBytes()), swapped(r.chip().code()));
    EXPECT_TRUE(r.sim.protocolErrors().empty());
}

TEST(Pic18, MaskRowsByPageCode) {
    EXPECT_EQ(pic18MaskFor(27), (Pic18Mask{0x27, 0x00, 0x0F, 0x0F, 0x01, 0x00, 0x00, 0x85, 0xC0, 0x0F, 0xE0, 0x0F,
                                           0x40, 0x0F}));
    EXPECT_EQ(pic18MaskFor(42), (Pic18Mask{0xCF, 0x3F, 0x1F, 0x3F, 0x86, 0x00, 0x00, 0xED, 0x40, 0x03, 0x60, 0x03,
                                           0x40, 0x03}));
    Pic18Mask all;
    all.fill(0xFF);
    EXPECT_EQ(pic18MaskFor(99), all);
}

TEST(Pic18, DispatchRunsTheFamily) {
    EXPECT_TRUE(familyHasRoutine(k18F452.record()));
    Pic18Rig r;
    r.fillAreas(7);
    r.st.OperationCode = 'P';
    r.st.RunFlag = 1;
    ExecuteOperation(r.st);
    EXPECT_EQ(r.st.ErrorFlag.get(), 0) << lines(r);
    EXPECT_EQ(r.chip().ids(), swapped(r.image(kPic18IdPlace, 8)));
    EXPECT_EQ(r.chip().lastProgramParam(), std::optional<std::uint8_t>(0x40));
}

namespace {
class Pic18WindowTest : public MainWindowRig {};
}  // namespace

TEST_F(Pic18WindowTest, ToolbarProgramsAndReadsBackAPic18) {
    const auto found = findDevice(3, [](const DeviceRecord& d) { return d.isPic18() && !(d.StepMask & 0x08); });
    ASSERT_TRUE(found) << "no PIC18 part in the sample data";
    select(found->place);
    ASSERT_TRUE(st().dev());
    ASSERT_TRUE(st().dev()->isPic18());
    st().settings.VerifyMaxMin = 0;
    st().settings.ProgramSteps = 0x01;
    clearLogs();
    ASSERT_TRUE(w().SB_Prog->isEnabled());
    ASSERT_TRUE(w().SB_Read->isEnabled());

    const std::uint32_t n = st().dev()->LastAddress + 1;
    const Bytes code = pattern(n, 17);
    std::copy(code.begin(), code.end(), st().buf.DeviceBuffer.begin());
    w().BitBtn1->click();

    w().SB_Prog->click();
    QStringList shown = w().memoLines();
    EXPECT_TRUE(shown.contains(" Programmed")) << shown.join('\n').toStdString();
    EXPECT_TRUE(shown.contains(" Verifying @ Vdd = 5.0V "));
    EXPECT_EQ(w().ProgCorrect->text(), "1");
    EXPECT_EQ(sim_.chip()->memory(), swapped(code));

    std::fill_n(st().buf.DeviceBuffer.begin(), n, 0);
    clearLogs();
    w().SB_Read->click();
    shown = w().memoLines();
    EXPECT_TRUE(shown.contains(" Read Completed")) << shown.join('\n').toStdString();
    EXPECT_EQ(Bytes(st().buf.DeviceBuffer.begin(), st().buf.DeviceBuffer.begin() + n), code);
}
