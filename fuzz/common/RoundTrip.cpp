#include "common/RoundTrip.h"

#include "common/FuzzRig.h"
#include "devices/BufferLayout.h"

namespace tesmar::fuzz {

const std::vector<DeviceRecord>& roundTripRecords() {
    static const std::vector<DeviceRecord> records = [] {
        std::vector<DeviceRecord> v;
        for (const DeviceRecord& r : sampleRecords())
            if (r.FamilyLetter == 'C' || r.FamilyLetter == 'P') v.push_back(r);
        if (v.empty()) fail("no PIC or PLD sample record");
        if (v.size() > 0xFFFF) fail("more PIC and PLD records than the record field can name");
        return v;
    }();
    return records;
}

int roundTripFormat(const DeviceRecord& rec, std::uint8_t pick) {
    if (rec.FamilyLetter == 'P') return 5;
    return pick & 1 ? 4 : 3;
}

const char* formatName(int format) {
    switch (format) {
    case 3: return "INHX8M";
    case 4: return "INHX16";
    case 5: return "JEDEC";
    default: return "?";
    }
}

std::vector<Span> savedAreas(const DeviceRecord& rec) {
    if (rec.FamilyLetter == 'P') return {{"fuse", 0, SIZE_MAX}};
    const PicAreas a = picAreas(rec);
    std::vector<Span> v{{"code", 0, a.fileCodeBytes}};
    auto add = [&v](const char* name, const PicFilePlace& p) {
        if (p.present) v.push_back({name, p.buf, std::size_t(p.buf) + p.len});
    };
    add("ID", a.fileId);
    add("configuration", a.fileConfig);
    if (a.fileWritesData) add("data EEPROM", a.fileData);
    return v;
}

}  // namespace tesmar::fuzz
