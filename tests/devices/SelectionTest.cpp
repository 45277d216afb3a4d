// Device selection through the real dialog, the generated family data files
// and the simulated programmer.
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QTest>
#include <gtest/gtest.h>

#include "app/gui/TfrmMains.h"
#include "devices/BufferLayout.h"
#include "devices/DeviceDataFile.h"
#include "devices/gui/TfrmSelectDevice.h"
#include "support/MainWindowRig.h"

using namespace tesmar;

namespace {

using test::DevicePlace;

DeviceRecord recordOf(const DevicePlace& p) {
    DeviceDataFile f;
    f.open((test::runDir() + "/" + kFamilyFileNames[p.family]).toStdString());
    return *f.record(p.manufacturer, p.device);
}

class SelectionTest : public test::MainWindowRig {};

bool hasButton(const DeviceRecord& r, unsigned bit) { return (r.Buttons >> bit) & 1u; }

}  // namespace

TEST_F(SelectionTest, OkReadsTheRecordPreparesTheProgrammerAndFillsTheImage) {
    const DevicePlace p{0, 0, 0};
    const DeviceRecord rec = recordOf(p);
    sim_.clearLog();
    select(p);
    ASSERT_TRUE(st().dev());
    EXPECT_EQ(st().dev()->Name, rec.Name);
    EXPECT_EQ(w().DevL->text().toStdString(), rec.Name);
    EXPECT_EQ(w().SizeL->text(), QString::asprintf("0x%X", rec.LastAddress + 1));
    const QStringList lines = w().memoLines();
    ASSERT_GE(lines.size(), 5);
    EXPECT_TRUE(lines[0].startsWith(" Selected : ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith("  " + QString::fromStdString(rec.Name)));
    EXPECT_EQ(lines[1], " FPGA programmed OK");
    EXPECT_EQ(lines[2], " MCU file sent OK");
    EXPECT_EQ(lines[3], " Parameters sent OK");
    EXPECT_TRUE(lines[4].startsWith(" 00:00:0"));
    // The image has the selection size and the erased value.
    EXPECT_EQ(st().buf.size(), selectionBufferSize(rec));
    EXPECT_TRUE(std::all_of(st().buf.DeviceBuffer.begin(), st().buf.DeviceBuffer.end(),
                            [&](std::uint8_t b) { return b == rec.BlankByte; }));
    // The programmer got this device's size in the parameter frame.
    const auto params = sim_.lastParameters();
    ASSERT_GE(params.size(), 4u);
    EXPECT_EQ((std::uint32_t(params[0]) << 24 | params[1] << 16 | params[2] << 8 | params[3]), rec.LastAddress + 1);
    EXPECT_TRUE(sim_.protocolErrors().empty());
    // The toolbar follows the record.
    EXPECT_EQ(w().SB_Read->isEnabled(), hasButton(rec, BtnRead));
    EXPECT_EQ(w().SB_Prog->isEnabled(), hasButton(rec, BtnProg));
    EXPECT_EQ(w().SB_Load->isEnabled(), hasButton(rec, BtnLoad));
    EXPECT_FALSE(w().CheckL->text().isEmpty());
}

TEST_F(SelectionTest, EveryWayOfCancellingChangesNothing) {
    const DevicePlace first{0, 0, 0};
    select(first);
    const auto before = st().CurrentDevice;
    std::fill(st().buf.DeviceBuffer.begin(), st().buf.DeviceBuffer.begin() + 16, 0x5A);
    const QString devText = w().DevL->text();
    const bool readOn = w().SB_Read->isEnabled();

    const std::vector<std::pair<const char*, std::function<void(TfrmSelectDevice&)>>> cancels = {
        {"Cancel", [](TfrmSelectDevice& d) { d.BitBtn2->click(); }},
        {"Escape", [](TfrmSelectDevice& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"WindowClose", [](TfrmSelectDevice& d) { d.close(); }},
        {"OkWithoutDevice",
         [](TfrmSelectDevice& d) {
             d.ListBox2->setCurrentRow(-1);
             d.ListBox2->clear();
             d.BitBtn1->click();
         }},
    };
    for (const auto& [name, act] : cancels) {
        sim_.clearLog();
        w().Memo1->clear();
        select(act);
        EXPECT_EQ(st().SelectCancelled, 1) << name;
        EXPECT_EQ(st().CurrentDevice, before) << name;
        EXPECT_EQ(st().buf.DeviceBuffer[0], 0x5A) << name;
        EXPECT_EQ(w().DevL->text(), devText) << name;
        EXPECT_EQ(w().SB_Read->isEnabled(), readOn) << name;
        EXPECT_TRUE(sim_.hostBytes().empty()) << name;
        EXPECT_TRUE(w().memoLines().isEmpty()) << name;
    }
}

TEST_F(SelectionTest, StoredIndicesOutsideTheListsCountAsCancelled) {
    st().settings.ManufacturerIndex = 200;
    st().settings.DeviceIndex = 3;
    sim_.clearLog();
    select([](TfrmSelectDevice& d) {
        EXPECT_EQ(d.ListBox1->currentRow(), -1);
        d.BitBtn1->click();
    });
    EXPECT_EQ(st().SelectCancelled, 1);
    EXPECT_FALSE(st().dev());
    EXPECT_TRUE(sim_.hostBytes().empty());
}

TEST_F(SelectionTest, OptionDefaultsApplyOnlyWhenTheIndicesChange) {
    const DevicePlace first{0, 0, 0};
    select(first);
    st().settings.ProgramSteps = 0x42;
    st().settings.IdCheckOption = 0;
    select(first);  // same indices: options stay
    EXPECT_EQ(st().settings.ProgramSteps, 0x42);
    EXPECT_EQ(st().settings.IdCheckOption, 0);

    DeviceDataFile f;
    f.open((test::runDir() + "/zrvusb_r.usb").toStdString());
    ASSERT_GE(f.deviceNames(0).size(), 2u);
    const DevicePlace second{0, 0, 1};
    const DeviceRecord rec = recordOf(second);
    select(second);
    EXPECT_EQ(st().settings.ProgramSteps, 1);
    EXPECT_EQ(st().settings.InsertionTest, rec.DefaultOptions & 1);
    EXPECT_EQ(st().settings.IdCheckOption, (rec.DefaultOptions >> 2) & 1);
    EXPECT_EQ(st().settings.VerifyMaxMin, (rec.DefaultOptions >> 3) & 1);
}

TEST_F(SelectionTest, APldPutsLockWhereOptionsStoodAndBack) {
    auto pld = test::findDevice(4, [](const DeviceRecord& r) { return r.FamilyLetter == 'P'; });
    ASSERT_TRUE(pld);
    const int optionX = w().SB_Option->x(), icTestX = w().SB_IcTest->x();
    select(pld->place);
    EXPECT_FALSE(w().SB_Lock->isHidden());
    EXPECT_TRUE(w().SB_Lock->isEnabled());
    EXPECT_TRUE(w().SB_IcTest->isHidden());
    EXPECT_EQ(w().SB_Lock->x(), optionX);
    EXPECT_EQ(w().SB_Option->x(), icTestX);
    select({0, 0, 0});
    EXPECT_TRUE(w().SB_Lock->isHidden());
    EXPECT_EQ(w().SB_Option->x(), optionX);
}

TEST_F(SelectionTest, WithoutAProgrammerTheRecordChangesButNothingIsSent) {
    sim_.setConnected(false);
    w().ReconnectBT->click();
    ASSERT_EQ(st().ProgrammerState, 0);
    std::fill(st().buf.DeviceBuffer.begin(), st().buf.DeviceBuffer.end(), 0x11);
    sim_.clearLog();
    select({0, 0, 0});
    ASSERT_TRUE(st().dev());
    EXPECT_FALSE(w().DevL->text().isEmpty());
    EXPECT_TRUE(sim_.hostBytes().empty());
    for (QToolButton* b : w().deviceButtons()) EXPECT_FALSE(b->isEnabled());
}

TEST_F(SelectionTest, AProgrammerLostBeforeTheUploadsLeavesDemoMode) {
    sim_.setConnected(false);  // the port is still open, but every call now fails
    select({0, 0, 0});
    EXPECT_EQ(st().ProgrammerState, 0);
    EXPECT_FALSE(sim_.isOpen());
    for (QToolButton* b : w().deviceButtons()) EXPECT_FALSE(b->isEnabled());
}

TEST_F(SelectionTest, AMissingFamilyFileShowsTheFileNotFoundBoxAndEmptyLists) {
    QTemporaryDir dir;
    for (const char* f : {"zrvusb_r.usb", "zrvusb_e.usb"})
        QFile::copy(test::runDir() + "/" + f, dir.filePath(f));
    window_.reset();
    QDir::setCurrent(dir.path());
    start();
    ASSERT_EQ(st().AvailableFamilies, 0x03);
    QFile::remove(dir.filePath("zrvusb_e.usb"));
    st().settings.DeviceFileName = "zrvusb_e.usb";
    int lists = -1;
    select([&](TfrmSelectDevice& d) {
        lists = d.ListBox1->count() + d.ListBox2->count();
        d.RadioButton[0]->click();
        EXPECT_GT(d.ListBox1->count(), 0);
        d.BitBtn2->click();
    });
    EXPECT_EQ(lists, 0);
    EXPECT_TRUE(boxes().seen().contains(" File Not Found |zrvusb_e.usb"));
}

TEST_F(SelectionTest, AFamilyFileNameThatIsAFolderCountsAsMissing) {
    // The name comes from the settings store; a folder must not be read as a file.
    st().settings.DeviceFileName = "usbf";
    int lists = -1;
    select([&](TfrmSelectDevice& d) {
        lists = d.ListBox1->count() + d.ListBox2->count();
        d.BitBtn2->click();
    });
    EXPECT_EQ(lists, 0);
    EXPECT_TRUE(boxes().seen().contains(" File Not Found |usbf"));
}

TEST_F(SelectionTest, NoFamilyFilesAtAll) {
    QTemporaryDir dir;
    window_.reset();
    QDir::setCurrent(dir.path());
    start();
    w().SB_Select->click();
    EXPECT_TRUE(boxes().seen().contains("| No Device Files Found "));
}

TEST_F(SelectionTest, FamilyRulesAfterTheUploads) {
    // A PIC whose step mask has more than the default steps keeps only code, data, ID and config.
    auto pic = test::findDevice(3, [](const DeviceRecord& r) { return r.FamilyLetter == 'C' && (r.StepMask & ~0x17) != 0; });
    ASSERT_TRUE(pic);
    select(pic->place);
    EXPECT_EQ(st().settings.ProgramSteps, pic->rec.StepMask & 0x17);
    EXPECT_TRUE(w().memoLines().contains(" ***  Select Programming Steps : Prog / ID / Data / Config in OPTIONS ***"));

    // A user-row part always gets the code and fuse steps and an unprogrammed fuse byte,
    // even when its indices did not change.
    auto userRow = test::findDevice(3, [](const DeviceRecord& r) { return r.FamilyLetter == 'M' && r.Algorithm == 35; });
    ASSERT_TRUE(userRow);
    select(userRow->place);
    st().settings.ProgramSteps = 0x40;
    st().mcu.FuseLow = 0;
    select(userRow->place);
    EXPECT_EQ(st().settings.ProgramSteps, 3);
    EXPECT_EQ(st().mcu.FuseLow, 0xFF);
    EXPECT_EQ(w().ComL->text(), QString::asprintf("User Row @ 0x%.5X  size = %d bytes", userRow->rec.LastAddress + 1,
                                                  int(userRow->rec.DataEepromSize)));
}

TEST_F(SelectionTest, PartsNeedingANoteShowTheSocketDrawing) {
    auto noted = test::findDevice(3, [](const DeviceRecord& r) {
        return r.FamilyLetter == 'M' && (r.PageCode == 203 || r.PageCode == 209);
    });
    ASSERT_TRUE(noted);
    bool shown = false;
    // The drawing opens after the selection dialog has closed.
    select([&](TfrmSelectDevice& d) {
        test::onNextModal(
            [&](QWidget* note) {
                shown = note->windowTitle() == "NOTE!!";
                static_cast<TInsertDisplay*>(note)->OKAY->click();
            },
            "tesmar::TInsertDisplay");
        d.RadioButton[noted->place.family]->click();
        d.ListBox1->setCurrentRow(noted->place.manufacturer);
        d.ListBox2->setCurrentRow(noted->place.device);
        d.BitBtn1->click();
    });
    EXPECT_TRUE(shown);
    EXPECT_EQ(st().dev()->Name, noted->rec.Name);
}

TEST_F(SelectionTest, AnEepromNeedingACapacitorSaysSo) {
    auto part = test::findDevice(1, [](const DeviceRecord& r) { return r.FamilyLetter == 'E' && r.PageCode == 240; });
    ASSERT_TRUE(part);
    select(part->place);
    EXPECT_TRUE(boxes().seen().contains("Attention|Capacitor(100nF) needed between Pin 1 and Pin 14"));
    EXPECT_EQ(w().ComL->text(), "Capacitor(100nF) needed between Pin 1 and Pin 14");
}
