#include "devices/BufferLayout.h"

#include <algorithm>
#include <cstring>

#include "families/PldGeometry.h"

namespace tesmar {

bool recordIsUsable(const DeviceRecord& rec) {
    return rec.LastAddress < kMaxDeviceBytes;
}

std::uint32_t selectionBufferSize(const DeviceRecord& rec) {
    const std::uint64_t last = rec.LastAddress;
    std::uint64_t size = (last | 0xFFFF) + 1;
    if (rec.FamilyLetter == 'C' || rec.FamilyLetter == 'M') {
        size = (last | 0x1FFFF) + 1;
        if (rec.Algorithm == 18) size = 0x100000;
        if (rec.PageCode >= 46) size = 0x20000;
    }
    if (rec.FamilyLetter == 'O') size *= 2;
    return std::uint32_t(std::min<std::uint64_t>(size, 2ull * kMaxDeviceBytes));
}

void allocateForSelection(ImageBuffer& buf, const DeviceRecord& rec) {
    buf.replace(selectionBufferSize(rec));
    buf.BufferLastAddress = rec.LastAddress;
}

void prefillErased(ImageBuffer& buf, const DeviceRecord& rec) {
    const std::size_t n = std::min<std::size_t>(buf.BufferViewSize, buf.size());
    std::uint8_t* p = buf.DeviceBuffer.data();
    const char f = rec.FamilyLetter;
    if (f == 'C' || f == 'O' || f == 'Y') {
        for (std::size_t i = 0; i < n; ++i) p[i] = (i & 1) ? 0xFF : rec.BlankByte;
    } else if (f == 'P') {
        // A fuse map holds fuse values, not the digit the record names them by.
        std::memset(p, pldBlankFuse(rec), n);
    } else {
        std::memset(p, rec.BlankByte, n);
    }
    buf.BufferCursor = 0;
}

void allocateOddEven(ImageBuffer& buf, const DeviceRecord& rec) {
    const std::uint64_t size = 2ull * rec.LastAddress + 2;
    buf.replace(std::size_t(size));
    std::fill(buf.DeviceBuffer.begin(), buf.DeviceBuffer.end(), rec.BlankByte);
}

void SetPic18DefaultConfig(ImageBuffer& buf, const DeviceRecord& rec) {
    constexpr std::size_t at = 0xF0010;
    if (buf.size() < at + 14) return;
    std::memcpy(buf.DeviceBuffer.data() + at, rec.ConfigMasks.data(), 14);
}

}  // namespace tesmar
