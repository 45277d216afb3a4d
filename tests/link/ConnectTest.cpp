// Identify, connect and reconnect, the over-current probe and the re-open of
// a device selection, against the simulated programmer.
#include <gtest/gtest.h>

#include "link/Link.h"
#include "link/LinkTestSupport.h"
#include "link/Replies.h"
#include "sim/SimProgrammer.h"
#include "support/TestSupport.h"

using namespace tesmar;
using Calls = std::vector<std::string>;

namespace {

const QStringList kNotFound{" ", " **** NO PROGRAMMER FOUND ****", " **** System in Tesmar DEMO mode  ****"};

QStringList identityLines(const QString& serial, int reply) {
    return {" ", " Tesmar Serial Nr : " + serial, " Firmware Version    : " + QString::number(reply),
            " Software Version    : 1.052"};
}

QStringList notReadyLines(const QString& serial, int reply) {
    return identityLines(serial, reply) + QStringList{" **** System in Tesmar DEMO mode  ****",
                                                      " **** Tesmar COMMUNICATION ERROR **** ", " ",
                                                      "      TURN PROGRAMMER OFF, CLICK ON RECONNECT, TURN PROGRAMMER ON"};
}

class Link : public ::testing::Test {
protected:
    void SetUp() override {
        st.usb = &sim;
        st.host = &host;
        st.pause = [this](int ms) { pauses.push_back(ms); };
    }
    sim::SimProgrammer sim;
    test::RecorderHost host;
    AppState st;
    std::vector<int> pauses;
};

}  // namespace

TEST_F(Link, StartUpFindsAReadyProgrammer) {
    sim.setSerialNumber("TS123456");
    ConnectProgrammer(st, false);

    EXPECT_EQ(host.lines(), identityLines("TS123456", 2));
    EXPECT_EQ(st.ProgrammerState, 1);
    EXPECT_EQ(st.HardwareVariant, 'A');
    EXPECT_EQ(pauses, std::vector<int>{1000});
    EXPECT_TRUE(sim.isOpen());
    EXPECT_EQ(sim.driverCalls(), (Calls{"open Tesmar 0x20000002", "reset", "serial", "timeouts 2000 60000", "write 4",
                                        "reset", "purge 3"}));
    EXPECT_EQ(sim.hostBytes(), (std::vector<std::uint8_t>{'N', 0, 0, 0}));
}

TEST_F(Link, StartUpWithAProgrammerThatIsNotReady) {
    sim.faults().notReady = true;
    ConnectProgrammer(st, false);

    EXPECT_EQ(host.lines(), notReadyLines("TS000001", 1));
    EXPECT_EQ(st.ProgrammerState, 0);
    EXPECT_EQ(st.HardwareVariant, 'A');
    EXPECT_FALSE(sim.isOpen());
    const Calls calls = sim.driverCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "reset");
    EXPECT_EQ(calls.back(), "close");
}

TEST_F(Link, StartUpWithASilentProgrammerShowsVersionZero) {
    sim.faults().silent = true;
    ConnectProgrammer(st, false);
    EXPECT_EQ(host.lines(), notReadyLines("TS000001", 0));
    EXPECT_EQ(st.ProgrammerState, 0);
    EXPECT_FALSE(sim.isOpen());
}

TEST_F(Link, StartUpWithoutAProgrammerTriesTenTimes) {
    sim.setConnected(false);
    st.ProgrammerState = 0;
    ConnectProgrammer(st, false);

    EXPECT_EQ(host.lines(), kNotFound);
    EXPECT_EQ(st.ProgrammerState, 0);
    EXPECT_EQ(st.HardwareVariant, 'A');
    EXPECT_EQ(pauses, std::vector<int>(10, 1000));
    EXPECT_EQ(sim.driverCalls(), Calls(10, "open Tesmar 0x20000002"));
}

TEST_F(Link, StartUpWithoutAnyPortIsDemoMode) {
    st.usb = nullptr;
    ConnectProgrammer(st, false);
    EXPECT_EQ(host.lines(), kNotFound);
    EXPECT_EQ(st.ProgrammerState, 0);
    EXPECT_EQ(st.HardwareVariant, 'A');
}

TEST_F(Link, ReconnectClosesFirstAndSkipsTheEarlyReset) {
    ConnectProgrammer(st, false);
    sim.clearLog();
    host.memoClear();
    pauses.clear();

    ConnectProgrammer(st, true);
    EXPECT_EQ(host.lines(), identityLines("TS000001", 2));
    EXPECT_EQ(st.ProgrammerState, 1);
    EXPECT_EQ(pauses, std::vector<int>{100});
    EXPECT_EQ(sim.driverCalls(), (Calls{"close", "open Tesmar 0x20000002", "serial", "timeouts 2000 60000", "write 4",
                                        "reset", "purge 3"}));
}

TEST_F(Link, ReconnectWithoutAProgrammerLeavesDemoMode) {
    ConnectProgrammer(st, false);
    sim.setConnected(false);
    host.memoClear();
    pauses.clear();

    ConnectProgrammer(st, true);
    EXPECT_EQ(host.lines(), kNotFound);
    EXPECT_EQ(st.ProgrammerState, 0);
    EXPECT_EQ(pauses, std::vector<int>(10, 100));
    EXPECT_FALSE(sim.isOpen());
}

TEST_F(Link, QueryReturnsTheFirstByteAndDrainsTheRest) {
    std::vector<std::uint8_t> reply(40, 0x55);
    reply[0] = 7;
    sim.setIdentifyReply(reply);
    sim.open("Tesmar", 2);
    EXPECT_EQ(QueryProgrammer(st), 7);
    std::uint32_t left = 99;
    sim.queueStatus(left);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(sim.readTimeoutMs(), 2000u);
    EXPECT_EQ(sim.writeTimeoutMs(), 60000u);
}

TEST_F(Link, OverCurrentProbe) {
    struct Row {
        const char* what;
        std::uint8_t pageCode;
        std::function<void(sim::FaultPlan&)> fault;
        char lead;
        bool overCurrent;
    } const rows[] = {
        {"good", 0, [](sim::FaultPlan&) {}, 'T', false},
        {"page 102", 102, [](sim::FaultPlan&) {}, 'E', false},
        {"page 104", 104, [](sim::FaultPlan&) {}, 'E', false},
        {"page 105", 105, [](sim::FaultPlan&) {}, 'T', false},
        {"OCER", 103, [](sim::FaultPlan& f) { f.overCurrent = true; }, 'E', true},
        {"silence", 0, [](sim::FaultPlan& f) { f.silent = true; }, 'T', true},
        {"noise", 0, [](sim::FaultPlan& f) { f.wrongReply[sim::Reply::Probe] = "Goo?"; }, 'T', true},
        {"short", 0, [](sim::FaultPlan& f) { f.shortReplies = 3; }, 'T', true},
    };
    for (const Row& row : rows) {
        sim::SimProgrammer port;
        port.open("Tesmar", 2);
        row.fault(port.faults());
        AppState s;
        s.usb = &port;
        s.CurrentDevice = test::linkRecord('M', 1).pageCode(row.pageCode).shared();
        EXPECT_EQ(CheckOverCurrent(s), row.overCurrent) << row.what;
        EXPECT_EQ(port.hostBytes(), (std::vector<std::uint8_t>{std::uint8_t(row.lead), 'O', 0, 0})) << row.what;
    }
}

TEST_F(Link, OverCurrentWithoutAPortStopsTheOperation) {
    st.usb = nullptr;
    EXPECT_TRUE(CheckOverCurrent(st));
}

TEST_F(Link, SelectionReopenKeepsAWorkingPort) {
    sim.open("Tesmar", 0x20000002);
    sim.clearLog();
    st.ProgrammerState = 1;
    ReopenForSelection(st);
    EXPECT_EQ(sim.driverCalls(), Calls{"purge 3"});
    EXPECT_EQ(st.ProgrammerState, 1);
}

TEST_F(Link, SelectionReopenOpensAFailedPortAgain) {
    st.ProgrammerState = 1;
    ReopenForSelection(st);  // the port is closed, so the purge fails
    EXPECT_EQ(sim.driverCalls(), (Calls{"purge 3", "close", "open Tesmar 0x2", "timeouts 2000 2000"}));
    EXPECT_TRUE(sim.isOpen());
    EXPECT_EQ(st.ProgrammerState, 1);
}

TEST_F(Link, SelectionReopenWithoutAProgrammerFallsBackToDemo) {
    sim.setConnected(false);
    st.ProgrammerState = 1;
    ReopenForSelection(st);
    EXPECT_FALSE(sim.isOpen());
    EXPECT_EQ(st.ProgrammerState, 0);
    EXPECT_EQ(sim.driverCalls(), (Calls{"purge 3", "close", "open Tesmar 0x2"}));
}

TEST(Replies, WordsAreComparedWholeAndShortRepliesAreWrong) {
    const std::uint8_t good[] = {'G', 'o', 'o', 'd', 'x'};
    EXPECT_TRUE(isReplyWord(good, 5, "Good"));
    EXPECT_TRUE(isReplyWord(good, 4, "Good"));
    EXPECT_FALSE(isReplyWord(good, 3, "Good"));
    EXPECT_FALSE(isReplyWord(good, 4, "Goof"));
}

TEST(Replies, WaitsEndAtOnceWithoutAUsablePort) {
    AppState st;
    EXPECT_FALSE(waitForBytes(st, 1));
    sim::SimProgrammer closed;
    st.usb = &closed;
    EXPECT_FALSE(waitForBytes(st, 1));  // a dead port cannot answer: no 30000 polls
    EXPECT_FALSE(readReplyWord(st, "Good"));
    EXPECT_TRUE(readQueued(st, 4).empty());
}
