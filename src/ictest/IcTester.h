#pragma once
// The logic-IC tester: the lists of All.usb, the Test and Loop Test passes
// (IC lookup, the tester's bitstream and firmware, the vector text) and the
// vector run itself. Everything runs on the interface thread with blocking
// driver calls; the dialog shows the outcome through IcTestView.
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "ictest/IcFrames.h"

namespace tesmar::ictest {

// The tester's own state; one per opening of the dialog.
struct IcTesterState {
    int IcGroupIndex = 0;    // 0-based while the lists load, then 1-based for the Test
    int IcIndex = -1;        // IC in the group, -1 none
    int IcPinCount = 0;      // IC under test
    int LoadedFpgaPins = 0;  // pin count of the tester bitstream in the programmer, 0 none
    bool McuFileSent = false;
    int LoopCount = 0;       // passes left
    // The vector text (or the memory IC's pin map, then its patterns) of the
    // IC under test. The device image is not touched by a test.
    std::vector<std::uint8_t> work;
};

// What the dialog shows while and after a test runs.
class IcTestView {
public:
    virtual ~IcTestView() = default;
    // A pass begins: the lists give way to "Testing" and the IC name, the
    // wiring hint (empty: none), results hidden; the Test button is disabled
    // for a loop of more than one pass, else the Loop Test button.
    virtual void showTesting(const QString& icName, const QString& wiringHint, bool looping) = 0;
    virtual void setLoopCaption(const QString& caption) = 0;
    // A vector line went out.
    virtual void lineSent() = 0;
    virtual void showPass() = 0;
    // The line that failed and what the IC answered.
    virtual void showFail(const QString& vectors, const QString& result) = 0;
    // Memory ICs: the pattern panel, its gauge (maximum `memorySize`), captions.
    virtual void showMemoryTest(int memorySize) = 0;
    virtual void setMemoryCaption(const QString& caption) = 0;
    virtual void setMemoryProgress(int position) = 0;
    // The pattern step failed: "  Failed" after the caption, Fail shown.
    virtual void showMemoryFail() = 0;
    // The pattern step could not be exchanged with the chip: "  Not tested"
    // after the caption, neither Pass nor Fail shown.
    virtual void showMemoryNotTested() = 0;
};

// A memory IC's pin map, socket pins.
struct IcMemoryMap {
    std::vector<std::uint8_t> address;  // A0 first
    std::vector<std::uint8_t> data;     // the slots in use, D0 first
    std::vector<std::uint8_t> control;
    int width = 0;                      // data pins in use
    std::size_t size = 0;               // 2 ^ address pins
};
// Reads the pin map of a memory IC's text (without its 0 byte). False when
// the text is too short for the 20 address and 8 data slots or has no data pin.
bool readMemoryMap(const std::vector<std::uint8_t>& text, int pins, IcMemoryMap& map);

// What the exchange of one pattern step with the chip found.
enum class PatternResult { Passed, Failed, NotTested };

// The exchange of a memory IC's patterns with the chip. The programmer
// firmware has no memory exchange, so by default nothing is tested: a memory
// IC is then shown as not tested, never as good.
class IcMemoryExchange {
public:
    virtual ~IcMemoryExchange() = default;
    // Before the pin map is read: the supply driver code.
    virtual void prepare(std::uint8_t /*supplyCode*/) {}
    virtual PatternResult exchange(const IcMemoryMap& /*map*/, const std::uint8_t* /*data*/, std::size_t /*n*/) {
        return PatternResult::NotTested;
    }
};

struct IcLists {
    std::vector<QString> groups;
    std::vector<QString> ics;
};

// The database file of the program folder.
std::string icDatabasePath(const AppState& st);

// Bit 0 fills the group list, bit 1 the IC list of group IcGroupIndex
// (0-based); then IcGroupIndex := 0 (bit 0) and IcIndex := 0, or -1 for an
// empty group (bit 1). A missing file shows its box, plays the error sound,
// empties both lists, sets IcIndex := -1 and leaves the program in DEMO
// mode; false then.
bool LoadIcTestLists(AppState& st, IcTesterState& t, unsigned mask, IcLists& lists);

// The wiring hint of an entry mode (empty for none).
QString wiringHint(std::uint8_t mode);

// Runs the text in t.work for an IC of t.IcPinCount pins: logic ICs line by
// line, retried 5 times on a mismatch; memory ICs ('R') through the pattern
// steps. Sets ErrorFlag and shows Pass or Fail; false when the IC could not
// be tested (ErrorFlag then stays 0 and neither is shown).
bool RunIcTestVectors(AppState& st, IcTesterState& t, const IcPower& power, std::uint8_t mode, IcTestView& view,
                      IcMemoryExchange* exchange = nullptr);

// The passes of the Test and Loop Test buttons once LoopCount is set: while
// passes are left and none failed, look the IC up, upload what the
// programmer lacks, copy the vector text and run it; then the elapsed time.
// An IC that could not be tested ends the loop after its pass.
void RunIcTest(AppState& st, IcTesterState& t, IcTestView& view, IcMemoryExchange* exchange = nullptr);

}  // namespace tesmar::ictest
