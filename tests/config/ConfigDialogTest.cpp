// The configuration dialog on the offscreen platform: which sheet a device
// gets, the controls set from the values when it opens, and the bits each
// click writes.
#include <QFontDatabase>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

#include "config/gui/TfrmConfig.h"
#include "support/RecordImage.h"
#include "support/TestSupport.h"

using namespace tesmar;
using config::Sheet;
using test::tickBox;

namespace {

class ConfigDialogTest : public ::testing::Test {
protected:
    // Makes a device of the given page code current and opens the dialog on it.
    TfrmConfig& open(std::uint8_t pageCode, std::uint32_t lastAddress = 0xFFFFF, char family = 'S',
                     const std::string& name = "PART-X") {
        st.CurrentDevice = test::RecordImage(family).name(name).lastAddress(lastAddress).pageCode(pageCode).shared();
        dlg = std::make_unique<TfrmConfig>(st);
        dlg->show();
        return *dlg;
    }
    std::uint8_t& status() { return st.mcu.SerialFlashStatus; }
    static void clickItem(RadioGroup* group, int index) {
        ASSERT_NE(group->button(index), nullptr);
        tickBox(group->button(index));
    }

    AppState st;
    std::unique_ptr<TfrmConfig> dlg;
};

TEST_F(ConfigDialogTest, PageCodeChoosesTheSheet) {
    struct Case { int page; std::vector<Sheet> shown; };
    const Case cases[] = {
        {100, {Sheet::Page100}}, {101, {Sheet::Page100}}, {102, {Sheet::Page102}}, {103, {Sheet::Page102}},
        {104, {Sheet::Page102}}, {130, {Sheet::Page130}},
        {200, {Sheet::Page200}}, {204, {Sheet::Page204, Sheet::Page204A}}, {210, {Sheet::Page205}},
        // Other codes have no page.
        {0, {}}, {99, {}}, {131, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        TfrmConfig& d = open(std::uint8_t(c.page), 0xFFFFF, c.page >= 200 ? 'M' : 'S', "25X-" + std::to_string(c.page));
        EXPECT_EQ(d.windowTitle(), "ID / Configuration");
        EXPECT_EQ(d.PageControl1->count(), config::kSheetCount);
        EXPECT_EQ(d.visibleSheets(), c.shown);
        for (int i = 0; i < config::kSheetCount; ++i) {
            const bool shown = std::find(c.shown.begin(), c.shown.end(), Sheet(i)) != c.shown.end();
            EXPECT_EQ(d.PageControl1->isVisible() && d.PageControl1->isTabVisible(i), shown)
                << config::kSheetNames[std::size_t(i)];
            EXPECT_EQ(d.sheets[std::size_t(i)]->objectName(), config::kSheetNames[std::size_t(i)]);
            if (shown && Sheet(i) == c.shown.front()) {
                EXPECT_EQ(d.PageControl1->tabText(i), QString::fromStdString("25X-" + std::to_string(c.page)));
                EXPECT_EQ(d.PageControl1->currentIndex(), i);
            }
        }
        EXPECT_TRUE(d.BitBtn1->isVisible());
    }
}

TEST_F(ConfigDialogTest, PageCode101HidesWpenAndMovesBlockProtectLeft) {
    TfrmConfig& d = open(101);
    EXPECT_FALSE(d.GB100_Wpen->isVisible());
    EXPECT_TRUE(d.RG100->isVisible());
    EXPECT_EQ(d.RG100->x(), 4);

    TfrmConfig& full = open(100);
    EXPECT_TRUE(full.GB100_Wpen->isVisible());
    EXPECT_TRUE(full.CB100_Wpen->isVisible());
    EXPECT_GT(full.RG100->x(), full.GB100_Wpen->geometry().right());
}

TEST_F(ConfigDialogTest, Page100ShowsTheStatusByte) {
    struct Case { std::uint8_t status; bool wpen; int item; };
    for (const Case c : {Case{0x00, false, 0}, Case{0x84, true, 1}, Case{0x08, false, 2}, Case{0x8C, true, 3},
                         Case{0x7F, false, 3}}) {
        SCOPED_TRACE(int(c.status));
        status() = c.status;
        TfrmConfig& d = open(100);
        EXPECT_EQ(d.CB100_Wpen->isChecked(), c.wpen);
        EXPECT_EQ(d.RG100->itemIndex(), c.item);
        EXPECT_EQ(d.RG100->items(), (QStringList{"None", "Upper 1/4", "Upper 1/2", "All"}));
        // Opening writes the shown choice back; WPEN and the block-protect field survive it.
        EXPECT_EQ(status() & 0x8C, c.status & 0x8C);
    }
}

TEST_F(ConfigDialogTest, Page100ClicksWriteTheirBits) {
    status() = 0x04;
    TfrmConfig& d = open(100);
    tickBox(d.CB100_Wpen);
    EXPECT_EQ(status(), 0x84);
    clickItem(d.RG100, 3);
    EXPECT_EQ(status(), 0x8C);
    tickBox(d.CB100_Wpen);
    EXPECT_EQ(status(), 0x0C);
    // A block-protect choice keeps WPEN and clears the bits outside both fields.
    status() = 0xF3;
    clickItem(d.RG100, 1);
    EXPECT_EQ(status(), 0x84);
}

TEST_F(ConfigDialogTest, Page101BlockProtectLeavesBit7) {
    for (std::uint8_t start : {std::uint8_t(0x80), std::uint8_t(0x00)}) {
        status() = start;
        TfrmConfig& d = open(101);
        clickItem(d.RG100, 2);
        EXPECT_EQ(status(), start | 0x08);
    }
}

TEST_F(ConfigDialogTest, Page102ShowsTopBottomListAndSrp) {
    // 256 KB part, bottom ranges, BP 2, SRP set.
    status() = 0x80 | 0x20 | (2 << 2);
    TfrmConfig& d = open(102, 0x3FFFF);
    EXPECT_EQ(d.RG102_TB->itemIndex(), 1);
    EXPECT_EQ(d.RG102_BP->items(), (QStringList{"None", "000000h - 00FFFFh", "000000h - 01FFFFh", "All"}));
    EXPECT_EQ(d.RG102_BP->itemIndex(), 2);
    EXPECT_TRUE(d.CB102_SRP->isChecked());
    EXPECT_TRUE(d.RG102_TB->isVisible());
    EXPECT_TRUE(d.CB102_SRP->isVisible());
    EXPECT_EQ(status(), 0xA8);
}

TEST_F(ConfigDialogTest, Page104OnAOneMegabytePartShowsAllForBp7) {
    status() = 0x1C;
    TfrmConfig& d = open(104, 0xFFFFF);
    EXPECT_EQ(d.RG102_BP->count(), 6);
    EXPECT_EQ(d.RG102_BP->itemIndex(), 5);
    EXPECT_EQ(d.RG102_BP->button(5)->text(), "All");
    EXPECT_TRUE(d.RG102_BP->button(5)->isChecked());
    EXPECT_FALSE(d.CB102_SRP->isVisible());
    EXPECT_FALSE(d.RG102_TB->isVisible());
    EXPECT_TRUE(d.RG102_BP->isVisible());
}

TEST_F(ConfigDialogTest, BpBeyondTheListShowsAllForEachSize) {
    struct Case { std::uint32_t last; int all; };
    for (const Case c : {Case{0x1FFFF, 2}, Case{0x3FFFF, 3}, Case{0x7FFFF, 4}, Case{0xFFFFF, 5}}) {
        SCOPED_TRACE(c.last);
        status() = 0x1C;
        TfrmConfig& d = open(102, c.last);
        EXPECT_EQ(d.RG102_BP->itemIndex(), c.all);
        EXPECT_EQ(d.RG102_BP->items().value(c.all), "All");
        EXPECT_EQ(d.RG102_BP->count(), c.all + 1);
    }
}

TEST_F(ConfigDialogTest, SwitchingToBottomRebuildsTheListAndKeepsBp) {
    status() = 3 << 2;
    TfrmConfig& d = open(102, 0x7FFFF);
    EXPECT_EQ(d.RG102_BP->items().value(1), "070000h - 07FFFFh");
    EXPECT_EQ(d.RG102_BP->itemIndex(), 3);
    clickItem(d.RG102_TB, 1);
    EXPECT_EQ(status(), 0x20 | (3 << 2));
    EXPECT_EQ(d.RG102_BP->items(),
              (QStringList{"None", "000000h - 00FFFFh", "000000h - 01FFFFh", "000000h - 03FFFFh", "All"}));
    EXPECT_EQ(d.RG102_BP->itemIndex(), -1);
    // The rebuilt list shows, and starts at the top of its frame as the first one did.
    EXPECT_TRUE(d.RG102_BP->button(4)->isVisible());
    EXPECT_LT(d.RG102_BP->button(0)->y(), d.RG102_BP->button(4)->y());
    EXPECT_LT(d.RG102_BP->button(0)->y(), 40);
    // The new list's items write the field.
    clickItem(d.RG102_BP, 4);
    EXPECT_EQ(status(), 0x20 | (4 << 2));
    clickItem(d.RG102_TB, 0);
    EXPECT_EQ(status(), 4 << 2);
    EXPECT_EQ(d.RG102_BP->items().value(3), "040000h - 07FFFFh");
}

TEST_F(ConfigDialogTest, Page102ClicksWriteOnlyTheirBits) {
    status() = 0x43;  // bits outside every field
    TfrmConfig& d = open(103, 0xFFFFF);
    const std::uint8_t opened = status();
    EXPECT_EQ(opened, 0x43);
    for (int item = 0; item < 6; ++item) {
        clickItem(d.RG102_BP, item);
        EXPECT_EQ(status(), 0x43 | (item << 2));
    }
    tickBox(d.CB102_SRP);
    EXPECT_EQ(status(), 0xC3 | (5 << 2));
    tickBox(d.CB102_SRP);
    EXPECT_EQ(status(), 0x43 | (5 << 2));
    EXPECT_EQ(st.mcu.SerialFlashStatus2, 0);
}

TEST_F(ConfigDialogTest, UnlistedSizeOffersNoneAndAllOnly) {
    // A 4 MB part has no range table: the form's items stay, "Upper 1/2" has
    // no known BP value and is not offered, "None" lifts the protection the
    // chip reported and "All" sets every BP bit.
    struct Case {
        std::uint8_t opened;
        int item;  // shown when the dialog opens
    };
    for (const Case c : {Case{0x9C, 2}, Case{0x80, 0}, Case{0x88, -1}}) {
        SCOPED_TRACE(int(c.opened));
        status() = c.opened;
        TfrmConfig& d = open(102, 0x3FFFFF);
        EXPECT_EQ(d.RG102_BP->items(), (QStringList{"None", "Upper 1/2", "All"}));
        EXPECT_EQ(d.RG102_BP->itemIndex(), c.item);
        EXPECT_EQ(status(), c.opened);  // opening writes nothing
        EXPECT_TRUE(d.RG102_BP->isEnabled());
        EXPECT_FALSE(d.RG102_BP->button(1)->isEnabled());
        clickItem(d.RG102_BP, 1);
        EXPECT_EQ(status(), c.opened);
        clickItem(d.RG102_BP, 0);
        EXPECT_EQ(status(), 0x80 & c.opened);
        clickItem(d.RG102_BP, 2);
        EXPECT_EQ(status(), (0x80 & c.opened) | 0x1C);
        // Top/bottom keeps the list and the field.
        clickItem(d.RG102_TB, 1);
        EXPECT_EQ(status(), (0x80 & c.opened) | 0x3C);
        EXPECT_EQ(d.RG102_BP->items(), (QStringList{"None", "Upper 1/2", "All"}));
        EXPECT_FALSE(d.RG102_BP->button(1)->isEnabled());
    }
}

TEST_F(ConfigDialogTest, Page130ShowsAndWritesSdp) {
    st.mcu.SdpEnable = 1;
    TfrmConfig& d = open(130, 0x7FFF, 'E');
    EXPECT_EQ(d.RG130->items(), (QStringList{"SDP OFF", "SDP ON"}));
    EXPECT_EQ(d.RG130->itemIndex(), 1);
    EXPECT_TRUE(d.RG130->button(1)->isChecked());
    clickItem(d.RG130, 0);
    EXPECT_EQ(st.mcu.SdpEnable, 0);
    clickItem(d.RG130, 1);
    EXPECT_EQ(st.mcu.SdpEnable, 1);
    // Other values are untouched.
    EXPECT_EQ(status(), 0);
}

TEST_F(ConfigDialogTest, OkClosesWithoutCloseBox) {
    TfrmConfig& d = open(130, 0x7FFF, 'E');
    EXPECT_FALSE(d.windowFlags() & Qt::WindowCloseButtonHint);
    QTest::mouseClick(d.BitBtn1, Qt::LeftButton);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
}

TEST(RadioGroupTest, IndexSignalsOnChangesFromCodeAndClicksOnly) {
    RadioGroup g("Group");
    g.setItems({"a", "b", "c"});
    std::vector<int> seen;
    QObject::connect(&g, &RadioGroup::itemIndexChanged, [&](int i) { seen.push_back(i); });
    g.setItemIndex(2);
    g.setItemIndex(2);
    g.show();
    tickBox(g.button(0));
    tickBox(g.button(0));
    g.setItemIndex(7);
    EXPECT_EQ(seen, (std::vector<int>{2, 0, -1}));
    EXPECT_EQ(g.itemIndex(), -1);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(g.button(i)->isChecked());
    g.setItemIndex(1);
    g.setItems({"x"});
    EXPECT_EQ(g.itemIndex(), -1);
    EXPECT_EQ(seen.back(), 1);  // clearing the items is not a choice
    EXPECT_EQ(g.count(), 1);
}

}  // namespace

// In the main window's fixed-width font, at its usual size and larger, every
// group of the memory-protection pages shows its whole title inside the dialog.
TEST_F(ConfigDialogTest, GroupTitlesShowWholeInTheMainWindowsFont) {
    for (const int points : {10, 14}) {
        QWidget parent;
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSize(points);
        parent.setFont(font);
        for (const auto& [page, family] : {std::pair{100, 'S'}, {101, 'S'}, {102, 'F'}, {104, 'F'}, {130, 'E'}}) {
            SCOPED_TRACE(std::to_string(page) + " at " + std::to_string(points) + " pt");
            st.CurrentDevice = test::RecordImage(family).name("PART-X").lastAddress(0xFFFFF).pageCode(page).shared();
            TfrmConfig d(st, &parent);
            d.show();
            const QFontMetrics fm(d.font());
            for (const config::Sheet s : d.visibleSheets()) {
                QWidget* sheet = d.sheet(s);
                for (QGroupBox* g : sheet->findChildren<QGroupBox*>()) {
                    if (!g->isVisibleTo(sheet)) continue;
                    EXPECT_LE(fm.horizontalAdvance(g->title()) + 16, g->width()) << g->title().toStdString();
                    EXPECT_TRUE(sheet->rect().contains(QRect(g->mapTo(sheet, QPoint(0, 0)), g->size())))
                        << g->objectName().toStdString();
                }
            }
        }
    }
}
