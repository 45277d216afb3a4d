// PIC18 pages of the older parts: the Page27 set (page codes 27, 28) and the
// Page34 set (34, 35, 45). The rows edit CONFIG1H .. CONFIG7L; programming
// later sends them ANDed with the part's mask row, so bits a rule leaves set
// outside the implemented ones never reach the chip.
#include "config/PicPages18Rules.h"

namespace tesmar::config {

namespace {

using S = PicSheet;
using namespace pic18;

// ---- Rules of these sets -----------------------------------------------------

constexpr std::uint8_t kPostscaler128 = 0x0E;

// Watchdog off sets the postscaler to 1:128 and greys it.
void wdt27Click(PageContext& ctx, const ControlRow& row, int state) {
    plainClick(ctx, row, state);
    if (!state) {
        ctx.setValue(row.target, std::uint8_t(ctx.value(row.target) | kPostscaler128));
        ctx.setItemIndex("RG27_Wdt", 7);
    }
    ctx.setEnabled("RG27_Wdt", state != 0);
}
const Rule kWdt27{kEnables.decode, wdt27Click};

void showCcpCaption(PageContext& ctx, const ControlRow& row, bool rc1) {
    ctx.setText(row.name, rc1 ? "CCP2 / RC1" : "CCP2 / RB3");
}
const Rule kCcp27 = followsState<showCcpCaption>();

constexpr std::uint8_t kPage45 = 45;

// Code 45 muxes FLTA on the same bit and keeps other bits.
std::optional<int> ccp34Decode(PageContext& ctx, const ControlRow& row) {
    const auto state = plainDecode(ctx, row);
    if (ctx.device().PageCode != kPage45) showCcpCaption(ctx, row, state.value_or(0) != 0);
    return state;
}
void ccp34Click(PageContext& ctx, const ControlRow& row, int state) {
    ControlRow r = row;
    const bool page45 = ctx.device().PageCode == kPage45;
    r.keep = page45 ? 0x9C : 0x82;
    plainClick(ctx, r, state);
    if (!page45) showCcpCaption(ctx, row, state != 0);
}
const Rule kCcp34{ccp34Decode, ccp34Click};

void mclr34Click(PageContext& ctx, const ControlRow& row, int state) {
    ControlRow r = row;
    r.keep = ctx.device().PageCode == kPage45 ? 0x1D : 0x03;
    plainClick(ctx, r, state);
}
const Rule kMclr34{nullptr, mclr34Click};

// Oscillator items 0..2 are the field values 0..2, items 3..8 the values
// 4..9 and item 9 the value 15. On code 45 the value 3 is the same external
// RC as 15; codes 34 and 35 have no item for it.
constexpr std::uint8_t kOscField = 0x0F;
constexpr std::uint8_t kOscKeep = 0xC0;

std::optional<int> osc34Decode(PageContext& ctx, const ControlRow& row) {
    const int f = ctx.value(row.target) & kOscField;
    if (f <= 2) return f;
    if (f == 3) return ctx.device().PageCode == kPage45 ? 9 : -1;
    if (f <= 9) return f - 1;
    return 9;
}
void osc34Click(PageContext& ctx, const ControlRow& row, int item) {
    const int v = item <= 2 ? item : item <= 8 ? item + 1 : kOscField;
    ctx.setValue(row.target, std::uint8_t((ctx.value(row.target) & kOscKeep) | v));
}
const Rule kOsc34{osc34Decode, osc34Click};

// Opening clears the bytes these parts do not use. The CAN parts of code 28
// trip at 2.5 V where the others trip at 2.0 V.
void setup27(PageContext& ctx) {
    for (Target t : {kConfig1L, kConfig3L, kConfig4H}) ctx.setValue(t, 0x00);
    const DeviceRecord& d = ctx.device();
    if (d.LastAddress < 16385)
        for (const char* name : {"CB27_Cp4000", "CB27_Cp6000", "CB27_Wrt2", "CB27_Wrt3", "CB27_Tr2", "CB27_Tr3"})
            ctx.setVisible(name, false);
    if (d.PageCode != 27) {
        ctx.setVisible("CB27_Ccp", false);
        ctx.setItems("RG27_Bor", {"4.5V", "4.2V", "2.7V", "2.5V"});
    }
}

void setup34(PageContext& ctx) {
    const DeviceRecord& d = ctx.device();
    const int code = d.PageCode;
    ctx.setValue(kConfig1L, 0x00);
    ctx.setValue(kConfig4H, 0x00);
    if (code != kPage45) ctx.setValue(kConfig3L, 0x00);
    const bool small = code == kPage45 ? d.LastAddress < 8193 : (d.LastAddress < 4097 || code == 35);
    if (small)
        for (const char* name : {"CB34_Cp2", "CB34_Cp3", "CB34_Wrt2", "CB34_Wrt3", "CB34_Tr2", "CB34_Tr3"})
            ctx.setVisible(name, false);
    for (const char* name : {"CB34_Winen", "xx31Opt", "CB34_SSP"}) ctx.setVisible(name, code == kPage45);
    ctx.setVisible("CB34_Ccp", code == 34 || code == kPage45);
    if (code == kPage45) ctx.setText("CB34_Ccp", "FLTA Mux RC1");
    ctx.setVisible("CB34_Pbad", code == 34);
    // The parts of code 35 have no 2.0 V brown-out level: the last code is reserved.
    if (code == 35) ctx.setItemEnabled("RG34_Bor", 3, false);
}

// ---- Tables --------------------------------------------------------------------

const std::vector<PicPageSet> kSets = {
    {{27, 28}, {S::Page27, S::Page27A, S::Page27B}, {" Page 2", " Page 3"}, PicLayout::Pic18, 0, setup27},
    {{34, 35, 45}, {S::Page34, S::Page34A, S::Page34B}, {" Page 2", " Page 3"}, PicLayout::Pic18, 14, setup34},
};

std::vector<ControlRow> makeRows() {
    std::vector<ControlRow> r = {
        // Page27 set.
        radioGroup(S::Page27, "RG27_Osc", " Oscillator ", kConfig1H, 0x07, 0x20,
                   {"LP", "XT", "HS", "RC", "EC + CLKout on OSC2", "EC + RA6", "HS + PLL enabled", "RC + RA6"}),
        checkBox(S::Page27, "CB27_Oscen", "Timer1 Osc syst clk disabled", kConfig1H, 5, 0x07),
        newColumn(checkBox(S::Page27, "CB27_Wdt", "Watchdog  enabled", kConfig2H, 0, 0x0E, &kWdt27)),
        radioGroup(S::Page27, "RG27_Wdt", " Watchdog Postscaler ", kConfig2H, 0x0E, 0x01, postscalerItems(8)),
        newColumn(checkBox(S::Page27, "CB27_Pwt", "Power-Up Timer  disabled", kConfig2L, 0, 0x0E)),
        checkBox(S::Page27, "CB27_Boren", "Brown Out Enabled", kConfig2L, 1, 0x0D, &kEnables),
        radioGroup(S::Page27, "RG27_Bor", " Brown-out Voltage ", kConfig2L, 0x0C, 0x03, brownOutVolts()),
        checkBox(S::Page27A, "CB27_Ccp", "CCP2  or RC1", kConfig3H, 0, 0x00, &kCcp27),
        checkBox(S::Page27A, "CB27_Ser", "Stack Error Reset enabled", kConfig4L, 0, 0x84),
        checkBox(S::Page27A, "CB27_Lvp", "Low Voltage Prog enabled", kConfig4L, 2, 0x81),
        checkBox(S::Page27A, "CB27_Bkd", "Background Debugger disabled", kConfig4L, 7, 0x05),
        groupBox(S::Page27B, "GB27_Cp", " Code Protection "),
        protectBox(S::Page27B, "CB27_Cpb", "0000 - 01FF protected", kConfig5H, 6, 0x80, "GB27_Cp"),
        protectBox(S::Page27B, "CB27_Cpd", "Data EEPROM protected", kConfig5H, 7, 0x40, "GB27_Cp"),
        newColumn(groupBox(S::Page27B, "GB27_Wrt", " Table Write Protection ")),
        protectBox(S::Page27B, "CB27_Wrtb", "0000 - 01FF protected", kConfig6H, 6, 0xA0, "GB27_Wrt"),
        protectBox(S::Page27B, "CB27_Wrtc", "Config registers protected", kConfig6H, 5, 0xC0, "GB27_Wrt"),
        protectBox(S::Page27B, "CB27_Wrtd", "Data EEPROM protected", kConfig6H, 7, 0x60, "GB27_Wrt"),
        newColumn(groupBox(S::Page27B, "GB27_Tr", " Table Read Protection ")),
        ebtrbBox(S::Page27B, "CB27_Trb", "0000 - 01FF protected", "GB27_Tr", false),
    };
    static const char* const ranges[] = {"0200 - 1FFF protected", "2000 - 3FFF protected", "4000 - 5FFF protected",
                                         "6000 - 7FFF protected"};
    static const char* const cp[] = {"CB27_Cp200", "CB27_Cp2000", "CB27_Cp4000", "CB27_Cp6000"};
    static const char* const wrt[] = {"CB27_Wrt0", "CB27_Wrt1", "CB27_Wrt2", "CB27_Wrt3"};
    static const char* const tr[] = {"CB27_Tr0", "CB27_Tr1", "CB27_Tr2", "CB27_Tr3"};
    addRangeBoxes(r, S::Page27B, cp, ranges, kConfig5L, 4, "GB27_Cp");
    addRangeBoxes(r, S::Page27B, wrt, ranges, kConfig6L, 4, "GB27_Wrt");
    addRangeBoxes(r, S::Page27B, tr, ranges, kConfig7L, 4, "GB27_Tr");

    const std::vector<ControlRow> page34 = {
        radioGroup(S::Page34, "RG34_Osc", " Oscillator ", kConfig1H, kOscField, kOscKeep,
                   {"LP", "XT", "HS", "EC + CLKout on RA6", "EC + RA6", "HS + PLL enabled", "Ext RC + RA6",
                    "Int RC + RA6 + RA7", "Int RC + CLKout on RA6 + RA7", "Ext RC + CLKout on RA6"},
                   &kOsc34),
        checkBox(S::Page34, "CB34_Fcmem", "Fail-Safe Clk Mon Enabled", kConfig1H, 6, 0x8F),
        checkBox(S::Page34, "CB34_Ieso", "Int Ext Switch Over Enabled", kConfig1H, 7, 0x4F),
        newColumn(checkBox(S::Page34, "CB34_Pwt", "Power-Up Timer  disabled", kConfig2L, 0, 0x0E)),
        checkBox(S::Page34, "CB34_Boren", "Brown Out Enabled", kConfig2L, 1, 0x0D, &kEnables),
        radioGroup(S::Page34, "RG34_Bor", " Brown-out Voltage ", kConfig2L, 0x0C, 0x03, brownOutVolts()),
        checkBox(S::Page34A, "CB34_Wdt", "Watchdog  enabled", kConfig2H, 0, 0x3E, &kEnables),
        radioGroup(S::Page34A, "RG34_Wdt", " Watchdog Postscaler ", kConfig2H, 0x1E, 0x21, postscalerItems(16)),
        // The watchdog window is on when its bit is 0.
        checkedWhenClear(checkBox(S::Page34A, "CB34_Winen", "WDT Window enable", kConfig2H, 5, 0x1F)),
        newColumn(at(0, 0, 190, 0, checkBox(S::Page34A, "CB34_Ccp", "CCP2 / RC1", kConfig3H, 0, 0x82, &kCcp34))),
        checkBox(S::Page34A, "CB34_Pbad", "PORTB A/D <4:0> enabled", kConfig3H, 1, 0x81),
        checkBox(S::Page34A, "CB34_SSP", "SSP I/O Mux ", kConfig3H, 2, 0x99),
        checkBox(S::Page34A, "CB34_Mcl", "MCLR enabled", kConfig3H, 7, 0x03, &kMclr34),
        checkBox(S::Page34A, "CB34_Ser", "Stack Error Reset enabled", kConfig4L, 0, 0x84),
        checkBox(S::Page34A, "CB34_Lvp", "Low Voltage Prog enabled", kConfig4L, 2, 0x81),
        checkBox(S::Page34A, "CB34_Bkd", "Background Debugger disabled", kConfig4L, 7, 0x05),
        newColumn(groupBox(S::Page34A, "xx31Opt", " Options ")),
        checkBox(S::Page34A, "CB34_Pwm4", "PWM4 Mux", kConfig3H, 3, 0x95, nullptr, "xx31Opt"),
        checkBox(S::Page34A, "CB34_Excm", "External Clock Mux", kConfig3H, 4, 0x8D, nullptr, "xx31Opt"),
        checkBox(S::Page34A, "CB34_Pwmpin", "PWM disabled on Reset", kConfig3L, 2, 0x38, nullptr, "xx31Opt"),
        checkBox(S::Page34A, "CB34_LPOL", "LPOL active high", kConfig3L, 3, 0x34, nullptr, "xx31Opt"),
        checkBox(S::Page34A, "CB34_HPOL", "HPOL active high", kConfig3L, 4, 0x2C, nullptr, "xx31Opt"),
        checkBox(S::Page34A, "CB34_GPTREN", "Low-power Timer1 in Sleep", kConfig3L, 5, 0x1C, nullptr, "xx31Opt"),
    };
    r.insert(r.end(), page34.begin(), page34.end());
    const ProtectionNames names = {
        "GB34_Cp", "GB34_Wrt", "GB34_Tr", "CB34_Cpb", "CB34_Cpd", "CB34_Wrtb", "CB34_Wrtc", "CB34_Wrtd", "CB34_Trb",
        {"CB34_Cp0", "CB34_Cp1", "CB34_Cp2", "CB34_Cp3"},
        {"CB34_Wrt0", "CB34_Wrt1", "CB34_Wrt2", "CB34_Wrt3"},
        {"CB34_Tr0", "CB34_Tr1", "CB34_Tr2", "CB34_Tr3"},
    };
    addProtectionGroups(r, S::Page34B, names, 4, true);
    return r;
}

}  // namespace

std::span<const PicPageSet> pic18PageSets() { return kSets; }
std::span<const ControlRow> pic18Rows() {
    static const std::vector<ControlRow> rows = makeRows();
    return rows;
}

}  // namespace tesmar::config
