// Page20 .. Page33: the flash parts of the 16F and 12F ranges (and the
// 16C77x and 16C745/765 EPROM parts). Word 1 is H (bits 13..8) and L (bits
// 7..0); Page33 adds word 2 (kL2).
#include "config/PicPagesClassic.h"

namespace tesmar::config::classic {

namespace {

using S = PicSheet;

// ---- Fixed protection patterns -------------------------------------------------

const std::vector<Patterns> kPatterns = {
    // 16C505/16F505: the CP copies kept to the device's bits.
    {"RG20_Cp", {{0x00, 0x00, 0x2F, 0x00, kMaskAll}, {0x00, 0x0F, 0xFF, 0xD0, kMaskAll}}},
    // 16F87x: CP pairs in H bits 5:4 and L bits 5:4.
    {"RG21_Prot8k",
     {{0x0F, 0x00, 0xCF, 0x00}, {0x0F, 0x10, 0xCF, 0x10}, {0x0F, 0x20, 0xCF, 0x20}, {0x0F, 0x30, 0xCF, 0x30}}},
    {"RG21_Prot2k", {{0xCF, 0x00, 0xCF, 0x00}, {0xFF, 0x30, 0xFF, 0x30}}},
    // 16C77x: CP pairs in H bits 5:4 and 1:0 and L bits 5:4.
    {"RG22_Prot",
     {{0x0C, 0x00, 0xCF, 0x00}, {0x0C, 0x11, 0xCF, 0x10}, {0x0C, 0x22, 0xCF, 0x20}, {0x0C, 0x33, 0xCF, 0x30}}},
    // 16F62x: two CP pairs in H bits 5..2.
    {"RG23_Prot2k",
     {{0x01, 0x00, 0xFF, 0x00}, {0x01, 0x14, 0xFF, 0x00}, {0x01, 0x28, 0xFF, 0x00}, {0x01, 0x3C, 0xFF, 0x00}}},
    {"RG23_Prot1k",
     {{0x01, 0x00, 0xFF, 0x00}, {0x01, 0x14, 0xFF, 0x00}, {0x01, 0x3C, 0xFF, 0x00}},
     {{2, {0x01, 0x28, 0xFF, 0x00}}}},
    // 16C745/765: CP pairs in H bits 5..0 and L bits 5:4.
    {"RG29_Prot",
     {{0x00, 0x00, 0x0F, 0x00}, {0x00, 0x15, 0x0F, 0x10}, {0x00, 0x2A, 0x0F, 0x20}, {0x00, 0x3F, 0x0F, 0x30}}},
};

void protectClick(PageContext& ctx, const ControlRow& row, int item) { applyPattern(ctx, kPatterns, row, item); }
std::optional<int> protectDecode(PageContext& ctx, const ControlRow& row) {
    return patternDecode(ctx, kPatterns, row, plainDecode(ctx, row));
}
std::optional<int> protectClampedDecode(PageContext& ctx, const ControlRow& row) {
    return patternDecode(ctx, kPatterns, row, clampDecode(ctx, row));
}
const Rule kProtect{protectDecode, protectClick};
const Rule kProtectClamped{protectClampedDecode, protectClick};

// ---- Page20 --------------------------------------------------------------------

bool named(const DeviceRecord& d, const char* a, const char* b) { return d.Name == a || d.Name == b; }

// Both oscillator groups write the item of the group clicked. The 16C5xx
// group has no external clock: its "- invalid -" item chooses "LP", and a
// word that holds that code shows no item.
constexpr int kNoExternalClock = 3;
std::optional<int> osc20Decode(PageContext& ctx, const ControlRow& row) {
    const auto item = plainDecode(ctx, row);
    return std::string_view(row.name) == "RG20_OscC" && item == kNoExternalClock ? -1 : item;
}
void osc20Click(PageContext& ctx, const ControlRow& row, int item) {
    if (std::string_view(row.name) == "RG20_OscC" && item == kNoExternalClock) {
        ctx.setItemIndex(row.name, 0);  // runs this rule again with item 0
        return;
    }
    plainClick(ctx, row, item);
}
const Rule kOsc20{osc20Decode, osc20Click};

// The caption follows a click only; opening leaves the form's caption.
void mclr20Click(PageContext& ctx, const ControlRow& row, int state) {
    plainClick(ctx, row, state);
    ctx.setText(row.name, state ? "MCLR Enabled" : "MCLR pin is RB3");
}
const Rule kMclr20{nullptr, mclr20Click};

// ---- Page22: brown-out needs the power-up timer --------------------------------

constexpr std::uint8_t kPwrtDisabled = 0x08;

void clearPwrt(PageContext& ctx) {
    ctx.setValue(kL, std::uint8_t(ctx.value(kL) & ~kPwrtDisabled));
    ctx.setChecked("CB22_Pwt", false);
}

void bor22Click(PageContext& ctx, const ControlRow& row, int state) {
    plainClick(ctx, row, state);
    if (state) clearPwrt(ctx);
    ctx.setEnabled("RG22_Bor", state != 0);
}
const Rule kBor22{nullptr, bor22Click};

void pwt22Click(PageContext& ctx, const ControlRow& row, int state) {
    plainClick(ctx, row, state);
    if (ctx.checked("CB22_Bor")) clearPwrt(ctx);
}
const Rule kPwt22{nullptr, pwt22Click};

// ---- Page30 ---------------------------------------------------------------------

// L bits 5:4 and H bit 4 of the 16F87xA word read as 1; opening sets them
// and every write keeps them.
constexpr std::uint8_t kFixedL30 = 0x30, kFixedH30 = 0x10;

// ---- Tables --------------------------------------------------------------------

const std::vector<const char*> kOsc20F = {
    "LP", "XT", "HS", "EC + RB4", "INTOSC + RB4", "INTOSC + CLKOUT", "EXTRC on OSC1 + RB4", "EXTRC on OSC1 + CLKOUT"};
const std::vector<const char*> kOsc20C = {"LP",
                                          "XT",
                                          "HS",
                                          "- invalid -",
                                          "INTOSC + RB4",
                                          "INTOSC + CLKOUT",
                                          "EXTRC on OSC1 + RB4",
                                          "EXTRC on OSC1 + CLKOUT"};
const std::vector<const char*> kOsc23 = {
    "LP", "XT", "HS", "ExtClk on OSC1", "INTRC ", "INTRC CLKout on OSC2", "ER", "ER CLKout on OSC2"};
const std::vector<const char*> kOsc31 = {"LP",
                                         "XT",
                                         "HS",
                                         "EXTCLK + RA6",
                                         "INTOSC + RA6 + RA7",
                                         "INTOSC + CLKOUT + RA7",
                                         "RC on OSC1 + RA6",
                                         "RC on OSC1 + CLKOUT"};
const std::vector<const char*> kOsc32 = {"LP",
                                         "XT",
                                         "HS",
                                         "EXTCLK + GP4",
                                         "INTOSC + GP4 + GP5",
                                         "INTOSC + CLKOUT + GP5",
                                         "RC on OSC1 + GP4",
                                         "RC on OSC1 + CLKOUT"};

}  // namespace

void setup20(PageContext& ctx) {
    const bool flash = named(ctx.device(), "PIC16F505", "16F505");
    showOnly(ctx, {"RG20_OscF", "RG20_OscC"}, flash ? "RG20_OscF" : "RG20_OscC");
}

void setup21(PageContext& ctx) {
    ctx.setValue(kH, std::uint8_t(ctx.value(kH) & 0x3B));
    showOnly(ctx, {"RG21_Prot8k", "RG21_Prot2k"}, ctx.device().LastAddress >= 4096 ? "RG21_Prot8k" : "RG21_Prot2k");
}

void setup22(PageContext& ctx) { ctx.setEnabled("RG22_Bor", false); }

void setup23(PageContext& ctx) {
    showOnly(ctx, {"RG23_Prot2k", "RG23_Prot1k"}, ctx.device().LastAddress >= 2048 ? "RG23_Prot2k" : "RG23_Prot1k");
}
void finish23(PageContext& ctx) { ctx.setText("Label13", hex2(std::uint8_t(ctx.value(kH) & 0xFD))); }

void finish24(PageContext& ctx) {
    ctx.setText("Label13", "00");
    ctx.setText("Label14", hex2(std::uint8_t(ctx.value(kL) & 0x5F)));
}

void setup30(PageContext& ctx) {
    ctx.setValue(kL, std::uint8_t(ctx.value(kL) | kFixedL30));
    ctx.setValue(kH, std::uint8_t(ctx.value(kH) | kFixedH30));
    showOnly(ctx, {"RG30_Wrt8k", "RG30_Wrt4k"}, ctx.device().LastAddress >= 8192 ? "RG30_Wrt8k" : "RG30_Wrt4k");
}

void finish33(PageContext& ctx) {
    ctx.setText("Label15", "00");
    ctx.setText("Label16", hex2(std::uint8_t(ctx.value(kL2) & 0x03)));
}

std::vector<ControlRow> rows20to33() {
    const auto osc = oscLXHR();
    const auto prot2 = protection2();
    const auto prot4 = protection4();
    const char* const cp = " Code Protection ";
    const char* const pmcp = " Program Mem Code Protection ";
    const char* const cpd = "Data Memory Protection Off";
    return {
        // Page20 (16C505/16F505): the oscillator group by name.
        box(S::Page20, "CB20_Wdt", "WDT Enabled", kL, 3),
        box(S::Page20, "CB20_Mclr", "MCLR Enabled", kL, 5, &kMclr20),
        radioGroup(S::Page20, "RG20_Cp", cp, kL, 0x10, 0xEF, prot2, &kProtect),
        placed(kAltX, kAltY, 8, radioGroup(S::Page20, "RG20_OscF", " Oscillator ", kL, 0x07, 0xF8, kOsc20F, &kOsc20)),
        placed(kAltX, kAltY, 8, radioGroup(S::Page20, "RG20_OscC", " Oscillator ", kL, 0x07, 0xF8, kOsc20C, &kOsc20)),

        // Page21 (16F87x): protection group by size.
        radioGroup(S::Page21, "RG21_Osc", " Oscillator ", kL, 0x03, 0xFC, osc),
        box(S::Page21, "CB21_Wdt", "WDT Enabled ", kL, 2),
        box(S::Page21, "CB21_Pwt", "PWRT Disabled", kL, 3),
        box(S::Page21, "CB21_Bod", "BOD Enabled", kL, 6),
        box(S::Page21, "CB21_Lvp", "LV Programming Enable", kL, 7),
        box(S::Page21, "CB21_Cpd", cpd, kH, 0),
        box(S::Page21, "CB21_Fmw", "WRT Flash Mem Write Enabled", kH, 1),
        box(S::Page21, "CB21_Debug", "DEBUG Disabled", kH, 3),
        placed(kAltX, kAltY, 4,
               radioGroup(S::Page21, "RG21_Prot8k", pmcp, kL, 0x30, 0xCF,
                          {"All memory protected", "Upper 1/2 memory protected", "Upper 256 Words protected",
                           "Protection off"},
                          &kProtect)),
        placed(kAltX, kAltY, 2, radioGroup(S::Page21, "RG21_Prot2k", pmcp, kL, 0x10, 0xEF, prot2, &kProtect)),

        // Page22 (16C77x): brown-out and power-up timer interlocked.
        radioGroup(S::Page22, "RG22_Osc", " Oscillator ", kL, 0x03, 0x7C, osc),
        checkBox(S::Page22, "CB22_Wdt", "Watch-Dog Timer enabled ", kL, 2, 0x7B),
        checkBox(S::Page22, "CB22_Pwt", "Power-Up Timer  disabled", kL, 3, 0x77, &kPwt22),
        checkBox(S::Page22, "CB22_Bor", "Brown Out Enabled", kL, 6, 0x3F, &kBor22),
        newColumn(radioGroup(S::Page22, "RG22_Prot", cp, kL, 0x30, 0xCF, prot4, &kProtect)),
        radioGroup(S::Page22, "RG22_Bor", " Brown-out Voltage ", kH, 0x0C, 0x33, {"4.5V", "4.2V", "2.7V", "2.5V"}),

        // Page23 (16F627/628): protection group by size.
        radioGroup(S::Page23, "RG23_Osc", " Oscillator ", kL, 0x13, 0xEC, kOsc23, &kSplitOsc),
        newColumn(box(S::Page23, "CB23_Wdt", "WDT Enabled ", kL, 2)),
        box(S::Page23, "CB23_Pwt", "PWRT Disabled", kL, 3),
        box(S::Page23, "CB23_Mcl", "MCLR Enable", kL, 5),
        box(S::Page23, "CB23_Bod", "BOD Enabled", kL, 6),
        box(S::Page23, "CB23_Lvp", "LV Programming Enable", kL, 7),
        checkBox(S::Page23, "CB23_Cpd", cpd, kH, 0, 0xFC),
        placed(
            kAltX, kAltY, 4,
            radioGroup(S::Page23, "RG23_Prot2k", cp, kH, 0x0C, 0xF3,
                       {"000-7FF Protected", "200-7FF Protected", "400-7FF Protected", "Protection Off"}, &kProtect)),
        placed(kAltX, kAltY, 3,
               radioGroup(S::Page23, "RG23_Prot1k", cp, kH, 0x0C, 0xF3,
                          {"000-3FF protected", "200-3FF protected", "Protection off"}, &kProtectClamped)),

        // Page24 (16F7x).
        radioGroup(S::Page24, "RG24_Osc", " Oscillator ", kL, 0x03, 0x5C, osc),
        radioGroup(S::Page24, "RG24_Prot", pmcp, kL, 0x10, 0x4F, prot2),
        newColumn(checkBox(S::Page24, "CB24_Wdt", "Watch-Dog Timer enabled ", kL, 2, 0x5B)),
        checkBox(S::Page24, "CB24_Pwt", "Power-Up Timer  disabled", kL, 3, 0x57),
        checkBox(S::Page24, "CB24_Bod", "Brown Out Enabled", kL, 6, 0x1F),

        // Page29 (16C745/765).
        radioGroup(S::Page29, "RG29_Osc", " Oscillator ", kL, 0x03, 0x3C,
                   {"HS", "EC with CLK on OSC2", "HS with 4K PLL", "EC with 4K PLL"}),
        radioGroup(S::Page29, "RG29_Prot", cp, kL, 0x30, 0x0F, prot4, &kProtect),
        newColumn(checkBox(S::Page29, "CB29_Wdt", "Watch-Dog Timer enabled ", kL, 2, 0x3B)),
        checkBox(S::Page29, "CB29_Put", "Power-Up Timer  disabled", kL, 3, 0x37),

        // Page30 (16F87xA): the fixed bits kept by every write.
        radioGroup(S::Page30, "RG30_Osc", " Oscillator ", kL, 0x03, 0xCC | kFixedL30, osc),
        checkBox(S::Page30, "CB30_Wdt", "WDT Enabled ", kL, 2, 0xCB | kFixedL30),
        checkBox(S::Page30, "CB30_Pwt", "PWRT Disabled", kL, 3, 0xC7 | kFixedL30),
        box(S::Page30, "CB30_Bod", "BOD Enabled", kL, 6),
        box(S::Page30, "CB30_Lvp", "LV Programming Enable", kL, 7),
        checkBox(S::Page30, "CB30_Cpd", cpd, kH, 0, 0x2E | kFixedH30),
        checkBox(S::Page30, "CB30_Debug", "DEBUG Disabled", kH, 3, 0x27 | kFixedH30),
        placed(kAltX, kAltY, 4,
               radioGroup(S::Page30, "RG30_Wrt8k", "Program Mem Write Protection ", kH, 0x06, 0x29 | kFixedH30,
                          {"0000 - 0FFF protected", "0000 - 07FF protected", "0000 - 00FF protected",
                           "Write protection off"})),
        placed(kAltX, kAltY, 4,
               radioGroup(S::Page30, "RG30_Wrt4k", "Program Mem Write Protection ", kH, 0x06, 0x29 | kFixedH30,
                          {"0000 - 07FF protected", "0000 - 03FF protected", "0000 - 00FF protected",
                           "Write protection off"})),
        placed(kAltX, kAltY + 6 * 22, 2, radioGroup(S::Page30, "RG30_Prot", pmcp, kH, 0x20, 0x0F | kFixedH30, prot2)),

        // Page31 (16F62xA/648A).
        radioGroup(S::Page31, "RG31_Osc", " Oscillator ", kL, 0x13, 0xEC, kOsc31, &kSplitOsc),
        newColumn(box(S::Page31, "CB31_Wdt", "WDT Enabled ", kL, 2)),
        box(S::Page31, "CB31_Pwt", "PWRT Disabled", kL, 3),
        box(S::Page31, "CB31_Mcl", "MCLR Enable", kL, 5),
        box(S::Page31, "CB31_Bod", "BOD Enabled", kL, 6),
        box(S::Page31, "CB31_Lvp", "LV Programming Enable", kL, 7),
        checkBox(S::Page31, "CB31_Cpd", cpd, kH, 0, 0x20),
        radioGroup(S::Page31, "RG31", cp, kH, 0x20, 0x01, prot2),

        // Page32 (12F629/675, 16F630/676).
        radioGroup(S::Page32, "RG32_Osc", " Oscillator ", kL, 0x07, 0xF8, kOsc32),
        newColumn(box(S::Page32, "CB32_Wdt", "WDT Enabled ", kL, 3)),
        box(S::Page32, "CB32_Pwt", "PWRT Disabled", kL, 4),
        box(S::Page32, "CB32_Mcl", "MCLR Enable", kL, 5),
        box(S::Page32, "CB32_Bod", "BOD Enabled", kL, 6),
        checkBox(S::Page32, "CB32_Cpd", cpd, kH, 0, 0x30),
        radioGroup(S::Page32, "RG32", cp, kL, 0x80, 0x7F, prot2),

        // Page33 and Page33A (16F87/88): two words.
        radioGroup(S::Page33, "RG33_Osc", " Oscillator ", kL, 0x13, 0xEC, kOsc23, &kSplitOsc),
        newColumn(box(S::Page33, "CB33_Wdt", "WDT Enabled", kL, 2)),
        box(S::Page33, "CB33_Pwt", "PWRT Disabled", kL, 3),
        box(S::Page33, "CB33_Mcl", "MCLR Enabled", kL, 5),
        box(S::Page33, "CB33_Bod", "BOD Enabled", kL, 6),
        box(S::Page33, "CB33_Lvp", "LV Programming Enabled", kL, 7),
        checkBox(S::Page33, "CB33_Cpd", cpd, kH, 0, 0x3E),
        checkBox(S::Page33, "CB33_Debug", "DEBUG Disabled", kH, 3, 0x37),
        checkBox(S::Page33, "CB33_Ieso", "IESO Enabled", kL2, 1, 0x01),
        checkBox(S::Page33, "CB33_Fcmen", "FCMEN Enabled", kL2, 0, 0x02),
        radioGroup(S::Page33A, "RG33_Write", " Flash Write Protection ", kH, 0x06, 0x39,
                   {"000-FFF Protected", "000-7FF Protected", "000-0FF Protected", "Protection Off"}),
        newColumn(radioGroup(S::Page33A, "RG33_Mux", " CCP1 Mux ", kH, 0x10, 0x2F, {"CCP1 on RB3", "CCP1 on RB0"})),
        radioGroup(S::Page33A, "RG33_Prot", pmcp, kH, 0x20, 0x1F, prot2),
    };
}

}  // namespace tesmar::config::classic
