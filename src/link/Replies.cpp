#include "link/Replies.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "link/UsbPort.h"

namespace tesmar {

namespace {
constexpr auto kIdlePoll = std::chrono::microseconds(100);
}

bool waitForBytes(AppState& st, std::uint32_t atLeast, int polls) {
    if (!st.usb) return false;
    for (int i = 0; i < polls; ++i) {
        std::uint32_t queued = 0;
        if (st.usb->queueStatus(queued) != UsbOk) return false;  // a dead port will not recover here
        if (queued >= atLeast) return true;
        std::this_thread::sleep_for(kIdlePoll);
    }
    return false;
}

std::uint32_t readBytes(AppState& st, std::uint8_t* buf, std::uint32_t len, int* status) {
    std::uint32_t got = 0;
    int rc = UsbInvalidHandle;
    if (st.usb && len > 0) rc = st.usb->read(buf, len, got);
    else if (st.usb) rc = UsbOk;
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
        const std::uint32_t got = readBytes(st, chunk, want);
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

bool readWord(AppState& st, const char* word) {
    std::uint8_t reply[proto::kReplyWordLength] = {};
    const std::uint32_t got = readBytes(st, reply, proto::kReplyWordLength);
    return isReplyWord(reply, got, word);
}

bool readReplyWord(AppState& st, const char* word) {
    if (!waitForBytes(st, 1)) return false;
    return readWord(st, word);
}

void writeBytes(AppState& st, const std::uint8_t* bytes, std::size_t n) {
    if (!st.usb || n == 0) return;
    st.usb->write(bytes, std::uint32_t(n));
}

void writeFrame(AppState& st, const proto::Frame& f) { writeBytes(st, f.data(), f.size()); }

}  // namespace tesmar
