#pragma once
// The main window: toolbar, device panel, counters, message log, start-up and
// shutdown. It owns the program state and implements the Host services the
// logic layer reports through.
#include <QDialog>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "app/AppState.h"
#include "operations/Host.h"

class QSoundEffect;
class QTimer;

namespace tesmar {

class UsbPort;
class TProgressForm;

class TfrmMains : public QWidget, public Host {
    Q_OBJECT
public:
    // Runs the start-up sequence. The port is not owned; `pause` (optional)
    // replaces the fixed waits of the protocol (tests shorten them). Without
    // it they are pauseHere.
    TfrmMains(UsbPort* port, std::function<void(int)> pause = {}, QWidget* parent = nullptr);
    ~TfrmMains() override;

    AppState& state() { return st_; }

    // Host services, callable from any thread. From another thread (the
    // worker) lines, gauge, caption and the progress window's close are
    // gathered and shown together at most every kDeliverMs: the lines in
    // order, the gauge and caption at their latest value, the close after the
    // lines before it. Questions and sounds block the worker until served,
    // after what was gathered before them is shown. On the window's thread
    // each call first shows what is waiting, then acts at once.
    void memoAdd(const QString& line) override;
    void memoClear() override;
    void setGauge(int maximum, int position) override;
    void setProgressCaption(const QString& caption) override;
    void closeProgress() override;
    Answer askAbortRetryIgnore(const QString& text, const QString& caption) override;
    void message(const QString& text, const QString& caption, BoxIcon icon) override;
    bool playSound(Sound sound) override;
    void showChecksum(const QString& text) override;

    // A fixed pause: on the window's thread a timer, during which the window
    // paints and serves its timers and queued calls while the user's input
    // waits until the pause is over; on any other thread a sleep.
    void pauseHere(int ms);

    // The lines of Memo1.
    QStringList memoLines() const;

    // Toolbar helpers shared by selection, operations and reconnect.
    void setButton(QToolButton* b, bool on);
    void disableDeviceButtons();           // Load .. Erase and Option, hints off
    void enableFromRecord(const DeviceRecord& rec);  // from DeviceRecord::Buttons
    std::vector<QToolButton*> deviceButtons() const;

    // The running operation's progress form (set by the operation handler).
    void setProgressForm(TProgressForm* form);

    // How often the window shows what the worker has gathered meanwhile.
    static constexpr int kDeliverMs = 30;
    // The operation handler's side of the delivery. beginRun: a run starts,
    // the window looks every kDeliverMs. takeAbort: the user's Abort, served
    // unless the run has already asked to close its progress window (it has
    // ended and is reported as ended); when served, what the run said before
    // is shown and what it says later is dropped. endRun: the worker has
    // finished; shows its last lines.
    void beginRun();
    bool takeAbort();
    void endRun();
    // Shows what the worker has gathered (window's thread).
    void deliverProgress();
    // An operation is under way, its pauses included: no other starts.
    bool operationBusy = false;

    // Components (objectNames as the member names).
    QToolButton *SB_Select, *SB_Load, *SB_Save, *SB_Edit, *SB_Config, *SB_Blank, *SB_Read, *SB_Prog,
        *SB_Verify, *SB_Erase, *SB_Option, *SB_IcTest, *SB_Lock;
    QFrame *Panel1, *Panel2, *Panel3;
    QLabel *ManuL, *ManIDL, *DevIDL, *DevIDL2, *DevL, *SizeL, *CheckL, *VccL, *VppL, *AdapL, *FileL, *ComL;
    QLabel *TotalProg, *ProgCorrect, *ProgFail;
    QPushButton* BitBtn1;  // counters' Reset
    QPlainTextEdit* Memo1;
    QPushButton *ClearMessages, *ReconnectBT, *AutoIncB;
    QFileDialog *LoadDialog, *SaveDialog;
    QString FileName;

public slots:
    void SB_SelectClick();
    void SB_LoadClick();
    void SB_SaveClick();
    void SB_EditClick();
    void SB_ConfigClick();
    void SB_OptionClick();
    void SB_ReadClick();
    void SB_IcTestClick();
    void ClearMessagesClick();
    void ReconnectBTClick();
    void AutoIncBClick();
    void BitBtn1Click();

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void buildUi();
    void FormCreate();
    void FormClose();
    void FormResize();
    // Runs fn on the interface thread: directly there, else queued (in order).
    void post(std::function<void()> fn);
    // Runs fn on the interface thread and waits for it.
    void postAndWait(std::function<void()> fn);
    // Gathers a change from another thread (`change` runs under the lock)
    // and makes sure the window will look.
    void gather(const std::function<void()>& change);

    // What the worker has said since the window last looked.
    struct Outbox {
        std::mutex m;
        QStringList lines;
        bool clear = false;
        std::optional<std::pair<int, int>> gauge;
        std::optional<QString> caption;
        bool close = false;
        bool closeAsked = false;  // this run asked to close its progress window
        bool mute = false;        // the run was aborted: its later lines are dropped
        bool armed = false;       // the window will look
        bool inRun = false;
    } out_;
    QTimer* deliver_ = nullptr;

    AppState st_;
    std::unique_ptr<QSoundEffect> chimes_, error_, notify_;
    QPointer<TProgressForm> progress_;
    bool closed_ = false;
};

// Screen rule of the start-up: the resolution box below 800x600, centred at
// 1024x768 and above, else placed at (1, 1).
struct ScreenPlacement {
    bool warn;
    bool centre;
};
ScreenPlacement screenPlacement(int width, int height);

}  // namespace tesmar
