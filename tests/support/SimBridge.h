#pragma once
// The FTDI bridge with the simulated programmer behind it, for the libftdi
// port: a read waits out the chip's 2 ms latency timer when nothing has
// come. The line toward the host can be told to go dead after a number of
// further bytes (the programmer still takes what it is sent, the host hears
// nothing more), and the bridge notes when it last delivered a byte.
// Header-only: the benchmarks use it as well as the tests.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "link/FtdiBridge.h"
#include "link/Protocol.h"
#include "sim/SimProgrammer.h"

namespace tesmar::test {

class SimBridge : public FtdiBridge {
public:
    using Clock = std::chrono::steady_clock;
    explicit SimBridge(sim::SimProgrammer& sim) : sim_(sim) {}

    bool open(const std::string& description) override {
        return sim_.open(description, proto::kOpenFlagsConnect) == UsbOk;
    }
    void close() override { sim_.close(); }
    bool serialNumber(std::string& serial) override { return sim_.readSerialNumber(serial) == UsbOk; }
    bool reset() override { return sim_.reset() == UsbOk; }
    bool flushReceive() override { return sim_.purge(PurgeRx) == UsbOk; }
    bool flushTransmit() override { return sim_.purge(PurgeTx) == UsbOk; }
    void setWriteTimeout(std::uint32_t) override {}
    int read(std::uint8_t* buf, int len) override {
        constexpr auto kLatency = std::chrono::milliseconds(2);
        if (silent()) {
            std::this_thread::sleep_for(kLatency);
            return 0;
        }
        std::uint32_t queued = 0;
        if (sim_.waitQueue(1, kLatency, queued) != UsbOk || queued == 0) return 0;
        std::uint32_t got = 0;
        sim_.read(buf, std::min<std::uint32_t>({queued, std::uint32_t(len), allowance()}), got);
        if (got > 0) {
            delivered_ += got;
            lastByte_ = Clock::now().time_since_epoch().count();
        }
        return int(got);
    }
    int write(const std::uint8_t* buf, int len) override {
        std::uint32_t written = 0;
        sim_.write(buf, std::uint32_t(len), written);
        return int(written);
    }

    // Goes silent once `bytes` more have been delivered; negative: never.
    void silentAfter(long long bytes) { silentAt_ = bytes < 0 ? -1 : delivered_.load() + bytes; }
    bool silent() const { return allowance() == 0; }
    // How long nothing has been delivered, in milliseconds.
    double quietMs() const {
        return std::chrono::duration<double, std::milli>(Clock::now() - Clock::time_point(Clock::duration(lastByte_.load())))
            .count();
    }

private:
    // Bytes still to be delivered before the line goes dead.
    std::uint32_t allowance() const {
        const long long at = silentAt_.load();
        if (at < 0) return UINT32_MAX;
        return std::uint32_t(std::clamp(at - delivered_.load(), 0LL, (long long)UINT32_MAX));
    }
    sim::SimProgrammer& sim_;
    std::atomic<long long> delivered_{0}, silentAt_{-1};
    std::atomic<Clock::rep> lastByte_{Clock::now().time_since_epoch().count()};
};

}  // namespace tesmar::test
