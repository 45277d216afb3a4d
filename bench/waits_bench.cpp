// What a reply wait costs while the programmer stays silent: the share of
// one core the whole process uses (cpu_percent; for the libftdi port its
// reader thread included) and how long the wait lasts.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "BenchSetup.h"
#include "app/AppState.h"
#include "link/LibFtdiPort.h"
#include "link/Protocol.h"
#include "link/Replies.h"
#include "sim/SimProgrammer.h"

namespace {

using namespace tesmar;
using Clock = std::chrono::steady_clock;

// One silent wait of `polls` polls per iteration on `port`.
void silentWait(benchmark::State& state, UsbPort& port, int polls) {
    AppState st;
    st.usb = &port;
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double c0 = bench::cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const auto t0 = Clock::now();
        if (waitForBytes(st, 1, polls)) state.SkipWithError("a silent programmer answered");
        wall += std::chrono::duration<double>(Clock::now() - t0).count();
        cpu += bench::cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - c0;
    }
    state.counters["cpu_percent"] = 100.0 * cpu / wall;
    state.counters["wait_s"] = wall / double(state.iterations());
}

void BM_SilentWaitSimulator(benchmark::State& state) {
    sim::SimProgrammer sim;
    sim.open(proto::kDescription, proto::kOpenFlagsConnect);
    sim.faults().silent = true;
    silentWait(state, sim, int(state.range(0)));
}

// A bridge with nothing to say: each read waits out its 2 ms latency timer.
class SilentBridge : public FtdiBridge {
public:
    bool open(const std::string&) override { return true; }
    void close() override {}
    bool serialNumber(std::string&) override { return true; }
    bool reset() override { return true; }
    bool flushReceive() override { return true; }
    bool flushTransmit() override { return true; }
    void setWriteTimeout(std::uint32_t) override {}
    int read(std::uint8_t*, int) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return 0;
    }
    int write(const std::uint8_t*, int len) override { return len; }
};

void BM_SilentWaitLibFtdi(benchmark::State& state) {
    LibFtdiPort port(std::make_unique<SilentBridge>());
    port.open(proto::kDescription, proto::kOpenFlagsConnect);
    silentWait(state, port, int(state.range(0)));
}

}  // namespace

// 30000 polls: the bound of a reply wait.
BENCHMARK(BM_SilentWaitSimulator)->Arg(proto::kReplyPolls)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SilentWaitLibFtdi)->Arg(proto::kReplyPolls)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
