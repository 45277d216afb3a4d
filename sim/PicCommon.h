#pragma once
// What the parts of both PIC families ('C' records, PIC18 or not) have in
// common: the supply frames, the bulk and data erase frames, the device ID,
// the "Send" handshake of a program frame, the configuration data answered
// byte by byte, the program stream that answers a word at a time, and the
// rules of the configuration cells (implemented bits, fixed bits, protection).
// Each family keeps its own areas, byte order and cell physics.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/Chip.h"

namespace tesmar::sim {

// Acknowledgement of a program word that reads back as sent.
inline constexpr std::array<std::uint8_t, 2> kPicWordAck{'O', 'K'};
// The two bytes that open the report of a word that does not read back.
inline constexpr std::array<std::uint8_t, 2> kPicWordFailure{'E', 'E'};
// Acknowledgement bytes of configuration data: good, and not reading back.
inline constexpr std::uint8_t kPicConfigAck = 'D';
inline constexpr std::uint8_t kPicConfigFailure = 'F';

// The area index both families give their configuration bytes.
inline constexpr std::size_t kPicConfigArea = 4;

// n bytes alternating first, second, first ... (an area of erased words).
std::vector<std::uint8_t> alternatingBytes(std::size_t n, std::uint8_t first, std::uint8_t second);

// How one word of a program stream came out.
struct PicWordResult {
    enum class Kind { Skipped, Good, Failed };
    Kind kind = Kind::Good;
    // Sent after kPicWordFailure: the word as the part holds it, then as the host sent it.
    std::array<std::uint8_t, 4> report{};
};

// Programs configuration byte i to value and says whether it reads back as it should.
using PicConfigWriter = std::function<bool(std::size_t i, std::uint8_t value, const FaultPlan&)>;
// Programs the two bytes at byte offset a of an area, as they came.
using PicWordWriter =
    std::function<PicWordResult(std::size_t a, std::uint8_t first, std::uint8_t second, const FaultPlan&)>;

// The configuration bytes as cells. Implemented bits hold what was
// programmed; every other bit has no cell and reads a fixed value. Some
// implemented bits protect the code or the data memory: a protection bit at 0
// hides that memory from the programmer's reads, and on every part it only
// clears when programmed (a bulk erase sets it again), so protection cannot
// be taken back by programming the configuration once more.
class PicConfigRules {
public:
    PicConfigRules() = default;
    // Per byte: implemented bits, the erased value (its fixed bits included),
    // and the bits that protect the code and the data memory (0 = protected).
    PicConfigRules(std::vector<std::uint8_t> implemented, std::vector<std::uint8_t> erased,
                   std::vector<std::uint8_t> codeProtection, std::vector<std::uint8_t> dataProtection);

    std::size_t size() const { return implemented_.size(); }
    std::uint8_t implemented(std::size_t i) const { return byteOf(implemented_, i, 0xFF); }
    std::uint8_t fixed(std::size_t i) const { return std::uint8_t(erasedByte(i) & ~implemented(i)); }
    std::uint8_t erasedByte(std::size_t i) const { return byteOf(erased_, i, 0xFF); }
    std::uint8_t codeProtection(std::size_t i) const { return byteOf(code_, i, 0); }
    std::uint8_t dataProtection(std::size_t i) const { return byteOf(data_, i, 0); }

    // What a cell holding old reads after value is programmed into it; flash
    // parts take the value (protection bits excepted), OTP parts only clear bits.
    std::uint8_t write(std::size_t i, std::uint8_t old, std::uint8_t value, bool flash, std::uint8_t stuckOnes,
                       std::uint8_t stuckZeros) const;
    // A byte set directly: its implemented bits as given, the others fixed.
    std::uint8_t settle(std::size_t i, std::uint8_t value) const {
        return std::uint8_t((value & implemented(i)) | fixed(i));
    }
    // Whether a read of byte i as got gives what the host wanted (implemented bits only).
    bool readsAs(std::size_t i, std::uint8_t got, std::uint8_t want) const {
        return ((got ^ want) & implemented(i)) == 0;
    }
    bool codeProtected(std::span<const std::uint8_t> cells) const { return anyCleared(cells, code_); }
    bool dataProtected(std::span<const std::uint8_t> cells) const { return anyCleared(cells, data_); }

private:
    static std::uint8_t byteOf(const std::vector<std::uint8_t>& v, std::size_t i, std::uint8_t otherwise) {
        return i < v.size() ? v[i] : otherwise;
    }
    static bool anyCleared(std::span<const std::uint8_t> cells, const std::vector<std::uint8_t>& bits);

    std::vector<std::uint8_t> implemented_, erased_, code_, data_;
};

class PicFamilyChip : public Chip {
public:
    // Every family frame in order ("Vdd 125", "ER p", "EE23", "EI" ...).
    const std::vector<std::string>& commands() const { return commands_; }
    void clearCommands() { commands_.clear(); }
    // Every Vdd and Vpp value set, in order.
    const std::vector<std::uint8_t>& vddHistory() const { return vdds_; }
    const std::vector<std::uint8_t>& vppHistory() const { return vpps_; }
    std::optional<std::uint8_t> lastVdd() const;
    std::optional<std::uint8_t> lastVpp() const;
    unsigned eraseCommands() const { return eraseCommands_; }
    unsigned dataEraseCommands() const { return dataEraseCommands_; }

    // What the configuration cells do with the bits the host sends.
    const PicConfigRules& configRules() const { return rules_; }
    // Bits the host sent set where the part has none, one line each:
    // "configuration byte 1: 0x08 written to unimplemented bits".
    const std::vector<std::string>& configNotes() const { return configNotes_; }
    // Whether the protection bits now hide the code or the data memory.
    virtual bool codeProtected() const = 0;
    virtual bool dataProtected() const = 0;

protected:
    using Chip::Chip;

    // The supply frames, the read frames "ER", "EE23", "ES23" (parts with
    // hasDataErase()) and "EI"; false for any other frame.
    bool handleSharedFrame(const Frame& f, FrameContext& ctx);
    // The read stream that starts at the area of that frame letter; none when
    // the part lacks it. Every stream ends with the configuration bytes.
    virtual std::optional<std::vector<std::uint8_t>> readStream(std::uint8_t letter) const = 0;
    virtual bool hasDataErase() const = 0;
    // Parts that cannot be erased (OTP) ignore the bulk erase.
    virtual bool erasable() const = 0;
    virtual void bulkErase(const FaultPlan& faults) = 0;
    virtual void eraseData() = 0;

    void setConfigRules(PicConfigRules rules) { rules_ = std::move(rules); }
    // What configuration byte i, holding old, reads after the host sent value
    // (stuckOnes: the byte's stuck-at-1 bits); notes bits sent set where the
    // part has none.
    std::uint8_t writeConfigCell(std::size_t i, std::uint8_t old, std::uint8_t value, bool flash,
                                 std::uint8_t stuckOnes, const FaultPlan& faults);
    // The erased value of configuration byte i under the plan's stuck bits.
    std::uint8_t erasedConfigByte(std::size_t i, const FaultPlan& faults) const;

    // Logs a frame with its area letter; a letter that is not printable shows as "0x00".
    void log(const std::string& what, std::uint8_t letter);
    void logLine(std::string line) { commands_.push_back(std::move(line)); }

    // Answers a program frame with "Send" (or what the fault plan makes of
    // it). True when the host may now send the area's data, whose record
    // then starts afresh.
    bool acceptProgram(std::size_t area, FrameContext& ctx);
    // The data bytes the host sent for an area (by its index) since its last accepted program frame.
    void noteProgramByteAt(std::size_t area, std::uint8_t b) { lastProgram_.at(area).push_back(b); }
    const std::vector<std::uint8_t>& programDataAt(std::size_t area) const { return lastProgram_.at(area); }

    // Takes count configuration bytes in one piece; write programs byte i and
    // says whether it reads back as it should. Each byte is answered
    // kPicConfigAck or kPicConfigFailure, all at the end (as many as the fault
    // plan lets through).
    void receiveConfig(FrameContext& ctx, std::size_t area, std::size_t count, std::string what,
                       PicConfigWriter write);

    // Takes total bytes of an area two at a time and answers each word as it
    // goes. After a word that does not read back nothing more is programmed
    // or answered, but the rest of the current block of the host's data is
    // still taken, so that the data already on its way is not read as frames.
    void receiveWords(FrameContext& ctx, std::size_t area, std::size_t total, std::size_t block, std::string what,
                      PicWordWriter write);

    // Sets cells of an area directly; bytes past its end are dropped.
    static void loadInto(std::span<std::uint8_t> area, std::size_t offset, std::span<const std::uint8_t> bytes);

private:
    PicConfigRules rules_;
    std::vector<std::string> commands_, configNotes_;
    std::vector<std::uint8_t> vdds_, vpps_;
    std::array<std::vector<std::uint8_t>, 5> lastProgram_;
    unsigned eraseCommands_ = 0, dataEraseCommands_ = 0;
};

}  // namespace tesmar::sim
