#pragma once
// The main window's toolbar commands, each in the folder of what it opens.
class QString;
class QToolButton;

namespace tesmar {

class TfrmMains;

// Which of these dialogs this build has; a button whose dialog is missing stays disabled.
constexpr bool haveIcTester() { return true; }
constexpr bool haveAutoIncrement() { return true; }

void runSelection(TfrmMains& w);                       // devices/gui
// How one device operation ended.
enum class OperationEnd { NotRun, Good, Failed, Aborted };

// One device operation, from the toolbar's operation buttons (operations/gui).
OperationEnd runOperation(TfrmMains& w, QToolButton* button);
// The same without a button: `code` is the OperationCode the family routine
// runs ('R', 'B', 'P', 'V', 'E', 'S'), `caption` the progress window's title.
// Only 'P' counts as a Program; every code but 'P' is sent "Stop" on Abort.
OperationEnd runOperation(TfrmMains& w, char code, const QString& caption);
void runLoad(TfrmMains& w);
void runSave(TfrmMains& w);
void runEdit(TfrmMains& w);
void runConfig(TfrmMains& w);
void runOptions(TfrmMains& w);
void runIcTest(TfrmMains& w);
void runAutoInc(TfrmMains& w);

}  // namespace tesmar
