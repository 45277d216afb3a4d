// Pages of the parts with two 14-bit configuration words: the Page10 set
// (classic layout) and the Page46 set (enhanced mid-range layout, page codes
// 46 to 50). The two sets edit the same options at different bits.
#include "config/PicPages.h"

namespace tesmar::config {

namespace {

using S = PicSheet;

const std::vector<const char*> kOsc10 = {"LP", "XT", "HS", "EC + RA6 + CLKIN", "INTRC + RA6 + RA7",
                                         "INTRC + CLKOUT + RA7", "EXTRC on RA7 + RA6", "EXTRC on RA7 + CLKOUT"};
const std::vector<const char*> kOsc46 = {"LP", "XT", "HS", "EXTRC + RC on RA7", "INTRC + IO on RA7",
                                         "ECL + CLKIN on RA7", "ECM + CLKIN on RA7", "ECH + CLKIN on RA7"};
const std::vector<const char*> kProtection = {"All memory protected", "Protection off"};

// ---- Rules ---------------------------------------------------------------------

constexpr std::uint8_t kMwpKeepPage48 = 0x10;

// Page code 48 keeps only L2 bit 4 besides the write protection.
void mwp46Click(PageContext& ctx, const ControlRow& row, int state) {
    ControlRow r = row;
    if (ctx.device().PageCode == 48) r.keep = kMwpKeepPage48;
    plainClick(ctx, r, state);
}
const Rule kMwp46{nullptr, mwp46Click};

// The write-protect ranges of the Page10 parts by size. The 2K-word parts
// protect the lower half or quarter (codes 00, 01) and have no code 10.
constexpr std::uint32_t kTwoKWordsLast = 0xFFF;
std::vector<std::string> writeProtectItems10(std::uint32_t lastAddress) {
    if (lastAddress <= kTwoKWordsLast) return {"0x000 to 0x3FF", "0x000 to 0x0FF", "Off"};
    if (lastAddress <= 8192) return {"0x000 to 0x7FF", "0x000 to 0x3FF", "0x000 to 0x0FF", "Off"};
    return {"0x000 to 0xFFF", "0x000 to 0x7FF", "0x000 to 0x0FF", "Off"};
}

// On the 2K-word parts the third item, "Off", is code 11; their code 10
// shows no item.
constexpr int kWriteProtectOff = 3;
bool twoKWords(const PageContext& ctx) { return ctx.device().LastAddress <= kTwoKWordsLast; }
std::optional<int> mwp10Decode(PageContext& ctx, const ControlRow& row) {
    if (!twoKWords(ctx)) return plainDecode(ctx, row);
    const int code = fieldOf(row, ctx.value(row.target));
    return code == kWriteProtectOff ? 2 : code == 2 ? -1 : code;
}
void mwp10Click(PageContext& ctx, const ControlRow& row, int item) {
    plainClick(ctx, row, twoKWords(ctx) && item == 2 ? kWriteProtectOff : item);
}
const Rule kMwp10{mwp10Decode, mwp10Click};

// The write-protect ranges of the enhanced parts, by size; other sizes get none.
std::vector<std::string> writeProtectItems46(std::uint32_t lastAddress) {
    switch (lastAddress) {
    case 32767: return {"0x000 to 0x3FFF Words", "0x000 to 0x1FFF Words", "0x000 to 0x1FF Words", "Off"};
    case 16383: return {"0x000 to 0x1FFF Words", "0x000 to 0xFFF Words", "0x000 to 0x1FF Words", "Off"};
    case 8191: return {"0x000 to 0xFFF Words", "0x000 to 0x7FF Words", "0x000 to 0x1FF Words", "Off"};
    case 4095: return {"0x000 to 0x7FF Words", "0x000 to 0x3FF Words", "0x000 to 0x1FF Words", "Off"};
    default: return {};
    }
}

void setup10(PageContext& ctx) { ctx.setItems("RG10_Mwp", writeProtectItems10(ctx.device().LastAddress)); }

void setup46(PageContext& ctx) {
    const DeviceRecord& d = ctx.device();
    const int code = d.PageCode;
    if (code == 49 || code == 50) ctx.setVisible("CB46_EEPro", false);
    if (code == 49) {
        ctx.setItems("RG46_BorVolts", {"High Trip Point", "Low Trip Point"});
        ctx.setText("CB46_Pll", "PLL Enabled");
    }
    if (code == 50) {
        ctx.setItems("RG46_BorVolts", {"Set To 2.7V", d.VddMax == 3.6f ? "Set To 1.9V" : "Set To 2.45V"});
        for (const char* name : {"CB46_Pll", "RG46_PLLMULT", "RG46_USBLSCLK", "RG46_Vcap"}) ctx.setVisible(name, false);
        ctx.move("GroupBox16", 196, 120);
    }
    ctx.setItems("RG46_Mwp", writeProtectItems46(d.LastAddress));
    if (code == 49) {
        ctx.setText("RG46_Vcap", "CPU System Clock");
        ctx.setItems("RG46_Vcap", {"No CPU system clock divide", "CPU system clock divided by 2",
                                   "CPU system clock divided by 3", "CPU system clock divided by 6"});
        return;
    }
    for (const char* name : {"RG46_PLLMULT", "RG46_USBLSCLK", "CB46_LPBOR"}) ctx.setVisible(name, false);
    if (!(d.VddMax > 4.0f && code != 48)) {
        ctx.setVisible("RG46_Vcap", false);
        ctx.setEnabled("RG46_Vcap", false);
    }
}

// ---- Tables --------------------------------------------------------------------

const std::vector<PicPageSet> kSets = {
    {{10}, {S::Page10, S::Page10A}, {"Page2"}, PicLayout::Classic, 4, setup10},
    {{46, 47, 48, 49, 50}, {S::Page46, S::Page46A}, {"Page2"}, PicLayout::Enhanced, 4, setup46},
};

std::vector<ControlRow> makeRows() {
    return {
    // Page10: word 1 in H and L, word 2 in H2.
    radioGroup(S::Page10, "RG10_Osc", " Oscillator ", kL, 0x07, 0xF8, kOsc10),
    radioGroup(S::Page10, "RG10_Borbits", "Brown-out Reset", kH, 0x03, 0x3C,
               {"BOR Disabled", "BOR Controlled by SBOREN bit", "BOR Enabled,Disabled in Sleep", "BOR Enabled"}),
    newColumn(checkBox(S::Page10, "CB10_Wdt", "WDT Enabled", kL, 3, 0xF7)),
    checkBox(S::Page10, "CB10_Pwrt", "PWRT Disabled", kL, 4, 0xEF),
    checkBox(S::Page10, "CB10_Mclr", "MCLR Enabled", kL, 5, 0xDF),
    checkBox(S::Page10, "CB10_EEPro", "Data Memory Protection Off", kL, 7, 0x7F),
    checkBox(S::Page10, "CB10_Ieso", "IESO Enabled", kH, 2, 0x3B),
    checkBox(S::Page10, "CB10_Fcmen", "FCMEN Enabled", kH, 3, 0x37),
    checkBox(S::Page10, "CB10_Lvp", "LV Programming Enabled", kH, 4, 0x2F),
    checkBox(S::Page10, "CB10_Debug", "DEBUG Disabled", kH, 5, 0x1F),
    radioGroup(S::Page10, "RG10_BorVolts", "Brown-out Reset", kH2, 0x01, 0x06, {"BOR set to 2.1V", "BOR set to 4.0V"}),
    radioGroup(S::Page10A, "RG10_Cp", " Code Protection ", kL, 0x40, 0xBF, kProtection),
    at(0, 0, 180, 110, radioGroup(S::Page10A, "RG10_Mwp", "Memery Write Protection", kH2, 0x06, 0x01, {}, &kMwp10)),

    // Page46: word 1 in H and L, word 2 in H2 and L2 of the enhanced layout.
    radioGroup(S::Page46, "RG46_Osc", " Oscillator ", kL, 0x07, 0xF8, kOsc46),
    radioGroup(S::Page46, "RG46_Borbits", "Brown-out Reset", kH, 0x06, 0x39,
               {"Disabled", "Controlled by SBOREN bit", "Enabled , Disabled in Sleep", "Enabled"}),
    newColumn(checkBox(S::Page46, "CB46_Pwrt", "PWRT Disabled", kL, 5, 0xDF)),
    checkBox(S::Page46, "CB46_Mclr", "MCLR Enabled", kL, 6, 0xBF),
    checkBox(S::Page46, "CB46_EEPro", "Data Memory Protection Off", kH, 0, 0x3E),
    checkBox(S::Page46, "CB46_Clkouten", "CLKOUT Disabled ", kH, 3, 0x37),
    checkBox(S::Page46, "CB46_Ieso", "IESO Enabled", kH, 4, 0x2F),
    checkBox(S::Page46, "CB46_Fcmen", "FCMEN Enabled", kH, 5, 0x1F),
    checkBox(S::Page46, "CB46_Lvp", "LV Programming Enabled", kH2, 5, 0x1F),
    checkBox(S::Page46, "CB46_Debug", "DEBUG Disabled", kH2, 4, 0x2F),
    at(0, 0, 170, 64, radioGroup(S::Page46, "RG46_BorVolts", "Brown-out Reset", kH2, 0x04, 0x3B,
                                 {"Set to 2.7V", "Set to 1.9V"}, &kDeviceMasked)),
    at(8, 8, 180, 110,
       radioGroup(S::Page46A, "RG46_Wdt", "Watchdog Timer", kL, 0x18, 0xE7,
                  {"Disabled", "Controlled by SWDTEN bit", "Enabled , Disabled in Sleep", "Enabled"})),
    at(8, 124, 180, 66, radioGroup(S::Page46A, "RG46_Cp", " Code Protection ", kL, 0x80, 0x7F, kProtection)),
    at(8, 196, 180, 110, radioGroup(S::Page46A, "RG46_Mwp", "Memery Write Protection", kL2, 0x03, 0xFC, {}, &kMwp46)),
    at(196, 8, 200, 110,
       radioGroup(S::Page46A, "RG46_Vcap", "Voltage Regulator Capacitor", kL2, 0x30, 0xCF,
                  {"Enabled on RA0", "Enabled on RA5", "Enabled on RA6", "All pin functions Disabled"},
                  &kDeviceMasked)),
    at(196, 124, 200, 66,
       radioGroup(S::Page46A, "RG46_USBLSCLK", " USB Low-Speed Clock", kL2, 0x40, 0xBF,
                  {"USB Clock divide by 4", "USB Clock divide by 8"}, &kDeviceMasked)),
    at(196, 196, 200, 66,
       radioGroup(S::Page46A, "RG46_PLLMULT", " PLL Multiplier", kL2, 0x80, 0x7F,
                  {"4x PLL Output Frequency", "3x PLL Output Frequency"}, &kDeviceMasked)),
    at(404, 8, 190, 92, groupBox(S::Page46A, "GroupBox16", "Other Hardware Options ")),
    at(10, 20, 170, 20, checkBox(S::Page46A, "CB46_Pll", "4 x PLL Enabled", kH2, 0, 0x3E, &kDeviceMasked, "GroupBox16")),
    at(10, 42, 170, 20, checkBox(S::Page46A, "CB46_Stvren", "STVR Enabled", kH2, 1, 0x3D, &kDeviceMasked, "GroupBox16")),
    at(10, 64, 170, 20,
       checkBox(S::Page46A, "CB46_LPBOR", "Low-Power BOR disabled", kH2, 3, 0x37, &kDeviceMasked, "GroupBox16")),
    };
}

}  // namespace

std::span<const PicPageSet> twoWordPageSets() { return kSets; }
std::span<const ControlRow> twoWordRows() {
    static const std::vector<ControlRow> rows = makeRows();
    return rows;
}

}  // namespace tesmar::config
