#pragma once
// The small window with one progress bar shown while a file loads or saves.
#include <QWidget>
#include <memory>

#include "fileformats/FileProgress.h"

class QProgressBar;

namespace tesmar {

class TfrmLoad_Save : public QWidget, public FileProgress {
    Q_OBJECT
public:
    explicit TfrmLoad_Save(QWidget* owner = nullptr);

    void setCaption(const QString& caption) override;
    void setPosition(int percent) override;
    void close() override;

    // A new window for one load or save, centred on `owner`; it is deleted
    // when the last holder lets go.
    static std::shared_ptr<FileProgress> open(QWidget* owner);

    QProgressBar* L_Sbar;
};

}  // namespace tesmar
