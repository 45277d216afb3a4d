#pragma once
// What fuzz_round_trip and its seed maker share: the records it covers, the
// formats each takes and the image bytes a saved file covers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "devices/DeviceRecord.h"

namespace tesmar::fuzz {

// Every PIC and PLD sample record, in file order.
const std::vector<DeviceRecord>& roundTripRecords();

// FileFormat for the record and the input's format byte: PICs INHX8M (3) or
// INHX16 (4) by the byte's low bit, PLDs JEDEC (5).
int roundTripFormat(const DeviceRecord& rec, std::uint8_t pick);
const char* formatName(int format);

// Image bytes [from, to) a saved file holds.
struct Span {
    const char* name;
    std::size_t from, to;
};
// PICs: the code and the ID, configuration and data EEPROM places the hex
// files keep; PLDs: the whole fuse map.
std::vector<Span> savedAreas(const DeviceRecord& rec);

}  // namespace tesmar::fuzz
