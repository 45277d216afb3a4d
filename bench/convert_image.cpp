// The program's file converter as a command of its own, so that it can be
// timed as a whole process beside srec_cat (bench/compare_srec_cat.sh):
//
//   convert_image IN IN_FORMAT OUT OUT_FORMAT [DEVICE_BYTES]
//
// Formats: hex (Intel HEX), mot (S-records), bin (binary). The file is loaded
// into the image of a flash part of DEVICE_BYTES bytes (16 MiB unless given)
// erased to 0xFF, through the program's own load, and the whole part is saved
// through the program's own save, as the Load and Save buttons do.
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "BenchSetup.h"
#include "app/AppState.h"
#include "fileformats/LoadSave.h"

namespace {

int formatCode(const char* name) {
    if (std::strcmp(name, "hex") == 0) return 0;
    if (std::strcmp(name, "mot") == 0) return 1;
    if (std::strcmp(name, "bin") == 0) return 2;
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int from = argc >= 5 ? formatCode(argv[2]) : -1;
    const int to = argc >= 5 ? formatCode(argv[4]) : -1;
    const unsigned long long device = argc >= 6 ? std::strtoull(argv[5], nullptr, 0) : 16ull << 20;
    if (argc < 5 || argc > 6 || from < 0 || to < 0 || device == 0 || device > (1ull << 31)) {
        std::fprintf(stderr, "usage: %s IN hex|mot|bin OUT hex|mot|bin [DEVICE_BYTES]\n", argv[0]);
        return 2;
    }
    tesmar::AppState st;
    st.ProgrammerState = 1;
    tesmar::bench::selectFlashPart(st, std::uint32_t(device));
    st.file.FillOption = 1;  // the part's erased value where the file has no data
    st.file.FileFormat = std::int8_t(from);
    tesmar::LoadFile(st, QString::fromLocal8Bit(argv[1]));
    if (st.ErrorFlag.get() != 0) {
        std::fprintf(stderr, "%s: the load failed (code %u)\n", argv[1], unsigned(st.ErrorFlag.get()));
        return 1;
    }
    st.file.FileFormat = std::int8_t(to);
    st.file.SaveMode = 1;
    st.file.SaveStart = 0;
    st.file.SaveStop = std::uint32_t(device - 1);
    if (!tesmar::SaveFile(st, QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "%s: the save failed\n", argv[3]);
        return 1;
    }
    return 0;
}
