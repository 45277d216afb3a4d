// Start-up, reconnect, reporting and layout of the main window, with the
// simulated programmer behind the real driver interface.
#include <QDir>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/gui/TfrmMains.h"
#include "operations/Report.h"
#include "support/MainWindowRig.h"
#include "support/RecordImage.h"

using namespace tesmar;

namespace {

// Each test starts the window itself, after setting up the programmer; a
// message box nobody expects holds the test up rather than being answered.
class MainWindowTest : public test::MainWindowRig {
protected:
    MainWindowTest() : MainWindowRig({.openWindow = false, .answerBoxes = false}) {}
};

const QStringList kReadyLines = {" ", " Tesmar Serial Nr : TS000001", " Firmware Version    : 2",
                                 " Software Version    : 1.052"};
const QStringList kNotFoundLines = {" ", " **** NO PROGRAMMER FOUND ****", " **** System in Tesmar DEMO mode  ****"};

}  // namespace

TEST_F(MainWindowTest, StartsConnectedToTheSimulatorWithTheReadyLines) {
    TfrmMains& w = start();
    EXPECT_EQ(w.memoLines(), kReadyLines);
    EXPECT_EQ(w.state().ProgrammerState, 1);
    EXPECT_EQ(w.state().HardwareVariant, 'A');
    EXPECT_TRUE(sim_.isOpen());
    EXPECT_EQ(w.state().buf.size(), 0x200000u);
    EXPECT_EQ(w.state().buf.BufferViewSize, 0x200000u);
    EXPECT_EQ(w.state().AvailableFamilies, 0x1F);
    EXPECT_EQ(w.state().settings.ProgramDir, test::runDir().toStdString());
    EXPECT_EQ(w.state().FirmwareDir, test::runDir().toStdString() + "/usbf/");
    EXPECT_EQ(w.windowTitle(), "Tesmar");
    EXPECT_TRUE(w.SB_Select->isEnabled());
    for (QToolButton* b : w.deviceButtons()) EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_TRUE(w.SB_Lock->isHidden());
    for (QLabel* l : {w.TotalProg, w.ProgCorrect, w.ProgFail}) EXPECT_EQ(l->text(), " ");
}

TEST_F(MainWindowTest, WithoutAProgrammerStartsInDemoMode) {
    sim_.setConnected(false);
    TfrmMains& w = start();
    EXPECT_EQ(w.memoLines(), kNotFoundLines);
    EXPECT_EQ(w.state().ProgrammerState, 0);
    EXPECT_EQ(w.state().HardwareVariant, 'A');
    EXPECT_TRUE(w.SB_Select->isEnabled());
    for (QToolButton* b : w.deviceButtons()) EXPECT_FALSE(b->isEnabled());
}

TEST_F(MainWindowTest, AProgrammerThatIsNotReadyLeavesDemoModeAndClosesThePort) {
    sim_.setIdentifyReply({5});
    TfrmMains& w = start();
    QStringList expected = kReadyLines;
    expected[2] = " Firmware Version    : 5";
    expected << " **** System in Tesmar DEMO mode  ****" << " **** Tesmar COMMUNICATION ERROR **** " << " "
             << "      TURN PROGRAMMER OFF, CLICK ON RECONNECT, TURN PROGRAMMER ON";
    EXPECT_EQ(w.memoLines(), expected);
    EXPECT_EQ(w.state().ProgrammerState, 0);
    EXPECT_FALSE(sim_.isOpen());
}

TEST_F(MainWindowTest, ReconnectFindsAProgrammerSwitchedOnLater) {
    sim_.setConnected(false);
    TfrmMains& w = start();
    sim_.setConnected(true);
    w.ClearMessages->click();
    EXPECT_TRUE(w.memoLines().isEmpty());
    w.ReconnectBT->click();
    EXPECT_EQ(w.memoLines(), kReadyLines);
    EXPECT_EQ(w.state().ProgrammerState, 1);
    EXPECT_TRUE(w.SB_Select->isEnabled());
    for (QToolButton* b : w.deviceButtons()) {
        EXPECT_FALSE(b->isEnabled());
        EXPECT_TRUE(b->toolTip().isEmpty());
    }
}

TEST_F(MainWindowTest, ReconnectWithoutAProgrammerPrintsTheNotFoundLines) {
    TfrmMains& w = start();
    sim_.setConnected(false);
    w.ReconnectBT->click();
    EXPECT_EQ(w.memoLines().mid(kReadyLines.size()), kNotFoundLines);
    EXPECT_EQ(w.state().ProgrammerState, 0);
    EXPECT_FALSE(sim_.isOpen());
}

TEST_F(MainWindowTest, FirstRunWritesTheDefaultSettingsAndCloseSavesThem) {
    {
        TfrmMains& w = start();
        w.state().settings.SoundOn = 1;
        w.state().settings.OffsetValue = 0x1234;
        w.close();
        window_.reset();
    }
    QSettings s;
    EXPECT_EQ(s.value("RevNo").toInt(), 1052);
    EXPECT_EQ(s.value("Offset").toInt(), 0x1234);
    EXPECT_TRUE(s.value("SoundON").toBool());
    EXPECT_EQ(s.value("Filename").toString(), "zrvusb_r.usb");
    EXPECT_EQ(s.value("DefaultDir").toString(), test::runDir());
    EXPECT_FALSE(sim_.isOpen());
}

TEST_F(MainWindowTest, ReportLinesUseTheDeviceNameVerbatim) {
    TfrmMains& w = start();
    AppState& st = w.state();
    st.CurrentDevice = test::RecordImage('R').name("27C%s%n").shared();
    w.ClearMessages->click();
    st.buf.BufferCursor = 0x1234;
    st.buf.DeviceBuffer[0x1234] = 0xFF;
    ReportError(st, 11, 0x00);
    ReportError(st, 3, 0);
    ReportSuccess(st, 5);
    ReportSuccess(st, 11);
    ReportSuccess(st, -1);
    st.RunFlag = 0;
    st.ErrorFlag = 0;
    ReportError(st, 12, 0);
    ReportSuccess(st, 4);
    EXPECT_EQ(st.ErrorFlag.get(), 1);
    EXPECT_EQ(w.memoLines(), QStringList({"  Compare Error @ 0x01234 Ram = 0xFF 27C%s%n = 0x00",
                                          " ** unknown ERROR **", " 27C%s%n Programmed"}));
}

TEST_F(MainWindowTest, LayoutFollowsTheWindowSize) {
    TfrmMains& w = start();
    const int W = w.frameGeometry().width(), H = w.frameGeometry().height();
    EXPECT_EQ(w.Memo1->width(), W - 19);
    EXPECT_EQ(w.Memo1->y(), w.SB_Select->y() + 57);
    EXPECT_EQ(w.Panel1->y(), H - 221);
    EXPECT_EQ(w.Panel2->y(), H - 141);
    EXPECT_EQ(w.Panel3->geometry().topLeft(), QPoint(W - 140, H - 221));
    EXPECT_EQ(w.ReconnectBT->geometry().topLeft(), QPoint(W - 100, H - 53));
    EXPECT_EQ(w.Memo1->y() + w.Memo1->height(), w.Panel1->y());
}

TEST(ScreenPlacement, ResolutionRules) {
    struct Case {
        int w, h;
        bool warn, centre;
    } cases[] = {{1024, 768, false, true}, {1023, 768, false, false}, {800, 599, true, false}, {800, 600, false, false},
                 {1920, 1080, false, true}};
    for (const Case& c : cases) {
        const ScreenPlacement p = screenPlacement(c.w, c.h);
        EXPECT_EQ(p.warn, c.warn) << c.w << "x" << c.h;
        EXPECT_EQ(p.centre, c.centre) << c.w << "x" << c.h;
    }
}

TEST(ElapsedLine, HoursMinutesSecondsHundredths) {
    EXPECT_EQ(elapsedLine(83456), " 00:01:23.45");
    EXPECT_EQ(elapsedLine(3723456), " 01:02:03.45");
    EXPECT_EQ(elapsedLine(0), " 00:00:00.00");
}

// The protocol's pauses on the window's thread (start-up, Reconnect) are
// timers when nothing replaces them: the window's own timers go on meanwhile.
TEST_F(MainWindowTest, ThroughTheReconnectPauseTheWindowIsStillServed) {
    TfrmMains w(&sim_);  // the pauses as in the program: the start-up's takes a second
    bool reconnecting = false;
    int ticks = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] { ticks += reconnecting ? 1 : 0; });
    tick.start();
    reconnecting = true;
    w.ReconnectBT->click();
    reconnecting = false;
    EXPECT_EQ(w.state().ProgrammerState, 1);
    EXPECT_GT(ticks, 0);
}
