#pragma once
// PLD and GAL parts: kind 'P'. The worker asks PldCheckSignature before every
// operation, whatever the ID-check option says, and runs PldDoOperation on
// OperationCode when it succeeds. The geometry comes from the GAL table
// (families/PldGeometry.h); the timing and voltages of every erase, program
// and secure frame come from the signature read just before (AppState::pld).
#include "app/AppState.h"
#include "link/Protocol.h"

namespace tesmar {

// Reads and prints the chip's signature, checks it and derives the voltages,
// pulse width and erase time; true to go on with the operation.
bool PldCheckSignature(AppState& st);
// The operation routine: the routine of OperationCode, then the checksum and
// the progress form closed, whatever the outcome.
void PldDoOperation(AppState& st);

// The steps. Read, verify and blank check move the array, the UES row (on
// parts that have one) and the configuration fuses in turn.
void PldRead(AppState& st);
void PldVerify(AppState& st);
void PldBlankCheck(AppState& st);
void PldErase(AppState& st);
void PldProgram(AppState& st);
void PldSecure(AppState& st);

// A line in the log for each run of fuses that the device's transfers never
// move (pldUntransferredFuses): the image may hold them, the part never
// gets them, and a Verify cannot see them.
void notePldUntransferredFuses(AppState& st);

// The bytes the erase ('E') and program ('P') headers carry for the current
// device and run values.
proto::PldHeader pldHeaderFor(const AppState& st, char op);

}  // namespace tesmar
