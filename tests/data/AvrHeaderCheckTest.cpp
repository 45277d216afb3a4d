// Every AVR record of the sample data held against avr-libc's header of its
// part, as avr-gcc's preprocessor reads it: the signature, the flash and
// data EEPROM sizes, the fuse bytes its chip code makes the family send, and
// the configuration page the record opens on: the bit every fuse box writes
// and when it shows checked, the field and codes of every clock and
// brown-out list, and a control for every fuse and lock group the part has.
// Last, every part with a fuse, lock or security page (the 8051 parts by
// their data sheets) on the simulated chip: a look at the page, closed with
// OK, changes no setting of the chip.
#include <QCheckBox>
#include <QComboBox>
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>

#include "config/gui/TfrmConfig.h"
#include "families/FamilyRig.h"
#include "families/Mcu.h"
#include "operations/Dispatch.h"
#include "sim/McuChip.h"
#include "support/PartHeaders.h"
#include "support/TestSupport.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

bool isAvr(const DeviceRecord& r) { return r.FamilyLetter == 'M' && (r.Algorithm == 30 || r.Algorithm == 32); }

std::vector<DeviceRecord> avrRecords() { return sampleRecords("zrvusb_m.usb", isAvr); }

// Where the header and the part's programming frame disagree. avr-libc's
// io8515.h numbers SPIEN and FSTRT 1 and 2; the fuse byte of the high-voltage
// frame, of which the family keeps bits 5 and 0 for every AT90S part, carries
// them at bits 5 and 0, as on the AT90S2313.
const std::map<std::pair<std::string, std::string>, AvrLibcPart::FuseBit> kFrameBits = {
    {{"AT90S8515", "SPIEN"}, {0, 5}},
    {{"AT90S8515", "FSTRT"}, {0, 0}},
};

// The fuse bits of a part as its page must write them.
std::map<std::string, AvrLibcPart::FuseBit> pageFuses(const DeviceRecord& rec, const AvrLibcPart& part) {
    auto fuses = part.fuses;
    for (auto& [name, bit] : fuses)
        if (const auto it = kFrameBits.find({rec.Name, name}); it != kFrameBits.end()) bit = it->second;
    return fuses;
}

// Lists of a fuse field: the field's avr-libc bits are <field>0, <field>1,
// ...; each item's code in the field is given, or (none given) the binary
// digits its text begins with.
struct FieldList {
    const char* name;
    const char* field;
    std::vector<int> codes;
};
const FieldList kFieldLists[] = {
    {"RG203_CKSEL", "CKSEL", {}},
    {"RG203_SUT", "SUT", {}},
    {"CKSEL_CB", "CKSEL", {}},
    {"RG209_SUT", "SUT", {}},
    // "4.3 V", "2.7 V", "1.8 V", "BOD Disabled".
    {"RG209_BODLVL", "BODLEVEL", {0b100, 0b101, 0b110, 0b111}},
};

// Lock lists: avr-libc names no single lock bit, only which groups a part
// has: 0 the memory lock bits, 1 and 2 the boot lock bits 0 and 1.
const std::map<std::string, int> kLockLists = {
    {"RG200", 0},       {"RG201", 0},         {"RG202", 0},         {"RG203", 0},     {"RG204A_LB", 0},
    {"RG204A_Blb0", 1}, {"RG204A_Blb1", 2},   {"CB205_MlbBox", 0},  {"CB205_Blb0box", 1},
    {"CB205_Blb1box", 2}, {"CB207_mlb", 0},   {"CB207_blb0", 1},    {"CB207_blb1", 2}, {"RG209_LB", 0},
};

// What a lock item's caption programs, as avr-libc's <avr/lock.h> names the
// modes of each group (the bits of the group are those its mode 3 programs).
// Pages 200 to 202 keep lock bits 1 and 2 at bits 1 and 2 of the frame the
// family sends, not where avr-libc's lock byte has them, and are not held to it.
const std::map<std::string, const char*> kLockModes = {
    {"LB1 + LB2 on", "LB_MODE_3"},         {"LB1 on", "LB_MODE_2"},     {"Lock Bits off", "LB_MODE_1"},
    {"BLB01 + BLB02 on", "BLB0_MODE_3"},   {"BLB02 on", "BLB0_MODE_4"}, {"BLB01 on", "BLB0_MODE_2"},
    {"BLB11 + BLB12 on", "BLB1_MODE_3"},   {"BLB12 on", "BLB1_MODE_4"}, {"BLB11 on", "BLB1_MODE_2"},
};
const char* const kGroupAllOn[] = {"LB_MODE_3", "BLB0_MODE_3", "BLB1_MODE_3"};
const std::set<std::string> kFrameLockLists = {"RG200", "RG201", "RG202"};

int leadingBinary(const QString& text) {
    int v = 0;
    for (const QChar c : text) {
        if (c != '0' && c != '1') break;
        v = v * 2 + (c == '1');
    }
    return v;
}

// The dialog opened on a record with every fuse and lock byte at `start`.
class Page {
public:
    Page(const DeviceRecord& rec, std::uint8_t start) {
        st_.CurrentDevice = std::make_shared<const DeviceRecord>(rec);
        st_.mcu.FuseLow = st_.mcu.FuseHigh = st_.mcu.FuseExt = st_.mcu.LockBits = start;
        dlg_ = std::make_unique<TfrmConfig>(st_, &owner_);
        dlg_->show();
    }
    std::array<std::uint8_t, 3> fuses() const { return {st_.mcu.FuseLow, st_.mcu.FuseHigh, st_.mcu.FuseExt}; }
    std::uint8_t lock() const { return st_.mcu.LockBits; }
    // The controls of this kind the page shows.
    template <class W>
    std::vector<W*> shown() const {
        std::vector<W*> out;
        for (const config::Sheet s : dlg_->visibleSheets()) {
            QWidget* sheet = dlg_->sheet(s);
            for (W* w : sheet->findChildren<W*>())
                if (w->isVisibleTo(sheet)) out.push_back(w);
        }
        return out;
    }

private:
    AppState st_;
    QWidget owner_;
    std::unique_ptr<TfrmConfig> dlg_;
};

}  // namespace

TEST(AvrHeaderCheck, SignatureSizesAndFuseBytesAreThePartsOwn) {
    ASSERT_TRUE(haveAvrLibc()) << "install avr-libc and gcc-avr (scripts/install-deps)";
    const auto records = avrRecords();
    ASSERT_GE(records.size(), 15u);
    // The chip codes for which the family sends an extended fuse byte.
    const std::set<int> extendedFuse = {205, 207, 209, 210, 211};
    for (const DeviceRecord& rec : records) {
        SCOPED_TRACE(rec.Name);
        const auto part = readAvrLibcPart(rec.Name);
        ASSERT_TRUE(part) << "avr-gcc does not know the part";
        EXPECT_EQ(int(rec.MakerId), part->signature[0]);
        EXPECT_EQ(int(rec.DeviceId), part->signature[1]);
        EXPECT_EQ(int(rec.DeviceId2), part->signature[2]);
        EXPECT_EQ(long(rec.LastAddress), part->flashEnd);
        EXPECT_EQ(long(rec.DataEepromSize), part->eepromBytes());
        const int sent = rec.Algorithm == 30 ? 1 : extendedFuse.count(rec.PageCode) ? 3 : 2;
        EXPECT_LE(part->fuseBytes, sent);
        EXPECT_EQ(part->fuseBytes == 3, sent == 3) << "chip code " << int(rec.PageCode);
    }
}

TEST(AvrHeaderCheck, EveryFuseControlWritesThePartsBits) {
    ASSERT_TRUE(haveAvrLibc());
    for (const DeviceRecord& rec : avrRecords()) {
        SCOPED_TRACE(rec.Name);
        const auto part = readAvrLibcPart(rec.Name);
        ASSERT_TRUE(part);
        const auto fuses = pageFuses(rec, *part);
        std::array<std::uint8_t, 3> named{};
        for (const auto& [name, f] : fuses) named[std::size_t(f.byte)] |= std::uint8_t(1u << f.bit);
        // Bits of fuses the part has, other than `mask` of byte `byte`, keep their value.
        auto othersKept = [&](const std::array<std::uint8_t, 3>& before, const std::array<std::uint8_t, 3>& after,
                              int byte, std::uint8_t mask) {
            for (int b = 0; b < 3; ++b) {
                const std::uint8_t keep = named[std::size_t(b)] & std::uint8_t(b == byte ? ~mask : 0xFF);
                EXPECT_EQ(after[std::size_t(b)] & keep, before[std::size_t(b)] & keep) << "fuse byte " << b;
            }
        };
        std::set<std::string> onPage;
        std::array<bool, 3> lockGroups{};
        for (const std::uint8_t start : {std::uint8_t(0x00), std::uint8_t(0xFF)}) {
            SCOPED_TRACE("opened on " + std::to_string(start));
            Page page(rec, start);
            struct Box { QCheckBox* box; CaptionFuse named; AvrLibcPart::FuseBit bit; };
            std::vector<Box> boxes;
            for (QCheckBox* b : page.shown<QCheckBox>()) {
                const std::string caption = b->text().toStdString();
                if (caption == "Program @") continue;  // the calibration choice
                const auto cf = avrFuseOfCaption(caption);
                const auto it = cf ? fuses.find(cf->fuse) : fuses.end();
                if (it == fuses.end()) {
                    ADD_FAILURE() << b->objectName().toStdString() << " \"" << caption << "\" names no fuse of the part";
                    continue;
                }
                onPage.insert(it->first);
                boxes.push_back({b, *cf, it->second});
                const bool programmed = ((start >> it->second.bit) & 1) == 0;
                EXPECT_EQ(b->isChecked(), programmed == cf->checkedWhenProgrammed) << caption << " as opened";
            }
            for (const Box& b : boxes) {
                const auto before = page.fuses();
                b.box->click();
                const auto after = page.fuses();
                const std::uint8_t bit = std::uint8_t(1u << b.bit.bit);
                EXPECT_EQ(after[std::size_t(b.bit.byte)] & bit, ~before[std::size_t(b.bit.byte)] & bit)
                    << b.named.fuse << " is not flipped by " << b.box->objectName().toStdString();
                othersKept(before, after, b.bit.byte, bit);
            }

            std::vector<QWidget*> lists;
            for (RadioGroup* g : page.shown<RadioGroup>()) lists.push_back(g);
            for (QComboBox* c : page.shown<QComboBox>()) lists.push_back(c);
            for (QWidget* w : lists) {
                const std::string name = w->objectName().toStdString();
                auto* group = qobject_cast<RadioGroup*>(w);
                auto* combo = qobject_cast<QComboBox*>(w);
                const int count = group ? group->count() : combo->count();
                auto choose = [&](int k) {
                    if (group) group->button(k)->click();
                    else combo->setCurrentIndex(k);
                };
                if (const auto lock = kLockLists.find(name); lock != kLockLists.end()) {
                    lockGroups[std::size_t(lock->second)] = true;
                    if (kFrameLockLists.count(name)) continue;
                    // Each item programs its mode's bits of the group; every other bit of
                    // the lock byte (the part's other groups, the bits it does not have) stays.
                    const auto groupBits = std::uint8_t(~part->number(kGroupAllOn[lock->second]));
                    for (int k = 0; k < count; ++k) {
                        const QString text = group ? group->items()[k] : combo->itemText(k);
                        const char* mode = nullptr;
                        for (const auto& [caption, m] : kLockModes)
                            if (text.compare(caption.c_str(), Qt::CaseInsensitive) == 0) mode = m;
                        ASSERT_TRUE(mode) << name << " item " << text.toStdString();
                        const std::uint8_t before = page.lock();
                        choose(k);
                        const auto want = std::uint8_t((before & ~groupBits) | (part->number(mode) & groupBits));
                        EXPECT_EQ(page.lock(), want) << name << " item " << text.toStdString();
                    }
                    continue;
                }
                const FieldList* list = nullptr;
                for (const FieldList& l : kFieldLists)
                    if (name == l.name) list = &l;
                if (!list) {
                    ADD_FAILURE() << "list " << name << " has no reference";
                    continue;
                }
                SCOPED_TRACE(name);
                // The field: <field>0 upward, in one byte, lowest bit first.
                int byte = -1, low = -1;
                std::uint8_t mask = 0;
                for (int i = 0;; ++i) {
                    const auto f = fuses.find(list->field + std::to_string(i));
                    if (f == fuses.end()) break;
                    onPage.insert(f->first);
                    if (i == 0) byte = f->second.byte, low = f->second.bit;
                    EXPECT_EQ(f->second.byte, byte);
                    EXPECT_EQ(f->second.bit, low + i);
                    mask |= std::uint8_t(1u << f->second.bit);
                }
                ASSERT_GE(byte, 0) << "the part has no field " << list->field;
                if (!list->codes.empty()) {
                    EXPECT_EQ(count, int(list->codes.size()));
                }
                for (int k = 0; k < count; ++k) {
                    const QString text = group ? group->items()[k] : combo->itemText(k);
                    const int code = list->codes.empty() ? leadingBinary(text) : list->codes[std::size_t(k)];
                    const auto before = page.fuses();
                    choose(k);
                    const auto after = page.fuses();
                    EXPECT_EQ((after[std::size_t(byte)] & mask) >> low, code) << text.toStdString();
                    othersKept(before, after, byte, mask);
                }
            }
        }
        for (const auto& [name, f] : fuses) EXPECT_TRUE(onPage.count(name)) << "no control for fuse " << name;
        EXPECT_EQ(lockGroups[0], part->lockBits) << "memory lock bits";
        EXPECT_EQ(lockGroups[1], part->bootLock0) << "boot lock bits 0";
        EXPECT_EQ(lockGroups[2], part->bootLock1) << "boot lock bits 1";
    }
}

// ---- A look at the page ---------------------------------------------------------

namespace {

// A chip's fuse bytes (low, high, extended) and lock byte as the chip keeps
// them (the security bits on an algorithm-26 part), one setting of its part
// applied to the factory's bytes; `libcLock` is the lock byte as avr-libc lays
// it out, for what a lock list must show.
struct ChipBytes {
    std::string setting;
    std::array<std::uint8_t, 3> fuses{0xFF, 0xFF, 0xFF};
    std::uint8_t lock = 0xFF, libcLock = 0xFF;
};

// A part's settings and the bits of the chip a Program must leave as they
// are after a look at the page. Unimplemented bits may change (the ATtiny11's
// fuse bits 7-5, which its page clears with every choice, are none of its fuses).
struct Look {
    std::vector<ChipBytes> settings;
    std::array<std::uint8_t, 3> fuseBits{};
    std::uint8_t lockBits = 0;
    // Config reads the chip's bytes before it shows them; for the others the
    // bytes are the ones set earlier (McuConfigKnown), as after a choice.
    bool readByConfig = true;
};

// The chip codes whose fuse read keeps nothing: their bytes are only ever the user's.
const std::set<int> kReadKeepsNothing = {200, 201, 210};

std::string hex2(unsigned v) { return QString::asprintf("0x%02X", v).toStdString(); }

// Where the chip keeps lock bits 1 and 2 (1..2), found on a chip of the record.
std::array<std::uint8_t, 3> lockBitPlaces(const DeviceRecord& rec) {
    const auto chip = sim::McuChip::blankFor(rec);
    std::array<std::uint8_t, 3> at{};
    for (int k = 0; k < 8; ++k) {
        chip->setLockByte(std::uint8_t(~(1u << k)));
        for (int n : {1, 2})
            if (chip->lockBitProgrammed(n)) at[std::size_t(n)] |= std::uint8_t(1u << k);
    }
    return at;
}

Look avrLook(const DeviceRecord& rec, const AvrLibcPart& part) {
    Look look;
    look.readByConfig = !kReadKeepsNothing.count(rec.PageCode);
    const auto fuses = pageFuses(rec, part);
    for (const auto& [name, f] : fuses) look.fuseBits[std::size_t(f.byte)] |= std::uint8_t(1u << f.bit);
    const auto lb = lockBitPlaces(rec);
    look.lockBits = lb[1] | lb[2] | (part.bootLock0 ? 0x0C : 0) | (part.bootLock1 ? 0x30 : 0);
    const std::array<std::uint8_t, 3> factory = part.defaultFuses();
    const auto unlocked = std::uint8_t(part.number("LOCKBITS_DEFAULT"));
    look.settings.push_back({"the factory's bytes", factory, unlocked, unlocked});
    for (const auto& [name, f] : fuses) {
        ChipBytes b{"", factory, unlocked, unlocked};
        b.fuses[std::size_t(f.byte)] ^= std::uint8_t(1u << f.bit);
        b.setting = name + ((b.fuses[std::size_t(f.byte)] >> f.bit) & 1 ? " unprogrammed" : " programmed");
        look.settings.push_back(b);
    }
    for (const char* mode : {"LB_MODE_2", "LB_MODE_3", "BLB0_MODE_2", "BLB0_MODE_3", "BLB0_MODE_4", "BLB1_MODE_2",
                             "BLB1_MODE_3", "BLB1_MODE_4"}) {
        if (!part.defines.count(mode)) continue;
        const auto libc = std::uint8_t(unlocked & part.number(mode));
        // Lock bits 1 and 2 where the chip keeps them, the boot lock bits where avr-libc has them.
        auto chip = std::uint8_t(libc | 0x03);
        for (int n : {1, 2})
            if (!((libc >> (n - 1)) & 1)) chip &= std::uint8_t(~lb[std::size_t(n)]);
        look.settings.push_back({mode, factory, chip, libc});
    }
    return look;
}

// The 8051 pages by their parts' data sheets, control by control: the bit of
// the fuse byte (page 208: of the security bits) and the state shown while
// the bit is 1. Page 206: the user fuses 1-4, item 1 unprogrammed; page 212:
// lock bits 1-2, serial programming, x2 clock, user row programming and
// oscillator bypass, checked when programmed (0); page 208: lock, MOVC
// inhibit and encryption, checked when programmed, and the oscillator's full
// gain, checked when 1.
struct Bit8051 {
    int page;
    const char* control;
    int bit;
    int stateWhileSet;
};
const Bit8051 k8051Bits[] = {
    {206, "RG206_F1", 0, 1},    {206, "RG206_F2", 1, 1},    {206, "RG206_F3", 2, 1},      {206, "RG206_F4", 3, 1},
    {212, "CB212_LB1", 0, 0},   {212, "CB212_LB2", 1, 0},   {212, "CB212_SPIEN", 4, 0},   {212, "CB212_Clkx2", 5, 0},
    {212, "CB212_URPE", 6, 0},  {212, "CB212_OBE", 7, 0},   {208, "P208Lock", 0, 0},      {208, "P208Movin", 1, 0},
    {208, "P208S01in", 2, 0},   {208, "P208Osc", 7, 1},
};

// Page 212's lock bits are bits 1-0 of the fuse byte as the part reports it.
constexpr std::uint8_t kLocksInFuseByte = 0x03;

Look look8051(const DeviceRecord& rec) {
    Look look;
    const int page = rec.PageCode;
    auto bytes = [&](std::uint8_t v, std::string setting) {
        ChipBytes b{std::move(setting)};
        if (page == 208) b.lock = v;
        else b.fuses[0] = v;
        if (page == 212) b.lock = std::uint8_t(0xFC | (v & kLocksInFuseByte));
        return b;
    };
    look.settings.push_back(bytes(0xFF, "the factory's bytes"));
    for (const Bit8051& b : k8051Bits)
        if (b.page == page) look.settings.push_back(bytes(std::uint8_t(~(1u << b.bit)), std::string(b.control) + "'s bit 0"));
    if (page == 206) look.fuseBits[0] = 0xFF;  // the fuse byte as the part reports it
    if (page == 212) look.fuseBits[0] = 0xF0, look.lockBits = kLocksInFuseByte;
    // The family sends the security bits 1-0; the others only show on the page.
    if (page == 208) look.lockBits = 0x03, look.readByConfig = false;
    return look;
}

// The state a control may show for the bytes: the one whose setting they
// hold; for a list whose settings they hold none of, no item. Empty: the
// control stands for nothing the check knows.
std::set<int> avrStates(QWidget* w, const ChipBytes& b, const DeviceRecord& rec, const AvrLibcPart& part) {
    const auto fuses = pageFuses(rec, part);
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
        const auto named = avrFuseOfCaption(box->text().toStdString());
        const auto it = named ? fuses.find(named->fuse) : fuses.end();
        if (it == fuses.end()) return {};
        const bool programmed = ((b.fuses[std::size_t(it->second.byte)] >> it->second.bit) & 1) == 0;
        return {programmed == named->checkedWhenProgrammed ? 1 : 0};
    }
    auto* group = qobject_cast<RadioGroup*>(w);
    auto* combo = qobject_cast<QComboBox*>(w);
    if (!group && !combo) return {};
    const std::string name = w->objectName().toStdString();
    const int count = group ? group->count() : combo->count();
    auto text = [&](int k) { return group ? group->items()[k] : combo->itemText(k); };
    // The clock list opens with no item chosen, and pages 200-202 choose a lock
    // item for the frame's own values only: these may show nothing.
    std::set<int> out;
    if (name == "CKSEL_CB" || kFrameLockLists.count(name)) out.insert(-1);
    int item = -1;
    if (const auto lock = kLockLists.find(name); lock != kLockLists.end()) {
        const auto groupBits = std::uint8_t(~part.number(kGroupAllOn[lock->second]));
        for (int k = 0; k < count; ++k)
            for (const auto& [caption, mode] : kLockModes)
                if (text(k).compare(caption.c_str(), Qt::CaseInsensitive) == 0 &&
                    ((part.number(mode) ^ b.libcLock) & groupBits) == 0)
                    item = k;
    } else {
        const FieldList* list = nullptr;
        for (const FieldList& l : kFieldLists)
            if (name == l.name) list = &l;
        if (!list) return {};
        int byte = -1, low = 0;
        std::uint8_t mask = 0;
        for (int i = 0; fuses.count(list->field + std::to_string(i)); ++i) {
            const auto f = fuses.at(list->field + std::to_string(i));
            if (i == 0) byte = f.byte, low = f.bit;
            mask |= std::uint8_t(1u << f.bit);
        }
        if (byte < 0) return {};
        const int code = (b.fuses[std::size_t(byte)] & mask) >> low;
        for (int k = 0; k < count; ++k)
            if ((list->codes.empty() ? leadingBinary(text(k)) : list->codes[std::size_t(k)]) == code) item = k;
    }
    out.insert(item);
    return out;
}

std::set<int> states8051(QWidget* w, const ChipBytes& b, const DeviceRecord& rec) {
    for (const Bit8051& k : k8051Bits) {
        if (k.page != rec.PageCode || w->objectName() != k.control) continue;
        const std::uint8_t byte = rec.PageCode == 208 ? b.lock : b.fuses[0];
        return {((byte >> k.bit) & 1) ? k.stateWhileSet : 1 - k.stateWhileSet};
    }
    return {};
}

// The chip holds the setting (or the user set it); the page opens on it as
// Config opens it, shows it and closes with OK; Program with erase first.
void lookAt(const DeviceRecord& rec, const Look& look, const AvrLibcPart* part) {
    for (const ChipBytes& b : look.settings) {
        SCOPED_TRACE(b.setting + ": fuses " + hex2(b.fuses[0]) + " " + hex2(b.fuses[1]) + " " +
                     hex2(b.fuses[2]) + ", lock " + hex2(b.lock));
        FamilyRig rig(rec);
        rig.st.pause = [](int) {};
        const bool erasable = (rec.Buttons >> BtnErase) & 1;
        rig.st.settings.ProgramSteps = std::uint8_t(kMcuStepCode | (erasable ? kMcuStepEraseFirst : 0));
        auto& chip = dynamic_cast<sim::McuChip&>(*rig.sim.chip());
        McuConfig& m = rig.st.mcu;
        if (look.readByConfig) {
            chip.setFuses(b.fuses);
            chip.setLockByte(b.lock);
            rig.startRun(kMcuReadFusesOp);
            ExecuteOperation(rig.st);
            ASSERT_EQ(rig.st.ErrorFlag.get(), 0) << rig.host.lines().join('|').toStdString();
        } else {
            m.FuseLow = b.fuses[0], m.FuseHigh = b.fuses[1], m.FuseExt = b.fuses[2];
            (rec.Algorithm == 26 ? m.SecurityByte : m.LockBits) = b.lock;
            m.McuConfigKnown = true;
        }
        {
            TfrmConfig dlg(rig.st, nullptr);
            dlg.show();
            for (const config::Sheet s : dlg.visibleSheets()) {
                QWidget* sheet = dlg.sheet(s);
                for (QWidget* w : sheet->findChildren<QWidget*>()) {
                    if (!w->isVisibleTo(sheet)) continue;
                    const std::set<int> want = part ? avrStates(w, b, rec, *part) : states8051(w, b, rec);
                    if (want.empty()) continue;
                    const auto* group = qobject_cast<RadioGroup*>(w);
                    const auto* combo = qobject_cast<QComboBox*>(w);
                    const int shows = group   ? group->itemIndex()
                                      : combo ? combo->currentIndex()
                                              : int(static_cast<QCheckBox*>(w)->isChecked());
                    EXPECT_TRUE(want.count(shows)) << w->objectName().toStdString() << " shows " << shows;
                }
            }
            dlg.BitBtn1->click();
        }
        rig.startRun('P');
        ExecuteOperation(rig.st);
        ASSERT_EQ(rig.st.ErrorFlag.get(), 0) << rig.host.lines().join('|').toStdString();
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(hex2(chip.fuses()[i] & look.fuseBits[i]), hex2(b.fuses[i] & look.fuseBits[i]))
                << "fuse byte " << i;
        }
        EXPECT_EQ(hex2(chip.lockByte() & look.lockBits), hex2(b.lock & look.lockBits)) << "lock bits";
    }
}

}  // namespace

// Every part with a microcontroller page, every single setting of its part:
// the page shows it, and a Program after the page was closed with OK leaves
// it on the chip.
TEST(McuLookCheck, ALookAtTheFusePageChangesNoSettingOfTheChip) {
    ASSERT_TRUE(haveAvrLibc());
    int parts = 0;
    for (const DeviceRecord& rec : avrRecords()) {
        SCOPED_TRACE(rec.Name);
        const auto part = readAvrLibcPart(rec.Name);
        ASSERT_TRUE(part);
        lookAt(rec, avrLook(rec, *part), &*part);
        ++parts;
    }
    for (const DeviceRecord& rec : sampleRecords("zrvusb_m.usb", [](const DeviceRecord& r) {
             return r.FamilyLetter == 'M' && (r.PageCode == 206 || r.PageCode == 208 || r.PageCode == 212);
         })) {
        SCOPED_TRACE(rec.Name);
        lookAt(rec, look8051(rec), nullptr);
        ++parts;
    }
    EXPECT_GE(parts, 24);
}
