#pragma once
// Byte-wide parallel EEPROMs ('E') and flash memories ('F'). Family frames:
// read "ER", program "EP" (for some firmware followed by one option byte),
// erase "EE00", signature "EI".
//
// The firmware answers program data with 8 acknowledgement bytes per 8 data
// bytes ('D' for a byte that reads back as written, kFlashProgramFailure for
// one that does not) and keeps taking data either way: a bad cell shows only
// when the host reads the chip back. An erase answers "Done", except on the
// parts that need a pre-erase (maker 0x89 other than devices 0x94 and 0x95):
// those first send a 4-byte progress reply for every 4 bytes of the array,
// then "Good"; device 0xBD then sends its blank contents without being asked.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "devices/DeviceRecord.h"
#include "sim/Chip.h"

namespace tesmar::sim {

// The acknowledgement of a program data byte that does not read back.
inline constexpr std::uint8_t kFlashProgramFailure = 'F';
// Protection blocks that maker 0x01 device 0xA4 reports.
inline constexpr std::size_t kFlashProtectionBlocks = 8;
// The boot block, unless a test places it elsewhere: the top 16 KiB.
inline constexpr std::size_t kFlashBootBlockSize = 0x4000;

// Whether firmware of that name expects one option byte after "EP": a name
// that begins with the four characters "Fxxx" and whose fifth character (a
// NUL when the name is only four long) is none of 'n', 'S', 'R', 'T'.
bool flashTakesOptionByte(const std::string& mcuFile);

class FlashChip : public Chip {
public:
    struct Params {
        char family = 'F';  // 'F' flash (programming clears bits), 'E' EEPROM (writes the byte)
        std::size_t size = 0;
        std::uint8_t blank = 0xFF;
        std::uint8_t maker = 0;
        std::uint8_t device = 0;
        std::uint8_t pageCode = 0;  // 0x83: the chip-ID reply carries the boot-block flag
        bool optionByte = false;    // "EP" is followed by one option byte
    };

    explicit FlashChip(const Params& params);

    // A blank part for an 'E' or 'F' record: size LastAddress + 1, erased to
    // BlankByte, signature MakerId/DeviceId, the option byte from McuFile.
    static std::shared_ptr<FlashChip> blankFor(const tesmar::DeviceRecord& rec);

    bool handleFrame(const Frame& frame, FrameContext& ctx) override;
    std::string technology() const override;

    const Params& params() const { return params_; }
    bool isEeprom() const { return params_.family == 'E'; }
    // Maker 0x89 parts other than 0x94 and 0x95 answer an erase with progress replies and "Good".
    bool preErases() const;
    // Maker 0x89 device 0xBD sends its contents after the pre-erase's "Good".
    bool sendsContentsAfterErase() const;
    // How many 4-byte progress replies come before "Good": one per started
    // 4 bytes below LastAddress, as the host counts them.
    std::size_t preEraseReplies() const;
    // The chip-ID reply reports the eight block flags (maker 0x01 device 0xA4)
    // or the boot-block flag (page code 0x83).
    bool reportsBlockFlags() const;
    bool reportsBootBlock() const;

    // Protection. A protected cell keeps its value through program and erase.
    // Block i covers [i * size / 8, (i + 1) * size / 8).
    void setBlockProtected(std::size_t block, bool on);
    bool blockProtected(std::size_t block) const;
    void setBootBlockProtected(bool on) { bootProtected_ = on; }
    bool bootBlockProtected() const { return bootProtected_; }
    void setBootBlock(std::size_t begin, std::size_t length);
    bool cellProtected(std::size_t address) const;

    // Writes one cell the way this technology does (flash: old AND value;
    // EEPROM: value), with stuckOnes staying set; a protected cell is left
    // alone. Returns what the cell reads afterwards.
    std::uint8_t writeCell(std::size_t address, std::uint8_t value, std::uint8_t stuckOnes);
    // Erases every cell that is not protected.
    void eraseUnprotected();

    // What the firmware received (read these between operations).
    // The option byte of the last "EP", or none when it took no option byte.
    std::optional<std::uint8_t> lastOptionByte() const { return lastOption_; }
    unsigned programCommands() const { return programCommands_; }
    unsigned eraseCommands() const { return eraseCommands_; }

    // Called by the program stream.
    void noteOptionByte(std::uint8_t b) { lastOption_ = b; }

private:
    Params params_;
    std::array<bool, kFlashProtectionBlocks> blockProtected_{};
    bool bootProtected_ = false;
    std::size_t bootBegin_ = 0, bootLength_ = 0;
    std::optional<std::uint8_t> lastOption_;
    unsigned programCommands_ = 0, eraseCommands_ = 0;
};

}  // namespace tesmar::sim
