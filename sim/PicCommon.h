#pragma once
// What the parts of both PIC families ('C' records, PIC18 or not) have in
// common: the supply frames, the bulk and data erase frames, the device ID,
// the "Send" handshake of a program frame, the configuration data answered
// byte by byte, and the program stream that answers a word at a time. Each
// family keeps its own areas, byte order and cell physics.
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

protected:
    using Chip::Chip;

    // The supply frames, the read frames "ER", "EE23", "ES23" (parts with
    // hasDataErase()) and "EI"; false for any other frame.
    bool handleSharedFrame(const Frame& f, FrameContext& ctx);
    // The read stream that starts at the area of that frame letter; none when the part lacks it.
    virtual std::optional<std::vector<std::uint8_t>> readStream(std::uint8_t letter) const = 0;
    virtual bool hasDataErase() const = 0;
    virtual void bulkErase() = 0;
    virtual void eraseData() = 0;

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
    // kPicConfigAck or kPicConfigFailure, all at the end.
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
    std::vector<std::string> commands_;
    std::vector<std::uint8_t> vdds_, vpps_;
    std::array<std::vector<std::uint8_t>, 5> lastProgram_;
    unsigned eraseCommands_ = 0, dataEraseCommands_ = 0;
};

}  // namespace tesmar::sim
