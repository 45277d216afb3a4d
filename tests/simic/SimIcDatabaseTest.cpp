// The sample database against the simulated tester: every logic IC passes its
// own vectors, and fails those of the other parts of its size.
#include <gtest/gtest.h>

#include "IcTesterDriver.h"
#include "sim/LogicIc.h"

using namespace tesmar;
using namespace tesmar::simic::test;

namespace {

std::vector<DbIc> logicIcs() {
    std::vector<DbIc> out;
    for (const DbIc& ic : sampleDatabase())
        if (ic.mode != 'R') out.push_back(ic);
    return out;
}

struct OpenTester {
    sim::SimProgrammer sim;
    OpenTester() { sim.open("Tesmar", 0x20000002); }
};

}  // namespace

TEST(SimIcDatabase, EveryPartHasAModel) {
    std::vector<DbIc> all = sampleDatabase();
    ASSERT_GE(all.size(), 17u);
    for (const DbIc& ic : all) {
        auto model = sim::makeLogicIc(ic.name);
        ASSERT_TRUE(model) << ic.name;
        EXPECT_EQ(model->pinCount(), ic.pins) << ic.name;
        // The database stores the pins shifted for the socket; the model knows its package.
        EXPECT_EQ(model->socketPin(model->groundPin()), ic.gnd()) << ic.name;
        EXPECT_EQ(sim::LogicIcTester::supplyDriverPin(ic.vc()), model->socketPin(model->supplyPin())) << ic.name;
    }
}

TEST(SimIcDatabase, EveryLogicIcPassesItsOwnVectors) {
    std::vector<DbIc> ics = logicIcs();
    ASSERT_GE(ics.size(), 16u);
    for (const DbIc& ic : ics) {
        SCOPED_TRACE(ic.group + " / " + ic.name);
        OpenTester t;
        t.sim.insertLogicIc(ic.name);
        ASSERT_FALSE(ic.lines().empty());
        // Twice: a second attempt starts from a fresh power-up, as the host's retries do.
        for (int attempt = 0; attempt < 2; ++attempt) {
            Attempt a = runAttempt(t.sim, ic);
            EXPECT_EQ(a.failedLine, -1) << "line " << a.failedLine << ": "
                                        << (a.failedLine >= 0 ? ic.lines()[std::size_t(a.failedLine)] : "") << " read "
                                        << (a.results.empty() ? "" : a.results.back());
            EXPECT_EQ(a.results.size(), ic.lines().size());
        }
        EXPECT_TRUE(t.sim.protocolErrors().empty()) << t.sim.protocolErrors().front();
        EXPECT_TRUE(t.sim.hostBytes().size() > 0);
        std::uint32_t waiting = 1;
        t.sim.queueStatus(waiting);
        EXPECT_EQ(waiting, 0u) << "replies left unread";
    }
}

TEST(SimIcDatabase, NoPartPassesTheVectorsOfAnotherOfItsSize) {
    std::vector<DbIc> ics = logicIcs();
    int pairs = 0;
    for (const DbIc& socket : ics)
        for (const DbIc& vectors : ics) {
            if (socket.name == vectors.name || socket.pins != vectors.pins) continue;
            OpenTester t;
            t.sim.insertLogicIc(socket.name);
            EXPECT_NE(runAttempt(t.sim, vectors).failedLine, -1) << vectors.name << " vectors on a " << socket.name;
            ++pairs;
        }
    EXPECT_GE(pairs, 20);
}

TEST(SimIcDatabase, AnEmptySocketFailsEveryPart) {
    for (const DbIc& ic : logicIcs()) {
        OpenTester t;
        EXPECT_NE(runAttempt(t.sim, ic).failedLine, -1) << ic.name;
        EXPECT_TRUE(t.sim.protocolErrors().empty()) << ic.name;
    }
}
