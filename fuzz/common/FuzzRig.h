#pragma once
// What every fuzz target shares: the sample device records of the program
// folder the build assembles, a Qt core application, and a host whose
// answers to questions come from the fuzz input.
//
// Set TESMAR_FUZZ_VERBOSE=1 to see the log lines and boxes of each input
// (useful when replaying a crash: ./fuzz_operation crash-...).
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "common/Script.h"
#include "app/AppState.h"
#include "devices/DeviceRecord.h"
#include "operations/Host.h"

namespace tesmar::fuzz {

// The program folder the build assembled (family files, All.usb, usbf/, usbm/).
std::string runDir();

// A QCoreApplication for the Qt classes the readers use.
void startQt(int* argc, char*** argv);

// Every record of the five family files, in file order.
const std::vector<DeviceRecord>& sampleRecords();
// The first sample record of that name in that family file; the run stops
// when the sample data no longer has it.
const DeviceRecord& sampleRecord(const char* familyFile, const char* name);

bool verbose();

// A silent window: lines and boxes go nowhere (or to stderr when verbose),
// sound always works, and an Abort/Retry/Ignore box is answered with the
// next script byte (an empty script answers Abort).
class ScriptedHost : public Host {
public:
    explicit ScriptedHost(Script* script = nullptr) : script_(script) {}

    void memoAdd(const QString& line) override;
    void memoClear() override {}
    void setGauge(int, int) override {}
    void setProgressCaption(const QString&) override {}
    void closeProgress() override { ++closes; }
    Answer askAbortRetryIgnore(const QString& text, const QString& caption) override;
    void message(const QString& text, const QString& caption, BoxIcon) override;
    bool playSound(Sound) override { return true; }
    void showChecksum(const QString&) override {}

    int closes = 0;  // progress window closes

private:
    Script* script_;
};

// The image a selection of `rec` leaves: the selection's block, erased, and
// a PIC18's default configuration.
void selectionImage(ImageBuffer& buf, const DeviceRecord& rec);

// A file of this name in a temporary folder the run keeps.
QString tempPath(const char* name);

// Stops the run with a message: an invariant of the program does not hold.
[[noreturn]] void fail(const char* what);

}  // namespace tesmar::fuzz
