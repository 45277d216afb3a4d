// Image files loaded into sample devices of every kind, through LoadFile and
// a real file on disk, as the Load button does after the file-format dialog.
//
// Input: a format byte (0 Intel HEX, 1 S-records, 2 binary, 3 INHX8M,
// 4 INHX16, 5 JEDEC; taken modulo 6), a device byte (modulo the devices the
// dialog offers that format for), an option byte (bits 0-1 the fill option,
// bit 2: a 32-bit offset follows, bit 3: it is subtracted, bit 4: odd/even
// mode for byte-wide EPROMs), then the file.
#include <QString>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "common/FuzzRig.h"
#include "devices/BufferLayout.h"
#include "fileformats/LoadSave.h"
#include "operations/Checksum.h"

using namespace tesmar;
using namespace tesmar::fuzz;

namespace {

struct Choice {
    const char* file;
    const char* name;
};

// The dialog offers the PIC formats for PICs, JEDEC for PLDs and the three
// plain formats for everything else.
const Choice kPlain[] = {
    {"zrvusb_r.usb", "27C256"},    {"zrvusb_r.usb", "27C1024"},  {"zrvusb_r.usb", "27C080"},
    {"zrvusb_e.usb", "28C64"},     {"zrvusb_e.usb", "29F040"},   {"zrvusb_e.usb", "29LV160-TSOP"},
    {"zrvusb_s.usb", "24C16"},     {"zrvusb_s.usb", "93C46"},    {"zrvusb_s.usb", "25F080"},
    {"zrvusb_m.usb", "89S8252"},   {"zrvusb_m.usb", "89E516RD"}, {"zrvusb_m.usb", "89LP4052"},
    {"zrvusb_m.usb", "ATmega328"}, {"zrvusb_m.usb", "ATtiny26"},
};
const Choice kPic[] = {
    {"zrvusb_m.usb", "16F84A"},  {"zrvusb_m.usb", "16F877A"}, {"zrvusb_m.usb", "12F508"},
    {"zrvusb_m.usb", "12F683"},  {"zrvusb_m.usb", "10F200"},  {"zrvusb_m.usb", "16C54"},
    {"zrvusb_m.usb", "16F1938"}, {"zrvusb_m.usb", "16F1459"}, {"zrvusb_m.usb", "18F452"},
};
const Choice kPld[] = {{"zrvusb_p.usb", "GAL16V8"}, {"zrvusb_p.usb", "GAL22V10"}};

template <std::size_t N>
const DeviceRecord& pick(const Choice (&list)[N], std::uint8_t b) {
    const Choice& c = list[b % N];
    return sampleRecord(c.file, c.name);
}

const DeviceRecord& deviceFor(int format, std::uint8_t b) {
    if (format == 3 || format == 4) return pick(kPic, b);
    if (format == 5) return pick(kPld, b);
    return pick(kPlain, b);
}

// The image as a selection leaves it (what "no fill" keeps), once per device.
const ImageBuffer& selected(const DeviceRecord& rec, bool oddEven) {
    static std::map<std::pair<std::string, bool>, ImageBuffer> cache;
    auto [it, fresh] = cache.try_emplace({rec.Name, oddEven});
    if (fresh) {
        selectionImage(it->second, rec);
        if (oddEven) allocateOddEven(it->second, rec);
    }
    return it->second;
}

QString fileName() { return tempPath("image"); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    startQt(argc, argv);
    for (int f = 0; f < 6; ++f)
        for (int d = 0; d < 16; ++d) deviceFor(f, std::uint8_t(d));  // every name is still in the sample data
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Script s(data, size);
    const int format = s.byte() % 6;
    const DeviceRecord& rec = deviceFor(format, s.byte());
    const std::uint8_t options = s.byte();
    std::int64_t offset = 0;
    if (options & 4) offset = s.u32();
    if (options & 8) offset = -offset;
    const bool oddEven = rec.FamilyLetter == 'R' && (options & 16);

    std::size_t fileSize = 0;
    const std::uint8_t* file = s.rest(fileSize);
    const QString name = fileName();
    std::FILE* out = std::fopen(name.toLocal8Bit().constData(), "wb");
    if (!out) fail("cannot write the image file");
    if (fileSize) std::fwrite(file, 1, fileSize, out);
    std::fclose(out);

    ScriptedHost host;
    AppState st;
    st.host = &host;
    st.ProgrammerState = 1;
    st.CurrentDevice = std::make_shared<const DeviceRecord>(rec);
    st.OddEvenMode = oddEven ? 1 : 0;
    st.buf = selected(rec, oddEven);
    st.file.FileFormat = std::int8_t(format);
    // The dialog shows only the device default fill for PICs.
    st.file.FillOption = rec.FamilyLetter == 'C' ? 1 : options & 3;
    st.file.SignedOffset = offset;

    LoadFile(st, name);
    UpdateChecksum(st);

    // Every later access trusts the view to lie inside the block.
    if (st.buf.BufferViewSize > st.buf.size()) fail("the image view is larger than the image");
    return 0;
}
