// How much heap a load holds at its peak: loading a 64 MiB flash image over
// the one already in memory, with each fill option.
//
// This program counts every byte handed out by operator new, so the counters
// do not depend on timing: "peak_MiB" is the most the heap held at once during
// a load, "per_image" that peak over the size of one image. A load that keeps
// the old image beside the new one shows about 2; one image about 1.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cstdlib>
#include <new>

#include "BenchSetup.h"
#include "app/AppState.h"
#include "fileformats/LoadSave.h"

namespace {

std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};

void* counted(std::size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    const std::size_t now = g_live.fetch_add(malloc_usable_size(p)) + malloc_usable_size(p);
    std::size_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {}
    return p;
}

void uncounted(void* p) {
    if (!p) return;
    g_live.fetch_sub(malloc_usable_size(p));
    std::free(p);
}

}  // namespace

void* operator new(std::size_t n) { return counted(n); }
void* operator new[](std::size_t n) { return counted(n); }
void operator delete(void* p) noexcept { uncounted(p); }
void operator delete[](void* p) noexcept { uncounted(p); }
void operator delete(void* p, std::size_t) noexcept { uncounted(p); }
void operator delete[](void* p, std::size_t) noexcept { uncounted(p); }

namespace {

constexpr std::uint32_t kImageBytes = 64u << 20;
constexpr double kMiB = 1024.0 * 1024.0;

struct Setup {
    Setup() {
        tesmar::bench::selectFlashPart(st, kImageBytes);
        // A binary file of the whole device; its content does not matter here.
        file = dir.filePath("image.bin");
        QFile out(file);
        if (out.open(QIODevice::WriteOnly)) {
            const QByteArray chunk(1 << 20, '\x5A');
            for (std::uint32_t i = 0; i < kImageBytes; i += std::uint32_t(chunk.size())) out.write(chunk);
        }
        st.file.FileFormat = 2;
    }

    QTemporaryDir dir;
    QString file;
    tesmar::AppState st;
};

Setup& setup() {
    static Setup s;
    return s;
}

void loadPeak(benchmark::State& state, std::uint8_t fillOption) {
    Setup& s = setup();
    s.st.file.FillOption = fillOption;
    std::size_t worst = 0;
    for (auto _ : state) {
        g_peak = g_live.load();
        tesmar::LoadFile(s.st, s.file);
        if (s.st.ErrorFlag.get() != 0) state.SkipWithError("load failed");
        worst = std::max(worst, g_peak.load());
    }
    if (worst > kImageBytes + kImageBytes / 4) state.SkipWithError("a load held more than one image");
    state.counters["peak_MiB"] = double(worst) / kMiB;
    state.counters["per_image"] = double(worst) / double(kImageBytes);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kImageBytes);
}

void BM_LoadPeakDefaultFill(benchmark::State& state) { loadPeak(state, 1); }
void BM_LoadPeakNoFill(benchmark::State& state) { loadPeak(state, 0); }

}  // namespace

BENCHMARK(BM_LoadPeakDefaultFill)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadPeakNoFill)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
