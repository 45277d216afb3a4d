#pragma once
// The sample parts of the program folder the build assembles (TESMAR_RUN_DIR),
// as the selection dialog lists them: finding a part, the part with the
// largest memory of each family, and a pattern for its image. Header-only:
// the benchmarks use it as well as the tests.
#include <QDir>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "devices/DeviceDataFile.h"
#include "devices/DeviceRecord.h"
#include "devices/gui/TfrmSelectDevice.h"

namespace tesmar::test {

// Where the selection dialog lists a device: the family's radio button
// (0..4: r, e, s, m, p) and the rows of the two lists.
struct DevicePlace {
    int family = 0;
    int manufacturer = 0;
    int device = 0;
};

struct FoundDevice {
    DeviceRecord rec;
    DevicePlace place;
};

// The first device of a generated family file that `want` accepts.
inline std::optional<FoundDevice> findDevice(int family, const std::function<bool(const DeviceRecord&)>& want) {
    DeviceDataFile file;
    if (!file.open(QDir(QStringLiteral(TESMAR_RUN_DIR)).filePath(kFamilyFileNames[family]).toStdString()))
        return std::nullopt;
    for (int m = 0; m < file.manufacturerCount(); ++m)
        for (int d = 0; d < int(file.deviceNames(m).size()); ++d)
            if (auto rec = file.record(m, d); rec && want(*rec)) return FoundDevice{*rec, {family, m, d}};
    return std::nullopt;
}

// The first device of that name.
inline std::optional<FoundDevice> findDevice(int family, const std::string& name) {
    return findDevice(family, [&name](const DeviceRecord& r) { return r.Name == name; });
}

// The device with the largest memory (LastAddress) of all family files that `want` accepts.
inline std::optional<FoundDevice> largestDevice(const std::function<bool(const DeviceRecord&)>& want) {
    std::optional<FoundDevice> best;
    // Each find takes a device larger than the best so far, until none is.
    for (int family = 0; family < 5; ++family)
        while (auto found = findDevice(family, [&](const DeviceRecord& r) {
                   return want(r) && (!best || r.LastAddress > best->rec.LastAddress);
               }))
            best = found;
    return best;
}

// The device families each with an operation routine of its own.
struct SampleFamily {
    const char* name;
    bool (*is)(const DeviceRecord&);
};
inline const std::vector<SampleFamily>& sampleFamilies() {
    static const std::vector<SampleFamily> all = {
        {"EPROM", [](const DeviceRecord& r) { return r.FamilyLetter == 'R' || r.FamilyLetter == 'O'; }},
        {"flash", [](const DeviceRecord& r) { return r.FamilyLetter == 'E' || r.FamilyLetter == 'F'; }},
        {"serial", [](const DeviceRecord& r) { return r.FamilyLetter == 'S'; }},
        {"MCU", [](const DeviceRecord& r) { return r.FamilyLetter == 'M'; }},
        {"PIC", [](const DeviceRecord& r) { return r.FamilyLetter == 'C' && !r.isPic18(); }},
        {"PIC18", [](const DeviceRecord& r) { return r.isPic18(); }},
        {"PLD", [](const DeviceRecord& r) { return r.FamilyLetter == 'P'; }},
    };
    return all;
}

// Puts a pattern in the memory of the parts whose every byte is free to
// choose (EPROM, flash, serial, microcontroller); other parts keep their
// image, whose configuration and fuse bytes have rules of their own.
inline void fillFreeMemory(std::vector<std::uint8_t>& image, const DeviceRecord& rec) {
    if (std::string("ROEFSM").find(rec.FamilyLetter) == std::string::npos) return;
    std::uint32_t x = 0x9E3779B9u;
    for (std::size_t i = 0; i <= rec.LastAddress && i < image.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        image[i] = std::uint8_t(x >> 24);
    }
}

}  // namespace tesmar::test
