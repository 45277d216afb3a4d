// Load -> Save -> Load of the PIC hex files and the JEDEC fuse maps, over
// every PIC and PLD sample record: a file that loads must save, what was
// saved must load back without an error, and the image must come back as
// the first load left it, in every byte the saved file covers (the PIC
// code, ID, configuration and data EEPROM areas; a PLD's whole fuse map).
// Saving the reloaded image must write the same file again. A difference
// stops the run with the record, the format and the first offset that differs.
//
// Input: a format byte (modulo 3: INHX8M, INHX16 for PICs, JEDEC for PLDs),
// the record (2 bytes, little endian, modulo the family's sample records),
// then the file.
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/FuzzRig.h"
#include "common/RoundTrip.h"
#include "fileformats/LoadSave.h"
#include "operations/Checksum.h"

using namespace tesmar;
using namespace tesmar::fuzz;

namespace {

QByteArray contents(const QString& name) {
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) fail("cannot read back a saved file");
    return f.readAll();
}

std::string hex(std::size_t v) {
    char s[24];
    std::snprintf(s, sizeof s, "0x%zX", v);
    return s;
}

// The selection's state for the record and format, as the Load button finds it.
void select(AppState& st, ScriptedHost& host, const DeviceRecord& rec, int format) {
    st.host = &host;
    st.ProgrammerState = 1;
    st.CurrentDevice = std::make_shared<const DeviceRecord>(rec);
    // The image the selection left does not matter: a load with a fill makes a new one.
    st.file.FileFormat = std::int8_t(format);
    st.file.FillOption = 1;  // the only fill the dialog offers PICs; JEDEC presets the blank map itself
    st.file.SignedOffset = 0;
    st.file.SaveStart = 0;
    st.file.SaveStop = std::uint32_t(defaultSaveStop(rec, false));
}

[[noreturn]] void differs(const DeviceRecord& rec, int format, const std::string& what) {
    fail(("round trip of " + rec.Name + " as " + formatName(format) + ": " + what).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    startQt(argc, argv);
    if (verbose())
        std::fprintf(stderr, "fuzz: %zu PIC and %zu PLD records\n", roundTripRecords(3).size(), roundTripRecords(5).size());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Script s(data, size);
    const std::uint8_t formatByte = s.byte();
    const RoundTripChoice choice = roundTripChoice(formatByte, std::uint16_t(s.byte() | s.byte() << 8));
    const DeviceRecord& rec = *choice.rec;
    const int format = choice.format;

    std::size_t fileSize = 0;
    const std::uint8_t* file = s.rest(fileSize);
    const QString first = tempPath("first"), saved = tempPath("saved"), again = tempPath("again");
    {
        QFile out(first);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) fail("cannot write the input file");
        out.write(reinterpret_cast<const char*>(file), qint64(fileSize));
    }

    ScriptedHost host;
    AppState st;
    select(st, host, rec, format);
    LoadFile(st, first);
    if (st.ErrorFlag.get() != 0) return 0;  // refused: nothing to keep
    UpdateChecksum(st);

    if (!SaveFile(st, saved)) differs(rec, format, "a file that loaded could not be saved");
    AppState back;
    select(back, host, rec, format);
    LoadFile(back, saved);
    if (back.ErrorFlag.get() != 0)
        differs(rec, format, "the saved file does not load (error " + std::to_string(back.ErrorFlag.get()) + ")");
    UpdateChecksum(back);

    const std::vector<std::uint8_t>& a = st.buf.DeviceBuffer;
    const std::vector<std::uint8_t>& b = back.buf.DeviceBuffer;
    if (a.size() != b.size()) differs(rec, format, "the reloaded image has another size");
    for (const Span& area : savedAreas(rec)) {
        const std::size_t to = std::min(area.to, a.size());
        if (area.from >= to || std::memcmp(a.data() + area.from, b.data() + area.from, to - area.from) == 0) continue;
        std::size_t i = area.from;
        while (a[i] == b[i]) ++i;
        differs(rec, format, std::string(area.name) + " byte " + hex(i) + " was " + hex(a[i]) + ", came back " + hex(b[i]));
    }

    if (!SaveFile(back, again)) differs(rec, format, "the reloaded image could not be saved");
    if (contents(saved) != contents(again)) differs(rec, format, "saving the reloaded image wrote another file");
    return 0;
}
