#pragma once
// PIC18 microcontrollers ('C' records of algorithm 18). The part holds, in
// the order its read stream sends them:
//   'p' the code, in device order: each 16-bit word low byte first
//       (LastAddress + 1 bytes); an erased word reads 0xFF, BlankByte;
//   'd' the data EEPROM (DataEepromSize + 1 bytes, parts whose StepMask has
//       bit 1), bytes in device order; erased it reads BlankByte, 0xFF pairs;
//   'i' the eight ID bytes, words low byte first like the code;
//       then, on parts whose StepMask has bit 3, one calibration word (two
//       bytes) that has no frame letter and cannot be programmed;
//   'c' the 14 configuration bytes CONFIG1H, CONFIG1L ... CONFIG7H, CONFIG7L;
//       erased they read the record's default bytes (ConfigMasks).
// Family frames:
//   'C',v,'S','E'   set Vdd, v = volts x 25; 'P',v,'S','E' set Vpp, v = volts x 10; no reply;
//   "ER",letter,0   the read stream: that area and every later one, whole;
//   "EP",'p',param  program the code: "Send", then the code words low byte first,
//                   in as many writes as the host likes; each word is answered
//                   "OK", or "EE" followed by the word as the part holds it and
//                   the word the host sent (high bytes first). After a failure
//                   nothing more is programmed or answered, and the firmware
//                   still takes the rest of the current 0x6000-byte block (the
//                   host's write that was on its way), then looks for frames again;
//   "EP",'d',0      the data EEPROM: "Send", the whole area, one answer per two bytes
//                   as for code (after a failure the rest of the area is taken);
//   "EP",'i',0      the IDs: "Send", eight bytes, one answer per word as for code;
//   "EP",'c',0      the configuration: "Send", 14 bytes, then 14 answer bytes
//                   ('D' good, 'F' does not read back);
//   "EE23"          bulk erase, no reply; "ES23" the data EEPROM erase of page code 32 parts;
//   "EI",0,0        the device ID: DEVID1 (device bits 7-5 = DeviceId2, revision in
//                   bits 4-0), then DEVID2 (= DeviceId).
//
// Code and ID cells are flash that only an erase sets again: programming
// clears bits (old AND new). Data EEPROM and configuration bytes take the
// value written (the firmware runs an erase/write cycle per byte), except on
// parts the record does not allow to erase (OTP), whose configuration bytes
// also only clear bits and which ignore the bulk erase (noted as a host fault).
//
// Configuration bytes: the bits an erased part reads as 1 (the record's
// default bytes) are the ones it implements; every other bit reads 0. Bits
// the host sends set where the part has none change nothing and are listed
// in configNotes().
//
// Protection, on the page codes that have configuration pages (27, 28, 34 to
// 38, 41 to 45): CONFIG5L bits 5-0 (CP0..CP5) and CONFIG5H bit 6 (CPB)
// protect the code, CONFIG5H bit 7 (CPD) the data EEPROM; a 0 in any of them
// that the part implements makes every byte of that memory read 0 in the
// stream and makes programming it fail (it reads back 0). IDs and
// configuration stay readable. Protection bits only clear when programmed:
// only a bulk erase lifts protection. Blocks are not modelled: protecting one
// block hides the whole code. Write and table-read protection act inside the
// running part only and change nothing here.
//
// Addresses for stuck bits (FaultPlan::stuckOnes) are the offsets of the
// program's buffer image: code device byte n at n ^ 1 (the buffer keeps each
// word high byte first); ID byte i at 0xF0000 + (i ^ 1); configuration byte i
// at 0xF0010 + i; EEPROM byte k at 0xF0200 + k.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "devices/DeviceRecord.h"
#include "sim/PicCommon.h"

namespace tesmar::sim {

inline constexpr std::size_t kPic18ConfigBytes = 14;
inline constexpr std::size_t kPic18IdBytes = 8;
inline constexpr std::size_t kPic18CalibrationBytes = 2;
// The code program data comes in blocks of at most this many bytes.
inline constexpr std::size_t kPic18CodeBlock = 0x6000;
inline constexpr std::uint32_t kPic18IdImage = 0xF0000;
inline constexpr std::uint32_t kPic18ConfigImage = 0xF0010;
inline constexpr std::uint32_t kPic18DataImage = 0xF0200;

class Pic18Chip : public PicFamilyChip {
public:
    enum class Area { Code, Data, Id, Calibration, Config };

    struct Params {
        std::size_t codeBytes = 0;        // LastAddress + 1
        std::uint8_t blank = 0xFF;        // BlankByte
        std::size_t dataBytes = 0;        // 0 = no data EEPROM
        bool calibrationWord = false;     // StepMask bit 3
        std::array<std::uint8_t, kPic18ConfigBytes> configDefaults{};
        bool flash = true;                // Buttons allow erasing
        bool dataErase = false;           // page code 32: "ES23"
        std::uint8_t pageCode = 0;        // chooses the protection bits
        std::array<std::uint8_t, 2> deviceId{0, 0};  // as sent: DEVID1, DEVID2
        std::array<std::uint8_t, 2> calibration{0xFF, 0xFF};
    };

    explicit Pic18Chip(const Params& params);

    // A new part for a PIC18 record: erased code, data (StepMask bit 1), IDs,
    // the default configuration bytes, and a device ID that matches the
    // record with revision 3 in the free bits.
    static std::shared_ptr<Pic18Chip> blankFor(const tesmar::DeviceRecord& rec);

    bool handleFrame(const Frame& frame, FrameContext& ctx) override;
    std::string technology() const override;

    const Params& params() const { return params_; }

    // The areas as the part holds them, in device order.
    const std::vector<std::uint8_t>& code() const { return memory(); }
    const std::vector<std::uint8_t>& dataEeprom() const { return data_; }
    const std::vector<std::uint8_t>& ids() const { return ids_; }
    const std::array<std::uint8_t, kPic18ConfigBytes>& config() const { return config_; }
    std::array<std::uint8_t, 2> calibration() const { return params_.calibration; }
    std::array<std::uint8_t, 2> deviceIdReply() const { return params_.deviceId; }
    // ID location n (0..7, IDLOC0 at device address 0x200000), whatever the host's buffer layout.
    std::uint8_t idLocation(std::size_t n) const { return n < ids_.size() ? ids_[n] : 0xFF; }
    bool allErased() const;
    bool codeProtected() const override { return configRules().codeProtected(config_); }
    bool dataProtected() const override { return configRules().dataProtected(config_); }

    // A part programmed elsewhere (device order); bytes past an area's end are dropped.
    void loadCode(std::size_t offset, std::span<const std::uint8_t> bytes) { load(offset, bytes); }
    void loadData(std::size_t offset, std::span<const std::uint8_t> bytes) { loadInto(data_, offset, bytes); }
    void loadIds(std::size_t offset, std::span<const std::uint8_t> bytes) { loadInto(ids_, offset, bytes); }
    // Configuration bytes set directly: bits the part does not implement stay 0.
    void loadConfig(std::size_t offset, std::span<const std::uint8_t> bytes);

    // The bytes of the read stream that starts at that area (empty when the part lacks it).
    std::vector<std::uint8_t> streamFrom(Area start) const;

    // What the host did (read these between operations): commands() lists
    // "Vdd 125", "Vpp 130", "ER p", "EP p 0x40", "EP c", "EE23", "ES23", "EI".
    // The fourth byte of the last code program frame.
    std::optional<std::uint8_t> lastProgramParam() const { return programParam_; }
    // The data bytes the host sent after the last accepted "EP" of an area, as sent.
    std::vector<std::uint8_t> lastProgramData(Area area) const { return programDataAt(std::size_t(area)); }
    // The size of each host write of code program data (the frame excluded) is
    // not visible here: see SimProgrammer::hostWrites().

    // Called by the program streams: programs two bytes (device order) of an
    // area at byte offset a and returns them as they then read.
    std::array<std::uint8_t, 2> programPair(Area area, std::size_t a, std::uint8_t b0, std::uint8_t b1,
                                            const FaultPlan& faults);
    std::uint8_t programConfig(std::size_t i, std::uint8_t value, const FaultPlan& faults);
    void noteProgramByte(Area area, std::uint8_t b) { noteProgramByteAt(std::size_t(area), b); }

protected:
    bool hasDataErase() const override { return params_.dataErase; }
    bool erasable() const override { return params_.flash; }
    void bulkErase(const FaultPlan& faults) override;
    void eraseData() override;
    std::optional<std::vector<std::uint8_t>> readStream(std::uint8_t letter) const override;

private:
    std::optional<Area> areaOf(std::uint8_t letter) const;
    PicWordResult writePair(Area area, std::size_t a, std::uint8_t b0, std::uint8_t b1, const FaultPlan& faults);

    Params params_;
    std::vector<std::uint8_t> data_, ids_;
    std::array<std::uint8_t, kPic18ConfigBytes> config_{};
    std::optional<std::uint8_t> programParam_;
};

}  // namespace tesmar::sim
