#pragma once
// What fuzz_round_trip and its seed maker share: the records it covers, the
// formats each takes and the image bytes a saved file covers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "devices/DeviceRecord.h"

namespace tesmar::fuzz {

// An input's choice: the format (and with it the family), then a record of
// that family. A PLD input stays a PLD input when records come or go.
struct RoundTripChoice {
    int format = 3;                   // 3 INHX8M, 4 INHX16 (PICs), 5 JEDEC (PLDs)
    const DeviceRecord* rec = nullptr;
};
// Format byte modulo 3: 0 INHX8M, 1 INHX16, 2 JEDEC; index (modulo the
// family's sample records, in file order).
RoundTripChoice roundTripChoice(std::uint8_t format, std::uint16_t index);
// The sample records of a format's family, in file order.
const std::vector<DeviceRecord>& roundTripRecords(int format);
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
