#pragma once
// A programmer whose every answer comes from the fuzz input, behind the real
// driver interface. After each host write the answer to it is taken from the
// script as a list of deliveries:
//
//   0x00        end of the answer
//   0x01..0x7E  that many bytes follow, arriving together
//   0x7F        a pause: one poll finds nothing new, a read waiting for more times out
//   0x80..0xFF  a run: two bytes a, b follow; ((t & 0x7F) + 1) * 64 bytes a, b, a, b ...
//
// Each receive-queue poll lets the next delivery of the answers under way
// arrive; a read takes what has arrived and lets further deliveries arrive
// until it has its bytes, meets a pause or the answers run out. Nothing ever
// blocks: once the script is used up the programmer is silent (or, with
// deadAtEnd, the bridge reports an I/O error on every poll and read).
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "common/Script.h"
#include "link/UsbPort.h"

namespace tesmar::fuzz {

namespace token {
constexpr std::uint8_t kEndOfAnswer = 0x00;
constexpr std::uint8_t kMaxLiteral = 0x7E;
constexpr std::uint8_t kPause = 0x7F;
constexpr std::uint8_t kRun = 0x80;
constexpr std::size_t kRunUnit = 64;
constexpr std::size_t kMaxRunUnits = 128;
}  // namespace token

class ScriptedPort : public UsbPort {
public:
    explicit ScriptedPort(Script& script) : script_(script) {}

    // The bridge.
    int opensToFail = 0;       // open calls that fail before one succeeds
    bool serialFails = false;  // the EEPROM read fails
    bool purgeFails = false;   // purge calls fail
    bool deadAtEnd = false;
    std::string serial = "TS000001";
    // Called before the read numbered `abortAtRead` (1 = the first); 0 never.
    unsigned abortAtRead = 0;
    std::function<void()> onAbort;

    int open(const std::string& description, std::uint32_t flags) override;
    int close() override;
    bool isOpen() const override { return open_; }
    int readSerialNumber(std::string& serial) override;
    int reset() override { return UsbOk; }
    int purge(unsigned mask) override;
    int setTimeouts(std::uint32_t, std::uint32_t) override { return UsbOk; }
    int queueStatus(std::uint32_t& bytesWaiting) override;
    int status(std::uint32_t& rx, std::uint32_t& tx, std::uint32_t& events) override;
    int read(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got) override;
    int write(const std::uint8_t* buf, std::uint32_t len, std::uint32_t& written) override;
    using UsbPort::write;

private:
    struct Delivery {
        std::vector<std::uint8_t> bytes;
        bool pause = false;
    };
    void takeAnswer();
    // Lets the next delivery arrive; false for a pause or when none is under way.
    bool arrive();
    bool dead() const;
    std::size_t queued() const { return queue_.size() - head_; }

    Script& script_;
    bool open_ = false;
    unsigned reads_ = 0;
    std::size_t materialised_ = 0;
    std::deque<Delivery> inFlight_;
    std::vector<std::uint8_t> queue_;
    std::size_t head_ = 0;
};

}  // namespace tesmar::fuzz
