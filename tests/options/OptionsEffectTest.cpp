// Options set in the dialog change what the next operation does: the chip-ID
// frame, and an EPROM's blank check and auto-erase before programming.
#include <QTest>
#include <gtest/gtest.h>

#include "app/gui/TfrmOption.h"
#include "options/OptionsRig.h"

using namespace tesmar;

namespace {

bool containsFrame(const std::vector<std::uint8_t>& hay, std::vector<std::uint8_t> frame) {
    return std::search(hay.begin(), hay.end(), frame.begin(), frame.end()) != hay.end();
}

class OptionsEffectTest : public test::OptionsWindowRig {
protected:
    // Opens Options from the toolbar, lets `edit` work on the dialog, closes it.
    void withOptions(std::function<void(TfrmOption&)> edit) {
        bool opened = false;
        test::onNextModal(
            [&](QWidget* d) {
                opened = true;
                auto& dlg = *static_cast<TfrmOption*>(d);
                edit(dlg);
                dlg.BitBtn3->click();
            },
            "tesmar::TfrmOption");
        ASSERT_TRUE(w().SB_Option->isEnabled());
        w().SB_Option->click();
        ASSERT_TRUE(opened);
    }
    void fillImage() {
        const std::size_t n = std::size_t(st().dev()->LastAddress) + 1;
        for (std::size_t i = 0; i < n; ++i) st().buf.DeviceBuffer[i] = std::uint8_t(i * 5 + 0x21);
    }
    bool chipHoldsImage() {
        const std::size_t n = std::size_t(st().dev()->LastAddress) + 1;
        for (std::size_t i = 0; i < n; ++i)
            if (sim_.chip()->at(i) != st().buf.DeviceBuffer[i]) return false;
        return true;
    }
    QString log() { return w().memoLines().join('\n'); }
};

TEST_F(OptionsEffectTest, IdCheckDecidesWhetherTheSignatureIsAsked) {
    select(0, "27C256");
    for (bool on : {false, true, false}) {
        SCOPED_TRACE(on);
        withOptions([on](TfrmOption& d) {
            if (d.CheckBox3->isChecked() != on) d.CheckBox3->click();
        });
        EXPECT_EQ(st().settings.IdCheckOption, on ? 1 : 0);
        sim_.clearLog();
        w().Memo1->clear();
        w().SB_Read->click();
        EXPECT_TRUE(w().memoLines().contains(" Read Completed")) << log().toStdString();
        EXPECT_EQ(containsFrame(sim_.hostBytes(), {'E', 'I', 0, 0}), on);
    }
}

TEST_F(OptionsEffectTest, BlankCheckAndAutoEraseDecideWhatProgramDoesWithAUsedEprom) {
    struct Case {
        const char* what;
        bool blankCheck, autoErase;
        bool notBlankLine, erased, good;
    };
    const Case cases[] = {
        {"blank check and auto-erase", true, true, true, true, true},
        {"blank check only", true, false, true, false, false},
        {"neither", false, false, false, false, false},
    };
    select(0, "27C256");
    const QString name = QString::fromStdString(st().dev()->Name);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim_.insertBlankChipFor(*st().dev());
        const std::vector<std::uint8_t> used(0x8000, 0x00);  // programmed all over
        sim_.chip()->load(0, used);
        withOptions([&c](TfrmOption& d) {
            ASSERT_FALSE(d.GroupBox3->isHidden());
            ASSERT_TRUE(d.ProgStep1->isChecked());  // opening offers the blank check
            if (!c.blankCheck) d.ProgStep1->click();
            if (d.ProgStep2->isChecked() != c.autoErase) d.ProgStep2->click();
        });
        EXPECT_EQ(st().settings.ProgramSteps & 3, (c.blankCheck ? 1 : 0) | (c.autoErase ? 2 : 0));
        fillImage();
        w().Memo1->clear();
        sim_.clearLog();
        w().BitBtn1->click();  // counters
        w().SB_Prog->click();
        const QStringList lines = w().memoLines();
        EXPECT_EQ(lines.contains(" " + name + " not blank"), c.notBlankLine) << log().toStdString();
        EXPECT_EQ(lines.contains(" Erased"), c.erased);
        EXPECT_EQ(containsFrame(sim_.hostBytes(), {'E', 'E', '0', '0'}), c.erased);
        EXPECT_EQ(lines.contains(" Verify OK"), c.good);
        EXPECT_EQ(w().ProgCorrect->text(), c.good ? "1" : "0");
        EXPECT_EQ(chipHoldsImage(), c.good);
        if (c.blankCheck && !c.autoErase) {  // refused before any data was sent
            const auto& mem = sim_.chip()->memory();
            EXPECT_TRUE(std::all_of(mem.begin(), mem.end(), [](std::uint8_t b) { return b == 0; }));
        }
    }
}

TEST_F(OptionsEffectTest, OddEvenProgramsTwoChipsFromTheNewImage) {
    select(0, "27C64");
    withOptions([](TfrmOption& d) {
        ASSERT_TRUE(d.OddEvenBox->isEnabled());
        d.OddEvenBox->click();
    });
    ASSERT_EQ(st().OddEvenMode, 1);
    ASSERT_EQ(st().buf.size(), 0x4000u);
    for (std::size_t i = 0; i < st().buf.size(); ++i) st().buf.DeviceBuffer[i] = std::uint8_t(i);
    // The even chip is programmed first; swap in the odd one at its prompt.
    std::vector<std::shared_ptr<sim::Chip>> chips;
    boxes().beforeAnswer = [&](const QString& box) {
        if (!box.startsWith("Odd and Even|")) return;
        sim_.insertBlankChipFor(*st().dev());
        chips.push_back(sim_.chip());
    };
    w().SB_Prog->click();
    ASSERT_EQ(chips.size(), 2u) << boxes().seen().join('\n').toStdString();
    EXPECT_TRUE(w().memoLines().contains(" Verify OK")) << log().toStdString();
    for (std::size_t a = 0; a < 0x2000; ++a) {
        ASSERT_EQ(chips[0]->at(a), std::uint8_t(2 * a)) << a;
        ASSERT_EQ(chips[1]->at(a), std::uint8_t(2 * a + 1)) << a;
    }
    // Opening the dialog again leaves the pair's image alone.
    st().buf.DeviceBuffer[7] = 0xAA;
    withOptions([](TfrmOption& d) { EXPECT_TRUE(d.OddEvenBox->isChecked()); });
    EXPECT_EQ(st().buf.size(), 0x4000u);
    EXPECT_EQ(st().buf.DeviceBuffer[7], 0xAA);
}

}  // namespace
