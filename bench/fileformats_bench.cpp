// Loading and saving a 16 MB image as Intel HEX and as S-records.
//
// With TESMAR_BENCH_DIR set, the image and the files are kept in that folder
// (image.bin, image.hex, image.mot) so bench/compare_srec_cat.sh can time
// srec_cat on the very same files.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "BenchSetup.h"
#include "app/AppState.h"
#include "fileformats/LoadSave.h"

namespace {

constexpr std::uint32_t kImageBytes = 16u << 20;

struct Setup {
    Setup() {
        if (const char* keep = std::getenv("TESMAR_BENCH_DIR")) {
            folder = QString::fromLocal8Bit(keep);
        } else {
            temp = std::make_unique<QTemporaryDir>();
            folder = temp->path();
        }
        QDir().mkpath(folder);
        tesmar::bench::selectFlashPart(st, kImageBytes);
        std::uint64_t x = 0x243F6A8885A308D3ull;
        for (std::uint32_t i = 0; i < kImageBytes; i += 8) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            std::memcpy(st.buf.DeviceBuffer.data() + i, &x, 8);
        }
        QFile bin(file("image.bin"));
        if (bin.open(QIODevice::WriteOnly))
            bin.write(reinterpret_cast<const char*>(st.buf.DeviceBuffer.data()), kImageBytes);
        st.file.SaveStart = 0;
        st.file.SaveStop = kImageBytes - 1;
        st.file.FillOption = 1;
        for (std::int8_t format : {0, 1}) {
            st.file.FileFormat = format;
            tesmar::SaveFile(st, file(format == 0 ? "image.hex" : "image.mot"));
        }
    }

    QString file(const char* name) const { return QDir(folder).filePath(name); }

    std::unique_ptr<QTemporaryDir> temp;
    QString folder;
    tesmar::AppState st;
};

Setup& setup() {
    static Setup s;
    return s;
}

void save(benchmark::State& state, std::int8_t format, const char* name) {
    Setup& s = setup();
    s.st.file.FileFormat = format;
    s.st.file.SaveStart = 0;
    s.st.file.SaveStop = kImageBytes - 1;
    const QString out = s.file(name);
    for (auto _ : state)
        if (!tesmar::SaveFile(s.st, out)) state.SkipWithError("save failed");
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kImageBytes);
}

void load(benchmark::State& state, std::int8_t format, const char* name) {
    Setup& s = setup();
    s.st.file.FileFormat = format;
    const QString in = s.file(name);
    for (auto _ : state) {
        tesmar::LoadFile(s.st, in);
        if (s.st.ErrorFlag.get() != 0) state.SkipWithError("load failed");
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kImageBytes);
}

void BM_SaveIntelHex(benchmark::State& state) { save(state, 0, "saved.hex"); }
void BM_LoadIntelHex(benchmark::State& state) { load(state, 0, "image.hex"); }
void BM_SaveSRecords(benchmark::State& state) { save(state, 1, "saved.mot"); }
void BM_LoadSRecords(benchmark::State& state) { load(state, 1, "image.mot"); }

}  // namespace

BENCHMARK(BM_SaveIntelHex)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LoadIntelHex)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_SaveSRecords)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LoadSRecords)->Unit(benchmark::kMillisecond)->MinTime(1.0);

BENCHMARK_MAIN();
