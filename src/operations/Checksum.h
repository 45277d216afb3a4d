#pragma once
#include <cstdint>

#include "app/AppState.h"

namespace tesmar {

// The checksum of the image for a device; reads nothing past the buffer.
// 'cursorAfter' receives the offset just after the last byte read.
std::uint32_t computeChecksum(const ImageBuffer& buf, const DeviceRecord* rec, std::size_t* cursorAfter = nullptr);

// Computes the checksum of the current image, stores it in BufferChecksum,
// shows "0x%.4X" of its low 16 bits in the checksum label and returns it.
std::uint32_t UpdateChecksum(AppState& st);

}  // namespace tesmar
