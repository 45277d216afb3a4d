// A user's round through the main window's own buttons: select, load a file,
// edit, save, with the dialogs answered as a user would.
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include "editors/gui/THexEditor.h"
#include "fileformats/gui/TfrmFileFormat.h"
#include "operations/Checksum.h"
#include "support/MainWindowRig.h"

using namespace tesmar;

namespace {

class Workflow : public test::MainWindowRig {
protected:
    void SetUp() override {
        MainWindowRig::SetUp();
        select(0, 0, 0);
        ASSERT_TRUE(st().dev());
        clearLogs();
    }

    static void answerFileDialog(const QString& file) {
        test::onNextModal(
            [file](QWidget* w) {
                w->findChild<QLineEdit*>("fileNameEdit")->setText(file);
                static_cast<QDialog*>(w)->accept();
            },
            "QFileDialog");
    }
    static void answerFormatDialog(std::function<void(TfrmFileFormat*)> fn = {}) {
        test::onNextModal(
            [fn](QWidget* w) {
                auto* d = static_cast<TfrmFileFormat*>(w);
                if (fn) fn(d);
                d->BitBtn1->click();
            },
            "tesmar::TfrmFileFormat");
    }
    QString checksumLabel() { return QString::asprintf("0x%.4X", computeChecksum(st().buf, st().dev()) & 0xFFFF); }

    QTemporaryDir dir_;
};

}  // namespace

TEST_F(Workflow, LoadEditAndSaveThroughTheToolbar) {
    const QString in = dir_.filePath("in.hex");
    {
        QFile f(in);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(":0400100001020304E2\r\n:00000001FF\r\n");
    }
    answerFileDialog(in);
    answerFormatDialog([](TfrmFileFormat* d) { d->RB_Zero->setChecked(true); });
    w().SB_Load->click();
    ASSERT_EQ(st().buf.DeviceBuffer[0x10], 0x01);
    EXPECT_EQ(st().buf.DeviceBuffer[0x13], 0x04);
    EXPECT_EQ(st().buf.DeviceBuffer[0x00], 0x00);
    EXPECT_TRUE(w().memoLines().contains(" File " + in + " Loaded")) << w().memoLines().join('\n').toStdString();
    EXPECT_EQ(w().CheckL->text(), checksumLabel());

    // Type A5 into the first cell of the editor and close it.
    test::onNextModal(
        [](QWidget* wdg) {
            auto* ed = static_cast<THexEditor*>(wdg);
            QTest::keyClicks(ed->StringGrid1, "a5");
            ed->BitBtn1->click();
        },
        "tesmar::THexEditor");
    w().SB_Edit->click();
    EXPECT_EQ(st().buf.DeviceBuffer[0], 0xA5);
    EXPECT_EQ(w().CheckL->text(), checksumLabel());

    const QString out = dir_.filePath("out.hex");
    answerFileDialog(out);
    answerFormatDialog([](TfrmFileFormat* d) { d->Edit3->setText("1F"); });
    w().SB_Save->click();
    EXPECT_TRUE(w().memoLines().contains(" File " + out + " saved"));
    EXPECT_EQ(w().FileL->text(), out);
    QFile saved(out);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(),
              ":10000000A50000000000000000000000000000004B\r\n"
              ":1000100001020304000000000000000000000000D6\r\n"
              ":00000001FF\r\n");
}

TEST_F(Workflow, InDemoModeTheDialogButtonsDoNothing) {
    st().ProgrammerState = 0;
    const auto before = st().buf.DeviceBuffer;
    w().SB_Load->click();
    w().SB_Save->click();
    w().SB_Edit->click();
    w().SB_Option->click();
    EXPECT_EQ(st().buf.DeviceBuffer, before);
    EXPECT_TRUE(w().memoLines().isEmpty());
}

// The format dialog takes the main window's colours; a format the device does
// not take is shown disabled, and its caption must still be readable on the
// silver background, as that of the format offered is.
TEST_F(Workflow, DisabledFormatsStayReadable) {
    struct Case {
        int family;
        const char* device;
        const char* offered;
        QStringList disabled;
    };
    const Case cases[] = {
        {0, "27C256", "RB_Intelhex", {"RB_Inh8m", "RB_Inx16"}},
        {3, "16F84A", "RB_Inh8m", {"RB_Intelhex", "RB_Motorola", "RB_Binary"}},
    };
    const QString in = dir_.filePath("in.hex");
    ASSERT_TRUE(test::writeFile(in, ":00000001FF\r\n"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        auto found = test::findDevice(c.family, c.device);
        ASSERT_TRUE(found);
        select(found->place);
        answerFileDialog(in);
        QMap<QString, int> contrast;
        QStringList enabled;
        test::onNextModal(
            [&](QWidget* wdg) {
                const QImage shot = wdg->grab().toImage();
                for (const QString& name : c.disabled + QStringList{c.offered}) {
                    auto* rb = wdg->findChild<QWidget*>(name);
                    if (!rb) continue;
                    if (rb->isEnabled()) enabled << name;
                    // The caption lies right of the round indicator; its right end is background.
                    const QRect r(rb->mapTo(wdg, QPoint(22, 0)), QSize(rb->width() - 22, rb->height()));
                    contrast[name] = test::contrastIn(shot, r, QPoint(r.right(), r.center().y()));
                }
                static_cast<TfrmFileFormat*>(wdg)->BitBtn2->click();
            },
            "tesmar::TfrmFileFormat");
        w().SB_Load->click();
        EXPECT_EQ(enabled, QStringList{c.offered});
        EXPECT_GE(contrast.value(c.offered), 100);
        for (const QString& name : c.disabled) EXPECT_GE(contrast.value(name), 64) << name.toStdString();
    }
}
