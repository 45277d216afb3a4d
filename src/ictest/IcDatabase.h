#pragma once
// All.usb, the logic-IC tester's database: a 16-byte header (group count at
// bytes 12-13), one 16-byte record per group (u16 block offset, 14-byte name),
// the group blocks (marker, u16 IC count, 13 unused bytes, then 16-byte IC
// entries) and the vector texts (marker, characters, 0 byte). The whole file
// is read once into memory and every access is checked against its size, so
// a damaged or hand-edited file can only produce "not found" answers.
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tesmar::ictest {

constexpr std::uint8_t kBlockMarker = 0x98;
constexpr std::size_t kRecordSize = 16;
constexpr std::size_t kGroupNameLength = 14;
constexpr std::size_t kIcNameLength = 8;
// The tester's work area: the size of the program's start-up image buffer.
constexpr std::size_t kTesterBufferSize = 0x200000;

// IC entry modes (byte 15).
constexpr std::uint8_t kModeLogic = ' ';
constexpr std::uint8_t kModeMemory = 'R';

struct IcEntry {
    std::uint16_t vectorOffset = 0;
    QString name;                  // at most 8 characters, up to the first NUL
    std::uint8_t pinCount = 0;
    std::uint8_t groundPin = 0;    // as stored (already moved for the 40-pin socket)
    std::uint8_t supplyPin = 0;    // as stored; role bits above the 6-bit pin number
    std::uint8_t mode = kModeLogic;
};

// The result of looking an IC up for a test.
struct EntryLookup {
    bool found = false;     // group record, block header and entry all lie inside the file
    bool markerOk = false;  // the group block begins with the marker
    IcEntry entry;
};

// The vector text of an IC, as the test copies it.
struct VectorText {
    enum Problem { None, OffsetPastEnd, NoTerminator, TooLong };
    Problem problem = OffsetPastEnd;
    bool markerOk = false;
    std::vector<std::uint8_t> text;  // the characters after the marker, up to and including the 0 byte
};

class IcDatabase {
public:
    // Reads the file (at most as much of it as 16-bit offsets and the tester's
    // work area can reach). False when it cannot be opened.
    bool load(const std::string& path);
    // Takes the bytes directly (tests, fuzzing).
    void assign(std::vector<std::uint8_t> bytes) { bytes_ = std::move(bytes); }
    std::size_t size() const { return bytes_.size(); }

    // G from the header; 0 when the header is cut short.
    unsigned groupCount() const;
    // Names of the groups whose records lie inside the file. `complete` is
    // false when the header promises more records than the file holds.
    std::vector<QString> groupNames(bool* complete = nullptr) const;
    // Names of the ICs of group `groupIndex` (0-based), found by walking the
    // blocks back to back from the end of the group records. `complete` is
    // false when the walk or the entries run past the end of the file.
    std::vector<QString> icNames(int groupIndex, bool* complete = nullptr) const;

    // The entry `icIndex` of the group whose record is number `groupNumber`
    // (1-based), found through the record's block offset. An IC index at or
    // beyond the block's count is not found.
    EntryLookup findEntry(int groupNumber, int icIndex) const;
    // The vector text at `offset`: the marker, then the characters up to and
    // including the first 0 byte, which must lie inside the file and leave the
    // text within `capacity` bytes.
    VectorText vectorText(std::uint16_t offset, std::size_t capacity = kTesterBufferSize) const;

private:
    bool u8(std::size_t at, std::uint8_t& v) const;
    bool u16(std::size_t at, std::uint16_t& v) const;
    QString text(std::size_t at, std::size_t width) const;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace tesmar::ictest
