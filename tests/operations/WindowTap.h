#pragma once
// The window's side of an operation's run as the operation tests see it: the
// host the worker talks to, tapped, and the progress window while it is open.
#include <QApplication>
#include <QThread>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "operations/Host.h"
#include "operations/gui/TProgressForm.h"

namespace tesmar::test {

// Passes everything on to the window and notes the sounds asked for (under
// test the window has no audio device and would switch sound off); a test
// may act right after a line, a gauge position or the close that the worker
// (not the window's thread) sends.
class WindowTap : public Host {
public:
    explicit WindowTap(Host& window) : w_(window) {}
    void memoAdd(const QString& line) override {
        w_.memoAdd(line);
        if (afterLine && fromWorker()) afterLine(line);
    }
    void memoClear() override { w_.memoClear(); }
    void setGauge(int maximum, int position) override {
        w_.setGauge(maximum, position);
        if (afterGauge && fromWorker()) afterGauge(maximum, position);
    }
    void setProgressCaption(const QString& caption) override { w_.setProgressCaption(caption); }
    void closeProgress() override {
        w_.closeProgress();
        if (afterClose && fromWorker()) afterClose();
    }
    Answer askAbortRetryIgnore(const QString& text, const QString& caption) override {
        return w_.askAbortRetryIgnore(text, caption);
    }
    void message(const QString& text, const QString& caption, BoxIcon icon) override { w_.message(text, caption, icon); }
    void showChecksum(const QString& text) override { w_.showChecksum(text); }
    bool playSound(Sound sound) override {
        std::lock_guard l(m_);
        sounds_.push_back(sound);
        return true;
    }
    // The sounds asked for since the last call.
    std::vector<Sound> sounds() {
        std::lock_guard l(m_);
        return std::exchange(sounds_, {});
    }
    std::function<void(const QString&)> afterLine;
    std::function<void(int maximum, int position)> afterGauge;
    std::function<void()> afterClose;

private:
    static bool fromWorker() { return QThread::currentThread() != QCoreApplication::instance()->thread(); }
    Host& w_;
    std::mutex m_;
    std::vector<Sound> sounds_;
};

// The progress window while it is open; null when none is.
inline TProgressForm* openProgressForm() {
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<TProgressForm*>(top); form && !form->isClosed()) return form;
    return nullptr;
}

}  // namespace tesmar::test
