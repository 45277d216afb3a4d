#pragma once
// Shared test helpers: a recording Host, temporary folders, the generated
// program folder.
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "operations/Host.h"

class QAbstractButton;

namespace tesmar::test {

// Records everything the logic layer asks of the windows. Thread-safe.
class RecorderHost : public Host {
public:
    void memoAdd(const QString& line) override;
    void memoClear() override;
    void setGauge(int maximum, int position) override;
    void setProgressCaption(const QString& caption) override;
    void closeProgress() override;
    Answer askAbortRetryIgnore(const QString& text, const QString& caption) override;
    void message(const QString& text, const QString& caption, BoxIcon icon) override;
    bool playSound(Sound sound) override;
    void showChecksum(const QString& text) override;

    // Answers for the next Abort/Retry/Ignore boxes (Ignore when none is queued).
    void queueAnswer(Answer a);

    QStringList lines() const;
    QStringList captions() const;
    QStringList messages() const;         // "caption|text" of each OK box
    QStringList questions() const;        // "caption|text" of each Abort/Retry/Ignore box
    std::vector<Sound> sounds() const;
    int closeCount() const;
    QString checksum() const;
    int gaugeMax() const;
    int gaugePos() const;
    bool soundWorks = true;

private:
    mutable std::mutex m_;
    QStringList lines_, captions_, messages_, questions_;
    std::vector<Sound> sounds_;
    std::deque<Answer> answers_;
    int closes_ = 0, gaugeMax_ = 0, gaugePos_ = 0;
    QString checksum_;
};

// The program folder assembled by the build (family files, All.usb, usbf/, usbm/, sounds).
QString runDir();
// The readable sample data (data/).
QString dataDir();
// The records of a family file of the program folder (e.g. "zrvusb_m.usb")
// that `want` accepts, in file order.
std::vector<DeviceRecord> sampleRecords(const char* file, const std::function<bool(const DeviceRecord&)>& want);

// Points QSettings (native and INI formats, user and system scope, and with
// them the settings store's own format) at a fresh temporary folder for the
// lifetime of the object.
class TempSettings {
public:
    TempSettings();
    ~TempSettings();
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

// Runs `fn` on the next modal window that opens (polled from the event loop,
// so it works while a handler is blocked in exec()). `type` filters by class
// name (e.g. "tesmar::TfrmSelectDevice"); empty takes any modal window.
void onNextModal(std::function<void(QWidget*)> fn, const char* type = nullptr);

// While alive, answers every QMessageBox that opens with the given button
// (OK by default) and records "caption|text" of each.
class MessageBoxAnswerer : public QObject {
public:
    explicit MessageBoxAnswerer(int button = 0x00000400 /* QMessageBox::Ok */);
    ~MessageBoxAnswerer() override;
    QStringList seen() const { return seen_; }
    void setButton(int button) { button_ = button; }
    // Runs before each box is answered (with the box's "caption|text").
    std::function<void(const QString&)> beforeAnswer;

private:
    void poll();
    int button_;
    QStringList seen_;
    QTimer* timer_;
};

// Clicks a check box or radio button on its indicator, as a user does: only
// the indicator and the caption take clicks, not the rest of the row.
void tickBox(QAbstractButton* button);

// How far, in grey levels (0..255), the most distinct pixel of `area` stands
// from the pixel at `background`: what is drawn there is legible only when
// this is large.
int contrastIn(const QImage& image, const QRect& area, QPoint background);

// Writes bytes to a file; returns false on failure.
bool writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

}  // namespace tesmar::test
