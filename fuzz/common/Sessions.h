#pragma once
// The sessions the two reply targets replay, shared with the seed maker that
// records them against the simulated programmer. An input is the setup's
// header bytes followed by the script of the programmer's answers (see
// ScriptedPort.h).
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "app/AppState.h"
#include "common/Script.h"
#include "devices/DeviceRecord.h"

namespace tesmar::fuzz {

// ---- fuzz_operation: one toolbar operation on a sample device -------------

// The operation buttons of a device's family with a routine: Read, Blank,
// Program, Verify, Erase, and for PLDs Secure (their Lock button).
std::string_view operationLetters(const DeviceRecord& rec);

struct OperationSetup {
    enum Flag : std::uint8_t {
        IdCheck = 1, VerifyMaxMin = 2, InsertionTest = 4, OddEven = 8, DeadAtEnd = 16, SdpEnable = 32,
    };
    // What the configuration dialog, a fuse read or a JEDEC load left behind.
    enum Config : std::uint8_t {
        Known = 1,               // McuConfigKnown: the fuses, locks and security byte are the user's
        Secure = 2,              // PldSecureFlag: the JEDEC file asked for the security fuse
        ProgramCalibration = 4,  // "Program @" is checked
        CalibrationRead = 8,     // the calibration bytes came from this chip
    };
    std::uint8_t record = 0;       // into operationRecords(), modulo its size
    std::uint8_t operation = 0;    // into operationLetters(), modulo its size
    std::uint8_t flags = 0;
    std::uint8_t steps = 0;        // ProgramSteps
    std::uint8_t abortAtRead = 0;  // Abort is pressed before that read (0: never)
    std::uint8_t config = 0;
    // FuseLow, FuseHigh, FuseExt, LockBits, SecurityByte.
    std::array<std::uint8_t, 5> fuses{0, 0, 0, 0xFF, 0xFF};
    std::uint8_t calibrationIndex = 1;
    std::uint32_t calibrationAddress = 0;
    std::array<std::uint8_t, 4> calibrationBytes{};
    std::uint8_t status = 0, status2 = 0;  // SerialFlashStatus, SerialFlashStatus2

    void read(Script& s) {
        record = s.byte();
        operation = s.byte();
        flags = s.byte();
        steps = s.byte();
        abortAtRead = s.byte();
        config = s.byte();
        for (auto& b : fuses) b = s.byte();
        calibrationIndex = s.byte();
        calibrationAddress = s.u32();
        for (auto& b : calibrationBytes) b = s.byte();
        status = s.byte();
        status2 = s.byte();
    }
    std::vector<std::uint8_t> bytes() const {
        std::vector<std::uint8_t> b{record, operation, flags, steps, abortAtRead, config};
        b.insert(b.end(), fuses.begin(), fuses.end());
        b.push_back(calibrationIndex);
        for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(calibrationAddress >> (8 * i)));
        b.insert(b.end(), calibrationBytes.begin(), calibrationBytes.end());
        b.push_back(status);
        b.push_back(status2);
        return b;
    }
};

// The sample records whose family has an operation routine.
const std::vector<DeviceRecord>& operationRecords();

// The state a selection leaves for the setup's device (image erased, options
// from the setup) with the operation letter set, as the toolbar hands it to
// the worker.
void prepareOperation(AppState& st, const OperationSetup& setup);

// ---- fuzz_link: start-up, a device selection and an operation's probe ------

struct LinkSetup {
    std::uint8_t flags = 0;   // bit 0 Reconnect, 1 serial read fails, 2 dead at end, 3 selection purge
                              // fails, bits 4-7 open attempts that fail
    std::uint8_t record = 0;  // into sampleRecords(), modulo its size
    std::vector<std::uint8_t> serial;  // the bridge's serial number, at most 15 bytes

    void read(Script& s) {
        flags = s.byte();
        record = s.byte();
        serial.resize(s.byte() % 16);
        for (auto& c : serial) c = s.byte();
    }
    std::vector<std::uint8_t> bytes() const {
        std::vector<std::uint8_t> b{flags, record, std::uint8_t(serial.size())};
        b.insert(b.end(), serial.begin(), serial.end());
        return b;
    }
};

// Connect (start-up or Reconnect), then with a ready programmer the uploads
// and parameters of a selection of the setup's device, then the probe that
// starts an operation. The port is st.usb.
void runLinkSession(AppState& st, const LinkSetup& setup);

}  // namespace tesmar::fuzz
