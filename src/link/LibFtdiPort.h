#pragma once
// UsbPort over libftdi1: the programmer's FTDI USB bridge on real hardware.
// A reader thread moves whatever the bridge sends into a host-side receive
// FIFO, so the receive-queue status answers at once, a read waits for its
// bytes up to the read time-out, and a purge empties both the FIFO and the
// chip. Calls are serialised by a mutex; a waiting read releases it, so
// another thread can write "Stop" meanwhile. Writes are serialised by a
// mutex of their own and run beside the reader: a programmer that answers
// while it still takes data (one acknowledgement per byte) must never find
// the host deaf because a long write is waiting for it.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "link/UsbPort.h"

struct ftdi_context;

namespace tesmar {

class LibFtdiPort : public UsbPort {
public:
    LibFtdiPort() = default;
    ~LibFtdiPort() override;
    LibFtdiPort(const LibFtdiPort&) = delete;
    LibFtdiPort& operator=(const LibFtdiPort&) = delete;

    // Opens the first FTDI bridge whose product description equals
    // `description`. The driver flags have no meaning here.
    int open(const std::string& description, std::uint32_t flags) override;
    int close() override;
    bool isOpen() const override;
    int readSerialNumber(std::string& serial) override;
    int reset() override;
    int purge(unsigned mask) override;
    int setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override;
    int queueStatus(std::uint32_t& bytesWaiting) override;
    int status(std::uint32_t& rx, std::uint32_t& tx, std::uint32_t& events) override;
    int read(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got) override;
    int write(const std::uint8_t* buf, std::uint32_t len, std::uint32_t& written) override;
    using UsbPort::write;

private:
    void readerLoop();
    // Takes the mutex for a caller, telling the reader to step aside meanwhile.
    std::unique_lock<std::mutex> lockForCall() const;

    mutable std::mutex m_;
    std::mutex writeM_;  // taken before m_ when both are needed
    std::condition_variable arrived_;
    ftdi_context* ctx_ = nullptr;
    std::deque<std::uint8_t> fifo_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    mutable std::atomic<int> callersWaiting_{0};
    bool closing_ = false;
    bool failed_ = false;  // the reader gave up: the device is gone
    std::uint32_t readMs_ = 10000;
    std::uint32_t writeMs_ = 10000;
};

}  // namespace tesmar
