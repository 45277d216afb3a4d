#pragma once
// A second, independent reading of the readable sample data (data/), written
// apart from the generator so that a fault in either shows as a difference.
#include <QMap>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <vector>

namespace tesmar::test {

// One device as the text describes it: the merged key=value fields.
struct TextDevice {
    QString where;  // "file:line"
    QString name;
    QMap<QString, QString> fields;
};

struct TextManufacturer {
    QString name;
    std::vector<TextDevice> devices;
};

// Reads data/devices/<base>.txt; an empty list and a message on failure.
std::vector<TextManufacturer> readDeviceText(const QString& path, QString* error);

// The 192-byte record the text asks for, built field by field.
std::array<std::uint8_t, 192> expectedRecord(const TextDevice& d, QString* error);

struct TextIc {
    QString name;
    int pins = 0, gnd = 0, vcc = 0;
    QString mode = "logic";
    QStringList vectors;                   // logic ICs
    QMap<QString, QList<int>> pinMap;      // memory ICs: addr, data, ctrl
};

struct TextGroup {
    QString name;
    std::vector<TextIc> ics;
};

// Reads every data/ictest/*.txt in name order.
std::vector<TextGroup> readIcText(const QString& dir, QString* error);

// Sizes listed in data/firmware.txt: "usbf/<name>.rbf" or "usbm/<name>.bin" -> bytes.
QMap<QString, int> readFirmwareSizes(const QString& path, QString* error);

}  // namespace tesmar::test
