// The PIC dialog through the main window's Config button, and what it sets
// reaching the simulated chip with the next Program.
#include <QCheckBox>

#include "families/Pic18.h"
#include "picconfig/PicConfigRig.h"
#include "sim/Pic18Chip.h"
#include "support/Bytes.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

void tick(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2)); }

class PicConfigWindowTest : public MainWindowRig {
protected:
    void selectNamed(const std::string& name) {
        const auto found = findDevice(3, name);
        ASSERT_TRUE(found) << name << " is not in the sample data";
        select(found->place);
        ASSERT_EQ(st().dev()->Name, name);
    }
    // Clicks Config and lets `act` work on the dialog before OK closes it.
    void configure(const std::function<void(TfrmPicConfig&)>& act) {
        bool opened = false;
        onNextModal(
            [&opened, act](QWidget* w) {
                opened = true;
                auto* d = static_cast<TfrmPicConfig*>(w);
                act(*d);
                QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
            },
            "tesmar::TfrmPicConfig");
        ASSERT_TRUE(w().SB_Config->isEnabled());
        w().SB_Config->click();
        EXPECT_TRUE(opened);
    }
    sim::Pic18Chip& chip() { return dynamic_cast<sim::Pic18Chip&>(*sim_.chip()); }
};

TEST_F(PicConfigWindowTest, Pic18SettingsAndIdsTypedInTheDialogAreProgrammed) {
    selectNamed("18F452");
    st().settings.VerifyMaxMin = 0;
    const Bytes typed{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    configure([&typed](TfrmPicConfig& d) {
        ASSERT_EQ(d.visibleSheets().size(), 3u);
        EXPECT_EQ(d.PageControl->tabText(d.PageControl->currentIndex()), "18F452");
        tick(d.control<RadioGroup>("RG27_Osc")->button(2));  // "HS"
        auto* boren = d.control<QCheckBox>("CB27_Boren");
        if (!boren->isChecked()) tick(boren);
        tick(d.control<RadioGroup>("RG27_Bor")->button(2));  // "2.7V"
        d.PageControl->setCurrentWidget(d.sheet(config::PicSheet::Page27B));
        tick(d.control<QCheckBox>("CB27_Cp200"));  // "0200 - 1FFF protected"
        d.PageControl->setCurrentWidget(d.sheet(config::PicSheet::Page27));
        for (std::size_t n = 0; n < typed.size(); ++n) {
            QLineEdit* id = d.pic18Edits[n];
            id->selectAll();
            QTest::keyClicks(id, QString::asprintf("%02X", typed[n]));
        }
    });

    clearLogs();
    w().SB_Prog->click();
    const QStringList lines = w().memoLines();
    EXPECT_TRUE(lines.contains(" Programmed")) << lines.join('\n').toStdString();
    const auto cfg = chip().config();
    EXPECT_EQ(cfg[0] & 0x07, 0x02) << "CONFIG1H oscillator HS";
    EXPECT_EQ(cfg[3] & 0x0E, 0x0A) << "CONFIG2L brown-out on at 2.7V";
    EXPECT_EQ(cfg[9] & 0x01, 0x00) << "CONFIG5L CP0";
    const Pic18Mask mask = pic18MaskFor(27);
    for (std::size_t k = 0; k < 14; ++k)
        EXPECT_EQ(cfg[k], st().buf.DeviceBuffer[0xF0010 + k] & mask[k]) << "CONFIG byte " << k;
    EXPECT_EQ(chip().ids(), typed);

    // Read back into a cleared image: the dialog shows the same choices.
    std::fill_n(st().buf.DeviceBuffer.begin() + 0xF0000, 0x1E, 0x00);
    clearLogs();
    w().SB_Read->click();
    EXPECT_TRUE(w().memoLines().contains(" Read Completed")) << w().memoLines().join('\n').toStdString();
    configure([&typed](TfrmPicConfig& d) {
        EXPECT_EQ(d.control<RadioGroup>("RG27_Osc")->itemIndex(), 2);
        EXPECT_TRUE(d.control<QCheckBox>("CB27_Boren")->isChecked());
        EXPECT_EQ(d.control<RadioGroup>("RG27_Bor")->itemIndex(), 2);
        EXPECT_TRUE(d.control<QCheckBox>("CB27_Cp200")->isChecked());
        EXPECT_FALSE(d.control<QCheckBox>("CB27_Cp2000")->isChecked());
        for (std::size_t n = 0; n < typed.size(); ++n)
            EXPECT_EQ(d.pic18Edits[n]->text(), QString::asprintf("%02X", typed[n]));
    });
}

TEST_F(PicConfigWindowTest, ConfigButtonOpensThePicDialogAndTheChecksumFollows) {
    selectNamed("16F1827");
    const QString before = w().CheckL->text();
    configure([](TfrmPicConfig& d) {
        EXPECT_EQ(d.visibleSheets(), (std::vector<config::PicSheet>{config::PicSheet::Page46, config::PicSheet::Page46A}));
        d.idEdits[0]->selectAll();
        QTest::keyClicks(d.idEdits[0], "5");
    });
    EXPECT_EQ(st().buf.DeviceBuffer[0x10001], 0x85);
    EXPECT_NE(w().CheckL->text(), before);
}

}  // namespace
