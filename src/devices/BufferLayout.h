#pragma once
// Sizing and pre-filling of the memory image for a device.
#include <cstdint>
#include <string>

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

// ---- PIC areas ---------------------------------------------------------------
// The fixed places of a PIC's ID locations, configuration and data EEPROM, in
// the image and in INHX8M / INHX16 files. The family routines, the checksum,
// the hex files and the buffer sizing all take them from picAreas().

// Mid-range parts: IDs at the base, configuration at +0x0E, data EEPROM at
// +0x200 (one image word per EEPROM byte).
constexpr std::uint32_t kPicClassicBase = 0x4000;
constexpr std::uint32_t kPicEnhancedBase = 0x10000;
constexpr std::uint32_t kPicConfigOffset = 0x0E;
constexpr std::uint32_t kPicDataOffset = 0x200;
constexpr std::uint8_t kPicFirstEnhancedPage = 46;
// PIC18: one image byte per ID, configuration and EEPROM byte.
constexpr std::uint32_t kPic18IdPlace = 0xF0000;
constexpr std::uint32_t kPic18ConfigPlace = 0xF0010;
constexpr std::uint32_t kPic18DataPlace = 0xF0200;
constexpr std::uint32_t kPicIdBytes = 8;
constexpr std::uint32_t kPic18ConfigBytes = 14;

// Where the family keeps the areas: by algorithm 18, then by page code.
enum class PicKind { Classic, Enhanced, Pic18 };
// The kind of area map a hex file has, by algorithm: the 14-bit parts (IDs
// from word 0x2000), algorithms 3 and 8 (configuration only), PIC18, and the
// rest (12-bit parts: IDs right after the code, configuration word 0xFFF).
enum class PicFileRow { MidRange, Alg3, Alg8, Pic18, Baseline };

// One area as the family routines see it.
struct PicPlace {
    bool present = false;
    std::uint32_t buf = 0;  // image offset
    std::uint32_t len = 0;  // image bytes
};

// One area as the hex files see it.
struct PicFilePlace {
    bool present = false;    // the files carry the area
    std::uint32_t buf = 0;   // image offset the file's data goes to
    std::uint32_t file = 0;  // INHX8M byte address (PIC18: the full linear address)
    std::uint32_t word = 0;  // INHX16 word address
    std::uint32_t len = 0;   // image bytes the writers save
};

struct PicAreas {
    PicKind kind = PicKind::Classic;
    std::uint32_t codeBytes = 0;  // LastAddress + 1, as the programmer streams it
    PicPlace id, config, data;    // data present: StepMask bit 1
    std::uint32_t idPairBytes = 0;  // algorithm 11: two more bytes behind the IDs
    bool hasCalibration = false;    // StepMask bit 3 (12/14-bit parts)
    // Right after the ID words (and the algorithm-11 pair): the one place the
    // calibration word has, whichever area the stream started at.
    std::uint32_t calibrationPlace = 0;

    PicFileRow row = PicFileRow::Baseline;
    std::uint32_t fileCodeBytes = 0;  // (LastAddress OR 0xF) + 1
    PicFilePlace fileId, fileConfig, fileData;
    bool fileWritesData = false;      // the writers save the EEPROM section

    // Highest image offset + 1 that an area (family or file side) reaches.
    std::uint64_t end() const;
};
PicAreas picAreas(const DeviceRecord& rec);

// Where a record's file map and its family places part: empty when the hex
// files keep every area the family works on at the family's place, outside
// the code; otherwise a description of the first difference.
std::string picAreaMismatch(const DeviceRecord& rec);

}  // namespace tesmar
