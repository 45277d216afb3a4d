#include "link/Replies.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "link/UsbPort.h"

namespace tesmar {

namespace {

using std::chrono::microseconds;

// An empty poll first waits this long; each further one twice as long as the
// one before, up to kLongestSlice. A port that cannot be woken by data sleeps
// at most UsbPort::kIdleSleep of each slice.
constexpr microseconds kFirstSlice{20};
// How often a wait on a port that wakes on data still looks at RunFlag.
constexpr microseconds kLongestSlice{20000};

microseconds between(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
    return to > from ? std::chrono::ceil<microseconds>(to - from) : microseconds(0);
}

}  // namespace

QueueWait::QueueWait(AppState& st, int polls, OnAbort onAbort)
    : st_(st), span_(kPollTime * std::max(polls, 1)), onAbort_(onAbort) {
    restart();
}

void QueueWait::restart() { deadline_ = Clock::now() + span_; }

bool QueueWait::expired() const { return Clock::now() >= deadline_; }

QueueWait::Result QueueWait::until(std::uint32_t atLeast, std::uint32_t& queued) {
    queued = 0;
    if (!st_.usb) return PortError;
    microseconds slice{0};  // the first poll asks at once
    std::uint32_t seen = 0;
    for (;;) {
        const auto now = Clock::now();
        microseconds wait = slice;
        if (onAbort_ != OnAbort::Ignore && st_.RunFlag.load() == 0) {
            if (onAbort_ == OnAbort::Stop) return Aborted;
            if (!abortSeen_) {
                abortSeen_ = true;
                lastNews_ = now;
            }
            if (now >= lastNews_ + kAbortGrace) return Aborted;
            wait = std::min(wait, between(now, lastNews_ + kAbortGrace));
        }
        if (slice.count() > 0 && now >= deadline_) return Silent;
        wait = std::min(wait, between(now, deadline_));
        if (st_.usb->waitQueue(atLeast, wait, queued) != UsbOk) return PortError;
        if (queued >= atLeast) return Ready;
        if (queued > seen) {
            // Something came: the line is not silent, so poll briskly again.
            seen = queued;
            lastNews_ = Clock::now();
            slice = kFirstSlice;
        } else {
            slice = slice.count() == 0 ? kFirstSlice : std::min(slice * 2, kLongestSlice);
        }
    }
}

bool waitForBytes(AppState& st, std::uint32_t atLeast, int polls, OnAbort onAbort) {
    QueueWait wait(st, polls, onAbort);
    std::uint32_t queued = 0;
    return wait.until(atLeast, queued) == QueueWait::Ready;
}

std::uint32_t readBytes(AppState& st, std::uint8_t* buf, std::uint32_t len, int* status, OnAbort onAbort) {
    std::uint32_t got = 0;
    int rc = UsbInvalidHandle;
    if (st.usb && len > 0) {
        if (onAbort == OnAbort::Ignore) {
            rc = st.usb->read(buf, len, got);
        } else {
            std::optional<std::chrono::steady_clock::time_point> abortAt;
            rc = st.usb->readUnless(buf, len, got, [&] {
                if (st.RunFlag.load() != 0) return false;
                if (onAbort == OnAbort::Stop) return true;
                const auto now = std::chrono::steady_clock::now();
                if (!abortAt) abortAt = now;
                return now - *abortAt >= kAbortGrace;
            });
        }
    } else if (st.usb) {
        rc = UsbOk;
    }
    if (got > len) got = len;  // never trust a count beyond the buffer
    if (status) *status = rc;
    return got;
}

std::vector<std::uint8_t> readQueued(AppState& st, std::uint32_t maxKept) {
    std::vector<std::uint8_t> kept;
    if (!st.usb) return kept;
    std::uint32_t queued = 0;
    if (st.usb->queueStatus(queued) != UsbOk) return kept;
    std::uint8_t chunk[256];
    while (queued > 0) {
        const std::uint32_t want = queued < sizeof chunk ? queued : std::uint32_t(sizeof chunk);
        // The bytes are queued already: the read does not wait.
        const std::uint32_t got = readBytes(st, chunk, want, nullptr, OnAbort::Ignore);
        for (std::uint32_t i = 0; i < got && kept.size() < maxKept; ++i) kept.push_back(chunk[i]);
        if (got == 0) break;
        queued -= got;
    }
    return kept;
}

bool isReplyWord(const std::uint8_t* bytes, std::size_t n, const char* word) {
    if (n < proto::kReplyWordLength) return false;
    return std::memcmp(bytes, word, proto::kReplyWordLength) == 0;
}

bool readWord(AppState& st, const char* word, OnAbort onAbort) {
    std::uint8_t reply[proto::kReplyWordLength] = {};
    const std::uint32_t got = readBytes(st, reply, proto::kReplyWordLength, nullptr, onAbort);
    return isReplyWord(reply, got, word);
}

bool readReplyWord(AppState& st, const char* word, OnAbort onAbort) {
    if (!waitForBytes(st, 1, proto::kReplyPolls, onAbort)) return false;
    return readWord(st, word, onAbort);
}

void writeBytes(AppState& st, const std::uint8_t* bytes, std::size_t n) {
    if (!st.usb || n == 0) return;
    st.usb->write(bytes, std::uint32_t(n));
}

void writeFrame(AppState& st, const proto::Frame& f) { writeBytes(st, f.data(), f.size()); }

}  // namespace tesmar
