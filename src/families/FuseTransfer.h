#pragma once
// Moving fuse maps between the programmer and the image when the bytes of a
// transfer do not lie at one cursor and step: a PLD streams its array device
// row by device row (one row is one column of the JEDEC matrix) and its
// configuration fuses in an order of their own. Each byte of a transfer is
// placed by its fuse number; the reads are plain reads of a fixed length,
// checked for their length, and the loops end on Abort or a failure like the
// other streams.
#include <cstdint>
#include <span>
#include <vector>

#include "app/AppState.h"

namespace tesmar {

// Where byte i of a transfer belongs in the image.
class FuseOrder {
public:
    // Device rows in turn: byte k of row r is fuse r + k x rows.
    static FuseOrder deviceRows(std::uint32_t rows, std::uint32_t rowBits);
    // Consecutive fuses from `first` on.
    static FuseOrder run(std::uint32_t first);
    // The fuses a list names, in list order (the list outlives the order).
    static FuseOrder list(std::span<const std::int32_t> fuses);

    std::size_t fuse(std::uint32_t i) const;
    // One past the highest fuse of the first `count` bytes (0 when count is 0).
    std::size_t end(std::uint32_t count) const;

private:
    enum class Kind { Rows, Run, List } kind_ = Kind::Run;
    std::uint32_t a_ = 0, b_ = 0;
    std::span<const std::int32_t> list_;
};

// What a receiving pass does with each byte.
enum class FuseAction {
    Store,    // the byte becomes the fuse (0 or 1)
    Compare,  // the byte must equal the fuse (by the fuse-is-set test)
    Blank,    // the byte must be 1; the image is not touched
    Discard,  // acknowledgements: not inspected
};

enum class FuseResult { Done, Mismatch, Failed, Aborted };

// Reads `count` bytes, `chunk` at a time (one plain read each), and applies
// `action` to byte i at fuse order.fuse(i), advancing the gauge by each
// chunk. A read that fails or comes back short counts a failure with
// " Error with read"; the pass also ends when ErrorFlag is set or on Abort.
// The first byte that differs (Compare, Blank) ends the pass with Mismatch
// after the rest of the stream has been read and dropped, so that it cannot
// be taken for the next reply; the caller reports the difference.
FuseResult receiveFuses(AppState& st, FuseAction action, std::uint32_t count, std::uint32_t chunk,
                        const FuseOrder& order);

// The first `count` fuses of `order` as the bytes a program step sends, each
// 0 or 1. Empty, with the failure counted, when the image does not hold them.
std::vector<std::uint8_t> gatherFuses(AppState& st, std::uint32_t count, const FuseOrder& order);

}  // namespace tesmar
