#include "support/MainWindowRig.h"

#include <QDir>

namespace tesmar::test {

MainWindowRig::MainWindowRig(RigOptions options) : options_(options) {}

void MainWindowRig::SetUp() {
    oldDir_ = QDir::currentPath();
    QDir::setCurrent(runDir());
    if (options_.answerBoxes) boxes_.emplace();
    if (options_.openWindow) start();
}

void MainWindowRig::TearDown() {
    window_.reset();
    boxes_.reset();
    QDir::setCurrent(oldDir_);
}

TfrmMains& MainWindowRig::start() {
    window_.reset();
    window_ = std::make_unique<TfrmMains>(port_ ? port_ : &sim_, [](int) {});
    st().onDeviceSelected = [this](const DeviceRecord& r) { sim_.insertBlankChipFor(r); };
    return *window_;
}

void MainWindowRig::select(int family, int manufacturer, int device) {
    select([=](TfrmSelectDevice& d) {
        d.RadioButton[family]->click();
        d.ListBox1->setCurrentRow(manufacturer);
        d.ListBox2->setCurrentRow(device);
        d.BitBtn1->click();
    });
}

void MainWindowRig::select(std::function<void(TfrmSelectDevice&)> act) {
    onNextModal([act](QWidget* d) { act(*static_cast<TfrmSelectDevice*>(d)); }, "tesmar::TfrmSelectDevice");
    w().SB_Select->click();
}

void MainWindowRig::clearLogs() {
    w().Memo1->clear();
    sim_.clearLog();
}

}  // namespace tesmar::test
