#pragma once
// Sizing and pre-filling of the memory image for a device.
#include <cstdint>

#include "app/AppState.h"
#include "devices/DeviceRecord.h"

namespace tesmar {

// Largest device image the program accepts from a data file; a record that
// asks for more cannot be selected.
constexpr std::uint32_t kMaxDeviceBytes = 0x4000000;

// Sanity test of a record read from a data file.
bool recordIsUsable(const DeviceRecord& rec);

// Buffer size at selection.
std::uint32_t selectionBufferSize(const DeviceRecord& rec);

// Replaces the buffer by a block of the selection size (contents zero).
void allocateForSelection(ImageBuffer& buf, const DeviceRecord& rec);

// Writes the erased value over the whole view: BlankByte,0xFF pairs for the
// word families 'C', 'O', 'Y', the erased fuse (0 or 1) for PLDs ('P'),
// BlankByte everywhere else. Leaves the cursor at
// the start. The caller recomputes the checksum (and, for PIC18, copies the
// default configuration).
void prefillErased(ImageBuffer& buf, const DeviceRecord& rec);

// Odd/even mode: a new block of 2 x LastAddress + 2 bytes, all BlankByte.
void allocateOddEven(ImageBuffer& buf, const DeviceRecord& rec);

// PIC18: the 14 default configuration bytes of the record to 0xF0010.
void SetPic18DefaultConfig(ImageBuffer& buf, const DeviceRecord& rec);

}  // namespace tesmar
