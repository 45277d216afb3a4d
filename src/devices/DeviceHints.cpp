#include "devices/DeviceHints.h"

#include "devices/BufferLayout.h"

namespace tesmar {

const char* const kCapacitorNote = "Capacitor(100nF) needed between Pin 1 and Pin 14";

namespace {

struct AdapterRow {
    int code;
    bool isAdapter;  // AdapL, else ComL
    const char* text;
};

constexpr AdapterRow kAdapters[] = {
    {1, true, "PLCC68 51GB"},         {2, true, "PLCC44"},
    {3, true, "PLCC32 -> DIP28"},     {4, true, "PLCC32 -> DIP32"},
    {5, true, "PLCC68 87C55x"},       {6, true, "PLCC52 DS87C530"},
    {7, true, "PIC17C75x / 16C92x"},  {8, false, "100R from ZIF pin40 - pin34"},
    {9, false, "100R from ZIF pin1 - pin15"}, {10, false, "100R from ZIF pin25 - device pin25"},
    {11, false, "PIC12Cxxx 4-GANG"},  {12, true, "SOIC08 208mil"},
    {13, true, "SOIC28 300mil"},      {14, false, "see READ_SST.TXT"},
    {15, true, "SOIC08 150mil"},      {16, false, "Data @4200"},
    {20, true, "PLCC20"},             {22, true, "DS2250"},
    {30, true, "TSOP40"},             {31, true, "TSOP48"},
    {32, true, "TSOP32 -> DIP40"},    {33, true, "TSOP48/1"},
    {44, true, "PLCC44/1"},           {45, true, "PLCC44/2"},
    {46, true, "PLCC44/5"},           {47, true, "PLCC44/4"},
    {50, true, "universal SOIC"},     {51, true, "SOIC4440"},
    {52, true, "SOIC4440/1"},         {60, true, "QFP44"},
};

// "%5fV" of the original form framework: two decimals, at least five characters.
QString volts(float v) { return QString::asprintf("%5.2fV", double(v)); }

}  // namespace

DeviceHints ShowDeviceHints(const DeviceRecord& rec) {
    DeviceHints h;
    for (const AdapterRow& row : kAdapters) {
        if (row.code == rec.AdapterCode) {
            (row.isAdapter ? h.adapter : h.comment) = row.text;
            break;
        }
    }
    const char f = rec.FamilyLetter;
    if (f == 'M' && rec.DataEepromSize != 0) {
        const char* fmt = rec.Algorithm == 35 ? "User Row @ 0x%.5X  size = %d bytes" : "E2prom @ 0x%.5X  size = %d bytes";
        h.comment = QString::asprintf(fmt, unsigned(rec.LastAddress + 1), int(rec.DataEepromSize));
    }
    if (f == 'M' && rec.MakerId == 0xBF && rec.DeviceId == 0x91) h.comment = "Block0 @ 0 - 0xFFFF , Block1 @ 0x10000 - 0x11FFF";
    if (f == 'C' && rec.DataEepromSize != 0) {
        // The place the family and the hex files keep the data EEPROM at.
        const int size = rec.DataEepromSize + 1;
        h.comment = QString::asprintf("E2prom @ 0x%X  size = %d bytes", unsigned(picAreas(rec).data.buf), size);
    }
    if (f == 'E' && rec.PageCode == 240) {
        h.capacitorWarning = true;
        h.comment = kCapacitorNote;
    }
    return h;
}

DeviceLabels deviceLabels(const DeviceRecord& rec) {
    DeviceLabels l;
    const char f = rec.FamilyLetter;
    if (rec.MakerId != 0 || f == 'C') {
        if (rec.MakerId != 0) l.manId = QString::asprintf("0x%.2X", rec.MakerId);
        l.devId = QString::asprintf("0x%.2X", rec.DeviceId);
        if (f == 'C' || (f == 'M' && rec.DeviceId2 != 0)) l.devId2 = QString::asprintf("0x%.2X", rec.DeviceId2);
    }
    l.size = QString::asprintf("0x%X", unsigned(rec.LastAddress + 1));
    l.vcc = volts(rec.Vdd);
    if (rec.Vpp != 0.0f && f != 'F') l.vpp = volts(rec.Vpp);
    return l;
}

}  // namespace tesmar
