#pragma once
// The program's shared state: run state, persisted settings, the selected
// device, the memory image, the configuration values and the load/save state.
// The main window owns one AppState; tests make their own.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devices/DeviceRecord.h"

namespace tesmar {

class Host;
class UsbPort;
class FileProgress;  // fileformats/FileProgress.h

// A failure counter that never wraps back to "no failure".
class ErrorCounter {
public:
    std::uint8_t get() const { return v_.load(); }
    operator std::uint8_t() const { return v_.load(); }
    void set(std::uint8_t value) { v_.store(value); }
    ErrorCounter& operator=(std::uint8_t value) { set(value); return *this; }
    void increment() {
        std::uint8_t cur = v_.load();
        while (cur != 0xFF && !v_.compare_exchange_weak(cur, std::uint8_t(cur + 1))) {}
    }

private:
    std::atomic<std::uint8_t> v_{0};
};

// The memory image and its companions. Offsets, never raw pointers; every
// access is checked against DeviceBuffer.size().
struct ImageBuffer {
    std::vector<std::uint8_t> DeviceBuffer;
    std::uint32_t BufferViewSize = 0;     // valid bytes, never more than DeviceBuffer.size()
    std::uint32_t BufferLastAddress = 0;  // DeviceRecord::LastAddress at selection
    std::size_t BufferCursor = 0;
    std::size_t HighestLoad = 0;
    std::size_t LowestLoad = 0;
    std::uint32_t BufferChecksum = 0;

    std::size_t size() const { return DeviceBuffer.size(); }
    // Replaces the block; view size = the new size, cursor and load extent at its start.
    void replace(std::size_t newSize) {
        DeviceBuffer.assign(newSize, 0);
        DeviceBuffer.shrink_to_fit();
        BufferViewSize = std::uint32_t(newSize);
        BufferCursor = HighestLoad = LowestLoad = 0;
    }
};

// Persisted settings (the sixteen registry values) and the options.
struct Settings {
    std::uint16_t SoftwareRevision = 1052;
    std::uint8_t SoundOn = 0;
    std::uint8_t IdCheckOption = 1;
    std::uint8_t InsertionTest = 1;
    std::uint8_t VerifyMaxMin = 1;
    std::uint8_t ProgramSteps = 0;
    std::int32_t ManufacturerIndex = 0;
    std::int32_t DeviceIndex = 0;
    std::uint32_t LastSessionTotal = 0;
    std::uint32_t GrandTotal = 0;
    std::int32_t FileTypeIndex = 1;
    std::string DeviceFileName = "zrvusb_r.usb";  // at most 19 characters
    std::string LoadSavePath;                     // at most 259 characters
    std::string ProgramDir;                       // at most 259 characters
    std::uint8_t OffsetAdd = 1;
    std::uint32_t OffsetValue = 0;
};

// Microcontroller, serial and flash configuration values edited by the
// configuration dialogs and sent by the family routines.
struct McuConfig {
    // Fuse and lock bits read 0 when programmed: lock and security bits start
    // unprogrammed.
    std::uint8_t FuseLow = 0, FuseHigh = 0, FuseExt = 0;
    std::uint8_t LockBits = 0xFF;
    std::uint8_t SecurityByte = 0xFF;
    std::array<std::uint8_t, 4> CalibrationBytes{};
    std::uint8_t CalibrationIndex = 1;  // 1..4: CAL0..CAL3
    std::uint8_t CalibrationValue = 0;
    std::uint32_t CalibrationAddress = 0;  // offset in the image
    std::uint8_t ProgramCalibration = 0;
    // CalibrationBytes came from a complete fuse read of the chip now
    // selected: only those may be stored in its image.
    bool CalibrationRead = false;
    std::uint8_t FusesRead = 0;
    // The microcontroller area of the step under way: 'P' code, '1'..'3' a
    // lock step, 0 none.
    char CurrentArea = 'P';
    std::uint8_t SdpEnable = 0;
    std::uint8_t SerialFlashStatus = 0;
    std::uint8_t SerialFlashStatus2 = 0;
    // The fuses, locks and security byte hold what a complete fuse read of
    // this chip found (by Read, or by the configuration dialog before it
    // shows a fuse page), with the user's changes on top, or the security
    // bits the user set. While it is clear the family leaves them out of
    // Program. Every microcontroller selection clears it.
    bool McuConfigKnown = false;
};

// Load/save choices that outlive the file-format dialog.
struct FileState {
    std::int8_t FileFormat = 0;    // 0 Intel HEX, 1 S-record, 2 binary, 3 INHX8M, 4 INHX16, 5 JEDEC, -1 cancelled
    std::uint8_t FillOption = 1;   // 1 device default, 2 0x00, 3 0xFF, 0 no fill
    std::int64_t SignedOffset = 0;
    std::uint8_t SaveMode = 0;
    std::uint32_t SaveStart = 0;
    std::uint32_t SaveStop = 0;
};

// PLD run values: derived from the chip's signature before every PLD
// operation (the record itself stays as the data file has it) and, for the
// secure flag, from the last JEDEC load.
struct PldRunState {
    std::int32_t PldType = 0;                 // the row of the geometry table in use
    double PldVpp = 0.0, PldVcc = 0.0;        // volts, sent as trunc(volts x 10)
    std::uint16_t PulseWidth = 0;             // only its low byte is sent
    std::uint16_t EraseTime = 0;              // sent divided by 5
    std::array<std::uint8_t, 20> PldSignature{};  // the last signature in reply order, then zeros
    std::uint8_t PldSecureFlag = 0;           // secure the part after a good Program
};

struct AppState {
    // Run state.
    std::uint8_t ProgrammerState = 0;       // 1: the programmer answered ready
    char HardwareVariant = 0;
    std::uint8_t AvailableFamilies = 0;     // bits 0-4: zrvusb_r/e/s/m/p.usb present
    std::atomic<char> OperationCode{0};
    std::atomic<std::uint8_t> RunFlag{1};
    ErrorCounter ErrorFlag;
    std::uint8_t OddEvenMode = 0;
    std::uint32_t TotalCount = 0, GoodCount = 0, FailCount = 0;
    std::uint8_t SelectCancelled = 0;
    std::uint32_t TransferCount = 0;
    // Flash parts: 1 while the whole chip may be erased; the chip-ID check clears it
    // when the chip reports protected blocks.
    std::uint8_t ChipErasable = 1;
    std::string FirmwareDir, McuFirmwareDir;  // ProgramDir + "/usbf/", "/usbm/"
    // The settings store this run: where its old file was kept after a read
    // that was not whole (said once in the log), and whether the store must
    // be left alone because no such copy could be made.
    std::string SettingsKeptAs;
    bool SettingsFrozen = false;

    Settings settings;
    McuConfig mcu;
    FileState file;
    ImageBuffer buf;
    PldRunState pld;

    // The selected device; null before the first selection.
    std::shared_ptr<const DeviceRecord> CurrentDevice;

    // Serial-number auto-increment.
    std::array<std::uint32_t, 4> AutoIncAddress{};
    bool AutoIncrement = false;

    // Progress gauge of the running operation, as the family routines see it.
    int GaugeMax = 0;
    int GaugePos = 0;

    // Ports. Not owned.
    Host* host = nullptr;
    UsbPort* usb = nullptr;

    // Fixed pauses of the protocol (start-up retries, pauses around an
    // operation). Tests shorten them.
    std::function<void(int ms)> pause;

    // Called after each completed selection with a programmer (the simulated
    // programmer puts a matching blank chip in its socket).
    std::function<void(const DeviceRecord&)> onDeviceSelected;

    // Called when an IC test pass starts, with the IC's name and pin count
    // (the simulated programmer puts a good IC of that kind in its socket).
    std::function<void(const std::string& icName, int pins)> onIcTestStart;

    // Opens the small progress window of a file load or save. The forms layer
    // sets it; without it loads and saves run without a window.
    std::function<std::shared_ptr<FileProgress>()> openFileProgress;

    const DeviceRecord* dev() const { return CurrentDevice.get(); }
};

// The fixed pause, through AppState::pause when set.
void pauseMs(AppState& st, int ms);

// Gauge helpers: keep GaugeMax/GaugePos and forward to the host only when the
// shown value changes by at least 1/200 of the range.
void setGaugeMax(AppState& st, int maximum);
void setGaugePos(AppState& st, int position);
void advanceGauge(AppState& st, int by);

// Advances the gauge once per block for a routine that counts its bytes a
// few at a time: add() only counts, and the gauge moves when a block's worth
// (1/400 of the gauge maximum set when the batch starts) has gathered, on
// flush() and when the batch ends.
class GaugeBatch {
public:
    explicit GaugeBatch(AppState& st);
    ~GaugeBatch() { flush(); }
    GaugeBatch(const GaugeBatch&) = delete;
    GaugeBatch& operator=(const GaugeBatch&) = delete;

    void add(std::uint32_t bytes) {
        pending_ += bytes;
        if (pending_ >= block_) flush();
    }
    void flush();

private:
    AppState& st_;
    std::uint32_t block_;
    std::uint32_t pending_ = 0;
};

}  // namespace tesmar
