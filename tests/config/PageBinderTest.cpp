// The shared binder on a small table of every control kind: which rows run
// when, what opening sets, and that displays follow the values.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "config/gui/PageBinder.h"
#include "support/RecordImage.h"

using namespace tesmar;
using namespace tesmar::config;

namespace {

enum class Sheet { A, B };
std::vector<std::string> runs;  // "name state" of every row the binder ran

void recordClick(PageContext& ctx, const ControlRow& row, int state) {
    runs.push_back(std::string(row.name) + " " + std::to_string(state));
    if (row.kind == ControlKind::Edit) {
        if (const auto v = parseHexEntry(ctx.text(row.name))) ctx.setValue(row.target, std::uint8_t(*v));
    } else {
        plainClick(ctx, row, state);
    }
}
const Rule kRecorded{nullptr, recordClick};

const std::vector<ControlRow>& rows() {
    using K = ControlKind;
    static const std::vector<ControlRow> r = {
        {Sheet::A, "Box", nullptr, K::CheckBox, "Box", 0, 0, 0, 0, ConfigGlobal::FuseLow, 0x01, 0xFE, true, {}, &kRecorded},
        {Sheet::A, "Combo", nullptr, K::ComboBox, "pick", 0, 0, 120, 24, ConfigGlobal::FuseHigh, 0x03, 0xFC, true,
         {"a", "b", "c"}, &kRecorded},
        {Sheet::A, "Show", nullptr, K::Label, "", 0, 0, 40, 16, ConfigGlobal::FuseHigh, 0xFF, 0, true, {}},
        newColumn({Sheet::A, "Entry", nullptr, K::Edit, "", 0, 0, 60, 22, ConfigGlobal::FuseExt, 0xFF, 0, true, {},
                   &kRecorded}),
        {Sheet::A, "One", nullptr, K::RadioButton, "one", 0, 0, 0, 0, ConfigGlobal::LockBits, 0x01, 0, true, {},
         &kRecorded},
        {Sheet::A, "Two", nullptr, K::RadioButton, "two", 0, 0, 0, 0, ConfigGlobal::LockBits, 0x02, 0, true, {},
         &kRecorded},
        {Sheet::B, "Other", nullptr, K::CheckBox, "Other", 8, 8, 80, 20, ConfigGlobal::SecurityByte, 0x01, 0, true, {},
         &kRecorded},
    };
    return r;
}

struct Binder {
    Binder() {
        st.CurrentDevice = test::RecordImage('M').name("X").shared();
        frame.resize(400, 300);
        sheets = {new QWidget(&frame), new QWidget(&frame)};
        binder = new PageBinder(st, rows(), sheets, &frame, QSize(400, 300));
        binder->setShownSheets({int(Sheet::A)});
    }
    AppState st;
    QWidget frame;
    std::vector<QWidget*> sheets;
    PageBinder* binder;
};

TEST(PageBinderTest, OpeningSetsTheShownRowsAndRunsThemOnlyWhenTheStateChanges) {
    Binder b;
    b.st.mcu.FuseLow = 0x01;
    b.st.mcu.FuseHigh = 0xFE;  // field 2
    b.st.mcu.SecurityByte = 0x01;
    runs.clear();
    b.binder->decodeAll();
    b.binder->refreshDisplays();
    // The combo box shows its field without running its row.
    EXPECT_EQ(runs, (std::vector<std::string>{"Box 1", "Entry 0"}));
    EXPECT_EQ(b.binder->get<QComboBox>("Combo")->currentIndex(), 2);
    EXPECT_FALSE(b.binder->get<QCheckBox>("Other")->isChecked()) << "a sheet not shown is left as it is";
    EXPECT_EQ(b.binder->get<QLabel>("Show")->text(), "FE");
    EXPECT_EQ(b.binder->get<QLineEdit>("Entry")->text(), "00");
    // Placed controls flow down the sheet; a new column starts right of the first.
    EXPECT_LT(b.binder->widget("Box")->y(), b.binder->widget("Combo")->y());
    EXPECT_GT(b.binder->widget("Entry")->x(), b.binder->widget("Combo")->geometry().right());
}

TEST(PageBinderTest, ListsAtNoItemOrRebuiltRunNothing) {
    Binder b;
    auto* combo = b.binder->get<QComboBox>("Combo");
    EXPECT_EQ(combo->currentIndex(), -1);
    runs.clear();
    combo->setCurrentIndex(1);
    EXPECT_EQ(b.st.mcu.FuseHigh, 0x01);
    b.binder->setItems("Combo", {"x", "y"});
    combo->setCurrentIndex(-1);
    b.binder->setItemIndex("Combo", -1);
    EXPECT_EQ(runs, (std::vector<std::string>{"Combo 1"}));
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_EQ(b.binder->itemCount("Combo"), 2);
    // The display of the value follows each write.
    b.binder->setItemIndex("Combo", 1);
    EXPECT_EQ(b.binder->get<QLabel>("Show")->text(), "01");
}

TEST(PageBinderTest, RadioButtonsRunWhenChosenAndEditsOnEachChange) {
    Binder b;
    runs.clear();
    b.binder->setChecked("One", true);
    b.binder->setChecked("Two", true);  // unchooses "One", which runs nothing
    auto* entry = b.binder->get<QLineEdit>("Entry");
    QTest::keyClicks(entry, "7F");
    EXPECT_EQ(runs, (std::vector<std::string>{"One 1", "Two 1", "Entry 0", "Entry 0"}));
    EXPECT_EQ(b.st.mcu.FuseExt, 0x7F);
    EXPECT_EQ(entry->text(), "7F");
}

}  // namespace
