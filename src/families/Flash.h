#pragma once
// Byte-wide parallel EEPROMs and flash memories: kinds 'E' and 'F'. The
// worker asks FlashCheckChipId first (which also learns whether the whole
// chip may be erased) and then runs FlashDoOperation on OperationCode.
#include <cstdint>

#include "app/AppState.h"

namespace tesmar {

// The chip-ID check ("EI") with the chip's protection reports; true to go on
// with the operation. Sets ChipErasable from the blocks the chip reports.
bool FlashCheckChipId(AppState& st);
// The operation routine: the routine of OperationCode, then the checksum and
// the progress form closed, whatever the outcome.
void FlashDoOperation(AppState& st);

// The steps, each over the whole chip from the start of the image.
void FlashRead(AppState& st);
void FlashVerify(AppState& st);
void FlashProgram(AppState& st);
void FlashErase(AppState& st);
void FlashBlankCheck(AppState& st);

}  // namespace tesmar
