// Page0 .. Page17 and Page40: the one-word pages of the EPROM and early
// flash parts, and the two-word Page4 set. Word 1 is H (bits 13..8, or
// 11..8 on the 12-bit parts) and L (bits 7..0); Page4 adds word 2 (kL2).
#include "config/PicPagesClassic.h"

namespace tesmar::config::classic {

namespace {

using S = PicSheet;

// ---- Fixed protection patterns -------------------------------------------------

// The 14-bit parts repeat the two CP bits over word bits 13..8, so "All
// memory protected" clears them in H as well as in L; "Protection off" sets
// them. The patterns also set bits the word reads as 1 (bit 7 on Pages 3, 8
// and 12, bits 6 and 1 on Page7).
constexpr Edit kAllProtected = {0x00, 0x00, 0xCF, 0x00};
const std::vector<Patterns> kPatterns = {
    {"RG3_Prot05k", {kAllProtected, {0x00, 0x3F, 0x4F, 0xB0}}},
    {"RG3_Prot1k",
     {kAllProtected, {0x00, 0x15, 0x4F, 0x90}, {0x00, 0x3F, 0x4F, 0xB0}},
     {{2, {0x00, 0x2A, 0x4F, 0xA0}}}},
    {"RG3_Prot2k", {kAllProtected, {0x00, 0x15, 0x4F, 0x90}, {0x00, 0x2A, 0x4F, 0xA0}, {0x00, 0x3F, 0x4F, 0xB0}}},
    {"RG6_Cp",
     {{0x00, 0x00, 0x9F, 0x00}, {0x00, 0x15, 0x9F, 0x20}, {0x00, 0x2A, 0x9F, 0x40}, {0x00, 0x3F, 0x9F, 0x60}}},
    // The 14C000 repeats each of its three protection bits three times: the
    // upper and lower program halves (word bits 12, 9, 5 and 11, 10, 4) and
    // the calibration space (13, 8, 7). "All memory protected" clears every
    // copy of the first two and leaves the calibration space to CB7_Cpc.
    {"RG7_Prot", {{0x21, 0x00, 0xCF, 0x42}, {0x21, 0x1E, 0xCF, 0x72}}},
    {"RG8_Prot", {{0x00, 0x00, 0x4F, 0x00}, {0x00, 0x3F, 0x4F, 0xB0}}},
    {"RG9_Prot", {{0x00, 0x00, 0x0F, 0x00}, {0x00, 0x3F, 0xFF, 0xF0}}},
    // The 16C55x parts: the patterns keep to the device's bits where the parts' masks say so.
    {"RG12_Prot05k", {{0x00, 0x00, 0x0F, 0x00, kMaskLKeep}, {0x00, 0x3F, 0xFF, 0x30, kMaskHSet | kMaskLSet}}},
    {"RG12_Prot1k",
     {{0x00, 0x00, 0x0F, 0x00, kMaskLKeep},
      {0x00, 0x15, 0x0F, 0x90, kMaskHSet},
      {0x00, 0x3F, 0xFF, 0x30, kMaskHSet | kMaskLSet}},
     {{2, {0x00, 0x2A, 0x0F, 0xA0, kMaskLSet}}}},
    {"RG12_Prot2k",
     {{0x00, 0x00, 0x0F, 0x00, kMaskLKeep},
      {0x00, 0x15, 0x0F, 0x90, kMaskLSet},
      {0x00, 0x2A, 0x0F, 0xA0, kMaskLSet},
      {0x00, 0x3F, 0xFF, 0x30, kMaskHSet | kMaskLSet}}},
    // The 16C642/662/715 hold CP1:CP0 four times: word bits 13:12, 11:10,
    // 9:8 and 5:4. L bit 7 is the parity switch and stays.
    {"RG17_Prot",
     {{0x00, 0x00, 0xCF, 0x00}, {0x00, 0x15, 0xCF, 0x10}, {0x00, 0x2A, 0xCF, 0x20}, {0x00, 0x3F, 0xCF, 0x30}}},
};

void protectClick(PageContext& ctx, const ControlRow& row, int item) { applyPattern(ctx, kPatterns, row, item); }
std::optional<int> protectDecode(PageContext& ctx, const ControlRow& row) {
    return patternDecode(ctx, kPatterns, row, plainDecode(ctx, row));
}
std::optional<int> protectClampedDecode(PageContext& ctx, const ControlRow& row) {
    return patternDecode(ctx, kPatterns, row, clampDecode(ctx, row));
}

// The 14C000's calibration space: checked, protected, clears all three copies of its bit.
void calibrationProtectClick(PageContext& ctx, const ControlRow&, int checked) {
    applyEdit(ctx, checked ? Edit{0xDE, 0x00, 0x7F, 0x00} : Edit{0xFF, 0x21, 0xFF, 0x80});
}
const Rule kCalibrationProtect{nullptr, calibrationProtectClick};
const Rule kProtect{protectDecode, protectClick};
const Rule kProtectClamped{protectClampedDecode, protectClick};

// The 12-bit parts with a calibration word (algorithm 6) repeat the CP bit in
// L bits 7..5; the others keep H to the device's bits either way.
constexpr std::int8_t kCalibratedBaseline = 6;
const std::vector<Patterns> kPatterns15 = {
    {"RG15_Prot", {{0x00, 0x0F, 0xF7, 0x00, kMaskHSet | kMaskLKeep}, {0x00, 0x0F, 0xFF, 0x08, kMaskHSet | kMaskLSet}}}};
const std::vector<Patterns> kPatterns15Calibrated = {
    {"RG15_Prot", {{0x00, 0x00, 0x17, 0x00}, {0x00, 0x0F, 0xFF, 0xE8, kMaskHSet | kMaskLSet}}}};

const std::vector<Patterns>& patterns15(PageContext& ctx) {
    return ctx.device().Algorithm == kCalibratedBaseline ? kPatterns15Calibrated : kPatterns15;
}

// The labels then show the word as the part takes it.
void protect15Click(PageContext& ctx, const ControlRow& row, int item) {
    applyPattern(ctx, patterns15(ctx), row, item);
    const auto& m = ctx.device().ConfigMasks;
    ctx.setText("Label13", hex2(std::uint8_t(ctx.value(kH) & m[0])));
    ctx.setText("Label14", hex2(std::uint8_t(ctx.value(kL) & m[1])));
}
std::optional<int> protect15Decode(PageContext& ctx, const ControlRow& row) {
    return patternDecode(ctx, patterns15(ctx), row, plainDecode(ctx, row));
}
const Rule kProtect15{protect15Decode, protect15Click};

// ---- Page4: fields over two bytes ----------------------------------------------

constexpr std::uint8_t kBit6 = 0x40, kBit7 = 0x80, kBit0 = 0x01;

// Brown-out reset: item bit 1 is L bit 6, item bit 0 is L2 bit 6.
std::optional<int> bor4Decode(PageContext& ctx, const ControlRow&) {
    return ((ctx.value(kL) & kBit6) ? 2 : 0) | ((ctx.value(kL2) & kBit6) ? 1 : 0);
}
void bor4Click(PageContext& ctx, const ControlRow&, int item) {
    ctx.setValue(kL, std::uint8_t((ctx.value(kL) & ~kBit6) | ((item & 2) ? kBit6 : 0)));
    ctx.setValue(kL2, std::uint8_t((ctx.value(kL2) & ~kBit6) | ((item & 1) ? kBit6 : 0)));
}
const Rule kBor4{bor4Decode, bor4Click};

// Brown-out voltage: item bit 1 is H bit 0, item bit 0 is L bit 7; the
// click writes them where opening reads them.
std::optional<int> borv4Decode(PageContext& ctx, const ControlRow&) {
    return ((ctx.value(kH) & kBit0) ? 2 : 0) | ((ctx.value(kL) & kBit7) ? 1 : 0);
}
void borv4Click(PageContext& ctx, const ControlRow&, int item) {
    ctx.setValue(kH, std::uint8_t((ctx.value(kH) & 0x3E) | ((item & 2) ? kBit0 : 0)));
    ctx.setValue(kL, std::uint8_t((ctx.value(kL) & 0x7F) | ((item & 1) ? kBit7 : 0)));
}
const Rule kBorv4{borv4Decode, borv4Click};

// ---- Captions that follow the state --------------------------------------------

// The 10F22x parts (fifth character '2') call the MCLR pin RB3, the others GP3.
bool tenF22x(const PageContext& ctx) { return nameAt(ctx.device(), 4) == '2'; }

void captionMcl(PageContext& ctx, const ControlRow& row, bool checked) {
    const char* pin = row.sheet == SheetRef(S::Page5) && tenF22x(ctx) ? "RB3" : "GP3";
    ctx.setText(row.name, checked ? "MCLR" : pin);
}
const Rule kMcl = followsState<captionMcl>();

// ---- Remapped items ------------------------------------------------------------

// Page6's oscillator value 3 is reserved: choosing it chooses "INTRC + GP4",
// and a word that holds it shows no item.
constexpr int kReservedOsc6 = 3, kIntrcOsc6 = 4;
std::optional<int> osc6Decode(PageContext& ctx, const ControlRow& row) {
    const auto item = plainDecode(ctx, row);
    return item == kReservedOsc6 ? -1 : item;
}
void osc6Click(PageContext& ctx, const ControlRow& row, int item) {
    if (item == kReservedOsc6) {
        ctx.setItemIndex(row.name, kIntrcOsc6);  // runs this rule again with the item chosen
        return;
    }
    plainClick(ctx, row, item);
}
const Rule kOsc6{osc6Decode, osc6Click};

// ---- Page40: the 16C5x parts ---------------------------------------------------

// Page code 19 parts whose masks implement the whole 12-bit word repeat the
// CP bit over bits 11..3; the others have bits 3..0 only.
constexpr std::uint8_t kRepeatedCpPage = 19;
constexpr std::uint32_t kWholeWord = 0x0FFF;
bool wide(PageContext& ctx) { return ctx.device().PageCode == kRepeatedCpPage && ctx.PicConfigMask() == kWholeWord; }

// Narrow parts clear L bits 7..4 on each write.
void wideKeepClick(PageContext& ctx, const ControlRow& row, int state) {
    ControlRow r = row;
    if (!wide(ctx)) r.keep &= 0x0F;
    plainClick(ctx, r, state);
}
const Rule kWideKeep{nullptr, wideKeepClick};

// Page code 19: "All memory protected" clears every copy of the CP bit,
// "Protection off" sets every copy the part implements (all of H and L bits
// 7..3 on a wide part, L bit 3 alone on a narrow one). Page code 40 has bit 3 only.
void protect40Click(PageContext& ctx, const ControlRow& row, int item) {
    plainClick(ctx, row, item);
    if (ctx.device().PageCode != kRepeatedCpPage) return;
    const auto& m = ctx.device().ConfigMasks;
    if (item == 0)
        applyEdit(ctx, {0x00, 0x00, 0x07, 0x00});
    else
        applyEdit(ctx, {0x00, std::uint8_t(m[0] & 0x0F), 0xFF, std::uint8_t(0x08 | (m[1] & 0xF8))});
}
const Rule kProtect40{nullptr, protect40Click};

// ---- Tables --------------------------------------------------------------------

const std::vector<const char*> kItemsOsc6 = {
    "LP", "XT", "HS", "--  invalid  --", "INTRC + GP4", "INTRC + CLKout", "EXTRC + GP4", "EXTRC + CLKout"};
const std::vector<const char*> kItemsOsc4 = {"LP",
                                             "XT",
                                             "HS",
                                             "EXTCLK + RA6",
                                             "INTRC + RA6 + RA7",
                                             "INTRC + CLKout  + RA7",
                                             "EXTRC + RA6",
                                             "EXTRC + CLKout on OSC2"};
const std::vector<const char*> kItemsOsc16 = {"LP",
                                              "XT",
                                              "HS",
                                              "EC + RA4 + OSC1",
                                              "INTRC + RA4 + RA5",
                                              "INTRC + OSC2 + RA5",
                                              "EXTRC on RA5 + RA4",
                                              "EXTRC on RA5 + OSC2"};

const char* const kProtect3[] = {"RG3_Prot2k", "RG3_Prot1k", "RG3_Prot05k"};
const char* const kProtect12[] = {"RG12_Prot2k", "RG12_Prot1k", "RG12_Prot05k"};

// Of three groups for 2K, 1K and 512 words, the one the device's size takes.
void showBySize(PageContext& ctx, const char* const (&groups)[3]) {
    const std::uint32_t last = ctx.device().LastAddress;
    const char* shown = last >= 4095 ? groups[0] : last >= 2047 ? groups[1] : groups[2];
    showOnly(ctx, {groups[0], groups[1], groups[2]}, shown);
}

}  // namespace

void setup3(PageContext& ctx) { showBySize(ctx, kProtect3); }
void setup12(PageContext& ctx) { showBySize(ctx, kProtect12); }

void setup5(PageContext& ctx) {
    const bool f22x = tenF22x(ctx);
    ctx.setVisible("RG5_Iofs", f22x);
    ctx.setVisible("GB5_Mcpu", f22x);
}

void setup16(PageContext& ctx) {
    const DeviceRecord& d = ctx.device();
    constexpr std::uint8_t kWurBit = 0x10;
    ctx.setVisible("CB16_Wur", (d.ConfigMasks[0] & kWurBit) != 0);
    if (nameAt(d, 0) == '1' && nameAt(d, 1) == '6' && nameAt(d, 2) == 'F' && nameAt(d, 3) == '9')
        ctx.setText("CB16_Wur", "DEBUG disabled");
}

std::vector<ControlRow> rows0to17() {
    const auto osc = oscLXHR();
    const auto prot2 = protection2();
    const auto prot4 = protection4();
    const char* const cp = " Code Protection ";
    return {
        // Page0 (16C52): the 12-bit word in L.
        radioGroup(S::Page0, "RG0_Osc", " Oscillator ", kL, 0x02, 0xFD, {"XT", "RC"}),
        radioGroup(S::Page0, "RG0_Prot", cp, kL, 0x08, 0xF7, prot2),

        // Page1, Page2 (16C61/71/84, 16C62/64/65/73/74).
        radioGroup(S::Page1, "RG1_Osc", " Oscillator ", kL, 0x03, 0xFC, osc),
        radioGroup(S::Page1, "RG1_Prot", cp, kL, 0x10, 0xEF, prot2),
        box(S::Page1, "CB1_Pwt", "Power-Up Timer  enabled", kL, 3),
        box(S::Page1, "CB1_Wdt", "Watch-Dog Timer enabled ", kL, 2),
        radioGroup(S::Page2, "RG2_Osc", " Oscillator ", kL, 0x03, 0xFC, osc),
        radioGroup(S::Page2, "RG2_Prot", cp, kL, 0x30, 0xCF, prot4),
        box(S::Page2, "CB2_Pwt", "Power-Up Timer  enabled", kL, 3),
        box(S::Page2, "CB2_Wdt", "Watch-Dog Timer enabled ", kL, 2),

        // Page3 (16C62x/16C6x A parts): protection group by size.
        radioGroup(S::Page3, "RG3_Osc", " Oscillator ", kL, 0x03, 0xFC, osc),
        box(S::Page3, "CB3_Pwt", "Power-Up Timer  disabled", kL, 3),
        box(S::Page3, "CB3_Wdt", "Watch-Dog Timer enabled ", kL, 2),
        box(S::Page3, "CB3_Bod", "Brown Out Enabled", kL, 6),
        placed(
            kAltX, kAltY, 4,
            radioGroup(S::Page3, "RG3_Prot2k", cp, kL, 0x30, 0xCF,
                       {"All protected", "upper 3/4 protected", "upper 1/2 protected", "Protection off"}, &kProtect)),
        placed(kAltX, kAltY, 3,
               radioGroup(S::Page3, "RG3_Prot1k", cp, kL, 0x30, 0xCF,
                          {"000 - 3FF protected", "200 - 3FF protected", "Protection off"}, &kProtectClamped)),
        placed(kAltX, kAltY, 2, radioGroup(S::Page3, "RG3_Prot05k", cp, kL, 0x10, 0xEF, prot2, &kProtect)),

        // Page4 and Page4A (16F7x7): two words.
        box(S::Page4, "CB4_Pwt", "PWRT Disabled", kL, 3),
        box(S::Page4, "CB4_Wdt", "WDT Enabled", kL, 2),
        box(S::Page4, "CB4_Mcl", "MCLR Enabled", kL, 5),
        box(S::Page4, "CB4_Ieso", "IESO Enabled", kL2, 1),
        box(S::Page4, "CB4_Fcmen", "FCMEN Enabled", kL2, 0),
        radioGroup(
            S::Page4, "RG4_Bor", " Brown-Out Reset Enable ", kL, kBit6, 0xBF,
            {"BOR disabled", "BOR controlled by s/w SBOREN", "BOR enabled , disabled during SLEEP", "BOR enabled"},
            &kBor4),
        newColumn(radioGroup(S::Page4, "RG4_Borv", " Brown-out Voltage ", kH, kBit0, 0x3E,
                             {"4.5V", "4.2V", "2.7V", "2.0V"}, &kBorv4)),
        radioGroup(S::Page4A, "RG4_Osc", " Oscillator ", kL, 0x13, 0xEC, kItemsOsc4, &kSplitOsc),
        newColumn(radioGroup(S::Page4A, "RG4_Mux", " CCP1 Mux ", kH, 0x10, 0x2F, {"CCP1 on RB3", "CCP1 on RC1"})),
        radioGroup(S::Page4A, "RG4_Prot", cp, kH, 0x20, 0x1F, prot2),

        // Page5 (10F20x/22x): the frequency and MCPU switches of the 10F22x parts.
        radioGroup(S::Page5, "RG5_Iofs", " Internal Oscillator Frequency ", kL, 0x01, 0x1E, {"4 MHz", "8 MHz"}),
        groupBox(S::Page5, "GB5_Mcpu", ""),
        checkBox(S::Page5, "CB5_Mcpu", "MCPU disabled", kL, 1, 0x1D, nullptr, "GB5_Mcpu"),
        checkBox(S::Page5, "CB5_Wdt", "Watch-Dog Timer enabled ", kL, 2, 0x1B),
        radioGroup(S::Page5, "RG5_Cp", cp, kL, 0x08, 0xF7, prot2),
        checkBox(S::Page5, "CB5_Mcl", "MCLR", kL, 4, 0x0F, &kMcl),

        // Page6 (12C67x): the CP pattern in H.
        radioGroup(S::Page6, "RG6_Osc", " Oscillator ", kL, 0x07, 0xF8, kItemsOsc6, &kOsc6),
        box(S::Page6, "CB6_Wdt", "Watch-Dog Timer enabled ", kL, 3),
        box(S::Page6, "CB6_Pwt", "Power-Up Timer  disabled", kL, 4),
        box(S::Page6, "CB6_Mcl", "MCLR", kL, 7, &kMcl),
        newColumn(radioGroup(S::Page6, "RG6_Cp", cp, kL, 0x60, 0x9F, prot4, &kProtect)),

        // Page7 (14C000).
        radioGroup(S::Page7, "RG7_Osc", " Oscillator ", kL, 0x01, 0xFE, {"HS", "INTERNAL"}),
        radioGroup(S::Page7, "RG7_Prot", cp, kL, 0x10, 0xEF, prot2, &kProtect),
        box(S::Page7, "CB7_Pwt", "Power-Up Timer  disabled", kL, 3),
        box(S::Page7, "CB7_Wdt", "Watch-Dog Timer enabled ", kL, 2),
        checkedWhenClear(box(S::Page7, "CB7_Cpc", "Calibration Space Protected", kL, 7, &kCalibrationProtect)),

        // Page8 (16C710/711), Page9 (16F83/84).
        radioGroup(S::Page8, "RG8_Osc", " Oscillator ", kL, 0x03, 0xFC, osc),
        radioGroup(S::Page8, "RG8_Prot", cp, kL, 0x10, 0xEF, prot2, &kProtect),
        box(S::Page8, "CB8_Pwt", "Power-Up Timer  disabled", kL, 3),
        box(S::Page8, "CB8_Wdt", "Watch-Dog Timer enabled ", kL, 2),
        box(S::Page8, "CB8_Bod", "Brown Out Enabled", kL, 6),
        radioGroup(S::Page9, "RG9_Osc", " Oscillator ", kL, 0x03, 0xFC, osc),
        radioGroup(S::Page9, "RG9_Prot", cp, kL, 0x10, 0xEF, prot2, &kProtect),
        box(S::Page9, "CB9_Pwt", "Power-up timer  disabled", kL, 3),
        box(S::Page9, "CB9_Wdt", "Watch-dog timer enabled ", kL, 2),

        // Page12 (16C55x): every write kept to the device's bits; protection group by size.
        radioGroup(S::Page12, "RG12_Osc", " Oscillator ", kL, 0x03, 0xFC, osc, &kDeviceMasked),
        box(S::Page12, "CB12_Pwt", "Power-up timer  disabled", kL, 3, &kDeviceMasked),
        box(S::Page12, "CB12_Wdt", "Watch-dog timer enabled ", kL, 2, &kDeviceMasked),
        placed(kAltX, kAltY, 4, radioGroup(S::Page12, "RG12_Prot2k", cp, kL, 0x30, 0xCF, prot4, &kProtect)),
        placed(kAltX, kAltY, 3,
               radioGroup(S::Page12, "RG12_Prot1k", cp, kL, 0x30, 0xCF,
                          {"All memory protected", "Upper 1/2 memory protected", "Protection off"}, &kProtectClamped)),
        placed(kAltX, kAltY, 2, radioGroup(S::Page12, "RG12_Prot05k", cp, kL, 0x10, 0xEF, prot2, &kProtect)),

        // Page15 (12C50x/12F50x baseline).
        radioGroup(S::Page15, "RG15_Osc", " Oscillator ", kL, 0x03, 0xFC, {"LP", "XT", "INTRC", "EXTRC"}),
        radioGroup(S::Page15, "RG15_Prot", cp, kL, 0x08, 0xF7, prot2, &kProtect15),
        box(S::Page15, "CB15_Wdt", "WDT Enabled", kL, 2),
        box(S::Page15, "CB15_Mclr", "MCLR pin Enabled", kL, 4),

        // Page16 (12F683, 16F91x).
        radioGroup(S::Page16, "RG16_Osc", " Oscillator ", kL, 0x07, 0xF8, kItemsOsc16),
        box(S::Page16, "CB16_Wdt", "Watch-Dog Timer enabled ", kL, 3),
        box(S::Page16, "CB16_Pwt", "Power-Up Timer disabled", kL, 4),
        box(S::Page16, "CB16_Mcl", "MCLR pin enabled", kL, 5),
        newColumn(radioGroup(S::Page16, "RG16_CProt", cp, kL, 0x40, 0xBF, {"Protected", "Protection Off"})),
        radioGroup(S::Page16, "RG16_DProt", " Data Protection ", kL, 0x80, 0x7F, {"Protected", "Protection Off"}),
        radioGroup(
            S::Page16, "RG16_Bod", " Brown-Out-Detect ", kH, 0x03, 0x3C,
            {"BOD && SBOD disabled", "BOD controlled by SBOD", "BOD enabled while running", "BOD always enabled"}),
        newColumn(checkBox(S::Page16, "CB16_Ieso", "IESO enabled", kH, 2, 0x3B)),
        checkBox(S::Page16, "CB16_Fcmen", "FCMEN enabled", kH, 3, 0x37),
        checkBox(S::Page16, "CB16_Wur", "Wake-Up Reset disabled", kH, 4, 0x2F),

        // Page17 (16C642/662/715): the whole word in L but the CP copies in H.
        radioGroup(S::Page17, "RG17_Osc", " Oscillator ", kL, 0x03, 0xFC, osc),
        radioGroup(S::Page17, "RG17_Prot", cp, kL, 0x30, 0xCF, prot4, &kProtect),
        newColumn(box(S::Page17, "CB17_Bod", "Brown Out Enabled", kL, 6)),
        box(S::Page17, "CB17_Mpe", "Memory Parity enabled", kL, 7),
        box(S::Page17, "CB17_Wdt", "Watch-Dog Timer enabled ", kL, 2),
        box(S::Page17, "CB17_Pwt", "Power-Up Timer  disabled", kL, 3),

        // Page40 (16C5x, page codes 19 and 40): the 12-bit word, H bits 11..8.
        radioGroup(S::Page40, "RG40_Osc", " Oscillator ", kL, 0x03, 0xFC, osc, &kWideKeep),
        radioGroup(S::Page40, "RG40_Prot", cp, kL, 0x08, 0xF7, prot2, &kProtect40),
        checkBox(S::Page40, "CB40_Wdt", "Watch-Dog Timer enabled ", kL, 2, 0xFB, &kWideKeep),
    };
}

}  // namespace tesmar::config::classic
