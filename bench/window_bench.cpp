// The main window's thread while an operation runs: how long it ever goes
// without serving its events, and how soon an Abort gives the toolbar back.
//
// BM_ProgramStall: Program of the largest sample part of each family through
// the real window on the simulated programmer. A 1 ms heartbeat timer on the
// window's thread measures the longest gap between two of its ticks:
// run_stall_ms while the progress window is up, stall_ms over the whole click
// (the pauses before and after the run included). Goal: below 50 ms.
//
// BM_AbortToUsable: the same parts over the libftdi port, its bridge standing
// on the simulated programmer. Mid-run the programmer goes silent (Program:
// the bridge delivers nothing more) or its stream stalls (Read: the device
// stops sending after a few bytes). Once the line has been quiet for 20 ms
// Abort is clicked; abort_to_usable_ms runs from that click until the toolbar
// takes a click again. Goal: below 500 ms.
#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "app/gui/TfrmMains.h"
#include "devices/gui/TfrmSelectDevice.h"
#include "link/LibFtdiPort.h"
#include "link/Protocol.h"
#include "operations/gui/TProgressForm.h"
#include "sim/SimProgrammer.h"
#include "tests/support/SampleParts.h"
#include "tests/support/SimBridge.h"

namespace {

using namespace tesmar;
using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// ------------------------------------------------------------ the window

// Closes every modal window but the progress window and the selection dialog
// (message boxes with their first button, other dialogs as accepted).
class ModalCloser {
public:
    ModalCloser() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w || !w->isVisible() || qobject_cast<TProgressForm*>(w) || qobject_cast<TfrmSelectDevice*>(w)) return;
            if (auto* box = qobject_cast<QMessageBox*>(w); box && !box->buttons().isEmpty())
                box->buttons().first()->click();
            else if (auto* d = qobject_cast<QDialog*>(w))
                d->done(QDialog::Accepted);
        });
        timer_.start();
    }

private:
    QTimer timer_;
};

// Counts the longest gap between the ticks of a 1 ms timer on this thread.
class Heartbeat {
public:
    Heartbeat() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    }
    void start() {
        last_ = Clock::now();
        longest_ = 0;
        timer_.start();
    }
    void stop() {
        tick();
        timer_.stop();
    }
    double longestMs() const { return longest_; }
    // Also called on every tick.
    std::function<void()> onTick;

private:
    void tick() {
        const auto now = Clock::now();
        longest_ = std::max(longest_, msBetween(last_, now));
        last_ = now;
        if (onTick) onTick();
    }
    QTimer timer_;
    Clock::time_point last_;
    double longest_ = 0;
};

struct Window {
    sim::SimProgrammer sim;
    test::SimBridge* bridge = nullptr;
    std::unique_ptr<LibFtdiPort> ftdi;
    std::unique_ptr<TfrmMains> w;
    ModalCloser closer;

    explicit Window(bool overFtdi) {
        sim.setLogLimit(0);
        UsbPort* port = &sim;
        if (overFtdi) {
            auto b = std::make_unique<test::SimBridge>(sim);
            bridge = b.get();
            ftdi = std::make_unique<LibFtdiPort>(std::move(b));
            port = ftdi.get();
        }
        // The start-up's connect pause is skipped; every later pause is the
        // program's own.
        w = std::make_unique<TfrmMains>(port, [](int) {});
        w->state().pause = [win = w.get()](int ms) { win->pauseHere(ms); };
        w->state().onDeviceSelected = [this](const DeviceRecord& r) { sim.insertBlankChipFor(r); };
        w->show();
    }

    bool select(const test::FoundDevice& p) {
        auto* poll = new QTimer;
        poll->setInterval(5);
        QObject::connect(poll, &QTimer::timeout, [poll, at = p.place] {
            auto* d = qobject_cast<TfrmSelectDevice*>(QApplication::activeModalWidget());
            if (!d || !d->isVisible()) return;
            poll->stop();
            poll->deleteLater();
            d->RadioButton[at.family]->click();
            d->ListBox1->setCurrentRow(at.manufacturer);
            d->ListBox2->setCurrentRow(at.device);
            d->BitBtn1->click();
        });
        poll->start();
        w->SB_Select->click();
        const DeviceRecord* rec = w->state().dev();
        return rec && rec->Name == p.rec.Name && w->SB_Prog->isEnabled();
    }

    // Before each run: a blank chip of the part in the socket, a pattern in
    // the image, an empty memo.
    void prepareRun(const DeviceRecord& rec) {
        sim.insertBlankChipFor(rec);
        test::fillFreeMemory(w->state().buf.DeviceBuffer, rec);
        w->Memo1->clear();
    }

    bool endedAborted() const { return w->memoLines().contains(" Process Aborted"); }
};

// A user's click: queued behind whatever the window's thread has to do.
void postClick(QAbstractButton* b) {
    const QPointF at = b->rect().center();
    QCoreApplication::postEvent(b, new QMouseEvent(QEvent::MouseButtonPress, at, b->mapToGlobal(at), Qt::LeftButton,
                                                   Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(b, new QMouseEvent(QEvent::MouseButtonRelease, at, b->mapToGlobal(at), Qt::LeftButton,
                                                   Qt::NoButton, Qt::NoModifier));
}

TProgressForm* progressForm() {
    auto* f = qobject_cast<TProgressForm*>(QApplication::activeModalWidget());
    return f && f->isVisible() ? f : nullptr;
}

// ------------------------------------------------------------ benchmarks

void BM_ProgramStall(benchmark::State& state) {
    const test::SampleFamily& family = test::sampleFamilies().at(std::size_t(state.range(0)));
    const auto part = test::largestDevice(family.is);
    if (!part) return state.SkipWithError("no sample part");
    state.SetLabel(std::string(family.name) + " " + part->rec.Name);
    Window win(false);
    if (!win.select(*part)) return state.SkipWithError("the selection failed");
    Heartbeat beat;
    double stall = 0, runMs = 0;
    for (auto _ : state) {
        win.prepareRun(part->rec);
        const auto t0 = Clock::now();
        beat.start();
        win.w->SB_Prog->click();
        beat.stop();
        runMs += msBetween(t0, Clock::now());
        stall = std::max(stall, beat.longestMs());
        state.SetIterationTime(msBetween(t0, Clock::now()) / 1e3);
    }
    state.counters["stall_ms"] = stall;
    state.counters["click_ms"] = runMs / double(state.iterations());
    state.counters["failed"] = win.w->memoLines().filter("Error").isEmpty() ? 0 : 1;
    if (qEnvironmentVariableIsSet("WINDOW_BENCH_MEMO")) fprintf(stderr, "%s\n", qPrintable(win.w->memoLines().join('\n')));
}

// range(1): 0 the programmer goes silent during Program, 1 the stream stalls during Read.
void BM_AbortToUsable(benchmark::State& state) {
    const test::SampleFamily& family = test::sampleFamilies().at(std::size_t(state.range(0)));
    const bool stall = state.range(1) == 1;
    const auto part = test::largestDevice(family.is);
    if (!part) return state.SkipWithError("no sample part");
    state.SetLabel(std::string(family.name) + " " + part->rec.Name + (stall ? " read, stream stalls" : " program, silent"));
    Window win(true);
    if (!win.select(*part)) return state.SkipWithError("the selection failed");
    Heartbeat beat;
    std::optional<Clock::time_point> abortAt;
    beat.onTick = [&] {
        TProgressForm* f = progressForm();
        if (abortAt || !f || win.bridge->quietMs() < 20) return;
        if (!stall && !win.bridge->silent()) return;
        abortAt = Clock::now();
        postClick(f->BitBtn1);
    };
    double usable = 0, worst = 0, longest = 0;
    int aborted = 0;
    for (auto _ : state) {
        win.prepareRun(part->rec);
        if (stall) win.sim.faults().streamStallsAfter = 1000;
        else win.bridge->silentAfter(64);
        abortAt.reset();
        beat.start();
        (stall ? win.w->SB_Read : win.w->SB_Prog)->click();
        const auto usableAt = Clock::now();
        beat.stop();
        win.bridge->silentAfter(-1);
        win.sim.faults() = {};
        longest = std::max(longest, beat.longestMs());
        if (!abortAt) {
            state.SkipWithError("the run ended before the line went quiet");
            break;
        }
        const double ms = msBetween(*abortAt, usableAt);
        usable += ms;
        worst = std::max(worst, ms);
        aborted += win.endedAborted() ? 1 : 0;
        state.SetIterationTime(ms / 1e3);
    }
    const double n = double(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["abort_to_usable_ms"] = usable / n;
    state.counters["worst_ms"] = worst;
    state.counters["stall_ms"] = longest;
    state.counters["aborted"] = aborted / n;
}

void families(benchmark::internal::Benchmark* b) {
    for (std::size_t f = 0; f < test::sampleFamilies().size(); ++f) b->Arg(std::int64_t(f));
}

void familiesAndFaults(benchmark::internal::Benchmark* b) {
    for (std::size_t f = 0; f < test::sampleFamilies().size(); ++f)
        for (int fault : {0, 1}) b->Args({std::int64_t(f), fault});
}

}  // namespace

BENCHMARK(BM_ProgramStall)->Apply(families)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AbortToUsable)->Apply(familiesAndFaults)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tesmar");
    QApplication::setOrganizationName("Halvorn");
    // The settings go to a folder of their own, never the user's.
    QTemporaryDir settings;
    for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        for (auto scope : {QSettings::UserScope, QSettings::SystemScope}) QSettings::setPath(format, scope, settings.path());
    QDir::setCurrent(TESMAR_RUN_DIR);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
