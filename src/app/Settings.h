#pragma once
// The persisted settings: options, last device, file type and folders, load
// offset and the production totals, kept in the application's QSettings store
// (organisation "Halvorn", application "Tesmar") under fixed value names.
#include "app/AppState.h"

namespace tesmar {

// First run: writes the sixteen values with their defaults when "RevNo" is absent.
void WriteDefaultSettings(AppState& st);
// Loads the settings into st.settings; the program folder follows the folder
// the program was started from.
void ReadSettings(AppState& st);
// Writes all sixteen values (at shutdown).
void SaveSettings(AppState& st);
// Writes the two production totals after a good Program; silent on failure.
void SaveRunningTotals(AppState& st);

}  // namespace tesmar
