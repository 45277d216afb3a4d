#include "families/Serial.h"

#include <algorithm>
#include <string>
#include <vector>

#include "families/FamilyCommon.h"
#include "link/Protocol.h"
#include "link/Replies.h"
#include "link/UsbPort.h"
#include "operations/Report.h"

namespace tesmar {
namespace {

// Frames of the family; unused parameter bytes are 0.
constexpr proto::Frame kReadFrame = proto::frame('E', 'R');        // stream LastAddress + 1 bytes
constexpr proto::Frame kExtraReadFrame = proto::frame('E', 'r');   // stream the extra area
constexpr proto::Frame kProgramFrame = proto::frame('E', 'P');     // data blocks follow
constexpr proto::Frame kEraseFrame = proto::frame('E', 'E');       // "Done" when erased
constexpr proto::Frame kChipIdTwoBytes = proto::frame('E', 'i');   // maker and device byte
constexpr proto::Frame kChipIdThreeBytes = proto::frame('E', 'I'); // and a third signature byte

constexpr std::uint32_t kReadPiece = 4;     // read stream
constexpr std::uint32_t kVerifyChunk = 16;  // verify stream
constexpr std::uint32_t kBlankChunk = 2;    // blank-check stream: the blank value, then 0xFF
constexpr std::uint32_t kAckLength = 4;     // one program acknowledgement per four data bytes
constexpr std::size_t kChipIdBytes = 4;     // the longest chip-ID reply kept

// One part carries an area after its main memory, read with its own frame and
// kept in the image directly after the main area.
const char* const kExtraAreaPart = "AT24RF08C";
constexpr std::uint32_t kExtraAreaBytes = 32;

// Page codes: 0 no status register, 103 a second status byte.
constexpr std::uint8_t kPageTwoStatusBytes = 103;

// Time-outs (read ms, write ms).
constexpr std::uint32_t kProgramTimeoutMs = 20000;
constexpr std::uint32_t kEraseTimeoutMs = 60000;
constexpr std::uint32_t kAfterEraseTimeoutMs = 10000;


const char* const kReadError = " Error with read";

bool hasExtraArea(const DeviceRecord& d) { return d.Name == kExtraAreaPart; }

// Status bytes that follow the data: none, one, or two for page code 103.
int statusBytes(const DeviceRecord& d) {
    if (d.PageCode == 0) return 0;
    return d.PageCode == kPageTwoStatusBytes ? 2 : 1;
}

// Main-area bytes of a transfer, when the image holds them (and the extra
// area after them when `withExtra`); checked before anything is sent, so a
// device too large for the image fails without touching the chip.
bool imageHolds(AppState& st, bool withExtra, std::uint32_t& count) {
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) return false;
    const std::uint64_t n = deviceBytes(st);
    const std::uint64_t total = n + (withExtra && hasExtraArea(*d) ? kExtraAreaBytes : 0);
    if (!transferFits(st, 0, total, 1)) return false;
    count = std::uint32_t(n);
    return true;
}

void startTransfer(AppState& st, std::uint32_t count) {
    st.buf.BufferCursor = 0;
    st.TransferCount = count;
    setGaugeMax(st, int(std::min<std::uint32_t>(count, 0x7FFFFFFF)));
}

// The gauge and TransferCount for the extra area, the cursor right after the
// main area.
void startExtraArea(AppState& st, std::uint32_t mainBytes) {
    st.buf.BufferCursor = mainBytes;
    st.TransferCount = kExtraAreaBytes;
    setGaugeMax(st, int(kExtraAreaBytes));
    setGaugePos(st, 0);
}

// Reads `count` bytes in four-byte pieces into the image from BufferCursor on.
// Goes on after an earlier failure (the extra area is read even when the main
// area broke off) but stops on Abort. A piece that fails or comes back short
// ends with " Error with read": bytes that never came are not stored.
bool readPieces(AppState& st, std::uint32_t count) {
    std::uint8_t piece[kReadPiece];
    GaugeBatch gauge(st);
    for (std::uint32_t done = 0; done < count && st.RunFlag.load() != 0;) {
        const std::uint32_t want = std::min(kReadPiece, count - done);
        int status = UsbOk;
        const std::uint32_t got = readBytes(st, piece, want, &status, OnAbort::Stop);
        if (st.RunFlag.load() == 0) return false;
        const std::size_t at = st.buf.BufferCursor;
        if (status != UsbOk || got < want || at + want > st.buf.size()) {
            failLine(st, kReadError);
            return false;
        }
        std::copy(piece, piece + want, st.buf.DeviceBuffer.begin() + std::ptrdiff_t(at));
        st.buf.BufferCursor = at + want;
        gauge.add(want);
        done += want;
    }
    return true;
}

// The status bytes after the data (`count` of them, at most two). They are
// kept only when all of them came: a pair half read would be written back
// whole by the next Program.
bool readStatusBytes(AppState& st, int count, std::uint8_t& first, std::uint8_t& second) {
    std::uint8_t b[2] = {0, 0};
    const std::uint32_t want = std::uint32_t(std::clamp(count, 0, 2));
    if (want == 0) return true;
    int status = UsbOk;
    if (readBytes(st, b, want, &status) < want || status != UsbOk) {
        failLine(st, kReadError);
        return false;
    }
    first = b[0];
    if (want == 2) second = b[1];
    return true;
}

// The programmer acknowledges every four data bytes as it writes them; the
// bytes say nothing the verify would not, but their pace keeps the host in
// step. A programmer that stops answering ends the run instead of costing a
// read time-out per acknowledgement.
bool takeAcknowledgements(AppState& st, std::uint32_t blockLen) {
    std::uint8_t ack[kAckLength];
    GaugeBatch gauge(st);
    for (std::uint32_t i = 0; i < blockLen; i += kAckLength) {
        int status = UsbOk;
        if (readBytes(st, ack, kAckLength, &status) < kAckLength || status != UsbOk) {
            failLine(st, kReadError);
            return false;
        }
        if (st.RunFlag.load() != 0) gauge.add(kAckLength);
    }
    return true;
}


void verifyStep(AppState& st) {
    setGaugePos(st, 0);
    memo(st, " Verifying");
    setCaption(st, "Verifying");
    SerialVerify(st);
}

}  // namespace

bool SerialCheckChipId(AppState& st) {
    if (st.settings.IdCheckOption == 0) return true;
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) return false;
    return runChipIdCheck(st, [&] {
        ChipIdAttempt a;
        writeFrame(st, d->DeviceId2 == 0 ? kChipIdTwoBytes : kChipIdThreeBytes);
        const std::vector<std::uint8_t> reply = readChipIdReply(st, kChipIdBytes);
        if (reply.empty()) {
            a.replied = false;
            return a;
        }
        std::uint8_t id[kChipIdBytes] = {};
        std::copy(reply.begin(), reply.end(), id);
        a.text = QString::asprintf("ID: 30=0x%X 31=0x%X 32=0x%X ", unsigned(id[0]), unsigned(id[1]), unsigned(id[2]));
        a.matches = id[0] == d->MakerId && id[1] == d->DeviceId && (d->DeviceId2 == 0 || id[2] == d->DeviceId2);
        return a;
    });
}

void SerialDoOperation(AppState& st) {
    if (!st.dev() || !st.usb) {
        finishOperation(st);
        return;
    }
    beginOperation(st);
    switch (st.OperationCode.load()) {
    case 'B':
        SerialBlankCheck(st);
        break;
    case 'E':
        SerialErase(st);
        break;
    case 'P':
        setCaption(st, "Program");
        setGaugePos(st, 0);
        SerialProgram(st);
        if (runOk(st)) verifyStep(st);
        break;
    case 'V':
        verifyStep(st);
        break;
    case 'R':
        SerialRead(st);
        break;
    default:
        break;
    }
    finishOperation(st);
}

void SerialRead(AppState& st) {
    std::uint32_t n = 0;
    if (!imageHolds(st, true, n)) return;
    const DeviceRecord& d = *st.dev();
    startTransfer(st, n);
    writeFrame(st, kReadFrame);
    readPieces(st, n);
    if (hasExtraArea(d) && st.RunFlag.load() != 0) {
        startExtraArea(st, n);
        writeFrame(st, kExtraReadFrame);
        readPieces(st, kExtraAreaBytes);
    }
    if (!runOk(st)) return;
    // The status register follows the data; its value is what the next
    // Program writes back.
    if (!readStatusBytes(st, statusBytes(d), st.mcu.SerialFlashStatus, st.mcu.SerialFlashStatus2)) return;
    successLine(st, " Read Completed");
}

void SerialVerify(AppState& st) {
    std::uint32_t n = 0;
    if (!imageHolds(st, true, n)) return;
    const DeviceRecord& d = *st.dev();
    startTransfer(st, n);
    writeFrame(st, kReadFrame);
    compareStream(st, n, kVerifyChunk, 1);
    // Asking for the extra area after a mismatch or an Abort would leave its
    // bytes unread in the queue for the next reply wait to trip over.
    if (hasExtraArea(d) && runOk(st)) {
        startExtraArea(st, n);
        writeFrame(st, kExtraReadFrame);
        compareStream(st, kExtraAreaBytes, kVerifyChunk, 1);
    }
    successLine(st, " Verify OK");
}

void SerialProgram(AppState& st) {
    std::uint32_t n = 0;
    if (!imageHolds(st, false, n)) return;
    const DeviceRecord& d = *st.dev();
    st.usb->setTimeouts(kProgramTimeoutMs, kProgramTimeoutMs);
    startTransfer(st, n);
    setGaugePos(st, 0);
    writeFrame(st, kProgramFrame);
    sendBlocks(st, n, 1, false, [&](std::uint32_t blockLen) { return takeAcknowledgements(st, blockLen); });
    if (!runOk(st)) return;
    const int status = statusBytes(d);
    if (status >= 1) writeBytes(st, &st.mcu.SerialFlashStatus, 1);
    if (status >= 2) writeBytes(st, &st.mcu.SerialFlashStatus2, 1);
    successLine(st, " Programmed");
}

void SerialErase(AppState& st) {
    if (!st.dev() || !st.usb) return;
    st.usb->setTimeouts(kEraseTimeoutMs, kEraseTimeoutMs);
    writeFrame(st, kEraseFrame);
    if (readWord(st, proto::kReplyDone)) {
        setGaugePos(st, 0);
        memo(st, " Erased ");
        SerialBlankCheck(st);
    } else {
        // A chip that did not confirm its erase is not called erased.
        failLine(st, " Erase Error");
    }
    st.usb->setTimeouts(kAfterEraseTimeoutMs, kAfterEraseTimeoutMs);
}

void SerialBlankCheck(AppState& st) {
    std::uint32_t n = 0;
    if (!imageHolds(st, false, n)) return;
    const DeviceRecord& d = *st.dev();
    startTransfer(st, n);
    writeFrame(st, kReadFrame);
    blankStream(st, n, kBlankChunk, {d.BlankByte, 0xFF}, 12);
    successLine(st, " Clean");
}

}  // namespace tesmar
