// Microcontroller pages 205 to 212 and their rules. Page 205 serves chip
// codes 205 and 210, page 209 codes 209 and 211; the second code of each
// keeps some options at other bits, which the rules below move.
#include <array>
#include <string_view>

#include "config/ConfigPages.h"
#include "config/McuPages.h"

namespace tesmar::config {

using G = ConfigGlobal;
using S = Sheet;

namespace {

constexpr std::uint8_t kCode210 = 210, kCode211 = 211;
constexpr std::int8_t kAlgorithmFuseByte = 34;

// The clock lists of page 209. Each item's text begins with the CKSEL3..0
// code it writes, so caption and bits agree as long as each part gets the
// list of its own clock codes. The form's list (on the row) is that of the
// chips whose codes 0011 and 01xx are the 128 kHz and low-frequency
// oscillators; chip code 211 and the ATtiny25/45/85 have codes of their own.
const std::vector<const char*> kCkselItems211 = {
    "0000 -External Clock",
    "0010 -Internal 4MHz Osc",
    "0100 -Internal 8MHz Osc",
    "0110 -Internal 128KHz Osc",
    "1000 -Xtal Osc/Res 0.4-0.9 MHz",
    "1001 -Xtal Osc/Res 0.4-0.9 MHz",
    "1010 -Xtal Osc/Res   0.9-3 MHz",
    "1011 -Xtal Osc/Res   0.9-3 MHz",
    "1100 -Xtal Osc/Res     3-8 MHz",
    "1101 -Xtal Osc/Res     3-8 MHz",
    "1110 -Xtal Osc/Res    8-20 MHz",
    "1111 -Xtal Osc/Res    8-20 MHz",
};
// The ATtiny25/45/85: 0011 is the 6.4 MHz oscillator of the ATtiny15
// compatibility mode, 0100 the 128 kHz oscillator, 0110 the low-frequency
// crystal; 0101 and 0111 are reserved and not offered.
const std::vector<const char*> kCkselItemsTinyX5 = {
    "0000 -External Clock",
    "0001 -High Freq PLL Clock",
    "0010 -Internal 8 MHz Osc",
    "0011 -Internal 6.4 MHz Osc",
    "0100 -Internal 128 KHz Osc",
    "0110 -Low-Freq Xtal Osc",
    "1000 -Xtal Osc/Res 0.4-0.9 MHz",
    "1001 -Xtal Osc/Res 0.4-0.9 MHz",
    "1010 -Xtal Osc/Res    0.9-3 MHz",
    "1011 -Xtal Osc/Res    0.9-3 MHz",
    "1100 -Xtal Osc/Res       3-8 MHz",
    "1101 -Xtal Osc/Res       3-8 MHz",
    "1110 -Xtal Osc/Res     8-20 MHz",
    "1111 -Xtal Osc/Res     8-20 MHz",
};

// The ATtiny25, ATtiny45 and ATtiny85 by their signature.
bool tinyX5(const DeviceRecord& d) {
    constexpr std::uint8_t kAtmel = 0x1E;
    constexpr std::array<std::pair<std::uint8_t, std::uint8_t>, 3> kSignatures = {
        {{0x91, 0x08}, {0x92, 0x06}, {0x93, 0x0B}}};
    if (d.MakerId != kAtmel) return false;
    for (const auto& [id, id2] : kSignatures)
        if (d.DeviceId == id && d.DeviceId2 == id2) return true;
    return false;
}

// The clock list the part's page shows: the form's own (on the row), or the part's.
const std::vector<const char*>& ckselItems(const DeviceRecord& d, const ControlRow& row) {
    if (tinyX5(d)) return kCkselItemsTinyX5;
    if (d.PageCode == kCode211) return kCkselItems211;
    return row.items;
}

// ---- Rules -----------------------------------------------------------------------

// Chip code 210 keeps the brown-out levels in FuseExt and the boot options
// in FuseHigh, the other way round from code 205.
ControlRow swapped210(const PageContext& ctx, const ControlRow& row) {
    ControlRow r = row;
    if (ctx.device().PageCode == kCode210)
        r.target = row.target == Target(G::FuseHigh) ? Target(G::FuseExt) : Target(G::FuseHigh);
    return r;
}
std::optional<int> swap210Decode(PageContext& ctx, const ControlRow& row) { return plainDecode(ctx, swapped210(ctx, row)); }
void swap210Click(PageContext& ctx, const ControlRow& row, int state) { plainClick(ctx, swapped210(ctx, row), state); }
const Rule kSwap210{swap210Decode, swap210Click};

// Chip code 211 keeps EESAVE, DWEN and RSTDISBL at other bits of FuseHigh.
constexpr std::array<std::pair<std::string_view, std::uint8_t>, 3> kBits211 = {{
    {"CB209_EESAVE", 0x40}, {"CB209_DWEN", 0x80}, {"CB209_RSTDISBL", 0x01}}};
ControlRow moved211(const PageContext& ctx, const ControlRow& row) {
    ControlRow r = row;
    if (ctx.device().PageCode == kCode211)
        for (const auto& [name, bit] : kBits211)
            if (name == row.name) {
                r.mask = bit;
                r.keep = std::uint8_t(~bit);
            }
    return r;
}
std::optional<int> moved211Decode(PageContext& ctx, const ControlRow& row) { return plainDecode(ctx, moved211(ctx, row)); }
void moved211Click(PageContext& ctx, const ControlRow& row, int state) { plainClick(ctx, moved211(ctx, row), state); }
const Rule kMoved211{moved211Decode, moved211Click};

// Brown-out level: items "4.3 V", "2.7 V", "1.8 V", "BOD Disabled" are the
// codes 100 to 111 of BODLEVEL2..0, which code 209 keeps in FuseHigh bits 2-0
// and code 211 in bits 3-1.
constexpr std::uint8_t kBodLevelBase = 4, kBodLevelField = 0x07;
int bodLevelShift(const PageContext& ctx) { return ctx.device().PageCode == kCode211 ? 1 : 0; }
std::optional<int> bodLevel209Decode(PageContext& ctx, const ControlRow& row) {
    const int code = (ctx.value(row.target) >> bodLevelShift(ctx)) & kBodLevelField;
    return code >= kBodLevelBase ? code - kBodLevelBase : -1;
}
void bodLevel209Click(PageContext& ctx, const ControlRow& row, int item) {
    const int shift = bodLevelShift(ctx);
    const std::uint8_t field = std::uint8_t(kBodLevelField << shift);
    const std::uint8_t code = std::uint8_t(((item + kBodLevelBase) << shift) & field);
    ctx.setValue(row.target, std::uint8_t((ctx.value(row.target) & ~field) | code));
}
const Rule kBodLevel209{bodLevel209Decode, bodLevel209Click};

// The clock combo writes the four binary digits its item's text begins with.
// It opens with no item chosen.
std::optional<int> ckselDecode(PageContext&, const ControlRow&) { return std::nullopt; }
void ckselClick(PageContext& ctx, const ControlRow& row, int item) {
    const std::vector<const char*>& items = ckselItems(ctx.device(), row);
    if (item < 0 || item >= int(items.size())) return;
    unsigned code = 0;
    for (int i = 0; i < 4; ++i) code = code * 2 + (items[std::size_t(item)][i] == '1' ? 1 : 0);
    ctx.setValue(row.target, std::uint8_t((ctx.value(row.target) & row.keep) | code));
}
const Rule kCkselCode{ckselDecode, ckselClick};

// The "Divided Clock by 8 " box shows FuseLow with its "0x".
void ckdiv8Click(PageContext& ctx, const ControlRow& row, int state) {
    plainClick(ctx, row, state);
    ctx.setText("FL_Value", "0x" + hex2(ctx.value(row.target)));
}
const Rule kCkdiv8{nullptr, ckdiv8Click};

// Page 206: every choice rewrites FuseLow bits 7-4, as 1111 for the
// algorithm-34 parts and as 0000 for the others.
constexpr std::uint8_t kFuse206Bits = 0x0F;
void fuse206Click(PageContext& ctx, const ControlRow& row, int item) {
    std::uint8_t v = ctx.value(row.target) & kFuse206Bits & ~row.mask;
    if (ctx.device().Algorithm == kAlgorithmFuseByte) v |= std::uint8_t(~kFuse206Bits);
    if (item) v |= row.mask;
    ctx.setValue(row.target, v);
}
const Rule kFuse206{nullptr, fuse206Click};

// Page 208's oscillator box names the gain it selects.
void oscGainClick(PageContext& ctx, const ControlRow& row, int state) {
    plainClick(ctx, row, state);
    ctx.setText(row.name, state ? "Osc Full Gain" : "Osc Half Gain");
}
const Rule kOscGain{nullptr, oscGainClick};

// Page 212: ticking programs the bit; unticking sets it together with bits 3-2.
constexpr std::uint8_t kPage212Unticked = 0x0C;
void bit212Click(PageContext& ctx, const ControlRow& row, int state) {
    const std::uint8_t v = ctx.value(row.target);
    ctx.setValue(row.target, state ? std::uint8_t(v & ~row.mask) : std::uint8_t(v | row.mask | kPage212Unticked));
}
const Rule kBit212{nullptr, bit212Click};

// ---- Rows --------------------------------------------------------------------------

ControlRow combo(Sheet sheet, const char* name, const char* caption, G g, std::uint8_t mask,
                 std::vector<const char*> items, const Rule* rule = nullptr, const char* parent = nullptr) {
    return {sheet, name, parent, ControlKind::ComboBox, caption, 0, 0, 170, 0, g, mask, std::uint8_t(~mask), true,
            std::move(items), rule};
}

ControlRow valueLabel(Sheet sheet, const char* name, G g) {
    return {sheet, name, nullptr, ControlKind::Label, "", 0, 0, 40, 0, g, 0xFF, 0, true, {}};
}

const std::vector<const char*> kMemoryLockItems = {"LB1 + LB2 on", "LB1 on", "Lock bits off"};
const std::vector<const char*> kBootLock0Items = {"BLB01 + BLB02 on", "BLB02 on", "BLB01 on", "Lock Bits off"};
const std::vector<const char*> kBootLock1Items = {"BLB11 + BLB12 on", "BLB12 on", "BLB11 on", "Lock Bits off"};

std::vector<ControlRow> makeRows() {
    using K = ControlKind;
    std::vector<ControlRow> r = {
        // Page 205 (codes 205 and 210).
        fuse(S::Page205, "CB205_Cksel0", "CKSEL0 = 1", G::FuseLow, 0, true),
        fuse(S::Page205, "CB205_Cksel1", "CKSEL1 = 1", G::FuseLow, 1, true),
        fuse(S::Page205, "CB205_Cksel2", "CKSEL2 = 1", G::FuseLow, 2, true),
        fuse(S::Page205, "CB205_Cksel3", "CKSEL3 = 1", G::FuseLow, 3, true),
        fuse(S::Page205, "CB205_Sut0", "SUT0 = 1", G::FuseLow, 4, true),
        fuse(S::Page205, "CB205_Sut1", "SUT1 = 1", G::FuseLow, 5, true),
        fuse(S::Page205, "CB205_Ckout", "CKOUT = 1", G::FuseLow, 6, true),
        fuse(S::Page205, "CB205_Ckdiv8", "CKDIV8 = 1", G::FuseLow, 7, true),
        newColumn(fuse(S::Page205, "CB205_Bodl0", "BODLEVEL0 = 1", G::FuseHigh, 0, true, &kSwap210)),
        fuse(S::Page205, "CB205_Bodl1", "BODLEVEL1 = 1", G::FuseHigh, 1, true, &kSwap210),
        fuse(S::Page205, "CB205_Bodl2", "BODLEVEL2 = 1", G::FuseHigh, 2, true, &kSwap210),
        at(0, 0, 110, 0, fuse(S::Page205, "CB205_Bootrst", "BOOTRST", G::FuseExt, 0, false, &kSwap210)),
        fuse(S::Page205, "CB205_Bootsz0", "BOOTSZ0", G::FuseExt, 1, false, &kSwap210),
        fuse(S::Page205, "CB205_Bootsz1", "BOOTSZ1", G::FuseExt, 2, false, &kSwap210),
        fuse(S::Page205, "CB205_Eesave", "EESAVE", G::FuseHigh, 3, false),
        fuse(S::Page205, "CB205_Wdton", "WDTON", G::FuseHigh, 4, false),
        fuse(S::Page205, "CB205_Spien", "SPIEN", G::FuseHigh, 5, false),
        fuse(S::Page205, "CB205_Dwen", "DWEN", G::FuseHigh, 6, false),
        fuse(S::Page205, "CB205_Rstdis", "RSTDISBL", G::FuseHigh, 7, false),
        newColumn(label(S::Page205, "Label205_Mlb", "Memory Lock Bits")),
        combo(S::Page205, "CB205_MlbBox", "", G::LockBits, 0x03, kMemoryLockItems, &kMemoryLockBox),
        label(S::Page205, "Label10", "Boot Lock Bits 0"),
        combo(S::Page205, "CB205_Blb0box", "", G::LockBits, 0x0C, kBootLock0Items),
        label(S::Page205, "Label27", "Boot Lock Bits 1"),
        combo(S::Page205, "CB205_Blb1box", "", G::LockBits, 0x30, kBootLock1Items),

        // Page 206: FuseLow bits 3-0, one group a bit, wide enough for either set of items.
        at(0, 0, 240, 0, radioGroup(S::Page206, "RG206_F1", " Fuse 1 ", G::FuseLow, 0x01, 0x0E,
                                    {"Serial Prog Enabled", "Serial Prog Disabled"}, &kFuse206)),
        at(0, 0, 240, 0, radioGroup(S::Page206, "RG206_F2", " Fuse 2 ", G::FuseLow, 0x02, 0x0D,
                                    {"x2 Clock Enabled", "x2 Clock Disabled"}, &kFuse206)),
        at(kNewColumn, 0, 240, 0, radioGroup(S::Page206, "RG206_F3", " Fuse 3 ", G::FuseLow, 0x04, 0x0B,
                                             {"User Row Prog Enabled", "User Row Prog Disabled"}, &kFuse206)),
        at(0, 0, 240, 0, radioGroup(S::Page206, "RG206_F4", " Fuse 4 ", G::FuseLow, 0x08, 0x07,
                                    {"Ext Clock Enabled", "Xtal Clock Enabled"}, &kFuse206)),

        // Page 207.
        fuse(S::Page207, "CB207_Sel0", "CKSEL0 = 1", G::FuseLow, 0, true),
        fuse(S::Page207, "CB207_Sel1", "CKSEL1 = 1", G::FuseLow, 1, true),
        fuse(S::Page207, "CB207_Sel2", "CKSEL2 = 1", G::FuseLow, 2, true),
        fuse(S::Page207, "CB207_Sel3", "CKSEL3 = 1", G::FuseLow, 3, true),
        fuse(S::Page207, "CB207_sut0", "SUT0 = 1", G::FuseLow, 4, true),
        fuse(S::Page207, "CB207_sut1", "SUT1 = 1", G::FuseLow, 5, true),
        fuse(S::Page207, "CB207_ckout", "CKOUT = 1", G::FuseLow, 6, true),
        fuse(S::Page207, "CB207_Div8", "CKDIV8 = 1", G::FuseLow, 7, true),
        newColumn(fuse(S::Page207, "CB207_btrst", "BOOTRST", G::FuseHigh, 0, false)),
        fuse(S::Page207, "CB207_btsz0", "BOOTSZ0", G::FuseHigh, 1, false),
        fuse(S::Page207, "CB207_btsz1", "BOOTSZ1", G::FuseHigh, 2, false),
        fuse(S::Page207, "CB207_eesave", "EESAVE", G::FuseHigh, 3, false),
        fuse(S::Page207, "CB207_wdton", "WDTON", G::FuseHigh, 4, false),
        fuse(S::Page207, "CB207_spien", "SPIEN", G::FuseHigh, 5, false),
        fuse(S::Page207, "CB207_jtagen", "JTAGEN", G::FuseHigh, 6, false),
        fuse(S::Page207, "CB207_ocden", "OCDEN", G::FuseHigh, 7, false),
        newColumn(fuse(S::Page207, "CB207_bdl0", "BODLEVEL0 = 1", G::FuseExt, 1, true)),
        fuse(S::Page207, "CB207_bdl1", "BODLEVEL1 = 1", G::FuseExt, 2, true),
        fuse(S::Page207, "CB207_bdl2", "BODLEVEL2 = 1", G::FuseExt, 3, true),
        fuse(S::Page207, "CB207_m161c", "M161C", G::FuseExt, 4, false),
        label(S::Page207, "Label207_Mlb", "Memory Lock Bits"),
        combo(S::Page207, "CB207_mlb", "", G::LockBits, 0x03, kMemoryLockItems, &kMemoryLockBox),
        label(S::Page207, "Label207_Blb0", "Boot Lock Bits 0"),
        combo(S::Page207, "CB207_blb0", "", G::LockBits, 0x0C, kBootLock0Items),
        label(S::Page207, "Label207_Blb1", "Boot Lock Bits 1"),
        combo(S::Page207, "CB207_blb1", "", G::LockBits, 0x30, kBootLock1Items),
    };
    const std::size_t group = r.size();
    addCalibrationGroup(r, S::Page207, "GroupBox15", "CB207_Prog", "CB207_edit", "Label207_Hex", "Label207_CalNote",
                        8);
    r[group].x = kNewColumn;

    const std::vector<ControlRow> rest = {
        // Page 208: the security byte; the seed fields stay hidden.
        at(8, 8, 160, 20, fuse(S::Page208, "P208Lock", "Lock Bit", G::SecurityByte, 0, false)),
        at(8, 32, 160, 20, fuse(S::Page208, "P208Movin", "MOVC inhibit", G::SecurityByte, 1, false)),
        at(8, 56, 160, 20, fuse(S::Page208, "P208S01in", "Encryption", G::SecurityByte, 2, false)),
        at(8, 80, 160, 20, fuse(S::Page208, "P208Osc", "Osc  Full Gain", G::SecurityByte, 7, true, &kOscGain)),
        at(8, 116, 130, 20, label(S::Page208, "Label6", "Security Register = ")),
        at(140, 116, 50, 20,
           {S::Page208, "Label5", nullptr, K::Label, "", 0, 0, 0, 0, G::SecurityByte, 0xFF, 0, true, {}, &kHexDisplay}),
        at(220, 8, 50, 20, label(S::Page208, "Label43", "Seed0")),
        at(272, 8, 50, 22, {S::Page208, "Seed0Edit", nullptr, K::Edit, "00", 0, 0, 0, 0, {}, 0, 0xFF, true, {}}),
        at(220, 36, 50, 20, label(S::Page208, "Label44", "Seed1")),
        at(272, 36, 50, 22, {S::Page208, "Seed1Edit", nullptr, K::Edit, "00", 0, 0, 0, 0, {}, 0, 0xFF, true, {}}),

        // Page 209 (codes 209 and 211).
        groupBox(S::Page209, "GB209_Cksel", "CKSEL[3:0]"),
        combo(S::Page209, "CKSEL_CB", "CKSEL_CB", G::FuseLow, 0x0F,
              {"0000 -External Clock", "0001 -High Freq PLL Clock", "0010 -Internal 8 MHz Osc",
               "0011 -Internal 128 KHz Osc", "0100 -Low-Freq Xtal Osc", "1000 -Xtal Osc/Res 0.4-0.9 MHz",
               "1001 -Xtal Osc/Res 0.4-0.9 MHz", "1010 -Xtal Osc/Res    0.9-3 MHz", "1011 -Xtal Osc/Res    0.9-3 MHz",
               "1100 -Xtal Osc/Res       3-8 MHz", "1101 -Xtal Osc/Res       3-8 MHz",
               "1110 -Xtal Osc/Res     8-20 MHz", "1111 -Xtal Osc/Res     8-20 MHz"},
              &kCkselCode, "GB209_Cksel"),
        radioGroup(S::Page209, "RG209_SUT", "SUT1..0", G::FuseLow, 0x30, 0xCF, {"00", "01", "10"}),
        radioGroup(S::Page209, "RG209_LB", " Lock Bits ", G::LockBits, 0x03, 0xFC,
                   {"LB1 + LB2 on", "LB1 on", "Lock Bits off"}, &kLock023),
        newColumn(fuse(S::Page209, "CB209_CKOUT", "CKOUT Enabled", G::FuseLow, 6, false)),
        fuse(S::Page209, "CB209_CKDIV8", "Divided Clock by 8 ", G::FuseLow, 7, false, &kCkdiv8),
        fuse(S::Page209, "CB209_SELFPRG", "SELFPRG Enabled", G::FuseExt, 0, false),
        fuse(S::Page209, "CB209_SPIEN", "SPI Enabled", G::FuseHigh, 5, false),
        fuse(S::Page209, "CB209_WDTON", "WDT always on", G::FuseHigh, 4, false),
        fuse(S::Page209, "CB209_EESAVE", "EESAVE", G::FuseHigh, 3, false, &kMoved211),
        fuse(S::Page209, "CB209_DWEN", "debugWIRE Enabled", G::FuseHigh, 6, false, &kMoved211),
        fuse(S::Page209, "CB209_RSTDISBL", "RSTDISBL", G::FuseHigh, 7, false, &kMoved211),
        newColumn(radioGroup(S::Page209, "RG209_BODLVL", "BODLEVEL[2..0]", G::FuseHigh, 0x07, 0xF8,
                             {"4.3 V", "2.7 V", "1.8 V", "BOD Disabled"}, &kBodLevel209)),
        label(S::Page209, "Label209_FL", "Fuse Low"),
        valueLabel(S::Page209, "FL_Value", G::FuseLow),
        label(S::Page209, "Label209_FH", "Fuse High"),
        valueLabel(S::Page209, "FH_Value", G::FuseHigh),
        label(S::Page209, "Label209_FE", "Fuse Ext"),
        valueLabel(S::Page209, "FE_Value", G::FuseExt),

        // Page 212: FuseLow, every box checked when its bit is 0. Bits 3-2 have
        // disabled boxes of their own.
        fuse(S::Page212, "CB212_LB1", "Lock Bit 1", G::FuseLow, 0, false, &kBit212),
        fuse(S::Page212, "CB212_LB2", "Lock Bit 2", G::FuseLow, 1, false, &kBit212),
        {S::Page212, "CheckBox1", nullptr, K::CheckBox, "", 0, 0, 0, 0, {}, 0, 0xFF, true, {}},
        {S::Page212, "CheckBox5", nullptr, K::CheckBox, "", 0, 0, 0, 0, {}, 0, 0xFF, true, {}},
        fuse(S::Page212, "CB212_SPIEN", "Serial Programming Enabled", G::FuseLow, 4, false, &kBit212),
        fuse(S::Page212, "CB212_Clkx2", "x2 Clock Enabled", G::FuseLow, 5, false, &kBit212),
        fuse(S::Page212, "CB212_URPE", "User Row Programming Enabled", G::FuseLow, 6, false, &kBit212),
        fuse(S::Page212, "CB212_OBE", "XTAL Osc Bypass Enabled", G::FuseLow, 7, false, &kBit212),
    };
    r.insert(r.end(), rest.begin(), rest.end());
    return r;
}

void setup205(PageContext& ctx) {
    const DeviceRecord& d = ctx.device();
    // Two parts without a boot section.
    if (d.Name != "ATmega48/V" && d.Name != "ATtiny861") return;
    if (d.PageCode == 205) {
        ctx.setText("CB205_Bootrst", "SELFPRGEN");
        ctx.setVisible("CB205_Bootsz0", false);
        ctx.setVisible("CB205_Bootsz1", false);
    }
    for (const char* name : {"CB205_Blb0box", "CB205_Blb1box", "Label10", "Label27"}) ctx.setVisible(name, false);
}

void setup206(PageContext& ctx) {
    ctx.setEnabled("RG206_F1", false);
    ctx.setEnabled("RG206_F3", false);
    if (ctx.device().Algorithm == kAlgorithmFuseByte) {
        ctx.setItems("RG206_F2", {"XTAL Osc Bypass Enable", "XTAL Osc Bypass Disable"});
        ctx.setItems("RG206_F4", {"System Clock Out Enable", "System Clock Out Disable"});
    }
}

// The clock list of the part, when it is not the form's.
void setup209(PageContext& ctx) {
    const ControlRow* row = findRow("CKSEL_CB");
    if (!row) return;
    const std::vector<const char*>& items = ckselItems(ctx.device(), *row);
    if (&items != &row->items) ctx.setItems("CKSEL_CB", std::vector<std::string>(items.begin(), items.end()));
}

void setup208(PageContext& ctx) {
    // Until the user sets security bits for this chip, the page starts from
    // none; once set, a later look shows them and keeps them.
    if (!ctx.mcu().McuConfigKnown) ctx.setValue(G::SecurityByte, 0xFF);
    const std::uint8_t id = ctx.device().DeviceId;
    ctx.setVisible("P208S01in", id == 0xE0 || id == 0x62);
    ctx.setVisible("P208Osc", id == 0xE0);
    for (const char* name : {"Seed0Edit", "Seed1Edit", "Label43", "Label44"}) ctx.setVisible(name, false);
}

}  // namespace

std::span<const ControlRow> mcuRowsLater() {
    static const std::vector<ControlRow> rows = makeRows();
    return rows;
}

void mcuPageSetupLater(PageContext& ctx) {
    switch (ctx.device().PageCode) {
    case 205: case kCode210: setup205(ctx); break;
    case 206: setup206(ctx); break;
    case 208: setup208(ctx); break;
    case 209:
    case kCode211: setup209(ctx); break;
    case 212:
        ctx.setEnabled("CheckBox1", false);
        ctx.setEnabled("CheckBox5", false);
        break;
    default: break;
    }
}

}  // namespace tesmar::config
