// The Options dialog on real and raw device records: which boxes a device
// gets, their captions, the step bits pulling each other along, odd/even
// pairs and the settings each click writes.
#include <QAbstractButton>
#include <QFontDatabase>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include "app/gui/TfrmOption.h"
#include "devices/BufferLayout.h"
#include "operations/Checksum.h"
#include "options/OptionsRig.h"

using namespace tesmar;
using test::deviceNamed;
using test::RawRecord;

namespace {

enum Family { R = 0, E = 1, S = 2, M = 3 };

class OptionDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        st.host = &host;
        st.HardwareVariant = 'A';
    }
    // Makes rec the selected device with an erased image, then opens the dialog.
    TfrmOption& open(const DeviceRecord& rec, bool eraseEnabled = true) {
        st.CurrentDevice = std::make_shared<const DeviceRecord>(rec);
        allocateForSelection(st.buf, rec);
        prefillErased(st.buf, rec);
        return reopen(eraseEnabled);
    }
    TfrmOption& reopen(bool eraseEnabled = true) {
        dialog.reset();
        dialog = std::make_unique<TfrmOption>(st, eraseEnabled);
        dialog->show();
        return *dialog;
    }
    QCheckBox* step(int box) { return dialog->findChild<QCheckBox*>(QString("ProgStep%1").arg(box)); }
    std::uint8_t steps() const { return st.settings.ProgramSteps; }

    test::RecorderHost host;
    AppState st;
    std::unique_ptr<TfrmOption> dialog;
};

TEST_F(OptionDialogTest, APicAskedForItsIdBytesGetsItsCodeAreaToo) {
    st.settings.ProgramSteps = 0x04;
    open(deviceNamed(M, "16C84"));
    EXPECT_EQ(steps(), 0x05);
    EXPECT_TRUE(step(1)->isChecked());
    EXPECT_TRUE(step(3)->isChecked());
    EXPECT_FALSE(step(2)->isChecked());
}

TEST_F(OptionDialogTest, AlgorithmZeroPicIdStepFollowsItsCodeStep) {
    st.settings.ProgramSteps = 0x05;
    open(deviceNamed(M, "16C52"));  // algorithm 0
    step(1)->click();               // Code Area off takes the ID bytes along
    EXPECT_EQ(steps(), 0x00);
    EXPECT_FALSE(step(3)->isChecked());
    step(3)->click();               // ID bytes on brings the code back
    EXPECT_EQ(steps(), 0x05);
    EXPECT_TRUE(step(1)->isChecked());

    // A part of another algorithm (16C84: 2) keeps the two steps apart.
    st.settings.ProgramSteps = 0x05;
    open(deviceNamed(M, "16C84"));
    step(1)->click();
    EXPECT_EQ(steps(), 0x04);
    EXPECT_TRUE(step(3)->isChecked());
}

TEST_F(OptionDialogTest, LockBitsNeedTheLowerLockBits) {
    st.settings.ProgramSteps = 0;
    open(deviceNamed(M, "89C51RD"));  // steps 0x7F: code, three lock bits, two options, erase
    ASSERT_EQ(step(2)->text(), "Lockbit 1");
    ASSERT_EQ(step(4)->text(), "Lockbit 3");
    step(1)->click();  // code off: nothing else ticked
    ASSERT_EQ(steps(), 0x00);

    step(4)->click();  // Lockbit 3
    EXPECT_EQ(steps(), 0x0E);
    EXPECT_TRUE(step(2)->isChecked() && step(3)->isChecked() && step(4)->isChecked());

    step(3)->click();  // Lockbit 2 off takes Lockbit 3 along, keeps Lockbit 1
    EXPECT_EQ(steps(), 0x02);
    EXPECT_FALSE(step(4)->isChecked());

    step(3)->click();  // Lockbit 2 on
    EXPECT_EQ(steps(), 0x06);
    step(4)->click();
    step(2)->click();  // Lockbit 1 off clears all three
    EXPECT_EQ(steps(), 0x00);
    EXPECT_FALSE(step(2)->isChecked() || step(3)->isChecked() || step(4)->isChecked());
}

TEST_F(OptionDialogTest, UntickingLockBit1ClearsHigherBitsItsDeviceHasNoBoxFor) {
    // A part with only lock bit 1 still loses stale bits 2 and 3.
    st.settings.ProgramSteps = 0x0F;
    open(deviceNamed(M, "89LP4052"));  // steps 0x43; user row: code and fuses always on
    EXPECT_EQ(steps(), 0x0F);
    EXPECT_FALSE(step(1)->isEnabled());
    EXPECT_FALSE(step(2)->isEnabled());
    EXPECT_TRUE(step(2)->isChecked());
    step(2)->setChecked(false);
    EXPECT_EQ(steps(), 0x01);
}

TEST_F(OptionDialogTest, OpeningTicksEachPresentStepFromTheSettings) {
    struct Case {
        std::uint8_t before, after;
    };
    // 89C51RD has every step; opening always adds the code step, and a lock
    // bit that is on brings the lower ones.
    for (const Case c : {Case{0x00, 0x01}, Case{0x70, 0x71}, Case{0x08, 0x0F}, Case{0x41, 0x41}, Case{0x7F, 0x7F}}) {
        st.settings.ProgramSteps = c.before;
        open(deviceNamed(M, "89C51RD"));
        EXPECT_EQ(steps(), c.after) << int(c.before);
        for (int box = 0; box < 7; ++box)
            EXPECT_EQ(step(box)->isChecked(), bool((c.after >> stepBit(box)) & 1)) << int(c.before) << " box " << box;
    }
}

TEST_F(OptionDialogTest, StepBoxesAndCaptionsFollowTheDevice) {
    struct Case {
        const char* what;
        DeviceRecord rec;
        bool groupShown;
        std::vector<int> shown;  // step boxes shown, in box order
        std::vector<int> enabled;
        std::vector<std::pair<int, const char*>> captions;
    };
    auto raw = [](std::int8_t alg, std::uint8_t dev, std::uint8_t steps) {
        RawRecord r;
        r.algorithm = alg;
        r.deviceId = dev;
        r.stepMask = steps;
        return r.record();
    };
    const Case cases[] = {
        {"16C84", deviceNamed(M, "16C84"), true, {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 5},
         {{1, "Code Area"}, {2, "Data Area"}, {3, "ID Bytes"}, {4, "Calibration"}, {5, "Config Bytes"}}},
        {"16C52", deviceNamed(M, "16C52"), true, {1, 2, 3, 4, 5}, {0, 1, 3, 5}, {{2, "Data Area"}}},
        {"87C51FB", deviceNamed(M, "87C51FB"), true, {1, 2, 3, 6}, {1, 2, 3, 6},
         {{6, "Disable WDT"}, {2, "Lockbit 1"}}},
        {"89C51RD", deviceNamed(M, "89C51RD"), true, {0, 1, 2, 3, 4, 5, 6}, {0, 1, 2, 3, 4, 5, 6},
         {{0, "Erase before Program"}, {5, "Clock Double"}, {6, "SC0"}}},
        {"89C51RB", deviceNamed(M, "89C51RB"), true, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6},
         {{5, "RB0"}, {6, "RB1"}}},
        {"alg 25 dev E4", raw(25, 0xE4, 0x3F), true, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}, {{5, "RB0"}}},
        {"alg 25 dev 90", raw(25, 0x90, 0x3F), true, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6},
         {{5, "Clock Double"}, {6, "SC0"}}},
        {"89C51", deviceNamed(M, "89C51"), true, {0, 1, 2, 3, 4}, {0, 1, 2, 3, 4},
         {{2, "Protect Mode Enable"}, {3, "Lockbit 2"}}},
        {"89C52", deviceNamed(M, "89C52"), true, {0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}, {{2, "Protect Mode Enable"}}},
        {"89LP4052", deviceNamed(M, "89LP4052"), true, {0, 1, 2}, {0}, {{2, "Fuses"}, {1, "Code Mem"}}},
        {"87C51", deviceNamed(M, "87C51"), true, {1}, {1},
         {{2, "Lock Bit"}, {3, "MOVC inhibit"}, {4, "Encryption Feature"}}},
        {"M without steps", raw(29, 0, 0x00), false, {}, {}, {}},
        {"28C256 (steps 0x01)", deviceNamed(E, "28C256"), false, {1}, {1}, {}},
        {"27C256", deviceNamed(R, "27C256"), true, {1, 2}, {1, 2},
         {{1, "Blank Check Before Program"}, {2, "Auto Erase If Not Blank"}}},
        {"OT27C256 (no erase)", deviceNamed(R, "OT27C256"), false, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool erasable = (c.rec.Buttons >> BtnErase) & 1u;
        open(c.rec, erasable);
        EXPECT_EQ(!dialog->GroupBox3->isHidden(), c.groupShown);
        EXPECT_EQ(dialog->GroupBox3->isEnabled(), c.groupShown);
        std::vector<int> shown, enabled;
        for (int box = 0; box < 7; ++box) {
            if (!step(box)->isHidden()) shown.push_back(box);
            if (step(box)->isEnabledTo(dialog->GroupBox3)) enabled.push_back(box);
        }
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(enabled, c.enabled);
        for (const auto& [box, caption] : c.captions) EXPECT_EQ(step(box)->text(), caption) << "box " << box;
        EXPECT_EQ(!dialog->EpromLabel->isHidden(), c.rec.FamilyLetter == 'R' && c.groupShown);
    }
}

TEST_F(OptionDialogTest, EveryCaptionShowsWholeInTheMainWindowsFont) {
    // The main window lends its fixed-width font; each caption, the EPROM
    // note above all, must fit its control, and each control its group and
    // the dialog, at the usual size and a larger one.
    const DeviceRecord devices[] = {deviceNamed(R, "27C256"), deviceNamed(M, "16C84"), deviceNamed(M, "89C51RD")};
    for (const int points : {0, 14}) {
        QWidget mainWindow;
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        if (points) font.setPointSize(points);
        mainWindow.setFont(font);
        for (const DeviceRecord& rec : devices) {
            SCOPED_TRACE(rec.Name + " at " + std::to_string(points) + " pt");
            st.CurrentDevice = std::make_shared<const DeviceRecord>(rec);
            dialog.reset();
            dialog = std::make_unique<TfrmOption>(st, true, &mainWindow);
            dialog->show();
            QApplication::processEvents();
            if (rec.FamilyLetter == 'R') {
                ASSERT_FALSE(dialog->EpromLabel->isHidden());
            }
            for (QWidget* w : dialog->findChildren<QWidget*>()) {
                if (!w->isVisibleTo(dialog.get()) || !(qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w)))
                    continue;
                const std::string name = w->objectName().toStdString();
                if (auto* label = qobject_cast<QLabel*>(w)) {
                    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width())
                        << name;
                }
                EXPECT_GE(w->width(), w->sizeHint().width()) << name;
                EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << name;
                EXPECT_TRUE(dialog->rect().contains(QRect(w->mapTo(dialog.get(), QPoint(0, 0)), w->size()))) << name;
            }
            dialog.reset();  // before the window that owns it goes
        }
    }
}

TEST_F(OptionDialogTest, EpromStepsNeedTheErasingProgrammerVariant) {
    const DeviceRecord rec = deviceNamed(R, "27C256");
    st.HardwareVariant = 'B';
    open(rec, true);
    EXPECT_TRUE(dialog->GroupBox3->isHidden());
    EXPECT_FALSE(dialog->OddEvenBox->isEnabled());
    open(rec, false);  // Erase button disabled
    EXPECT_TRUE(dialog->GroupBox3->isHidden());
    st.HardwareVariant = 'A';
    open(rec, false);
    EXPECT_TRUE(dialog->GroupBox3->isHidden());
    EXPECT_TRUE(dialog->OddEvenBox->isEnabled());
}

TEST_F(OptionDialogTest, EpromStepsWriteBlankCheckAndAutoErase) {
    st.settings.ProgramSteps = 0;
    open(deviceNamed(R, "27C256"));
    EXPECT_EQ(steps(), 0x01);  // the blank check comes on with the dialog
    step(2)->click();
    EXPECT_EQ(steps(), 0x03);
    step(1)->click();
    EXPECT_EQ(steps(), 0x02);  // no chain between the EPROM steps
}

TEST_F(OptionDialogTest, GeneralOptionsFollowTheDeviceMask) {
    struct Case {
        const char* what;
        std::uint8_t optionMask;
    };
    for (const Case c : {Case{"none", 0x00}, Case{"all", 0xBF}, Case{"no ID check", 0xBB}, Case{"ID check only", 0x04},
                         Case{"no Vmax/Vmin", 0xB7}}) {
        SCOPED_TRACE(c.what);
        st.settings.InsertionTest = st.settings.IdCheckOption = st.settings.VerifyMaxMin = 1;
        RawRecord r;
        r.optionMask = c.optionMask;
        open(r.record());
        for (std::size_t i = 0; i < kGeneralOptions.size(); ++i) {
            const GeneralOption& row = kGeneralOptions[i];
            auto* box = dialog->findChild<QCheckBox*>(row.name);
            ASSERT_TRUE(box) << row.name;
            const bool allowed = (c.optionMask >> row.bit) & 1u;
            EXPECT_EQ(box->text(), row.caption);
            EXPECT_EQ(box->isEnabled(), allowed) << row.name;
            // Only the three boxes with a setting open ticked; the others always open unticked.
            EXPECT_EQ(box->isChecked(), allowed && row.setting != nullptr) << row.name;
            if (row.setting) {
                EXPECT_EQ(st.settings.*row.setting, allowed ? 1 : 0) << row.name;
            }
        }
    }
}

TEST_F(OptionDialogTest, ADeviceWithoutIdCheckSwitchesItOff) {
    st.settings.IdCheckOption = 1;
    open(deviceNamed(S, "24C02"));
    EXPECT_FALSE(dialog->CheckBox3->isEnabled());
    EXPECT_FALSE(dialog->CheckBox3->isChecked());
    EXPECT_EQ(st.settings.IdCheckOption, 0);
}

TEST_F(OptionDialogTest, ClicksWriteTheSettingsAtOnce) {
    st.settings.InsertionTest = st.settings.IdCheckOption = st.settings.VerifyMaxMin = 0;
    st.settings.SoundOn = 0;
    open(RawRecord{}.record());  // allows every general option
    dialog->CheckBox1->click();
    dialog->CheckBox3->click();
    dialog->CheckBox4->click();
    dialog->ChSoundON->click();
    EXPECT_EQ(st.settings.InsertionTest, 1);
    EXPECT_EQ(st.settings.IdCheckOption, 1);
    EXPECT_EQ(st.settings.VerifyMaxMin, 1);
    EXPECT_EQ(st.settings.SoundOn, 1);
    const Settings before = st.settings;
    for (QCheckBox* b : {dialog->CheckBox2, dialog->CheckBox5, dialog->CheckBox6, dialog->CheckBox8}) {
        ASSERT_TRUE(b->isEnabled());
        b->click();
        EXPECT_TRUE(b->isChecked());
    }
    EXPECT_EQ(st.settings.ProgramSteps, before.ProgramSteps);
    EXPECT_EQ(st.settings.InsertionTest + st.settings.IdCheckOption + st.settings.VerifyMaxMin, 3);
    dialog->ChSoundON->click();
    EXPECT_EQ(st.settings.SoundOn, 0);
    // The boxes without a setting open unticked again.
    reopen();
    EXPECT_FALSE(dialog->CheckBox2->isChecked() || dialog->CheckBox5->isChecked() ||
                 dialog->CheckBox6->isChecked() || dialog->CheckBox8->isChecked());
    EXPECT_TRUE(dialog->CheckBox1->isChecked() && dialog->CheckBox3->isChecked() && dialog->CheckBox4->isChecked());
}

TEST_F(OptionDialogTest, TickingOddEvenMakesAnErasedImageOfTwoChips) {
    const DeviceRecord rec = deviceNamed(R, "27C256");
    ASSERT_EQ(rec.LastAddress, 0x7FFFu);
    open(rec);
    std::fill(st.buf.DeviceBuffer.begin(), st.buf.DeviceBuffer.end(), 0x12);
    st.buf.HighestLoad = 0x7000;
    st.buf.LowestLoad = 0x100;
    ASSERT_TRUE(dialog->OddEvenBox->isEnabled());
    dialog->OddEvenBox->click();
    EXPECT_EQ(st.OddEvenMode, 1);
    ASSERT_EQ(st.buf.size(), 0x10000u);
    EXPECT_EQ(st.buf.BufferViewSize, 0x10000u);
    EXPECT_EQ(st.buf.HighestLoad, 0u);
    EXPECT_EQ(st.buf.LowestLoad, 0u);
    EXPECT_TRUE(std::all_of(st.buf.DeviceBuffer.begin(), st.buf.DeviceBuffer.end(),
                            [&](std::uint8_t b) { return b == rec.BlankByte; }));
    EXPECT_EQ(host.checksum(), QString::asprintf("0x%.4X", computeChecksum(st.buf, &rec, nullptr) & 0xFFFF));

    st.buf.DeviceBuffer[0x1234] = 0x55;
    dialog->OddEvenBox->click();  // off: the image stays
    EXPECT_EQ(st.OddEvenMode, 0);
    EXPECT_EQ(st.buf.size(), 0x10000u);
    EXPECT_EQ(st.buf.DeviceBuffer[0x1234], 0x55);
}

TEST_F(OptionDialogTest, OpeningInOddEvenModeKeepsTheImage) {
    const DeviceRecord rec = deviceNamed(R, "27C64");  // odd/even image 0x4000, selection image 0x10000
    open(rec);
    dialog->OddEvenBox->click();
    ASSERT_EQ(st.buf.size(), 0x4000u);
    for (std::size_t i = 0; i < st.buf.size(); ++i) st.buf.DeviceBuffer[i] = std::uint8_t(i * 13);
    const auto image = st.buf.DeviceBuffer;
    reopen();
    EXPECT_TRUE(dialog->OddEvenBox->isChecked());
    EXPECT_EQ(st.OddEvenMode, 1);
    EXPECT_EQ(st.buf.DeviceBuffer, image);
}

TEST_F(OptionDialogTest, OddEvenIsOnlyForByteWideEproms) {
    for (const DeviceRecord& rec : {deviceNamed(R, "27C1024"), deviceNamed(E, "28C256"), deviceNamed(M, "16C84")}) {
        SCOPED_TRACE(rec.Name);
        open(rec);
        EXPECT_FALSE(dialog->OddEvenBox->isEnabled());
    }
}

TEST_F(OptionDialogTest, SoundBoxShowsTheSetting) {
    for (std::uint8_t on : {0, 1}) {
        st.settings.SoundOn = on;
        open(deviceNamed(R, "27C256"));
        EXPECT_EQ(dialog->ChSoundON->isChecked(), on != 0);
        EXPECT_TRUE(dialog->ChSoundON->isEnabled());
    }
}

}  // namespace
