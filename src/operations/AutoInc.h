#pragma once
#include "app/AppState.h"

namespace tesmar {

// Adds one to the 32-bit serial number kept in the four buffer bytes at
// AutoIncAddress (entry 0 the least significant byte). Returns false, changing
// nothing, when an offset lies outside the buffer.
bool IncrementSerialNumber(AppState& st);

}  // namespace tesmar
