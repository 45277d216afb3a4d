#pragma once
// 8051-type and AVR-type microcontrollers: kind 'M'. The worker asks
// McuCheckChipId first and then runs McuDoOperation on OperationCode. A part
// has a code area, for some a data EEPROM (or a user row) behind it in the
// image, and fuse, lock, security and calibration bytes kept in AppState::mcu.
// The algorithm byte of the record decides which of them a part has.
#include <cstdint>

#include "app/AppState.h"

namespace tesmar {

// ProgramSteps bits of the family: the code area (with its data EEPROM), the
// three lock steps and an erase before programming.
constexpr std::uint8_t kMcuStepCode = 0x01;
constexpr std::uint8_t kMcuStepLock1 = 0x02;
constexpr std::uint8_t kMcuStepLock2 = 0x04;
constexpr std::uint8_t kMcuStepLock3 = 0x08;
constexpr std::uint8_t kMcuStepEraseFirst = 0x40;

// The OperationCode of a run that only reads the chip's fuse and lock bytes
// (with the calibration bytes) into AppState::mcu, as a Read does after the
// code: the configuration dialog runs it before it shows a part's fuses.
constexpr char kMcuReadFusesOp = 'F';

// Whether that fuse read fills every fuse and lock byte a Program of the
// part sends; for some chip codes it keeps nothing, and those bytes can
// never be known.
bool McuFuseReadFillsConfig(const DeviceRecord& d);

// Whether Program stores a chosen calibration byte into the image for this
// part (when the user asks for it); the configuration pages offer the choice
// only where it does.
bool McuStoresCalibration(const DeviceRecord& d);

// The chip-code select the part needs, then the signature question; true to
// go on with the operation.
bool McuCheckChipId(AppState& st);
// The operation routine: the passes of OperationCode (a Program runs erase,
// code and lock steps one per pass), the configuration step at the end, then
// the checksum and the progress form closed, whatever the outcome.
void McuDoOperation(AppState& st);

// Takes the next step from `mask` into CurrentArea (and may change
// OperationCode); returns the steps left.
std::uint8_t McuNextStep(AppState& st, std::uint8_t mask);

void McuRead(AppState& st);
void McuVerify(AppState& st);
void McuProgram(AppState& st);
void McuErase(AppState& st);
void McuBlankCheck(AppState& st);
// Fuse and lock bytes from the chip into AppState::mcu, with their lines.
void McuReadFuses(AppState& st);
// Fuse, lock and security bytes to the chip, only when they are the user's
// (McuConfigKnown); otherwise a line says they were left alone.
void McuProgramFuses(AppState& st);
void McuProgramSecurity(AppState& st);

}  // namespace tesmar
