#pragma once
// The programmer's own table of PLD geometries, one row per algorithm byte of
// a 'P' record. The firmware side keeps it apart from the host's table on
// purpose: the simulated part answers from this copy, so a wrong number on
// either side shows up as a protocol note or a wrong fuse, never as two
// mistakes that agree.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tesmar::sim {

struct PldGeometry {
    int type = 0;                          // the type number (row 14 is a type 1 part)
    std::array<std::uint8_t, 2> codes{};   // device-code bytes
    int fuses = 0;                         // JEDEC fuse count
    int pins = 0;
    int rows = 0;                          // device rows of the array
    int bits = 0;                          // cells per device row
    int uesRow = 0;                        // device row address of the UES
    int uesFuse = 0;                       // JEDEC number of the first UES fuse
    int uesBytes = 0;
    int eraseRow = 0;
    int eraseAllRow = 0;
    int pesRow = 0;                        // device row address of the PES
    int pesBits = 0;
    int configRow = 0;
    std::array<std::uint8_t, 2> configExtra{};
    // JEDEC fuse number of each configuration cell, in transfer order.
    std::vector<int> configFuses;

    bool empty() const { return fuses == 0; }
    int arrayCells() const { return rows * bits; }
    int configBits() const { return int(configFuses.size()); }
    // Bytes the signature frame answers: 8 for rows of at most 64 cells, else 9.
    std::size_t signatureLength() const { return bits <= 64 ? 8 : 9; }
    // The JEDEC number of cell k of array row r.
    int arrayFuse(int r, int k) const { return r + k * rows; }
};

// The number of algorithm rows in the table (0 .. kPldRows - 1).
inline constexpr int kPldRows = 22;
// The algorithm whose part has no UES row.
inline constexpr int kPldAlgorithmWithoutUes = 13;

// The row for an algorithm byte, or null when it is outside the table or empty.
const PldGeometry* pldGeometry(int algorithm);

}  // namespace tesmar::sim
