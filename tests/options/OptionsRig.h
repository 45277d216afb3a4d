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

#include "devices/DeviceRecord.h"
#include "devices/gui/TfrmSelectDevice.h"
#include "support/MainWindowRig.h"
#include "support/RecordImage.h"
#include "support/TestSupport.h"

namespace tesmar::test {

inline DeviceRecord deviceNamed(int family, const std::string& name) {
    const auto found = findDevice(family, name);
    EXPECT_TRUE(found) << name << " is not in " << kFamilyFileNames[family];
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

// The main window on the simulated programmer; devices are chosen by name.
class OptionsWindowRig : public MainWindowRig {
protected:
    using MainWindowRig::select;
    void select(int family, const std::string& name) {
        const auto found = findDevice(family, name);
        ASSERT_TRUE(found) << name;
        select(found->place);
        ASSERT_TRUE(st().dev());
        ASSERT_EQ(st().dev()->Name, name);
        clearLogs();
    }
};

}  // namespace tesmar::test
