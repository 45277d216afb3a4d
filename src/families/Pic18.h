#pragma once
// PIC18 microcontrollers: kind 'C' with algorithm 18. Like the smaller PICs
// there is no separate chip-ID routine; Pic18DoOperation checks the device ID
// once before it walks the areas.
//
// The areas sit at fixed places of the image: code at 0 (words high byte
// first, the programmer's stream is low byte first), IDs at 0xF0000 (swapped
// like code), the 14 configuration bytes at 0xF0010 and the data EEPROM at
// 0xF0200 (one image byte per EEPROM byte). One read frame makes the
// programmer stream every area from the requested one to the end; read,
// verify and blank check consume that stream to its end.
#include <array>
#include <cstdint>

#include "app/AppState.h"
#include "devices/BufferLayout.h"

namespace tesmar {

using Pic18Mask = std::array<std::uint8_t, kPic18ConfigBytes>;

// Where one PIC18 operation stands: the area bits still to process, the area
// being worked on ('P' code, '1' data EEPROM, '2' IDs, '3' calibration, '4'
// configuration), the configuration mask row of the device's page, and
// whether the run is a Program, whose Abort sends the programmer no "Stop".
struct Pic18State {
    std::uint32_t PendingAreas = 0;
    char CurrentArea = 'P';
    Pic18Mask Pic18ConfigMask{};
    bool ProgramRun = false;
};

// The configuration mask row for a page code; pages without a row of their
// own compare and program every bit.
Pic18Mask pic18MaskFor(std::uint8_t pageCode);

// The operation routine: reads OperationCode ('B', 'E', 'P', 'R', 'V');
// always ends with the progress form closed.
void Pic18DoOperation(AppState& st);

std::uint32_t Pic18NextArea(AppState& st, Pic18State& ps, std::uint32_t mask);
// Sets BufferCursor and TransferCount for CurrentArea; returns the frame
// letter, 0 for an area without one.
std::uint8_t Pic18SelectArea(AppState& st, Pic18State& ps);

void Pic18Read(AppState& st, Pic18State& ps);
void Pic18Verify(AppState& st, Pic18State& ps);
void Pic18Program(AppState& st, Pic18State& ps);
void Pic18Erase(AppState& st, Pic18State& ps);
void Pic18BlankCheck(AppState& st, Pic18State& ps);
void Pic18ProgramConfig(AppState& st, Pic18State& ps);
void Pic18CheckDeviceId(AppState& st);

void Pic18SetVdd(AppState& st, std::uint8_t v);
void Pic18SetVpp(AppState& st, std::uint8_t v);

}  // namespace tesmar
