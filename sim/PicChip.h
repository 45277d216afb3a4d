#pragma once
// PIC microcontrollers with 12- and 14-bit program words ('C' other than
// PIC18). The part holds up to five areas, each named by a frame letter:
//   'p' the code words, high byte first (LastAddress + 1 bytes);
//   'd' the data EEPROM: one word per EEPROM byte, the byte in the low half,
//       the high half reading as the blank byte (letter 0 on page code 40);
//   'i' four ID words; on algorithm 11 parts the backup copy of the
//       calibration word follows them in the stream;
//   'k' the calibration word (parts whose StepMask has bit 3);
//   'c' the configuration bytes.
// Family frames:
//   'C',v,'S','E'   set Vdd, v = volts x 25; 'P',v,'S','E' set Vpp, v = volts x 10; no reply;
//   "ER",letter,0   the read stream: that area and every later one, whole, in the order above;
//                   the calibration word comes in every stream, wherever it starts;
//   "EP",letter,0   program 'p', 'd', 'i' or 'c': "Send", then the host sends the whole
//                   area. Words are answered one by one with "OK"; a word that does not
//                   read back answers "EE", the word as the part holds it and the word
//                   the host sent (high bytes first), and nothing more of that area is
//                   programmed or answered (the rest of its data is still taken).
//                   Configuration bytes are answered with one byte each, all at the end;
//   "EE23"          bulk erase, no reply; "ES23" the data memory erase of page code 32
//                   parts, no reply;
//   "EI",0,0        the device ID word, two bytes.
//
// Page code 32 and algorithms 6 and 11 keep a factory calibration value in
// the last code word: the firmware never programs it (the host sends a filler
// word in its place, which gets no acknowledgement), and the bulk erase saves
// and restores it. Page code 32 parts also keep their two factory bandgap bits
// (bits 5-4 of the first configuration byte) through programming and erase.
// On every other part the last code word is an ordinary cell.
//
// Parts the record allows to erase are flash: a word takes the value written
// (the firmware runs an erase/write cycle per word). The others are OTP or
// EPROM parts, whose programming only clears bits and which have no
// electrical erase ("EE23" changes nothing and is noted as a host fault).
// Data EEPROM bytes always take the value written.
//
// Configuration bytes: ConfigMasks[i] holds the bits byte i implements.
// Classic parts (page codes below 46) read every other bit as 0; enhanced
// mid-range parts read the other bits of their 14-bit words as 1 (the bits
// above bit 13 read 0 on every part). Bits the host sends set where the part
// has none change nothing and are listed in configNotes().
//
// Protection: the configuration page of the part's page code says which
// bits of configuration word 1 protect the code and which the data memory;
// a protection bit that the part implements and that reads 0 makes every
// code byte (or every data EEPROM byte) of the read stream read 0 and makes
// programming that memory fail (the word reads back 0). The IDs, the
// calibration word and the configuration stay readable. Protection bits only
// clear when programmed, on flash parts too: only a bulk erase lifts
// protection, and an OTP part keeps it. Ranges are not modelled: protecting
// any part of the code hides all of it. Page codes without a configuration
// page have no protection bits.
//
// Addresses for stuck bits (FaultPlan::stuckOnes) are the offsets of the
// program's image: code byte n at n; ID byte i at 0x4000 + i; configuration
// byte i at 0x400E + i; EEPROM byte k at 0x4200 + 2k + 1 (the 0x4000 areas at
// 0x10000 on enhanced mid-range parts, page code 46 and above).
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

// The bandgap bits of the first configuration byte of page code 32 parts.
inline constexpr std::uint8_t kPicBandgapBits = 0x30;

class PicChip : public PicFamilyChip {
public:
    enum class Area { Code, Data, Id, Calibration, Config };

    struct Params {
        std::size_t codeBytes = 0;         // LastAddress + 1
        std::uint8_t blank = 0x3F;         // high byte of an erased word (the low byte is 0xFF)
        std::size_t dataBytes = 0;         // data EEPROM bytes, 0 = none
        bool dataLetterZero = false;       // the data area's frame letter is 0 (page code 40)
        std::size_t idBytes = 8;
        bool idBackupWord = false;         // the backup calibration word after the IDs (algorithm 11)
        bool calibrationWord = false;      // the stream carries the calibration word (StepMask bit 3)
        bool calibrationAtTop = false;     // the last code word is the factory calibration value
        std::size_t configBytes = 0;
        std::vector<std::uint8_t> configMasks;  // implemented bits per byte; missing bytes implement all
        std::uint8_t pageCode = 0;         // chooses the protection bits
        bool bandgap = false;              // page code 32: bandgap bits and the "ES23" erase
        bool enhanced = false;             // page code 46 and above (image addresses at 0x10000)
        bool flash = true;                 // words take the value written; false: only clear bits
        std::array<std::uint8_t, 2> deviceId{0, 0};
        std::array<std::uint8_t, 2> calibration{0x34, 0x80};  // the factory value
        std::uint8_t bandgapValue = 0x20;  // the factory bandgap bits (within kPicBandgapBits)
    };

    explicit PicChip(const Params& params);

    // A new part for a 'C' record other than PIC18: LastAddress + 1 code bytes
    // erased to BlankByte,0xFF; a data EEPROM of DataEepromSize + 1 bytes when
    // StepMask bit 1 is set; ConfigMaskCount configuration bytes; the
    // calibration word of StepMask bit 3, at the top of the code for page
    // code 32 and algorithms 6 and 11, with its backup for algorithm 11; flash
    // when Buttons allows erasing. The device ID answers DeviceId and
    // DeviceId2, with revision bits in the low five bits of the second byte
    // where they are free (never on page code 49, which compares the whole byte).
    static std::shared_ptr<PicChip> blankFor(const tesmar::DeviceRecord& rec);

    bool handleFrame(const Frame& frame, FrameContext& ctx) override;
    std::string technology() const override;

    const Params& params() const { return params_; }

    // The areas as the part holds them.
    const std::vector<std::uint8_t>& code() const { return memory(); }
    const std::vector<std::uint8_t>& dataEeprom() const { return data_; }  // one byte per EEPROM byte
    const std::vector<std::uint8_t>& ids() const { return ids_; }
    std::array<std::uint8_t, 2> idBackup() const { return idBackup_; }
    std::array<std::uint8_t, 2> calibration() const;
    const std::vector<std::uint8_t>& config() const { return config_; }
    std::array<std::uint8_t, 2> deviceIdWord() const { return params_.deviceId; }
    // ID word n (0..3) as the part holds it, whatever the host's buffer layout.
    std::uint16_t idWord(std::size_t n) const;
    bool codeProtected() const override { return configRules().codeProtected(config_); }
    bool dataProtected() const override { return configRules().dataProtected(config_); }
    // Whether every area the host can program or erase reads erased (the
    // factory calibration and bandgap bits are not counted).
    bool allErased() const;

    // A part programmed elsewhere: cells set directly; bytes past an area's end are dropped.
    void loadData(std::size_t offset, std::span<const std::uint8_t> bytes) { loadInto(data_, offset, bytes); }
    void loadIds(std::size_t offset, std::span<const std::uint8_t> bytes) { loadInto(ids_, offset, bytes); }
    // Configuration bytes set directly: bits the part does not implement keep their fixed value.
    void loadConfig(std::size_t offset, std::span<const std::uint8_t> bytes);
    void setCalibration(std::array<std::uint8_t, 2> word);
    void setIdBackup(std::array<std::uint8_t, 2> word) { idBackup_ = word; }

    // The bytes of the read stream that starts at that area (empty when the part lacks it).
    std::vector<std::uint8_t> streamFrom(Area start) const;
    // Image offset of an area's first byte (stuck-bit addresses).
    std::uint32_t imageBase(Area area) const;

    // What the host did (read these between operations): commands() lists
    // "Vdd 125", "Vpp 130", "ER p", "EP c", "EE23", "ES23", "EI".
    // The data bytes the host sent after the last accepted "EP" of an area (filler included).
    std::vector<std::uint8_t> lastProgramData(Area area) const { return programDataAt(std::size_t(area)); }

    // Called by the program streams. Programs one word of an area (word w of
    // the code, ID or data area) and returns it as it then reads; the data
    // area takes the low byte only and reads its high byte as the blank byte.
    std::array<std::uint8_t, 2> programWord(Area area, std::size_t word, std::uint8_t hi, std::uint8_t lo,
                                            const FaultPlan& faults);
    // Programs configuration byte i and returns what it then reads.
    std::uint8_t programConfig(std::size_t i, std::uint8_t value, const FaultPlan& faults);
    void noteProgramByte(Area area, std::uint8_t b) { noteProgramByteAt(std::size_t(area), b); }

protected:
    bool hasDataErase() const override { return params_.bandgap; }
    bool erasable() const override { return params_.flash; }
    void bulkErase(const FaultPlan& faults) override;
    void eraseData() override;
    std::optional<std::vector<std::uint8_t>> readStream(std::uint8_t letter) const override;

private:
    std::optional<Area> areaOf(std::uint8_t letter) const;
    std::uint8_t cellWrite(std::uint8_t old, std::uint8_t value, std::uint8_t stuck) const;
    // The value configuration byte i keeps when the host writes value (the factory bandgap bits stay).
    std::uint8_t configTarget(std::size_t i, std::uint8_t value) const;
    PicWordResult writeWord(Area area, std::size_t total, bool keepLastWord, std::size_t a, std::uint8_t hi,
                            std::uint8_t lo, const FaultPlan& faults);

    Params params_;
    std::vector<std::uint8_t> data_, ids_, config_;
    std::array<std::uint8_t, 2> idBackup_{};
    std::array<std::uint8_t, 2> calibration_{};  // when it is not the last code word
};

}  // namespace tesmar::sim
