#pragma once
// The persisted settings: options, last device, file type and folders, load
// offset and the production totals, kept in the application's QSettings store
// (organisation "Halvorn", application "Tesmar") under fixed value names, in
// a file form of the program's own (app/StoreFormat.h).
#include "app/AppState.h"

namespace tesmar {

// First run: writes the sixteen values with their defaults into a new (absent
// or empty) store. A store that is damaged (anything the program would not
// have written: cut short, garbled, or holding values but not "RevNo") is not
// a first run: the old file is kept beside it as Tesmar.conf.damaged, the log
// says so, and every value that can still be read as its type is kept; only
// the others take their defaults. Every routine below checks the store the
// same way before it uses it.
void WriteDefaultSettings(AppState& st);
// Loads the settings into st.settings; the program folder follows the folder
// the program was started from.
void ReadSettings(AppState& st);
// Writes all sixteen values (at shutdown).
void SaveSettings(AppState& st);
// Writes the two production totals after a good Program; silent on failure.
void SaveRunningTotals(AppState& st);

}  // namespace tesmar
