#pragma once
#include "app/AppState.h"

namespace tesmar {

// The worker's body: over-current probe, the family's check and operation
// routine, and the close of the progress window after a failure or Abort.
void ExecuteOperation(AppState& st);

// True when this build has an operation routine for the family letter.
bool familyHasRoutine(char letter);
// The same for a device: PIC18 parts ('C', algorithm 18) have no routine yet.
bool familyHasRoutine(const DeviceRecord& rec);

}  // namespace tesmar
