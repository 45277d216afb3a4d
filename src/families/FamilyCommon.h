#pragma once
// The steps every device family repeats: the chip-ID question, streaming the
// image to and from the programmer, compare and blank failures, success
// lines and the end of an operation. Frames and the bounded reply waits come
// from link/Protocol.h and link/Replies.h. All of it runs on the worker
// thread and talks to the windows only through AppState::host.
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/AppState.h"
#include "link/Protocol.h"
#include "link/Replies.h"

namespace tesmar {

// Largest block of program data handed to one write call.
constexpr std::uint32_t kMaxBlock = 0x6000;

// ---- run state -------------------------------------------------------------

// The operation is still going: no failure and no Abort.
bool runOk(const AppState& st);
// Bytes in the device's main area (LastAddress + 1), 0 without a device.
std::uint64_t deviceBytes(const AppState& st);
void setCaption(AppState& st, const QString& caption);
// Adds a success line only when the run ended with no failure and no Abort.
void successLine(AppState& st, const QString& line);
// Counts a failure and, unless the user aborted, shows its line.
void failLine(AppState& st, const QString& line);

// The start of an operation routine: ErrorFlag cleared, gauge maximum
// `maximum` (LastAddress + 1 when negative), position 0.
void beginOperation(AppState& st, int maximum = -1);
// The end of every operation routine, whatever the outcome: gauge 0, the
// checksum, and the progress form closed.
void finishOperation(AppState& st);

// ---- streams the programmer sends at its own pace ---------------------------

// Takes the bytes of a reply stream as they arrive: each call waits (a
// bounded wait on the queue) until something is queued and reads at most
// `max` of it. A read status error, or a line silent for `silencePolls`
// polls, count a failure with " Error with read". Abort ends the wait as
// `onAbort` says, without a failure: at once for a stream the host stops
// with "Stop", after a quiet spell for bytes the programmer was promised.
class StreamReader {
public:
    enum Result { Data, Aborted, Failed };

    explicit StreamReader(AppState& st, int silencePolls = proto::kReplyPolls, OnAbort onAbort = OnAbort::Stop)
        : st_(st), silencePolls_(silencePolls), onAbort_(onAbort) {}
    // `out` receives between 1 and `max` bytes when the result is Data.
    Result next(std::uint32_t max, std::vector<std::uint8_t>& out);

private:
    AppState& st_;
    int silencePolls_;
    OnAbort onAbort_;
};

// ---- chip ID -----------------------------------------------------------------

// One exchange of a chip-ID check: sends the ID frame, reads the reply, fills
// the signature text and returns whether it matches. `replied` is false when
// the programmer did not answer at all.
struct ChipIdAttempt {
    QString text;
    bool matches = false;
    bool replied = true;
};

// The question every family asks on a wrong signature: the "CHIP_ID Error"
// box with Abort/Retry/Ignore. Abort fails, Retry runs `attempt` again, Ignore
// (or any other answer) goes on. A programmer that does not answer fails the
// check with " Error with read".
bool runChipIdCheck(AppState& st, const std::function<ChipIdAttempt()>& attempt);

// ---- the image ---------------------------------------------------------------

// Whether the image holds `count` bytes from `start` on, `step` apart. When
// it does not, the failure is counted and reported and nothing may be sent.
bool transferFits(AppState& st, std::size_t start, std::uint64_t count, unsigned step);

// ---- failures shown by the contract ------------------------------------------

// A compare mismatch: the compare line (BufferCursor on the failing byte),
// then "ErrV" so the programmer ends its stream. The report purges the
// transmit queue, so it goes first.
void reportCompareFault(AppState& st, std::uint8_t deviceByte);
// A byte that is not blank: the not-blank line (or another code such as the
// data-EEPROM line), then "ErrB".
void reportBlankFault(AppState& st, std::int8_t code = 12);

// ---- streams ---------------------------------------------------------------

// Takes `count` device bytes as they arrive into the image from BufferCursor
// on, `step` apart, advancing the gauge. Ends on Abort; a read status error or
// a stream that stays silent for `silencePolls` polls ends it with
// " Error with read". Returns true when every byte arrived.
//
// The streams below move the gauge per block (GaugeBatch), and where whole
// chunks are queued already they take them in one read: the same bytes in
// the same order with far fewer driver calls.
bool receiveStream(AppState& st, std::uint32_t count, unsigned step, int silencePolls = proto::kReplyPolls);

// Reads `count` device bytes `chunk` at a time (plain reads bounded by the
// read time-out in force; chunks already queued are taken together) into the
// image from BufferCursor on, `step` apart, advancing the gauge. A read that
// fails or comes back short ends with " Error with read": bytes that never
// came are not stored. Ends on Abort, which is no failure. Returns true when
// every byte arrived.
bool readStream(AppState& st, std::uint32_t count, std::uint32_t chunk, unsigned step);

// The reply to a chip-ID frame: everything the programmer sends once it starts
// answering (it ends after a short quiet spell, and at the latest after a
// bounded number of polls), the first `keep` bytes kept and the rest dropped so
// that no later read takes them for device data. Empty when the programmer
// stays silent through the bounded wait, and at once on Abort.
std::vector<std::uint8_t> readChipIdReply(AppState& st, std::size_t keep);

// Reads `count` device bytes `chunk` at a time (as readStream) and
// compares them in order with the image from BufferCursor on, `step` apart.
// A match advances the cursor and the gauge; the first mismatch leaves the
// cursor on it and reports it (reportCompareFault). A read that fails or
// comes back short ends with " Error with read". Returns true when all matched.
// `areaLine`, when given, names the area in a line of its own before the
// compare line (" EEprom").
bool compareStream(AppState& st, std::uint32_t count, std::uint32_t chunk, unsigned step,
                   const char* areaLine = nullptr);

// Reads `count` device bytes `chunk` at a time and tests byte i against
// pattern[i % pattern.size()] (a blank chip); BufferCursor is not used. The
// first other value is reported with `faultCode` (reportBlankFault) and sets
// `notBlank` (when given); a broken stream leaves it false.
bool blankStream(AppState& st, std::uint32_t count, std::uint32_t chunk, const std::vector<std::uint8_t>& pattern,
                 std::int8_t faultCode = 12, bool* notBlank = nullptr);

// Sends `count` image bytes from BufferCursor on (`step` apart) in blocks of
// at most kMaxBlock bytes, each in one write, with the driver's status call
// before each block when `statusCall` is set. After each block `afterBlock`
// (block length) takes the programmer's acknowledgements and returns false to
// stop. The loop also stops once ErrorFlag is set; it does not stop on Abort,
// since the programmer expects the whole image once programming began.
// TransferCount holds the length of the block under way.
void sendBlocks(AppState& st, std::uint32_t count, unsigned step, bool statusCall,
                const std::function<bool(std::uint32_t blockLen)>& afterBlock);

}  // namespace tesmar
