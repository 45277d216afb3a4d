#include "link/LibFtdiPort.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace tesmar {

namespace {

constexpr int kFtdiVendor = 0x0403;
constexpr int kBridgeProducts[] = {0x6001, 0x6010, 0x6014, 0x6015};
// A short latency makes the bridge hand over small replies quickly.
constexpr unsigned char kLatencyMs = 2;
// The reader's own bulk-read bound; the bridge answers within the latency.
constexpr int kReaderUsbTimeoutMs = 100;
// The reader stops taking bytes beyond this, leaving the bridge to hold off
// the programmer, so a babbling device cannot exhaust memory.
constexpr std::size_t kFifoLimit = 16u << 20;
constexpr int kReaderErrorLimit = 20;
// A zero time-out would wait forever; waits are always bounded here.
constexpr std::uint32_t kDefaultTimeoutMs = 10000;

std::uint32_t bounded(std::uint32_t ms) { return ms == 0 ? kDefaultTimeoutMs : ms; }

}  // namespace

LibFtdiPort::~LibFtdiPort() { close(); }

int LibFtdiPort::open(const std::string& description, std::uint32_t /*flags*/) {
    close();
    ftdi_context* ctx = ftdi_new();
    if (!ctx) return UsbDeviceNotFound;  // no USB stack at all
    bool found = false;
    for (int product : kBridgeProducts) {
        if (ftdi_usb_open_desc(ctx, kFtdiVendor, product, description.c_str(), nullptr) == 0) {
            found = true;
            break;
        }
    }
    if (!found) {
        ftdi_free(ctx);
        return UsbDeviceNotFound;
    }
    ftdi_set_latency_timer(ctx, kLatencyMs);
    ftdi_tciflush(ctx);
    ftdi_tcoflush(ctx);
    ctx->usb_read_timeout = kReaderUsbTimeoutMs;
    ctx->usb_write_timeout = int(writeMs_);

    auto lock = lockForCall();
    ctx_ = ctx;
    fifo_.clear();
    failed_ = false;
    stop_ = false;
    reader_ = std::thread([this] { readerLoop(); });
    return UsbOk;
}

int LibFtdiPort::close() {
    std::lock_guard writing(writeM_);  // no write may be using the context
    std::thread reader;
    {
        auto lock = lockForCall();
        if (!ctx_ || closing_) return UsbInvalidHandle;
        closing_ = true;
        stop_ = true;
        reader = std::move(reader_);
    }
    if (reader.joinable()) reader.join();
    auto lock = lockForCall();
    ftdi_usb_close(ctx_);
    ftdi_free(ctx_);
    ctx_ = nullptr;
    fifo_.clear();
    closing_ = false;
    arrived_.notify_all();
    return UsbOk;
}

bool LibFtdiPort::isOpen() const {
    auto lock = lockForCall();
    return ctx_ != nullptr && !closing_;
}

std::unique_lock<std::mutex> LibFtdiPort::lockForCall() const {
    ++callersWaiting_;
    std::unique_lock lock(m_);
    --callersWaiting_;
    return lock;
}

void LibFtdiPort::readerLoop() {
    unsigned char chunk[4096];
    int errors = 0;
    while (!stop_) {
        int n = 0;
        bool full = false;
        {
            std::lock_guard lock(m_);
            if (!ctx_) break;
            full = fifo_.size() >= kFifoLimit;
            if (!full) n = ftdi_read_data(ctx_, chunk, int(sizeof chunk));
            if (n > 0) fifo_.insert(fifo_.end(), chunk, chunk + n);
        }
        if (n > 0) {
            errors = 0;
            arrived_.notify_all();
            // While bytes stream in, let a waiting caller (a "Stop" write, the
            // reader of the stream) have the mutex before reading on.
            if (callersWaiting_.load() > 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
            continue;
        }
        if (n < 0 && ++errors >= kReaderErrorLimit) {
            std::lock_guard lock(m_);
            failed_ = true;
            arrived_.notify_all();
            break;
        }
        // Nothing came: give writers a turn at the mutex before the next read.
        std::this_thread::sleep_for(std::chrono::microseconds(full || n < 0 ? 5000 : 200));
    }
}

int LibFtdiPort::readSerialNumber(std::string& serial) {
    auto lock = lockForCall();
    if (!ctx_) return UsbInvalidHandle;
    char text[64] = {};
    libusb_device* dev = libusb_get_device(ctx_->usb_dev);
    if (ftdi_usb_get_strings2(ctx_, dev, nullptr, 0, nullptr, 0, text, int(sizeof text)) != 0) return UsbIoError;
    text[sizeof text - 1] = '\0';
    serial.assign(text, strnlen(text, sizeof text));
    return UsbOk;
}

int LibFtdiPort::reset() {
    auto lock = lockForCall();
    if (!ctx_) return UsbInvalidHandle;
    return ftdi_usb_reset(ctx_) == 0 ? UsbOk : UsbIoError;
}

int LibFtdiPort::purge(unsigned mask) {
    auto lock = lockForCall();
    if (!ctx_ || failed_) return UsbInvalidHandle;
    int rc = UsbOk;
    if (mask & PurgeRx) {
        fifo_.clear();
        if (ftdi_tciflush(ctx_) != 0) rc = UsbIoError;
    }
    if ((mask & PurgeTx) && ftdi_tcoflush(ctx_) != 0) rc = UsbIoError;
    return rc;
}

int LibFtdiPort::setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    std::lock_guard writing(writeM_);  // a running write reads the write time-out
    auto lock = lockForCall();
    readMs_ = bounded(readMs);
    writeMs_ = bounded(writeMs);
    if (!ctx_) return UsbInvalidHandle;
    ctx_->usb_write_timeout = int(writeMs_ > 0x7FFFFFFFu ? 0x7FFFFFFFu : writeMs_);
    return UsbOk;
}

int LibFtdiPort::queueStatus(std::uint32_t& bytesWaiting) {
    auto lock = lockForCall();
    bytesWaiting = std::uint32_t(fifo_.size());
    if (!ctx_) return UsbInvalidHandle;
    return failed_ && fifo_.empty() ? UsbIoError : UsbOk;
}

int LibFtdiPort::status(std::uint32_t& rx, std::uint32_t& tx, std::uint32_t& events) {
    auto lock = lockForCall();
    rx = std::uint32_t(fifo_.size());
    tx = 0;
    events = 0;
    return ctx_ ? UsbOk : UsbInvalidHandle;
}

int LibFtdiPort::read(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got) {
    got = 0;
    auto lock = lockForCall();
    if (!ctx_) return UsbInvalidHandle;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readMs_);
    // The wait releases the mutex, so a "Stop" from another thread gets through.
    // A waiting read counts as a caller, so the reader steps aside after each
    // chunk and the woken read gets the mutex.
    ++callersWaiting_;
    arrived_.wait_until(lock, deadline, [&] { return !ctx_ || closing_ || failed_ || fifo_.size() >= len; });
    --callersWaiting_;
    const std::size_t n = fifo_.size() < len ? fifo_.size() : len;
    std::copy_n(fifo_.begin(), n, buf);
    fifo_.erase(fifo_.begin(), fifo_.begin() + std::ptrdiff_t(n));
    got = std::uint32_t(n);
    if (!ctx_) return UsbInvalidHandle;
    return failed_ && got < len ? UsbIoError : UsbOk;
}

int LibFtdiPort::write(const std::uint8_t* buf, std::uint32_t len, std::uint32_t& written) {
    written = 0;
    std::lock_guard writing(writeM_);
    ftdi_context* ctx = nullptr;
    {
        auto lock = lockForCall();
        if (!ctx_ || failed_ || closing_) return UsbInvalidHandle;
        ctx = ctx_;
    }
    if (len == 0) return UsbOk;
    if (len > 0x7FFFFFFFu) return UsbOtherError;
    // The context stays alive: close() needs writeM_, which is held here.
    const int n = ftdi_write_data(ctx, buf, int(len));
    if (n > 0) written = std::uint32_t(n);
    return n == int(len) ? UsbOk : UsbIoError;
}

}  // namespace tesmar
