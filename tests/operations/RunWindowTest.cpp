// The main window while an operation runs: what the worker says reaches it
// in a few calls whatever the part's size, an Abort is served in every family
// and ends the run's lines, a run that had ended before its Abort counts as
// ended, the pause after a run keeps the window served and the user's clicks
// waiting, and the progress bar shows the run's newest position.
#include <QEvent>
#include <QTest>
#include <QTimer>
#include <QWindow>
// Where a platform hands the user's input to Qt: queued, and taken only when
// the event loop takes user input. (QTest's clicks are delivered at once,
// past any pause that holds input back.)
#include <qpa/qwindowsysteminterface.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <future>
#include <mutex>
#include <gtest/gtest.h>

#include "app/gui/Commands.h"
#include "app/gui/TfrmMains.h"
#include "link/LibFtdiPort.h"
#include "operations/gui/TProgressForm.h"
#include "WindowTap.h"
#include "support/MainWindowRig.h"
#include "support/SimBridge.h"


using namespace tesmar;

namespace {

// A user's click on `b`, queued as the platform queues it.
void queueUserClick(QWidget* b) {
    QWindow* window = b->window()->windowHandle();
    const QPointF at = b->mapTo(b->window(), b->rect().center());
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
            window, at, window->mapToGlobal(at), type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
            Qt::LeftButton, type, Qt::NoModifier, Qt::MouseEventNotSynthesized);
}

// Counts the queued calls the window receives.
class CallCounter : public QObject {
public:
    int calls = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MetaCall) ++calls;
        return false;
    }
};

// Clicks a button when it receives an event, so a click can be posted ahead
// of the calls already queued, as the user's click overtakes them.
class Clicker : public QObject {
public:
    std::function<void()> click;
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User) return QObject::event(e);
        click();
        return true;
    }
};

class RunWindowTest : public test::MainWindowRig {
protected:
    RunWindowTest() : MainWindowRig(test::RigOptions{.openWindow = false}) {}
    void SetUp() override {
        MainWindowRig::SetUp();
        port_ = &ftdi_;
        start();
        tap_ = std::make_unique<test::WindowTap>(w());
        st().host = tap_.get();
    }
    void TearDown() override {
        window_.reset();
        MainWindowRig::TearDown();
    }
    // Selects the family's largest part, with a pattern in the memory of the
    // parts whose every byte is free to choose.
    void selectLargest(const test::SampleFamily& f) {
        const auto part = test::largestDevice(f.is);
        ASSERT_TRUE(part);
        select(part->place);
        ASSERT_TRUE(st().dev());
        ASSERT_EQ(st().dev()->Name, part->rec.Name);
        test::fillFreeMemory(st().buf.DeviceBuffer, part->rec);
        clearLogs();
    }
    // The lines of the last run, from its separator line up to its time.
    QStringList runLines() {
        const QStringList all = w().memoLines();
        const qsizetype from = all.lastIndexOf(" ");
        return from < 0 ? all : all.mid(from + 1);
    }

    // The hardware port over a bridge to the simulated programmer, whose
    // line can go dead.
    test::SimBridge* bridge_ = new test::SimBridge(sim_);
    LibFtdiPort ftdi_{std::unique_ptr<FtdiBridge>(bridge_)};
    std::unique_ptr<test::WindowTap> tap_;
};

bool isTimeLine(const QString& line) { return line.startsWith(" 00:"); }

}  // namespace

// Every gauge step and line used to be a call of its own, so the window fell
// behind the worker by the size of the part.
TEST_F(RunWindowTest, AProgramPostsTheWindowAFewCallsWhateverThePartsSize) {
    for (const test::SampleFamily& f : test::sampleFamilies()) {
        SCOPED_TRACE(f.name);
        selectLargest(f);
        CallCounter counter;
        w().installEventFilter(&counter);
        EXPECT_EQ(runOperation(w(), 'P', "Program"), OperationEnd::Good) << runLines().join('\n').toStdString();
        w().removeEventFilter(&counter);
        EXPECT_LE(counter.calls, 2);
        const QStringList lines = runLines();
        ASSERT_GE(lines.size(), 2);
        EXPECT_TRUE(isTimeLine(lines.last()));
    }
}

// Abort clicked as soon as the progress window shows, queued like a user's
// click, while the programmer falls silent a few bytes into the run.
TEST_F(RunWindowTest, AnAbortRightAfterTheWindowOpensIsServedInEveryFamily) {
    for (const test::SampleFamily& f : test::sampleFamilies()) {
        SCOPED_TRACE(f.name);
        selectLargest(f);
        w().BitBtn1->click();  // counters reset
        bridge_->silentAfter(16);
        test::onNextModal(
            [](QWidget* form) {
                QMetaObject::invokeMethod(static_cast<TProgressForm*>(form)->BitBtn1, &QAbstractButton::click,
                                          Qt::QueuedConnection);
            },
            "tesmar::TProgressForm");
        EXPECT_EQ(runOperation(w(), 'P', "Program"), OperationEnd::Aborted);
        bridge_->silentAfter(-1);
        const QStringList lines = runLines();
        ASSERT_GE(lines.size(), 2) << lines.join('\n').toStdString();
        EXPECT_EQ(lines[lines.size() - 2].toStdString(), " Process Aborted") << lines.join('\n').toStdString();
        EXPECT_TRUE(isTimeLine(lines.last()));
        EXPECT_EQ(counters(), (QStringList{"0", "0", "0"}));
        EXPECT_TRUE(w().SB_Prog->isEnabled());
        EXPECT_TRUE(w().SB_Select->isEnabled());
        EXPECT_EQ(st().RunFlag.load(), 1);  // the next run is heard again
    }
}

// The two orders of an Abort and the run's end. Served while the run still
// works, the Abort's line is the run's last: what the worker says after it is
// not shown. Served after the run asked to close its window, the run has
// ended: it is reported and counted as it ended.
TEST_F(RunWindowTest, AnAbortEndsTheRunsLinesUnlessTheRunHadEnded) {
    const auto pic = test::findDevice(3, "16F84A");
    ASSERT_TRUE(pic);
    select(pic->place);
    struct Case {
        const char* name;
        bool abortBeforeTheEnd;
        QStringList counters;
        OperationEnd end;
    };
    const Case cases[] = {
        {"abort when the verify starts", true, {"0", "0", "0"}, OperationEnd::Aborted},
        {"abort after the run asked to close", false, {"1", "1", "0"}, OperationEnd::Good},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim_.insertBlankChipFor(*st().dev());
        w().BitBtn1->click();
        clearLogs();
        // The click overtakes whatever the worker has queued for the window,
        // as the user's click does.
        Clicker clicker;
        std::atomic<bool> posted{false};
        std::promise<void> served;
        clicker.click = [&served] {
            if (TProgressForm* form = test::openProgressForm()) form->BitBtn1->click();
            served.set_value();
        };
        auto postClick = [&] {
            if (posted.exchange(true)) return false;
            QCoreApplication::postEvent(&clicker, new QEvent(QEvent::User), Qt::HighEventPriority);
            return true;
        };
        if (c.abortBeforeTheEnd) {
            // The worker goes on once the Abort has been served (the bound
            // only keeps a window that never serves it from hanging the test).
            tap_->afterLine = [&](const QString& line) {
                if (line != " Verifying @ Vdd = 5.0V " || !postClick()) return;
                served.get_future().wait_for(std::chrono::seconds(5));
            };
        } else {
            tap_->afterClose = [&] { postClick(); };
        }
        const OperationEnd end = runOperation(w(), 'P', "Program");
        tap_->afterLine = nullptr;
        tap_->afterClose = nullptr;
        QCoreApplication::sendPostedEvents(&clicker);
        ASSERT_TRUE(posted);
        EXPECT_EQ(end, c.end);
        EXPECT_EQ(counters(), c.counters);
        const QStringList lines = runLines();
        ASSERT_GE(lines.size(), 2);
        EXPECT_TRUE(isTimeLine(lines.last()));
        if (c.abortBeforeTheEnd) {
            EXPECT_EQ(lines.mid(0, lines.size() - 1).join('|').toStdString(),
                      " Programmed| Verifying @ Vdd = 5.0V | Process Aborted");
        } else {
            EXPECT_FALSE(lines.contains(" Process Aborted")) << lines.join('\n').toStdString();
            EXPECT_TRUE(lines.contains(" CONFIG Programmed")) << lines.join('\n').toStdString();
        }
    }
}

// The pause after a run runs on a timer: the window's timers and calls are
// served through it, and no operation starts inside it. A user's click on the
// toolbar (enabled again before the pause) waits for the pause and then
// starts its operation.
TEST_F(RunWindowTest, ThePauseAfterARunServesTheWindowAndStartsNothing) {
    selectLargest(test::sampleFamilies()[0]);
    st().pause = [this](int ms) { w().pauseHere(ms); };  // the window's pauses as in the program
    w().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w()));
    bool returned = false;
    int ticksInPause = 0;
    OperationEnd second = OperationEnd::Good;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        // The run has printed its time and the handler has not returned: the pause.
        if (returned || w().memoLines().isEmpty() || !isTimeLine(w().memoLines().last())) return;
        if (++ticksInPause > 1) return;
        queueUserClick(w().SB_Read);
        second = runOperation(w(), 'R', "Read");
    });
    tick.start();
    EXPECT_EQ(runOperation(w(), 'R', "Read"), OperationEnd::Good);
    returned = true;
    EXPECT_GT(ticksInPause, 0);
    EXPECT_EQ(second, OperationEnd::NotRun);
    const auto timeLines = [this] { return w().memoLines().filter(" 00:").size(); };
    EXPECT_EQ(timeLines(), 1) << w().memoLines().join('\n').toStdString();
    // Once the pause has passed, the click is served and its Read runs.
    EXPECT_TRUE(QTest::qWaitFor([&] { return timeLines() == 2; }, 5000)) << w().memoLines().join('\n').toStdString();
    EXPECT_TRUE(runLines().contains(" Read Completed")) << runLines().join('\n').toStdString();
}

// The bar shows the run's own gauge: the newest position of each batch the
// window takes, at the bar's scale, up to the run's last position. The worker
// stops after every few positions, and at the end of each transfer, until the
// bar shows the last it posted; in between it posts at full speed, so a look
// of the window takes several positions at once.
TEST_F(RunWindowTest, TheBarShowsTheNewestPositionOfTheRunAtItsScale) {
    selectLargest(test::sampleFamilies()[0]);
    struct Bar {
        std::mutex m;
        std::condition_variable changed;
        int value = 0, minimum = 0, maximum = 0;
        bool shows(int max, int pos) const {  // under m
            const double fraction = max > 0 ? double(pos) / max : 0;
            return maximum > minimum && std::abs(value - minimum - fraction * (maximum - minimum)) < 1;
        }
    } bar;
    test::onNextModal(
        [&bar](QWidget* wnd) {
            QProgressBar* p = static_cast<TProgressForm*>(wnd)->ProgRun;
            auto note = [&bar, p] {
                std::lock_guard l(bar.m);
                bar.value = p->value(), bar.minimum = p->minimum(), bar.maximum = p->maximum();
                bar.changed.notify_all();
            };
            note();
            QObject::connect(p, &QProgressBar::valueChanged, p, note);
        },
        "tesmar::TProgressForm");
    constexpr std::size_t kBatch = 8;
    std::vector<std::pair<int, int>> posted;  // worker only, until the run has ended
    std::vector<std::string> notShown;
    tap_->afterGauge = [&](int max, int pos) {
        posted.emplace_back(max, pos);
        if ((posted.size() % kBatch != 0 && pos != max) || !notShown.empty()) return;
        std::unique_lock l(bar.m);
        // The bound only keeps a window that never shows it from hanging the test.
        if (!bar.changed.wait_for(l, std::chrono::seconds(5), [&] { return bar.shows(max, pos); }))
            notShown.push_back(std::to_string(pos) + " of " + std::to_string(max) + ", shown " +
                               std::to_string(bar.value));
    };
    EXPECT_EQ(runOperation(w(), 'P', "Program"), OperationEnd::Good);
    tap_->afterGauge = nullptr;
    EXPECT_GT(posted.size(), 10 * kBatch);
    EXPECT_TRUE(std::any_of(posted.begin(), posted.end(), [](auto p) { return p.first > 0 && p.first == p.second; }));
    EXPECT_EQ(notShown, std::vector<std::string>{});
    std::lock_guard l(bar.m);
    EXPECT_TRUE(bar.shows(posted.back().first, posted.back().second)) << bar.value;
}
