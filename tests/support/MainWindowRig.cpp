#include "support/MainWindowRig.h"

#include <QDir>

#include "devices/DeviceDataFile.h"

namespace tesmar::test {

std::optional<FoundDevice> findDevice(int family, const std::function<bool(const DeviceRecord&)>& want) {
    DeviceDataFile file;
    if (!file.open(QDir(runDir()).filePath(kFamilyFileNames[family]).toStdString())) return std::nullopt;
    for (int m = 0; m < file.manufacturerCount(); ++m)
        for (int d = 0; d < int(file.deviceNames(m).size()); ++d)
            if (auto rec = file.record(m, d); rec && want(*rec)) return FoundDevice{*rec, {family, m, d}};
    return std::nullopt;
}

std::optional<FoundDevice> findDevice(int family, const std::string& name) {
    return findDevice(family, [&name](const DeviceRecord& r) { return r.Name == name; });
}

std::optional<FoundDevice> largestDevice(const std::function<bool(const DeviceRecord&)>& want) {
    std::optional<FoundDevice> best;
    // Each find takes a device larger than the best so far, until none is.
    for (int family = 0; family < 5; ++family)
        while (auto found = findDevice(family, [&](const DeviceRecord& r) {
                return want(r) && (!best || r.LastAddress > best->rec.LastAddress);
            }))
            best = found;
    return best;
}

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
