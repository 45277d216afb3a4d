// Every 12/14-bit and enhanced mid-range PIC of the sample data held against
// its part as gputils describes it (processor file and linker script): the
// program and data EEPROM sizes, the configuration masks against the bits
// the part implements, and each control its configuration page shows against
// the setting of the header that control stands for. A part's word holding a
// setting opens with the control showing it and survives OK unchanged;
// choosing a state writes exactly that setting's bits.
#include <QCheckBox>

#include <set>

#include "config/PicControlStates.h"
#include "picconfig/PicConfigRig.h"
#include "support/PartHeaders.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

using Words = std::array<std::uint32_t, 2>;  // configuration words 1 and 2
constexpr std::uint32_t kWord = 0x3FFF;

// What a control stands for, state by state (a box unchecked then checked, a
// list its items): the header's setting; "A|B" the first of these names the
// header has; "A & B" settings taken together (of either word). nullptr: an
// item that stands for no setting (a page's reserved oscillator code).
// {"@WRT"}: each item the write-protect setting whose comment names the
// range of the item's caption.
using Meaning = std::vector<const char*>;

const char* const LP = "_FOSC_LP|_LP_OSC|_OSC_LP";
const char* const XT = "_FOSC_XT|_XT_OSC|_OSC_XT";
const char* const HS = "_FOSC_HS|_HS_OSC|_OSC_HS";
const char* const RC = "_FOSC_RC|_FOSC_EXTRC|_RC_OSC|_OSC_RC";
const Meaning kOsc4{LP, XT, HS, RC};
const Meaning kWdt{"_WDTE_OFF|_WDT_OFF", "_WDTE_ON|_WDT_ON"};
const Meaning kPwrtDisabled{"_PWRTE_ON", "_PWRTE_OFF"};
const Meaning kPwrtEnabled{"_PWRTE_OFF", "_PWRTE_ON"};
const Meaning kBod{"_BOREN_OFF|_BODEN_OFF", "_BOREN_ON|_BODEN_ON"};
const Meaning kMclr{"_MCLRE_OFF", "_MCLRE_ON"};
const Meaning kLvp{"_LVP_OFF", "_LVP_ON"};
const Meaning kCpdOff{"_CPD_ON", "_CPD_OFF"};
const Meaning kDebugDisabled{"_DEBUG_ON", "_DEBUG_OFF"};
const Meaning kIeso{"_IESO_OFF", "_IESO_ON"};
const Meaning kFcmen{"_FCMEN_OFF", "_FCMEN_ON"};
const Meaning kCp2{"_CP_ON|_CP_ALL", "_CP_OFF"};
const Meaning kCp4{"_CP_ALL", "_CP_75", "_CP_50", "_CP_OFF"};
const Meaning kOsc8Split{"_FOSC_LP",       "_FOSC_XT",        "_FOSC_HS",      "_FOSC_EC|_FOSC_ECIO",
                         "_FOSC_INTOSCIO", "_FOSC_INTOSCCLK", "_FOSC_EXTRCIO|_FOSC_ERIO", "_FOSC_EXTRCCLK|_FOSC_ERCLK"};
const Meaning kOsc8{"_FOSC_LP",
                    "_FOSC_XT",
                    "_FOSC_HS",
                    "_FOSC_EC",
                    "_FOSC_INTOSCIO|_FOSC_INTRCIO|_FOSC_INTRC_NOCLKOUT",
                    "_FOSC_INTOSCCLK|_FOSC_INTRCCLK|_FOSC_INTRC_CLKOUT",
                    "_FOSC_EXTRCIO|_FOSC_EXTRC_NOCLKOUT",
                    "_FOSC_EXTRCCLK|_FOSC_EXTRC_CLKOUT"};
const Meaning kOsc12{"_OSC_LP",
                     "_OSC_XT",
                     "_OSC_HS",
                     "_OSC_EC",
                     "_OSC_IntRC_RB4EN",
                     "_OSC_IntRC_CLKOUTEN",
                     "_OSC_ExtRC_RB4EN",
                     "_OSC_ExtRC_CLKOUTEN"};
const Meaning kBoren4{"_BOREN_OFF", "_BOREN_SBODEN", "_BOREN_NSLEEP", "_BOREN_ON"};

const std::map<std::string, Meaning> kMeanings = {
    {"RG0_Osc", {"_XT_OSC", "_RC_OSC"}},
    {"RG0_Prot", kCp2},
    {"RG1_Osc", kOsc4},
    {"RG1_Prot", kCp2},
    {"CB1_Pwt", kPwrtEnabled},
    {"CB1_Wdt", kWdt},
    {"RG2_Osc", kOsc4},
    {"RG2_Prot", kCp4},
    {"CB2_Pwt", kPwrtEnabled},
    {"CB2_Wdt", kWdt},
    {"RG3_Osc", kOsc4},
    {"CB3_Pwt", kPwrtDisabled},
    {"CB3_Wdt", kWdt},
    {"CB3_Bod", kBod},
    {"RG3_Prot2k", kCp4},
    {"RG3_Prot1k", {"_CP_ALL", "_CP_50", "_CP_OFF"}},
    {"RG3_Prot05k", kCp2},
    {"CB4_Pwt", kPwrtDisabled},
    {"CB4_Wdt", kWdt},
    {"CB4_Mcl", kMclr},
    {"CB4_Ieso", kIeso},
    {"CB4_Fcmen", kFcmen},
    {"RG4_Bor",
     {"_BOREN_OFF & _BORSEN_OFF", "_BOREN_OFF & _BORSEN_ON", "_BOREN_ON & _BORSEN_OFF", "_BOREN_ON & _BORSEN_ON"}},
    {"RG4_Borv", {"_BORV_45", "_BORV_42", "_BORV_27", "_BORV_20"}},
    {"RG4_Osc", kOsc8Split},
    {"RG4_Mux", {"_CCP2MX_RB3", "_CCP2MX_RC1"}},
    {"RG4_Prot", kCp2},
    {"RG5_Iofs", {"_IOSCFS_4MHZ", "_IOSCFS_8MHZ"}},
    {"CB5_Mcpu", {"_MCPU_ON", "_MCPU_OFF"}},
    {"CB5_Wdt", kWdt},
    {"RG5_Cp", kCp2},
    {"CB5_Mcl", kMclr},
    {"RG6_Osc", {LP, XT, HS, nullptr, "_INTRC_OSC_NOCLKOUT", "_INTRC_OSC_CLKOUT", "_EXTRC_OSC_NOCLKOUT",
                 "_EXTRC_OSC_CLKOUT"}},
    {"CB6_Wdt", kWdt},
    {"CB6_Pwt", kPwrtDisabled},
    {"CB6_Mcl", kMclr},
    {"RG6_Cp", kCp4},
    {"RG7_Osc", {"_HS_OSC", "_INTRC_OSC"}},
    {"RG7_Prot", {"_CPU_ON & _CPP_ON", "_CPU_OFF & _CPP_OFF"}},
    {"CB7_Pwt", kPwrtDisabled},
    {"CB7_Wdt", kWdt},
    {"CB7_Cpc", {"_CPC_OFF", "_CPC_ON"}},
    {"RG8_Osc", kOsc4},
    {"RG8_Prot", kCp2},
    {"CB8_Pwt", kPwrtDisabled},
    {"CB8_Wdt", kWdt},
    {"CB8_Bod", kBod},
    {"RG9_Osc", kOsc4},
    {"RG9_Prot", kCp2},
    {"CB9_Pwt", kPwrtDisabled},
    {"CB9_Wdt", kWdt},
    {"RG10_Osc", kOsc8},
    {"RG10_Borbits", kBoren4},
    {"CB10_Wdt", kWdt},
    {"CB10_Pwrt", kPwrtDisabled},
    {"CB10_Mclr", kMclr},
    {"CB10_EEPro", kCpdOff},
    {"CB10_Ieso", kIeso},
    {"CB10_Fcmen", kFcmen},
    {"CB10_Lvp", kLvp},
    {"CB10_Debug", kDebugDisabled},
    {"RG10_BorVolts", {"_BOR4V_BOR21V", "_BOR4V_BOR40V"}},
    {"RG10_Cp", kCp2},
    {"RG10_Mwp", {"@WRT"}},
    {"RG12_Osc", kOsc4},
    {"CB12_Pwt", kPwrtDisabled},
    {"CB12_Wdt", kWdt},
    {"RG12_Prot2k", kCp4},
    {"RG12_Prot1k", {"_CP_ALL", "_CP_50", "_CP_OFF"}},
    {"RG12_Prot05k", kCp2},
    {"RG15_Osc", {"_OSC_LP", "_OSC_XT", "_OSC_IntRC", "_OSC_ExtRC"}},
    {"RG15_Prot", kCp2},
    {"CB15_Wdt", kWdt},
    {"CB15_Mclr", kMclr},
    {"RG16_Osc", kOsc8},
    {"CB16_Wdt", kWdt},
    {"CB16_Pwt", kPwrtDisabled},
    {"CB16_Mcl", kMclr},
    {"RG16_CProt", kCp2},
    {"RG16_DProt", {"_CPD_ON", "_CPD_OFF"}},
    {"RG16_Bod", kBoren4},
    {"CB16_Ieso", kIeso},
    {"CB16_Fcmen", kFcmen},
    {"CB16_Wur", {"_DEBUG_ON|_WURE_ON", "_DEBUG_OFF|_WURE_OFF"}},
    {"RG17_Osc", kOsc4},
    {"RG17_Prot", kCp4},
    {"CB17_Bod", kBod},
    {"CB17_Mpe", {"_MPEEN_OFF", "_MPEEN_ON"}},
    {"CB17_Wdt", kWdt},
    {"CB17_Pwt", kPwrtDisabled},
    {"RG40_Osc", kOsc4},
    {"CB40_Wdt", kWdt},
    {"RG40_Prot", kCp2},
    {"CB20_Wdt", kWdt},
    {"CB20_Mclr", kMclr},
    {"RG20_Cp", kCp2},
    {"RG20_OscF", kOsc12},
    {"RG20_OscC", {"_OSC_LP", "_OSC_XT", "_OSC_HS", nullptr, "_OSC_IntRC_RB4EN", "_OSC_IntRC_CLKOUTEN",
                   "_OSC_ExtRC_RB4EN", "_OSC_ExtRC_CLKOUTEN"}},
    {"RG21_Osc", kOsc4},
    {"CB21_Wdt", kWdt},
    {"CB21_Pwt", kPwrtDisabled},
    {"CB21_Bod", kBod},
    {"CB21_Lvp", kLvp},
    {"CB21_Cpd", kCpdOff},
    {"CB21_Fmw", {"_WRT_ENABLE_OFF", "_WRT_ENABLE_ON"}},
    {"CB21_Debug", kDebugDisabled},
    {"RG21_Prot8k", {"_CP_ALL", "_CP_HALF", "_CP_UPPER_256", "_CP_OFF"}},
    {"RG21_Prot2k", kCp2},
    {"RG22_Osc", kOsc4},
    {"CB22_Wdt", kWdt},
    {"CB22_Pwt", kPwrtDisabled},
    {"CB22_Bor", kBod},
    {"RG22_Prot", kCp4},
    {"RG22_Bor", {"_BODENV_45", "_BODENV_42", "_BODENV_27", "_BODENV_25"}},
    {"RG23_Osc", kOsc8Split},
    {"CB23_Wdt", kWdt},
    {"CB23_Pwt", kPwrtDisabled},
    {"CB23_Mcl", kMclr},
    {"CB23_Bod", kBod},
    {"CB23_Lvp", kLvp},
    {"CB23_Cpd", kCpdOff},
    {"RG23_Prot2k", kCp4},
    {"RG23_Prot1k", {"_CP_ALL", "_CP_75", "_CP_OFF"}},
    {"RG24_Osc", kOsc4},
    {"RG24_Prot", kCp2},
    {"CB24_Wdt", kWdt},
    {"CB24_Pwt", kPwrtDisabled},
    {"CB24_Bod", kBod},
    {"RG29_Osc", {"_FOSC_HS", "_FOSC_EC", "_FOSC_H4", "_FOSC_E4"}},
    {"RG29_Prot", kCp4},
    {"CB29_Wdt", kWdt},
    {"CB29_Put", kPwrtDisabled},
    {"RG30_Osc", kOsc4},
    {"CB30_Wdt", kWdt},
    {"CB30_Pwt", kPwrtDisabled},
    {"CB30_Bod", kBod},
    {"CB30_Lvp", kLvp},
    {"CB30_Cpd", kCpdOff},
    {"CB30_Debug", kDebugDisabled},
    {"RG30_Wrt8k", {"@WRT"}},
    {"RG30_Wrt4k", {"@WRT"}},
    {"RG30_Prot", kCp2},
    {"RG31_Osc", kOsc8Split},
    {"CB31_Wdt", kWdt},
    {"CB31_Pwt", kPwrtDisabled},
    {"CB31_Mcl", kMclr},
    {"CB31_Bod", kBod},
    {"CB31_Lvp", kLvp},
    {"CB31_Cpd", kCpdOff},
    {"RG31", kCp2},
    {"RG32_Osc", kOsc8},
    {"CB32_Wdt", kWdt},
    {"CB32_Pwt", kPwrtDisabled},
    {"CB32_Mcl", kMclr},
    {"CB32_Bod", kBod},
    {"CB32_Cpd", kCpdOff},
    {"RG32", kCp2},
    {"RG33_Osc", kOsc8Split},
    {"CB33_Wdt", kWdt},
    {"CB33_Pwt", kPwrtDisabled},
    {"CB33_Mcl", kMclr},
    {"CB33_Bod", kBod},
    {"CB33_Lvp", kLvp},
    {"CB33_Cpd", kCpdOff},
    {"CB33_Debug", kDebugDisabled},
    {"CB33_Ieso", kIeso},
    {"CB33_Fcmen", kFcmen},
    {"RG33_Write", {"@WRT"}},
    {"RG33_Mux", {"_CCPMX_RB3", "_CCPMX_RB0"}},
    {"RG33_Prot", kCp2},
    {"RG46_Osc", {"_FOSC_LP", "_FOSC_XT", "_FOSC_HS", "_FOSC_EXTRC", "_FOSC_INTOSC", "_FOSC_ECL", "_FOSC_ECM",
                  "_FOSC_ECH"}},
    {"RG46_Borbits", kBoren4},
    {"CB46_Pwrt", kPwrtDisabled},
    {"CB46_Mclr", kMclr},
    {"CB46_EEPro", kCpdOff},
    {"CB46_Clkouten", {"_CLKOUTEN_ON", "_CLKOUTEN_OFF"}},
    {"CB46_Ieso", kIeso},
    {"CB46_Fcmen", kFcmen},
    {"CB46_Lvp", kLvp},
    {"CB46_Debug", kDebugDisabled},
    {"RG46_BorVolts", {"_BORV_HI", "_BORV_LO"}},
    {"RG46_Wdt", {"_WDTE_OFF", "_WDTE_SWDTEN", "_WDTE_NSLEEP", "_WDTE_ON"}},
    {"RG46_Cp", kCp2},
    // Some of gputils' comments name another size than the part's here (16F1847).
    {"RG46_Mwp", {"_WRT_ALL", "_WRT_HALF", "_WRT_BOOT", "_WRT_OFF"}},
    {"RG46_Vcap",
     {"_VCAPEN_RA0|_CPUDIV_NOCLKDIV", "_VCAPEN_RA5|_CPUDIV_CLKDIV2", "_VCAPEN_RA6|_CPUDIV_CLKDIV3",
      "_VCAPEN_OFF|_CPUDIV_CLKDIV6"}},
    {"RG46_USBLSCLK", {"_USBLSCLK_24MHz", "_USBLSCLK_48MHz"}},
    {"RG46_PLLMULT", {"_PLLMULT_4x", "_PLLMULT_3x"}},
    {"CB46_Pll", {"_PLLEN_OFF|_PLLEN_DISABLED", "_PLLEN_ON|_PLLEN_ENABLED"}},
    {"CB46_Stvren", {"_STVREN_OFF", "_STVREN_ON"}},
    {"CB46_LPBOR", {"_LPBOR_ON", "_LPBOR_OFF"}},
};

// ---- The parts ------------------------------------------------------------------

// A part as the check knows it: gputils' description, or one written here
// from the part's data sheet where gputils has none.
struct Reference {
    GputilsPart part;
    Words implemented{};  // the bits the record's masks must keep
    Words uncontrolled{};  // implemented bits no control of the page edits
};

void addSetting(GputilsPart& p, const char* name, std::uint32_t value, int word = 0) {
    p.symbols[name] = value;
    p.configWord[name] = word;
}

// Parts gputils does not describe, from their data sheets.
std::optional<Reference> handWritten(const std::string& name) {
    Reference r;
    GputilsPart& p = r.part;
    if (name == "16C52") {
        // 384 words; FOSC1:FOSC0 XT 01, RC 11; CP bit 3.
        p.pages = {{"page", 0, 0x17F, false}};
        addSetting(p, "_XT_OSC", 0xFFD);
        addSetting(p, "_RC_OSC", 0xFFF);
        addSetting(p, "_CP_ON", 0xFF7);
        addSetting(p, "_CP_OFF", 0xFFF);
        r.implemented = {0x00F, 0};
        r.uncontrolled = {0x005, 0};
        return r;
    }
    if (name == "14C000") {
        // 4K words; the calibration space (CPC, bits 13, 8, 7), upper and
        // lower program halves (CPU 12, 9, 5; CPP 11, 10, 4) each repeat
        // their protection bit; bits 6 and 1 read as 1.
        p.pages = {{"page", 0, 0xFFF, false}};
        const std::tuple<const char*, const char*, std::uint32_t> copies[] = {
            {"_CPC_ON", "_CPC_OFF", 0x1E7F}, {"_CPU_ON", "_CPU_OFF", 0x2DDF}, {"_CPP_ON", "_CPP_OFF", 0x33EF}};
        for (auto [on, off, v] : copies) {
            addSetting(p, on, v);
            addSetting(p, off, 0x3FFF);
        }
        addSetting(p, "_PWRTE_ON", 0x3FF7);
        addSetting(p, "_PWRTE_OFF", 0x3FFF);
        addSetting(p, "_WDT_OFF", 0x3FFB);
        addSetting(p, "_WDT_ON", 0x3FFF);
        addSetting(p, "_HS_OSC", 0x3FFE);
        addSetting(p, "_INTRC_OSC", 0x3FFF);
        r.implemented = {0x3FFF, 0};
        r.uncontrolled = {0x0042, 0};
        return r;
    }
    if (name == "16C556") {
        // The 16C55x data sheet: the 16C554's word, 1K words, CP1:CP0 01
        // protecting the upper half as on the 16C621A.
        auto base = readGputilsPart("16C554");
        if (!base) return std::nullopt;
        p = *base;
        p.pages = {{"page", 0, 0x3FF, false}};
        p.symbols.erase("_CP_ON");
        p.configWord.erase("_CP_ON");
        addSetting(p, "_CP_ALL", 0x00CF);
        addSetting(p, "_CP_50", 0x15DF);
        r.implemented = {0x3F3F, 0};
        return r;
    }
    return std::nullopt;
}

std::optional<Reference> referenceOf(const DeviceRecord& rec) {
    if (auto hand = handWritten(rec.Name)) return hand;
    auto part = readGputilsPart(rec.Name);
    if (!part) return std::nullopt;
    Reference r{*part, {}, {}};
    for (int w = 0; w < part->configWords() && w < 2; ++w) r.implemented[std::size_t(w)] = part->implementedBits(w);
    // The 12F629/675 and 16F630/676 keep the factory bandgap calibration in
    // word bits 13:12; the family programs them back as read.
    if (rec.PageCode == 32) {
        r.implemented[0] |= 0x3000;
        r.uncontrolled[0] |= 0x3000;
    }
    // Page code 50 shows no low-power brown-out switch.
    if (rec.PageCode == 50 && part->has("_LPBOR_ON")) r.uncontrolled[1] = ~part->value("_LPBOR_ON") & kWord;
    // No control of Page4 edits the 16F7x7's DEBUG bit.
    if (rec.PageCode == 4) r.uncontrolled[0] = part->implementedBits(0) & ~part->value("_DEBUG_ON") & kWord;
    return r;
}

// The words of a setting expression; empty with the missing setting named.
std::optional<Words> wordsOf(const GputilsPart& p, const std::string& expr, std::string& missing) {
    const auto symbols = p.settingSymbols(expr, &missing);
    if (!symbols) return std::nullopt;
    Words w{kWord, kWord};
    for (const std::string& name : *symbols) {
        const auto word = p.configWord.find(name);
        if (word == p.configWord.end()) {
            missing = name + " (no configuration word)";
            return std::nullopt;
        }
        w[std::size_t(word->second)] &= p.value(name) & kWord;
    }
    return w;
}

std::string hex(std::uint32_t v) { return QString::asprintf("0x%04X", v).toStdString(); }

// ---- The check ------------------------------------------------------------------

// One control the page shows, with the words of each state it offers.
struct Control {
    std::string name;
    bool box = false;
    std::vector<int> states;
    std::vector<Words> words;  // by entry of `states`
    Words field{};
};

// Changes a page makes on opening that keep the word's meaning for the part.
// The 16C77x start the power-up timer with brown-out reset whatever PWRTE
// says (their data sheet): the page shows it on.
// The 16F627's code protection 10 guards 0400h-07FFh, past its 1K words:
// gputils calls its _CP_50 "Program memory code protection off", and the
// page shows and keeps it as off (11).
Words asThePageKeepsIt(const DeviceRecord& r, Words w) {
    if (r.PageCode == 22 && (w[0] & 0x40)) w[0] &= ~0x08u;
    if (r.PageCode == 23 && r.LastAddress < 2048 && (w[0] & 0x3C00) == 0x2800) w[0] |= 0x3C00;
    return w;
}

class PicHeaderCheck : public PicConfigRig {
protected:
    Words maskOf(const DeviceRecord& r) const {
        Words m{};
        for (int w = 0; w < r.ConfigMaskCount / 2 && w < 2; ++w)
            m[std::size_t(w)] =
                std::uint32_t(r.ConfigMasks[std::size_t(2 * w)] << 8 | r.ConfigMasks[std::size_t(2 * w + 1)]);
        return m;
    }
    Words image() {
        Words w{};
        for (int k = 0; k < dev().ConfigMaskCount && k < 4; ++k)
            w[std::size_t(k / 2)] |= std::uint32_t(cfg(k)) << (k % 2 ? 0 : 8);
        return w;
    }
    void setImage(const Words& w) {
        for (int k = 0; k < dev().ConfigMaskCount && k < 4; ++k)
            cfg(k) = std::uint8_t(w[std::size_t(k / 2)] >> (k % 2 ? 0 : 8));
    }

    // The controls of the open dialog, each state resolved on the part.
    std::vector<Control> controlsOf(const GputilsPart& part) {
        std::vector<Control> out;
        for (QWidget* w : shownControls(*dlg)) {
            Control c;
            c.name = w->objectName().toStdString();
            c.box = qobject_cast<QCheckBox*>(w) != nullptr;
            const auto it = kMeanings.find(c.name);
            if (it == kMeanings.end()) {
                ADD_FAILURE() << c.name << " stands for no setting of the test's table";
                continue;
            }
            auto* group = qobject_cast<RadioGroup*>(w);
            const int count = c.box ? 2 : group->count();
            const bool byCaption = it->second.size() == 1 && std::string_view(it->second[0]) == "@WRT";
            if (!byCaption) {
                EXPECT_EQ(std::size_t(count), it->second.size()) << c.name << " offers another number of states";
            }
            for (int state = 0; state < count && (byCaption || state < int(it->second.size())); ++state) {
                const char* meaning = it->second[byCaption ? 0 : std::size_t(state)];
                if (!meaning) continue;
                std::string expr = meaning;
                if (expr == "@WRT") {
                    const std::string caption = group->button(state)->text().toStdString();
                    expr = part.writeProtectFor(caption);
                    if (expr.empty()) {
                        ADD_FAILURE()
                            << c.name << " item \"" << caption << "\" names no write-protect range of the part";
                        continue;
                    }
                }
                std::string missing;
                const auto words = wordsOf(part, expr, missing);
                if (!words) {
                    ADD_FAILURE() << c.name << " state " << state << ": the part has no setting " << missing;
                    continue;
                }
                c.states.push_back(state);
                c.words.push_back(*words);
            }
            for (const Words& a : c.words)
                for (std::size_t w = 0; w < 2; ++w) c.field[w] |= (a[w] ^ c.words.front()[w]);
            if (c.states.size() < 2) {
                ADD_FAILURE() << c.name << " offers fewer than two settings of the part";
                continue;
            }
            out.push_back(std::move(c));
        }
        return out;
    }

    // Which bits differ, by control.
    std::string differences(const std::vector<Control>& controls, const Words& got, const Words& want,
                            const Words& mask) {
        std::string out;
        Words rest{mask[0], mask[1]};
        for (const Control& c : controls)
            for (std::size_t w = 0; w < 2; ++w) {
                rest[w] &= ~c.field[w];
                if ((got[w] ^ want[w]) & c.field[w] & mask[w]) out += " " + c.name;
            }
        for (std::size_t w = 0; w < 2; ++w)
            if ((got[w] ^ want[w]) & rest[w])
                out += QString::asprintf(" word %zu bits 0x%04X", w + 1, (got[w] ^ want[w]) & rest[w]).toStdString();
        return out;
    }

    void checkPage(const DeviceRecord& rec, const Reference& ref) {
        select(rec);
        open();
        if (dlg->visibleSheets().empty()) return;  // a part without a page: the masks only
        const std::vector<Control> controls = controlsOf(ref.part);
        const Words mask = maskOf(rec);

        // Every bit of the part is some control's, or known to be nobody's.
        for (std::size_t w = 0; w < 2; ++w) {
            std::uint32_t covered = 0;
            for (const Control& c : controls) covered |= c.field[w];
            EXPECT_EQ(hex(ref.implemented[w] & ~covered), hex(ref.uncontrolled[w]))
                << "word " << w + 1 << ": implemented bits no control edits";
            EXPECT_EQ(hex(covered & ~ref.implemented[w]), hex(0))
                << "word " << w + 1 << ": controls on bits the part lacks";
        }

        // Round k: control c takes its state k (cycling); a word of the part
        // holds them all, as gpasm would write it.
        std::size_t rounds = 0;
        for (const Control& c : controls) rounds = std::max(rounds, c.states.size());
        auto wordsOfRound = [&](std::size_t k) {
            Words w{kWord, kWord};
            for (const Control& c : controls)
                for (std::size_t i = 0; i < 2; ++i) w[i] &= c.words[k % c.states.size()][i];
            return asThePageKeepsIt(rec, w);
        };
        for (std::size_t k = 0; k < rounds; ++k) {
            SCOPED_TRACE(testing::Message() << "round " << k);
            const Words file = wordsOfRound(k);
            select(rec);
            setImage(file);
            open();
            const auto states = shownStates(*dlg);
            for (const Control& c : controls) {
                // The state whose setting the opened word holds.
                int want = -2;
                for (std::size_t i = 0; i < c.states.size(); ++i)
                    if (((c.words[i][0] ^ file[0]) & c.field[0]) == 0 && ((c.words[i][1] ^ file[1]) & c.field[1]) == 0)
                        want = c.states[i];
                EXPECT_EQ(states.at(c.name), want) << c.name << " opened on its part's setting";
            }
            ok();
            EXPECT_EQ(differences(controls, image(), file, mask), "") << "OK changed the part's word";

            // Choosing the next round's states writes the next round's word.
            open();
            for (const Control& c : controls) setState(c.name.c_str(), c.states[(k + 1) % c.states.size()]);
            ok();
            EXPECT_EQ(differences(controls, image(), wordsOfRound(k + 1), mask), "") << "choosing wrote other bits";
        }
    }

    // Each setting of the part alone on the erased words, as a file holding
    // only it: the page shows it (a list with no item where the word holds
    // none of its settings, as a protection combination without an item), and
    // OK leaves every bit the part implements as it was.
    void checkLooks(const DeviceRecord& rec, const Reference& ref) {
        select(rec);
        open();
        if (dlg->visibleSheets().empty()) return;
        const std::vector<Control> controls = controlsOf(ref.part);
        std::set<Words> seen;
        for (const auto& [symbol, word] : ref.part.configWord) {
            if (word > 1) continue;
            Words file{kWord, kWord};
            file[std::size_t(word)] &= ref.part.value(symbol);
            if (!seen.insert(file).second) continue;
            SCOPED_TRACE(symbol + " " + hex(file[0]) + " " + hex(file[1]));
            setImage(file);
            open();
            // The word as it came, or as the page may keep it.
            const Words kept = asThePageKeepsIt(rec, file);
            const auto states = shownStates(*dlg);
            for (const Control& c : controls) {
                std::set<int> want;
                for (const Words& w : {file, kept})
                    for (std::size_t i = 0; i < c.states.size(); ++i)
                        if (((c.words[i][0] ^ w[0]) & c.field[0]) == 0 && ((c.words[i][1] ^ w[1]) & c.field[1]) == 0)
                            want.insert(c.states[i]);
                if (want.empty() && c.box) continue;  // a box always shows a state: held only where one matches
                if (want.empty()) want.insert(-1);
                EXPECT_TRUE(want.count(states.at(c.name))) << c.name << " shows " << states.at(c.name);
            }
            ok();
            const Words got = image();
            if (differences(controls, got, file, ref.implemented) != "") {
                EXPECT_EQ(differences(controls, got, kept, ref.implemented), "") << "a look changed the part's word";
            }
        }
    }
};

TEST_F(PicHeaderCheck, EverySamplePicHasTheSizesAndMasksOfItsPart) {
    ASSERT_TRUE(haveGputils()) << "install gputils (scripts/install-deps)";
    int parts = 0;
    for (const DeviceRecord& rec : samplePics()) {
        if (rec.isPic18()) continue;
        SCOPED_TRACE(rec.Name);
        const auto ref = referenceOf(rec);
        if (!ref) {
            ADD_FAILURE() << "no reference for " << rec.Name;
            continue;
        }
        ++parts;
        EXPECT_EQ((rec.LastAddress + 1) / 2, ref->part.codeWords()) << "program words";
        const std::uint32_t eeprom = ref->part.eepromBytes();
        EXPECT_EQ((rec.StepMask & 0x02) != 0, eeprom != 0) << "data EEPROM step";
        EXPECT_EQ(eeprom ? rec.DataEepromSize + 1u : 0u, eeprom) << "data EEPROM bytes";
        const int words = std::max(ref->part.configWords(), 1);
        EXPECT_EQ(rec.ConfigMaskCount, 2 * words) << "configuration bytes";
        for (int w = 0; w < words; ++w)
            EXPECT_EQ(hex(maskOf(rec)[std::size_t(w)]), hex(ref->implemented[std::size_t(w)]))
                << "masks of word " << w + 1 << " against the bits the part implements";
    }
    EXPECT_GE(parts, 40);
}

TEST_F(PicHeaderCheck, EveryControlOfASamplePicStandsForASettingOfItsPart) {
    ASSERT_TRUE(haveGputils()) << "install gputils (scripts/install-deps)";
    for (const DeviceRecord& rec : samplePics()) {
        if (rec.isPic18()) continue;
        SCOPED_TRACE(rec.Name);
        if (const auto ref = referenceOf(rec)) checkPage(rec, *ref);
    }
}

// A look at the page, closed with OK, changes no setting a file asked for.
TEST_F(PicHeaderCheck, ALookAtThePageKeepsEverySettingOfItsPart) {
    ASSERT_TRUE(haveGputils()) << "install gputils (scripts/install-deps)";
    for (const DeviceRecord& rec : samplePics()) {
        if (rec.isPic18()) continue;
        SCOPED_TRACE(rec.Name);
        if (const auto ref = referenceOf(rec)) checkLooks(rec, *ref);
    }
}

}  // namespace
