#pragma once
// What the microcontroller routines share: what a part has by its record
// (selector byte, data area, fuse-read length, EESAVE bit) and the small
// exchanges every step makes (a reply of a known length, the programmer's
// acknowledgements, the data-EEPROM request).
#include <cstdint>

#include "app/AppState.h"
#include "devices/DeviceRecord.h"

namespace tesmar::mcu {

extern const char* const kReadError;

// Reads, verifies and blank checks take the streams four bytes at a time.
constexpr std::uint32_t kPiece = 4;

// The selector byte S2 of the part's frames.
std::uint8_t s2(const DeviceRecord& d);
bool eraseAllowed(const DeviceRecord& d);
// Parts with a 32-byte user row streamed behind the code, and a fuse byte behind that.
bool hasUserRow(const DeviceRecord& d);
// Bytes of the code stream: the code area, and the user row where there is one.
std::uint64_t codeStreamBytes(const DeviceRecord& d);
// Parts with a data EEPROM behind the code. Its steps run even when a part
// that sizes its EEPROM gives the size 0: the programmer is told so.
bool hasDataEeprom(const DeviceRecord& d);
// Bytes of the data EEPROM (0 for parts without one) and where it starts in the image.
std::uint32_t dataBytes(const DeviceRecord& d);
std::size_t dataPlace(const DeviceRecord& d);
// Bytes the fuse and lock read answers with.
std::uint32_t fuseReadLength(const DeviceRecord& d);

// Exactly `n` reply bytes, in one read bounded by the read time-out. A reply
// that does not come whole ends the run with " Error with read" and nothing
// of it is used.
bool takeReply(AppState& st, std::uint8_t* out, std::uint32_t n);

// The programmer acknowledges every four data bytes it writes. Each
// acknowledgement is read (none is left for the next reply to trip over);
// one that does not come ends the run.
bool takeAcknowledgements(AppState& st, std::uint32_t blockLen);

// The data EEPROM stream: the frame with `p2`, and the size after it for the
// parts that size their EEPROM.
void requestData(AppState& st, std::uint8_t p2);

// Reads off the fuse byte a user-row part sends behind its code stream.
bool dropFuseByte(AppState& st);

// A stream the host left on Abort may still be coming: a Program sends the
// programmer no "Stop" (its verify, the blank check of its erase pass), and
// a frame that went out just after the Abort starts a stream its "Stop" came
// too early for. Its rest, at most `most` bytes, is read and dropped while it
// flows, so that no later reply takes it; the drain ends once the line has
// been quiet for the Abort's grace (kAbortGrace), not the longer read time-out.
void dropStreamLeft(AppState& st, std::uint64_t most);

// Whether the fuse, lock and security values are the user's; when not, a
// line says they are left as the chip has them.
bool configKnown(AppState& st);

// Gauge maximum `bytes`, position 0, TransferCount and BufferCursor set for
// a transfer of `bytes` from `place` in the image.
void startTransfer(AppState& st, std::size_t place, std::uint64_t bytes);

}  // namespace tesmar::mcu
