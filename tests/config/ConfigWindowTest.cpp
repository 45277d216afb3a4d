// The configuration dialog through the main window's Config button, and the
// values it sets reaching the chip with the next Program.
#include <QComboBox>
#include <QTest>
#include <gtest/gtest.h>

#include "app/gui/TfrmMains.h"

#include "config/gui/PageBinder.h"
#include "config/gui/TfrmConfig.h"
#include "devices/gui/TfrmSelectDevice.h"
#include "families/Mcu.h"
#include "operations/gui/TProgressForm.h"
#include "picconfig/PicWindowRig.h"
#include "sim/FlashChip.h"
#include "sim/McuChip.h"
#include "sim/SerialChip.h"
#include "support/Bytes.h"
#include "support/PartHeaders.h"
#include "support/MainWindowRig.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

enum Family { R = 0, E = 1, S = 2, M = 3 };

class ConfigWindowTest : public MainWindowRig {
protected:
    void selectNamed(int family, const std::string& name) {
        const auto found = findDevice(family, name);
        ASSERT_TRUE(found) << name << " is not in the sample data";
        // Pages 203 and 209 first show how to insert the part.
        if (found->rec.FamilyLetter == 'M' && (found->rec.PageCode == 203 || found->rec.PageCode == 209))
            onNextModal([](QWidget* note) { static_cast<TInsertDisplay*>(note)->OKAY->click(); },
                        "tesmar::TInsertDisplay");
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
        tickBox(d.RG102_TB->button(1));                 // "Bottom"
        tickBox(d.RG102_BP->button(2));                 // "000000h - 01FFFFh"
        tickBox(d.CB102_SRP);
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
        tickBox(d.RG100->button(3));  // "All"
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
            tickBox(d.RG130->button(item));
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

// One control changed in Config after a fresh selection, then Program: the
// chip ends with that change and every other fuse and lock bit as it had
// them, because the page opened on the chip's own bytes. A part whose fuse
// read keeps nothing says so on the page, and its chip keeps every bit.
TEST_F(ConfigWindowTest, OneChangeInConfigIsTheOnlyFuseOrLockChangeProgramMakes) {
    struct Case {
        const char* part;
        const char* control;
        int item;       // the item chosen (radio group, list), or -1 to click a box
        int byte;       // 0..2 the fuse byte, 3 the lock byte that changes; -1 nothing may change
        std::uint8_t bit;
    };
    const Case cases[] = {
        {"ATmega88", "CB205_MlbBox", 1, 3, 0x01},  // "LB1 on" and nothing else
        {"ATmega8", "CB204_Boden", -1, 0, 0x40},   // BODEN ticked and nothing else
        {"AT90S2313", "RG202", 1, 3, 0x02},        // a lock-only change: "LB1 on"
        {"AT90S1200", "CB202_Fstrt", -1, 0, 0x01},
        {"AT90S2343", "CB202_Spien", -1, 0, 0x20},
        {"AT90S8515", "RG202", 0, 3, 0x06},        // "LB1 + LB2 on"
        {"ATtiny26", "CB203_Boden", -1, 1, 0x01},
        {"ATmega16", "CB204_Eesave", -1, 1, 0x08},
        {"ATmega8535", "CB204_Bootrst", -1, 1, 0x01},
        {"ATmega48/V", "CB205_Eesave", -1, 1, 0x08},
        {"ATtiny861", "CB205_Ckdiv8", -1, 0, 0x80},
        {"ATmega162", "CB207_eesave", -1, 1, 0x08},
        {"ATtiny85", "CB209_CKDIV8", -1, 0, 0x80},
        {"ATtiny2313", "CB209_CKDIV8", -1, 0, 0x80},
        {"ATtiny11", "CB200_Fstrt", -1, -1, 0},
        {"ATtiny12", "CB201_Boden", -1, -1, 0},
        {"ATmega328", "CB205_Ckdiv8", -1, -1, 0},
    };
    ASSERT_TRUE(haveAvrLibc());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part);
        selectNamed(M, c.part);
        auto& chip = dynamic_cast<sim::McuChip&>(*sim_.chip());
        // The bits the part has: its fuses as avr-libc names them; lock bits
        // 1 and 2 where the chip keeps them, and the boot lock bits avr-libc
        // gives it.
        const auto part = readAvrLibcPart(c.part);
        ASSERT_TRUE(part);
        std::array<std::uint8_t, 3> fuseBits{};
        for (const auto& [name, f] : part->fuses) fuseBits[std::size_t(f.byte)] |= std::uint8_t(1u << f.bit);
        std::uint8_t lockBits = (part->bootLock0 ? 0x0C : 0) | (part->bootLock1 ? 0x30 : 0);
        for (int k = 0; k < 8; ++k) {
            chip.setLockByte(std::uint8_t(~(1u << k)));
            if (chip.lockBitProgrammed(1) || chip.lockBitProgrammed(2)) lockBits |= std::uint8_t(1u << k);
        }
        chip.setLockByte(0xFF);
        // Not the factory's bytes: the page must show this chip's.
        std::array<std::uint8_t, 3> fuses = chip.fuses();
        if (st().dev()->Algorithm == 32) fuses[0] ^= 0x10;
        chip.setFuses(fuses);
        const std::uint8_t lock = chip.lockByte();
        bool noted = false;
        configure([&](TfrmConfig& d) {
            noted = d.FuseNote->isVisible();
            if (c.item < 0) {
                tickBox(d.control<QCheckBox>(c.control));
            } else if (auto* list = d.control<QComboBox>(c.control)) {
                list->setCurrentIndex(c.item);
            } else {
                tickBox(d.control<RadioGroup>(c.control)->button(c.item));
            }
        });
        EXPECT_EQ(noted, c.byte < 0);
        clearLogs();
        w().SB_Prog->click();
        const QStringList lines = w().memoLines();
        EXPECT_EQ(w().ProgFail->text(), "0") << lines.join('|').toStdString();
        std::array<std::uint8_t, 3> want = fuses;
        std::uint8_t wantLock = lock;
        if (c.byte == 3)
            wantLock &= std::uint8_t(~c.bit);
        else if (c.byte >= 0)
            want[std::size_t(c.byte)] ^= c.bit;
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(chip.fuses()[i] & fuseBits[i], want[i] & fuseBits[i]) << "fuse byte " << i;
        }
        EXPECT_EQ(chip.lockByte() & lockBits, wantLock & lockBits);
        if (c.byte < 0) {
            EXPECT_TRUE(chip.configWrites().empty());
            EXPECT_EQ(lines.filter("left as they are").size(), 1) << lines.join('|').toStdString();
        }
    }
}

// A lock choice in Config, then Program: the lock byte the chip ends with is
// the chip's own (avr-libc's LOCKBITS_DEFAULT, every bit unprogrammed) with
// only the chosen lock mode's bits programmed, as avr-libc's <avr/lock.h>
// spells each mode; the bits a part does not have stay 1.
TEST_F(ConfigWindowTest, ALockChoiceProgramsOnlyTheLockBitsOfItsMode) {
    struct Case {
        const char* part;
        const char* control;
        int item;
        const char* mode;
    };
    const Case cases[] = {
        {"ATtiny85", "RG209_LB", 1, "LB_MODE_2"},         // "LB1 on"
        {"ATtiny2313", "RG209_LB", 0, "LB_MODE_3"},       // "LB1 + LB2 on"
        {"ATmega8", "RG204A_LB", 1, "LB_MODE_2"},
        {"ATmega8", "RG204A_Blb0", 1, "BLB0_MODE_4"},     // "BLB02 on"
        {"ATmega16", "RG204A_Blb1", 2, "BLB1_MODE_2"},    // "BLB11 on"
        {"ATmega8535", "RG204A_LB", 0, "LB_MODE_3"},
        {"ATmega88", "CB205_Blb0box", 2, "BLB0_MODE_2"},  // "BLB01 on"
        {"ATmega162", "CB207_mlb", 1, "LB_MODE_2"},
    };
    ASSERT_TRUE(haveAvrLibc());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.part) + " " + c.control);
        const auto part = readAvrLibcPart(c.part);
        ASSERT_TRUE(part);
        selectNamed(M, c.part);
        auto& chip = dynamic_cast<sim::McuChip&>(*sim_.chip());
        const long unprogrammed = part->number("LOCKBITS_DEFAULT");
        chip.setLockByte(std::uint8_t(unprogrammed));
        configure([&](TfrmConfig& d) {
            EXPECT_FALSE(d.FuseNote->isVisible());
            if (auto* list = d.control<QComboBox>(c.control))
                list->setCurrentIndex(c.item);
            else
                tickBox(d.control<RadioGroup>(c.control)->button(c.item));
        });
        clearLogs();
        w().SB_Prog->click();
        EXPECT_EQ(w().ProgFail->text(), "0") << w().memoLines().join('|').toStdString();
        EXPECT_EQ(chip.lockByte(), std::uint8_t(unprogrammed & part->number(c.mode)));
    }
}

// The page's fuse read is an operation of its own: it fails or is aborted
// without blocking the window, the page then says the bytes are not the
// chip's, and Program leaves them. The next Config reads again; after a
// Read, Config does not read at all.
TEST_F(ConfigWindowTest, ConfigWhoseFuseReadFailsLeavesTheChipsFusesAlone) {
    selectNamed(M, "ATmega88");
    auto& chip = dynamic_cast<sim::McuChip&>(*sim_.chip());
    const auto fuses = chip.fuses();
    auto tickDiv8 = [](TfrmConfig& d) { tickBox(d.control<QCheckBox>("CB205_Ckdiv8")); };
    for (int way = 0; way < 2; ++way) {
        SCOPED_TRACE(way == 0 ? "short reply" : "Abort");
        if (way == 0) {
            sim_.faults().fuseReadBytes = 2;  // of 4
        } else {
            sim_.faults().chipIdReply = std::vector<std::uint8_t>{};  // the read waits for Abort
            onNextModal([](QWidget* f) { static_cast<TProgressForm*>(f)->BitBtn1->click(); }, "tesmar::TProgressForm");
        }
        bool noted = false;
        configure([&](TfrmConfig& d) {
            noted = d.FuseNote->isVisible();
            tickDiv8(d);
        });
        EXPECT_TRUE(noted);
        if (way == 1) {
            EXPECT_TRUE(w().memoLines().contains(" Process Aborted"));
        }
        EXPECT_TRUE(w().memoLines().contains(" Fuse and lock bits not read from this chip: Program leaves them as they are"))
            << w().memoLines().join('|').toStdString();
        sim_.faults() = {};
        clearLogs();
        w().SB_Prog->click();
        EXPECT_EQ(w().ProgCorrect->text(), QString::number(way + 1)) << w().memoLines().join('|').toStdString();
        EXPECT_TRUE(chip.configWrites().empty());
        EXPECT_EQ(chip.fuses(), fuses);
    }

    // A read that works: the page opens without the note, on the chip's bytes.
    configure([&](TfrmConfig& d) {
        EXPECT_FALSE(d.FuseNote->isVisible());
        tickDiv8(d);
    });
    clearLogs();
    w().SB_Prog->click();
    EXPECT_EQ(chip.fuses(), (std::array<std::uint8_t, 3>{std::uint8_t(fuses[0] ^ 0x80), fuses[1], fuses[2]}));

    // After a Read the bytes are the chip's: Config asks the chip nothing.
    selectNamed(M, "ATmega88");
    w().SB_Read->click();
    clearLogs();
    configure([](TfrmConfig& d) { EXPECT_FALSE(d.FuseNote->isVisible()); });
    EXPECT_TRUE(sim_.hostBytes().empty());
}

// A look at Config, closed with OK, chooses nothing: the 89S8253's page
// opens on the fuse byte its read found and Program leaves the chip with it.
TEST_F(ConfigWindowTest, ALookAtTheFusePageLeavesTheChipsFuseByteAsItWas) {
    selectNamed(M, "89S8253");
    st().settings.ProgramSteps = kMcuStepCode;
    auto& chip = dynamic_cast<sim::McuChip&>(*sim_.chip());
    chip.setFuses({0xF5, 0xFF, 0xFF});
    std::vector<int> shown;
    configure([&shown](TfrmConfig& d) {
        EXPECT_FALSE(d.FuseNote->isVisible());
        for (const char* fuse : {"RG206_F1", "RG206_F2", "RG206_F3", "RG206_F4"})
            shown.push_back(d.control<RadioGroup>(fuse)->itemIndex());
    });
    EXPECT_EQ(shown, (std::vector<int>{1, 0, 1, 0}));  // fuses 1-4 are bits 0-3 of 0xF5
    clearLogs();
    w().SB_Prog->click();
    EXPECT_EQ(w().ProgFail->text(), "0") << w().memoLines().join('|').toStdString();
    // The part takes bits 5 and 0 of the fuse byte frame; they are the chip's own.
    for (const auto& write : chip.configWrites()) {
        if (write.target == sim::McuChip::Target::FuseLow) {
            EXPECT_EQ(write.value & 0x21, 0xF5 & 0x21);
        }
    }
    EXPECT_EQ(chip.fuses()[0], 0xF5);
}

// Security bits ticked in one look at Config are there in the next, which
// closed with OK keeps them: Program sends the lock bit.
TEST_F(ConfigWindowTest, SecurityBitsTickedEarlierSurviveTheNextLook) {
    selectNamed(M, "87C51RC");
    st().settings.ProgramSteps = kMcuStepCode;
    configure([](TfrmConfig& d) { tickBox(d.control<QCheckBox>("P208Lock")); });
    bool ticked = false;
    configure([&ticked](TfrmConfig& d) { ticked = d.control<QCheckBox>("P208Lock")->isChecked(); });
    EXPECT_TRUE(ticked);
    clearLogs();
    w().SB_Prog->click();
    EXPECT_EQ(w().ProgFail->text(), "0") << w().memoLines().join('|').toStdString();
    auto& chip = dynamic_cast<sim::McuChip&>(*sim_.chip());
    // "ES" with the lock bit programmed, the other security bits left.
    EXPECT_EQ(chip.configWrites(), (std::vector<sim::McuChip::ConfigWrite>{{sim::McuChip::Target::Security, 0xFE}}));
    EXPECT_EQ(chip.lockByte() & 0x03, 0x02);
}

class PicConfigLookTest : public PicWindowRig {};

// A 14C000 file that protects one half of the memory only (gputils'
// _CPU_ON or _CPP_ON): the protection group has no item for it, shows none,
// and OK leaves the word as the file has it.
TEST_F(PicConfigLookTest, AProtectionWithoutAnItemSurvivesALookAtConfig) {
    ASSERT_TRUE(haveGputils()) << "install gputils (scripts/install-deps)";
    const auto part = readGputilsPart("14000");  // gputils' p14000.inc
    ASSERT_TRUE(part);
    selectNamed("14C000");
    std::uint8_t& high = st().buf.DeviceBuffer.at(0x400E);  // configuration word, high byte first
    std::uint8_t& low = st().buf.DeviceBuffer.at(0x400F);
    for (const char* half : {"_CPU_ON", "_CPP_ON"}) {
        SCOPED_TRACE(half);
        const std::uint32_t word = part->value(half);
        high = std::uint8_t(word >> 8);
        low = std::uint8_t(word);
        const auto shown = configure([](TfrmPicConfig&) {});
        EXPECT_EQ(shown.at("RG7_Prot"), -1);
        EXPECT_EQ(QString::asprintf("0x%04X", unsigned(high << 8 | low)).toStdString(),
                  QString::asprintf("0x%04X", word).toStdString());
    }
}

}  // namespace
