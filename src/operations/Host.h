#pragma once
// What the logic layer needs from the windows: status lines, the progress
// gauge and caption, questions, sounds and the checksum label. The main window
// implements it (gathering what the worker says for the interface thread,
// which shows it a few tens of times a second); tests implement it with a
// recorder.
#include <QString>

namespace tesmar {

enum class Sound { Chimes, Error, Notify };
enum class Answer { Abort, Retry, Ignore, Ok, Other };
enum class BoxIcon { None, Stop, Exclamation, Information };

class Host {
public:
    virtual ~Host() = default;
    virtual void memoAdd(const QString& line) = 0;
    virtual void memoClear() = 0;
    // Progress gauge of the running operation (ignored when none is shown).
    virtual void setGauge(int maximum, int position) = 0;
    virtual void setProgressCaption(const QString& caption) = 0;
    virtual void closeProgress() = 0;
    // Abort/Retry/Ignore box with the stop icon.
    virtual Answer askAbortRetryIgnore(const QString& text, const QString& caption) = 0;
    // A message box with an OK button; blocks until answered.
    virtual void message(const QString& text, const QString& caption, BoxIcon icon) = 0;
    // Starts a sound without waiting; false when the audio device fails.
    virtual bool playSound(Sound sound) = 0;
    virtual void showChecksum(const QString& text) = 0;
};

}  // namespace tesmar
