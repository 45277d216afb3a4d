#pragma once
// Loading a file into the memory image and saving the image to a file, in
// the format the user picked (AppState::file.FileFormat).
#include <QString>
#include <cstdint>

#include "app/AppState.h"

namespace tesmar {

// Loads the file into a new buffer for the current device. The outcome is in
// ErrorFlag (0, or the format's code) and in the log lines. A JEDEC fuse map
// replaces the image only when the whole file loaded.
void LoadFile(AppState& st, const QString& fileName);
// Writes SaveStart..SaveStop (PIC devices: their areas) in FileFormat; true
// only when the file was written whole.
bool SaveFile(AppState& st, const QString& fileName);
// True when a file (not a folder) of that name exists.
bool FileFound(const QString& fileName);
// True, after the "File ERROR" box, when the file could not be opened.
bool CheckFileHandle(AppState& st, bool opened);

// Bytes of the device a file may fill (the progress scale and the too-big test).
std::uint64_t loadDeviceBytes(const DeviceRecord& rec, bool oddEven);

// The buffer a load allocates: `view` bytes may be loaded, `block` are allocated.
struct LoadBufferSize {
    std::uint64_t view = 0;
    std::uint64_t block = 0;
};
LoadBufferSize loadBufferSize(const DeviceRecord& rec, bool oddEven);

// The Stop address the save dialog offers.
std::uint64_t defaultSaveStop(const DeviceRecord& rec, bool oddEven);

}  // namespace tesmar
