#include "common/Sessions.h"

#include <map>
#include <memory>

#include "app/Paths.h"
#include "common/FuzzRig.h"
#include "devices/BufferLayout.h"
#include "link/Link.h"
#include "link/UsbPort.h"
#include "operations/Dispatch.h"

namespace tesmar::fuzz {

const std::vector<DeviceRecord>& operationRecords() {
    static const std::vector<DeviceRecord> records = [] {
        std::vector<DeviceRecord> v;
        for (const DeviceRecord& r : sampleRecords())
            if (familyHasRoutine(r)) v.push_back(r);
        if (v.empty()) fail("no sample record has an operation routine");
        return v;
    }();
    return records;
}

std::string_view operationLetters(const DeviceRecord& rec) {
    return rec.FamilyLetter == 'P' ? std::string_view("RBPVES") : std::string_view("RBPVE");
}

void prepareOperation(AppState& st, const OperationSetup& setup) {
    const auto& records = operationRecords();
    const std::size_t index = setup.record % records.size();
    const DeviceRecord& rec = records[index];
    const bool oddEven = rec.FamilyLetter == 'R' && (setup.flags & OperationSetup::OddEven);

    // The image a selection (and the odd/even option) leaves, made once per device.
    static std::map<std::pair<std::size_t, bool>, ImageBuffer> images;
    auto [it, fresh] = images.try_emplace({index, oddEven});
    if (fresh) {
        selectionImage(it->second, rec);
        if (oddEven) allocateOddEven(it->second, rec);
    }
    st.CurrentDevice = std::make_shared<const DeviceRecord>(rec);
    st.buf = it->second;
    st.OddEvenMode = oddEven ? 1 : 0;
    st.ProgrammerState = 1;
    st.settings.IdCheckOption = (setup.flags & OperationSetup::IdCheck) ? 1 : 0;
    st.settings.VerifyMaxMin = (setup.flags & OperationSetup::VerifyMaxMin) ? 1 : 0;
    st.settings.InsertionTest = (setup.flags & OperationSetup::InsertionTest) ? 1 : 0;
    st.settings.ProgramSteps = setup.steps;
    st.mcu.SdpEnable = (setup.flags & OperationSetup::SdpEnable) ? 1 : 0;
    McuConfig& m = st.mcu;
    m.McuConfigKnown = setup.config & OperationSetup::Known;
    m.FuseLow = setup.fuses[0];
    m.FuseHigh = setup.fuses[1];
    m.FuseExt = setup.fuses[2];
    m.LockBits = setup.fuses[3];
    m.SecurityByte = setup.fuses[4];
    m.ProgramCalibration = (setup.config & OperationSetup::ProgramCalibration) ? 1 : 0;
    m.CalibrationRead = setup.config & OperationSetup::CalibrationRead;
    m.CalibrationIndex = setup.calibrationIndex;
    m.CalibrationAddress = setup.calibrationAddress;
    m.CalibrationBytes = setup.calibrationBytes;
    m.SerialFlashStatus = setup.status;
    m.SerialFlashStatus2 = setup.status2;
    st.pld.PldSecureFlag = (setup.config & OperationSetup::Secure) ? 1 : 0;
    const std::string_view letters = operationLetters(rec);
    st.OperationCode = letters[setup.operation % letters.size()];
    st.RunFlag = 1;
    st.ErrorFlag = 0;
    st.pause = [](int) {};
}

void runLinkSession(AppState& st, const LinkSetup& setup) {
    st.FirmwareDir = runDir() + "/usbf/";
    st.McuFirmwareDir = runDir() + "/usbm/";
    st.pause = [](int) {};
    ConnectProgrammer(st, setup.flags & 1);
    if (st.ProgrammerState != 1) return;

    const auto& records = sampleRecords();
    const DeviceRecord& rec = records[setup.record % records.size()];
    st.CurrentDevice = std::make_shared<const DeviceRecord>(rec);
    st.ErrorFlag = 0;
    ReopenForSelection(st);
    if (!st.usb || !st.usb->isOpen()) return;
    if (st.ErrorFlag.get() == 0) SendFpgaFile(st, resolveFile(st.FirmwareDir, rec.FpgaFile + ".rbf"));
    if (st.ErrorFlag.get() == 0) SendMcuFile(st, resolveFile(st.McuFirmwareDir, rec.McuFile + ".bin"));
    if (st.ErrorFlag.get() == 0) SendDeviceParameters(st);
    CheckOverCurrent(st);
}

}  // namespace tesmar::fuzz
