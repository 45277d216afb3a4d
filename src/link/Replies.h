#pragma once
// Bounded reply handling shared by the link and the family routines. Every
// wait on the receive queue is bounded by a count of polls; an empty poll
// waits a little (backing off to about a millisecond, or until the port
// reports data), so a silent programmer costs a few seconds and almost no
// processor time instead of a hang or a busy core. During an operation every
// wait also watches RunFlag, so Abort frees the worker at once. Every read
// keeps within the caller's buffer.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/AppState.h"
#include "link/Protocol.h"

namespace tesmar {

// What one poll of a wait's bound stands for. The bounds are counts of polls
// of the driver's queue status; a poll is reckoned at 1/6 ms whatever it
// costs here, so the 30000 polls of a reply wait are five seconds whether
// they are spent spinning, sleeping or asleep until data comes.
constexpr std::chrono::microseconds kPollTime{166};
// After Abort a wait that may still be handed bytes ends once the line has
// been quiet this long.
constexpr std::chrono::milliseconds kAbortGrace{400};

// How a wait treats Abort (RunFlag 0).
enum class OnAbort {
    // Ends once the line has been quiet for kAbortGrace since the Abort or
    // the last byte: bytes the programmer was promised (a Program's
    // acknowledgements, which it sends since it never gets "Stop") are still
    // taken while they flow. The default.
    Grace,
    // Ends at once: the reply means nothing after Abort (a stream the host
    // ends with "Stop", a chip-ID answer).
    Stop,
    // RunFlag is not looked at: the link's own exchanges, which run outside
    // any operation.
    Ignore,
};

// One bounded wait on the receive queue: its bound is a count of polls
// reckoned in time (kPollTime each). The first poll asks at once; later ones
// wait on the port, backing off from a few microseconds to longer slices.
class QueueWait {
public:
    enum Result { Ready, Silent, Aborted, PortError };

    QueueWait(AppState& st, int polls, OnAbort onAbort = OnAbort::Grace);
    // Waits until at least `atLeast` bytes are queued; `queued` holds what
    // the last poll found. Silent: the bound ran out. Aborted: Abort, by the
    // wait's rule. PortError: no port, or the port failed.
    Result until(std::uint32_t atLeast, std::uint32_t& queued);
    // Starts the bound again (after the caller took data).
    void restart();
    bool expired() const;

private:
    using Clock = std::chrono::steady_clock;
    AppState& st_;
    std::chrono::microseconds span_;
    OnAbort onAbort_;
    Clock::time_point deadline_;
    // The Abort or the last byte, whichever came later (OnAbort::Grace).
    Clock::time_point lastNews_{};
    bool abortSeen_ = false;
};

// Polls the receive-queue status until at least `atLeast` bytes are queued.
// False after `polls` polls, without a port, when the port reports an error,
// or on Abort by `onAbort`.
bool waitForBytes(AppState& st, std::uint32_t atLeast, int polls = proto::kReplyPolls,
                  OnAbort onAbort = OnAbort::Grace);

// A plain read of up to `len` bytes, bounded by the read time-out in force
// and, during an operation, by Abort as `onAbort` says. Returns the number of
// bytes read; `status` (when given) gets the driver status.
std::uint32_t readBytes(AppState& st, std::uint8_t* buf, std::uint32_t len, int* status = nullptr,
                        OnAbort onAbort = OnAbort::Grace);

// Reads every byte queued now and returns the first `maxKept` of them; the
// rest are read and dropped so they cannot be taken for a later reply.
std::vector<std::uint8_t> readQueued(AppState& st, std::uint32_t maxKept);

// True when the first four bytes of `bytes` (of `n`) spell `word`; a reply
// shorter than four bytes is a wrong reply.
bool isReplyWord(const std::uint8_t* bytes, std::size_t n, const char* word);

// Reads four bytes with the read time-out in force (no polling) and compares.
bool readWord(AppState& st, const char* word, OnAbort onAbort = OnAbort::Grace);

// Waits (bounded) for the first byte of a reply, then reads four bytes and
// compares them with `word`. Silence returns false without the read.
bool readReplyWord(AppState& st, const char* word, OnAbort onAbort = OnAbort::Grace);

// Writes raw bytes or a four-byte frame; the written count is not checked.
void writeBytes(AppState& st, const std::uint8_t* bytes, std::size_t n);
void writeFrame(AppState& st, const proto::Frame& f);

}  // namespace tesmar
