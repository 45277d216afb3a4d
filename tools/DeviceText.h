#pragma once
// The family data files: readable device lists (data/devices/*.txt) turned
// into the binary manufacturer table and 192-byte device records.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "TextInput.h"

namespace gendata {

constexpr std::size_t kRecordSize = 192;

struct Device {
    Location where;
    std::string name;
    char family = 0;
    std::string fpgaFile, mcuFile;
    std::array<std::uint8_t, kRecordSize> image{};
};

struct Manufacturer {
    Location where;
    std::string name;
    std::vector<Device> devices;
};

struct FamilyText {
    std::string path;
    std::vector<Manufacturer> manufacturers;
};

// Parses one device list; throws InputError naming file and line.
FamilyText readFamilyText(const std::string& path);

// The family data file: 16-byte header (manufacturer count at byte 13), one
// 16-byte slot per manufacturer, then per manufacturer u16 0, u16 count and
// its records.
std::vector<std::uint8_t> encodeFamilyFile(const FamilyText& family);

// Socket pin a package pin reaches once the programmer's pin rule has been
// applied to the stored number (the number the driver tables look up).
int socketPin(int packagePin, int pinCount);
// The number stored in a record or IC entry for a package pin.
int storedPin(int packagePin, int pinCount);

bool isVccDriverPin(int socket);
bool isVppDriverPin(int socket);

}  // namespace gendata
