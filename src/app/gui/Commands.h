#pragma once
// The main window's toolbar commands, each in the folder of what it opens.
class QToolButton;

namespace tesmar {

class TfrmMains;

// Which dialogs this build has; a button whose dialog is missing stays disabled.
constexpr bool haveConfigDialogs() { return true; }
constexpr bool haveOptionsDialog() { return true; }
constexpr bool haveIcTester() { return true; }
constexpr bool haveAutoIncrement() { return true; }
constexpr bool haveFuseEditor() { return true; }
constexpr bool haveJedecFiles() { return true; }

void runSelection(TfrmMains& w);                       // devices/gui
void runOperation(TfrmMains& w, QToolButton* button);  // operations/gui
void runLoad(TfrmMains& w);
void runSave(TfrmMains& w);
void runEdit(TfrmMains& w);
void runConfig(TfrmMains& w);
void runOptions(TfrmMains& w);
void runIcTest(TfrmMains& w);
void runAutoInc(TfrmMains& w);

}  // namespace tesmar
