#include "common/ScriptedPort.h"

#include <algorithm>
#include <cstring>

namespace tesmar::fuzz {

namespace {
// More than any device streams (twice the largest image); what a script asks
// beyond it is dropped, so one input cannot take gigabytes.
constexpr std::size_t kMaxAnswerBytes = 16u << 20;
}  // namespace

int ScriptedPort::open(const std::string&, std::uint32_t) {
    if (opensToFail > 0) {
        --opensToFail;
        return UsbDeviceNotFound;
    }
    open_ = true;
    return UsbOk;
}

int ScriptedPort::close() {
    open_ = false;
    return UsbOk;
}

int ScriptedPort::readSerialNumber(std::string& s) {
    if (serialFails) return UsbOtherError;
    s = serial;
    return UsbOk;
}

int ScriptedPort::purge(unsigned mask) {
    if (purgeFails) return UsbIoError;
    if (mask & PurgeRx) {
        queue_.clear();
        head_ = 0;
    }
    return UsbOk;
}

int ScriptedPort::queueStatus(std::uint32_t& bytesWaiting) {
    bytesWaiting = 0;
    if (dead()) return UsbIoError;
    arrive();
    bytesWaiting = std::uint32_t(std::min<std::size_t>(queued(), UINT32_MAX));
    return UsbOk;
}

int ScriptedPort::status(std::uint32_t& rx, std::uint32_t& tx, std::uint32_t& events) {
    rx = std::uint32_t(std::min<std::size_t>(queued(), UINT32_MAX));
    tx = events = 0;
    return dead() ? UsbIoError : UsbOk;
}

int ScriptedPort::read(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got) {
    got = 0;
    if (++reads_ == abortAtRead && onAbort) onAbort();
    if (dead()) return UsbIoError;
    while (queued() < len && !inFlight_.empty()) {
        if (inFlight_.front().pause) {
            inFlight_.pop_front();
            break;
        }
        arrive();
    }
    got = std::uint32_t(std::min<std::size_t>(queued(), len));
    if (got) std::memcpy(buf, queue_.data() + head_, got);
    head_ += got;
    if (head_ == queue_.size()) {
        queue_.clear();
        head_ = 0;
    }
    return UsbOk;
}

int ScriptedPort::write(const std::uint8_t*, std::uint32_t len, std::uint32_t& written) {
    written = len;
    if (dead()) return UsbIoError;
    takeAnswer();
    return UsbOk;
}

void ScriptedPort::takeAnswer() {
    while (!script_.empty()) {
        const std::uint8_t t = script_.byte();
        if (t == token::kEndOfAnswer) return;
        Delivery d;
        if (t == token::kPause) {
            d.pause = true;
        } else if (t <= token::kMaxLiteral) {
            for (unsigned i = 0; i < t && !script_.empty(); ++i) d.bytes.push_back(script_.byte());
        } else {
            const std::uint8_t pair[2] = {script_.byte(), script_.byte()};
            const std::size_t n = ((t & 0x7Fu) + 1) * token::kRunUnit;
            d.bytes.assign(n, pair[0]);
            if (pair[1] != pair[0])
                for (std::size_t i = 1; i < n; i += 2) d.bytes[i] = pair[1];
        }
        materialised_ += d.bytes.size();
        if (materialised_ > kMaxAnswerBytes) continue;
        inFlight_.push_back(std::move(d));
    }
}

bool ScriptedPort::arrive() {
    if (inFlight_.empty()) return false;
    Delivery d = std::move(inFlight_.front());
    inFlight_.pop_front();
    if (d.pause) return false;
    if (head_ > (1u << 16) && head_ * 2 > queue_.size()) {
        queue_.erase(queue_.begin(), queue_.begin() + std::ptrdiff_t(head_));
        head_ = 0;
    }
    queue_.insert(queue_.end(), d.bytes.begin(), d.bytes.end());
    return true;
}

bool ScriptedPort::dead() const { return deadAtEnd && script_.empty() && inFlight_.empty() && queued() == 0; }

}  // namespace tesmar::fuzz
