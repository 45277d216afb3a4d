// The 12- and 14-bit configuration pages of the PIC dialog: opening and OK
// keep every configuration the parts can hold, clicks write the bits the
// pages define, and what the pages set reaches the simulated part and a
// saved INHX8M file.
#include <QCheckBox>
#include <QFontDatabase>

#include "config/PicControlStates.h"
#include "config/PicPages.h"
#include "families/Pic18.h"
#include "fileformats/FormatFixture.h"
#include "picconfig/PicConfigRig.h"
#include "picconfig/PicWindowRig.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

using Word = std::array<std::uint8_t, 4>;  // H, L, H2, L2
constexpr Word k14{0x3F, 0xFF, 0x3F, 0xFF}, k12{0x0F, 0xFF}, kNarrow{0x00, 0x0F};

DeviceRecord classicPart(int code, const std::string& name, std::int8_t alg, std::uint32_t last, Word masks,
                         int count = 4) {
    return RecordImage('C').algorithm(alg).name(name).lastAddress(last).pageCode(std::uint8_t(code))
        .configMaskCount(std::uint8_t(count)).configMasks({masks.begin(), masks.begin() + count}).build();
}

using Patterns = std::vector<std::pair<std::uint8_t, std::uint8_t>>;

// A part of each page: the fields of which every value shows as itself (bit
// masks of H, L and L2) and the patterns its protection choices write (H, L).
struct Valid {
    int code;
    const char* name;
    std::int8_t alg;
    std::uint32_t last;
    Word masks;
    int count;
    std::vector<std::uint8_t> h, l, l2;
    Patterns patterns;
};

const std::vector<std::uint8_t> kOscWdtPwt{0x03, 0x04, 0x08};
const Patterns kNone{{0, 0}}, kCp2k{{0, 0}, {0x15, 0x90}, {0x2A, 0xA0}, {0x3F, 0xB0}},
    kCp12{{0, 0}, {0x15, 0x90}, {0x2A, 0xA0}, {0x3F, 0x30}}, kCp4x11{{0, 0}, {0x11, 0x10}, {0x22, 0x20}, {0x33, 0x30}},
    kCp4x14{{0, 0}, {0x14, 0}, {0x28, 0}, {0x3C, 0}}, kCp4{{0, 0}, {0x15, 0x10}, {0x2A, 0x20}, {0x3F, 0x30}},
    kCp4x15{{0, 0}, {0x15, 0x20}, {0x2A, 0x40}, {0x3F, 0x60}};
const std::vector<std::uint8_t> kBoxes16{0x07, 0x08, 0x10, 0x20, 0x40, 0x80};

const Valid kValid[] = {
    {0, "16C52", 0, 0x2FF, k12, 2, {}, {0x02, 0x08}, {}, kNone},
    {1, "16C84", 2, 0x7FF, k14, 2, {}, {0x03, 0x04, 0x08, 0x10}, {}, kNone},
    {2, "16C74", 1, 0x1FFF, k14, 2, {}, {0x03, 0x04, 0x08, 0x30}, {}, kNone},
    {3, "16C622A", 1, 0xFFF, k14, 2, {}, {0x03, 0x04, 0x08, 0x40}, {}, kCp2k},
    {3, "16C621A", 1, 0x7FF, k14, 2, {}, {0x03, 0x04, 0x08, 0x40}, {}, {{0, 0}, {0x15, 0x90}, {0x3F, 0xB0}}},
    {3, "16C620A", 1, 0x3FF, k14, 2, {}, {0x03, 0x04, 0x08, 0x40}, {}, {{0, 0}, {0x3F, 0xB0}}},
    {4, "16F737", 1, 0x1FFF, k14, 4, {0x01, 0x10, 0x20}, {0x13, 0x04, 0x08, 0x20, 0x40, 0x80}, {0x01, 0x02, 0x40},
     kNone},
    {5, "10F200", 11, 0x1FF, k12, 2, {}, {0x04, 0x08, 0x10}, {}, kNone},
    {5, "10F222", 11, 0x3FF, k12, 2, {}, {0x01, 0x02, 0x04, 0x08, 0x10}, {}, kNone},
    {6, "12C671", 1, 0x3FF, k14, 2, {}, {0x07, 0x08, 0x10, 0x80}, {}, kCp4x15},
    {7, "14C000", 5, 0x1FFF, k14, 2, {}, {0x01, 0x04, 0x08, 0x80}, {}, {{0x21, 0x42}, {0x3F, 0x72}}},
    {8, "16C711", 1, 0x7FF, k14, 2, {}, {0x03, 0x04, 0x08, 0x40}, {}, {{0, 0}, {0x3F, 0xB0}}},
    {9, "16F84A", 2, 0x7FF, k14, 2, {}, kOscWdtPwt, {}, {{0, 0}, {0x3F, 0xF0}}},
    {12, "16C558", 1, 0xFFF, k14, 2, {}, kOscWdtPwt, {}, kCp12},
    {12, "16C556", 1, 0x7FF, k14, 2, {}, kOscWdtPwt, {}, {{0, 0}, {0x15, 0x90}, {0x3F, 0x30}}},
    {12, "16C554", 1, 0x3FF, k14, 2, {}, kOscWdtPwt, {}, {{0, 0}, {0x3F, 0x30}}},
    {15, "12C508", 6, 0x3FF, k12, 2, {}, {0x03, 0x04, 0x10}, {}, {{0, 0}, {0x0F, 0xE8}}},
    {15, "12C509A", 0, 0x3FF, k12, 2, {}, {0x03, 0x04, 0x10}, {}, {{0x0F, 0x00}, {0x0F, 0x08}}},
    {16, "12F683", 2, 0xFFF, {0x0F, 0xFF}, 2, {0x03, 0x04, 0x08}, kBoxes16, {}, kNone},
    {16, "16F917", 2, 0x3FFF, {0x1F, 0xFF}, 2, {0x03, 0x04, 0x08, 0x10}, kBoxes16, {}, kNone},
    {17, "16C715", 1, 0xFFF, k14, 2, {}, {0x03, 0x04, 0x08, 0x40, 0x80}, {}, kCp4},
    {19, "16C57C", 0, 0xFFF, k12, 2, {}, {0x03, 0x04}, {}, {{0, 0}, {0x0F, 0xF8}}},
    {19, "16C55", 0, 0x3FF, kNarrow, 2, {}, {0x03, 0x04}, {}, {{0, 0}, {0, 0x08}}},
    {40, "16C54", 0, 0x3FF, kNarrow, 2, {}, {0x03, 0x04, 0x08}, {}, kNone},
    {20, "16F505", 6, 0x7FF, k12, 2, {}, {0x07, 0x08, 0x20}, {}, {{0, 0}, {0x0F, 0xD0}}},
    {20, "16C505", 6, 0x7FF, k12, 2, {}, {0x07, 0x08, 0x20}, {}, {{0, 0}, {0x0F, 0xD0}}},
    {21, "16F877", 2, 0x3FFF, k14, 2, {0x01, 0x02, 0x08}, {0x03, 0x04, 0x08, 0x40, 0x80}, {},
     {{0, 0}, {0x10, 0x10}, {0x20, 0x20}, {0x30, 0x30}}},
    {21, "16F872", 2, 0xFFF, k14, 2, {0x01, 0x02, 0x08}, {0x03, 0x04, 0x08, 0x40, 0x80}, {}, {{0, 0}, {0x30, 0x30}}},
    {22, "16C774", 1, 0x1FFF, k14, 2, {0x0C}, {0x03, 0x04, 0x08, 0x40}, {}, kCp4x11},
    {23, "16F628", 2, 0xFFF, k14, 2, {0x01}, {0x13, 0x04, 0x08, 0x20, 0x40, 0x80}, {}, kCp4x14},
    {23, "16F627", 2, 0x7FF, k14, 2, {0x01}, {0x13, 0x04, 0x08, 0x20, 0x40, 0x80}, {}, {{0, 0}, {0x14, 0}, {0x3C, 0}}},
    {24, "16F77", 1, 0x3FFF, k14, 2, {}, {0x03, 0x04, 0x08, 0x10, 0x40}, {}, kNone},
    {29, "16C745", 1, 0x3FFF, k14, 2, {}, kOscWdtPwt, {}, kCp4},
    {30, "16F877A", 2, 0x3FFF, k14, 2, {0x01, 0x06, 0x08, 0x20}, {0x03, 0x04, 0x08, 0x40, 0x80}, {}, {{0x10, 0x30}}},
    {30, "16F873A", 2, 0x1FFF, k14, 2, {0x01, 0x06, 0x08, 0x20}, {0x03, 0x04, 0x08, 0x40, 0x80}, {}, {{0x10, 0x30}}},
    {31, "16F628A", 2, 0xFFF, k14, 2, {0x01, 0x20}, {0x13, 0x04, 0x08, 0x20, 0x40, 0x80}, {}, kNone},
    {32, "12F675", 2, 0x7FF, k14, 2, {0x01, 0x30}, {0x07, 0x08, 0x10, 0x20, 0x40, 0x80}, {}, kNone},
    {33, "16F88", 2, 0x1FFF, k14, 4, {0x01, 0x06, 0x08, 0x10, 0x20}, {0x13, 0x04, 0x08, 0x20, 0x40, 0x80}, {0x01, 0x02},
     kNone},
};

class PicClassicPagesTest : public PicConfigRig {};

TEST_F(PicClassicPagesTest, OpeningAndOkKeepEveryConfigurationThePartsCanHold) {
    for (const Valid& v : kValid) {
        SCOPED_TRACE(testing::Message() << "page " << v.code << " " << v.name);
        const DeviceRecord rec = classicPart(v.code, v.name, v.alg, v.last, v.masks, v.count);
        // Round r gives field i the value r + i: every field takes each of its values.
        for (unsigned r = 0; r < 8; ++r) {
            Word w{v.patterns[r % v.patterns.size()].first, v.patterns[r % v.patterns.size()].second, 0, 0};
            unsigned i = 0;
            for (auto [k, fields] : {std::pair{0, &v.h}, std::pair{1, &v.l}, std::pair{3, &v.l2}})
                for (std::uint8_t f : *fields) w[std::size_t(k)] |= deposit(r + i++, f);
            const Word want = w;  // a look changes nothing
            select(rec);
            for (int k = 0; k < v.count; ++k) cfg(k) = w[std::size_t(k)];
            TfrmPicConfig& d = open();
            ASSERT_FALSE(d.visibleSheets().empty());
            if (r == 0) {
                // No item: nothing is written.
                const std::vector<std::uint8_t> before = st.buf.DeviceBuffer;
                for (config::PicSheet s : d.visibleSheets())
                    for (RadioGroup* g : d.sheet(s)->findChildren<RadioGroup*>()) g->setItemIndex(-1);
                EXPECT_TRUE(st.buf.DeviceBuffer == before);
            }
            ok();
            for (int k = 0; k < v.count; ++k)
                EXPECT_EQ(cfg(k) & v.masks[std::size_t(k)], want[std::size_t(k)] & v.masks[std::size_t(k)])
                    << "round " << r << " byte " << k;
        }
    }
}

// One click from a start word, and the word after it, from the pages' tables.
struct Click {
    int code;
    const char* name;
    std::int8_t alg;
    std::uint32_t last;
    Word masks, start;
    const char* control;
    int state;
    Word expect;
    int shows = -2;  // the item shown after the click, when another than `state`
};

TEST_F(PicClassicPagesTest, ClicksWriteThePagesBits) {
    const Click clicks[] = {
        {3, "16C621A", 1, 0x7FF, k14, {0x3F, 0x3F}, "RG3_Prot1k", 1, {0x15, 0x9F}},
        {3, "16C622A", 1, 0xFFF, k14, {0x3F, 0xFF}, "RG3_Prot2k", 2, {0x2A, 0xEF}},
        {3, "16C620A", 1, 0x3FF, k14, {0x3F, 0xFF}, "RG3_Prot05k", 0, {0x00, 0xCF}},
        {4, "16F737", 1, 0x1FFF, k14, {0x00, 0x80, 0, 0}, "RG4_Borv", 2, {0x01, 0x00, 0, 0}},
        {4, "16F737", 1, 0x1FFF, k14, {0x00, 0x40, 0, 0}, "RG4_Bor", 1, {0x00, 0x00, 0, 0x40}},
        {4, "16F737", 1, 0x1FFF, k14, {0x00, 0x00, 0, 0}, "RG4_Osc", 5, {0x00, 0x11, 0, 0}},
        {6, "12C671", 1, 0x3FF, k14, {0x00, 0xF8}, "RG6_Osc", 3, {0x00, 0xFC}, 4},
        {6, "12C671", 1, 0x3FF, k14, {0x3F, 0xFF}, "RG6_Cp", 1, {0x15, 0xBF}},
        // The 14C000's word: CPC on is 0x1E7F, CPU on 0x2DDF, CPP on 0x33EF.
        {7, "14C000", 5, 0x1FFF, k14, {0x3F, 0xFF}, "RG7_Prot", 0, {0x21, 0xCF}},
        {7, "14C000", 5, 0x1FFF, k14, {0x21, 0xCF}, "RG7_Prot", 1, {0x3F, 0xFF}},
        {7, "14C000", 5, 0x1FFF, k14, {0x3F, 0xFF}, "CB7_Cpc", 1, {0x1E, 0x7F}},
        {7, "14C000", 5, 0x1FFF, k14, {0x00, 0x4F}, "CB7_Cpc", 0, {0x21, 0xCF}},
        {9, "16F84A", 2, 0x7FF, k14, {0x00, 0x0F}, "RG9_Prot", 1, {0x3F, 0xFF}},
        {12, "16C556", 1, 0x7FF, {0x3F, 0x3F}, {0x3F, 0x3F}, "RG12_Prot1k", 1, {0x15, 0x9F}},
        {12, "16C556", 1, 0x7FF, {0x3F, 0x3F}, {0x3F, 0xFF}, "RG12_Prot1k", 0, {0x00, 0x0F}},
        {12, "16C554", 1, 0x3FF, {0x1F, 0x3F}, {0x00, 0x0F}, "RG12_Prot05k", 1, {0x1F, 0x3F}},
        {12, "16C558", 1, 0xFFF, {0x3F, 0x3F}, {0x00, 0xFF}, "RG12_Osc", 1, {0x00, 0x3D}},
        {15, "12C508", 6, 0x3FF, k12, {0x0F, 0xFF}, "RG15_Prot", 0, {0x00, 0x17}},
        {15, "12C509A", 0, 0x3FF, {0x0F, 0x1F}, {0x0F, 0x1F}, "RG15_Prot", 0, {0x0F, 0x17}},
        {16, "12F683", 2, 0xFFF, {0x0F, 0xFF}, {0xFF, 0x00}, "RG16_Bod", 2, {0x3E, 0x00}},
        {17, "16C715", 1, 0xFFF, k14, {0x3F, 0xFF}, "RG17_Prot", 2, {0x2A, 0xEF}},  // _CP_50, parity kept
        {19, "16C57C", 0, 0xFFF, k12, {0x0F, 0xFF}, "RG40_Prot", 0, {0x00, 0x07}},
        {19, "16C57C", 0, 0xFFF, k12, {0x00, 0x07}, "RG40_Prot", 1, {0x0F, 0xFF}},
        {40, "16C54", 0, 0x3FF, k12, {0x00, 0x07}, "RG40_Prot", 1, {0x00, 0x0F}},
        {40, "16C54", 0, 0x3FF, k12, {0x0F, 0xFF}, "RG40_Prot", 0, {0x0F, 0xF7}},
        {19, "16C55", 0, 0x3FF, kNarrow, {0x00, 0xFF}, "RG40_Osc", 2, {0x00, 0x0E}},
        {20, "16C505", 6, 0x7FF, k12, {0x00, 0xFF}, "RG20_OscC", 3, {0x00, 0xF8}, 0},
        {20, "16F505", 6, 0x7FF, k12, {0x00, 0xF8}, "RG20_OscF", 3, {0x00, 0xFB}},
        {20, "16F505", 6, 0x7FF, {0x0F, 0x3F}, {0x00, 0x00}, "RG20_Cp", 1, {0x0F, 0x10}},
        {21, "16F877", 2, 0x3FFF, k14, {0x3F, 0xFF}, "RG21_Prot8k", 2, {0x2F, 0xEF}},
        {21, "16F872", 2, 0xFFF, k14, {0x3F, 0xFF}, "RG21_Prot2k", 0, {0x0F, 0xCF}},
        {22, "16C774", 1, 0x1FFF, k14, {0x0C, 0x00}, "RG22_Prot", 2, {0x2E, 0x20}},
        {23, "16F628", 2, 0xFFF, k14, {0x00, 0x03}, "RG23_Osc", 4, {0x00, 0x10}},
        {23, "16F627", 2, 0x7FF, k14, {0x3F, 0x00}, "RG23_Prot1k", 1, {0x15, 0x00}},
        {29, "16C745", 1, 0x3FFF, k14, {0x00, 0xFF}, "RG29_Prot", 1, {0x15, 0x1F}},
        {30, "16F877A", 2, 0x3FFF, k14, {0x3F, 0xFF}, "RG30_Osc", 0, {0x3F, 0xFC}},
        {30, "16F877A", 2, 0x3FFF, k14, {0x3F, 0xFF}, "CB30_Cpd", 0, {0x3E, 0xFF}},
        {32, "12F675", 2, 0x7FF, {0x31, 0xFF}, {0x31, 0x00}, "CB32_Cpd", 0, {0x30, 0x00}},
        {33, "16F88", 2, 0x1FFF, k14, {0, 0, 0, 0xFF}, "CB33_Ieso", 1, {0, 0, 0, 0x03}},
    };
    for (const Click& c : clicks) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.control << " " << c.state);
        select(classicPart(c.code, c.name, c.alg, c.last, c.masks));
        open();
        for (int k = 0; k < 4; ++k) cfg(k) = c.start[std::size_t(k)];
        if (RadioGroup* group = setState(c.control, c.state)) {
            EXPECT_EQ(group->itemIndex(), c.shows == -2 ? c.state : c.shows);
        }
        EXPECT_EQ((Word{cfg(0), cfg(1), cfg(2), cfg(3)}), c.expect);
    }
}

TEST_F(PicClassicPagesTest, OpeningShowsTheGroupsAndCaptionsOfThePart) {
    struct Shows {
        int code;
        const char* name;
        std::uint32_t last;
        Word masks, start;
        std::vector<const char*> shown, hidden;
        std::vector<std::pair<const char*, const char*>> texts;
    };
    const Shows cases[] = {
        {5, "10F200", 0x1FF, k12, {}, {}, {"RG5_Iofs", "GB5_Mcpu"}, {{"CB5_Mcl", "GP3"}}},
        {5, "10F222", 0x3FF, k12, {}, {"RG5_Iofs", "GB5_Mcpu"}, {}, {{"CB5_Mcl", "RB3"}}},
        {5, "10F", 0x1FF, k12, {0, 0x10}, {}, {"RG5_Iofs"}, {{"CB5_Mcl", "MCLR"}}},
        {6, "12C671", 0x3FF, k14, {}, {}, {}, {{"CB6_Mcl", "GP3"}}},
        {16, "12F683", 0xFFF, {0x0F, 0xFF}, {}, {}, {"CB16_Wur"}, {}},
        {16, "16F917", 0x3FFF, {0x1F, 0xFF}, {}, {"CB16_Wur"}, {}, {{"CB16_Wur", "DEBUG disabled"}}},
        {16, "16", 0x3FFF, {0x1F, 0xFF}, {}, {"CB16_Wur"}, {}, {{"CB16_Wur", "Wake-Up Reset disabled"}}},
        {3, "16C622A", 0xFFF, k14, {}, {"RG3_Prot2k"}, {"RG3_Prot1k", "RG3_Prot05k"}, {}},
        {3, "16C621A", 0x7FF, k14, {}, {"RG3_Prot1k"}, {"RG3_Prot2k", "RG3_Prot05k"}, {}},
        {12, "16C554", 0x3FF, k14, {}, {"RG12_Prot05k"}, {"RG12_Prot2k", "RG12_Prot1k"}, {}},
        {20, "16F505", 0x7FF, k12, {}, {"RG20_OscF"}, {"RG20_OscC"}, {{"CB20_Mclr", "MCLR Enabled"}}},
        {20, "16C505", 0x7FF, k12, {}, {"RG20_OscC"}, {"RG20_OscF"}, {}},
        {21, "16F872", 0xFFF, k14, {}, {"RG21_Prot2k"}, {"RG21_Prot8k"}, {}},
        {23, "16F627", 0x7FF, k14, {}, {"RG23_Prot1k"}, {"RG23_Prot2k"}, {}},
        {30, "16F873A", 0x1FFF, k14, {}, {"RG30_Wrt4k"}, {"RG30_Wrt8k"}, {}},
        {24, "16F77", 0x3FFF, k14, {0x3F, 0x5F}, {}, {}, {{"Label13", "00"}, {"Label14", "5F"}}},
        {33, "16F88", 0x1FFF, k14, {0x3F, 0x00, 0x3F, 0xFC}, {}, {}, {{"Label15", "00"}, {"Label16", "00"}}},
    };
    for (const Shows& c : cases) {
        SCOPED_TRACE(testing::Message() << "page " << c.code << " " << c.name);
        select(classicPart(c.code, c.name, 1, c.last, c.masks));
        for (int k = 0; k < 4; ++k) cfg(k) = c.start[std::size_t(k)];
        TfrmPicConfig& d = open();
        for (const char* name : c.shown) EXPECT_TRUE(shown(name)) << name;
        for (const char* name : c.hidden) EXPECT_FALSE(shown(name)) << name;
        for (auto [name, text] : c.texts) EXPECT_EQ(d.binder().text(name), text) << name;
    }
}

TEST_F(PicClassicPagesTest, BrownOutKeepsThePowerUpTimerOn) {
    select(classicPart(22, "16C774", 1, 0x1FFF, k14));
    cfg(1) = 0x48;  // brown-out on, power-up timer disabled: the part runs the timer anyway
    TfrmPicConfig& d = open();
    auto* pwt = d.control<QCheckBox>("CB22_Pwt");
    auto* bor = d.control<QCheckBox>("CB22_Bor");
    EXPECT_EQ(cfg(1), 0x48) << "a look writes nothing";
    EXPECT_FALSE(pwt->isChecked());
    EXPECT_TRUE(d.control<QWidget>("RG22_Bor")->isEnabled());
    pwt->setChecked(true);
    EXPECT_FALSE(pwt->isChecked());
    EXPECT_EQ(cfg(1), 0x40);
    bor->setChecked(false);
    EXPECT_FALSE(d.control<QWidget>("RG22_Bor")->isEnabled());
    pwt->setChecked(true);
    EXPECT_EQ(cfg(1), 0x08);
}

// In the main window's fixed-width font, at its own size and a larger one,
// every caption, title and item of every PIC page shows whole, inside its
// group and its sheet, clear of its neighbours; also after a click has
// changed a caption.
TEST_F(PicClassicPagesTest, EveryCaptionOfEveryPageShowsWhole) {
    const int codes[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 12, 15, 16, 17, 19, 20, 21, 22, 23, 24, 27,
                         28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50};
    // The sizes at which the pages change their protection groups and lists.
    const std::uint32_t sizes[] = {0x3FF, 0x7FF, 0xFFF, 0x1FFF, 0x3FFF, 0x7FFF};
    auto check = [this](QWidget* sheet, const std::string& when) {
        dlg->PageControl->setCurrentWidget(sheet);
        QApplication::processEvents();
        for (QWidget* w : sheet->findChildren<QWidget*>()) {
            if (!w->isVisibleTo(sheet)) continue;
            const std::string name = w->objectName().toStdString() + " " + when;
            if (qobject_cast<QAbstractButton*>(w)) {
                EXPECT_GE(w->width(), w->sizeHint().width()) << name;
                EXPECT_GE(w->height(), w->sizeHint().height()) << name;
            }
            if (auto* g = qobject_cast<QGroupBox*>(w)) {
                EXPECT_LE(g->fontMetrics().horizontalAdvance(g->title()) + 16, g->width()) << name;
                EXPECT_GE(g->height(), g->minimumSizeHint().height()) << name;
            }
            EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << name;
            EXPECT_TRUE(sheet->rect().contains(QRect(w->mapTo(sheet, QPoint(0, 0)), w->size()))) << name;
            if (w->parentWidget() == sheet || !w->parentWidget()->layout())
                for (QWidget* v : w->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                    if (v != w && v->isVisibleTo(sheet) && v->geometry().intersects(w->geometry()))
                        ADD_FAILURE() << name << " covers " << v->objectName().toStdString();
        }
    };
    for (const int points : {0, 13}) {
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        if (points) font.setPointSize(points);
        for (const int code : codes) {
            const bool pic18 = config::picPageSet(std::uint8_t(code))->layout == config::PicLayout::Pic18;
            for (const std::uint32_t last : sizes) {
                if (pic18 && last != 0x7FFF) continue;
                for (const float vddMax : {5.5f, 3.6f}) {
                    if (vddMax < 4 && code != 50) continue;
                    SCOPED_TRACE(testing::Message() << "page " << code << " size " << last + 1 << " at " << points
                                                    << " pt, Vdd max " << vddMax);
                    // Names that choose the pages' longer captions and every group.
                    const char* name = code == 5 ? "10F222" : code == 20 ? "16F505" : "16C77";
                    RecordImage r = RecordImage('C').algorithm(pic18 ? 18 : 1).name(name).lastAddress(last)
                                        .pageCode(std::uint8_t(code)).voltages(5.0f, vddMax, 2.0f, 12.0f);
                    if (pic18) {
                        const Pic18Mask m = pic18MaskFor(std::uint8_t(code));
                        r.configMaskCount(14).configMasks({m.begin(), m.end()});
                    } else {
                        r.configMaskCount(4).configMasks({0x3F, 0xFF, 0x3F, 0xFF});
                    }
                    select(r.build());
                    open(font);
                    QApplication::processEvents();
                    for (config::PicSheet s : dlg->visibleSheets()) check(dlg->sheet(s), "on opening");
                    // Each box both ways, then back: captions that follow the state.
                    if (last != 0x7FFF) continue;
                    for (config::PicSheet s : dlg->visibleSheets()) {
                        for (QCheckBox* b : dlg->sheet(s)->findChildren<QCheckBox*>()) {
                            b->toggle();
                            QApplication::processEvents();
                            check(dlg->sheet(s), "after " + b->objectName().toStdString() + " was clicked");
                            b->toggle();
                        }
                    }
                }
            }
        }
    }
}

// ---- On the simulated programmer, through the main window ------------------------

class PicClassicWindowTest : public PicWindowRig {
protected:
    std::uint8_t image(std::size_t at) { return st().buf.DeviceBuffer[at]; }
};

TEST_F(PicClassicWindowTest, SettingsAndIdsTypedInTheDialogAreProgrammedAndReadBack) {
    selectNamed("16F877");
    const char* typed[] = {"12", "34", "56", "7"};
    const auto set = configure([&typed](TfrmPicConfig& d) {
        tickBox(d.control<RadioGroup>("RG21_Osc")->button(2));     // HS
        ASSERT_TRUE(d.control<QCheckBox>("CB21_Wdt")->isChecked());
        tickBox(d.control<QCheckBox>("CB21_Wdt"));                  // watchdog off
        tickBox(d.control<RadioGroup>("RG21_Prot8k")->button(1));  // upper half protected
        for (std::size_t n = 0; n < 4; ++n) {
            d.idEdits[n]->selectAll();
            QTest::keyClicks(d.idEdits[n], typed[n]);
        }
    });
    EXPECT_EQ(set.at("RG21_Osc"), 2);
    ASSERT_TRUE(ran(w().SB_Prog, " CONFIG Programmed"));
    const DeviceRecord& r = *st().dev();
    for (std::size_t k = 0; k < 2; ++k) EXPECT_EQ(chip16().config()[k], image(0x400E + k) & r.ConfigMasks[k]);
    EXPECT_EQ(chip16().config()[1] & 0x37, 0x12) << "HS, watchdog off, CP 01 in L";
    EXPECT_EQ(chip16().config()[0] & 0x30, 0x10) << "CP 01 in H";
    for (std::size_t n = 0; n < 4; ++n)
        EXPECT_EQ(chip16().idWord(n), (image(0x4000 + 2 * n) << 8 | image(0x4001 + 2 * n)));
    for (std::size_t n = 0; n < 4; ++n) EXPECT_EQ(chip16().idWord(n) & 0x7F, std::stoi(typed[n], nullptr, 16));

    // Read back into a cleared image: the dialog shows the same.
    std::fill_n(st().buf.DeviceBuffer.begin() + 0x4000, 0x12, 0x00);
    ASSERT_TRUE(ran(w().SB_Read, " Read Completed"));
    EXPECT_EQ(configure([](TfrmPicConfig&) {}), set);
}

TEST_F(PicClassicWindowTest, FullProtectionFailsVerifyUntilErase) {
    selectNamed("16F877A");
    configure([](TfrmPicConfig& d) { tickBox(d.control<RadioGroup>("RG30_Prot")->button(0)); });
    ASSERT_TRUE(ran(w().SB_Prog, " CONFIG Programmed"));
    EXPECT_TRUE(chip16().codeProtected());
    EXPECT_TRUE(press(w().SB_Verify).contains(" Code Area "));
    EXPECT_TRUE(press(w().SB_Erase).contains(" Erase Complete"));
    EXPECT_FALSE(chip16().codeProtected());
    EXPECT_TRUE(chip16().allErased());
}

// ---- A conventional INHX8M file through the dialog -------------------------------

class PicClassicFileTest : public FormatFixture {};

TEST_F(PicClassicFileTest, Inhx8mConfigurationAndIdsSurviveTheDialog) {
    const auto found = findDevice(3, "16F877A");
    ASSERT_TRUE(found);
    st.CurrentDevice = std::make_shared<const DeviceRecord>(found->rec);
    // Words low byte first: IDs 0x3F81..0x3F84 (bit 7 set, as entry leaves
    // them), configuration 0x3F72 (HS, BOD, no protection).
    const QByteArray text = ":020000000028D6\n:08400000813F823F833F843FB2\n:02400E00723FFF\n:00000001FF\n";
    const QString in = write("in.hex", text), out = path("out.hex");
    load(in, 3);
    ASSERT_EQ(st.ErrorFlag.get(), 0);
    TfrmPicConfig d(st);
    ASSERT_FALSE(d.visibleSheets().empty());
    d.BitBtn1->click();
    st.file.FileFormat = 3;
    ASSERT_TRUE(SaveFile(st, out));
    for (auto [from, n] : {std::pair{0x4000u, 8u}, std::pair{0x400Eu, 2u}})
        EXPECT_EQ(srecImage(out, {"-Intel"}, from, n), srecImage(in, {"-Intel"}, from, n)) << std::hex << from;
}

}  // namespace
