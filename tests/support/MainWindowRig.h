#pragma once
// The main window on the simulated programmer, started in the program folder
// the build assembles, with its settings in a temporary store.
#include <gtest/gtest.h>

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/gui/TfrmMains.h"
#include "devices/DeviceRecord.h"
#include "devices/gui/TfrmSelectDevice.h"
#include "sim/SimProgrammer.h"
#include "support/SampleParts.h"
#include "support/TestSupport.h"

namespace tesmar::test {

struct RigOptions {
    bool openWindow = true;   // false: the test calls start() when it has set up the programmer
    bool answerBoxes = true;  // answer every message box with OK
};

class MainWindowRig : public ::testing::Test {
protected:
    explicit MainWindowRig(RigOptions options = {});
    void SetUp() override;
    void TearDown() override;

    // Opens the main window in the current folder; a selected device puts a
    // blank chip of its kind in the simulator's socket.
    TfrmMains& start();
    TfrmMains& w() { return *window_; }
    AppState& st() { return window_->state(); }
    MessageBoxAnswerer& boxes() { return *boxes_; }

    // Chooses a device through the selection dialog, as a user would.
    void select(int family, int manufacturer, int device);
    void select(const DevicePlace& at) { select(at.family, at.manufacturer, at.device); }
    // Opens the selection dialog and lets `act` work on it (it must close it).
    void select(std::function<void(TfrmSelectDevice&)> act);
    // Empties the memo and the simulator's log, so a test sees only what follows.
    void clearLogs();
    // The counters beside the toolbar: programmed, correct, failed.
    QStringList counters() { return {w().TotalProg->text(), w().ProgCorrect->text(), w().ProgFail->text()}; }

    TempSettings settings_;
    sim::SimProgrammer sim_;
    // The port the window opens when start() runs; null: the simulator itself.
    UsbPort* port_ = nullptr;
    std::unique_ptr<TfrmMains> window_;
    std::optional<MessageBoxAnswerer> boxes_;

private:
    RigOptions options_;
    QString oldDir_;
};

}  // namespace tesmar::test
