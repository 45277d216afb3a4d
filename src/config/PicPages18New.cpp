// PIC18 pages of the newer parts: the Page36 set (page codes 36, 37, 41 to
// 44) and the Page38 set (38).
#include <algorithm>

#include "config/PicPages18Rules.h"

namespace tesmar::config {

namespace {

using S = PicSheet;
using namespace pic18;

constexpr std::uint8_t kOscField = 0x0F;
constexpr std::uint8_t kOscKeep = 0xC0;

// ---- Rules of the Page36 set ---------------------------------------------------

// The USB parts' oscillator: item 0 is the field value 0, item 1 the value 2,
// items 2..11 the values 4..13 but 13, which is 14. The low bit of the pairs
// 0/1, 2/3, 12/13 and 14/15 does not matter to the part, so each pair shows
// the item of its even value.
std::optional<int> osc36Decode(PageContext& ctx, const ControlRow& row) {
    const int f = ctx.value(row.target) & kOscField;
    if (f < 5) return f >> 1;
    if (f < 12) return f - 2;
    return f < 14 ? 10 : 11;
}
void osc36Click(PageContext& ctx, const ControlRow& row, int item) {
    int v = item == 0 ? 0 : item == 1 ? 2 : item + 2;
    if (v == 13) v = 14;
    ctx.setValue(row.target, std::uint8_t((ctx.value(row.target) & kOscKeep) | v));
}
const Rule kOsc36{osc36Decode, osc36Click};

// The field value is the item; values past the last item (the external RC
// of the values 10 to 15) show the last one, which writes 15.
std::optional<int> clampDecode(PageContext& ctx, const ControlRow& row) {
    const int n = ctx.itemCount(row.name);
    return n > 0 ? std::min(fieldOf(row, ctx.value(row.target)), n - 1) : -1;
}
void osc37Click(PageContext& ctx, const ControlRow& row, int item) {
    ctx.setValue(row.target, std::uint8_t((ctx.value(row.target) & kOscKeep) | (item > 9 ? kOscField : item)));
}
const Rule kOsc37{clampDecode, osc37Click};
const Rule kClamp{clampDecode, nullptr};

// Boot block size: code 42 has it in CONFIG4L bit 3, the others in bit 4.
ControlRow bootRow42(const PageContext& ctx, const ControlRow& row) {
    ControlRow r = row;
    if (ctx.device().PageCode == 42) {
        r.mask = 0x08;
        r.keep = 0xE5;
    }
    return r;
}
std::optional<int> boot42Decode(PageContext& ctx, const ControlRow& row) { return plainDecode(ctx, bootRow42(ctx, row)); }
void boot42Click(PageContext& ctx, const ControlRow& row, int item) { plainClick(ctx, bootRow42(ctx, row), item); }
const Rule kBoot42{boot42Decode, boot42Click};

void setup36(PageContext& ctx) {
    const DeviceRecord& d = ctx.device();
    const int code = d.PageCode;
    const std::uint32_t last = d.LastAddress;
    ctx.setValue(kConfig3L, 0x00);
    ctx.setValue(kConfig4H, 0x00);
    auto hide = [&ctx](std::initializer_list<const char*> names) {
        for (const char* n : names) ctx.setVisible(n, false);
    };
    if (code != 44) hide({"CB36_Cp4", "CB36_Wrt4", "CB36_Tr4"});
    if (code != 44 || last < 0x17FFF) hide({"CB36_Cp5", "CB36_Wrt5", "CB36_Tr5"});
    if (last == 0x5FFF || last == 0xBFFF) hide({"CB36_Cp3", "CB36_Wrt3", "CB36_Tr3"});
    if (last < 16384)
        hide({"CB36_Cp2", "CB36_Wrt2", "CB36_Tr2", "CB36_Cp3", "CB36_Wrt3", "CB36_Tr3", "CB36_Cp4", "CB36_Wrt4",
              "CB36_Tr4", "CB36_Cp5", "CB36_Wrt5", "CB36_Tr5"});
    if (d.DataEepromSize == 0) hide({"CB36_Cpd", "CB36_Wrtd"});
    const bool usb = code == 36 || code == 42;
    for (const char* n : {"RG36_Osc", "RG36_Osd", "RG36_Clkdiv", "CB36_Pll", "CB36_Vreg", "CB36_Icport"})
        ctx.setVisible(n, usb);
    ctx.setVisible("RG37_Osc", !usb);
    ctx.setVisible("CB36_Ccp2", code == 36 || code == 37);
    ctx.setVisible("RG37_BB", code == 43 || code == 44);
    ctx.setVisible("RG42_BB", code == 41 || code == 42);
    if ((code == 43 || code == 44) && last < 16383) {
        const char* big = last >= 8191 ? "1K words Boot Block" : "512 words Boot Block";
        ctx.setItems("RG37_BB", {"256 words Boot Block", "512 words Boot Block", big, big});
    }
}

// ---- Rules of the Page38 set ---------------------------------------------------

// The "2" and "3" blocks exist above 16 K, the "4" and "5" blocks above 32 K.
std::optional<int> above16K(PageContext& ctx, const ControlRow& row) {
    return ctx.device().LastAddress > 16383 ? plainDecode(ctx, row) : std::nullopt;
}
std::optional<int> above32K(PageContext& ctx, const ControlRow& row) {
    return ctx.device().LastAddress > 32767 ? plainDecode(ctx, row) : std::nullopt;
}
const Rule kAbove16K{above16K, nullptr};
const Rule kAbove32K{above32K, nullptr};

void setup38(PageContext& ctx) {
    const DeviceRecord& d = ctx.device();
    ctx.setValue(kConfig3L, 0x00);
    ctx.setValue(kConfig4H, 0x00);
    for (const char* n : {"CB38_CP4", "CB38_CP5", "CB38_WRT4", "CB38_WRT5", "CB38_EBTR4", "CB38_EBTR5"})
        ctx.setEnabled(n, false);
    if (d.LastAddress == 16383)
        for (const char* n : {"CB38_CP2", "CB38_CP3", "CB38_WRT2", "CB38_WRT3", "CB38_EBTR2", "CB38_EBTR3"})
            ctx.setEnabled(n, false);
    if (d.VddMax != 3.6f) ctx.setItems("RG38_BORV", {"2.85V", "2.5V"});
    // The 28-pin parts have no dedicated in-circuit port: their default bytes
    // leave its bit out, and the box cannot set it.
    constexpr std::size_t kConfig4LDefault = 7;
    constexpr std::uint8_t kIcprt = 0x20;
    if (!(d.ConfigMasks[kConfig4LDefault] & kIcprt)) ctx.setEnabled("CB38_ICPRT", false);
}

// A Page38 protection box: checked clears its bit, unchecked sets it; the other bits stay.
ControlRow protect38(SheetRef sheet, const char* name, const char* caption, Target t, int bit, const char* parent,
                     const Rule* rule = nullptr) {
    ControlRow r = box(sheet, name, caption, t, bit, rule, parent);
    r.sense = false;
    return r;
}

void addBlocks38(std::vector<ControlRow>& r, SheetRef sheet, const char* const* names, const char* const* captions,
                 Target t, const char* parent) {
    static const Rule* const rules[] = {nullptr, nullptr, &kAbove16K, &kAbove16K, &kAbove32K, &kAbove32K};
    for (int i = 0; i < 6; ++i) r.push_back(protect38(sheet, names[i], captions[i], t, i, parent, rules[i]));
}

// ---- Tables --------------------------------------------------------------------

const std::vector<PicPageSet> kSets = {
    {{36, 37, 41, 42, 43, 44},
     {S::Page36, S::Page36A, S::Page36B, S::Page36C},
     {" Page 2", " Page 3", " Page 4"},
     PicLayout::Pic18,
     14,
     setup36},
    {{38},
     {S::Page38, S::Page38A, S::Page38B, S::Page38C, S::Page38D},
     {" Page 2", " Page 3", " Page 4", " Page 3"},
     PicLayout::Pic18,
     14,
     setup38},
};

std::vector<ControlRow> makeRows() {
    std::vector<ControlRow> r = {
        at(kIdGroupRight, 4, 410, 272,
           radioGroup(S::Page36, "RG36_Osc", " Oscillator ", kConfig1H, kOscField, kOscKeep,
                      {"XT,  XTused by USB", "XT, ,XT used by USB, PLL enabled", "EC, EC used by USB, RA6 = IO",
                       "EC, EC used by USB, CLKout on RA6", "EC, EC used by USB, PLL enabled, RA6 = IO",
                       "EC, EC used by USB, PLL enabled, CLKout on RA6", "Int Osc, EC used by USB, RA6 = IO",
                       "Int Osc, EC used by USB, CLKout on RA6", "Int Osc, XT used by USB",
                       "Int Osc, HS used by USB", "HS, HS used by USB", "HS, HS used by USB, PLL enabled"},
                      &kOsc36)),
        at(kIdGroupRight, 4, 410, 252,
           radioGroup(S::Page36, "RG37_Osc", " Oscillator ", kConfig1H, kOscField, kOscKeep,
                      {"LP Osc", "XT Osc", "HS Osc", "Ext RC Osc, RA6 = CLKO", "EC Osc, RA6 = CLKO ",
                       "EC Osc, RA6 I/O", "HS Osc, PLL enabled", "Ext RC Osc, RA6 = I/O",
                       "Int RC Osc, RA6 and RA7 = I/O", "Int RC Osc, RA6 = CLKO,  RA7 = I/O",
                       "Ext RC Osc, RA6 = CLKO"},
                      &kOsc37)),
        at(kIdGroupRight, 282, 200, 20, checkBox(S::Page36, "CB36_Fcm", "FCM enabled", kConfig1H, 6, 0x8F)),
        at(kIdGroupRight, 304, 200, 20, checkBox(S::Page36, "CB36_Ieso", "IESO enabled", kConfig1H, 7, 0x4F)),
        at(542, 4, 230, 186,
           radioGroup(S::Page36, "RG36_Osd", " Oscillator Divider ", kConfig1L, 0x07, 0x38,
                      {"No Osc divide (4MHz)", "Osc divided by 2 (8MHz)", "Osc divided by 3 (12MHz)",
                       "Osc divided by 4 (16MHz)", "Osc divided by 5 (20MHz)", "Osc divided by 6 (24MHz)",
                       "Osc divided by 10 (40MHz)", "Osc divided by 12 (48MHz)"})),
        at(542, 196, 230, 106,
           radioGroup(S::Page36, "RG36_Clkdiv", " CPU System Clock Divider ", kConfig1L, 0x18, 0x27,
                      {"No CPU Clock divide", "CPU Clock divided by 2", "CPU Clock divided by 3",
                       "CPU Clock divided by 4"})),
        at(542, 308, 230, 20, checkBox(S::Page36, "CB36_Pll", "USB Clk Src  96MHz PLL div 2", kConfig1L, 5, 0x1F)),

        checkBox(S::Page36A, "CB36_Wdt", "WDT enabled", kConfig2H, 0, 0x1E, &kEnables),
        radioGroup(S::Page36A, "RG36_Wdt", " Watchdog Postscaler ", kConfig2H, 0x1E, 0x01, postscalerItems(16)),
        newColumn(checkBox(S::Page36A, "CB36_Pwrt", "PWRT disabled", kConfig2L, 0, 0x3E)),
        radioGroup(S::Page36A, "RG36_Bor", " Brown-out enable ", kConfig2L, 0x06, 0x39,
                   {"BOR disabled", "BOR enabled , controlled by software", "BOR enabled , disabled in SLEEP mode",
                    "BOR enabled by hardware only"}),
        radioGroup(S::Page36A, "RG36_Bov", " Brown-out Voltage ", kConfig2L, 0x18, 0x27, brownOutVolts()),
        checkBox(S::Page36A, "CB36_Vreg", "VREG enabled", kConfig2L, 5, 0x1F),

        checkBox(S::Page36B, "CB36_Ccp2", "CCP2 muxed with RC1", kConfig3H, 0, 0x86),
        checkBox(S::Page36B, "CB36_Pbad", "PBAD enabled", kConfig3H, 1, 0x85),
        checkBox(S::Page36B, "CB36_Lpt1", "LPT1OSC enabled", kConfig3H, 2, 0x83),
        checkBox(S::Page36B, "CB36_Mclr", "MCLR enabled", kConfig3H, 7, 0x07),
        checkBox(S::Page36B, "CB36_Stvr", "STVR enabled", kConfig4L, 0, 0xFC),
        checkBox(S::Page36B, "CB36_Lvp", "LVP enabled", kConfig4L, 2, 0xF9),
        checkBox(S::Page36B, "CB36_Icport", "ICPORT enabled", kConfig4L, 5, 0xDD),
        checkBox(S::Page36B, "CB36_Xinst", "XINST enabled", kConfig4L, 6, 0xBD),
        checkBox(S::Page36B, "CB36_Debug", "DEBUG disabled ", kConfig4L, 7, 0x7D),
        newColumn(radioGroup(S::Page36B, "RG37_BB", "Boot Block", kConfig4L, 0x30, 0xC5,
                             {"1K words Boot Block", "2K words Boot Block", "4K words Boot Block",
                              "4K words Boot Block"})),
        radioGroup(S::Page36B, "RG42_BB", "Boot Block", kConfig4L, 0x10, 0xC5,
                   {"1K words Boot Block", "2K words Boot Block"}, &kBoot42),
    };
    const ProtectionNames names36 = {
        "GB36_Cp", "GB36_Wrt", "GB36_Tr", "CB36_Cpb", "CB36_Cpd", "CB36_Wrtb", "CB36_Wrtc", "CB36_Wrtd", "CB36_Trb",
        {"CB36_Cp0", "CB36_Cp1", "CB36_Cp2", "CB36_Cp3", "CB36_Cp4", "CB36_Cp5"},
        {"CB36_Wrt0", "CB36_Wrt1", "CB36_Wrt2", "CB36_Wrt3", "CB36_Wrt4", "CB36_Wrt5"},
        {"CB36_Tr0", "CB36_Tr1", "CB36_Tr2", "CB36_Tr3", "CB36_Tr4", "CB36_Tr5"},
    };
    addProtectionGroups(r, S::Page36C, names36, 6, false);

    const std::vector<ControlRow> page38 = {
        // Fifteen items: two columns, or the list runs off the sheet.
        inColumns(2, radioGroup(S::Page38, "RG38_Osc", " Oscillator ", kConfig1H, 0x0F, 0xF0,
                   {"LP Osc", "XT Osc", "HS Osc (high power, >16MHz)", "HS Osc (medium power 4-16MHz)",
                    "EC Osc, RA6 = CLKO (high power, >16MHz)", "EC Osc (high power, >16MHz)",
                    "Ext RC Osc, RA6 = CLKO", "Ext RC Osc", "Int RC Osc", "Int RC Osc, RA6 = CLKO",
                    "EC Osc, RA6 = CLKO (medium power 4-16MHz)", "EC Osc (medium power 4-16MHz)",
                    "EC Osc, RA6 = CLKO (low power)", "EC Osc (low power)", "Ext RC Osc, RA6 = CLKO"},
                   &kClamp)),
        box(S::Page38, "CB38_IESO", "IESO Enabled", kConfig1H, 7),
        box(S::Page38, "CB38_FCMEN", "FCMEN Enabled", kConfig1H, 6),
        box(S::Page38, "CB38_PCLKEN", "Primary Clock Enabled", kConfig1H, 5),

        radioGroup(S::Page38A, "RG38_WDTPS", " Watchdog Postscaler ", kConfig2H, 0x3C, 0xC3, postscalerItems(16)),
        radioGroup(S::Page38A, "RG38_WDTEN", "Watchdog Timer", kConfig2H, 0x03, 0xFC,
                   {"Disabled", "Enabled, Disabled in Sleep", "Controlled by SWDTEN bit", "Enabled"}),
        newColumn(box(S::Page38A, "CB38_PWRTEN", "Power-up timer Disabled", kConfig2L, 0)),
        box(S::Page38A, "CB38_LBPOR", "Low-Power Brown-out Disabled", kConfig2L, 6),
        radioGroup(S::Page38A, "RG38_BOREN", "Brown-out Reset", kConfig2L, 0x06, 0xF9,
                   {"Disabled", "Controlled by SBOREN bit", "Enabled , Disabled in Sleep", "Enabled"}),
        radioGroup(S::Page38A, "RG38_BORV", "Brown-out Reset Voltage", kConfig2L, 0x18, 0xE7,
                   {"2.85 V", "  2.5 V", "  2.2 V", "  1.9 V"}),
        newColumn(radioGroup(S::Page38A, "RG38_USBLSDIV", " USB Low-Speed Clock", kConfig1L, 0x20, 0xDF,
                             {"USB 24MHz Sys Clk divide by 4", "USB 48MHz Sys Clk divide by 8"})),
        radioGroup(S::Page38A, "RG38_PLLMULT", " PLL Multiplier Select", kConfig1L, 0x01, 0xFE,
                   {"Output = 4x Input Freq", "Output = 3x Input Freq"}),
        radioGroup(S::Page38A, "RG38_PLLEN", " PLL Enable", kConfig1L, 0x02, 0xFD,
                   {"Osc used directly", "Osc multiplied by 3 or 4"}),

        box(S::Page38B, "CB38_MCLRE", "MLCR Pin Enabled", kConfig3H, 7),
        box(S::Page38B, "CB38_PBADEN", "PORTB A/D Enabled", kConfig3H, 1),
        box(S::Page38B, "CB38_DEBUG", "DEBUG Disabled", kConfig4L, 7),
        box(S::Page38B, "CB38_XINST", "Extended Instrution Set Enable", kConfig4L, 6),
        box(S::Page38B, "CB38_ICPRT", "Dedicated In-Circuit Port Enable", kConfig4L, 5),
        box(S::Page38B, "CB38_LVP", "LVP Enabled", kConfig4L, 2),
        box(S::Page38B, "CB38_STVREN", "STVREN enabled", kConfig4L, 0),
        newColumn(radioGroup(S::Page38B, "RG38_SDOMX", " SDO Output MUX", kConfig3H, 0x40, 0xBF,
                             {"SDO on RC7", "SDO on RB3"})),
        radioGroup(S::Page38B, "RG38_T3CMX", " Timer3 Clock Input MUX", kConfig3H, 0x10, 0xEF,
                   {"T3CKI on RB5", "T3CKI on RC0"}),
        radioGroup(S::Page38B, "RG38_CCP2MX", " CCP MUX", kConfig3H, 0x01, 0xFE,
                   {"CCP2 is multiplexed with RB3", "CCP2 is multiplexed with RC1"}),
        radioGroup(S::Page38B, "RG38_CPUDIV", " CPU System Clock Select", kConfig1L, 0x18, 0xE7,
                   {"No CPU system clock divide", "CPU system clock divide by 2", "CPU system clock divide by 3",
                    "CPU system clock divide by 6"}),

        groupBox(S::Page38C, "GB38_CP", " Code Protection "),
        protect38(S::Page38C, "CB38_CPD", "CPD protected", kConfig5H, 7, "GB38_CP"),
        protect38(S::Page38C, "CB38_CPB", "CPB protected", kConfig5H, 6, "GB38_CP"),
    };
    r.insert(r.end(), page38.begin(), page38.end());
    static const char* const cp[] = {"CB38_CP0", "CB38_CP1", "CB38_CP2", "CB38_CP3", "CB38_CP4", "CB38_CP5"};
    static const char* const cpText[] = {"CP0 protected", "CP1 protected", "CP2 protected",
                                         "CP3 protected", "CP4 protected", "CP5 protected"};
    addBlocks38(r, S::Page38C, cp, cpText, kConfig5L, "GB38_CP");
    r.push_back(newColumn(groupBox(S::Page38C, "GB38_WRT", " Write Protection ")));
    r.push_back(protect38(S::Page38C, "CB38_WRTD", "WRTD protected", kConfig6H, 7, "GB38_WRT"));
    r.push_back(protect38(S::Page38C, "CB38_WRTB", "WRTB protected", kConfig6H, 6, "GB38_WRT"));
    r.push_back(protect38(S::Page38C, "CB38_WRTC", "WRTC protected", kConfig6H, 5, "GB38_WRT"));
    static const char* const wrt[] = {"CB38_WRT0", "CB38_WRT1", "CB38_WRT2", "CB38_WRT3", "CB38_WRT4", "CB38_WRT5"};
    static const char* const wrtText[] = {"WRT0 protected", "WRT1 protected", "WRT2 protected",
                                          "WRT3 protected", "WRT4 protected", "WRT5 protected"};
    addBlocks38(r, S::Page38C, wrt, wrtText, kConfig6L, "GB38_WRT");
    r.push_back(groupBox(S::Page38D, "GB38_EBTR", " Table Read Protection "));
    r.push_back(protect38(S::Page38D, "CB38_EBTRB", "EBTRB protected", kConfig7H, 6, "GB38_EBTR"));
    static const char* const tr[] = {"CB38_EBTR0", "CB38_EBTR1", "CB38_EBTR2",
                                     "CB38_EBTR3", "CB38_EBTR4", "CB38_EBTR5"};
    static const char* const trText[] = {"EBTR0 protected", "EBTR1 protected", "EBTR2 protected",
                                         "EBTR3 protected", "EBTR4 protected", "EBTR5 protected"};
    addBlocks38(r, S::Page38D, tr, trText, kConfig7L, "GB38_EBTR");
    return r;
}

}  // namespace

std::span<const PicPageSet> pic18NewPageSets() { return kSets; }
std::span<const ControlRow> pic18NewRows() {
    static const std::vector<ControlRow> rows = makeRows();
    return rows;
}

}  // namespace tesmar::config
