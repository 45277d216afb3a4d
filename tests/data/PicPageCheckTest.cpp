// Sample PIC records against their configuration pages: the page code fits
// the algorithm and the word width, the mask count fits the layout, and on
// the 12/14-bit parts, whose masks are the bits the part implements, every
// choice the page offers survives the masks (a control on a bit the record
// says the part lacks would lose its choice on Program).
#include <QCheckBox>
#include <set>

#include "config/PicControlStates.h"
#include "config/PicPages.h"
#include "picconfig/PicConfigRig.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

// The pages of the 12-bit parts (16C5x, 12C50x, 10F2xx, 16C505) and their algorithms.
const std::set<int> kTwelveBitPages{0, 5, 15, 19, 20, 40};
const std::set<int> kTwelveBitAlgorithms{0, 6, 11};

class PicPageCheck : public PicConfigRig {
protected:
    // Sets every usable control of the shown sheets, control i to state round + i.
    void chooseAll(int round) {
        int i = 0;
        for (config::PicSheet s : dlg->visibleSheets()) {
            QWidget* sheet = dlg->sheet(s);
            for (QCheckBox* b : sheet->findChildren<QCheckBox*>())
                if (b->isVisibleTo(sheet) && b->isEnabled()) b->setChecked((round + i++) & 1);
            for (RadioGroup* g : sheet->findChildren<RadioGroup*>())
                if (g->isVisibleTo(sheet) && g->isEnabled() && g->count() > 0)
                    g->setItemIndex((round + i++) % g->count());
        }
    }
};

TEST_F(PicPageCheck, EverySamplePicFitsItsConfigurationPage) {
    int pages = 0;
    for (const DeviceRecord& r : samplePics()) {
        SCOPED_TRACE(r.Name);
        const bool pic18 = r.isPic18();
        if (const config::PicPageSet* set = config::picPageSet(r.PageCode)) {
            EXPECT_EQ(set->layout == config::PicLayout::Pic18, pic18) << "page code " << int(r.PageCode);
        }
        if (!pic18) {
            EXPECT_EQ(kTwelveBitPages.count(r.PageCode), kTwelveBitAlgorithms.count(r.Algorithm))
                << "page code " << int(r.PageCode) << ", algorithm " << int(r.Algorithm);
        }
        EXPECT_LE(r.ConfigMaskCount, pic18 ? 14 : 4) << "configuration words of the layout";
        select(r);
        const config::PicOpening opening = config::picOpening(r, st.buf.size());
        EXPECT_EQ(opening.note, "");
        if (!opening.set || pic18) continue;
        ++pages;
        const std::vector<std::uint8_t> kept(r.ConfigMasks.begin(), r.ConfigMasks.begin() + r.ConfigMaskCount);
        for (int round = 0; round < 4; ++round) {
            select(r);
            open();
            chooseAll(round);
            const auto chosen = shownStates(*dlg);
            ok();
            for (int k = 0; k < int(kept.size()); ++k) cfg(k) &= kept[std::size_t(k)];
            open();
            std::string lost;
            for (const auto& [name, state] : shownStates(*dlg))
                if (chosen.count(name) && chosen.at(name) != state) lost += " " + name;
            EXPECT_EQ(lost, "") << "choices the masks drop, round " << round;
        }
    }
    EXPECT_GT(pages, 40);
}

}  // namespace
