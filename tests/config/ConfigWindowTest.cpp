// The configuration dialog through the main window's Config button, and the
// values it sets reaching the chip with the next Program.
#include <QTest>
#include <gtest/gtest.h>

#include "config/gui/TfrmConfig.h"
#include "sim/FlashChip.h"
#include "sim/SerialChip.h"
#include "support/Bytes.h"
#include "support/MainWindowRig.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

enum Family { R = 0, E = 1, S = 2, M = 3 };

void tick(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2)); }

class ConfigWindowTest : public MainWindowRig {
protected:
    void selectNamed(int family, const std::string& name) {
        const auto found = findDevice(family, name);
        ASSERT_TRUE(found) << name << " is not in the sample data";
        select(found->place);
        ASSERT_TRUE(st().dev());
        ASSERT_EQ(st().dev()->Name, name);
    }
    // Clicks Config and lets `act` work on the dialog before OK closes it.
    void configure(std::function<void(TfrmConfig&)> act) {
        bool opened = false;
        onNextModal(
            [&opened, act](QWidget* w) {
                opened = true;
                auto* d = static_cast<TfrmConfig*>(w);
                act(*d);
                QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
            },
            "tesmar::TfrmConfig");
        ASSERT_TRUE(w().SB_Config->isEnabled());
        w().SB_Config->click();
        EXPECT_TRUE(opened);
    }
};

TEST_F(ConfigWindowTest, SerialFlashProtectionChosenInTheDialogIsProgrammed) {
    selectNamed(S, "25F080");
    st().mcu.SerialFlashStatus = 0;
    configure([](TfrmConfig& d) {
        ASSERT_EQ(d.visibleSheets(), std::vector<config::Sheet>{config::Sheet::Page102});
        EXPECT_EQ(d.PageControl1->tabText(int(config::Sheet::Page102)), "25F080");
        tick(d.RG102_TB->button(1));                 // "Bottom"
        tick(d.RG102_BP->button(2));                 // "000000h - 01FFFFh"
        tick(d.CB102_SRP);
    });
    EXPECT_EQ(st().mcu.SerialFlashStatus, 0x80 | 0x20 | (2 << 2));

    clearLogs();
    w().SB_Prog->click();
    const QStringList lines = w().memoLines();
    EXPECT_TRUE(lines.contains(" Programmed")) << lines.join('\n').toStdString();
    auto& chip = dynamic_cast<sim::SerialChip&>(*sim_.chip());
    EXPECT_EQ(chip.lastStatusWritten(), (Bytes{0xA8}));
    EXPECT_TRUE(sim_.protocolErrors().empty());
}

TEST_F(ConfigWindowTest, SerialEepromBlockProtectIsProgrammed) {
    selectNamed(S, "25C040");  // page code 101: no WPEN choice
    st().mcu.SerialFlashStatus = 0x80;
    configure([](TfrmConfig& d) {
        EXPECT_FALSE(d.GB100_Wpen->isVisible());
        EXPECT_TRUE(d.RG100->isVisible());
        tick(d.RG100->button(3));  // "All"
    });
    EXPECT_EQ(st().mcu.SerialFlashStatus, 0x8C);

    clearLogs();
    w().SB_Prog->click();
    EXPECT_TRUE(w().memoLines().contains(" Programmed")) << w().memoLines().join('\n').toStdString();
    auto& chip = dynamic_cast<sim::SerialChip&>(*sim_.chip());
    EXPECT_EQ(chip.lastStatusWritten(), (Bytes{0x8C}));
}

TEST_F(ConfigWindowTest, SoftwareDataProtectionReachesTheOptionByte) {
    selectNamed(E, "28C256");
    for (int item : {1, 0}) {
        configure([item](TfrmConfig& d) {
            ASSERT_EQ(d.visibleSheets(), std::vector<config::Sheet>{config::Sheet::Page130});
            tick(d.RG130->button(item));
        });
        EXPECT_EQ(st().mcu.SdpEnable, item);
        clearLogs();
        w().SB_Prog->click();
        auto& chip = dynamic_cast<sim::FlashChip&>(*sim_.chip());
        EXPECT_EQ(chip.lastOptionByte(), std::optional<std::uint8_t>(std::uint8_t(item)))
            << w().memoLines().join('\n').toStdString();
    }
}

TEST_F(ConfigWindowTest, ConfigButtonFollowsTheRecordAndTheBuiltPages) {
    struct Case { int family; const char* name; bool enabled; };
    const Case cases[] = {
        {S, "25F020", true},    // page 103, Config bit set
        {E, "28C512", true},    // page 130
        {S, "24C02", false},    // no Config bit
        {S, "25F512", false},   // no status register
        {E, "28C64", false},
        {M, "ATmega8", config::kMcuPagesBuilt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        selectNamed(c.family, c.name);
        EXPECT_EQ(w().SB_Config->isEnabled(), c.enabled);
    }
}

TEST_F(ConfigWindowTest, ConfigDoesNothingInDemoMode) {
    selectNamed(S, "25F010");
    st().ProgrammerState = 0;
    st().mcu.SerialFlashStatus = 0x1C;
    bool opened = false;
    onNextModal([&opened](QWidget* w) { opened = true; static_cast<QDialog*>(w)->accept(); }, "tesmar::TfrmConfig");
    w().SB_Config->click();
    QTest::qWait(50);
    EXPECT_FALSE(opened);
    EXPECT_EQ(st().mcu.SerialFlashStatus, 0x1C);
    // Let the pending watcher find a window now, so it ends with this test.
    st().ProgrammerState = 1;
    w().SB_Config->click();
    EXPECT_TRUE(opened);
}

}  // namespace
