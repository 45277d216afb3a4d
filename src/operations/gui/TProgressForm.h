#pragma once
// The modal progress window of a running operation: a gauge and Abort.
#include <QDialog>
#include <QProgressBar>
#include <QPushButton>
#include <functional>

namespace tesmar {

class TProgressForm : public QDialog {
    Q_OBJECT
public:
    explicit TProgressForm(QWidget* parent = nullptr);

    void setGauge(int maximum, int position);
    // Closes the window once, whoever asks first; later calls do nothing.
    void closeOnce();
    bool isClosed() const { return closed_; }
    // Shows the window modally unless it was already closed.
    void run();

    // Called by Abort before the window closes.
    std::function<void()> onAbort;

    QProgressBar* ProgRun;
    QPushButton* BitBtn1;

public slots:
    void BitBtn1Click();

protected:
    void reject() override;  // Escape and the window button do nothing: Abort ends a run

private:
    bool closed_ = false;
};

}  // namespace tesmar
