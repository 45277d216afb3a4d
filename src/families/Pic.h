#pragma once
// PIC microcontrollers with 12- and 14-bit instruction words: kind 'C' other
// than algorithm 18. There is no separate chip-ID routine: the worker runs
// PicDoOperation, which checks the device ID itself on every pass.
//
// A PIC is five memory areas (code, data EEPROM, ID locations, calibration
// word, configuration). One read frame makes the programmer stream every area
// from the requested one to the end; read, verify and blank check consume that
// stream to its end, storing or comparing the areas they work on. Program
// frames take one area at a time; words travel high byte first, as the image
// holds them.
#include <cstdint>

#include "app/AppState.h"

namespace tesmar {

// ProgramSteps bits for PICs: the areas, and an erase before programming.
enum PicStep : std::uint32_t {
    PicStepCode = 0x01,
    PicStepData = 0x02,
    PicStepId = 0x04,
    PicStepCalibration = 0x08,
    PicStepConfig = 0x10,
    PicStepEraseFirst = 0x40,
};

// Where one PIC operation stands: the area bits still to process, the area
// being worked on ('P' code, '1' data EEPROM, '2' IDs, '3' calibration word,
// '4' configuration), whether the code area is taken whole (1) or without
// the factory calibration word at its top (0), and whether the run is a
// Program, whose Abort sends the programmer no "Stop".
struct PicState {
    std::uint32_t PendingAreas = 0;
    char CurrentArea = 'P';
    std::uint8_t PicWholeCode = 1;
    bool ProgramRun = false;
};

// The operation routine: reads OperationCode ('B', 'E', 'P', 'R', 'V');
// always ends with the checksum and the progress form closed.
void PicDoOperation(AppState& st);

// Takes the next area from `mask`, sets CurrentArea and may change
// OperationCode; returns the bits left.
std::uint32_t PicNextArea(AppState& st, PicState& ps, std::uint32_t mask);
// Sets BufferCursor and TransferCount for CurrentArea; returns its frame letter
// (byte 0 for the data EEPROM of page code 40 parts, which has no letter: read,
// verify and blank check cannot start their stream there).
std::uint8_t PicSelectArea(AppState& st, PicState& ps);

void PicRead(AppState& st, PicState& ps);
void PicVerify(AppState& st, PicState& ps);
void PicProgram(AppState& st, PicState& ps);
void PicErase(AppState& st, PicState& ps);
void PicBlankCheck(AppState& st, PicState& ps);
void PicProgramConfig(AppState& st, PicState& ps);
void PicCheckDeviceId(AppState& st);

// The supply frames with the byte v (volts x 25 for Vdd, volts x 10 for Vpp).
void PicSetVdd(AppState& st, std::uint8_t v);
void PicSetVpp(AppState& st, std::uint8_t v);

}  // namespace tesmar
