#pragma once
// The microcontroller pages of the "ID / Configuration" dialog as data: one
// row per control on the sheets Page200 .. Page212 (ConfigPages.h), the
// set-up each page code runs before its controls are set, and the rules for
// the bits a plain row cannot say.
//
// The rows live in two files:
//   McuPages.cpp     the fuse displays of the dialog, pages 200 to 204A, the
//                    calibration groups and the rules several pages share
//   McuPages205.cpp  pages 205 to 212
// Fuse and lock bytes keep the chip's convention: a bit at 0 is programmed.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "config/ConfigPages.h"
#include "config/ControlRows.h"

namespace tesmar::config {

// The rows of the microcontroller sheets and the dialog's fuse displays
// (placed by the dialog), in two tables.
std::span<const ControlRow> mcuRowsEarly();  // fuse displays, pages 200 .. 204A
std::span<const ControlRow> mcuRowsLater();  // pages 205 .. 212

// The dialog's fuse displays: caption label and value label of FuseLow,
// FuseHigh and FuseExt.
inline constexpr const char* kFuseDisplays[3][2] = {
    {"FuseLowCaption", "Label13"}, {"FuseHighCaption", "Label14"}, {"FuseExtCaption", "Label15"}};

// Page codes the microcontroller sheets serve (200 .. 212).
bool isMcuPageCode(std::uint8_t pageCode);
// The set-up of a microcontroller page code: renamings, hidden and disabled
// controls, rebuilt lists. Runs before the controls are set from the values.
void mcuPageSetup(PageContext& ctx);
void mcuPageSetupLater(PageContext& ctx);  // codes 205 .. 212

// The dialog's fuse displays (Label13, Label14, Label15) a page code shows:
// bit 0 FuseLow, bit 1 FuseHigh, bit 2 FuseExt.
unsigned fuseDisplaysShown(std::uint8_t pageCode);

// The calibration choice: the "Program @" boxes, the CAL buttons and the
// address edits of the three calibration pages follow ProgramCalibration and
// CalibrationAddress, and CalibrationIndex (1..4) follows the chosen button.
void showCalFactorBox(PageContext& ctx);

// Appends a calibration group to `rows`: the "Program @" box, the address
// edit with its "Hex" label, the buttons CAL0..CAL3, RadioButton<first+1>
// onward, and the note shown when the part takes no calibration byte.
void addCalibrationGroup(std::vector<ControlRow>& rows, Sheet sheet, const char* group, const char* program,
                         const char* edit, const char* hexLabel, const char* note, int firstButton);

// A fuse box: checked when its bit equals `sense`; a click writes only its bit.
ControlRow fuse(Sheet sheet, const char* name, const char* caption, ConfigGlobal g, int bit, bool sense,
                const Rule* rule = nullptr);

// Rules the pages share.
extern const Rule kLock046;       // lock group: item 0/1/2 writes 0, 4, 6
extern const Rule kLock023;       // lock group: item 0/1/2 writes 00, 10, 11 into the row's bits
extern const Rule kMemoryLockBox; // lock combo: item 0/1/2 writes 00, 10, 11 into bits 1-0
extern const Rule kHexDisplay;    // "0x" and two hex digits

}  // namespace tesmar::config
