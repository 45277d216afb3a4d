// One operation from the toolbar click to the last line: worker thread,
// progress window, Abort, counters, registry totals, with the simulated
// programmer holding an EPROM.
#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>

#include "app/gui/TfrmMains.h"
#include "operations/Checksum.h"
#include "operations/gui/TProgressForm.h"
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
        clearLogs();
    }
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

TEST_F(OperationGuiTest, OverCurrentFailsBeforeAnyFamilyTraffic) {
    sim_.faults().overCurrent = true;
    w().SB_Prog->click();
    EXPECT_TRUE(w().memoLines().contains("Over Current!"));
    EXPECT_EQ(w().ProgFail->text(), "1");
    EXPECT_EQ(w().ProgCorrect->text(), "0");
    EXPECT_FALSE(contains(sim_.hostBytes(), "EP"));
    EXPECT_TRUE(w().SB_Prog->isEnabled());
}

TEST_F(OperationGuiTest, AbortedReadSendsStopAndIsNotCounted) {
    sim_.faults().streamStallsAfter = 100;  // the read waits for bytes that never come
    abortWhenShown();
    w().SB_Read->click();
    const QStringList lines = w().memoLines();
    EXPECT_TRUE(lines.contains(" Process Aborted"));
    EXPECT_FALSE(lines.contains(" Read Completed"));
    EXPECT_TRUE(contains(sim_.hostBytes(), "Stop"));
    EXPECT_TRUE(w().SB_Read->isEnabled());
}

TEST_F(OperationGuiTest, AbortedProgramSendsNoStopAndRestoresTheTotal) {
    fillImage();
    // The signature question holds the worker while Abort is pressed.
    sim_.faults().signature = std::vector<std::uint8_t>{0x12, 0x34};
    st().settings.IdCheckOption = 1;
    boxes().setButton(0x00100000);  // QMessageBox::Ignore
    boxes().beforeAnswer = [](const QString&) {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* form = qobject_cast<TProgressForm*>(top); form && !form->isClosed()) form->BitBtn1->click();
    };
    w().SB_Prog->click();
    EXPECT_TRUE(w().memoLines().contains(" Process Aborted"));
    EXPECT_FALSE(contains(sim_.hostBytes(), "Stop"));
    EXPECT_EQ(w().TotalProg->text(), "0");
    EXPECT_EQ(w().ProgCorrect->text(), "0");
    EXPECT_EQ(w().ProgFail->text(), "0");
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
