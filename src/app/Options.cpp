#include "app/Options.h"

namespace tesmar {

const std::array<GeneralOption, 7> kGeneralOptions = {{
    {"CheckBox1", "Insertion Test", 0, &Settings::InsertionTest},
    {"CheckBox2", "Bit Testing", 1, nullptr},
    {"CheckBox3", "ID Check", 2, &Settings::IdCheckOption},
    {"CheckBox4", "Verify @ Vmax and Vmin", 3, &Settings::VerifyMaxMin},
    {"CheckBox5", "Memory Fill on Device Change", 4, nullptr},
    {"CheckBox6", "Production Mode", 5, nullptr},
    {"CheckBox8", "Serial Number Insertion", 7, nullptr},
}};

const std::array<const char*, kStepBoxes> kBuiltStepCaptions = {
    "Erase before Program", "Code Mem", "Lockbit 1", "Lockbit 2", "Lockbit 3", "Encryption", "RB1"};

namespace {

constexpr std::int8_t kUserRowAlgorithm = '#';  // 35

bool hasStep(const DeviceRecord& rec, unsigned bit) { return (rec.StepMask >> bit) & 1u; }

bool midRangePic(const DeviceRecord& rec) { return rec.FamilyLetter == 'C' && rec.Algorithm == 0; }

}  // namespace

bool oddEvenAllowed(const DeviceRecord& rec, const OptionContext& ctx) {
    return rec.FamilyLetter == 'R' && ctx.hardwareVariant == 'A';
}

bool epromStepsShown(const DeviceRecord& rec, const OptionContext& ctx) {
    return oddEvenAllowed(rec, ctx) && ctx.eraseEnabled;
}

std::array<QString, kStepBoxes> stepCaptions(const DeviceRecord& rec, const OptionContext& ctx) {
    std::array<QString, kStepBoxes> c;
    for (int i = 0; i < kStepBoxes; ++i) c[i] = QString::fromLatin1(kBuiltStepCaptions[i]);

    if (rec.FamilyLetter == 'C') {
        c[1] = "Code Area";
        c[2] = "Data Area";
        c[3] = "ID Bytes";
        c[4] = "Calibration";
        c[5] = "Config Bytes";
    }
    if (rec.FamilyLetter == 'M' && rec.StepMask != 0) {
        if (rec.Algorithm == 14) c[6] = "Disable WDT";
        if (rec.Algorithm == 25 && (rec.DeviceId == 0xE2 || rec.DeviceId == 0xE4)) c[5] = "RB0";
        if (rec.Algorithm == 25 && (rec.DeviceId == 0x90 || rec.DeviceId == 0x91)) {
            c[5] = "Clock Double";
            c[6] = "SC0";
        }
    }
    if (hasStep(rec, 1)) {
        if (rec.Algorithm == kUserRowAlgorithm) c[2] = "Fuses";
        if (rec.Algorithm == 29 || rec.Algorithm == 33) c[2] = "Protect Mode Enable";
    }
    if (rec.PageCode == 208) {
        c[2] = "Lock Bit";
        c[3] = "MOVC inhibit";
        c[4] = "Encryption Feature";
    }
    if (epromStepsShown(rec, ctx)) {
        c[1] = "Blank Check Before Program";
        c[2] = "Auto Erase If Not Blank";
    }
    return c;
}

std::uint8_t linkedStepBits(const DeviceRecord& rec, int box, bool ticked) {
    const bool mcu = rec.FamilyLetter == 'M';
    switch (box) {
    case 1:
        return (!ticked && midRangePic(rec)) ? 0x04 : 0;
    case 2:
        return (!ticked && mcu) ? 0x0C : 0;
    case 3:
        if (ticked && mcu) return 0x02;
        if (ticked && midRangePic(rec)) return 0x01;
        if (!ticked && mcu) return 0x08;
        return 0;
    case 4:
        return (ticked && mcu) ? 0x06 : 0;
    default:
        return 0;
    }
}

}  // namespace tesmar
