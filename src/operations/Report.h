#pragma once
// The numbered result lines of the message log, and the three sounds.
#include <QString>
#include <cstdint>

#include "app/AppState.h"

namespace tesmar {

// Sets ErrorFlag to 1, purges the programmer's transmit queue and, while
// RunFlag is set, adds the line of the code.
void ReportError(AppState& st, std::int8_t code, std::uint8_t deviceByte);
// While RunFlag is set, adds the line of the code (0..10; others add nothing).
void ReportSuccess(AppState& st, std::int8_t code);

void PlayChimesSound(AppState& st);
void PlayErrorSound(AppState& st);
void PlayNotifySound(AppState& st);

// " %.2d:%.2d:%.2d.%.2d" of an elapsed time in milliseconds.
QString elapsedLine(qint64 ms);

// Adds a line to the log (no RunFlag test).
void memo(AppState& st, const QString& line);

// The device name of the current record ("" before any selection).
QString deviceName(const AppState& st);

}  // namespace tesmar
