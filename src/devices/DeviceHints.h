#pragma once
// What the main window shows about a device after its selection: the adapter
// or wiring note, the comment line, and the value labels.
#include <QString>

#include "devices/DeviceRecord.h"

namespace tesmar {

struct DeviceHints {
    QString adapter;   // AdapL
    QString comment;   // ComL
    bool capacitorWarning = false;  // 'E' page code 240: the "Attention" box
};

DeviceHints ShowDeviceHints(const DeviceRecord& rec);

struct DeviceLabels {
    QString manId, devId, devId2, size, vcc, vpp;
};

DeviceLabels deviceLabels(const DeviceRecord& rec);

extern const char* const kCapacitorNote;

}  // namespace tesmar
