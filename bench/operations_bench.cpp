// Read, Verify, Program (with its verify) and Blank check of the largest
// EPROM and the largest flash part of the sample data, through the simulated
// programmer.
//
// The simulated programmer has no thread of its own: it does its work inside
// the port calls, on the worker's thread. So the worker's thread CPU time is
// split into the time inside the port (port_ms_per_MB: the simulated
// programmer's share, which the real programmer does in its own hardware) and
// the rest (host_ms_per_MB: the program's own work), both as thread CPU time
// per MiB of device data moved. total_ms_per_MB is the two together;
// other_threads_ms_per_MB is the CPU time every other thread of the process
// used meanwhile (none is expected). Reading the thread's CPU clock costs
// time itself; what it adds to each side per port call is measured first and
// taken off.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>

#include "BenchSetup.h"
#include "app/AppState.h"
#include "devices/BufferLayout.h"
#include "families/Eprom.h"
#include "families/Flash.h"
#include "link/UsbPort.h"
#include "operations/Host.h"
#include "sim/Chip.h"
#include "sim/SimProgrammer.h"
#include "tests/support/SampleParts.h"

namespace {

using namespace tesmar;

double threadCpu() { return bench::cpuSeconds(CLOCK_THREAD_CPUTIME_ID); }

// Stands between the family routines and the simulated programmer and adds
// up the calling thread's CPU time spent inside the port.
class TimedPort : public UsbPort {
public:
    explicit TimedPort(UsbPort& inner) : p_(inner) {}
    double inside = 0;      // thread CPU seconds inside the port's calls
    std::uint64_t calls = 0;

    int open(const std::string& d, std::uint32_t f) override { return timed([&] { return p_.open(d, f); }); }
    int close() override { return timed([&] { return p_.close(); }); }
    bool isOpen() const override { return p_.isOpen(); }
    int readSerialNumber(std::string& s) override { return timed([&] { return p_.readSerialNumber(s); }); }
    int reset() override { return timed([&] { return p_.reset(); }); }
    int purge(unsigned m) override { return timed([&] { return p_.purge(m); }); }
    int setTimeouts(std::uint32_t r, std::uint32_t w) override { return timed([&] { return p_.setTimeouts(r, w); }); }
    int queueStatus(std::uint32_t& n) override { return timed([&] { return p_.queueStatus(n); }); }
    int status(std::uint32_t& r, std::uint32_t& t, std::uint32_t& e) override {
        return timed([&] { return p_.status(r, t, e); });
    }
    int read(std::uint8_t* b, std::uint32_t n, std::uint32_t& got) override {
        return timed([&] { return p_.read(b, n, got); });
    }
    int write(const std::uint8_t* b, std::uint32_t n, std::uint32_t& w) override {
        return timed([&] { return p_.write(b, n, w); });
    }
    using UsbPort::write;
    // The port's own waits, as the program uses them.
    int waitQueue(std::uint32_t atLeast, std::chrono::microseconds maxWait, std::uint32_t& n) override {
        return timed([&] { return p_.waitQueue(atLeast, maxWait, n); });
    }
    int readUnless(std::uint8_t* b, std::uint32_t n, std::uint32_t& got, const std::function<bool()>& giveUp) override {
        return timed([&] { return p_.readUnless(b, n, got, giveUp); });
    }

    template <class F>
    int timed(F f) {
        const double t0 = threadCpu();
        const int rc = f();
        inside += threadCpu() - t0;
        ++calls;
        return rc;
    }

private:
    UsbPort& p_;
};

// What timing one port call adds, in thread CPU seconds: to the time counted
// inside the port, and to the time outside it. The least of a few rounds: a
// round that was interrupted counts too much.
struct TimingCost {
    double inside = 1, outside = 1;
};
const TimingCost& timingCost() {
    static const TimingCost cost = [] {
        sim::SimProgrammer idle;
        TimedPort port(idle);
        TimingCost best;
        constexpr int kCalls = 20000;
        for (int round = 0; round < 5; ++round) {
            port.inside = 0;
            const double c0 = threadCpu();
            for (int i = 0; i < kCalls; ++i) port.timed([] { return 0; });
            const double all = threadCpu() - c0;
            best.inside = std::min(best.inside, port.inside / kCalls);
            best.outside = std::min(best.outside, (all - port.inside) / kCalls);
        }
        return best;
    }();
    return cost;
}

class QuietHost : public Host {
public:
    int gaugeCalls = 0;
    void memoAdd(const QString&) override {}
    void memoClear() override {}
    void setGauge(int, int) override { ++gaugeCalls; }
    void setProgressCaption(const QString&) override {}
    void closeProgress() override {}
    Answer askAbortRetryIgnore(const QString&, const QString&) override { return Answer::Abort; }
    void message(const QString&, const QString&, BoxIcon) override {}
    bool playSound(Sound) override { return true; }
    void showChecksum(const QString&) override {}
};

struct Bench {
    sim::SimProgrammer sim;
    TimedPort port{sim};
    QuietHost host;
    AppState st;
    void (*operation)(AppState&) = nullptr;

    bool select(const test::SampleFamily& family, void (*op)(AppState&)) {
        const auto found = test::largestDevice(family.is);
        if (!found) return false;
        const DeviceRecord& rec = found->rec;
        sim.open("Tesmar", 0x20000002);
        st.usb = &port;
        st.host = &host;
        st.ProgrammerState = 1;
        st.settings.IdCheckOption = 0;
        st.settings.ProgramSteps = 0;
        st.CurrentDevice = std::make_shared<const DeviceRecord>(rec);
        allocateForSelection(st.buf, rec);
        prefillErased(st.buf, rec);
        test::fillFreeMemory(st.buf.DeviceBuffer, rec);
        operation = op;
        return true;
    }
    std::size_t bytes() const { return std::size_t(st.dev()->LastAddress) + 1; }
};

// Runs `op` on a chip prepared by `prepare` and reports the CPU per MiB.
void runOperation(benchmark::State& state, int family, void (*routine)(AppState&), char op) {
    Bench b;
    if (!b.select(test::sampleFamilies().at(std::size_t(family)), routine)) {
        state.SkipWithError("no sample part");
        return;
    }
    const std::size_t n = b.bytes();
    const std::vector<std::uint8_t> image(b.st.buf.DeviceBuffer.begin(), b.st.buf.DeviceBuffer.begin() + std::ptrdiff_t(n));
    const TimingCost& cost = timingCost();
    double cpu = 0, inside = 0, process = 0;
    std::uint64_t calls = 0;
    std::size_t moved = 0;
    for (auto _ : state) {
        state.PauseTiming();
        b.sim.insertBlankChipFor(*b.st.dev());
        if (op == 'R' || op == 'V') b.sim.chip()->load(0, image);
        b.sim.clearLog();
        b.port.inside = 0;
        b.port.calls = 0;
        b.st.OperationCode = op;
        b.st.RunFlag = 1;
        state.ResumeTiming();
        const double p0 = bench::cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const double c0 = threadCpu();
        b.operation(b.st);
        const double c1 = threadCpu();
        process += bench::cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - p0;
        cpu += c1 - c0;
        inside += b.port.inside;
        calls += b.port.calls;
        if (b.st.ErrorFlag.get() != 0) state.SkipWithError("the operation failed");
        // Program moves the image twice: out, then back in for its verify.
        moved += op == 'P' ? 2 * n : n;
    }
    const double mib = double(moved) / double(1u << 20);
    const double port = inside - double(calls) * cost.inside;
    const double host = cpu - inside - double(calls) * cost.outside;
    state.counters["host_ms_per_MB"] = host * 1e3 / mib;
    state.counters["port_ms_per_MB"] = port * 1e3 / mib;
    state.counters["total_ms_per_MB"] = (host + port) * 1e3 / mib;
    state.counters["other_threads_ms_per_MB"] = (process - cpu) * 1e3 / mib;
    state.counters["port_calls"] = double(calls) / double(state.iterations());
    state.counters["gauge_calls"] = double(b.host.gaugeCalls) / double(state.iterations());
    state.SetBytesProcessed(std::int64_t(moved));
}

// The families' places in test::sampleFamilies().
constexpr int kEprom = 0, kFlash = 1;

void BM_EpromRead(benchmark::State& s) { runOperation(s, kEprom, EpromDoOperation, 'R'); }
void BM_EpromVerify(benchmark::State& s) { runOperation(s, kEprom, EpromDoOperation, 'V'); }
void BM_EpromProgram(benchmark::State& s) { runOperation(s, kEprom, EpromDoOperation, 'P'); }
void BM_EpromBlank(benchmark::State& s) { runOperation(s, kEprom, EpromDoOperation, 'B'); }
void BM_FlashRead(benchmark::State& s) { runOperation(s, kFlash, FlashDoOperation, 'R'); }
void BM_FlashVerify(benchmark::State& s) { runOperation(s, kFlash, FlashDoOperation, 'V'); }
void BM_FlashProgram(benchmark::State& s) { runOperation(s, kFlash, FlashDoOperation, 'P'); }
void BM_FlashBlank(benchmark::State& s) { runOperation(s, kFlash, FlashDoOperation, 'B'); }

}  // namespace

BENCHMARK(BM_EpromRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EpromVerify)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EpromProgram)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EpromBlank)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlashRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlashVerify)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlashProgram)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlashBlank)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
