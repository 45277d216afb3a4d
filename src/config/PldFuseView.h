#pragma once
// Which fuses the PLD user-fuse view shows: the user row (the UES fuses and
// the rest of that device row) and the configuration fuses in fuse-number
// order, stepping over the UES block where the configuration fuses run on
// past it. Only fuses the image holds are listed.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "devices/DeviceRecord.h"

namespace tesmar::config {

struct PldFuseRows {
    bool userShown = false;            // false for parts without a user row
    std::vector<std::uint32_t> user;   // fuse numbers of the user-row cells
    std::vector<std::uint32_t> config; // fuse numbers of the configuration cells
};

PldFuseRows pldFuseRows(const DeviceRecord& rec, std::size_t imageSize);

}  // namespace tesmar::config
