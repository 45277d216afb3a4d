#pragma once
// Records for the options tests: real ones from the generated family files,
// raw 192-byte images where the sample data has no such device, and a main
// window driving the simulated programmer.
#include <gtest/gtest.h>

#include <QDir>
#include <QString>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "app/gui/TfrmMains.h"
#include "devices/DeviceDataFile.h"
#include "devices/DeviceRecord.h"
#include "devices/gui/TfrmSelectDevice.h"
#include "sim/SimProgrammer.h"
#include "support/RecordImage.h"
#include "support/TestSupport.h"

namespace tesmar::test {

inline const char* const kFamilyFile[5] = {"zrvusb_r.usb", "zrvusb_e.usb", "zrvusb_s.usb", "zrvusb_m.usb",
                                           "zrvusb_p.usb"};

struct FoundDevice {
    DeviceRecord rec;
    int family = 0;  // radio index of the family file
    int manufacturer = 0, device = 0;
};

// The first device of that name in the family file (by radio index).
inline std::optional<FoundDevice> findDevice(int family, const std::string& name) {
    DeviceDataFile file;
    if (!file.open(QDir(runDir()).filePath(kFamilyFile[family]).toStdString())) return std::nullopt;
    for (int m = 0; m < file.manufacturerCount(); ++m) {
        const auto names = file.deviceNames(m);
        for (int d = 0; d < int(names.size()); ++d)
            if (names[std::size_t(d)] == name)
                if (auto rec = file.record(m, d)) return FoundDevice{*rec, family, m, d};
    }
    return std::nullopt;
}

inline DeviceRecord deviceNamed(int family, const std::string& name) {
    const auto found = findDevice(family, name);
    EXPECT_TRUE(found) << name << " is not in " << kFamilyFile[family];
    return found ? found->rec : DeviceRecord{};
}

// A raw record for parts the sample data lacks: an 'M' part that allows
// every general option and has every toolbar button.
struct RawRecord : RecordSpec {
    RawRecord() {
        letter = 'M';
        lastAddress = 0xFFF;
        optionMask = 0xBF;
        buttons = 0x05FF;
        name = "RAW PART";
    }
};

// The main window on the simulated programmer, started in the program folder.
class MainWindowRig : public ::testing::Test {
protected:
    void SetUp() override {
        oldDir_ = QDir::currentPath();
        QDir::setCurrent(runDir());
        window_ = std::make_unique<TfrmMains>(&sim_, [](int) {});
        st().onDeviceSelected = [this](const DeviceRecord& r) { sim_.insertBlankChipFor(r); };
    }
    void TearDown() override {
        window_.reset();
        QDir::setCurrent(oldDir_);
    }
    TfrmMains& w() { return *window_; }
    AppState& st() { return window_->state(); }

    // Chooses the device through the selection dialog.
    void select(int family, const std::string& name) {
        const auto found = findDevice(family, name);
        ASSERT_TRUE(found) << name;
        const FoundDevice f = *found;
        onNextModal(
            [f](QWidget* d) {
                auto& dlg = *static_cast<TfrmSelectDevice*>(d);
                dlg.RadioButton[f.family]->click();
                dlg.ListBox1->setCurrentRow(f.manufacturer);
                dlg.ListBox2->setCurrentRow(f.device);
                dlg.BitBtn1->click();
            },
            "tesmar::TfrmSelectDevice");
        w().SB_Select->click();
        ASSERT_TRUE(st().dev());
        ASSERT_EQ(st().dev()->Name, name);
        w().Memo1->clear();
        sim_.clearLog();
    }

    TempSettings settings_;
    sim::SimProgrammer sim_;
    std::unique_ptr<TfrmMains> window_;
    MessageBoxAnswerer boxes_;
    QString oldDir_;
};

}  // namespace tesmar::test
