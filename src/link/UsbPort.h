#pragma once
// The ten operations of the programmer's USB bridge driver. Two implementations
// stand behind it: the libftdi port (real hardware) and the simulated
// programmer (sim/). Every call returns a status, 0 meaning success; callers
// ignore it except where the protocol says otherwise. Implementations
// serialise their calls: the interface thread may write "Stop" while the
// worker thread reads.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace tesmar {

enum UsbStatus : int { UsbOk = 0, UsbInvalidHandle = 1, UsbDeviceNotFound = 2, UsbIoError = 4, UsbOtherError = 18 };

enum PurgeMask : unsigned { PurgeRx = 1, PurgeTx = 2, PurgeBoth = 3 };

class UsbPort {
public:
    virtual ~UsbPort() = default;

    // Open by description ("Tesmar") with the driver flags; status 0 on success.
    virtual int open(const std::string& description, std::uint32_t flags) = 0;
    virtual int close() = 0;
    virtual bool isOpen() const = 0;
    // Reads the bridge's configuration EEPROM; only the serial number is used.
    virtual int readSerialNumber(std::string& serial) = 0;
    virtual int reset() = 0;
    virtual int purge(unsigned mask) = 0;
    virtual int setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) = 0;
    // Bytes waiting in the receive queue.
    virtual int queueStatus(std::uint32_t& bytesWaiting) = 0;
    virtual int status(std::uint32_t& rx, std::uint32_t& tx, std::uint32_t& events) = 0;
    // Returns with len bytes or at the read time-out.
    virtual int read(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got) = 0;
    virtual int write(const std::uint8_t* buf, std::uint32_t len, std::uint32_t& written) = 0;

    // Waits up to `maxWait` for at least `atLeast` bytes in the receive queue,
    // then answers as queueStatus does. A port that learns of arriving data
    // returns as soon as it is there and costs nothing while it waits; this
    // default sleeps at most kIdleSleep and asks again, so the caller's own
    // loop decides how long the wait lasts.
    virtual int waitQueue(std::uint32_t atLeast, std::chrono::microseconds maxWait, std::uint32_t& bytesWaiting);
    // A read that also ends, with what has come so far, once `giveUp` returns
    // true; a port whose reads wait asks it every few milliseconds. The
    // default is a plain read.
    virtual int readUnless(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got,
                           const std::function<bool()>& giveUp) {
        (void)giveUp;
        return read(buf, len, got);
    }

    // The longest sleep of the default waitQueue.
    static constexpr std::chrono::microseconds kIdleSleep{1000};

    // Convenience wrappers.
    int write(const std::string& s) {
        std::uint32_t n;
        return write(reinterpret_cast<const std::uint8_t*>(s.data()), std::uint32_t(s.size()), n);
    }
    int write(const std::uint8_t* buf, std::uint32_t len) {
        std::uint32_t n;
        return write(buf, len, n);
    }
};

}  // namespace tesmar
