#include "link/LibFtdiPort.h"

#include <algorithm>
#include <chrono>

namespace tesmar {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kChunk = 4096;
// The reader stops taking bytes beyond this, leaving the bridge to hold off
// the programmer, so a babbling device cannot exhaust memory.
constexpr std::size_t kFifoLimit = 16u << 20;
constexpr int kReaderErrorLimit = 20;
// A bridge read that finds nothing normally waits out the chip's latency
// timer; one that answers sooner is not asked again before this.
constexpr auto kEmptyReadPace = std::chrono::milliseconds(1);
// How often a waiting read asks its caller whether to give up.
constexpr auto kGiveUpCheck = std::chrono::milliseconds(10);
// A zero time-out would wait forever; waits are always bounded here.
constexpr std::uint32_t kDefaultTimeoutMs = 10000;

std::uint32_t bounded(std::uint32_t ms) { return ms == 0 ? kDefaultTimeoutMs : ms; }

}  // namespace

LibFtdiPort::LibFtdiPort(std::unique_ptr<FtdiBridge> bridge) : bridge_(std::move(bridge)) {}

LibFtdiPort::~LibFtdiPort() { close(); }

std::unique_lock<std::mutex> LibFtdiPort::lockBridge() {
    ++bridgeCallers_;
    std::unique_lock lock(bridgeM_);
    --bridgeCallers_;
    return lock;
}

int LibFtdiPort::open(const std::string& description, std::uint32_t /*flags*/) {
    close();
    if (!bridge_) return UsbDeviceNotFound;
    std::lock_guard writing(writeM_);
    {
        auto bridge = lockBridge();
        if (!bridge_->open(description)) return UsbDeviceNotFound;
        bridge_->setWriteTimeout(writeMs_);
    }
    {
        std::lock_guard lock(m_);
        open_ = true;
        failed_ = false;
        fifo_.clear();
    }
    stop_ = false;
    reader_ = std::thread([this] { readerLoop(); });
    return UsbOk;
}

int LibFtdiPort::close() {
    std::lock_guard writing(writeM_);  // no write may be using the bridge
    {
        std::lock_guard lock(m_);
        if (!open_ || closing_) return UsbInvalidHandle;
        closing_ = true;
    }
    stop_ = true;
    arrived_.notify_all();
    if (reader_.joinable()) reader_.join();
    {
        auto bridge = lockBridge();
        bridge_->close();
    }
    std::lock_guard lock(m_);
    open_ = false;
    closing_ = false;
    fifo_.clear();
    arrived_.notify_all();
    return UsbOk;
}

bool LibFtdiPort::isOpen() const {
    std::lock_guard lock(m_);
    return usable();
}

void LibFtdiPort::readerLoop() {
    std::uint8_t chunk[kChunk];
    int errors = 0;
    while (!stop_) {
        bool full;
        {
            std::lock_guard lock(m_);
            full = fifo_.size() >= kFifoLimit;
        }
        if (full) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        // A purge or reset waiting for the bridge goes first.
        if (bridgeCallers_.load() > 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
            continue;
        }
        const auto started = Clock::now();
        int n;
        {
            // Only the bridge lock is held while the bridge waits: queue
            // status, reads and waits go on meanwhile.
            std::lock_guard bridge(bridgeM_);
            if (stop_) break;
            n = bridge_->read(chunk, kChunk);
        }
        if (n > 0) {
            errors = 0;
            {
                std::lock_guard lock(m_);
                fifo_.insert(fifo_.end(), chunk, chunk + std::min(n, kChunk));
            }
            arrived_.notify_all();
            continue;
        }
        if (n < 0) {
            if (++errors >= kReaderErrorLimit) {
                std::lock_guard lock(m_);
                failed_ = true;
                arrived_.notify_all();
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        std::this_thread::sleep_until(started + kEmptyReadPace);
    }
}

int LibFtdiPort::readSerialNumber(std::string& serial) {
    auto bridge = lockBridge();
    {
        std::lock_guard lock(m_);
        if (!usable()) return UsbInvalidHandle;
    }
    std::string text;
    if (!bridge_->serialNumber(text)) return UsbIoError;
    serial = text;
    return UsbOk;
}

int LibFtdiPort::reset() {
    auto bridge = lockBridge();
    {
        std::lock_guard lock(m_);
        if (!usable()) return UsbInvalidHandle;
    }
    return bridge_->reset() ? UsbOk : UsbIoError;
}

int LibFtdiPort::purge(unsigned mask) {
    auto bridge = lockBridge();
    {
        std::lock_guard lock(m_);
        if (!usable() || failed_) return UsbInvalidHandle;
    }
    int rc = UsbOk;
    if (mask & PurgeRx) {
        // No bridge read is under way: what the reader took before the
        // flush is in the FIFO and goes with it.
        if (!bridge_->flushReceive()) rc = UsbIoError;
        std::lock_guard lock(m_);
        fifo_.clear();
    }
    if ((mask & PurgeTx) && !bridge_->flushTransmit()) rc = UsbIoError;
    return rc;
}

int LibFtdiPort::setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    std::lock_guard writing(writeM_);  // a running write uses the write time-out
    std::lock_guard lock(m_);
    readMs_ = bounded(readMs);
    writeMs_ = bounded(writeMs);
    if (!usable()) return UsbInvalidHandle;
    bridge_->setWriteTimeout(writeMs_);
    return UsbOk;
}

int LibFtdiPort::queueStatus(std::uint32_t& bytesWaiting) {
    std::lock_guard lock(m_);
    bytesWaiting = std::uint32_t(fifo_.size());
    if (!usable()) return UsbInvalidHandle;
    return failed_ && fifo_.empty() ? UsbIoError : UsbOk;
}

int LibFtdiPort::waitQueue(std::uint32_t atLeast, std::chrono::microseconds maxWait, std::uint32_t& bytesWaiting) {
    std::unique_lock lock(m_);
    arrived_.wait_for(lock, maxWait, [&] { return !usable() || failed_ || fifo_.size() >= atLeast; });
    bytesWaiting = std::uint32_t(fifo_.size());
    if (!usable()) return UsbInvalidHandle;
    return failed_ && fifo_.empty() ? UsbIoError : UsbOk;
}

int LibFtdiPort::status(std::uint32_t& rx, std::uint32_t& tx, std::uint32_t& events) {
    std::lock_guard lock(m_);
    rx = std::uint32_t(fifo_.size());
    tx = 0;
    events = 0;
    return usable() ? UsbOk : UsbInvalidHandle;
}

int LibFtdiPort::read(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got) {
    return readUnless(buf, len, got, {});
}

int LibFtdiPort::readUnless(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got,
                            const std::function<bool()>& giveUp) {
    got = 0;
    std::unique_lock lock(m_);
    if (!usable()) return UsbInvalidHandle;
    const auto deadline = Clock::now() + std::chrono::milliseconds(readMs_);
    // The wait releases the mutex, so a "Stop" from another thread gets through.
    const auto ready = [&] { return !usable() || failed_ || fifo_.size() >= len; };
    while (!ready()) {
        const auto now = Clock::now();
        if (now >= deadline || (giveUp && giveUp())) break;
        arrived_.wait_until(lock, std::min(deadline, now + kGiveUpCheck), ready);
    }
    const std::size_t n = std::min<std::size_t>(fifo_.size(), len);
    std::copy_n(fifo_.begin(), n, buf);
    fifo_.erase(fifo_.begin(), fifo_.begin() + std::ptrdiff_t(n));
    got = std::uint32_t(n);
    if (!open_) return UsbInvalidHandle;
    return failed_ && got < len ? UsbIoError : UsbOk;
}

int LibFtdiPort::write(const std::uint8_t* buf, std::uint32_t len, std::uint32_t& written) {
    written = 0;
    std::lock_guard writing(writeM_);
    {
        std::lock_guard lock(m_);
        if (!usable() || failed_) return UsbInvalidHandle;
    }
    if (len == 0) return UsbOk;
    if (len > 0x7FFFFFFFu) return UsbOtherError;
    // The bridge stays open: close() needs writeM_, which is held here.
    const int n = bridge_->write(buf, int(len));
    if (n > 0) written = std::uint32_t(n);
    return n == int(len) ? UsbOk : UsbIoError;
}

}  // namespace tesmar
