// The six operation buttons: one operation from the click to the last line.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include "app/Settings.h"
#include "app/gui/Commands.h"
#include "app/gui/TfrmMains.h"
#include "link/UsbPort.h"
#include "operations/AutoInc.h"
#include "operations/Checksum.h"
#include "operations/Report.h"
#include "operations/Thread1.h"
#include "operations/gui/TProgressForm.h"

namespace tesmar {

namespace {

struct OperationRow {
    char code;
    const char* caption;
};

OperationRow rowFor(const TfrmMains& w, const QToolButton* b) {
    if (b == w.SB_Blank) return {'B', "Blank Check"};
    if (b == w.SB_Prog) return {'P', "Program"};
    if (b == w.SB_Verify) return {'V', "Verify"};
    if (b == w.SB_Erase) return {'E', "Erase"};
    if (b == w.SB_Lock) return {'S', "Secure"};
    return {'R', "Read"};
}

void restoreToolbar(TfrmMains& w, const AppState& st) {
    if (const DeviceRecord* rec = st.dev()) {
        w.enableFromRecord(*rec);
        if (rec->FamilyLetter == 'P') w.setButton(w.SB_Lock, true);
    }
    w.setButton(w.SB_Select, true);
    w.activateWindow();
    w.setFocus();
}

// A fixed pause of the run, `alreadyMs` of which have passed. The main
// window's pause is a timer (pauseHere): it goes on painting and serving its
// timers and the worker's calls while the user's clicks and keys wait, so
// nothing the user does starts inside it.
void pauseWindow(TfrmMains& w, int ms, qint64 alreadyMs = 0) {
    const qint64 left = ms - alreadyMs;
    if (left > 0) pauseMs(w.state(), int(left));
}

}  // namespace

OperationEnd runOperation(TfrmMains& w, QToolButton* button) {
    if (!button) return OperationEnd::NotRun;
    const OperationRow row = rowFor(w, button);
    return runOperation(w, row.code, QString::fromLatin1(row.caption));
}

OperationEnd runOperation(TfrmMains& w, char code, const QString& caption) {
    // One operation at a time, its pauses included.
    if (w.operationBusy) return OperationEnd::NotRun;
    w.operationBusy = true;
    struct Done {
        TfrmMains& w;
        ~Done() { w.operationBusy = false; }
    } done{w};
    AppState& st = w.state();
    QElapsedTimer clock;
    clock.start();
    st.buf.BufferCursor = 0;
    if (st.usb && st.usb->isOpen()) {
        st.usb->reset();
        pauseWindow(w, 30);
    }
    if (st.ProgrammerState == 0 || (st.AvailableFamilies & 0x1F) == 0 || !st.dev()) return OperationEnd::NotRun;

    const DeviceRecord rec = *st.dev();
    w.disableDeviceButtons();
    w.setButton(w.SB_Select, false);
    if (rec.FamilyLetter == 'P') w.setButton(w.SB_Lock, false);

    TProgressForm form(&w);
    w.setProgressForm(&form);
    memo(st, " ");
    st.OperationCode = code;
    form.setWindowTitle(caption);
    // Whether this run is a Program is fixed here: the family routines change
    // OperationCode for their erase and configuration steps.
    const bool isProgram = code == 'P';
    if (isProgram) ++st.TotalCount;
    st.RunFlag = 1;
    if (st.usb && st.usb->isOpen()) st.usb->purge(PurgeRx);

    form.onAbort = [&w, &st, isProgram] {
        // A run that has already asked to close its window has ended: it is
        // reported and counted as ended. Otherwise " Process Aborted" is the
        // run's last line.
        if (!w.takeAbort()) return;
        st.RunFlag = 0;
        memo(st, " Process Aborted");
        if (!isProgram && st.usb && st.usb->isOpen()) st.usb->write("Stop");
        PlayErrorSound(st);
    };

    w.beginRun();
    Thread1 worker(st);
    worker.start();
    form.run();
    // The pause after the run counts from the close of its window, as the
    // worker may still be finishing (after Abort).
    QElapsedTimer sinceClose;
    sinceClose.start();
    // The worker's questions are answered while we wait; the user's input waits.
    if (!worker.isFinished()) {
        QEventLoop loop;
        QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
        if (!worker.isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    worker.wait();
    w.endRun();  // the worker's last lines before ours
    w.setProgressForm(nullptr);

    memo(st, elapsedLine(clock.elapsed()));
    OperationEnd end = OperationEnd::Aborted;
    if (st.RunFlag.load() != 0) {
        end = st.ErrorFlag.get() != 0 ? OperationEnd::Failed : OperationEnd::Good;
        if (st.ErrorFlag.get() != 0) {
            if (isProgram) ++st.FailCount;
            PlayErrorSound(st);
        } else {
            if (isProgram) {
                ++st.GoodCount;
                ++st.settings.GrandTotal;
                ++st.settings.LastSessionTotal;
                if (st.AutoIncrement && !IncrementSerialNumber(st))
                    memo(st, " Serial number address outside the buffer");
                SaveRunningTotals(st);
            }
            PlayChimesSound(st);
        }
    } else if (isProgram) {
        --st.TotalCount;
    }
    w.TotalProg->setText(QString::number(st.TotalCount));
    w.ProgCorrect->setText(QString::number(st.GoodCount));
    w.ProgFail->setText(QString::number(st.FailCount));
    restoreToolbar(w, st);
    pauseWindow(w, 250, sinceClose.elapsed());
    UpdateChecksum(st);
    // The run is over: an Abort silenced only its own lines, not the uploads
    // and tests that come after it.
    st.RunFlag = 1;
    return end;
}

}  // namespace tesmar
