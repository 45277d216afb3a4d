#pragma once
// Buffer-side rules of the hex editor and its search, copy/move and fill
// dialogs. Pure functions over the image: no widgets, every offset checked
// against the view and the allocated block, arithmetic done wide so that no
// typed address or count can wrap.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

#include "app/AppState.h"
#include "devices/DeviceRecord.h"

namespace tesmar {

constexpr std::uint32_t kPageBytes = 256;
constexpr std::uint32_t kRowBytes = 16;
constexpr std::uint32_t kMinHexView = 0x1000;

// The number of bytes the hex editor shows for a device. Never more than the
// allocated block, whatever the record says.
std::uint32_t hexEditorViewSize(const DeviceRecord* rec, bool oddEvenMode, std::size_t allocated);

// Offset of the last page that lies wholly inside the view (0 for a view
// shorter than a page).
std::uint32_t lastFullPage(std::uint32_t view);

// Highest scroll bar position: one step per row, the last one showing the
// last full page.
int scrollMaximum(std::uint32_t view);

// Where a byte is shown: the page offset and the cell within the page.
struct CellPlace {
    std::uint32_t page = 0;
    int row = 0;
    int col = 0;
};

// The page and cell that show offset p: the page starting at p's row when a
// whole page fits from there, else the last full page with p's row.
CellPlace placeOffset(std::uint32_t p, std::uint32_t view);

// The address a typed "go to" value stands for: wrapped into the view and
// aligned to a row. For views that are a power of two this equals ANDing with
// view - 16.
std::uint32_t wrapToView(std::uint64_t typed, std::uint32_t view);

// The page and cell a "go to" address selects.
CellPlace goToPlace(std::uint32_t address, std::uint32_t view);

// First offset p >= from with the pattern at p and p + pattern length <= view.
// An empty pattern, or one longer than the view, is never found.
std::optional<std::uint32_t> findPattern(const ImageBuffer& buf, std::uint32_t view, std::uint64_t from,
                                         const QByteArray& pattern);

// True when [begin, begin + count) and [to, to + count) share a byte.
bool rangesOverlap(std::uint64_t begin, std::uint64_t count, std::uint64_t to);

// Copies count bytes from begin to to. Only the part of the source inside the
// view is read (the count is cut there before anything is allocated); the
// source is read in full before the target is written, so overlapping ranges
// move correctly; with a replace value every byte read is overwritten by it;
// target bytes past the view are dropped. Returns the number of bytes read.
std::uint64_t copyBlock(ImageBuffer& buf, std::uint32_t view, std::uint64_t begin, std::uint64_t count,
                        std::uint64_t to, std::optional<std::uint8_t> replace);

// Writes to - from + 1 bytes from 'from' (nothing when from > to): each byte
// = the low byte of data, or in word mode the pairs high byte, low byte.
// Stops at the end of the view. Returns the number of bytes written.
std::uint64_t fillRange(ImageBuffer& buf, std::uint32_t view, std::uint64_t from, std::uint64_t to,
                        std::uint16_t data, bool wordMode);

// A hexadecimal entry field: optional surrounding blanks, then hex digits;
// the value must fit 32 bits. Empty or other text gives nothing.
std::optional<std::uint32_t> parseHexField(const QString& text);

// A search text in hex: pairs of hex digits from the start. Nothing when a
// pair is not hexadecimal (the caller checks the length first).
std::optional<QByteArray> parseHexPattern(const QString& text);

// A text typed as characters, one byte per character. Only the characters
// 00 to FF have a byte; with any other, nothing, and `refused` (when given)
// receives the first of them.
std::optional<QByteArray> characterBytes(const QString& text, QString* refused = nullptr);
// What the user is told when a typed character has no byte.
QString characterNotStorable(const QString& character);

// The character shown for a byte in the character grid.
QChar byteCharacter(std::uint8_t b);

// Two upper-case hex digits / eight upper-case hex digits.
QString hex2(std::uint32_t v);
QString hex8(std::uint32_t v);

}  // namespace tesmar
