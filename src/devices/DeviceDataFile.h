#pragma once
// A family data file: a manufacturer table followed by one block of 192-byte
// device records per manufacturer. The file carries no size or checksum, so
// every access is checked against the bytes actually present: a file shorter
// than its tables say yields no record, never a partly filled one.
#include <optional>
#include <string>
#include <vector>

#include "devices/DeviceRecord.h"

namespace tesmar {

class DeviceDataFile {
public:
    // Reads the whole file; false when it cannot be opened.
    bool open(const std::string& path);
    bool load(std::vector<std::uint8_t> bytes);  // for tests and callers holding the bytes

    // Manufacturer names in slot order (only the slots present in full).
    std::vector<std::string> manufacturers() const;
    // Names of the devices of manufacturer m, in file order (empty when out of range).
    std::vector<std::string> deviceNames(int m) const;
    // The record of device d of manufacturer m; nullopt when out of range or cut short.
    std::optional<DeviceRecord> record(int m, int d) const;

    int manufacturerCount() const;

private:
    // Offset of the block of manufacturer m and its device count.
    bool block(int m, std::size_t& offset, unsigned& count) const;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace tesmar
