#include "common/RoundTrip.h"

#include "common/FuzzRig.h"
#include "devices/BufferLayout.h"

namespace tesmar::fuzz {

const std::vector<DeviceRecord>& roundTripRecords(int format) {
    auto pick = [](char family) {
        std::vector<DeviceRecord> v;
        for (const DeviceRecord& r : sampleRecords())
            if (r.FamilyLetter == family) v.push_back(r);
        if (v.empty()) fail("no sample record of a family the round trip covers");
        if (v.size() > 0xFFFF) fail("more records than the record field can name");
        return v;
    };
    static const std::vector<DeviceRecord> pics = pick('C'), plds = pick('P');
    return format == 5 ? plds : pics;
}

RoundTripChoice roundTripChoice(std::uint8_t format, std::uint16_t index) {
    RoundTripChoice c;
    c.format = 3 + format % 3;
    const auto& records = roundTripRecords(c.format);
    c.rec = &records[index % records.size()];
    return c;
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
