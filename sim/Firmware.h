#pragma once
// What a chip model sees of the programmer's firmware: the frame that reached
// it, and the means to answer, to stream device bytes to the host and to take
// the host bytes that follow a frame. The transport and the link frames live
// in SimProgrammer; each chip technology answers its own family frames.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/FaultPlan.h"

namespace tesmar::sim {

// Reply words of the wire protocol.
inline constexpr std::string_view kWordSend = "Send";
inline constexpr std::string_view kWordGood = "Good";
inline constexpr std::string_view kWordOkay = "Okay";
inline constexpr std::string_view kWordDone = "Done";
inline constexpr std::string_view kWordOverCurrent = "OCER";
inline constexpr std::string_view kWordFail = "Fail";

// One 4-byte host frame.
struct Frame {
    std::array<std::uint8_t, 4> bytes{};

    std::uint8_t operator[](std::size_t i) const { return bytes[i]; }
    bool is(char a, char b, std::uint8_t c, std::uint8_t d) const {
        return bytes[0] == std::uint8_t(a) && bytes[1] == std::uint8_t(b) && bytes[2] == c && bytes[3] == d;
    }
    bool is(std::string_view four) const {
        return four.size() == 4 && is(four[0], four[1], std::uint8_t(four[2]), std::uint8_t(four[3]));
    }
    std::string hex() const;
};

class FrameContext;

// Takes the host bytes that follow a frame (upload data, program data).
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Returns how many bytes it used; a sink that is not done afterwards used all of them.
    virtual std::size_t consume(std::span<const std::uint8_t> bytes, FrameContext& ctx) = 0;
    virtual bool done() const = 0;
    // Named in protocol notes when the sink is abandoned.
    virtual std::string what() const = 0;
};

// Produces device bytes for the host on demand, so that the host's "Stop"
// really ends a long stream.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::size_t produce(std::span<std::uint8_t> out) = 0;
    virtual bool finished() const = 0;
};

class FrameContext {
public:
    virtual ~FrameContext() = default;
    // Queues bytes for the host as they are.
    virtual void reply(std::span<const std::uint8_t> bytes) = 0;
    void reply(std::initializer_list<std::uint8_t> bytes) { reply(std::span<const std::uint8_t>(bytes.begin(), bytes.size())); }
    // Queues a reply word, after the fault plan has had its say.
    virtual void replyWord(Reply where, std::string_view word) = 0;
    // Starts a device-to-host stream; it ends when exhausted, or on "Stop", "ErrV" or "ErrB".
    virtual void startStream(std::unique_ptr<ByteSource> source) = 0;
    // The next host bytes go to this sink until it is done.
    virtual void receive(std::unique_ptr<ByteSink> sink) = 0;
    // The next n host bytes are collected and handed over in one piece.
    virtual void receive(std::size_t n, std::string what,
                         std::function<void(std::vector<std::uint8_t>, FrameContext&)> done) = 0;
    virtual const FaultPlan& faults() const = 0;
    // Records a protocol violation by the host (unknown frame, frame in the wrong state ...).
    virtual void note(std::string text) = 0;
};

}  // namespace tesmar::sim
