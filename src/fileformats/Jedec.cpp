// JEDEC fuse maps arrive with the PLD family; until then no file can be read
// or written in this format.
#include "fileformats/FileFrame.h"

namespace tesmar {

void ReadJedec(LoadFrame& f) { f.error = kNotJedec; }

bool WriteJedec(SaveFrame&) { return false; }

}  // namespace tesmar
