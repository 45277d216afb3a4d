#pragma once
// What every reader and writer shares: the store rule, the progress meter,
// the PIC area map and the record-level helpers. LoadFile and SaveFile build
// a frame, hand it to the format, and report from what it leaves behind.
#include <cstdint>
#include <memory>

#include "app/AppState.h"
#include "fileformats/HexText.h"

namespace tesmar {

class FileProgress;

// ErrorFlag codes of a load.
enum LoadError : std::uint8_t {
    kLoaded = 0,
    kReadFailed = 1,
    kChecksumError = 2,
    kNotIntelHex = 20,
    kNotMotorola = 21,
    kNotInhx8m = 22,
    kNotInhx16 = 23,
    kNotJedec = 24,
    kOutsideBuffer = 70,
};

// PIC areas still absent from a file being loaded.
enum PicMissing : std::uint8_t { kMissingData = 1, kMissingConfig = 2, kMissingId = 4 };

// Moves the progress window only when its percentage changes.
class ProgressMeter {
public:
    ProgressMeter(std::shared_ptr<FileProgress> window, std::uint64_t fullScale);
    // Position = buffer offset reached; shown as offset x 100 / full scale.
    void update(std::int64_t position);
    int shown() const { return shown_; }

private:
    std::shared_ptr<FileProgress> window_;
    std::uint64_t full_;
    int shown_ = 0;
};

// One fixed PIC area: where it sits in the buffer and in an INHX8M file.
struct PicArea {
    bool present = false;
    std::uint32_t buf = 0;   // buffer offset
    std::uint32_t file = 0;  // INHX8M byte address (PIC18: the full address, 0x200000...)
    std::uint32_t word = 0;  // INHX16 word address
    std::uint32_t len = 0;   // bytes in the buffer
};

// The PIC areas of a device, from its algorithm and page code.
struct PicAreaMap {
    bool pic18 = false;
    bool enhanced = false;        // page code 46 and above
    bool eepromPlace = false;     // the device has a data EEPROM place
    bool writeEeprom = false;     // the writers emit the EEPROM section
    std::uint32_t codeBytes = 0;  // (LastAddress OR 0xF) + 1
    PicArea id, config, eeprom;
    std::uint8_t initialMissing = 0;
    // Highest buffer offset + 1 that any area reaches.
    std::uint64_t end() const;
};
PicAreaMap picAreaMap(const DeviceRecord& rec);

struct LoadFrame {
    AppState& st;
    const DeviceRecord& rec;
    FileReader& in;
    ProgressMeter& meter;
    std::uint8_t* buf;
    std::uint64_t view;             // stores reach [0, view)
    std::uint64_t loadDeviceBytes;  // past it the file is bigger than the device
    std::int64_t offset;            // SignedOffset
    std::uint8_t error = kLoaded;
    bool fileTooBig = false;
    bool stored = false;
    std::uint64_t highest = 0, lowest = 0;
    PicAreaMap pic;
    std::uint8_t missing = 0;

    // The store rule for one byte at a buffer position; false when the load
    // must stop because the position lies outside the buffer.
    bool store(std::int64_t at, std::uint8_t b) {
        if (at > std::int64_t(loadDeviceBytes)) fileTooBig = true;
        if (at < 0 || std::uint64_t(at) >= view) {
            error = kOutsideBuffer;
            return false;
        }
        buf[at] = b;
        note(std::uint64_t(at), std::uint64_t(at));
        return true;
    }
    // The same rule for n consecutive bytes, stopping at the first that fails.
    bool storeRun(std::int64_t at, const std::uint8_t* src, std::size_t n);

    // Reads `count` hexadecimal pairs. A pair that is not hexadecimal sets
    // `formatError`; the end of the file inside a record is a failed read. On
    // failure `good` (when given) receives how many pairs were read whole.
    bool readPairs(std::uint8_t* out, std::size_t count, std::uint8_t formatError, std::size_t* good = nullptr);
    // Moves past the next record mark. Before the first record only the mark
    // (and, for S-records, ':') may stand: anything else prints `notThisFile`
    // and ends the load with `formatError`, as does the end of the file.
    bool seekMark(char mark, bool& first, std::uint8_t formatError, const char* notThisFile, bool colonBeforeFirst = false);
    // A failed file read: the "File ERROR" box, code 1.
    void readFailed();

private:
    void note(std::uint64_t lo, std::uint64_t hi) {
        if (!stored) {
            stored = true;
            lowest = lo;
            highest = hi;
            return;
        }
        if (lo < lowest) lowest = lo;
        if (hi > highest) highest = hi;
    }
};

struct SaveFrame {
    AppState& st;
    const DeviceRecord& rec;
    FileWriter& out;
    ProgressMeter& meter;
    const std::uint8_t* buf;
    std::uint64_t size;             // bytes in the buffer
    std::uint64_t start, stop;      // inclusive, inside the buffer
    std::uint64_t loadDeviceBytes;
    PicAreaMap pic;
};

// The readers and writers, one per format.
void ReadIntelHex(LoadFrame& f);
void WriteIntelHex(SaveFrame& f);
void ReadSRecords(LoadFrame& f);
void WriteSRecords(SaveFrame& f);
void ReadBinary(LoadFrame& f);
void WriteBinary(SaveFrame& f);
void ReadInhx8m(LoadFrame& f);
void WriteInhx8m(SaveFrame& f);
void ReadInhx16(LoadFrame& f);
void WriteInhx16(SaveFrame& f);
// JEDEC fuse maps of PLDs. The writer returns false, having written nothing,
// for a device without fuse geometry.
void LoadJedecFile(LoadFrame& f);
bool SaveJedecFile(SaveFrame& f);

}  // namespace tesmar
