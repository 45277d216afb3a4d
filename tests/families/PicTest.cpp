// PIC10/12/16 operations end to end on the simulated programmer.
#include <gtest/gtest.h>

#include <algorithm>

#include "FamilyRig.h"
#include "families/Pic.h"
#include "operations/Dispatch.h"
#include "sim/PicChip.h"
#include "support/MainWindowRig.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

using Area = sim::PicChip::Area;

constexpr std::uint16_t kNoErase = kAllButtons & ~std::uint16_t(1u << BtnErase);

struct PicSpec {
    std::string name = "16F84A";
    std::int8_t alg = 0;
    std::uint8_t page = 9;
    std::uint32_t last = 0x7FF;
    std::uint8_t blank = 0x3F;
    std::uint16_t eesize = 63;
    std::vector<std::uint8_t> masks = {0x00, 0x1F};
    std::uint8_t dev = 0x05, dev2 = 0x60;
    std::uint8_t steps = 0x57;
    std::uint16_t buttons = kAllButtons;
    float vpp = 13.0f;

    DeviceRecord record() const {
        return RecordImage('C')
            .algorithm(alg)
            .name(name)
            .voltages(5.0f, 5.5f, 2.0f, vpp)
            .lastAddress(last)
            .deviceId(dev)
            .deviceId2(dev2)
            .pageCode(page)
            .blankByte(blank)
            .dataEepromSize(eesize)
            .configMaskCount(std::uint8_t(masks.size()))
            .configMasks(masks)
            .buttons(buttons)
            .stepMask(steps)
            .build();
    }
};

// Parts of the kinds the family tells apart.
const PicSpec k16F84A{};
const PicSpec k16F1827{"16F1827", 0, 46, 0x1FFF, 0x3F, 255, {0x3F, 0xFF, 0x3F, 0xF7}, 0x27, 0xA0, 0x57};
const PicSpec k12F629{"12F629", 0, 32, 0x7FF, 0x3F, 127, {0x31, 0xFF}, 0x0F, 0x80, 0x57};
const PicSpec k10F200{"10F200", 11, 5, 0x1FF, 0x0F, 0, {0x00, 0x1F}, 0, 0, 0x55};
const PicSpec k12C508{"12C508", 6, 15, 0x3FF, 0x0F, 0, {0x00, 0x1F}, 0, 0, 0x15, kNoErase};
const PicSpec k16C54{"16C54", 5, 40, 0x3FF, 0x0F, 0, {0x00, 0x1F}, 0, 0, 0x15, kNoErase};
const PicSpec k12F683{"12F683", 0, 16, 0xFFF, 0x3F, 255, {0x0F, 0xFF}, 0x04, 0x60, 0x5F};
const PicSpec k16F1459{"16F1459", 0, 49, 0x3FFF, 0x3F, 0, {0x3F, 0xFF, 0x3F, 0xF7}, 0x30, 0x24, 0x55};
// A page code 40 part with a data EEPROM, whose area has no frame letter.
const PicSpec k16C54Eeprom{"16CE54", 0, 40, 0x3FF, 0x0F, 15, {0x00, 0x1F}, 0, 0, 0x57};

struct PicRig : FamilyRig {
    explicit PicRig(const PicSpec& part = k16F84A) : FamilyRig(part.record()) {
        st.pause = [](int) {};
        st.settings.ProgramSteps = std::uint8_t(dev().StepMask & 0x17);
        st.settings.VerifyMaxMin = 0;
    }
    sim::PicChip& chip() { return dynamic_cast<sim::PicChip&>(*sim.chip()); }
    PicAreas layout() const { return picAreas(dev()); }

    // An image a part can take: words within the erased value, every area filled.
    void fillAreas(std::uint32_t seed) {
        const PicAreas l = layout();
        Bytes code = pattern(l.codeBytes, seed);
        for (std::size_t i = 0; i < code.size(); i += 2) code[i] &= dev().BlankByte;
        fillImage(code);
        if (l.data.present) {
            Bytes data = pattern(l.data.len, seed + 1);
            for (std::size_t i = 0; i < data.size(); i += 2) data[i] = dev().BlankByte;
            fillImage(data, l.data.buf);
        }
        Bytes ids = pattern(8, seed + 2);
        for (std::size_t i = 0; i < ids.size(); i += 2) ids[i] &= dev().BlankByte;
        fillImage(ids, l.id.buf);
        Bytes cfg = pattern(l.config.len, seed + 3);
        for (std::size_t i = 0; i < cfg.size(); ++i) cfg[i] &= dev().ConfigMasks[i];
        fillImage(cfg, l.config.buf);
    }
    // The data EEPROM bytes of the image (the low half of each word).
    Bytes imageData() const {
        Bytes b;
        const PicAreas l = layout();
        for (std::size_t i = 1; i < l.data.len; i += 2) b.push_back(st.buf.DeviceBuffer[l.data.buf + i]);
        return b;
    }
    Bytes maskedConfig(const Bytes& c) const {
        Bytes out = c;
        for (std::size_t i = 0; i < out.size(); ++i) out[i] &= dev().ConfigMasks[i];
        return out;
    }
    std::vector<std::string> commands() { return chip().commands(); }
};

// What the worker does for kind 'C': no check, the operation routine.
bool run(PicRig& r, char op) {
    r.startRun(op);
    r.sim.clearLog();
    r.chip().clearCommands();
    r.host.memoClear();
    PicDoOperation(r.st);
    return r.st.ErrorFlag.get() == 0;
}

using Commands = std::vector<std::string>;

// The supply frames every operation opens with, and the device-ID question.
Commands opening(const PicRig& r) {
    Commands c{"Vdd 125", "Vpp " + std::to_string(int(r.dev().Vpp * 10))};
    if (r.dev().DeviceId != 0) c.insert(c.end(), {"Vdd 125", "EI"});
    return c;
}
Commands operator+(Commands a, const Commands& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string lines(const PicRig& r) { return r.host.lines().join('\n').toStdString(); }

}  // namespace

TEST(Pic, SupplyFramesCarryTheVoltageBytes) {
    PicSpec part = k16F1827;
    part.vpp = 9.0f;
    PicRig r(part);
    EXPECT_TRUE(run(r, 'R')) << lines(r);
    const Bytes host = r.sim.hostBytes();
    ASSERT_GE(host.size(), 8u);
    EXPECT_EQ(Bytes(host.begin(), host.begin() + 8), (Bytes{'C', 125, 'S', 'E', 'P', 90, 'S', 'E'}));
    EXPECT_EQ(r.chip().lastVpp(), std::optional<std::uint8_t>(90));
}

TEST(Pic, FramesGoOutAsWholeFourByteWritesAndAreasAsOneWrite) {
    PicRig r(k12F629);
    r.fillAreas(13);
    ASSERT_TRUE(run(r, 'R')) << lines(r);
    EXPECT_EQ(r.sim.hostBytes(), (Bytes{'C', 125, 'S', 'E', 'P', 130, 'S', 'E', 'C', 125, 'S', 'E', 'E', 'I', 0, 0,
                                        'E', 'R', 'p', 0}));
    r.fillAreas(13);
    ASSERT_TRUE(run(r, 'P')) << lines(r);
    const auto writes = r.sim.hostWrites();
    const PicAreas l = r.layout();
    // The code area goes whole: the image less its calibration word, and a filler.
    const auto code = std::find(writes.begin(), writes.end(), frameBytes('E', 'P', 'p'));
    ASSERT_NE(code, writes.end());
    ASSERT_LT(code + 1, writes.end());
    EXPECT_EQ(code[1], r.image(0, l.codeBytes - 2) + r.image(0, 2));
    const auto data = std::find(writes.begin(), writes.end(), frameBytes('E', 'P', 'd'));
    ASSERT_NE(data, writes.end());
    EXPECT_EQ(data[1], r.image(l.data.buf, l.data.len));
    const auto ids = std::find(writes.begin(), writes.end(), frameBytes('E', 'P', 'i'));
    ASSERT_NE(ids, writes.end());
    EXPECT_EQ(ids[1], r.image(l.id.buf, 8));
    const auto cfg = std::find(writes.begin(), writes.end(), frameBytes('E', 'P', 'c'));
    ASSERT_NE(cfg, writes.end());
    EXPECT_EQ(cfg[1], (Bytes{std::uint8_t(r.st.buf.DeviceBuffer[l.config.buf] | 0x30),
                             r.st.buf.DeviceBuffer[l.config.buf + 1]}));
}

TEST(Pic, ReadStoresEveryChosenAreaInItsPlace) {
    for (const PicSpec& part : {k16F84A, k16F1827, k12F629, k10F200, k12C508, k16C54, k12F683}) {
        SCOPED_TRACE(part.name);
        PicRig r(part);
        const PicAreas l = r.layout();
        auto& chip = r.chip();
        const Bytes code = pattern(l.codeBytes, 3);
        Bytes codeWords = code;
        for (std::size_t i = 0; i < codeWords.size(); i += 2) codeWords[i] &= part.blank;
        chip.load(0, codeWords);
        const Bytes data = pattern(part.eesize + 1, 4);
        if (l.data.present) chip.loadData(0, data);
        const Bytes ids{0x01, 0x23, 0x02, 0x34, 0x03, 0x45, 0x00, 0x56};
        chip.loadIds(0, ids);
        chip.setIdBackup({0x0C, 0x25});
        chip.setCalibration({0x34, 0x7C});
        Bytes cfg = pattern(l.config.len, 5);
        // Protection off: a protected part reads its code and data as 0.
        for (std::size_t i = 0; i < cfg.size(); ++i)
            cfg[i] |= chip.configRules().codeProtection(i) | chip.configRules().dataProtection(i);
        chip.loadConfig(0, cfg);
        r.st.settings.ProgramSteps = std::uint8_t(part.steps & 0x1F);

        ASSERT_TRUE(run(r, 'R')) << lines(r);
        EXPECT_EQ(r.commands(), opening(r) + Commands{"ER p"});
        EXPECT_EQ(r.host.lines().last(), " Read Completed");
        EXPECT_EQ(r.image(0, l.codeBytes), chip.code());
        if (l.data.present) {
            EXPECT_EQ(r.imageData(), chip.dataEeprom());
        }
        EXPECT_EQ(r.image(l.id.buf, 8), chip.ids());
        if (l.idPairBytes) {
            EXPECT_EQ(r.image(l.id.buf + 8, 2), (Bytes{0x0C, 0x25}));
        }
        if (l.hasCalibration) {
            const auto cal = chip.calibration();
            EXPECT_EQ(r.image(l.calibrationPlace, 2), Bytes(cal.begin(), cal.end()));
        }
        EXPECT_EQ(r.image(l.config.buf, l.config.len), r.maskedConfig(chip.config()));
        EXPECT_TRUE(r.sim.protocolErrors().empty());
    }
}

TEST(Pic, ReadWithoutTheDataAreaDropsItFromTheStream) {
    PicRig r(k16F84A);
    const PicAreas l = r.layout();
    r.chip().loadData(0, pattern(64, 9));
    const Bytes cfg{0x3F, 0x1B};
    r.chip().loadConfig(0, cfg);
    const Bytes before = r.image(l.data.buf, l.data.len);
    r.st.settings.ProgramSteps = PicStepCode | PicStepId | PicStepConfig;
    ASSERT_TRUE(run(r, 'R')) << lines(r);
    EXPECT_EQ(r.commands(), opening(r) + Commands{"ER p"});
    EXPECT_EQ(r.image(l.data.buf, l.data.len), before);
    EXPECT_EQ(r.image(l.config.buf, 2), (Bytes{0x00, 0x1B}));
}

TEST(Pic, StreamStartsAtTheFirstChosenArea) {
    struct Case {
        std::uint8_t steps;
        char op;
        std::string frame;
    };
    for (const Case& c : {Case{PicStepConfig, 'V', "ER c"}, Case{PicStepId | PicStepConfig, 'R', "ER i"},
                          Case{PicStepData, 'R', "ER d"}, Case{PicStepData | PicStepId, 'B', "ER d"}}) {
        SCOPED_TRACE(c.frame);
        PicRig r(k16F84A);
        r.st.settings.ProgramSteps = c.steps;
        EXPECT_TRUE(run(r, c.op)) << lines(r);
        EXPECT_EQ(r.commands().back(), c.frame);
        EXPECT_TRUE(r.sim.protocolErrors().empty());
    }
}

TEST(Pic, ProgramWritesEveryAreaAndVerifiesIt) {
    for (const PicSpec& part : {k16F84A, k16F1827, k12F629, k10F200, k12C508, k12F683, k16C54Eeprom}) {
        SCOPED_TRACE(part.name);
        PicRig r(part);
        r.fillAreas(11);
        const PicAreas l = r.layout();
        const auto factory = r.chip().code();

        ASSERT_TRUE(run(r, 'P')) << lines(r);
        Commands want = opening(r) + Commands{"Vdd 125", "EP p"};
        if (l.data.present) want.push_back(part.page == 40 ? "EP 0x00" : "EP d");
        want = want + Commands{"EP i", "Vdd 125", "ER p", "Vdd 125", "EP c", "ER c"};
        EXPECT_EQ(r.commands(), want);
        EXPECT_EQ(r.host.lines(), (QStringList{" Programmed", " Verifying @ Vdd = 5.0V ", " CONFIG Programmed"}));

        const bool calibrated = part.page == 32 || part.alg == 6 || part.alg == 11;
        const std::size_t user = calibrated ? l.codeBytes - 2 : l.codeBytes;
        const auto& code = r.chip().code();
        EXPECT_EQ(Bytes(code.begin(), code.begin() + std::ptrdiff_t(user)), r.image(0, user));
        if (calibrated) {
            // The factory word stays; the programmer got a filler in its place.
            EXPECT_EQ(Bytes(code.end() - 2, code.end()), Bytes(factory.end() - 2, factory.end()));
            const Bytes sent = r.chip().lastProgramData(Area::Code);
            ASSERT_EQ(sent.size(), l.codeBytes);
            EXPECT_EQ(Bytes(sent.end() - 2, sent.end()), r.image(0, 2));
        }
        if (l.data.present) {
            EXPECT_EQ(r.chip().dataEeprom(), r.imageData());
        }
        EXPECT_EQ(r.chip().ids(), r.image(l.id.buf, 8));
        Bytes cfg = r.maskedConfig(r.chip().config());
        if (part.page == 32) cfg[0] = r.chip().config()[0] & 0x01;
        Bytes want_cfg = r.image(l.config.buf, l.config.len);
        if (part.page == 32) want_cfg[0] &= 0x01;
        EXPECT_EQ(cfg, want_cfg);
        EXPECT_TRUE(r.sim.protocolErrors().empty());
    }
}

TEST(Pic, CalibratedPartsSendTheirHighConfigByteWithTheFactoryBitsSet) {
    PicRig r(k12F629);
    r.fillAreas(5);
    r.st.buf.DeviceBuffer[r.layout().config.buf] = 0x01;
    ASSERT_TRUE(run(r, 'P')) << lines(r);
    const Bytes sent = r.chip().lastProgramData(Area::Config);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], 0x31);
}

TEST(Pic, VerifyAtMaxAndMinSupply) {
    PicRig r(k16F84A);
    r.fillAreas(21);
    ASSERT_TRUE(run(r, 'P')) << lines(r);
    r.st.settings.VerifyMaxMin = 1;
    r.st.settings.ProgramSteps = PicStepCode | PicStepData | PicStepId | PicStepConfig;
    ASSERT_TRUE(run(r, 'V')) << lines(r);
    EXPECT_EQ(r.host.lines().mid(r.host.lines().size() - 2),
              (QStringList{" Verifying @ Vdd<max> = 5.5V ", " Verifying @ Vdd<min> = 2.0V "}));
    EXPECT_TRUE(r.host.captions().contains(" Verifying @ Vdd<min> = 2.0V "));
    EXPECT_EQ(r.commands(), opening(r) + Commands({"Vdd 137", "ER p", "Vdd 50", "ER p"}));
}

TEST(Pic, VerifyReportsTheFirstDifferenceOfEachArea) {
    struct Case {
        const char* area;
        std::size_t (*place)(const PicAreas&);
        std::uint8_t flip;
    };
    const Case cases[] = {
        {" Code Area ", [](const PicAreas&) -> std::size_t { return 0x21; }, 0x01},
        {" Data Area ", [](const PicAreas& l) -> std::size_t { return l.data.buf + 5; }, 0x80},
        {" ID Area ", [](const PicAreas& l) -> std::size_t { return l.id.buf + 3; }, 0x10},
        {" Config Area ", [](const PicAreas& l) -> std::size_t { return l.config.buf + 1; }, 0x04},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.area);
        PicRig r(k16F84A);
        r.fillAreas(31);
        ASSERT_TRUE(run(r, 'P')) << lines(r);
        const std::size_t at = c.place(r.layout());
        const std::uint8_t device = r.st.buf.DeviceBuffer[at];
        r.st.buf.DeviceBuffer[at] ^= c.flip;
        r.st.settings.ProgramSteps = PicStepCode | PicStepData | PicStepId | PicStepConfig;

        EXPECT_FALSE(run(r, 'V'));
        const QStringList shown = r.host.lines();
        ASSERT_GE(shown.size(), 2);
        EXPECT_EQ(shown[shown.size() - 2], c.area);
        EXPECT_EQ(shown.last(), QString::asprintf("  Compare Error @ 0x%.5X Ram = 0x%.2X 16F84A = 0x%.2X", unsigned(at),
                                                  unsigned(device ^ c.flip), unsigned(device)));
        const Bytes host = r.sim.hostBytes();
        EXPECT_EQ(Bytes(host.end() - 4, host.end()), word("ErrV"));
    }
}

TEST(Pic, CalibrationWordIsLeftOutOfProgramVerifyAndBlankCheck) {
    for (const PicSpec& part : {k12F629, k10F200, k12C508}) {
        SCOPED_TRACE(part.name);
        PicRig r(part);
        const PicAreas l = r.layout();
        // The factory value is not what the image holds, and not blank either.
        EXPECT_TRUE(run(r, 'B')) << lines(r);
        EXPECT_EQ(r.host.lines().last(), " Clean");
        r.fillAreas(41);
        r.st.buf.DeviceBuffer[l.codeBytes - 2] = 0x00;
        r.st.buf.DeviceBuffer[l.codeBytes - 1] = 0x00;
        EXPECT_TRUE(run(r, 'P')) << lines(r);
        EXPECT_TRUE(run(r, 'V')) << lines(r);
        // A read takes the code area whole, the calibration word included.
        EXPECT_TRUE(run(r, 'R')) << lines(r);
        EXPECT_EQ(r.image(l.codeBytes - 2, 2), Bytes(r.chip().code().end() - 2, r.chip().code().end()));
        EXPECT_NE(r.image(l.codeBytes - 2, 2), (Bytes{0x00, 0x00}));
    }
}

TEST(Pic, OnlyAlgorithmFiveBlankCheckSkipsTheLastWordOfOrdinaryParts) {
    for (bool algorithm5 : {true, false}) {
        SCOPED_TRACE(algorithm5);
        PicSpec part = k16C54;
        if (!algorithm5) part.alg = 0;
        PicRig r(part);
        const std::size_t last = part.last - 1;
        r.chip().load(last, Bytes{0x00, 0x12});
        EXPECT_EQ(run(r, 'B'), algorithm5) << lines(r);
        EXPECT_EQ(r.host.lines().last(), algorithm5 ? " Clean" : " Code Area not Blank");
        // A verify compares that word all the same.
        r.fillAreas(3);
        r.st.buf.DeviceBuffer[last] = 0x0F;
        r.st.buf.DeviceBuffer[last + 1] = 0xFF;
        EXPECT_FALSE(run(r, 'V'));
        EXPECT_EQ(r.host.lines().mid(1, 1), QStringList{" Code Area "}) << lines(r);
    }
}

TEST(Pic, BlankCheckNamesTheAreaThatIsNotBlank) {
    struct Case {
        std::string line;
        std::function<void(sim::PicChip&)> dirty;
        std::uint8_t steps;
    };
    const std::vector<Case> cases = {
        {" Code Area not Blank", [](sim::PicChip& c) { c.load(0x100, Bytes{0x3F, 0xFE}); }, 0x17},
        // The data EEPROM is tested even when it is not chosen.
        {" Data Area not Blank", [](sim::PicChip& c) { c.loadData(7, Bytes{0x00}); }, 0x15},
        {" ID Area not Blank", [](sim::PicChip& c) { c.loadIds(6, Bytes{0x00}); }, 0x17},
        {" Config Area not Blank", [](sim::PicChip& c) { c.loadConfig(1, Bytes{0x1E}); }, 0x17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        PicRig r(k16F84A);
        r.st.settings.ProgramSteps = c.steps;
        EXPECT_TRUE(run(r, 'B'));
        EXPECT_EQ(r.host.lines().last(), " Clean");
        c.dirty(r.chip());
        EXPECT_FALSE(run(r, 'B'));
        EXPECT_EQ(r.host.lines(), QStringList{QString::fromStdString(c.line)});
        const Bytes host = r.sim.hostBytes();
        EXPECT_EQ(Bytes(host.end() - 4, host.end()), word("ErrB"));
        EXPECT_EQ(r.st.ErrorFlag.get(), 1);
    }
}

TEST(Pic, EraseClearsThePartAndChecksItBlank) {
    for (const PicSpec& part : {k16F84A, k12F629, k16F1827}) {
        SCOPED_TRACE(part.name);
        PicRig r(part);
        r.fillAreas(51);
        ASSERT_TRUE(run(r, 'P')) << lines(r);
        ASSERT_FALSE(r.chip().allErased());
        // The calibrated parts' blank check compares bit 0 of the first
        // configuration byte with the image, as their verify does.
        if (part.page == 32) r.st.buf.DeviceBuffer[r.layout().config.buf] |= 0x01;
        ASSERT_TRUE(run(r, 'E')) << lines(r);
        Commands want = opening(r) + Commands{"Vdd 125", "EE23", "ER p"};
        if (part.page == 32) want.push_back("ES23");
        EXPECT_EQ(r.commands(), want);
        EXPECT_EQ(r.host.lines(), QStringList{" Erase Complete"});
        EXPECT_TRUE(r.chip().allErased());
    }
}

TEST(Pic, EraseOfAPartThatCannotBeErasedSendsOnlyTheSupply) {
    PicRig r(k12C508);
    EXPECT_TRUE(run(r, 'E'));
    EXPECT_EQ(r.commands(), (Commands{"Vdd 125", "Vpp 130", "Vdd 125"}));
    EXPECT_TRUE(r.host.lines().isEmpty());
}

TEST(Pic, EraseBeforeProgramThenProgramsTheChosenAreas) {
    for (std::uint8_t steps : {std::uint8_t(0x57), std::uint8_t(0x54)}) {
        SCOPED_TRACE(int(steps));
        PicRig r(k16F84A);
        r.chip().load(0, Bytes{0x00, 0x00});
        r.fillAreas(61);
        r.st.settings.ProgramSteps = steps;
        ASSERT_TRUE(run(r, 'P')) << lines(r);
        const Commands cmds = r.commands();
        EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "EE23"), 1);
        EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "EP i"), 1);
        EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "EP c"), 1);
        EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "EP p"), steps & 1 ? 1 : 0);
        EXPECT_EQ(r.chip().ids(), r.image(r.layout().id.buf, 8));
        EXPECT_TRUE(r.host.lines().contains(" Programmed"));
        EXPECT_TRUE(r.host.lines().contains(" CONFIG Programmed"));
    }
}

TEST(Pic, ProgramOfTheConfigurationAloneProgramsAndVerifiesIt) {
    PicRig r(k16F84A);
    r.fillAreas(71);
    r.st.settings.ProgramSteps = PicStepConfig;
    ASSERT_TRUE(run(r, 'P')) << lines(r);
    EXPECT_EQ(r.commands(), opening(r) + Commands({"Vdd 125", "EP c", "ER c"}));
    EXPECT_EQ(r.host.lines(), QStringList{" CONFIG Programmed"});
    EXPECT_EQ(r.chip().config(), r.image(r.layout().config.buf, 2));
}

TEST(Pic, DeviceIdIsComparedWithoutRevisionBits) {
    struct Case {
        PicSpec part;
        std::vector<std::uint8_t> reply;
        bool matches;
    };
    const Case cases[] = {
        {k16F84A, {0xC5, 0x7F}, true},    // flags above the ID and revision bits are not compared
        {k16F84A, {0x05, 0x40}, false},
        {k16F84A, {0x06, 0x60}, false},
        {k16F1459, {0x30, 0x24}, true},   // page 49: the whole second byte
        {k16F1459, {0x30, 0x25}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part.name + " " + std::to_string(c.reply[1]));
        PicRig r(c.part);
        r.sim.faults().signature = c.reply;
        r.host.queueAnswer(Answer::Abort);
        EXPECT_EQ(run(r, 'R'), c.matches) << lines(r);
        EXPECT_EQ(r.host.questions().size(), c.matches ? 0 : 1);
        if (!c.matches) {
            EXPECT_EQ(r.host.questions().first(), "Device ID mismatch|Device ID mismatch");
            EXPECT_EQ(r.host.lines(), QStringList{" Device ID mismatch!"});
            EXPECT_EQ(r.commands(), opening(r));
        }
    }
}

TEST(Pic, DeviceIdRetryAsksAgainAndIgnoreGoesOn) {
    PicRig r(k16F84A);
    r.sim.faults().signature = std::vector<std::uint8_t>{0x01, 0x00};
    r.host.queueAnswer(Answer::Retry);
    r.host.queueAnswer(Answer::Ignore);
    EXPECT_TRUE(run(r, 'R')) << lines(r);
    EXPECT_EQ(r.commands(), (Commands{"Vdd 125", "Vpp 130", "Vdd 125", "EI", "EI", "ER p"}));
    EXPECT_EQ(r.host.questions().size(), 2);
}

TEST(Pic, ASilentProgrammerFailsTheDeviceIdInsteadOfHanging) {
    PicRig r(k16F84A);
    r.sim.faults().silent = true;
    EXPECT_FALSE(run(r, 'R'));
    EXPECT_EQ(r.host.lines(), QStringList{" Error with read"});
    EXPECT_TRUE(r.host.questions().isEmpty());
}

TEST(Pic, ProgrammingFailureNamesTheWordAndStops) {
    PicRig r(k16F84A);
    r.fillAreas(81);
    // Image word 8 has bit 0 clear in its low byte; the part keeps it set.
    r.st.buf.DeviceBuffer[0x10] = 0x12;
    r.st.buf.DeviceBuffer[0x11] = 0x34;
    r.sim.faults().stickBit(0x11, 0);
    EXPECT_FALSE(run(r, 'P'));
    EXPECT_EQ(r.host.lines(),
              QStringList{" Programming Error @ 0x00010 Ram = 0x1234 16F84A = 0x1235"});
    EXPECT_EQ(r.commands().back(), "EP p");
}

TEST(Pic, ProgramFrameWithoutSendSendsNoDataAndFails) {
    PicRig r(k16F84A);
    r.fillAreas(91);
    r.sim.faults().programSend = "Nope";
    EXPECT_FALSE(run(r, 'P'));
    EXPECT_EQ(r.host.lines(), QStringList{" Programmer did not ask for data"});
    const auto writes = r.sim.hostWrites();
    EXPECT_EQ(writes.back(), frameBytes('E', 'P', 'p'));
    EXPECT_TRUE(r.chip().allErased());
}

TEST(Pic, StalledStreamsAndAcknowledgementsEndWithAReadError) {
    {
        PicRig r(k16F84A);
        r.sim.faults().streamStallsAfter = 100;
        EXPECT_FALSE(run(r, 'R'));
        EXPECT_EQ(r.host.lines(), QStringList{" Error with read"});
    }
    {
        PicRig r(k16F84A);
        r.fillAreas(5);
        r.sim.faults().acksStallAfter = 40;
        EXPECT_FALSE(run(r, 'P'));
        EXPECT_EQ(r.host.lines(), QStringList{" Error with read"});
    }
}

TEST(Pic, AreasOutsideTheImageFailBeforeAnyTraffic) {
    struct Case {
        PicSpec part;
        std::string line;
    };
    PicSpec hugeData = k16F1827;
    hugeData.eesize = 0xFFFF;
    PicSpec manyConfig = k16F84A;
    manyConfig.masks.assign(16, 0xFF);
    for (const Case& c : {Case{hugeData, " Device doesn't fit in allocated buffer"}}) {
        PicRig r(c.part);
        EXPECT_FALSE(run(r, 'R'));
        EXPECT_EQ(r.host.lines(), QStringList{QString::fromStdString(c.line)});
        EXPECT_TRUE(r.sim.hostBytes().empty());
        EXPECT_EQ(r.host.closeCount(), 1);
    }
    // A configuration count beyond the record's sixteen masks.
    DeviceRecord rec = manyConfig.record();
    rec.ConfigMaskCount = 17;
    PicRig r(manyConfig);
    r.st.CurrentDevice = std::make_shared<const DeviceRecord>(rec);
    EXPECT_FALSE(run(r, 'V'));
    EXPECT_EQ(r.host.lines(), QStringList{" Device record has too many configuration bytes"});
    EXPECT_TRUE(r.sim.hostBytes().empty());
}

TEST(Pic, AbortDuringTheVerifyOfAProgramLeavesNothingForTheNextReply) {
    PicRig r(k16F84A);
    r.fillAreas(101);
    r.host.onGauge = [&](int, int pos) {
        const auto& cmds = r.chip().commands();
        if (pos >= 0x200 && !cmds.empty() && cmds.back() == "ER p" && r.st.RunFlag.load()) r.pressAbort();
    };
    run(r, 'P');
    EXPECT_EQ(r.st.RunFlag.load(), 0);
    EXPECT_FALSE(r.host.lines().contains(" CONFIG Programmed"));
    r.host.onGauge = nullptr;
    // The next operation reads the part from its first byte.
    std::fill_n(r.st.buf.DeviceBuffer.begin(), 0x800, 0);
    EXPECT_TRUE(run(r, 'R')) << lines(r);
    EXPECT_EQ(r.image(0, 0x800), r.chip().code());
    EXPECT_TRUE(r.sim.protocolErrors().empty()) << r.sim.protocolErrors().front();
}

TEST(Pic, DispatchRunsTheFamily) {
    EXPECT_TRUE(familyHasRoutine(k16F84A.record()));

    PicRig r(k16F84A);
    r.fillAreas(7);
    r.st.OperationCode = 'P';
    r.st.RunFlag = 1;
    ExecuteOperation(r.st);
    EXPECT_EQ(r.st.ErrorFlag.get(), 0) << lines(r);
    EXPECT_EQ(r.chip().ids(), r.image(r.layout().id.buf, 8));
}

namespace {
class PicWindowTest : public MainWindowRig {};
}  // namespace

TEST_F(PicWindowTest, ToolbarProgramsAndReadsBackAPic) {
    const auto found = findDevice(3, "16F84A");
    ASSERT_TRUE(found) << "no 16F84A in the sample data";
    select(found->place);
    ASSERT_TRUE(st().dev());
    ASSERT_EQ(st().dev()->FamilyLetter, 'C');
    st().settings.VerifyMaxMin = 0;
    clearLogs();
    ASSERT_TRUE(w().SB_Prog->isEnabled());
    ASSERT_TRUE(w().SB_Read->isEnabled());

    const PicAreas l = picAreas(*st().dev());
    Bytes code = pattern(l.codeBytes, 17);
    for (std::size_t i = 0; i < code.size(); i += 2) code[i] &= 0x3F;
    std::copy(code.begin(), code.end(), st().buf.DeviceBuffer.begin());
    w().BitBtn1->click();

    w().SB_Prog->click();
    QStringList shown = w().memoLines();
    EXPECT_TRUE(shown.contains(" Programmed")) << shown.join('\n').toStdString();
    EXPECT_TRUE(shown.contains(" CONFIG Programmed"));
    EXPECT_EQ(w().ProgCorrect->text(), "1");
    EXPECT_EQ(sim_.chip()->memory(), code);

    std::fill_n(st().buf.DeviceBuffer.begin(), l.codeBytes, 0);
    clearLogs();
    w().SB_Read->click();
    shown = w().memoLines();
    EXPECT_TRUE(shown.contains(" Read Completed")) << shown.join('\n').toStdString();
    EXPECT_EQ(Bytes(st().buf.DeviceBuffer.begin(), st().buf.DeviceBuffer.begin() + l.codeBytes), code);
}
