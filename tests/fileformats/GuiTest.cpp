// The file-format dialog's set-up rules and the Load and Save buttons, driven
// through the real dialogs on the offscreen platform.
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest/QTest>
#include <QApplication>
#include <QProgressBar>

#include "FormatFixture.h"
#include "fileformats/gui/LoadSaveCommands.h"
#include "fileformats/gui/TfrmFileFormat.h"
#include "fileformats/gui/TfrmLoad_Save.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

struct SetupCase {
    const char* name;
    RecordSpec shape;
    std::uint8_t saveMode;
    std::int8_t presetFormat;
    std::uint8_t offsetAdd;
    bool oddEven;
    // expected
    const char* checkedFormat;
    std::int8_t format;
    QStringList disabled;
    QStringList hiddenGroups;
    QString edit1, edit3;
};

class FileFormatSetup : public ::testing::TestWithParam<SetupCase> {};

}  // namespace

TEST_P(FileFormatSetup, FollowsTheDeviceAndTheMode) {
    const SetupCase& c = GetParam();
    AppState st;
    st.CurrentDevice = makeDevice(c.shape);
    st.file.SaveMode = c.saveMode;
    st.file.FileFormat = c.presetFormat;
    st.file.FillOption = 0;
    st.settings.OffsetAdd = c.offsetAdd;
    st.settings.OffsetValue = 0x1A2B;
    st.OddEvenMode = c.oddEven;
    TfrmFileFormat dlg(st);
    EXPECT_EQ(dlg.windowTitle(), "Select File Format");
    auto* checked = dlg.findChild<QRadioButton*>(c.checkedFormat);
    ASSERT_TRUE(checked);
    EXPECT_TRUE(checked->isChecked());
    EXPECT_EQ(st.file.FileFormat, c.format);
    EXPECT_TRUE(dlg.RB_Default->isChecked());
    EXPECT_EQ(st.file.FillOption, 1);
    QStringList disabled;
    for (auto* r : dlg.findChildren<QRadioButton*>())
        if (!r->isEnabled()) disabled << r->objectName();
    disabled.sort();
    EXPECT_EQ(disabled, c.disabled);
    QStringList hidden;
    for (auto* g : dlg.findChildren<QGroupBox*>())
        if (g->isHidden()) hidden << g->objectName();
    hidden.sort();
    EXPECT_EQ(hidden, c.hiddenGroups);
    if (!c.edit1.isEmpty()) {
        EXPECT_EQ(dlg.Edit1->text(), c.edit1);
    }
    if (!c.edit3.isEmpty()) {
        EXPECT_EQ(dlg.Edit3->text(), c.edit3);
    }
    if (c.shape.letter != 'C') {
        EXPECT_TRUE((c.offsetAdd ? dlg.RB_Add : dlg.RB_Sub)->isChecked());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileFormatSetup,
    ::testing::Values(
        SetupCase{"LoadAllFilesBecomesBinary", {.letter = 'E', .lastAddress = 0x7FFF}, 0, 3, 1, false, "RB_Binary", 2,
                  {"RB_Inh8m", "RB_Inx16"}, {"GroupBox4"}, "1A2B", ""},
        SetupCase{"LoadMotorolaSubtract", {.letter = 'E', .lastAddress = 0x7FFF}, 0, 1, 0, false, "RB_Motorola", 1,
                  {"RB_Inh8m", "RB_Inx16"}, {"GroupBox4"}, "1A2B", ""},
        SetupCase{"LoadUnknownPresetIsIntel", {.letter = 'E', .lastAddress = 0x7FFF}, 0, 9, 1, false, "RB_Intelhex", 0,
                  {"RB_Inh8m", "RB_Inx16"}, {"GroupBox4"}, "1A2B", ""},
        SetupCase{"LoadPic", {.letter = 'C', .lastAddress = 0x1FFF, .algorithm = 1}, 0, 3, 1, false, "RB_Inh8m", 3,
                  {"RB_Binary", "RB_Intelhex", "RB_Motorola"}, {"GroupBox3", "GroupBox4"}, "", ""},
        SetupCase{"SaveEprom", {.letter = 'E', .lastAddress = 0x7FFF}, 1, 0, 1, false, "RB_Intelhex", 0,
                  {"RB_Inh8m", "RB_Inx16"}, {"GroupBox1", "GroupBox3"}, "", "00007FFF"},
        SetupCase{"SaveOddEven", {.letter = 'R', .lastAddress = 0x7FFF}, 1, 0, 1, true, "RB_Intelhex", 0,
                  {"RB_Inh8m", "RB_Inx16"}, {"GroupBox1", "GroupBox3"}, "", "0000FFFF"},
        SetupCase{"SaveMcuUserRow", {.letter = 'M', .lastAddress = 0x7FF, .algorithm = 35}, 1, 0, 1, false,
                  "RB_Intelhex", 0, {"RB_Inh8m", "RB_Inx16"}, {"GroupBox1", "GroupBox3"}, "", "0000081F"},
        SetupCase{"SaveMcuWithoutRule", {.letter = 'M', .lastAddress = 0x1FFF, .dataEeprom = 0x100}, 1, 0, 1, false,
                  "RB_Intelhex", 0, {"RB_Inh8m", "RB_Inx16"}, {"GroupBox1", "GroupBox3"}, "", "000020FF"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileFormatDialog, OkTakesTheOffsetWithItsSign) {
    AppState st;
    st.CurrentDevice = makeDevice({.letter = 'E', .lastAddress = 0x7FFF});
    TfrmFileFormat dlg(st);
    dlg.RB_Sub->setChecked(true);
    dlg.Edit1->setText("ffffffff");
    dlg.BitBtn1->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(st.settings.OffsetAdd, 0);
    EXPECT_EQ(st.settings.OffsetValue, 0xFFFFFFFFu);
    EXPECT_EQ(st.file.SignedOffset, -std::int64_t(0xFFFFFFFF));
}

TEST(FileFormatDialog, BadOffsetKeepsTheDialogOpenAndTheOffset) {
    AppState st;
    st.CurrentDevice = makeDevice({.letter = 'E', .lastAddress = 0x7FFF});
    st.settings.OffsetValue = 0x10;
    st.file.SignedOffset = 0x10;
    TfrmFileFormat dlg(st);
    dlg.show();
    dlg.Edit1->setText("12G");
    MessageBoxAnswerer answers;
    dlg.BitBtn1->click();
    EXPECT_EQ(answers.seen(), QStringList{"Tesmar|'$12G' is not a valid integer value"});
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(st.settings.OffsetValue, 0x10u);
    EXPECT_EQ(st.file.SignedOffset, 0x10);
    dlg.BitBtn2->click();
    EXPECT_EQ(st.file.FileFormat, -1);
}

TEST(FileFormatDialog, FillRadiosSetTheOptionAndClosingCancels) {
    AppState st;
    st.CurrentDevice = makeDevice({.letter = 'E', .lastAddress = 0x7FFF});
    TfrmFileFormat dlg(st);
    const std::pair<QRadioButton*, int> fills[] = {{dlg.RB_Zero, 2}, {dlg.RB_FF, 3}, {dlg.RB_No, 0}, {dlg.RB_Default, 1}};
    for (auto [radio, option] : fills) {
        radio->setChecked(true);
        EXPECT_EQ(st.file.FillOption, option);
    }
    dlg.Edit2->setText("abc");
    dlg.Edit3->clear();
    QTest::keyClicks(dlg.Edit3, "7fff");
    EXPECT_EQ(dlg.Edit3->text(), QString("7FFF"));
    dlg.reject();
    EXPECT_EQ(st.file.FileFormat, -1);
}

// ---------------------------------------------------------------------------

namespace {

class Buttons : public FormatFixture {
protected:
    void SetUp() override {
        FormatFixture::SetUp();
        st.openFileProgress = nullptr;  // the commands bring their own window
        for (QFileDialog* d : {&loadDialog, &saveDialog}) {
            d->setOption(QFileDialog::DontUseNativeDialog);
            d->setOption(QFileDialog::DontConfirmOverwrite);
        }
        st.settings.LoadSavePath = dir.path().toStdString();
    }

    // Answers the next file dialog with `file` (empty: Cancel).
    static void answerFileDialog(const QString& file) {
        onNextModal(
            [file](QWidget* w) {
                auto* d = static_cast<QFileDialog*>(w);
                if (file.isEmpty()) {
                    d->reject();
                    return;
                }
                // selectFile() leaves a focused name field alone; type the name as a user would.
                d->findChild<QLineEdit*>("fileNameEdit")->setText(file);
                static_cast<QDialog*>(d)->accept();
            },
            "QFileDialog");
    }

    // Runs `fn` on the next file-format dialog, then presses `button`.
    static void answerFormatDialog(std::function<void(TfrmFileFormat*)> fn, const char* button = "BitBtn1") {
        onNextModal(
            [fn, button](QWidget* w) {
                auto* d = static_cast<TfrmFileFormat*>(w);
                if (fn) fn(d);
                d->findChild<QPushButton*>(button)->click();
            },
            "tesmar::TfrmFileFormat");
    }

    QWidget owner;
    QFileDialog loadDialog{&owner};
    QFileDialog saveDialog{&owner};
    QLabel fileLabel;
    QString FileName;
};

}  // namespace

TEST_F(Buttons, LoadRunsBothDialogsLoadsAndShowsTheChecksum) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    const QString hex = write("in.hex", ":0400100001020304E2\r\n:00000001FF\r\n");
    st.settings.FileTypeIndex = 1;
    answerFileDialog(hex);
    answerFormatDialog([](TfrmFileFormat* d) {
        d->RB_Zero->setChecked(true);
        d->Edit1->setText("100");
    });
    LoadButtonClick(st, &owner, loadDialog, saveDialog, FileName);
    EXPECT_EQ(FileName, hex);
    EXPECT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_EQ(image(0x110, 4), QByteArray::fromHex("01020304"));
    EXPECT_EQ(st.buf.DeviceBuffer[0], 0);
    EXPECT_EQ(host.lines().mid(0, 2), (QStringList{" ", " File " + hex + " Loaded"}));
    EXPECT_EQ(host.checksum(), "0x000A");
    EXPECT_EQ(st.settings.FileTypeIndex, 1);
    EXPECT_EQ(st.settings.LoadSavePath, dir.path().toStdString());
    EXPECT_EQ(saveDialog.selectedFiles().value(0), hex);
    EXPECT_EQ(st.settings.OffsetValue, 0x100u);
}

TEST_F(Buttons, LoadOfAllFilesOffersBinary) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    const QString bin = write("raw.dat", QByteArray::fromHex("A1A2"));
    st.settings.FileTypeIndex = 4;
    answerFileDialog(bin);
    std::int8_t offered = -2;
    answerFormatDialog([&offered](TfrmFileFormat* d) { offered = d->RB_Binary->isChecked() ? 2 : -3; });
    LoadButtonClick(st, &owner, loadDialog, saveDialog, FileName);
    EXPECT_EQ(offered, 2);
    EXPECT_EQ(image(0, 2), QByteArray::fromHex("A1A2"));
}

TEST_F(Buttons, CancelledFormatDialogLeavesTheBufferButUpdatesTheChecksum) {
    select({.letter = 'E', .lastAddress = 0x3});
    st.buf.DeviceBuffer[0] = 7;
    answerFileDialog(write("in.hex", ":00000001FF\r\n"));
    answerFormatDialog(nullptr, "BitBtn2");
    LoadButtonClick(st, &owner, loadDialog, saveDialog, FileName);
    EXPECT_EQ(st.file.FileFormat, -1);
    EXPECT_EQ(st.buf.DeviceBuffer[0], 7);
    EXPECT_TRUE(host.lines().isEmpty());
    EXPECT_EQ(host.checksum(), "0x0007");
}

TEST_F(Buttons, CancelledFileDialogStillUpdatesTheChecksum) {
    select({.letter = 'E', .lastAddress = 0x3});
    st.buf.DeviceBuffer[1] = 9;
    answerFileDialog(QString());
    LoadButtonClick(st, &owner, loadDialog, saveDialog, FileName);
    EXPECT_TRUE(FileName.isEmpty());
    EXPECT_EQ(host.checksum(), "0x0009");
}

TEST_F(Buttons, DemoModeDoesNothing) {
    select({.letter = 'E', .lastAddress = 0x3});
    st.ProgrammerState = 0;
    QTimer guard;  // closes any dialog that should not have opened
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* w = QApplication::activeModalWidget()) static_cast<QDialog*>(w)->reject();
    });
    guard.start(3000);
    LoadButtonClick(st, &owner, loadDialog, saveDialog, FileName);
    SaveButtonClick(st, &owner, saveDialog, fileLabel);
    EXPECT_TRUE(guard.isActive());
    EXPECT_TRUE(host.checksum().isEmpty());
}

TEST_F(Buttons, PicLoadUsesTheInhxFormats) {
    select({.letter = 'C', .lastAddress = 0x7FF, .algorithm = 4, .pageCode = 12, .blank = 0x3F, .configCount = 2});
    const QString hex = write("pic.hex", ":020000002800D6\n:00000001FF\n");
    st.settings.FileTypeIndex = 3;
    answerFileDialog(hex);
    answerFormatDialog(nullptr);
    LoadButtonClick(st, &owner, loadDialog, saveDialog, FileName);
    EXPECT_EQ(st.settings.FileTypeIndex, 1);
    EXPECT_EQ(st.file.FileFormat, 3);
    EXPECT_EQ(image(0, 4), QByteArray::fromHex("00283FFF"));
    EXPECT_TRUE(host.lines().contains(" WARNING not present in file : CONFIG"));
}

TEST_F(Buttons, SaveWritesTheChosenRangeAndReportsIt) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    for (int i = 0; i < 0x40; ++i) st.buf.DeviceBuffer[i] = std::uint8_t(i);
    const QString out = path("out.mot");
    answerFileDialog(out);
    answerFormatDialog([](TfrmFileFormat* d) {
        d->RB_Motorola->setChecked(true);
        d->Edit2->setText("10");
        d->Edit3->setText("2F");
    });
    SaveButtonClick(st, &owner, saveDialog, fileLabel);
    EXPECT_EQ(st.file.SaveStart, 0x10u);
    EXPECT_EQ(st.file.SaveStop, 0x2Fu);
    EXPECT_EQ(readFile(out), QByteArray("S1230010101112131415161718191A1B1C1D1E1F202122232425262728292A2B2C2D2E2FDC\nS9030000FC\n"));
    EXPECT_EQ(fileLabel.text(), out);
    EXPECT_EQ(host.lines(), QStringList{" File " + out + " saved"});
}

TEST_F(Buttons, FailedSaveReportsNoSuccess) {
    if (!QFile::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    select({.letter = 'E', .lastAddress = 0x7FFF});
    fileLabel.setText("before");
    answerFileDialog("/dev/full");
    answerFormatDialog(nullptr);
    SaveButtonClick(st, &owner, saveDialog, fileLabel);
    EXPECT_TRUE(host.lines().isEmpty());
    EXPECT_EQ(fileLabel.text(), "before");
    EXPECT_EQ(host.messages(), QStringList{"|File ERROR"});
}

TEST_F(Buttons, BadStopTextStopsTheSave) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    const QString out = path("bad.hex");
    answerFileDialog(out);
    answerFormatDialog([](TfrmFileFormat* d) { d->Edit3->setText("XYZ"); });
    MessageBoxAnswerer answers;
    SaveButtonClick(st, &owner, saveDialog, fileLabel);
    EXPECT_EQ(answers.seen(), QStringList{"Tesmar|'$XYZ' is not a valid integer value"});
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_TRUE(host.lines().isEmpty());
}

TEST_F(Buttons, CancelledSaveStillTakesTheRangeButWritesNothing) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    const QString out = path("none.hex");
    answerFileDialog(out);
    answerFormatDialog([](TfrmFileFormat* d) { d->Edit2->setText("20"); }, "BitBtn2");
    SaveButtonClick(st, &owner, saveDialog, fileLabel);
    EXPECT_EQ(st.file.SaveStart, 0x20u);
    EXPECT_EQ(st.file.SaveStop, 0x7FFFu);
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_TRUE(host.lines().isEmpty());
}

// A path typed into the file dialog leaves the dialog's view where it was;
// the next Load or Save must still start in the folder of that file.
TEST_F(Buttons, TheNextDialogStartsInTheFolderOfTheFileChosen) {
    select({.letter = 'E', .lastAddress = 0x3});
    ASSERT_TRUE(QDir(dir.path()).mkpath("sub"));
    const QString folder = QDir(dir.path()).absoluteFilePath("sub");
    const QString typed[] = {write("sub/in.hex", ":00000001FF\r\n"), folder + "/out.hex"};
    for (const QString& file : typed) {
        SCOPED_TRACE(file.toStdString());
        st.settings.LoadSavePath = dir.path().toStdString();
        answerFileDialog(file);
        answerFormatDialog(nullptr);
        if (file == typed[0])
            LoadButtonClick(st, &owner, loadDialog, saveDialog, FileName);
        else
            SaveButtonClick(st, &owner, saveDialog, fileLabel);
        EXPECT_EQ(st.settings.LoadSavePath, folder.toStdString());
    }
    EXPECT_TRUE(QFile::exists(typed[1]));
}

TEST(LoadSaveWindow, ShowsTheCaptionAndPosition) {
    QWidget owner;
    auto p = TfrmLoad_Save::open(&owner);
    auto* w = dynamic_cast<TfrmLoad_Save*>(p.get());
    ASSERT_TRUE(w);
    p->setCaption(" Loading File.......");
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), " Loading File.......");
    p->setPosition(42);
    EXPECT_EQ(w->L_Sbar->value(), 42);
    EXPECT_EQ(w->L_Sbar->maximum(), 100);
    p->close();
    EXPECT_FALSE(w->isVisible());
}
