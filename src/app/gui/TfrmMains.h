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
#include <vector>

#include "app/AppState.h"
#include "operations/Host.h"

class QSoundEffect;

namespace tesmar {

class UsbPort;
class TProgressForm;

class TfrmMains : public QWidget, public Host {
    Q_OBJECT
public:
    // Runs the start-up sequence. The port is not owned; `pause` (optional)
    // replaces the fixed waits of the protocol (tests shorten them).
    TfrmMains(UsbPort* port, std::function<void(int)> pause = {}, QWidget* parent = nullptr);
    ~TfrmMains() override;

    AppState& state() { return st_; }

    // Host services (callable from any thread; worker calls are posted to the
    // interface thread in order, questions block the worker until answered).
    void memoAdd(const QString& line) override;
    void memoClear() override;
    void setGauge(int maximum, int position) override;
    void setProgressCaption(const QString& caption) override;
    void closeProgress() override;
    Answer askAbortRetryIgnore(const QString& text, const QString& caption) override;
    void message(const QString& text, const QString& caption, BoxIcon icon) override;
    bool playSound(Sound sound) override;
    void showChecksum(const QString& text) override;

    // The lines of Memo1.
    QStringList memoLines() const;

    // Toolbar helpers shared by selection, operations and reconnect.
    void setButton(QToolButton* b, bool on);
    void disableDeviceButtons();           // Load .. Erase and Option, hints off
    void enableFromRecord(const DeviceRecord& rec);  // from DeviceRecord::Buttons
    std::vector<QToolButton*> deviceButtons() const;

    // The running operation's progress form (set by the operation handler).
    void setProgressForm(TProgressForm* form);

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
