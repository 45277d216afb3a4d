// The configuration pages of the PIC dialog: opening and OK keep every bit
// a part has, and the clicks write the bits the parts define.
#include <QCheckBox>

#include "config/PicPages.h"
#include "families/Pic18.h"
#include "picconfig/PicConfigRig.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

// The bits each configuration byte of the part has.
std::vector<std::uint8_t> implemented(const DeviceRecord& d) {
    if (d.isPic18()) {
        const Pic18Mask m = pic18MaskFor(d.PageCode);
        return {m.begin(), m.end()};
    }
    std::vector<std::uint8_t> m(d.ConfigMasks.begin(), d.ConfigMasks.begin() + d.ConfigMaskCount);
    // The parts of page code 48 have only bit 4 and the write protection in
    // the low byte of word 2; the sample records' masks are wider.
    if (d.PageCode == 48 && m.size() > 3) m[3] &= 0x13;
    return m;
}

class PicPagesTest : public PicConfigRig {};

TEST_F(PicPagesTest, OpeningAndOkKeepEverySettingOfEverySamplePart) {
    int parts = 0;
    for (const DeviceRecord& rec : samplePics()) {
        select(rec);
        const config::PicPageSet* set = config::picOpening(rec, st.buf.size()).set;
        if (!set) continue;
        SCOPED_TRACE(rec.Name);
        ++parts;
        const auto mask = implemented(rec);
        // Any field of up to four bits takes each of its values over the 16 patterns.
        for (unsigned j = 0; j < 16; ++j) {
            select(rec);
            for (int k = 0; k < int(mask.size()); ++k) cfg(k) = deposit(j * 0x11, mask[std::size_t(k)]);
            std::vector<std::uint8_t> ids;
            for (int n = 0; n < (rec.isPic18() ? 8 : 4); ++n) {
                const std::size_t at = rec.isPic18() ? 0xF0000 + std::size_t(n) : idLowByteAt(rec, n);
                st.buf.DeviceBuffer[at] = std::uint8_t(0x80 | (j * 9 + std::uint8_t(n)));
                ids.push_back(st.buf.DeviceBuffer[at]);
            }
            const std::vector<std::uint8_t> before = st.buf.DeviceBuffer;
            open();
            ok();
            for (int k = 0; k < int(mask.size()); ++k) {
                const std::uint8_t m = mask[std::size_t(k)];
                EXPECT_EQ(cfg(k) & m, before[configAt(rec, k)] & m)
                    << "pattern " << j << " byte " << k;
            }
            for (int n = 0; n < int(ids.size()); ++n) {
                const std::size_t at = rec.isPic18() ? 0xF0000 + std::size_t(n) : idLowByteAt(rec, n);
                EXPECT_EQ(st.buf.DeviceBuffer[at], ids[std::size_t(n)]) << "ID byte " << n;
            }
            const std::vector<std::uint8_t> once = st.buf.DeviceBuffer;
            open();
            ok();
            EXPECT_TRUE(st.buf.DeviceBuffer == once) << "a second opening changed pattern " << j;
        }
    }
    EXPECT_GE(parts, 14);
}

// One click, as the Parts' cases give it: a start byte, the control and its
// new state, and the byte after.
struct Click {
    const char* name;
    int code;
    std::uint32_t last;
    float vddMax;
    int k;
    std::uint8_t start;
    const char* control;
    int state;  // a box 0/1, a list its item
    std::uint8_t expect;
};

RecordImage picRecord(int code, std::uint32_t last, float vddMax) {
    const bool pic18 = (code >= 27 && code <= 45 && code != 29 && code != 30 && code != 31 && code != 32 &&
                        code != 33 && code != 40);
    RecordImage r = RecordImage('C').algorithm(pic18 ? 18 : 1).name("PART-" + std::to_string(code)).lastAddress(last)
                        .pageCode(std::uint8_t(code)).dataEepromSize(255).voltages(5.0f, vddMax, 2.0f, 12.0f);
    if (pic18) {
        const Pic18Mask m = pic18MaskFor(std::uint8_t(code));
        return r.configMaskCount(14).configMasks({m.begin(), m.end()});
    }
    return r.configMaskCount(4).configMasks({0x3F, 0xFF, 0x3F, 0xFF});
}

TEST_F(PicPagesTest, ClicksWriteThePartsBits) {
    const Click clicks[] = {
        // Watchdog off: postscaler 1:128; on again keeps it.
        {"27 wdt off", 27, 0x7FFF, 5.5f, 2, 0x03, "CB27_Wdt", 0, 0x0E},
        {"27 wdt on", 27, 0x7FFF, 5.5f, 2, 0x0E, "CB27_Wdt", 1, 0x0F},
        {"27 ccp", 27, 0x7FFF, 5.5f, 4, 0x00, "CB27_Ccp", 1, 0x01},
        {"27 protect", 27, 0x7FFF, 5.5f, 9, 0xFF, "CB27_Cp2000", 1, 0x0D},
        {"34 protect", 34, 0x7FFF, 5.5f, 9, 0xFF, "CB34_Cp1", 1, 0x0D},
        {"34 unprotect", 34, 0x7FFF, 5.5f, 9, 0x0D, "CB34_Cp1", 0, 0x0F},
        {"38 protect", 38, 0x7FFF, 5.5f, 9, 0xFF, "CB38_CP1", 1, 0xFD},
        {"38 unprotect", 38, 0x7FFF, 5.5f, 9, 0xFD, "CB38_CP1", 0, 0xFF},
        {"34 osc EC", 34, 0x7FFF, 5.5f, 0, 0xC2, "RG34_Osc", 3, 0xC4},
        {"34 osc RC", 34, 0x7FFF, 5.5f, 0, 0xC2, "RG34_Osc", 9, 0xCF},
        {"36 osc HS PLL", 36, 0x7FFF, 5.5f, 0, 0x00, "RG36_Osc", 11, 0x0E},
        {"37 osc RC", 37, 0x7FFF, 5.5f, 0, 0x00, "RG37_Osc", 10, 0x0F},
        {"38 bor 2 items", 38, 0x7FFF, 5.0f, 3, 0x18, "RG38_BORV", 1, 0x08},
        {"38 bor 4 items", 38, 0x7FFF, 3.6f, 3, 0x00, "RG38_BORV", 3, 0x18},
        {"41 boot", 41, 0xFFFF, 5.5f, 7, 0x00, "RG42_BB", 1, 0x10},
        {"42 boot", 42, 0x5FFF, 5.5f, 7, 0x00, "RG42_BB", 1, 0x08},
        {"43 boot", 43, 0xFFFF, 5.5f, 7, 0x00, "RG37_BB", 3, 0x30},
        // Two-word pages.
        {"10 lvp", 10, 0x3FFF, 5.5f, 0, 0xC0, "CB10_Lvp", 1, 0x10},
        {"10 mwp", 10, 0x3FFF, 5.5f, 2, 0x01, "RG10_Mwp", 1, 0x03},
        {"46 lvp", 46, 0x1FFF, 5.5f, 2, 0x00, "CB46_Lvp", 1, 0x20},
        {"46 osc", 46, 0x1FFF, 5.5f, 1, 0xFF, "RG46_Osc", 2, 0xFA},
        {"48 mwp", 48, 0x3FFF, 5.5f, 3, 0xFF, "RG46_Mwp", 1, 0x11},
        {"47 mwp", 47, 0x7FFF, 5.5f, 3, 0xFF, "RG46_Mwp", 1, 0xFD},
        {"49 cpu clock", 49, 0x3FFF, 3.6f, 3, 0x00, "RG46_Vcap", 2, 0x20},
        {"46 pll masked", 46, 0x1FFF, 5.5f, 2, 0xC0, "CB46_Pll", 1, 0x01},
    };
    for (const Click& c : clicks) {
        SCOPED_TRACE(c.name);
        select(picRecord(c.code, c.last, c.vddMax).build());
        open();
        // The byte as it stands once opened, with the control in the other state first.
        cfg(c.k) = c.start;
        setState(c.control, c.state);
        EXPECT_EQ(cfg(c.k), c.expect);
    }
}

TEST_F(PicPagesTest, OpeningShowsWhatThePartHas) {
    struct Case {
        int code;
        std::uint32_t last;
        float vddMax;
        std::vector<const char*> shown, hidden;
        const char* list;
        QStringList items;
    };
    const Case cases[] = {
        {49, 0x3FFF, 3.6f, {"RG46_PLLMULT", "RG46_USBLSCLK", "CB46_LPBOR"}, {"CB46_EEPro"}, "RG46_BorVolts",
         {"High Trip Point", "Low Trip Point"}},
        {50, 0x3FFF, 3.6f, {}, {"CB46_Pll", "RG46_PLLMULT", "RG46_USBLSCLK", "RG46_Vcap", "CB46_EEPro"},
         "RG46_BorVolts", {"Set To 2.7V", "Set To 1.9V"}},
        {50, 0x3FFF, 5.5f, {"CB46_Stvren"}, {"RG46_Vcap"}, "RG46_BorVolts", {"Set To 2.7V", "Set To 2.45V"}},
        {48, 0x3FFF, 5.5f, {"CB46_EEPro"}, {"RG46_Vcap", "CB46_LPBOR"}, "RG46_Mwp",
         {"0x000 to 0x1FFF Words", "0x000 to 0xFFF Words", "0x000 to 0x1FF Words", "Off"}},
        {46, 0x3FFF, 4.0f, {}, {"RG46_Vcap"}, "RG46_Wdt",
         {"Disabled", "Controlled by SWDTEN bit", "Enabled , Disabled in Sleep", "Enabled"}},
        {46, 0x3FFF, 4.1f, {"RG46_Vcap"}, {}, "RG46_Mwp",
         {"0x000 to 0x1FFF Words", "0x000 to 0xFFF Words", "0x000 to 0x1FF Words", "Off"}},
        {47, 0x2FFF, 5.5f, {}, {}, "RG46_Mwp", {}},
        {10, 8192, 5.5f, {}, {}, "RG10_Mwp", {"0x000 to 0x7FF", "0x000 to 0x3FF", "0x000 to 0x0FF", "Off"}},
        {10, 8193, 5.5f, {}, {}, "RG10_Mwp", {"0x000 to 0xFFF", "0x000 to 0x7FF", "0x000 to 0x0FF", "Off"}},
        {28, 0x7FFF, 5.5f, {"CB27_Cp4000"}, {"CB27_Ccp"}, "RG27_Bor", {"4.5V", "4.2V", "2.7V", "2.5V"}},
        {27, 0x3FFF, 5.5f, {"CB27_Ccp", "CB27_Cp2000"}, {"CB27_Cp4000", "CB27_Tr3"}, "RG27_Wdt",
         {"1:1", "1:2", "1:4", "1:8", "1:16", "1:32", "1:64", "1:128"}},
        {35, 0x7FFF, 5.5f, {"CB34_Mcl"}, {"CB34_Cp2", "CB34_Ccp", "CB34_Pbad", "xx31Opt"}, "RG34_Bor",
         {"4.5V", "4.2V", "2.7V", "2.0V"}},
        {45, 0x7FFF, 3.6f, {"xx31Opt", "CB34_Winen", "CB34_Cp3"}, {"CB34_Pbad"}, "RG34_Bor",
         {"4.5V", "4.2V", "2.7V", "2.0V"}},
        {36, 0x7FFF, 5.5f, {"RG36_Osc", "CB36_Vreg", "CB36_Ccp2"}, {"RG37_Osc", "CB36_Cp4", "RG37_BB", "RG42_BB"},
         "RG36_Bov", {"4.5V", "4.2V", "2.7V", "2.0V"}},
        {44, 0xBFFF, 5.5f, {"RG37_Osc", "CB36_Cp4", "RG37_BB"}, {"CB36_Cp3", "CB36_Cp5", "RG36_Osc", "CB36_Ccp2"},
         "RG37_BB", {"1K words Boot Block", "2K words Boot Block", "4K words Boot Block", "4K words Boot Block"}},
        {43, 0x1FFF, 5.5f, {"RG37_BB"}, {"CB36_Cp2", "CB36_Icport"}, "RG37_BB",
         {"256 words Boot Block", "512 words Boot Block", "1K words Boot Block", "1K words Boot Block"}},
        {41, 0xFFFF, 5.5f, {"RG42_BB"}, {"RG37_BB"}, "RG42_BB", {"1K words Boot Block", "2K words Boot Block"}},
        {38, 0x7FFF, 5.0f, {"CB38_CP3"}, {}, "RG38_BORV", {"2.85V", "2.5V"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        select(picRecord(c.code, c.last, c.vddMax).build());
        open();
        for (const char* name : c.shown) EXPECT_TRUE(shown(name)) << name;
        for (const char* name : c.hidden) EXPECT_FALSE(shown(name)) << name;
        EXPECT_EQ(control<RadioGroup>(c.list)->items(), c.items);
    }
    // Named choices on opening.
    select(picRecord(49, 0x3FFF, 3.6f).build());
    EXPECT_EQ(open().control<QCheckBox>("CB46_Pll")->text(), "PLL Enabled");
    EXPECT_EQ(control<RadioGroup>("RG46_Vcap")->title(), "CPU System Clock");
    select(picRecord(45, 0x7FFF, 3.6f).build());
    EXPECT_EQ(open().control<QCheckBox>("CB34_Ccp")->text(), "FLTA Mux RC1");
    select(picRecord(38, 0x7FFF, 3.6f).build());
    EXPECT_FALSE(open().control<QWidget>("CB38_CP4")->isEnabled());
    EXPECT_TRUE(control<QWidget>("CB38_CP3")->isEnabled());
}

TEST_F(PicPagesTest, Pic18OpeningClearsTheUnusedBytesAndShowsTheLabels) {
    struct Case { int code; bool keep3L; bool clear1L; int labels; };
    for (const Case c : {Case{27, false, true, 0}, Case{34, false, true, 14}, Case{45, true, true, 14},
                         Case{36, false, false, 14}, Case{38, false, false, 14}}) {
        SCOPED_TRACE(c.code);
        select(picRecord(c.code, 0x7FFF, 5.5f).build());
        for (int k = 0; k < 14; ++k) cfg(k) = 0xFF;
        TfrmPicConfig& d = open();
        EXPECT_EQ(cfg(5), c.keep3L ? 0xFF : 0x00) << "CONFIG3L";  // 45: its bits are the part's
        EXPECT_EQ(cfg(6), 0x00) << "CONFIG4H";
        if (c.clear1L) {
            EXPECT_EQ(cfg(1), 0x00) << "CONFIG1L";
        }
        for (int k = 0; k < 14; ++k) {
            EXPECT_EQ(d.hexLabels[std::size_t(k)]->isVisibleTo(&d), k < c.labels);
            if (k < c.labels) {
                EXPECT_EQ(d.hexLabels[std::size_t(k)]->text(), QString::asprintf("%02X", cfg(k)));
            }
        }
    }
}

}  // namespace

namespace {

TEST_F(PicPagesTest, EveryControlFitsItsSheetBesideTheIdGroup) {
    for (int code : {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 12, 15, 16, 17, 19, 20, 21, 22, 23, 24, 27,
                     28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50}) {
        SCOPED_TRACE(code);
        select(picRecord(code, 0x17FFF, 3.6f).build());
        TfrmPicConfig& d = open();
        const auto sheets = d.visibleSheets();
        ASSERT_FALSE(sheets.empty());
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            QWidget* sheet = d.sheet(sheets[i]);
            d.PageControl->setCurrentWidget(sheet);
            QGroupBox* ids = dev().isPic18() ? d.GB_18F : d.GB_ID;
            const QRect idArea(sheet->mapFrom(&d, ids->pos()), ids->size());
            for (QWidget* w : sheet->findChildren<QWidget*>()) {
                if (!w->isVisibleTo(sheet) || w->objectName().isEmpty()) continue;
                const QRect r(w->mapTo(sheet, QPoint(0, 0)), w->size());
                EXPECT_TRUE(sheet->rect().contains(r)) << w->objectName().toStdString();
                if (i == 0) {
                    EXPECT_FALSE(r.intersects(idArea)) << w->objectName().toStdString();
                }
            }
        }
    }
}

}  // namespace

namespace {

// Every check box of the PIC18 pages: the configuration byte (0 CONFIG1H ..
// 13 CONFIG7L) and bit it edits, whether it is checked when the bit is 1, and
// the size above which opening decodes it (the Page38 upper blocks).
struct Pic18Box {
    std::string name;
    int k, bit;
    bool checkedWhenSet;
    std::uint32_t decodedAbove = 0;
    std::uint8_t also = 0;  // bits of other fields its own rule sets
};

std::vector<Pic18Box> pic18Boxes() {
    std::vector<Pic18Box> b = {
        {"CB27_Oscen", 0, 5, true}, {"CB27_Wdt", 2, 0, true, 0, 0x0E}, {"CB27_Pwt", 3, 0, true},
        {"CB27_Boren", 3, 1, true}, {"CB27_Ccp", 4, 0, true}, {"CB27_Ser", 7, 0, true}, {"CB27_Lvp", 7, 2, true},
        {"CB27_Bkd", 7, 7, true},
        {"CB34_Fcmem", 0, 6, true}, {"CB34_Ieso", 0, 7, true}, {"CB34_Wdt", 2, 0, true}, {"CB34_Winen", 2, 5, false},
        {"CB34_Pwt", 3, 0, true}, {"CB34_Boren", 3, 1, true}, {"CB34_Ccp", 4, 0, true}, {"CB34_Pbad", 4, 1, true},
        {"CB34_SSP", 4, 2, true}, {"CB34_Pwm4", 4, 3, true}, {"CB34_Excm", 4, 4, true}, {"CB34_Mcl", 4, 7, true},
        {"CB34_Pwmpin", 5, 2, true}, {"CB34_LPOL", 5, 3, true}, {"CB34_HPOL", 5, 4, true},
        {"CB34_GPTREN", 5, 5, true}, {"CB34_Ser", 7, 0, true}, {"CB34_Lvp", 7, 2, true}, {"CB34_Bkd", 7, 7, true},
        {"CB36_Fcm", 0, 6, true}, {"CB36_Ieso", 0, 7, true}, {"CB36_Pll", 1, 5, true}, {"CB36_Wdt", 2, 0, true},
        {"CB36_Pwrt", 3, 0, true}, {"CB36_Vreg", 3, 5, true}, {"CB36_Ccp2", 4, 0, true}, {"CB36_Pbad", 4, 1, true},
        {"CB36_Lpt1", 4, 2, true}, {"CB36_Mclr", 4, 7, true}, {"CB36_Stvr", 7, 0, true}, {"CB36_Lvp", 7, 2, true},
        {"CB36_Icport", 7, 5, true}, {"CB36_Xinst", 7, 6, true}, {"CB36_Debug", 7, 7, true},
        {"CB38_IESO", 0, 7, true}, {"CB38_FCMEN", 0, 6, true}, {"CB38_PCLKEN", 0, 5, true},
        {"CB38_LBPOR", 3, 6, true}, {"CB38_PWRTEN", 3, 0, true}, {"CB38_MCLRE", 4, 7, true},
        {"CB38_PBADEN", 4, 1, true}, {"CB38_DEBUG", 7, 7, true}, {"CB38_XINST", 7, 6, true},
        {"CB38_ICPRT", 7, 5, true}, {"CB38_LVP", 7, 2, true}, {"CB38_STVREN", 7, 0, true},
    };
    // Protection: checked is protected, a bit of 0.
    const char* const ranges27[] = {"Cp200", "Cp2000", "Cp4000", "Cp6000"};
    for (int i = 0; i < 4; ++i) {
        b.push_back({std::string("CB27_") + ranges27[i], 9, i, false});
        b.push_back({"CB27_Wrt" + std::to_string(i), 11, i, false});
        b.push_back({"CB27_Tr" + std::to_string(i), 13, i, false});
    }
    for (const char* set : {"CB27_", "CB34_", "CB36_"}) {
        const std::string p = set;
        for (const Pic18Box& x : std::initializer_list<Pic18Box>{{p + "Cpb", 8, 6, false}, {p + "Cpd", 8, 7, false},
                                                                 {p + "Wrtb", 10, 6, false}, {p + "Wrtc", 10, 5, false},
                                                                 {p + "Wrtd", 10, 7, false}, {p + "Trb", 12, 6, false}})
            b.push_back(x);
        if (p == "CB27_") continue;
        for (int i = 0; i < (p == "CB34_" ? 4 : 6); ++i) {
            b.push_back({p + "Cp" + std::to_string(i), 9, i, false});
            b.push_back({p + "Wrt" + std::to_string(i), 11, i, false});
            b.push_back({p + "Tr" + std::to_string(i), 13, i, false});
        }
    }
    for (const Pic18Box& x : std::initializer_list<Pic18Box>{{"CB38_CPD", 8, 7, false}, {"CB38_CPB", 8, 6, false},
                                                             {"CB38_WRTD", 10, 7, false}, {"CB38_WRTB", 10, 6, false},
                                                             {"CB38_WRTC", 10, 5, false}, {"CB38_EBTRB", 12, 6, false}})
        b.push_back(x);
    for (int i = 0; i < 6; ++i) {
        const std::uint32_t above = i < 2 ? 0 : i < 4 ? 16383 : 32767;
        b.push_back({"CB38_CP" + std::to_string(i), 9, i, false, above});
        b.push_back({"CB38_WRT" + std::to_string(i), 11, i, false, above});
        b.push_back({"CB38_EBTR" + std::to_string(i), 13, i, false, above});
    }
    return b;
}

// Each box of each PIC18 page code, on parts of 8K to 48K words: opening shows
// its bit, checking and unchecking write it and leave the part's other bits.
TEST_F(PicPagesTest, EveryPic18BoxOpensAsItsBitAndWritesIt) {
    const auto boxes = pic18Boxes();
    std::set<std::string> seen;
    for (int code : {27, 28, 34, 35, 45, 36, 37, 41, 42, 43, 44, 38}) {
        const Pic18Mask row = pic18MaskFor(std::uint8_t(code));
        for (std::uint32_t last : {0x3FFFu, 0x7FFFu, 0xFFFFu, 0x17FFFu}) {
            for (std::uint8_t pattern : {0x5A, 0xA5}) {
                SCOPED_TRACE("page " + std::to_string(code) + ", last " + std::to_string(last) + ", pattern " +
                             std::to_string(pattern));
                select(picRecord(code, last, 5.5f).build());
                std::array<std::uint8_t, 14> start{};
                for (int k = 0; k < 14; ++k) cfg(k) = start[std::size_t(k)] = std::uint8_t(pattern ^ (k & 1 ? 0xFF : 0));
                open();
                for (config::PicSheet s : dlg->visibleSheets()) {
                    QWidget* sheet = dlg->sheet(s);
                    for (QCheckBox* w : sheet->findChildren<QCheckBox*>()) {
                        if (!w->isVisibleTo(sheet)) continue;  // greyed boxes still show the bit
                        const std::string name = w->objectName().toStdString();
                        const auto it = std::find_if(boxes.begin(), boxes.end(),
                                                     [&](const Pic18Box& b) { return b.name == name; });
                        if (it == boxes.end()) {
                            ADD_FAILURE() << name << " is not in the box table";
                            continue;
                        }
                        SCOPED_TRACE(name);
                        seen.insert(name);
                        const std::uint8_t bit = std::uint8_t(1u << it->bit);
                        const bool decoded = last > it->decodedAbove;
                        const bool set = start[std::size_t(it->k)] & bit;
                        EXPECT_EQ(w->isChecked(), decoded && set == it->checkedWhenSet) << "on opening";
                        const std::uint8_t others = row[std::size_t(it->k)] & ~bit & ~it->also;
                        for (bool checked : {true, false}) {
                            const std::uint8_t before = cfg(it->k);
                            setState(name.c_str(), checked);
                            EXPECT_EQ(bool(cfg(it->k) & bit), checked == it->checkedWhenSet)
                                << (checked ? "checking" : "unchecking");
                            EXPECT_EQ(cfg(it->k) & others, before & others)
                                << (checked ? "checking" : "unchecking") << " changes other bits";
                        }
                    }
                }
            }
        }
    }
    for (const Pic18Box& b : boxes) EXPECT_TRUE(seen.count(b.name)) << b.name << " never shown";
}

}  // namespace
