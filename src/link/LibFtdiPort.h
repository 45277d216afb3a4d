#pragma once
// UsbPort over the programmer's FTDI USB bridge (real hardware). A reader
// thread moves whatever the bridge sends into a host-side receive FIFO, so
// the receive-queue status answers at once, a read waits for its bytes up to
// the read time-out, and a purge empties both the FIFO and the chip.
//
// Three locks, never held across a wait for the programmer:
// - m_ guards the FIFO and the port's state; queue status, reads and waits
//   take only it, so they never wait for the bridge;
// - bridgeM_ keeps the reader's bridge reads apart from the other calls on
//   the bridge's receive side (purge, reset, serial number, open, close);
// - writeM_ serialises writes, which run beside the reader: a programmer
//   that answers while it still takes data (one acknowledgement per byte)
//   must never find the host deaf because a long write is waiting for it.
// Taken in the order writeM_, bridgeM_, m_.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "link/FtdiBridge.h"
#include "link/UsbPort.h"

namespace tesmar {

class LibFtdiPort : public UsbPort {
public:
    explicit LibFtdiPort(std::unique_ptr<FtdiBridge> bridge = makeLibFtdiBridge());
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
    int waitQueue(std::uint32_t atLeast, std::chrono::microseconds maxWait, std::uint32_t& bytesWaiting) override;
    int readUnless(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got,
                   const std::function<bool()>& giveUp) override;

private:
    void readerLoop();
    // Takes bridgeM_ for a caller; the reader steps aside meanwhile.
    std::unique_lock<std::mutex> lockBridge();
    // Whether the port may serve a call (m_ held).
    bool usable() const { return open_ && !closing_; }

    std::unique_ptr<FtdiBridge> bridge_;
    mutable std::mutex m_;
    std::mutex bridgeM_;
    std::mutex writeM_;
    std::condition_variable arrived_;
    std::deque<std::uint8_t> fifo_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::atomic<int> bridgeCallers_{0};
    bool open_ = false;
    bool closing_ = false;
    bool failed_ = false;  // the reader gave up: the device is gone
    std::uint32_t readMs_ = 10000;
    std::uint32_t writeMs_ = 10000;
};

}  // namespace tesmar
