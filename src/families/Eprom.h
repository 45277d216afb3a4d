#pragma once
// UV-erasable EPROMs and one-time-programmable parts: kinds 'R' (byte-wide,
// optionally as an odd/even pair of chips) and 'O' (16-bit). The worker asks
// EpromCheckChipId first and then runs EpromDoOperation on OperationCode.
#include "app/AppState.h"

namespace tesmar {

// The chip-ID check ("EI"); true to go on with the operation.
bool EpromCheckChipId(AppState& st);
// The operation routine: odd/even passes and prompts, then the routine of
// OperationCode; always ends with the checksum and the progress form closed.
void EpromDoOperation(AppState& st);

// The steps, each on the chip in the socket from BufferCursor on.
void EpromRead(AppState& st);
void EpromVerify(AppState& st);
void EpromProgram(AppState& st);
void EpromErase(AppState& st);
void EpromBlankCheck(AppState& st);

}  // namespace tesmar
