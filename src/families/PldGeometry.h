#pragma once
// Where every fuse of a PLD lives. One fixed table, GalTable, row = the
// record's algorithm byte, gives the device's array (rows x bits per row),
// its user signature (UES) row, its configuration fuses in the order the
// device moves them, and the rows the programmer addresses. The fuse map in
// the image is one byte per fuse, 0 or 1, at the fuse's JEDEC number; bit k
// of device row r is fuse r + k x rows. A fuse is blank (erased) when it
// reads 1.
//
// The family routines, the JEDEC reader and writer, the fuse-map editor and
// the user-fuse view all take their geometry from here.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "devices/DeviceRecord.h"

namespace tesmar {

struct GalRow {
    std::int32_t type;             // carried, not used
    std::uint8_t codes[2];         // carried, not used
    std::int32_t fuses;            // JEDEC fuse count
    std::int32_t pins;
    std::int32_t rows;
    std::int32_t rowBits;          // bits per row
    std::int32_t uesRow;           // device row address of the UES
    std::int32_t uesFuse;          // first UES fuse
    std::int32_t uesBytes;
    std::int32_t eraseRow;
    std::int32_t eraseAllRow;      // carried, not used
    std::int32_t pesRow;           // device row address of the electronic signature
    std::int32_t pesBits;
    std::int32_t configRow;
    std::uint8_t extra[2];         // carried, not used
    std::span<const std::int32_t> configFuses;  // fuse of the i-th configuration bit moved
    std::int32_t configBits;
};

constexpr int kGalTableRows = 22;

// The row of `algorithm`; null outside the table.
const GalRow* galTableRow(int algorithm);

// The row of a PLD record, or null when its algorithm lies outside the table
// or names a row without a fuse array (nothing can be transferred, shown or
// filed for such a device).
const GalRow* pldGeometry(const DeviceRecord& rec);
inline bool pldHasGeometry(const DeviceRecord& rec) { return pldGeometry(rec) != nullptr; }

// The geometry lookups; 0 for a record without geometry.
std::int32_t PldRows(const DeviceRecord& rec);
std::int32_t PldRowBits(const DeviceRecord& rec);
std::int32_t PldArrayFuses(const DeviceRecord& rec);       // rows x bits per row
std::int32_t PldConfigBits(const DeviceRecord& rec);
std::int32_t PldFirstConfigFuse(const DeviceRecord& rec);  // smallest fuse of the list, 0 without one
std::int32_t PldUesFuse(const DeviceRecord& rec);

// Whether the device's UES row is read, compared and programmed (and shown):
// not on the algorithm-13 part, not on a part without UES bytes.
bool pldHasUes(const DeviceRecord& rec);

// The 6001/6002 parts (algorithms 8 and 9) file their array as 64 lines of
// 114 fuses and 11 of 78: 8154 fuses, more than the rows x bits cells a
// transfer moves.
constexpr int kWideArrayLines = 64, kWideArrayFuses = 114, kNarrowArrayLines = 11, kNarrowArrayFuses = 78;
bool pldWideArray(const DeviceRecord& rec);

// A run of fuse numbers, both ends included.
struct FuseRange {
    std::int32_t first, last;
    bool operator==(const FuseRange&) const = default;
};
// The fuses of the fuse map that no read, program or verify moves: on the
// 6001/6002 parts the filed array past rows x bits, on the algorithm-13 part
// its UES. Empty for every other part.
std::vector<FuseRange> pldUntransferredFuses(const DeviceRecord& rec);

// The one test of a fuse byte that everything shares (program, verify, the
// JEDEC writer, the checksum, the editor): 1 when the fuse is set (intact is
// 0, blank is 1). Only 0 and 1 are ever stored; any other byte counts as 1.
constexpr std::uint8_t pldFuseBit(std::uint8_t b) { return b != 0 ? 1 : 0; }

// The JEDEC fuse sum of the first `fuses` fuses of a map of `size` bytes:
// bytes of eight fuses, fuse 0 of a byte its least significant bit, added
// up (a file's C field holds the low 16 bits). Reads nothing past `size`.
inline std::uint32_t pldFuseSum(const std::uint8_t* map, std::size_t size, std::size_t fuses) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < fuses && i < size; ++i)
        if (pldFuseBit(map[i])) sum += 1u << (i % 8);
    return sum;
}

// The value of an erased fuse: the record keeps it as an ASCII digit.
constexpr std::uint8_t pldBlankFuse(const DeviceRecord& rec) { return rec.BlankByte == '0' ? 0 : 1; }

}  // namespace tesmar
