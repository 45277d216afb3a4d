#pragma once
// The small window that shows how far a file load or save has come. The
// logic layer reaches it through AppState::openFileProgress, so it stays free
// of widgets.
#include <QString>

namespace tesmar {

class FileProgress {
public:
    virtual ~FileProgress() = default;
    virtual void setCaption(const QString& caption) = 0;
    // 0..100; called only when the shown value changes.
    virtual void setPosition(int percent) = 0;
    virtual void close() = 0;
};

}  // namespace tesmar
