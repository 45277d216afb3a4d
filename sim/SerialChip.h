#pragma once
// Serial EEPROMs and serial flash memories ('S'). Family frames:
//   "ER",0,0  the main array as one stream, followed by the status register
//             bytes (none, one, or two for page code 103);
//   "Er",0,0  the extra area of the parts that have one (32 bytes); for those
//             parts the status bytes follow this stream instead, since the host
//             reads them after the extra area;
//   "EP",0,0  program: the whole main array follows, answered with one 4-byte
//             acknowledgement per 4 data bytes ('D' for a byte that reads back
//             as written, kSerialProgramFailure for one that does not); then
//             the status register bytes, one raw byte each;
//   "EE",0,0  erase: "Done" ("Fail" when the erase fails);
//   "Ei",0,0  identify, two signature bytes; "EI",0,0 three.
//
// A part with a signature (maker id non-zero) is taken for a serial flash:
// programming only clears bits, and only an erase sets them again. The others
// are EEPROMs, whose cells take each written value as it is.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "devices/DeviceRecord.h"
#include "sim/Chip.h"

namespace tesmar::sim {

// The acknowledgement byte of a program data byte that does not read back.
inline constexpr std::uint8_t kSerialProgramFailure = 'F';
// The one part with an extra area, and that area's size.
inline constexpr const char* kSerialExtraAreaPart = "AT24RF08C";
inline constexpr std::size_t kSerialExtraAreaSize = 32;
// The page code of the parts with a second status byte.
inline constexpr std::uint8_t kSerialTwoStatusPage = 103;

class SerialChip : public Chip {
public:
    struct Params {
        std::size_t size = 0;
        std::uint8_t blank = 0xFF;
        // Two bytes for parts asked with "Ei", three for those asked with "EI".
        std::vector<std::uint8_t> signature;
        std::uint8_t pageCode = 0;     // 0: no status register; 103: two status bytes; else one
        bool wordOrganised = false;    // the array takes whole 16-bit words
        bool flash = false;            // programming only clears bits
        std::size_t extraSize = 0;     // bytes of the extra area
    };

    explicit SerialChip(const Params& params);

    // A blank part for an 'S' record: size LastAddress + 1 erased to
    // BlankByte, signature MakerId, DeviceId (and DeviceId2 when non-zero),
    // the status register from PageCode, 16-bit organisation when PulseWidth
    // is 16, and the extra area for the part named exactly "AT24RF08C".
    static std::shared_ptr<SerialChip> blankFor(const tesmar::DeviceRecord& rec);

    bool handleFrame(const Frame& frame, FrameContext& ctx) override;
    std::string technology() const override;

    const Params& params() const { return params_; }
    bool isFlash() const { return params_.flash; }

    // The status register: statusByteCount() bytes, all 0 on a new part.
    std::size_t statusByteCount() const;
    std::uint8_t status(std::size_t i) const { return i < status_.size() ? status_[i] : 0; }
    void setStatus(std::size_t i, std::uint8_t value);
    std::vector<std::uint8_t> statusBytes() const { return status_; }

    // The extra area (erased to BlankByte on a new part; an erase leaves it alone).
    std::size_t extraSize() const { return extra_.size(); }
    const std::vector<std::uint8_t>& extraArea() const { return extra_; }
    // Sets extra-area bytes directly; bytes past its end are dropped.
    void loadExtra(std::size_t offset, std::span<const std::uint8_t> bytes);

    // Writes one cell the way this technology does (flash: old AND value;
    // EEPROM: value), with stuckOnes staying set. Returns what it reads afterwards.
    std::uint8_t writeCell(std::size_t address, std::uint8_t value, std::uint8_t stuckOnes);

    // What the firmware received (read these between operations).
    unsigned readCommands() const { return readCommands_; }
    unsigned extraReadCommands() const { return extraReadCommands_; }
    unsigned programCommands() const { return programCommands_; }
    unsigned eraseCommands() const { return eraseCommands_; }
    // The identify letters in the order they came ('i' or 'I').
    const std::string& identifyRequests() const { return identifyRequests_; }
    // Data bytes taken after the last "EP" (the array size when all came).
    std::size_t lastProgramBytes() const { return lastProgramBytes_; }
    // Status bytes the host wrote after the last "EP" data, in order (fewer
    // than statusByteCount() when it stopped short, e.g. after an Abort).
    const std::vector<std::uint8_t>& lastStatusWritten() const { return lastStatusWritten_; }
    // Every status byte written since the part was made, in order.
    const std::vector<std::uint8_t>& statusWriteLog() const { return statusWriteLog_; }

    // Called by the program stream.
    void noteProgramByte() { ++lastProgramBytes_; }
    void takeStatusByte(std::size_t index, std::uint8_t value);

private:
    Params params_;
    std::vector<std::uint8_t> status_;
    std::vector<std::uint8_t> extra_;
    unsigned readCommands_ = 0, extraReadCommands_ = 0, programCommands_ = 0, eraseCommands_ = 0;
    std::string identifyRequests_;
    std::size_t lastProgramBytes_ = 0;
    std::vector<std::uint8_t> lastStatusWritten_, statusWriteLog_;
};

}  // namespace tesmar::sim
