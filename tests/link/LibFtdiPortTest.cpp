// The hardware port: without hardware every call fails cleanly; over a fake
// bridge that answers like the chip (nothing for a latency of 2 ms) the waits
// last what their bounds say and end on Abort.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "link/LibFtdiPort.h"
#include "link/Link.h"
#include "link/Replies.h"
#include "support/TestSupport.h"

using namespace tesmar;

namespace {

using Clock = std::chrono::steady_clock;

// A bridge whose read, like the chip's, waits out a 2 ms latency timer when
// the programmer has sent nothing.
class FakeBridge : public FtdiBridge {
public:
    bool open(const std::string& description) override { return description == "Tesmar"; }
    void close() override {}
    bool serialNumber(std::string& serial) override {
        serial = "FT000001";
        return true;
    }
    bool reset() override { return true; }
    bool flushReceive() override {
        std::lock_guard lock(m_);
        incoming_.clear();
        return true;
    }
    bool flushTransmit() override { return true; }
    void setWriteTimeout(std::uint32_t) override {}
    int read(std::uint8_t* buf, int len) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::unique_lock lock(m_);
        reading_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !held_; });
        reading_ = false;
        int n = 0;
        for (; n < len && !incoming_.empty(); ++n) {
            buf[n] = incoming_.front();
            incoming_.pop_front();
        }
        return n;
    }
    int write(const std::uint8_t*, int len) override { return len; }

    // The programmer sends these bytes.
    void send(const std::string& bytes) {
        std::lock_guard lock(m_);
        incoming_.insert(incoming_.end(), bytes.begin(), bytes.end());
    }

    // While held, a read under way does not return.
    void holdReads(bool on) {
        std::lock_guard lock(m_);
        held_ = on;
        changed_.notify_all();
    }
    // Returns once the port's reader is inside a read.
    void awaitRead() {
        std::unique_lock lock(m_);
        changed_.wait(lock, [&] { return reading_; });
    }

private:
    std::mutex m_;
    std::condition_variable changed_;
    bool held_ = false, reading_ = false;
    std::deque<std::uint8_t> incoming_;
};

// The port, telling when the host first waits on it for bytes.
class WatchedPort : public LibFtdiPort {
public:
    using LibFtdiPort::LibFtdiPort;
    int read(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got) override {
        noteWait();
        return LibFtdiPort::read(buf, len, got);
    }
    int readUnless(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got,
                   const std::function<bool()>& giveUp) override {
        noteWait();
        return LibFtdiPort::readUnless(buf, len, got, giveUp);
    }
    int waitQueue(std::uint32_t atLeast, std::chrono::microseconds maxWait, std::uint32_t& bytesWaiting) override {
        noteWait();
        return LibFtdiPort::waitQueue(atLeast, maxWait, bytesWaiting);
    }
    // True once the host waits on the port; false when endWatch() came first.
    bool awaitWait() {
        std::unique_lock lock(watchM_);
        watched_.wait(lock, [&] { return waited_ || ended_; });
        return waited_;
    }
    void endWatch() {
        std::lock_guard lock(watchM_);
        ended_ = true;
        watched_.notify_all();
    }

private:
    void noteWait() {
        std::lock_guard lock(watchM_);
        waited_ = true;
        watched_.notify_all();
    }
    std::mutex watchM_;
    std::condition_variable watched_;
    bool waited_ = false, ended_ = false;
};

struct PortRig {
    FakeBridge* bridge;
    WatchedPort port;
    AppState st;

    PortRig() : PortRig(std::make_unique<FakeBridge>()) {}
    explicit PortRig(std::unique_ptr<FakeBridge> b) : bridge(b.get()), port(std::move(b)) {
        EXPECT_EQ(port.open("Tesmar", 0x20000002), UsbOk);
        st.usb = &port;
    }
    // Runs `act` on another thread once the host waits on the port for
    // bytes, as the programmer or the user acts while the host waits; not at
    // all when the host is done first (call port.endWatch() then).
    std::thread onceWaiting(std::function<void()> act) {
        return std::thread([this, act] {
            if (port.awaitWait()) act();
        });
    }
};

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

}  // namespace

TEST(LibFtdiPort, WithoutAProgrammerOpenFailsAndEveryCallIsRefused) {
    LibFtdiPort port;
    EXPECT_NE(port.open("Tesmar", 0x20000002), UsbOk);
    EXPECT_FALSE(port.isOpen());

    std::string serial = "0000000000";
    std::uint32_t a = 1, b = 1, c = 1, got = 1, written = 1;
    std::uint8_t buf[4] = {};
    EXPECT_NE(port.readSerialNumber(serial), UsbOk);
    EXPECT_EQ(serial, "0000000000");
    EXPECT_NE(port.reset(), UsbOk);
    EXPECT_NE(port.purge(PurgeBoth), UsbOk);
    EXPECT_NE(port.queueStatus(a), UsbOk);
    EXPECT_EQ(a, 0u);
    EXPECT_NE(port.status(a, b, c), UsbOk);
    EXPECT_NE(port.read(buf, 4, got), UsbOk);  // no device: no read time-out to sit out
    EXPECT_EQ(got, 0u);
    EXPECT_NE(port.write(buf, 4, written), UsbOk);
    EXPECT_EQ(written, 0u);
    EXPECT_NE(port.close(), UsbOk);
}

TEST(LibFtdiPort, StartUpWithoutAProgrammerIsDemoMode) {
    LibFtdiPort port;
    test::RecorderHost host;
    AppState st;
    st.usb = &port;
    st.host = &host;
    st.pause = [](int) {};
    ConnectProgrammer(st, false);
    EXPECT_EQ(st.ProgrammerState, 0);
    EXPECT_EQ(host.lines(), (QStringList{" ", " **** NO PROGRAMMER FOUND ****", " **** System in Tesmar DEMO mode  ****"}));
}

// 3000 polls are half a second, however long the bridge takes to say it has
// nothing: a queue poll never waits for the bridge.
TEST(LibFtdiPort, SilentWaitLastsWhatItsPollBoundSays) {
    PortRig r;
    const auto started = Clock::now();
    EXPECT_FALSE(waitForBytes(r.st, 1, 3000));
    EXPECT_GT(secondsSince(started), 0.4);
    EXPECT_LT(secondsSince(started), 1.5);
}

TEST(LibFtdiPort, QueuePollAnswersWhileTheBridgeReads) {
    PortRig r;
    r.bridge->holdReads(true);
    r.bridge->awaitRead();
    auto poll = std::async(std::launch::async, [&] {
        std::uint32_t queued = 0;
        return r.port.queueStatus(queued);
    });
    EXPECT_EQ(poll.wait_for(std::chrono::seconds(1)), std::future_status::ready);
    r.bridge->holdReads(false);
    EXPECT_EQ(poll.get(), UsbOk);
}

TEST(LibFtdiPort, ReplyEndsTheWaitAndPurgeDropsWhatCameBefore) {
    PortRig r;
    std::thread programmer = r.onceWaiting([&] { r.bridge->send("Good"); });
    const auto started = Clock::now();
    EXPECT_TRUE(readReplyWord(r.st, "Good", OnAbort::Ignore));
    EXPECT_LT(secondsSince(started), 1.0);
    r.port.endWatch();
    programmer.join();

    r.bridge->send("Junk");
    ASSERT_TRUE(waitForBytes(r.st, 4));
    EXPECT_EQ(r.port.purge(PurgeRx), UsbOk);
    std::uint32_t queued = 1;
    EXPECT_EQ(r.port.queueStatus(queued), UsbOk);
    EXPECT_EQ(queued, 0u);
}

// After Abort a read ends within about half a second, not at its time-out.
TEST(LibFtdiPort, AbortEndsAWaitingRead) {
    for (OnAbort rule : {OnAbort::Grace, OnAbort::Stop}) {
        PortRig r;
        r.port.setTimeouts(10000, 10000);
        // Abort once the read waits on the port, not after a time.
        Clock::time_point pressed{};
        std::thread abort = r.onceWaiting([&] {
            pressed = Clock::now();
            r.st.RunFlag = 0;
        });
        std::uint8_t buf[4];
        int status = UsbOk;
        EXPECT_EQ(readBytes(r.st, buf, 4, &status, rule), 0u);
        const auto ended = Clock::now();
        r.port.endWatch();
        abort.join();
        ASSERT_NE(pressed, Clock::time_point{}) << "the read ended before Abort";
        EXPECT_LT(std::chrono::duration<double>(ended - pressed).count(), 1.0);
    }
}
