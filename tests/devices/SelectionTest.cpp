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
#include "support/RecordImage.h"

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
    select({1, 0, 0});  // another family at the same indices is no change either
    ASSERT_EQ(st().settings.DeviceFileName, "zrvusb_e.usb");
    EXPECT_EQ(st().settings.ProgramSteps, 0x42);
    EXPECT_EQ(st().settings.IdCheckOption, 0);
    select(first);

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

TEST_F(SelectionTest, ClicksInTheDialogResetTheIndicesAtOnce) {
    auto click = [](QListWidget* list, int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    };
    st().settings.DeviceFileName = "zrvusb_m.usb";
    st().settings.ManufacturerIndex = 1;
    st().settings.DeviceIndex = 2;
    select([&](TfrmSelectDevice& d) {
        // Opening keeps the stored choice.
        EXPECT_EQ(d.ListBox1->currentRow(), 1);
        EXPECT_EQ(d.ListBox2->currentRow(), 2);
        // The manufacturer already chosen, clicked again: its list starts over.
        click(d.ListBox1, 1);
        EXPECT_EQ(st().settings.DeviceIndex, 0);
        EXPECT_EQ(d.ListBox2->currentRow(), 0);
        click(d.ListBox2, 2);
        EXPECT_EQ(st().settings.DeviceIndex, 2);
        click(d.ListBox1, 0);
        EXPECT_EQ(st().settings.ManufacturerIndex, 0);
        EXPECT_EQ(st().settings.DeviceIndex, 0);
        click(d.ListBox2, 1);
        // Another family: both lists from the top.
        d.RadioButton[0]->click();
        EXPECT_EQ(st().settings.DeviceFileName, "zrvusb_r.usb");
        EXPECT_EQ(st().settings.ManufacturerIndex, 0);
        EXPECT_EQ(st().settings.DeviceIndex, 0);
        EXPECT_EQ(d.ListBox1->currentRow(), 0);
        EXPECT_EQ(d.ListBox2->currentRow(), 0);
        click(d.ListBox2, 1);
        d.BitBtn2->click();
    });
    // Cancel keeps the record, but the indices stay as clicked.
    EXPECT_FALSE(st().dev());
    EXPECT_EQ(st().settings.ManufacturerIndex, 0);
    EXPECT_EQ(st().settings.DeviceIndex, 1);
}

namespace {

// A family data file of one manufacturer, laid out as the program's data
// files are: header with the manufacturer count at byte 13, one 16-byte
// slot, then the block (u16, u16 count, the 192-byte records).
QByteArray familyFile(const QByteArray& maker, const std::vector<test::RecordImage>& records) {
    QByteArray f(32, '\0');
    f[13] = 1;
    f.replace(17, maker.size(), maker);
    f += QByteArray(2, '\0') + char(records.size()) + '\0';
    for (const auto& r : records) f += QByteArray(reinterpret_cast<const char*>(r.bytes().data()), int(r.bytes().size()));
    return f;
}

test::RecordImage part(char letter, const char* name, std::uint8_t defaultOptions, std::uint8_t adapter) {
    return test::RecordImage(letter).name(name).lastAddress(0x7FF).buttons(0x05FF).u8(0xB8, defaultOptions).adapterCode(adapter);
}

}  // namespace

TEST_F(SelectionTest, TheRecordsOptionDefaultsIdLabelsAndAdapterReachTheWindow) {
    struct Row {
        test::RecordImage rec;
        std::uint8_t insertion, idCheck, maxMin;
        const char *manId, *devId, *devId2, *adapter, *comment;
    };
    const Row rows[] = {
        {part('R', "INSERT", 0x01, 3).signature(0x1C, 0x8C).deviceId2(0x55), 1, 0, 0, "0x1C", "0x8C", "", "PLCC32 -> DIP28", ""},
        {part('R', "IDCHECK", 0x04, 9).signature(0x1C, 0x8D), 0, 1, 0, "0x1C", "0x8D", "", "", "100R from ZIF pin1 - pin15"},
        {part('R', "MAXMIN", 0x08, 17), 0, 0, 1, "", "", "", "", ""},
        {part('R', "NOSETTING", 0xF2, 0), 0, 0, 0, "", "", "", "", ""},
        {part('M', "MCU0", 0x0D, 60).signature(0x1E, 0x93), 1, 1, 1, "0x1E", "0x93", "", "QFP44", ""},
        {part('M', "MCU7", 0x00, 2).signature(0x1E, 0x94).deviceId2(0x07), 0, 0, 0, "0x1E", "0x94", "0x07", "PLCC44", ""},
        {part('C', "PIC", 0x05, 0).deviceId(0x05), 1, 1, 0, "", "0x05", "0x00", "", ""},
    };
    std::vector<test::RecordImage> records;
    for (const Row& r : rows) records.push_back(r.rec);
    QTemporaryDir dir;
    ASSERT_TRUE(test::writeFile(dir.filePath("zrvusb_r.usb"), familyFile("Testing", records)));
    window_.reset();
    QDir::setCurrent(dir.path());
    start();
    st().settings.DeviceIndex = -1;  // every selection below is a change of device
    for (int i = 0; i < int(std::size(rows)); ++i) {
        const Row& r = rows[i];
        SCOPED_TRACE(r.rec.build().Name);
        select(0, 0, i);
        ASSERT_EQ(st().dev()->Name, r.rec.build().Name);
        EXPECT_EQ(st().settings.InsertionTest, r.insertion);
        EXPECT_EQ(st().settings.IdCheckOption, r.idCheck);
        EXPECT_EQ(st().settings.VerifyMaxMin, r.maxMin);
        EXPECT_EQ(w().ManIDL->text(), r.manId);
        EXPECT_EQ(w().DevIDL->text(), r.devId);
        EXPECT_EQ(w().DevIDL2->text(), r.devId2);
        EXPECT_EQ(w().AdapL->text(), r.adapter);
        EXPECT_EQ(w().ComL->text(), r.comment);
        // The IC tester waits for a reconnect after a selection.
        EXPECT_FALSE(w().SB_IcTest->isEnabled());
    }
    w().ReconnectBT->click();
    EXPECT_TRUE(w().SB_IcTest->isEnabled());
}
