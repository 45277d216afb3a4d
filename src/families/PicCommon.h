#pragma once
// What the 12/14-bit PICs and the PIC18s do alike: the area stream one read
// frame starts, storing, comparing and blank-testing it, the walk over the
// selected areas, the program acknowledgements, the device-ID question and
// the verify passes at one or three supply voltages.
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/AppState.h"

namespace tesmar::pic {

extern const char* const kReadError;
extern const char* const kNoSend;

// Stream areas in the order the programmer sends them.
enum Area : int { AreaCode = 0, AreaData = 1, AreaId = 2, AreaCalibration = 3, AreaConfig = 4 };
int areaIndex(char currentArea);

// Gauge maximum `bytes` (capped), position 0.
void startArea(AppState& st, std::uint32_t bytes);

// The programmer's answer to one read frame, taken piece by piece with plain
// reads bounded by the read time-out. `programRun`: the run is a Program, so
// an Abort sends no "Stop" and a stream left early is still coming.
class AreaStream {
public:
    AreaStream(AppState& st, std::uint64_t total, bool programRun)
        : st_(st), left_(total), programRun_(programRun) {}
    AreaStream(const AreaStream&) = delete;
    AreaStream& operator=(const AreaStream&) = delete;
    ~AreaStream() { close(); }

    // Exactly `n` bytes; a read that fails or comes back short ends the
    // stream with " Error with read" (bytes that never came are never used).
    bool take(std::uint8_t* out, std::uint32_t n);
    // Reads and drops `n` bytes, `piece` at a time; stops on Abort.
    bool drop(std::uint64_t n, std::uint32_t piece);

private:
    void close();

    AppState& st_;
    std::uint64_t left_;
    bool programRun_;
    bool broken_ = false;
};

// How the stream's words stand against the image's.
enum class Words {
    Same,     // byte for byte
    Swapped,  // the stream's words are low byte first, the image's high byte first
    LowOnly,  // compare only the second byte of each word (a data EEPROM byte)
};

// Stores `n` streamed bytes in the image from `place` on, `piece` per read.
bool storeArea(AppState& st, AreaStream& in, std::size_t place, std::uint32_t n, std::uint32_t piece,
               Words words);
// Compares `n` streamed bytes, two per read, with the image from `place` on.
// A difference: the area line, the compare line with BufferCursor on the
// failing byte, then "ErrV".
bool compareArea(AppState& st, AreaStream& in, std::size_t place, std::uint32_t n, Words words,
                 const char* line);
// A not-blank area: its line, "ErrB", and the run failed.
void notBlank(AppState& st, const char* line);
// Tests `n` streamed bytes two at a time: the erased pair is BlankByte at
// `blankAt` (0 or 1) and 0xFF at the other place.
bool blankArea(AppState& st, AreaStream& in, std::uint32_t n, int blankAt, const char* line);

// Takes the next area from `mask` into `currentArea` and may change
// OperationCode; returns the bits left.
std::uint32_t nextArea(AppState& st, char& currentArea, std::uint32_t mask);
// The first selected area a verify starts its stream at; the configuration
// only counts for a Verify of its own.
void firstSelectedArea(AppState& st, char& currentArea, bool withConfig);

// Two-byte acknowledgements for `n` programmed bytes; "EE" reports a word the
// programmer could not program. Taken to the end even after Abort: the
// programmer answers every word it was sent.
bool readAcks(AppState& st, std::uint32_t n, std::uint32_t areaOffset);
// The configuration's acknowledgements, one per byte sent.
bool readConfigAcks(AppState& st, std::uint32_t n);

// Asks for the device ID until `matches` accepts the two ID bytes, the user
// ignores a mismatch, or the run ends. `eachPass` runs before every frame.
void checkDeviceId(AppState& st, const std::function<void()>& eachPass,
                   const std::function<bool(const std::vector<std::uint8_t>&)>& matches);

// The verify after a program or for 'V': at 5.0 V with `plainLine`, or at
// Vdd<max> then Vdd<min> (waiting `maxSettleMs`/`minSettleMs` after each
// supply change) when VerifyMaxMin is set. `verify` runs one pass.
void verifyPasses(AppState& st, char& currentArea, const QString& plainLine, int maxSettleMs, int minSettleMs,
                  const std::function<void()>& verify);

// What one family does at each step of an operation; runOperation walks the
// selected areas with them.
struct OperationSteps {
    std::function<bool()> ready;      // the device and every area fit the image
    std::function<bool()> beforeAll;  // false: the device ID failed, nothing runs
    std::function<bool()> beforePass; // the same, checked at every area
    std::function<std::uint32_t(std::uint32_t)> nextArea;
    std::function<void()> blankCheck, erase, program, verify, read;
    std::function<bool(char op)> configDue;  // whether the configuration goes in at the end
    std::function<void()> programConfig, verifyConfig;
    std::uint8_t eraseVdd = 0;
};

// The operation routine shared by the PIC families: reads OperationCode
// ('B', 'E', 'P', 'R', 'V') and always ends with the progress form closed.
void runOperation(AppState& st, std::uint32_t& pendingAreas, char& currentArea, const OperationSteps& f);

}  // namespace tesmar::pic
