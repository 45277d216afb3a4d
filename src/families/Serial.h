#pragma once
// Serial EEPROMs and serial flash memories: kind 'S'. The worker asks
// SerialCheckChipId first and then runs SerialDoOperation on OperationCode.
// Parts with a status register have it read after the data and written after
// programming (SerialFlashStatus, and SerialFlashStatus2 for page code 103).
#include "app/AppState.h"

namespace tesmar {

// The chip-ID check ("Ei" for two-byte signatures, "EI" for three); true to
// go on with the operation.
bool SerialCheckChipId(AppState& st);
// The operation routine: the routine of OperationCode, then the checksum and
// the progress form closed, whatever the outcome.
void SerialDoOperation(AppState& st);

// The steps, each over the whole chip from the start of the image.
void SerialRead(AppState& st);
void SerialVerify(AppState& st);
void SerialProgram(AppState& st);
void SerialErase(AppState& st);
void SerialBlankCheck(AppState& st);

}  // namespace tesmar
