#pragma once
// Where the PIC configuration dialog finds the ID locations and the
// configuration bytes in the image, as the dialog numbers them, taken from
// the PIC families' area map (devices/BufferLayout.h).
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
    int configBytes = 0;            // configuration bytes of the part

    // The image offset of ID byte n as the dialog numbers them: the low byte
    // of ID word n, or for a PIC18 the chip's IDLOC n, which the image keeps
    // like code, each pair high byte first (IDLOC1 before IDLOC0).
    std::optional<std::size_t> idByte(int n) const;
    // The image offset of configuration byte k.
    std::optional<std::size_t> configByte(int k) const;
};

PicPlaces picPlaces(const DeviceRecord& rec);

}  // namespace tesmar::config
