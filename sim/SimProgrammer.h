#pragma once
// The simulated programmer: the device side of the wire protocol, in-process,
// behind the same driver interface as the real bridge. The host's writes feed
// the firmware's frame parser; replies wait in a receive queue that the
// queue-status and read calls serve. Reads never wait: what the programmer
// would still send within the read time-out is delivered at once. A wait on
// the queue sleeps until the host writes (the only thing that makes a
// programmer with nothing to send speak again) or the wait's time is up.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devices/DeviceRecord.h"
#include "link/UsbPort.h"
#include "sim/Chip.h"
#include "sim/FaultPlan.h"
#include "sim/Firmware.h"
#include "sim/LogicIcTester.h"

namespace tesmar::sim {

// Sizes the firmware expects.
inline constexpr std::size_t kBitstreamSize = 19897;
inline constexpr std::size_t kFirmwareMaxBytes = 8192;
inline constexpr std::size_t kPacketSize = 15;

// Bytes of the device-parameter tail that follow the packet, by family letter.
std::size_t parameterTailLength(char familyLetter);

// A blank chip that matches the record, or null for families without a chip model.
std::shared_ptr<Chip> makeBlankChip(const tesmar::DeviceRecord& rec);

// Bytes a host sends only when its operation runs to the end: after an Abort
// it sends none, and its next operation begins with a reset. A reset or purge
// that cuts such a sink off is therefore no fault of the host.
class TrailingSink : public ByteSink {};

class SimProgrammer : public tesmar::UsbPort, private FrameContext {
public:
    SimProgrammer();
    ~SimProgrammer() override;

    // UsbPort.
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

    // The bridge.
    void setConnected(bool present);             // default true
    void setSerialNumber(const std::string& serial);  // default "TS000001"
    void setIdentifyReply(std::vector<std::uint8_t> reply);  // default {2} (ready)
    std::uint32_t readTimeoutMs() const;
    std::uint32_t writeTimeoutMs() const;

    // What the host did. The log keeps the most recent kDefaultLogLimit bytes
    // (and as many driver calls and notes); setLogLimit(0) switches it off,
    // as a long-running program does, whose memory must not grow per operation.
    static constexpr std::size_t kDefaultLogLimit = 16u << 20;
    void setLogLimit(std::size_t bytes);
    std::vector<std::uint8_t> hostBytes() const;  // every byte written since clearLog()
    std::vector<std::vector<std::uint8_t>> hostWrites() const;  // the same, one entry per write call
    // Driver calls other than read and queue status, in order: "open Tesmar 0x20000002",
    // "close", "reset", "purge 3", "timeouts 2000 60000", "status", "write 4".
    std::vector<std::string> driverCalls() const;
    // Host traffic the firmware could not make sense of (empty for a correct host).
    std::vector<std::string> protocolErrors() const;
    void clearLog();

    // What the firmware received.
    std::vector<std::uint8_t> lastBitstream() const;   // the 19897 bytes after "FPGA"
    std::vector<std::uint8_t> lastFirmware() const;    // the firmware bytes after "MCU " + length
    std::vector<std::uint8_t> lastParameters() const;  // after "V000": size, packet, tail

    // The socket.
    void insertChip(std::shared_ptr<Chip> chip);  // nullptr = empty socket
    void insertBlankChipFor(const tesmar::DeviceRecord& rec);
    std::shared_ptr<Chip> chip() const;
    // A good logic IC of that name for the tester; an unknown name leaves the socket empty.
    void insertLogicIc(const std::string& name);
    // The logic IC in the socket (for its faults), or null.
    std::shared_ptr<LogicIc> logicIc() const;

    FaultPlan& faults();

private:
    // FrameContext (called with the lock held).
    void reply(std::span<const std::uint8_t> bytes) override;
    using FrameContext::reply;
    void replyWord(Reply where, std::string_view word) override;
    void startStream(std::unique_ptr<ByteSource> source) override;
    void receive(std::unique_ptr<ByteSink> sink) override;
    void receive(std::size_t n, std::string what,
                 std::function<void(std::vector<std::uint8_t>, FrameContext&)> done) override;
    const FaultPlan& faults() const override { return faults_; }
    void note(std::string text) override;

    int portState() const;
    void pollQueue();
    void logWrite(const std::uint8_t* buf, std::uint32_t len);
    void logCall(std::string call);
    void feed(const std::uint8_t* p, std::size_t n);
    void dispatch(const Frame& f);
    void endStream();
    void dropInput(const char* why);
    void deliver(std::size_t target);

    mutable std::mutex m_;
    std::condition_variable hostActed_;  // a write, purge, reset or close
    std::uint64_t hostActions_ = 0;
    bool connected_ = true;
    bool open_ = false;
    std::string serial_ = "TS000001";
    std::vector<std::uint8_t> identifyReply_{2};
    std::uint32_t readTimeout_ = 0, writeTimeout_ = 0;

    // The log: the bytes written, where each write ended in them, the calls.
    std::size_t logLimit_ = kDefaultLogLimit;
    std::deque<std::uint8_t> written_;
    std::deque<std::size_t> writeLengths_;
    std::deque<std::string> calls_, notes_;

    Frame frame_;
    std::size_t frameFill_ = 0;
    std::unique_ptr<ByteSink> sink_;
    std::unique_ptr<ByteSource> stream_;
    std::uint64_t streamed_ = 0;
    std::deque<std::uint8_t> pending_;  // sent by the firmware, not yet in the receive queue
    std::deque<std::uint8_t> rx_;       // the receive queue

    std::vector<std::uint8_t> bitstream_, firmware_, parameters_;
    std::shared_ptr<Chip> chip_;
    LogicIcTester tester_;
    FaultPlan faults_;
};

}  // namespace tesmar::sim
