#pragma once
// Rules of the options dialog that do not need a window: which general
// options a device allows, the captions of the programming-step boxes per
// family, and how the step bits pull each other along.
#include <QString>
#include <array>
#include <cstdint>

#include "app/AppState.h"
#include "devices/DeviceRecord.h"

namespace tesmar {

// A general option box: component name, caption, its bit of
// DeviceRecord::OptionMask and the setting it drives (null: none; such boxes
// can be ticked but change nothing).
struct GeneralOption {
    const char* name;
    const char* caption;
    unsigned bit;
    std::uint8_t Settings::*setting;
};
extern const std::array<GeneralOption, 7> kGeneralOptions;

// The step boxes ProgStep0 .. ProgStep6. ProgStep1 .. ProgStep6 are bits 0-5
// of ProgramSteps, ProgStep0 is bit 6; the same bits of StepMask say which
// boxes a device has.
constexpr int kStepBoxes = 7;
constexpr unsigned stepBit(int box) { return box == 0 ? 6u : unsigned(box - 1); }
constexpr int stepBox(unsigned bit) { return bit == 6 ? 0 : int(bit) + 1; }

// The captions the step boxes carry before a device changes them.
extern const std::array<const char*, kStepBoxes> kBuiltStepCaptions;

// What decides the dialog's layout besides the record.
struct OptionContext {
    bool eraseEnabled = false;   // the main window's Erase button is enabled
    char hardwareVariant = 0;    // 'A' drives odd/even pairs
};

// A byte-wide EPROM on a programmer that can pair two of them.
bool oddEvenAllowed(const DeviceRecord& rec, const OptionContext& ctx);
// A byte-wide EPROM that can be erased: its two steps are blank check and auto-erase.
bool epromStepsShown(const DeviceRecord& rec, const OptionContext& ctx);

// The final caption of each step box (index = box number) for this device.
std::array<QString, kStepBoxes> stepCaptions(const DeviceRecord& rec, const OptionContext& ctx);

// Further ProgramSteps bits that follow a step box when the user (or the
// dialog) ticks or unticks it: lock bits need the lower lock bits on a
// microcontroller, and a mid-range PIC's ID step needs its code step.
std::uint8_t linkedStepBits(const DeviceRecord& rec, int box, bool ticked);

}  // namespace tesmar
