// The microcontroller pages of the configuration dialog on the offscreen
// platform, opened on sample records: what each control shows for the fuse
// bytes, the bits each click writes, the renamings, the calibration choice,
// and the dialog through the main window.
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "config/gui/TfrmConfig.h"
#include "sim/McuChip.h"
#include "support/MainWindowRig.h"
#include "support/PartHeaders.h"
#include "support/RecordImage.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

// One sample part per page code.
const std::map<int, const char*> kSamples = {
    {200, "ATtiny11"},  {201, "ATtiny12"},   {202, "AT90S2313"}, {203, "ATtiny26"},  {204, "ATmega8"},
    {205, "ATmega88"},  {206, "89S8253"},    {207, "ATmega162"}, {208, "87C51RC"},   {209, "ATtiny85"},
    {210, "ATmega328"}, {211, "ATtiny2313"}, {212, "89S2051"},
};

DeviceRecord sample(const std::string& name) {
    const auto found = findDevice(3, name);
    EXPECT_TRUE(found) << name << " is not in the sample data";
    return found ? found->rec : DeviceRecord{};
}

class McuPagesTest : public ::testing::Test {
protected:
    TfrmConfig& open(const DeviceRecord& rec) {
        dlg.reset();
        st.CurrentDevice = std::make_shared<const DeviceRecord>(rec);
        owner.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        dlg = std::make_unique<TfrmConfig>(st, &owner);
        dlg->show();
        return *dlg;
    }
    // The byte a table names: L/H/E fuse low/high/extended, K lock, S security.
    std::uint8_t& byte(char which) {
        switch (which) {
        case 'L': return st.mcu.FuseLow;
        case 'H': return st.mcu.FuseHigh;
        case 'E': return st.mcu.FuseExt;
        case 'K': return st.mcu.LockBits;
        default: return st.mcu.SecurityByte;
        }
    }
    void setAll(std::uint8_t v) { st.mcu.FuseLow = st.mcu.FuseHigh = st.mcu.FuseExt = st.mcu.LockBits = v; }
    // The control, with its sheet brought to the front so it takes clicks.
    template <class W>
    W* find(const char* name) {
        W* w = dlg->control<W>(name);
        EXPECT_NE(w, nullptr) << name;
        for (QWidget* s : dlg->sheets)
            if (w && s->isAncestorOf(w)) dlg->PageControl1->setCurrentWidget(s);
        return w;
    }
    bool shown(const char* name) {
        QWidget* w = find<QWidget>(name);
        return w && w->isVisibleTo(dlg.get());
    }
    QString text(const char* name) {
        QWidget* w = find<QWidget>(name);
        if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
        if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
        if (auto* m = qobject_cast<QPlainTextEdit*>(w)) return m->toPlainText();
        if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
        return w ? static_cast<QAbstractButton*>(w)->text() : QString();
    }

    AppState st;
    QWidget owner;
    std::unique_ptr<TfrmConfig> dlg;
};

// Every check box of every sheet, by the sheet's page code (205 serves 210
// too, 209 serves 211): name and caption. The 8051 sheets give the byte ('L'
// FuseLow, 'S' SecurityByte), the bit and the bit value that shows checked;
// on the AVR sheets these come from avr-libc's header of the sample part,
// for the fuse the caption names.
struct Box { int sheet; const char* name; const char* caption; char byte = 0; int bit = 0; int sense = 0; };
const Box kBoxes[] = {
    {200, "CB200_Cksel0", "CKSEL0 "}, {200, "CB200_Cksel1", "CKSEL1"}, {200, "CB200_Cksel2", "CKSEL2"},
    {200, "CB200_Rstdisbl", "RSTDISBL"}, {200, "CB200_Fstrt", "FSTRT"},
    {201, "CB201_Cksel0", "CKSEL0 "}, {201, "CB201_Cksel1", "CKSEL1"}, {201, "CB201_Cksel2", "CKSEL2"},
    {201, "CB201_Cksel3", "CKSEL3"}, {201, "CB201_Rstdisbl", "RSTDISBL"}, {201, "CB201_Spien", "SPIEN"},
    {201, "CB201_Boden", "BODEN"}, {201, "CB201_Bodlevel", "BODLEVEL"},
    {202, "CB202_Fstrt", "FSTRT"}, {202, "CB202_Spien", "SPIEN"},
    {203, "CB203_Ckopt", "CKOPT = 1"}, {203, "CB203_Pllck", "PLLCK = 1"}, {203, "CB203_Boden", "BOD Enabled"},
    {203, "CB203_Bodlevel", "BODLEVEL = 2.7V"}, {203, "CB203_Eesave", "EESAVE"}, {203, "CB203_Spien", "SPI Enabled"},
    {203, "CB203_Rstdisbl", "RSTDISBL"},
    {204, "CB204_Cksel0", "CKSEL0 = 1"}, {204, "CB204_Cksel1", "CKSEL1 = 1"}, {204, "CB204_Cksel2", "CKSEL2 = 1"},
    {204, "CB204_Cksel3", "CKSEL3 = 1"}, {204, "CB204_Sut0", "SUT0 = 1"}, {204, "CB204_Sut1", "SUT1 = 1"},
    {204, "CB204_Boden", "BODEN"}, {204, "CB204_Bodlevel", nullptr /* names the level it shows */},
    {204, "CB204_Bootrst", "BOOTRST"}, {204, "CB204_Bootsz0", "BOOTSZ0"}, {204, "CB204_Bootsz1", "BOOTSZ1"},
    {204, "CB204_Eesave", "EESAVE"}, {204, "CB204_Ckopt", "CKOPT = 1"}, {204, "CB204_Spien", "SPIEN"},
    {204, "CB204_Wdton", "WDTON"}, {204, "CB204_Rstdisbl", "RSTDISBL"},
    {205, "CB205_Cksel0", "CKSEL0 = 1"}, {205, "CB205_Cksel1", "CKSEL1 = 1"}, {205, "CB205_Cksel2", "CKSEL2 = 1"},
    {205, "CB205_Cksel3", "CKSEL3 = 1"}, {205, "CB205_Sut0", "SUT0 = 1"}, {205, "CB205_Sut1", "SUT1 = 1"},
    {205, "CB205_Ckout", "CKOUT = 1"}, {205, "CB205_Ckdiv8", "CKDIV8 = 1"}, {205, "CB205_Bodl0", "BODLEVEL0 = 1"},
    {205, "CB205_Bodl1", "BODLEVEL1 = 1"}, {205, "CB205_Bodl2", "BODLEVEL2 = 1"}, {205, "CB205_Bootrst", "BOOTRST"},
    {205, "CB205_Bootsz0", "BOOTSZ0"}, {205, "CB205_Bootsz1", "BOOTSZ1"}, {205, "CB205_Eesave", "EESAVE"},
    {205, "CB205_Wdton", "WDTON"}, {205, "CB205_Spien", "SPIEN"}, {205, "CB205_Dwen", "DWEN"},
    {205, "CB205_Rstdis", "RSTDISBL"},
    {207, "CB207_Sel0", "CKSEL0 = 1"}, {207, "CB207_Sel1", "CKSEL1 = 1"}, {207, "CB207_Sel2", "CKSEL2 = 1"},
    {207, "CB207_Sel3", "CKSEL3 = 1"}, {207, "CB207_sut0", "SUT0 = 1"}, {207, "CB207_sut1", "SUT1 = 1"},
    {207, "CB207_ckout", "CKOUT = 1"}, {207, "CB207_Div8", "CKDIV8 = 1"}, {207, "CB207_btrst", "BOOTRST"},
    {207, "CB207_btsz0", "BOOTSZ0"}, {207, "CB207_btsz1", "BOOTSZ1"}, {207, "CB207_eesave", "EESAVE"},
    {207, "CB207_wdton", "WDTON"}, {207, "CB207_spien", "SPIEN"}, {207, "CB207_jtagen", "JTAGEN"},
    {207, "CB207_ocden", "OCDEN"}, {207, "CB207_bdl0", "BODLEVEL0 = 1"}, {207, "CB207_bdl1", "BODLEVEL1 = 1"},
    {207, "CB207_bdl2", "BODLEVEL2 = 1"}, {207, "CB207_m161c", "M161C"},
    {208, "P208Lock", "Lock Bit", 'S', 0, 0}, {208, "P208Movin", "MOVC inhibit", 'S', 1, 0},
    {208, "P208S01in", "Encryption", 'S', 2, 0}, {208, "P208Osc", "Osc Full Gain", 'S', 7, 1},
    {209, "CB209_CKOUT", "CKOUT Enabled"}, {209, "CB209_CKDIV8", "Divided Clock by 8 "},
    {209, "CB209_SELFPRG", "SELFPRG Enabled"}, {209, "CB209_SPIEN", "SPI Enabled"},
    {209, "CB209_WDTON", "WDT always on"}, {209, "CB209_EESAVE", "EESAVE"},
    {209, "CB209_DWEN", "debugWIRE Enabled"}, {209, "CB209_RSTDISBL", "RSTDISBL"},
    {212, "CB212_LB1", "Lock Bit 1", 'L', 0, 0}, {212, "CB212_LB2", "Lock Bit 2", 'L', 1, 0},
    {212, "CB212_SPIEN", "Serial Programming Enabled", 'L', 4, 0}, {212, "CB212_Clkx2", "x2 Clock Enabled", 'L', 5, 0},
    {212, "CB212_URPE", "User Row Programming Enabled", 'L', 6, 0},
    {212, "CB212_OBE", "XTAL Osc Bypass Enabled", 'L', 7, 0},
};

int sheetOf(int code) { return code == 210 ? 205 : code == 211 ? 209 : code; }

TEST_F(McuPagesTest, EveryBoxShowsItsBitAndAClickWritesIt) {
    ASSERT_TRUE(haveAvrLibc());
    for (const auto& [code, name] : kSamples) {
        const auto part = readAvrLibcPart(name);
        for (const std::uint8_t start : {std::uint8_t(0x00), std::uint8_t(0xA5), std::uint8_t(0x5A), std::uint8_t(0xFF)}) {
            SCOPED_TRACE(std::string(name) + " from " + std::to_string(start));
            setAll(start);
            st.mcu.SecurityByte = 0xFF;  // no security bit chosen yet
            open(sample(name));
            ASSERT_EQ(st.dev()->PageCode, code);
            const std::uint8_t opened = code == 208 ? 0xFF : start;
            int boxes = 0;
            for (const Box& b : kBoxes) {
                if (b.sheet != sheetOf(code)) continue;
                SCOPED_TRACE(b.name);
                auto* box = find<QCheckBox>(b.name);
                ASSERT_TRUE(box);
                ++boxes;
                EXPECT_TRUE(box->isVisibleTo(dlg.get()));
                if (b.caption) {
                    EXPECT_EQ(box->text(), b.caption);
                }
                char byteName = b.byte;
                int bit = b.bit, sense = b.sense;
                if (!byteName) {
                    ASSERT_TRUE(part) << "avr-gcc does not know " << name;
                    const auto named = avrFuseOfCaption(box->text().toStdString());
                    ASSERT_TRUE(named) << box->text().toStdString();
                    const auto f = part->fuse(named->fuse);
                    byteName = "LHE"[f.byte];
                    bit = f.bit;
                    sense = named->checkedWhenProgrammed ? 0 : 1;
                }
                EXPECT_EQ(box->isChecked(), ((opened >> bit) & 1) == sense);
                const std::uint8_t before = byte(byteName), mask = std::uint8_t(1u << bit);
                tickBox(box);
                // A click flips its bit only; page 200 also clears bits 7-5, page 212
                // sets bits 3-2 with a bit it sets.
                std::uint8_t want = before ^ mask;
                if (code == 200) want &= 0x1F;
                if (code == 212 && (want & mask)) want |= 0x0C;
                EXPECT_EQ(byte(byteName), want);
            }
            // Every check box the sheet shows has its row (but the calibration
            // choice and page 212's two boxes without caption or bit).
            int shownBoxes = 0;
            for (QCheckBox* box : dlg->sheet(dlg->visibleSheets().front())->findChildren<QCheckBox*>())
                shownBoxes += box->isVisibleTo(dlg.get()) && !box->text().isEmpty() && box->text() != "Program @";
            EXPECT_EQ(shownBoxes, boxes);
        }
    }
}

// Lists: page code, name, caption, byte, the bits a choice writes and the
// value of each item there; a byte it opens with and the item that shows.
struct List { int code; const char* name; const char* caption; char byte; std::uint8_t bits; std::vector<std::uint8_t> values; std::uint8_t openWith; int openItem; };
const List kLists[] = {
    {200, "RG200", " Lock Bits ", 'K', 0xFF, {0x00, 0x04, 0x06}, 0x05, 1},
    {201, "RG201", " Lock Bits ", 'K', 0xFF, {0x00, 0x04, 0x06}, 0x06, 2},
    {202, "RG202", " Lock Bits ", 'K', 0xFF, {0x00, 0x04, 0x06}, 0x05, -1},
    {203, "RG203_CKSEL", "CKSEL3..0", 'L', 0x0F, {0x01, 0x02, 0x03, 0x04}, 0xF3, 2},
    {203, "RG203_SUT", "SUT1..0", 'L', 0x30, {0x00, 0x10, 0x20}, 0x1F, 1},
    {203, "RG203", " Lock Bits ", 'K', 0x03, {0x00, 0x02, 0x03}, 0xF3, 2},
    {204, "RG204A_LB", " Memory  Lock Bits ", 'K', 0x03, {0x00, 0x02, 0x03}, 0xF2, 1},
    {204, "RG204A_Blb0", " Boot Lock Bits 0 ", 'K', 0x0C, {0x00, 0x04, 0x08, 0x0C}, 0xF8, 2},
    {204, "RG204A_Blb1", " Boot Lock Bits 1 ", 'K', 0x30, {0x00, 0x10, 0x20, 0x30}, 0xDF, 1},
    {205, "CB205_MlbBox", nullptr, 'K', 0x03, {0x00, 0x02, 0x03}, 0xF1, 0},
    {205, "CB205_Blb0box", nullptr, 'K', 0x0C, {0x00, 0x04, 0x08, 0x0C}, 0xF7, 1},
    {205, "CB205_Blb1box", nullptr, 'K', 0x30, {0x00, 0x10, 0x20, 0x30}, 0xEF, 2},
    {206, "RG206_F2", " Fuse 2 ", 'L', 0xF2, {0x00, 0x02}, 0xFD, 0},
    {206, "RG206_F4", " Fuse 4 ", 'L', 0xF8, {0x00, 0x08}, 0x08, 1},
    {207, "CB207_mlb", nullptr, 'K', 0x03, {0x00, 0x02, 0x03}, 0x03, 2},
    {207, "CB207_blb1", nullptr, 'K', 0x30, {0x00, 0x10, 0x20, 0x30}, 0x30, 3},
    {209, "RG209_SUT", "SUT1..0", 'L', 0x30, {0x00, 0x10, 0x20}, 0x20, 2},
    {209, "RG209_BODLVL", "BODLEVEL[2..0]", 'H', 0x07, {0x04, 0x05, 0x06, 0x07}, 0xF5, 1},
    {209, "RG209_LB", " Lock Bits ", 'K', 0x03, {0x00, 0x02, 0x03}, 0xF2, 1},
    {211, "CKSEL_CB", nullptr, 'L', 0x0F, {0x0, 0x2, 0x4, 0x6, 0x8, 0x9, 0xA, 0xB, 0xC, 0xD, 0xE, 0xF}, 0x02, -1},
    {211, "RG209_BODLVL", "BODLEVEL[2..0]", 'H', 0x0E, {0x08, 0x0A, 0x0C, 0x0E}, 0x0D, 2},
};

TEST_F(McuPagesTest, EveryListShowsItsFieldAndEachItemWritesItsValue) {
    for (const List& l : kLists) {
        SCOPED_TRACE(l.name + std::string(" on page ") + std::to_string(l.code));
        setAll(0x00);
        byte(l.byte) = l.openWith;
        open(sample(kSamples.at(l.code)));
        auto* group = qobject_cast<RadioGroup*>(find<QWidget>(l.name));
        auto* combo = qobject_cast<QComboBox*>(find<QWidget>(l.name));
        ASSERT_TRUE(group || combo);
        EXPECT_TRUE(shown(l.name));
        if (group) {
            EXPECT_EQ(group->title(), l.caption);
        }
        EXPECT_EQ(group ? group->itemIndex() : combo->currentIndex(), l.openItem);
        // A combo box set as its page opens writes nothing back (a field of 01
        // shows "LB1 + LB2 on"), nor does an AVR lock group: the lock bits a
        // part does not have stay as they came.
        if (combo || (l.byte == 'K' && l.code >= 203)) {
            EXPECT_EQ(byte(l.byte), l.openWith);
        }
        EXPECT_EQ(group ? group->count() : combo->count(), int(l.values.size()));
        // Every item in turn, the one shown last.
        for (int k = 1; k <= int(l.values.size()); ++k) {
            const int item = (l.openItem + k + int(l.values.size())) % int(l.values.size());
            const std::uint8_t before = byte(l.byte);
            if (group) tickBox(group->button(item));
            else combo->setCurrentIndex(item);
            EXPECT_EQ(byte(l.byte), std::uint8_t((before & ~l.bits) | l.values[std::size_t(item)])) << "item " << item;
        }
    }
    // Page 200's lock group clears FuseLow bits 7-5 as its boxes do.
    setAll(0xFF);
    open(sample("ATtiny11"));
    tickBox(find<RadioGroup>("RG200")->button(1));
    EXPECT_EQ(st.mcu.LockBits, 0x04);
    EXPECT_EQ(st.mcu.FuseLow, 0x1F);
}

// What a part's signature, name or algorithm changes on its page.
struct Variant { const char* part; const char* control; const char* caption; bool shown; };
const Variant kVariants[] = {
    {"AT90S1200", "CB202_Fstrt", "RCEN", true}, {"AT90S2343", "CB202_Fstrt", "RCEN", true},
    {"AT90S2313", "CB202_Fstrt", "FSTRT", true},
    {"ATmega16", "CB204_Wdton", "JTAGEN", true}, {"ATmega16", "CB204_Rstdisbl", "OCDEN", true},
    {"ATmega16", "GB204A_CF", nullptr, false}, {"ATmega8", "GB204A_CF", " Calibration Factors ", true},
    {"ATmega8535", "CB204_Rstdisbl", "S8535C", true}, {"ATmega8535", "CB204_Wdton", "WDTON", true},
    {"ATmega48/V", "CB205_Bootrst", "SELFPRGEN", true}, {"ATmega48/V", "CB205_Bootsz0", nullptr, false},
    {"ATmega48/V", "CB205_Bootsz1", nullptr, false}, {"ATmega48/V", "CB205_Blb0box", nullptr, false},
    {"ATmega48/V", "CB205_Blb1box", nullptr, false}, {"ATmega48/V", "Label10", nullptr, false},
    {"ATmega48/V", "Label27", nullptr, false}, {"ATtiny861", "CB205_Bootrst", "SELFPRGEN", true},
    {"ATtiny861", "Label27", nullptr, false}, {"ATmega88", "Label27", "Boot Lock Bits 1", true},
    {"ATmega88", "CB205_Bootrst", "BOOTRST", true}, {"ATmega88", "CB205_Bootsz1", "BOOTSZ1", true},
    {"87C51", "P208S01in", nullptr, false}, {"87C51", "P208Osc", nullptr, false},
    {"87C58", "P208S01in", "Encryption", true}, {"87C58", "P208Osc", nullptr, false},
    {"87C51RC", "P208Osc", "Osc Full Gain", true}, {"87C51RC", "Label6", "Security Register = ", true},
    {"87C51RC", "Seed0Edit", nullptr, false}, {"87C51RC", "Seed1Edit", nullptr, false},
    {"ATtiny12", "Label201_Cal", "Osc Calibration Factor", true},
    {"ATtiny26", "GB203_C", " Calibration Factors ", true}, {"ATmega162", "GroupBox15", " Calibration Factors ", true},
};

TEST_F(McuPagesTest, SignatureNameAndAlgorithmChooseCaptionsAndControls) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(std::string(v.part) + " " + v.control);
        open(sample(v.part));
        // Every shown control lies inside its sheet and shows its whole caption.
        for (const config::Sheet s : dlg->visibleSheets()) {
            QWidget* sheet = dlg->sheet(s);
            dlg->PageControl1->setCurrentWidget(sheet);
            for (QWidget* c : sheet->findChildren<QWidget*>()) {
                if (!c->isVisibleTo(sheet)) continue;
                const QRect at(c->mapTo(sheet, QPoint(0, 0)), c->size());
                EXPECT_TRUE(sheet->rect().contains(at)) << c->objectName().toStdString();
                if (auto* b = qobject_cast<QAbstractButton*>(c)) {
                    EXPECT_LE(b->sizeHint().width(), b->width()) << b->text().toStdString();
                }
            }
        }
        EXPECT_EQ(shown(v.control), v.shown);
        if (v.caption) {
            EXPECT_EQ(text(v.control), v.caption);
        }
    }
    // The 0x94, 0x06 parts are renamed too; their bits stay those of WDTON and RSTDISBL.
    st.mcu.FuseHigh = 0xFF;
    open(RecordImage('M').name("ATmega64").algorithm(32).pageCode(204).signature(0x1E, 0x94).deviceId2(0x06).build());
    EXPECT_EQ(text("CB204_Wdton"), "JTAGEN");
    EXPECT_EQ(text("CB204_Rstdisbl"), "OCDEN");
    EXPECT_FALSE(shown("GB204A_CF"));
    tickBox(find<QCheckBox>("CB204_Wdton"));
    tickBox(find<QCheckBox>("CB204_Rstdisbl"));
    EXPECT_EQ(st.mcu.FuseHigh, 0x3F);
    // With chip code 210 the ATmega48/V keeps its boot options but not its boot locks.
    open(RecordImage('M').name("ATmega48/V").algorithm(32).pageCode(210).signature(0x1E, 0x92).deviceId2(0x05).build());
    EXPECT_EQ(text("CB205_Bootrst"), "BOOTRST");
    EXPECT_TRUE(shown("CB205_Bootsz0"));
    EXPECT_FALSE(shown("CB205_Blb0box"));
    // Page 206: fuses 1 and 3 cannot be changed; the algorithm-34 parts have their own texts.
    open(sample("89S8253"));
    EXPECT_FALSE(find<QWidget>("RG206_F1")->isEnabled());
    EXPECT_FALSE(find<QWidget>("RG206_F3")->isEnabled());
    EXPECT_EQ(find<RadioGroup>("RG206_F2")->items(), (QStringList{"x2 Clock Enabled", "x2 Clock Disabled"}));
    open(sample("89LP2052"));
    EXPECT_EQ(find<RadioGroup>("RG206_F2")->items(), (QStringList{"XTAL Osc Bypass Enable", "XTAL Osc Bypass Disable"}));
    EXPECT_EQ(find<RadioGroup>("RG206_F4")->items(), (QStringList{"System Clock Out Enable", "System Clock Out Disable"}));
    // Page 209 with code 211 lists the clock codes of that chip.
    open(sample("ATtiny2313"));
    EXPECT_EQ(find<QComboBox>("CKSEL_CB")->count(), 12);
    EXPECT_EQ(find<QComboBox>("CKSEL_CB")->itemText(1), "0010 -Internal 4MHz Osc");
}

// CKSEL3..0 as the parts' data sheets give them: the clock each code selects,
// in words an item offering it must carry (spaces and case aside). Codes a
// table leaves out are reserved, or (01xx on the ATtiny261/461/861, the
// second code of a pair on the ATtiny2313) select what another code does.
struct ClockCode { std::uint8_t code; const char* words; };
const std::vector<ClockCode> kTinyX5Clocks = {  // ATtiny25/45/85: 0101, 0111 reserved
    {0x0, "External Clock"}, {0x1, "PLL"}, {0x2, "Internal 8 MHz"}, {0x3, "Internal 6.4 MHz"},
    {0x4, "Internal 128 kHz"}, {0x6, "Low-Freq Xtal"}, {0x8, "Xtal 0.4-0.9"}, {0x9, "Xtal 0.4-0.9"},
    {0xA, "Xtal 0.9-3"}, {0xB, "Xtal 0.9-3"}, {0xC, "Xtal 3-8"}, {0xD, "Xtal 3-8"}, {0xE, "Xtal 8-"},
    {0xF, "Xtal 8-"},
};
const std::vector<ClockCode> kTinyX61Clocks = {  // ATtiny261/461/861: 01xx low-frequency crystal
    {0x0, "External Clock"}, {0x1, "PLL"}, {0x2, "Internal 8 MHz"}, {0x3, "Internal 128 kHz"},
    {0x4, "Low-Freq Xtal"}, {0x8, "Xtal 0.4-0.9"}, {0x9, "Xtal 0.4-0.9"}, {0xA, "Xtal 0.9-3"},
    {0xB, "Xtal 0.9-3"}, {0xC, "Xtal 3-8"}, {0xD, "Xtal 3-8"}, {0xE, "Xtal 8-"}, {0xF, "Xtal 8-"},
};
const std::vector<ClockCode> kTiny2313Clocks = {  // 0001, 0111 reserved; 001x 4 MHz, 010x 8 MHz
    {0x0, "External Clock"}, {0x2, "Internal 4 MHz"}, {0x4, "Internal 8 MHz"}, {0x6, "Internal 128 kHz"},
    {0x8, "Xtal 0.4-0.9"}, {0x9, "Xtal 0.4-0.9"}, {0xA, "Xtal 0.9-3"}, {0xB, "Xtal 0.9-3"},
    {0xC, "Xtal 3-8"}, {0xD, "Xtal 3-8"}, {0xE, "Xtal 8-"}, {0xF, "Xtal 8-"},
};

// Every clock item writes the code its text begins with, that code selects
// the clock the text names on the part, and every clock of the part is offered.
TEST_F(McuPagesTest, ClockItemsOfPage209AreThePartsOwnCodes) {
    struct Case { DeviceRecord rec; const std::vector<ClockCode>* clocks; };
    auto tiny = [](const char* name, std::uint8_t code, std::uint8_t id, std::uint8_t id2) {
        return RecordImage('M').name(name).algorithm(32).pageCode(code).signature(0x1E, id).deviceId2(id2).build();
    };
    const Case cases[] = {
        {sample("ATtiny85"), &kTinyX5Clocks},
        {tiny("ATtiny45", 209, 0x92, 0x06), &kTinyX5Clocks},
        {tiny("ATtiny25", 209, 0x91, 0x08), &kTinyX5Clocks},
        {tiny("ATtiny861", 209, 0x93, 0x0D), &kTinyX61Clocks},
        {sample("ATtiny2313"), &kTiny2313Clocks},
    };
    // Words compared without spaces and case, each in turn within the text.
    auto says = [](QString text, const char* words) {
        text = text.toUpper().remove(' ');
        qsizetype from = 0;
        for (const QString& w : QString(words).toUpper().split(' ')) {
            from = text.indexOf(w, from);
            if (from < 0) return false;
            from += w.size();
        }
        return true;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rec.Name);
        st.mcu.FuseLow = 0xA5;
        open(c.rec);
        auto* list = find<QComboBox>("CKSEL_CB");
        ASSERT_TRUE(list);
        EXPECT_EQ(list->currentIndex(), -1);
        std::set<int> offered;
        for (int i = 0; i < list->count(); ++i) {
            const QString text = list->itemText(i);
            SCOPED_TRACE(text.toStdString());
            bool ok = false;
            const int code = text.left(4).toInt(&ok, 2);
            ASSERT_TRUE(ok && text.at(4) == ' ');
            const auto clock = std::find_if(c.clocks->begin(), c.clocks->end(),
                                            [code](const ClockCode& k) { return k.code == code; });
            ASSERT_NE(clock, c.clocks->end()) << "a code the part does not use this way";
            EXPECT_TRUE(says(text, clock->words)) << clock->words;
            list->setCurrentIndex(i);
            EXPECT_EQ(st.mcu.FuseLow, 0xA0 | code);
            offered.insert(code);
        }
        EXPECT_EQ(offered.size(), c.clocks->size());
        EXPECT_EQ(list->count(), int(c.clocks->size()));
    }
}

TEST_F(McuPagesTest, TheCasesThePagesAreKnownBy) {
    // Page 200: ticking FSTRT on 0xFF leaves 0x0F.
    st.mcu.FuseLow = 0xFF;
    open(sample("ATtiny11"));
    tickBox(find<QCheckBox>("CB200_Fstrt"));
    EXPECT_EQ(st.mcu.FuseLow, 0x0F);
    // Page 212: unticking "Lock Bit 1" on 0x00 gives 0x0D.
    st.mcu.FuseLow = 0x00;
    open(sample("89S4051"));
    EXPECT_FALSE(find<QWidget>("CheckBox1")->isEnabled());
    tickBox(find<QCheckBox>("CB212_LB1"));
    EXPECT_EQ(st.mcu.FuseLow, 0x0D);
    // A click on page 206 rewrites FuseLow bits 7-4: 1111 on the algorithm-34
    // parts, 0000 on the others. Opening it writes nothing.
    st.mcu.FuseLow = 0x05;
    open(sample("89LP2052"));
    EXPECT_EQ(st.mcu.FuseLow, 0x05);
    EXPECT_EQ(find<RadioGroup>("RG206_F1")->itemIndex(), 1);
    tickBox(find<RadioGroup>("RG206_F4")->button(1));
    EXPECT_EQ(st.mcu.FuseLow, 0xFD);
    // Page 208: the first opening after a selection starts from 0xFF; the
    // user's ticks then survive the next look.
    st.mcu.SecurityByte = 0x00;
    open(sample("87C51RC"));
    EXPECT_EQ(st.mcu.SecurityByte, 0xFF);
    tickBox(find<QCheckBox>("P208Lock"));
    tickBox(find<QCheckBox>("P208Osc"));
    EXPECT_EQ(st.mcu.SecurityByte, 0x7E);
    EXPECT_EQ(text("P208Osc"), "Osc Half Gain");
    EXPECT_EQ(text("Label5"), "0x7E");
    QTest::mouseClick(dlg->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(dlg->result(), QDialog::Accepted) << "the seed fields start as numbers";
    open(sample("87C51RC"));
    EXPECT_EQ(st.mcu.SecurityByte, 0x7E);
    EXPECT_TRUE(find<QCheckBox>("P208Lock")->isChecked());
    EXPECT_EQ(dlg->PageControl1->tabText(int(config::Sheet::Page208)), "Page208");
    // A seed that is no number is said and kept, and OK still closes.
    {
        MessageBoxAnswerer boxes;
        dlg->control<QLineEdit>("Seed0Edit")->setText("zz");
        dlg->SeedBytes = {0x5A, 0xA5};
        dlg->control<QLineEdit>("Seed1Edit")->setText("3c");
        QTest::mouseClick(dlg->BitBtn1, Qt::LeftButton);
        EXPECT_EQ(dlg->result(), QDialog::Accepted);
        EXPECT_EQ(dlg->SeedBytes, (std::array<std::uint8_t, 2>{0x5A, 0x3C}));
        EXPECT_EQ(boxes.seen(), QStringList{"ID / Configuration|'$zz' is not a valid integer value"});
    }
    // Page 204: the BODLEVEL box names the level, and the second sheet is "Page 2".
    st.mcu.FuseLow = 0x80;
    open(sample("ATmega8"));
    EXPECT_EQ(text("CB204_Bodlevel"), "BODLEVEL = 2.6V");
    tickBox(find<QCheckBox>("CB204_Bodlevel"));
    EXPECT_EQ(text("CB204_Bodlevel"), "BODLEVEL = 4.0V");
    EXPECT_EQ(st.mcu.FuseLow, 0x00);
    EXPECT_EQ(dlg->PageControl1->tabText(int(config::Sheet::Page204A)), "Page 2");
}

TEST_F(McuPagesTest, ValueDisplaysFollowTheBytes) {
    struct Display { const char* part; const char* control; const char* box; const char* after; };
    const Display cases[] = {
        {"ATmega8", "Label13", "CB204_Cksel0", "A4"},   {"ATmega8", "Label14", "CB204_Bootrst", "5B"},
        {"ATmega88", "Label15", "CB205_Bootrst", "C2"}, {"ATmega162", "Label15", "CB207_bdl0", "C1"},
        {"89S8253", "Label13", nullptr, "A5"},          {"ATtiny26", "Edit1", "CB203_Ckopt", "0xE5"},
        {"ATtiny26", "Edit2", "CB203_Boden", "0x5B"},   {"ATtiny85", "FH_Value", "CB209_SPIEN", "7A"},
        {"ATtiny85", "FE_Value", "CB209_SELFPRG", "C2"}, {"ATtiny85", "FL_Value", "CB209_CKDIV8", "0x25"},
    };
    for (const Display& c : cases) {
        SCOPED_TRACE(std::string(c.part) + " " + c.control);
        st.mcu.FuseLow = 0xA5;
        st.mcu.FuseHigh = 0x5A;
        st.mcu.FuseExt = 0xC3;
        open(sample(c.part));
        EXPECT_TRUE(shown(c.control));
        if (c.box) tickBox(find<QCheckBox>(c.box));
        EXPECT_EQ(text(c.control), c.after);
    }
    // Pages without a display keep the dialog's hidden.
    open(sample("ATtiny11"));
    EXPECT_FALSE(shown("Label13"));
    open(sample("ATmega8"));
    EXPECT_FALSE(shown("Label15"));
    st.mcu.CalibrationValue = 0x7B;
    open(sample("ATtiny12"));
    EXPECT_EQ(text("CalFactor"), "0x7B");
}

TEST_F(McuPagesTest, CalibrationChoiceAndAddressAgreeWithWhatTheFamilyReads) {
    st.mcu.CalibrationBytes = {0x11, 0x22, 0x33, 0x44};
    st.mcu.CalibrationIndex = 0;  // no choice yet: the dialog shows CAL0 and a look chooses nothing
    open(sample("ATtiny26"));
    const char* cal[] = {"RadioButton1", "RadioButton2", "RadioButton3", "RadioButton4"};
    EXPECT_FALSE(find<QCheckBox>("CB203_Prog")->isChecked());
    for (const char* b : cal) EXPECT_FALSE(find<QWidget>(b)->isEnabled()) << b;
    EXPECT_FALSE(find<QWidget>("Edit203")->isEnabled());
    EXPECT_TRUE(find<QRadioButton>("RadioButton1")->isChecked());
    EXPECT_EQ(st.mcu.CalibrationIndex, 0);

    // "Program @" takes the button shown: CAL0.
    tickBox(find<QCheckBox>("CB203_Prog"));
    EXPECT_EQ(st.mcu.ProgramCalibration, 1);
    EXPECT_EQ(st.mcu.CalibrationIndex, 1);
    for (const char* b : cal) EXPECT_TRUE(find<QWidget>(b)->isEnabled()) << b;
    EXPECT_EQ(text("Edit203"), "0000");
    tickBox(find<QRadioButton>("RadioButton3"));
    EXPECT_EQ(st.mcu.CalibrationValue, 0x33);
    EXPECT_EQ(st.mcu.CalibrationIndex, 3);

    // Typed addresses: upper case; a text that is no number keeps the address and says so.
    auto* edit = find<QLineEdit>("Edit203");
    edit->selectAll();
    QTest::keyClicks(edit, "7fe");
    EXPECT_EQ(edit->text(), "7FE");
    EXPECT_EQ(st.mcu.CalibrationAddress, 0x7FEu);
    EXPECT_EQ(dlg->EntryNote->text(), "");
    QTest::keyClicks(edit, "x");
    EXPECT_EQ(st.mcu.CalibrationAddress, 0x7FEu);
    EXPECT_EQ(dlg->EntryNote->text(), "'$7FEX' is not a valid integer value");
    // Past the part's code and EEPROM (0x880 bytes) the address is kept, with a word that it will not be stored.
    edit->selectAll();
    QTest::keyClicks(edit, "1FFE");
    EXPECT_EQ(st.mcu.CalibrationAddress, 0x1FFEu);
    EXPECT_TRUE(dlg->EntryNote->text().contains("outside the device")) << dlg->EntryNote->text().toStdString();
    QTest::mouseClick(dlg->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);

    // Page 207's buttons set the index as well, its edit shows the address
    // and takes one as the other pages do.
    const DeviceRecord page207 =
        RecordImage('M').name("X").algorithm(32).pageCode(207).lastAddress(0x3FFF).dataEepromSize(512)
            .signature(0x1E, 0x95).deviceId2(0x04).build();
    open(page207);
    EXPECT_TRUE(find<QRadioButton>("RadioButton11")->isChecked());
    EXPECT_EQ(text("CB207_edit"), "1FFE");
    EXPECT_FALSE(shown("Label207_CalNote"));
    tickBox(find<QRadioButton>("RadioButton12"));
    EXPECT_EQ(st.mcu.CalibrationIndex, 4);
    EXPECT_EQ(st.mcu.CalibrationValue, 0x44);
    auto* edit207 = find<QLineEdit>("CB207_edit");
    edit207->selectAll();
    QTest::keyClicks(edit207, "4200");
    EXPECT_EQ(st.mcu.CalibrationAddress, 0x4200u);
    EXPECT_TRUE(dlg->EntryNote->text().contains("outside the device")) << dlg->EntryNote->text().toStdString();
    edit207->selectAll();
    QTest::keyClicks(edit207, "41ff");
    EXPECT_EQ(st.mcu.CalibrationAddress, 0x41FFu);
    EXPECT_EQ(dlg->EntryNote->text(), "");
    tickBox(find<QCheckBox>("CB207_Prog"));
    EXPECT_EQ(st.mcu.ProgramCalibration, 0);
    EXPECT_FALSE(find<QWidget>("RadioButton9")->isEnabled());
    EXPECT_FALSE(find<QWidget>("CB207_edit")->isEnabled());

    // Every page opens on the chosen byte, CAL3 too.
    for (const auto& [part, button] : {std::pair{"ATtiny26", "RadioButton4"}, std::pair{"ATmega8", "RadioButton8"}}) {
        st.mcu.CalibrationIndex = 4;
        open(sample(part));
        EXPECT_TRUE(find<QRadioButton>(button)->isChecked()) << part;
        EXPECT_EQ(st.mcu.CalibrationIndex, 4) << part;
    }
    st.mcu.CalibrationIndex = 4;
    open(page207);
    EXPECT_TRUE(find<QRadioButton>("RadioButton12")->isChecked());
    EXPECT_EQ(st.mcu.CalibrationIndex, 4);
}

// The family stores no calibration byte for parts with signature byte 1 0x94
// or signature byte 2 0x03: their page says so and takes no choice.
TEST_F(McuPagesTest, CalibrationGroupSaysWhenThePartTakesNoByte) {
    struct Case { const char* part; const char* group; const char* note; const char* program; bool stored; };
    const Case cases[] = {
        {"ATtiny26", "GB203_C", "Label203_CalNote", "CB203_Prog", true},
        {"ATmega8", "GB204A_CF", "Label204A_CalNote", "CB204A_Prog", true},
        {"ATmega162", "GroupBox15", "Label207_CalNote", "CB207_Prog", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part);
        st.mcu.ProgramCalibration = 0;
        open(sample(c.part));
        EXPECT_TRUE(shown(c.group));
        EXPECT_EQ(find<QWidget>(c.group)->isEnabled(), c.stored);
        EXPECT_EQ(find<QWidget>(c.program)->isEnabled(), c.stored);
        EXPECT_EQ(shown(c.note), !c.stored);
        if (!c.stored) {
            EXPECT_EQ(text(c.note), "The calibration byte is not\nstored for this part");
        }
        tickBox(find<QCheckBox>(c.program));
        EXPECT_EQ(st.mcu.ProgramCalibration, c.stored ? 1 : 0);
    }
    // A part of page 204 with signature byte 2 0x03 other than the ones whose group is hidden.
    open(RecordImage('M').name("X").algorithm(32).pageCode(204).lastAddress(0x1FFF).signature(0x1E, 0x93)
             .deviceId2(0x03).build());
    EXPECT_TRUE(shown("GB204A_CF"));
    EXPECT_FALSE(find<QWidget>("GB204A_CF")->isEnabled());
    EXPECT_TRUE(shown("Label204A_CalNote"));
}

class McuConfigWindowTest : public MainWindowRig {};

TEST_F(McuConfigWindowTest, FusesAndLocksSetInTheDialogAreTheConfiguration) {
    // Every sample page code opens the dialog.
    for (const auto& [code, name] : kSamples) {
        const auto found = findDevice(3, name);
        ASSERT_TRUE(found) << name;
        // Pages 203 and 209 first show how to insert the part.
        if (code == 203 || code == 209)
            onNextModal([](QWidget* note) { static_cast<TInsertDisplay*>(note)->OKAY->click(); },
                        "tesmar::TInsertDisplay");
        select(found->place);
        EXPECT_TRUE(w().SB_Config->isEnabled()) << name;
    }
    const auto found = findDevice(3, "ATmega88");
    ASSERT_TRUE(found);
    select(found->place);
    ASSERT_EQ(st().dev()->Name, "ATmega88");
    // The page opens on the chip's own bytes.
    auto& chip = dynamic_cast<sim::McuChip&>(*sim_.chip());
    chip.setFuses({0x62, 0xD9, 0xF9});
    chip.setLockByte(0xFF);
    bool opened = false;
    onNextModal(
        [&opened](QWidget* wnd) {
            opened = true;
            auto* d = static_cast<TfrmConfig*>(wnd);
            tickBox(d->control<QCheckBox>("CB205_Cksel0"));   // CKSEL0 = 1
            tickBox(d->control<QCheckBox>("CB205_Ckdiv8"));   // CKDIV8 = 1
            tickBox(d->control<QCheckBox>("CB205_Eesave"));   // EESAVE programmed
            tickBox(d->control<QCheckBox>("CB205_Bootrst"));  // BOOTRST programmed
            d->control<QComboBox>("CB205_MlbBox")->setCurrentIndex(0);   // "LB1 + LB2 on"
            d->control<QComboBox>("CB205_Blb0box")->setCurrentIndex(1);  // "BLB02 on"
            QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
        },
        "tesmar::TfrmConfig");
    ASSERT_TRUE(w().SB_Config->isEnabled());
    w().SB_Config->click();
    ASSERT_TRUE(opened);
    EXPECT_EQ(st().mcu.FuseLow, 0xE3);
    EXPECT_EQ(st().mcu.FuseHigh, 0xD1);
    EXPECT_EQ(st().mcu.FuseExt, 0xF8);
    EXPECT_EQ(st().mcu.LockBits, 0xF4);
    EXPECT_TRUE(st().mcu.McuConfigKnown);
}

// The toolbar offers the buttons a record lists; an 8051 part without a chip
// code lists no Config.
TEST_F(McuConfigWindowTest, TheToolbarOffersTheButtonsTheRecordLists) {
    const auto found = findDevice(3, "89S8252");
    ASSERT_TRUE(found);
    select(found->place);
    EXPECT_FALSE(w().SB_Config->isEnabled());
    EXPECT_TRUE(w().SB_Prog->isEnabled());
    // Bits 0-8 and 10 of the record's buttons word; bit 3 is Config.
    constexpr std::uint16_t kAll = 0x5FF, kNoConfig = kAll & ~0x008u;
    for (const std::uint16_t buttons : {kAll, kNoConfig}) {
        w().enableFromRecord(RecordImage('M').algorithm(28).pageCode(0).buttons(buttons).build());
        EXPECT_EQ(w().SB_Config->isEnabled(), buttons == kAll);
        EXPECT_TRUE(w().SB_Option->isEnabled());
    }
}

}  // namespace
