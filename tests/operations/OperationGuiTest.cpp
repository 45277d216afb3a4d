// One operation from the toolbar click to the last line: worker thread,
// progress window, Abort, counters, registry totals, with the simulated
// programmer holding an EPROM.
#include <QDir>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>

#include "app/gui/Commands.h"
#include "app/gui/TfrmMains.h"
#include "operations/Checksum.h"
#include "operations/gui/TProgressForm.h"
#include "WindowTap.h"
#include "support/MainWindowRig.h"

using namespace tesmar;

namespace {

// The first EPROM of the sample data is selected, with a blank chip in the socket.
class OperationGuiTest : public test::MainWindowRig {
protected:
    void SetUp() override {
        MainWindowRig::SetUp();
        select(0, 0, 0);
        ASSERT_TRUE(w().state().dev());
        ASSERT_EQ(w().state().dev()->FamilyLetter, 'R');
        ASSERT_TRUE(w().SB_Prog->isEnabled());
        tap_ = std::make_unique<test::WindowTap>(w());
        st().host = tap_.get();
        st().settings.SoundOn = 1;
        clearLogs();
    }
    void TearDown() override {
        window_.reset();
        MainWindowRig::TearDown();
    }
    // Abort as soon as the worker waits for the answer to a box.
    void abortAtTheNextBox(std::function<bool()> when = [] { return true; }) {
        boxes().setButton(0x00100000);  // QMessageBox::Ignore
        boxes().beforeAnswer = [when](const QString&) {
            if (!when()) return;
            if (TProgressForm* form = test::openProgressForm()) form->BitBtn1->click();
        };
    }
    std::unique_ptr<test::WindowTap> tap_;
    const DeviceRecord& rec() { return *st().dev(); }
    std::size_t deviceSize() { return std::size_t(rec().LastAddress) + 1; }

    // Clicks Abort as soon as the progress window shows.
    void abortWhenShown() {
        test::onNextModal([](QWidget* f) { static_cast<TProgressForm*>(f)->BitBtn1->click(); },
                          "tesmar::TProgressForm");
    }
    void fillImage() {
        for (std::size_t i = 0; i < deviceSize(); ++i) st().buf.DeviceBuffer[i] = std::uint8_t(i * 7 + 3);
    }
};

bool contains(const std::vector<std::uint8_t>& hay, const std::string& needle) {
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

}  // namespace

TEST_F(OperationGuiTest, AGoodProgramCountsAndKeepsTheImage) {
    fillImage();
    UpdateChecksum(st());
    w().BitBtn1->click();  // counters reset
    const QString checksum = w().CheckL->text();
    w().SB_Prog->click();
    const QStringList lines = w().memoLines();
    const QString name = QString::fromStdString(rec().Name);
    EXPECT_TRUE(lines.contains(" Programmed")) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains(" Verifying @ Vdd = 5.0V "));
    EXPECT_TRUE(lines.contains(" Verify OK"));
    EXPECT_TRUE(lines.last().startsWith(" 00:0"));
    EXPECT_EQ(w().TotalProg->text(), "1");
    EXPECT_EQ(w().ProgCorrect->text(), "1");
    EXPECT_EQ(w().ProgFail->text(), "0");
    EXPECT_EQ(w().CheckL->text(), checksum);
    EXPECT_EQ(QSettings().value("Grand Total Programmed").toInt(), 1);
    EXPECT_EQ(QSettings().value("Total Programmed Last Time").toInt(), 1);
    ASSERT_TRUE(sim_.chip());
    EXPECT_TRUE(w().SB_Prog->isEnabled());
    EXPECT_TRUE(w().SB_Select->isEnabled());
    EXPECT_FALSE(contains(sim_.hostBytes(), "Stop"));
}

TEST_F(OperationGuiTest, ReadFillsTheBufferWithTheChipContents) {
    fillImage();
    w().SB_Prog->click();
    std::vector<std::uint8_t> programmed(st().buf.DeviceBuffer.begin(), st().buf.DeviceBuffer.begin() + deviceSize());
    std::fill(st().buf.DeviceBuffer.begin(), st().buf.DeviceBuffer.end(), 0);
    w().Memo1->clear();
    w().SB_Read->click();
    EXPECT_TRUE(w().memoLines().contains(" Read Completed")) << w().memoLines().join('\n').toStdString();
    EXPECT_TRUE(std::equal(programmed.begin(), programmed.end(), st().buf.DeviceBuffer.begin()));
    EXPECT_EQ(w().TotalProg->text(), "1");  // only Program counts
}

// The gauge's percentage stands over the navy bar once the bar passes the
// middle; it must be readable there as well as on the empty gauge.
TEST_F(OperationGuiTest, TheGaugeFigureIsReadableOnAndBesideTheBar) {
    QMap<int, int> contrast;  // by position: the strongest pixel against the gauge's colour there
    sim_.faults().streamStallsAfter = 100;  // the read waits for Abort
    test::onNextModal(
        [&contrast](QWidget* f) {
            auto* form = static_cast<TProgressForm*>(f);
            for (int position : {0, 100}) {
                form->setGauge(100, position);
                const QImage img = form->ProgRun->grab().toImage();
                const QRect inner = img.rect().adjusted(4, 4, -4, -4);
                contrast[position] = test::contrastIn(img, inner, QPoint(inner.left(), inner.center().y()));
            }
            form->BitBtn1->click();
        },
        "tesmar::TProgressForm");
    w().SB_Read->click();
    EXPECT_GE(contrast.value(0, -1), 100);
    EXPECT_GE(contrast.value(100, -1), 100);
}

TEST_F(OperationGuiTest, OverCurrentFailsBeforeAnyFamilyTraffic) {
    sim_.faults().overCurrent = true;
    w().SB_Prog->click();
    EXPECT_TRUE(w().memoLines().contains("Over Current!"));
    EXPECT_EQ(w().ProgFail->text(), "1");
    EXPECT_EQ(w().ProgCorrect->text(), "0");
    EXPECT_FALSE(contains(sim_.hostBytes(), "EP"));
    EXPECT_TRUE(w().SB_Prog->isEnabled());
}

TEST_F(OperationGuiTest, OnlyAProgramCountsAndEveryEndHasItsOneSound) {
    struct Case {
        const char* name;
        QToolButton* TfrmMains::*button;
        std::function<void()> arrange;
        QStringList counters;  // Total, Correct, Fail
        Sound sound;
        bool aborted, stop;
    };
    const Case cases[] = {
        {"good program", &TfrmMains::SB_Prog, [] {}, {"1", "1", "0"}, Sound::Chimes, false, false},
        {"failed program", &TfrmMains::SB_Prog, [&] { sim_.faults().stickBit(0, 7); }, {"1", "0", "1"}, Sound::Error,
         false, false},
        {"good read", &TfrmMains::SB_Read, [] {}, {"0", "0", "0"}, Sound::Chimes, false, false},
        {"failed verify", &TfrmMains::SB_Verify, [] {}, {"0", "0", "0"}, Sound::Error, false, false},
        // The read waits for bytes that never come.
        {"aborted read", &TfrmMains::SB_Read, [&] { sim_.faults().streamStallsAfter = 100; abortWhenShown(); },
         {"0", "0", "0"}, Sound::Error, true, true},
        // The signature question holds the worker while Abort is pressed.
        {"aborted program", &TfrmMains::SB_Prog,
         [&] {
             sim_.faults().signature = std::vector<std::uint8_t>{0x12, 0x34};
             st().settings.IdCheckOption = 1;
             abortAtTheNextBox();
         },
         {"0", "0", "0"}, Sound::Error, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim_.faults() = {};
        sim_.insertBlankChipFor(rec());
        boxes().beforeAnswer = nullptr;
        fillImage();  // differs from the blank chip: a verify fails
        w().BitBtn1->click();
        clearLogs();
        c.arrange();
        (w().*c.button)->click();
        EXPECT_EQ(counters(), c.counters);
        EXPECT_EQ(tap_->sounds(), std::vector<Sound>{c.sound});
        EXPECT_EQ(w().memoLines().contains(" Process Aborted"), c.aborted);
        EXPECT_EQ(contains(sim_.hostBytes(), "Stop"), c.stop);
        EXPECT_TRUE((w().*c.button)->isEnabled());
    }
}

TEST_F(OperationGuiTest, AProgramAbortedDuringItsErasePassIsSentNoStop) {
    const auto pic = test::findDevice(3, "16F84A");
    ASSERT_TRUE(pic);
    ASSERT_NE(pic->rec.DeviceId, 0);
    select(pic->place);
    tap_->sounds();  // the selection's notify sound
    st().settings.ProgramSteps = 0x41;  // erase first, then the code
    sim_.faults().signature = std::vector<std::uint8_t>{0x3F, 0xFF};  // each pass asks about the device ID
    char codeAtAbort = 0;
    abortAtTheNextBox([&] {
        codeAtAbort = st().OperationCode.load();
        return codeAtAbort == 'E';
    });
    clearLogs();
    w().SB_Prog->click();
    ASSERT_EQ(codeAtAbort, 'E');
    EXPECT_TRUE(w().memoLines().contains(" Process Aborted"));
    EXPECT_FALSE(contains(sim_.hostBytes(), "Stop"));
    EXPECT_EQ(w().TotalProg->text(), "0");
    EXPECT_EQ(tap_->sounds(), std::vector<Sound>{Sound::Error});
}

TEST_F(OperationGuiTest, AfterAnAbortTheNextSelectionReportsItsUploads) {
    sim_.faults().streamStallsAfter = 100;
    abortWhenShown();
    w().SB_Read->click();
    ASSERT_TRUE(w().memoLines().contains(" Process Aborted"));
    sim_.faults() = {};
    sim_.faults().wrongReply[sim::Reply::FpgaGood] = "Bad!";
    select(0, 0, 0);
    EXPECT_TRUE(w().memoLines().contains(" Problem sending FPGA file")) << w().memoLines().join('\n').toStdString();
    EXPECT_FALSE(contains(sim_.hostBytes(), "MCU "));
    sim_.faults() = {};
    select(0, 0, 0);
    for (const char* line : {" FPGA programmed OK", " MCU file sent OK", " Parameters sent OK"})
        EXPECT_TRUE(w().memoLines().contains(line)) << line;
}

TEST_F(OperationGuiTest, AWrongSignatureAnsweredWithAbortFails) {
    sim_.faults().signature = std::vector<std::uint8_t>{0x12, 0x34};
    st().settings.IdCheckOption = 1;
    boxes().setButton(0x00040000);  // QMessageBox::Abort
    w().SB_Read->click();
    ASSERT_FALSE(boxes().seen().isEmpty());
    EXPECT_TRUE(boxes().seen().first().startsWith("CHIP_ID Error|ID: 30=12 31=34"));
    EXPECT_FALSE(w().memoLines().contains(" Read Completed"));
    EXPECT_FALSE(contains(sim_.hostBytes(), "ER"));
    EXPECT_TRUE(w().SB_Read->isEnabled());
}

TEST_F(OperationGuiTest, InDemoModeTheButtonsDoNothing) {
    st().ProgrammerState = 0;
    sim_.clearLog();
    w().SB_Read->click();
    EXPECT_TRUE(w().memoLines().isEmpty());
    EXPECT_EQ(sim_.driverCalls(), std::vector<std::string>({"reset"}));
}

// An operation started without a toolbar button runs under its own caption
// and reports how it ended; only a Program is spared the "Stop".
TEST_F(OperationGuiTest, AnOperationWithoutAButtonRunsUnderItsCaption) {
    EXPECT_EQ(runOperation(w(), 'R', "Read Fuses"), OperationEnd::Good);
    EXPECT_TRUE(w().memoLines().contains(" Read Completed")) << w().memoLines().join('\n').toStdString();

    sim_.faults().streamStallsAfter = 100;  // the read waits for Abort
    QString caption;
    test::onNextModal(
        [&caption](QWidget* f) {
            caption = f->windowTitle();
            static_cast<TProgressForm*>(f)->BitBtn1->click();
        },
        "tesmar::TProgressForm");
    clearLogs();
    EXPECT_EQ(runOperation(w(), 'R', "Read Fuses"), OperationEnd::Aborted);
    EXPECT_EQ(caption, "Read Fuses");
    EXPECT_TRUE(contains(sim_.hostBytes(), "Stop"));
    EXPECT_EQ(w().TotalProg->text(), "0");
    EXPECT_TRUE(w().SB_Read->isEnabled());
}
