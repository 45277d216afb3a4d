// Microcontroller pages 200 to 204A, the calibration groups of pages 203,
// 204A and 207, the dialog's fuse displays and the rules several pages share.
#include "config/McuPages.h"

#include <array>
#include <bit>
#include <cstdio>

#include "config/ConfigPages.h"
#include "families/Mcu.h"

namespace tesmar::config {

using G = ConfigGlobal;
using S = Sheet;

// ---- Rules shared by the pages -------------------------------------------------

namespace {

// Lock groups and lock combos store one of three fixed patterns. Pages 200
// to 202 write the whole byte, of which the family sends the AT90S parts
// only lock bits 1 and 2 and the ATtiny11/12 nothing (their bytes are never
// read). The other lock choices write only the lock bits they stand for: the
// rest of the lock byte (bits a part does not have read as 1, unprogrammed)
// stays as it came from the chip, so Program writes no lock bit nobody chose.
constexpr std::array<std::uint8_t, 3> kLock046Values = {0x00, 0x04, 0x06};
constexpr std::array<std::uint8_t, 3> kLock023Values = {0x00, 0x02, 0x03};

// The item whose pattern the bits under the row's mask hold; none otherwise.
std::optional<int> patternItem(PageContext& ctx, const ControlRow& row, const std::array<std::uint8_t, 3>& values) {
    const std::uint8_t v = ctx.value(row.target) & row.mask;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (v == values[i]) return int(i);
    return -1;
}

void writePattern(PageContext& ctx, const ControlRow& row, int item, const std::array<std::uint8_t, 3>& values) {
    if (item < 0 || item >= int(values.size())) return;
    ctx.setValue(row.target, std::uint8_t((ctx.value(row.target) & row.keep) | values[std::size_t(item)]));
}

std::optional<int> lock046Decode(PageContext& ctx, const ControlRow& row) { return patternItem(ctx, row, kLock046Values); }
void lock046Click(PageContext& ctx, const ControlRow& row, int item) { writePattern(ctx, row, item, kLock046Values); }
std::optional<int> lock023Decode(PageContext& ctx, const ControlRow& row) { return patternItem(ctx, row, kLock023Values); }
void lock023Click(PageContext& ctx, const ControlRow& row, int item) { writePattern(ctx, row, item, kLock023Values); }

// The combo shows "LB1 + LB2 on" for a field of 00 or 01 (01 is not a state it writes).
std::optional<int> memoryLockDecode(PageContext& ctx, const ControlRow& row) {
    const int field = fieldOf(row, ctx.value(row.target));
    return field == 0 ? 0 : field - 1;
}

std::string hexDisplay(const PageContext& ctx, const ControlRow& row) { return "0x" + hex2(ctx.value(row.target)); }

// Every click of page 200 also clears FuseLow bits 7-5, its lock group's too.
constexpr std::uint8_t kPage200FuseBits = 0x1F;
void lock200Click(PageContext& ctx, const ControlRow& row, int item) {
    lock046Click(ctx, row, item);
    ctx.setValue(G::FuseLow, std::uint8_t(ctx.value(G::FuseLow) & kPage200FuseBits));
}
const Rule kLock200{lock046Decode, lock200Click};

// Page 203's clock list starts at code 0001: item n is CKSEL n + 1.
std::optional<int> itemPlusOneDecode(PageContext& ctx, const ControlRow& row) {
    const int item = fieldOf(row, ctx.value(row.target)) - 1;
    return item < ctx.itemCount(row.name) ? item : -1;
}
void itemPlusOneClick(PageContext& ctx, const ControlRow& row, int item) {
    ctx.setValue(row.target, writeItem(row, ctx.value(row.target), item + 1));
}
const Rule kItemPlusOne{itemPlusOneDecode, itemPlusOneClick};

// Page 204's BODLEVEL box names the level it selects.
void bodLevelCaption(PageContext& ctx, const ControlRow& row, bool checked) {
    ctx.setText(row.name, checked ? "BODLEVEL = 2.6V" : "BODLEVEL = 4.0V");
}
const Rule kBodLevel204 = followsState<bodLevelCaption>();

}  // namespace

const Rule kLock046{lock046Decode, lock046Click};
const Rule kLock023{lock023Decode, lock023Click};
const Rule kMemoryLockBox{memoryLockDecode, lock023Click};
const Rule kHexDisplay{nullptr, nullptr, hexDisplay};

// ---- Calibration -----------------------------------------------------------------

namespace {

constexpr std::array<const char*, 12> kCalButtons = {
    "RadioButton1", "RadioButton2", "RadioButton3", "RadioButton4",  "RadioButton5",  "RadioButton6",
    "RadioButton7", "RadioButton8", "RadioButton9", "RadioButton10", "RadioButton11", "RadioButton12",
};
constexpr std::array<const char*, 3> kCalEdits = {"Edit203", "Edit204A", "CB207_edit"};
constexpr std::array<const char*, 3> kProgramBoxes = {"CB203_Prog", "CB204A_Prog", "CB207_Prog"};
constexpr std::array<const char*, 3> kCalGroups = {"GB203_C", "GB204A_CF", "GroupBox15"};
constexpr std::array<const char*, 3> kCalNotes = {"Label203_CalNote", "Label204A_CalNote", "Label207_CalNote"};

std::string hex4(std::uint32_t v) {
    char s[12];
    std::snprintf(s, sizeof s, "%04X", unsigned(v));
    return s;
}

// The CAL button a row stands for: 0..3 (CAL0..CAL3), kept as the row's bit.
int calNumber(const ControlRow& row) { return std::countr_zero(unsigned(row.mask)) & 3; }

// "Program @": the other pages' boxes follow through showCalFactorBox, whose
// setting of them finds the flag already written and goes no further.
std::optional<int> programAtDecode(PageContext& ctx, const ControlRow&) { return ctx.mcu().ProgramCalibration != 0; }
void programAtClick(PageContext& ctx, const ControlRow&, int state) {
    if ((ctx.mcu().ProgramCalibration != 0) == (state != 0)) return;
    ctx.setValue(G::ProgramCalibration, state ? 1 : 0);
    showCalFactorBox(ctx);
}
const Rule kProgramAt{programAtDecode, programAtClick};

// The button of CalibrationIndex; an index outside 1..4 opens on CAL0, so
// the family never reads a calibration byte before the first.
std::optional<int> calButtonDecode(PageContext& ctx, const ControlRow& row) {
    const int index = ctx.mcu().CalibrationIndex;
    const int n = index >= 1 && index <= 4 ? index - 1 : 0;
    if (n == calNumber(row)) return 1;
    return std::nullopt;
}
void calButtonClick(PageContext& ctx, const ControlRow& row, int) {
    ctx.setValue(G::CalibrationValue, ctx.mcu().CalibrationBytes[std::size_t(calNumber(row))]);
    showCalFactorBox(ctx);
}
const Rule kCalButton{calButtonDecode, calButtonClick};

// An address entry. A text that is not a number keeps the address and says
// so; an address past the device's code and data is kept too (the family
// refuses it when it programs), with a line that says it will not be stored.
void calAddressClick(PageContext& ctx, const ControlRow& row, int) {
    const std::string text = ctx.text(row.name);
    const auto v = parseHexEntry(text);
    if (!v) {
        ctx.say(badNumberLine(text));
        return;
    }
    ctx.mcu().CalibrationAddress = *v;
    const DeviceRecord& d = ctx.device();
    const std::uint64_t end = std::uint64_t(d.LastAddress) + 1 + d.DataEepromSize;
    ctx.say(*v >= end ? "Address 0x" + hex4(*v) + " lies outside the device: the calibration byte will not be stored"
                      : std::string());
}
const Rule kCalAddress{nullptr, calAddressClick};

// A group whose byte the family would never store takes no choice, and says why.
void calibrationSetup(PageContext& ctx) {
    const bool stored = McuStoresCalibration(ctx.device());
    for (const char* g : kCalGroups) ctx.setEnabled(g, stored);
    for (const char* n : kCalNotes) ctx.setVisible(n, !stored);
}

}  // namespace

void addCalibrationGroup(std::vector<ControlRow>& rows, Sheet sheet, const char* group, const char* program,
                         const char* edit, const char* hexLabel, const char* note, int firstButton) {
    using K = ControlKind;
    rows.push_back(at(0, 0, 200, 142, groupBox(sheet, group, " Calibration Factors ")));
    rows.push_back({sheet, program, group, K::CheckBox, "Program @", 10, 22, 98, 20, G::ProgramCalibration, 0x01, 0xFE,
                    true, {}, &kProgramAt});
    rows.push_back({sheet, edit, group, K::Edit, "0", 110, 20, 50, 22, {}, 0, 0xFF, true, {}, &kCalAddress});
    rows.push_back({sheet, hexLabel, group, K::Label, "Hex", 164, 22, 30, 20, {}, 0, 0xFF, true, {}});
    static const char* const cal[] = {"CAL0", "CAL1", "CAL2", "CAL3"};
    for (int n = 0; n < 4; ++n)
        rows.push_back({sheet, kCalButtons[std::size_t(firstButton + n)], group, K::RadioButton, cal[n],
                        10 + (n % 2) * 90, 52 + (n / 2) * 24, 86, 20, G::CalibrationIndex, std::uint8_t(1u << n),
                        std::uint8_t(~(1u << n)), true, {}, &kCalButton});
    rows.push_back({sheet, note, group, K::Label, "The calibration byte is not\nstored for this part", 10, 100, 184,
                    36, {}, 0, 0xFF, true, {}});
}

void showCalFactorBox(PageContext& ctx) {
    const bool on = ctx.mcu().ProgramCalibration != 0;
    for (const char* b : kCalButtons) ctx.setEnabled(b, on);
    for (const char* e : kCalEdits) ctx.setEnabled(e, on);
    for (const char* p : kProgramBoxes) ctx.setChecked(p, on);
    // Every address edit shows the one address, the page-207 edit too.
    const std::string address = hex4(ctx.mcu().CalibrationAddress);
    for (const char* e : kCalEdits)
        if (ctx.text(e) != address) ctx.setText(e, address);
    // CalibrationIndex counts from 1: CALn selects CalibrationBytes[n].
    int index = 0;
    for (std::size_t i = 0; i < kCalButtons.size(); ++i)
        if (ctx.checked(kCalButtons[i])) index = int(i % 4) + 1;
    if (index) ctx.setValue(G::CalibrationIndex, std::uint8_t(index));
}

// ---- Rows ----------------------------------------------------------------------

ControlRow fuse(Sheet sheet, const char* name, const char* caption, G g, int bit, bool sense, const Rule* rule) {
    ControlRow r = box(sheet, name, caption, g, bit, rule);
    r.sense = sense;
    return r;
}

namespace {

const std::vector<const char*> kLockItems = {"LB1 + LB2 on", "LB1 on", "Lock Bits off"};

// A box of page 200, whose clicks also clear FuseLow bits 7-5.
ControlRow fuse200(const char* name, const char* caption, int bit) {
    ControlRow r = fuse(S::Page200, name, caption, G::FuseLow, bit, false);
    r.keep = std::uint8_t(kPage200FuseBits & ~(1u << bit));
    return r;
}

// A read-only edit showing "0x" and the byte.
ControlRow hexEdit(Sheet sheet, const char* name, G g) {
    return {sheet, name, nullptr, ControlKind::Edit, "", 0, 0, 60, 22, g, 0xFF, 0, true, {}, &kHexDisplay};
}

ControlRow frameLabel(const char* name, const char* caption, G g, bool value) {
    ControlRow r{kFrame, name, nullptr, ControlKind::Label, caption, 0, 0, 0, 0, {}, 0, 0xFF, true, {}};
    if (value) r.target = g;
    return r;
}

std::vector<ControlRow> makeRows() {
    using K = ControlKind;
    std::vector<ControlRow> r = {
        // The dialog's fuse displays, below the sheets (placed by the dialog).
        frameLabel("FuseLowCaption", "Fuse Low:", G::FuseLow, false),
        frameLabel("Label13", "", G::FuseLow, true),
        frameLabel("FuseHighCaption", "Fuse High:", G::FuseHigh, false),
        frameLabel("Label14", "", G::FuseHigh, true),
        frameLabel("FuseExtCaption", "Fuse Ext:", G::FuseExt, false),
        frameLabel("Label15", "", G::FuseExt, true),

        // Page 200: FuseLow bits 4-0.
        fuse200("CB200_Cksel0", "CKSEL0 ", 0),
        fuse200("CB200_Cksel1", "CKSEL1", 1),
        fuse200("CB200_Cksel2", "CKSEL2", 2),
        fuse200("CB200_Rstdisbl", "RSTDISBL", 3),
        fuse200("CB200_Fstrt", "FSTRT", 4),
        newColumn(radioGroup(S::Page200, "RG200", " Lock Bits ", G::LockBits, 0xFE, 0x00, kLockItems, &kLock200)),

        // Page 201: FuseLow, all boxes checked when the bit is 0.
        fuse(S::Page201, "CB201_Cksel0", "CKSEL0 ", G::FuseLow, 0, false),
        fuse(S::Page201, "CB201_Cksel1", "CKSEL1", G::FuseLow, 1, false),
        fuse(S::Page201, "CB201_Cksel2", "CKSEL2", G::FuseLow, 2, false),
        fuse(S::Page201, "CB201_Cksel3", "CKSEL3", G::FuseLow, 3, false),
        fuse(S::Page201, "CB201_Rstdisbl", "RSTDISBL", G::FuseLow, 4, false),
        fuse(S::Page201, "CB201_Spien", "SPIEN", G::FuseLow, 5, false),
        fuse(S::Page201, "CB201_Boden", "BODEN", G::FuseLow, 6, false),
        fuse(S::Page201, "CB201_Bodlevel", "BODLEVEL", G::FuseLow, 7, false),
        newColumn(radioGroup(S::Page201, "RG201", " Lock Bits ", G::LockBits, 0xFF, 0x00, kLockItems, &kLock046)),
        label(S::Page201, "Label201_Cal", "Osc Calibration Factor"),
        {S::Page201, "CalFactor", nullptr, K::Memo, "", 0, 0, 60, 26, G::CalibrationValue, 0xFF, 0, true, {},
         &kHexDisplay},

        // Page 202: FuseLow bits 0 and 5.
        fuse(S::Page202, "CB202_Fstrt", "FSTRT", G::FuseLow, 0, false),
        fuse(S::Page202, "CB202_Spien", "SPIEN", G::FuseLow, 5, false),
        newColumn(radioGroup(S::Page202, "RG202", " Lock Bits ", G::LockBits, 0xFF, 0x00, kLockItems, &kLock046)),

        // Page 203: clock fields and options in FuseLow, the rest in FuseHigh.
        radioGroup(S::Page203, "RG203_CKSEL", "CKSEL3..0", G::FuseLow, 0x0F, 0xF0, {"0001", "0010", "0011", "0100"},
                   &kItemPlusOne),
        radioGroup(S::Page203, "RG203_SUT", "SUT1..0", G::FuseLow, 0x30, 0xCF, {"00", "01", "10"}),
        newColumn(fuse(S::Page203, "CB203_Ckopt", "CKOPT = 1", G::FuseLow, 6, true)),
        fuse(S::Page203, "CB203_Pllck", "PLLCK = 1", G::FuseLow, 7, true),
        fuse(S::Page203, "CB203_Boden", "BOD Enabled", G::FuseHigh, 0, false),
        fuse(S::Page203, "CB203_Bodlevel", "BODLEVEL = 2.7V", G::FuseHigh, 1, true),
        fuse(S::Page203, "CB203_Eesave", "EESAVE", G::FuseHigh, 2, false),
        fuse(S::Page203, "CB203_Spien", "SPI Enabled", G::FuseHigh, 3, false),
        fuse(S::Page203, "CB203_Rstdisbl", "RSTDISBL", G::FuseHigh, 4, false),
        label(S::Page203, "Label203_Low", "Fuse Low"),
        hexEdit(S::Page203, "Edit1", G::FuseLow),
        label(S::Page203, "Label203_High", "Fuse High"),
        hexEdit(S::Page203, "Edit2", G::FuseHigh),
        newColumn(radioGroup(S::Page203, "RG203", " Lock Bits ", G::LockBits, 0x03, 0xFC, kLockItems, &kLock023)),
    };
    addCalibrationGroup(r, S::Page203, "GB203_C", "CB203_Prog", "Edit203", "Label203_Hex", "Label203_CalNote", 0);

    const std::vector<ControlRow> page204 = {
        // Page 204: FuseLow then FuseHigh; boxes whose caption changes are wide enough for each.
        fuse(S::Page204, "CB204_Cksel0", "CKSEL0 = 1", G::FuseLow, 0, true),
        fuse(S::Page204, "CB204_Cksel1", "CKSEL1 = 1", G::FuseLow, 1, true),
        fuse(S::Page204, "CB204_Cksel2", "CKSEL2 = 1", G::FuseLow, 2, true),
        fuse(S::Page204, "CB204_Cksel3", "CKSEL3 = 1", G::FuseLow, 3, true),
        fuse(S::Page204, "CB204_Sut0", "SUT0 = 1", G::FuseLow, 4, true),
        fuse(S::Page204, "CB204_Sut1", "SUT1 = 1", G::FuseLow, 5, true),
        fuse(S::Page204, "CB204_Boden", "BODEN", G::FuseLow, 6, false),
        at(0, 0, 150, 0, fuse(S::Page204, "CB204_Bodlevel", "BODLEVEL = 1", G::FuseLow, 7, true, &kBodLevel204)),
        newColumn(fuse(S::Page204, "CB204_Bootrst", "BOOTRST", G::FuseHigh, 0, false)),
        fuse(S::Page204, "CB204_Bootsz0", "BOOTSZ0", G::FuseHigh, 1, false),
        fuse(S::Page204, "CB204_Bootsz1", "BOOTSZ1", G::FuseHigh, 2, false),
        fuse(S::Page204, "CB204_Eesave", "EESAVE", G::FuseHigh, 3, false),
        fuse(S::Page204, "CB204_Ckopt", "CKOPT = 1", G::FuseHigh, 4, true),
        fuse(S::Page204, "CB204_Spien", "SPIEN", G::FuseHigh, 5, false),
        at(0, 0, 110, 0, fuse(S::Page204, "CB204_Wdton", "WDTON", G::FuseHigh, 6, false)),
        at(0, 0, 110, 0, fuse(S::Page204, "CB204_Rstdisbl", "RSTDISBL", G::FuseHigh, 7, false)),
        // Page 204A: the lock byte, one group per pair of lock bits.
        radioGroup(S::Page204A, "RG204A_LB", " Memory  Lock Bits ", G::LockBits, 0x03, 0xFC, kLockItems, &kLock023),
        radioGroup(S::Page204A, "RG204A_Blb0", " Boot Lock Bits 0 ", G::LockBits, 0x0C, 0xF3,
                   {"BLB01 + BLB02 on", "BLB02 on", "BLB01 on", "Lock Bits off"}),
        newColumn(radioGroup(S::Page204A, "RG204A_Blb1", " Boot Lock Bits 1 ", G::LockBits, 0x30, 0xCF,
                             {"BLB11 + BLB12 on", "BLB12 on", "BLB11 on", "Lock Bits off"})),
    };
    r.insert(r.end(), page204.begin(), page204.end());
    addCalibrationGroup(r, S::Page204A, "GB204A_CF", "CB204A_Prog", "Edit204A", "Label204A_Hex", "Label204A_CalNote",
                        4);
    return r;
}

// Signature bytes 1 and 2 of the parts whose FSTRT box is RCEN.
bool rcenPart(const DeviceRecord& d) {
    return (d.DeviceId == 0x90 && d.DeviceId2 == 0x01) || (d.DeviceId == 0x91 && d.DeviceId2 == 0x03);
}

void setup204(PageContext& ctx) {
    const DeviceRecord& d = ctx.device();
    // These parts have JTAG in place of the watchdog and reset fuses, and no calibration bytes to store.
    if (d.DeviceId == 0x94 && (d.DeviceId2 == 0x03 || d.DeviceId2 == 0x06)) {
        ctx.setText("CB204_Wdton", "JTAGEN");
        ctx.setText("CB204_Rstdisbl", "OCDEN");
        ctx.setVisible("GB204A_CF", false);
    }
    if (d.Name == "ATmega8535") ctx.setText("CB204_Rstdisbl", "S8535C");
}

}  // namespace

std::span<const ControlRow> mcuRowsEarly() {
    static const std::vector<ControlRow> rows = makeRows();
    return rows;
}

bool isMcuPageCode(std::uint8_t pageCode) { return pageCode >= 200 && pageCode <= 212; }

unsigned fuseDisplaysShown(std::uint8_t pageCode) {
    switch (pageCode) {
    case 204: return 0b011;
    case 205: case 207: case 210: return 0b111;
    case 206: return 0b001;
    default: return 0;
    }
}

void mcuPageSetup(PageContext& ctx) {
    calibrationSetup(ctx);
    switch (ctx.device().PageCode) {
    case 202:
        if (rcenPart(ctx.device())) ctx.setText("CB202_Fstrt", "RCEN");
        break;
    case 204: setup204(ctx); break;
    default: mcuPageSetupLater(ctx); break;
    }
}

}  // namespace tesmar::config
