// Read, Verify, Program (with its verify) and Blank check of the largest
// EPROM and the largest flash part of the sample data, through the simulated
// programmer.
//
// host_ms_per_MB is the worker's CPU time per MiB of device data moved, less
// the time spent inside the port (the simulated programmer's share, which the
// real programmer does in its own hardware). total_ms_per_MB is everything.
#include <benchmark/benchmark.h>

#include <QDir>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "BenchSetup.h"
#include "app/AppState.h"
#include "devices/BufferLayout.h"
#include "devices/DeviceDataFile.h"
#include "families/Eprom.h"
#include "families/Flash.h"
#include "link/UsbPort.h"
#include "operations/Host.h"
#include "sim/Chip.h"
#include "sim/SimProgrammer.h"

namespace {

using namespace tesmar;
using Clock = std::chrono::steady_clock;

// Stands between the family routines and the simulated programmer and adds
// up the time spent inside the port.
class TimedPort : public UsbPort {
public:
    explicit TimedPort(UsbPort& inner) : p_(inner) {}
    double inside = 0;

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

private:
    template <class F>
    int timed(F f) {
        const auto t0 = Clock::now();
        const int rc = f();
        inside += std::chrono::duration<double>(Clock::now() - t0).count();
        return rc;
    }
    UsbPort& p_;
};

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

// The record of the family file whose size is largest among the given kinds.
std::optional<DeviceRecord> largest(const char* file, const std::string& kinds) {
    DeviceDataFile f;
    if (!f.open(QDir(TESMAR_RUN_DIR).filePath(file).toStdString())) return std::nullopt;
    std::optional<DeviceRecord> best;
    for (int m = 0; m < f.manufacturerCount(); ++m)
        for (int d = 0; d < int(f.deviceNames(m).size()); ++d)
            if (auto r = f.record(m, d); r && kinds.find(r->FamilyLetter) != std::string::npos &&
                                         (!best || r->LastAddress > best->LastAddress))
                best = r;
    return best;
}

struct Bench {
    sim::SimProgrammer sim;
    TimedPort port{sim};
    QuietHost host;
    AppState st;
    void (*operation)(AppState&) = nullptr;

    bool select(const char* file, const std::string& kinds, void (*op)(AppState&)) {
        const auto rec = largest(file, kinds);
        if (!rec) return false;
        sim.open("Tesmar", 0x20000002);
        st.usb = &port;
        st.host = &host;
        st.ProgrammerState = 1;
        st.settings.IdCheckOption = 0;
        st.settings.ProgramSteps = 0;
        st.CurrentDevice = std::make_shared<const DeviceRecord>(*rec);
        allocateForSelection(st.buf, *rec);
        prefillErased(st.buf, *rec);
        std::uint32_t x = 0x9E3779B9u;
        for (std::uint32_t i = 0; i <= rec->LastAddress; ++i) {
            x = x * 1664525u + 1013904223u;
            st.buf.DeviceBuffer[i] = std::uint8_t(x >> 24);
        }
        operation = op;
        return true;
    }
    std::size_t bytes() const { return std::size_t(st.dev()->LastAddress) + 1; }
};

// Runs `op` on a chip prepared by `prepare` and reports the CPU per MiB.
void runOperation(benchmark::State& state, const char* file, const std::string& kinds, void (*routine)(AppState&),
                  char op) {
    Bench b;
    if (!b.select(file, kinds, routine)) {
        state.SkipWithError("no sample part");
        return;
    }
    const std::size_t n = b.bytes();
    const std::vector<std::uint8_t> image(b.st.buf.DeviceBuffer.begin(), b.st.buf.DeviceBuffer.begin() + std::ptrdiff_t(n));
    double cpu = 0, inside = 0;
    std::size_t moved = 0;
    for (auto _ : state) {
        state.PauseTiming();
        b.sim.insertBlankChipFor(*b.st.dev());
        if (op == 'R' || op == 'V') b.sim.chip()->load(0, image);
        b.sim.clearLog();
        b.port.inside = 0;
        b.st.OperationCode = op;
        b.st.RunFlag = 1;
        state.ResumeTiming();
        const double c0 = bench::cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        b.operation(b.st);
        cpu += bench::cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - c0;
        inside += b.port.inside;
        if (b.st.ErrorFlag.get() != 0) state.SkipWithError("the operation failed");
        // Program moves the image twice: out, then back in for its verify.
        moved += op == 'P' ? 2 * n : n;
    }
    const double mib = double(moved) / double(1u << 20);
    state.counters["host_ms_per_MB"] = (cpu - inside) * 1e3 / mib;
    state.counters["total_ms_per_MB"] = cpu * 1e3 / mib;
    state.counters["gauge_calls"] = double(b.host.gaugeCalls) / double(state.iterations());
    state.SetBytesProcessed(std::int64_t(moved));
}

void BM_EpromRead(benchmark::State& s) { runOperation(s, "zrvusb_r.usb", "RO", EpromDoOperation, 'R'); }
void BM_EpromVerify(benchmark::State& s) { runOperation(s, "zrvusb_r.usb", "RO", EpromDoOperation, 'V'); }
void BM_EpromProgram(benchmark::State& s) { runOperation(s, "zrvusb_r.usb", "RO", EpromDoOperation, 'P'); }
void BM_EpromBlank(benchmark::State& s) { runOperation(s, "zrvusb_r.usb", "RO", EpromDoOperation, 'B'); }
void BM_FlashRead(benchmark::State& s) { runOperation(s, "zrvusb_e.usb", "EF", FlashDoOperation, 'R'); }
void BM_FlashVerify(benchmark::State& s) { runOperation(s, "zrvusb_e.usb", "EF", FlashDoOperation, 'V'); }
void BM_FlashProgram(benchmark::State& s) { runOperation(s, "zrvusb_e.usb", "EF", FlashDoOperation, 'P'); }
void BM_FlashBlank(benchmark::State& s) { runOperation(s, "zrvusb_e.usb", "EF", FlashDoOperation, 'B'); }

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
