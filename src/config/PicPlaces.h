#pragma once
// Where the PIC configuration dialog finds the ID locations and the
// configuration bytes in the image. It follows the PIC families' area map:
// the layout is PIC18 for algorithm 18, else enhanced mid-range for page
// codes 46 and above, else classic. This is the dialog's only source of
// those places; it gives way to the families' shared area map
// (devices/BufferLayout.h) once that map is in.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "devices/DeviceRecord.h"

namespace tesmar::config {

enum class PicLayout { Classic, Enhanced, Pic18 };

// Bytes of configuration masks a record holds (DeviceRecord::ConfigMasks).
constexpr int kPicConfigMaskBytes = 16;

struct PicPlaces {
    PicLayout layout = PicLayout::Classic;
    std::uint32_t idPlace = 0;      // first byte of the ID area
    int idCount = 0;                // ID bytes the dialog edits: 4 (low bytes of the ID words) or 8
    std::uint32_t configPlace = 0;  // configuration byte 0
    int configBytes = 0;            // configuration bytes the layout has room for

    // The image offset of ID byte n as the dialog numbers them: the low byte
    // of ID word n, or for a PIC18 the chip's IDLOC n, which the image keeps
    // like code, each pair high byte first (IDLOC1 before IDLOC0).
    std::optional<std::size_t> idByte(int n) const;
    // The image offset of configuration byte k.
    std::optional<std::size_t> configByte(int k) const;
};

PicPlaces picPlaces(const DeviceRecord& rec);

}  // namespace tesmar::config
