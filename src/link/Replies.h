#pragma once
// Bounded reply handling shared by the link and the family routines: every
// wait polls the receive queue a fixed number of times and sleeps briefly on
// each poll that finds too little, so a silent programmer costs a few seconds
// instead of a hang or a busy core; every read keeps within the caller's buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/AppState.h"
#include "link/Protocol.h"

namespace tesmar {

// Polls the receive-queue status until at least `atLeast` bytes are queued.
// False after `polls` polls, without a port, or when the port reports an error.
bool waitForBytes(AppState& st, std::uint32_t atLeast, int polls = proto::kReplyPolls);

// A plain read of up to `len` bytes, bounded by the read time-out in force.
// Returns the number of bytes read; `status` (when given) gets the driver status.
std::uint32_t readBytes(AppState& st, std::uint8_t* buf, std::uint32_t len, int* status = nullptr);

// Reads every byte queued now and returns the first `maxKept` of them; the
// rest are read and dropped so they cannot be taken for a later reply.
std::vector<std::uint8_t> readQueued(AppState& st, std::uint32_t maxKept);

// True when the first four bytes of `bytes` (of `n`) spell `word`; a reply
// shorter than four bytes is a wrong reply.
bool isReplyWord(const std::uint8_t* bytes, std::size_t n, const char* word);

// Reads four bytes with the read time-out in force (no polling) and compares.
bool readWord(AppState& st, const char* word);

// Waits (bounded) for the first byte of a reply, then reads four bytes and
// compares them with `word`. Silence returns false without the read.
bool readReplyWord(AppState& st, const char* word);

// Writes raw bytes or a four-byte frame; the written count is not checked.
void writeBytes(AppState& st, const std::uint8_t* bytes, std::size_t n);
void writeFrame(AppState& st, const proto::Frame& f);

}  // namespace tesmar
