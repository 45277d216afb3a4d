// The bridge side of the simulator: opening, closed-port calls, queues, logs.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "SimTestUtil.h"

using namespace tesmar;
using namespace tesmar::sim;
using namespace tesmar::sim::test;

TEST(SimTransport, OpensOnlyTheConnectedTesmar) {
    SimProgrammer sim;
    EXPECT_NE(sim.open("Other", 2), 0);
    EXPECT_FALSE(sim.isOpen());
    sim.setConnected(false);
    EXPECT_NE(sim.open("Tesmar", 2), 0);
    sim.setConnected(true);
    EXPECT_EQ(sim.open("Tesmar", 0x20000002), 0);
    EXPECT_TRUE(sim.isOpen());
    EXPECT_NE(sim.open("Tesmar", 2), 0) << "a second open of an open port";
    EXPECT_EQ(sim.close(), 0);
    EXPECT_FALSE(sim.isOpen());
    EXPECT_NE(sim.close(), 0) << "closing twice";
    EXPECT_EQ(sim.driverCalls().front(), "open Other 0x2");
}

TEST(SimTransport, EveryCallOnAClosedPortFails) {
    SimProgrammer sim;
    std::uint32_t a = 0, b = 0, c = 0;
    std::uint8_t buf[4] = {'N', 0, 0, 0};
    std::string serial;
    std::vector<std::pair<const char*, std::function<int()>>> calls = {
        {"serial", [&] { return sim.readSerialNumber(serial); }},
        {"reset", [&] { return sim.reset(); }},
        {"purge", [&] { return sim.purge(PurgeBoth); }},
        {"timeouts", [&] { return sim.setTimeouts(1, 1); }},
        {"queue", [&] { return sim.queueStatus(a); }},
        {"status", [&] { return sim.status(a, b, c); }},
        {"read", [&] { return sim.read(buf, 4, a); }},
        {"write", [&] { return sim.write(buf, 4, a); }},
    };
    for (auto& [name, call] : calls) EXPECT_NE(call(), 0) << name;
    EXPECT_TRUE(sim.hostBytes().empty()) << "a write to a closed port reaches nobody";

    // A programmer unplugged while open fails too.
    sim.open("Tesmar", 2);
    sim.setConnected(false);
    for (auto& [name, call] : calls) EXPECT_NE(call(), 0) << name << " after unplugging";
}

TEST(SimTransport, SerialNumberAndTimeouts) {
    OpenSim s;
    std::string serial = "0000000000";
    EXPECT_EQ(s.sim.readSerialNumber(serial), 0);
    EXPECT_EQ(serial, "TS000001");
    s.sim.setSerialNumber("AB123");
    s.sim.readSerialNumber(serial);
    EXPECT_EQ(serial, "AB123");
    s.sim.setTimeouts(2000, 60000);
    EXPECT_EQ(s.sim.readTimeoutMs(), 2000u);
    EXPECT_EQ(s.sim.writeTimeoutMs(), 60000u);
}

TEST(SimTransport, ReadTakesAtMostWhatWasAskedAndLeavesTheRest) {
    OpenSim s;
    s.sim.setIdentifyReply({2, 7, 9, 11, 13});
    send(s.sim, {'N', 0, 0, 0});
    std::uint32_t rx = 0, tx = 0, ev = 0;
    std::uint32_t waiting = 0;
    s.sim.queueStatus(waiting);
    EXPECT_EQ(waiting, 5u);
    s.sim.status(rx, tx, ev);
    EXPECT_EQ(rx, 5u);
    EXPECT_EQ(readN(s.sim, 2), (Bytes{2, 7}));
    EXPECT_EQ(readN(s.sim, 10), (Bytes{9, 11, 13}));
    EXPECT_TRUE(readN(s.sim, 4).empty()) << "an empty queue times out with nothing";
}

TEST(SimTransport, FramesMayArriveInPieces) {
    OpenSim s;
    for (std::uint8_t b : Bytes{'N', 0, 0})
        send(s.sim, {b});
    EXPECT_TRUE(drain(s.sim).empty());
    send(s.sim, {0});
    EXPECT_EQ(drain(s.sim), Bytes{2});
}

TEST(SimTransport, LogsEveryWriteUntilCleared) {
    OpenSim s;
    send(s.sim, bytes("TO") + Bytes{0, 0});
    send(s.sim, {'N', 0});
    send(s.sim, {0, 0});
    EXPECT_EQ(s.sim.hostWrites(), (std::vector<Bytes>{{'T', 'O', 0, 0}, {'N', 0}, {0, 0}}));
    EXPECT_EQ(s.sim.hostBytes(), (Bytes{'T', 'O', 0, 0, 'N', 0, 0, 0}));
    s.sim.clearLog();
    EXPECT_TRUE(s.sim.hostBytes().empty());
    EXPECT_TRUE(s.sim.hostWrites().empty());
    EXPECT_TRUE(s.sim.driverCalls().empty());
}

TEST(SimTransport, PurgeReceiveDropsRepliesAndPurgeTransmitResynchronises) {
    OpenSim s;
    send(s.sim, {'N', 0, 0, 0});
    EXPECT_EQ(s.sim.purge(PurgeRx), 0);
    EXPECT_TRUE(drain(s.sim).empty());

    // An upload cut short: without the purge the identify frame would be taken as bitstream data.
    send(s.sim, bytes("FPGA"));
    EXPECT_EQ(readN(s.sim, 4), bytes("Send"));
    send(s.sim, Bytes(50, 0xAA));
    EXPECT_EQ(s.sim.purge(PurgeBoth), 0);
    send(s.sim, {'N', 0, 0, 0});
    EXPECT_EQ(drain(s.sim), Bytes{2});
    ASSERT_EQ(s.sim.protocolErrors().size(), 1u);
    EXPECT_NE(s.sim.protocolErrors()[0].find("bitstream"), std::string::npos);
}

TEST(SimTransport, ResetDropsAHalfSentFrame) {
    OpenSim s;
    send(s.sim, {'E', 'R'});
    EXPECT_EQ(s.sim.reset(), 0);
    send(s.sim, {'N', 0, 0, 0});
    EXPECT_EQ(drain(s.sim), Bytes{2});
}

TEST(SimTransport, StopFromAnotherThreadEndsAStreamBeingRead) {
    OpenSim s;
    tesmar::DeviceRecord rec;
    rec.FamilyLetter = 'R';
    rec.LastAddress = 0x1FFFFFF;  // far more than the reader takes before the stop
    s.sim.insertBlankChipFor(rec);
    send(s.sim, {'E', 'R', 0, 0});
    std::atomic<bool> started{false};
    std::size_t total = 0;
    std::thread reader([&] {
        int quiet = 0;
        while (quiet < 1000) {
            std::uint32_t waiting = 0;
            s.sim.queueStatus(waiting);
            Bytes b(waiting);
            std::uint32_t got = 0;
            s.sim.read(b.data(), waiting, got);
            total += got;
            started = true;
            quiet = got ? 0 : quiet + 1;
        }
    });
    while (!started) std::this_thread::yield();
    std::uint32_t n = 0;
    s.sim.write(reinterpret_cast<const std::uint8_t*>("Stop"), 4, n);
    reader.join();
    EXPECT_LT(total, std::size_t(0x2000000));
}

// A long-running program must not grow with every byte it writes: the log
// keeps the latest writes up to its limit, or nothing at all.
TEST(SimTransport, LogKeepsTheLatestWritesUpToItsLimit) {
    OpenSim s;
    s.sim.setLogLimit(10);
    for (const char* w : {"Stop", "ErrV", "ErrB"}) send(s.sim, bytes(w));
    EXPECT_EQ(s.sim.hostBytes(), bytes("ErrVErrB"));
    EXPECT_EQ(s.sim.hostWrites(), (std::vector<Bytes>{bytes("ErrV"), bytes("ErrB")}));
    send(s.sim, pattern(40));
    EXPECT_EQ(s.sim.hostBytes(), pattern(40)) << "the latest write is kept whole";

    s.sim.setLogLimit(0);
    send(s.sim, bytes("Stop"));
    s.sim.purge(PurgeBoth);
    EXPECT_TRUE(s.sim.hostBytes().empty());
    EXPECT_TRUE(s.sim.driverCalls().empty());
}
