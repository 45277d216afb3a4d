#pragma once
// The logic-IC tester database: readable groups of ICs with their test
// vectors (data/ictest/*.txt) turned into All.usb.
#include <cstdint>
#include <string>
#include <vector>

#include "TextInput.h"

namespace gendata {

struct IcEntry {
    Location where;
    std::string name;
    int pins = 0;
    int groundPin = 0, supplyPin = 0;  // package pins
    std::uint8_t mode = ' ';           // ' ', 1, 2, 3 or 'R'
    std::string text;                  // vector lines back to back, or the memory pin map
};

struct IcGroup {
    Location where;
    std::string name;
    std::vector<IcEntry> ics;
};

// Reads every group of one file, in file order; throws InputError.
std::vector<IcGroup> readIcText(const std::string& path);

// All.usb: header record (group count at bytes 12-13), one 16-byte record per
// group (u16 offset of its block, 14-byte name), the group blocks back to back
// (marker 0x98, u16 IC count, 13 bytes, then 16-byte IC entries), then the
// vector texts (marker 0x98, characters, 0). Throws InputError when an offset
// would not fit 16 bits.
std::vector<std::uint8_t> encodeIcDatabase(const std::vector<IcGroup>& groups);

constexpr std::uint8_t kIcMarker = 0x98;

}  // namespace gendata
