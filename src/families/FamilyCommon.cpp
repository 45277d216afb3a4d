#include "families/FamilyCommon.h"

#include <algorithm>
#include <cstring>

#include "link/Replies.h"
#include "link/UsbPort.h"
#include "operations/Checksum.h"
#include "operations/Host.h"
#include "operations/Report.h"

namespace tesmar {
namespace {

const char* const kReadError = " Error with read";
const char* const kNoRoom = " Device doesn't fit in allocated buffer";

// Largest piece one read takes of bytes that are queued already.
constexpr std::uint32_t kPieceMax = 4096;

// Whether the image holds `n` bytes from BufferCursor on, `step` apart;
// counts and reports the failure when it does not.
bool cursorHolds(AppState& st, std::uint32_t n, unsigned step) {
    if (n == 0) return true;
    const std::uint64_t last = std::uint64_t(st.buf.BufferCursor) + std::uint64_t(n - 1) * step;
    if (last < st.buf.size()) return true;
    failLine(st, kNoRoom);
    return false;
}

// The first index where a and b differ, or n.
std::uint32_t firstDifference(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t n) {
    if (std::memcmp(a, b, n) == 0) return n;
    return std::uint32_t(std::mismatch(a, a + n, b).first - a);
}

// Copies `n` bytes into the image from BufferCursor on, `step` apart (the
// room was checked), and moves the cursor past them.
void storeAtCursor(AppState& st, const std::uint8_t* data, std::uint32_t n, unsigned step) {
    std::uint8_t* out = st.buf.DeviceBuffer.data() + st.buf.BufferCursor;
    if (step == 1)
        std::memcpy(out, data, n);
    else
        for (std::uint32_t i = 0; i < n; ++i) out[std::size_t(i) * step] = data[i];
    st.buf.BufferCursor += std::size_t(n) * step;
}

}  // namespace

bool runOk(const AppState& st) { return st.ErrorFlag.get() == 0 && st.RunFlag.load() != 0; }

std::uint64_t deviceBytes(const AppState& st) {
    return st.dev() ? std::uint64_t(st.dev()->LastAddress) + 1 : 0;
}

void setCaption(AppState& st, const QString& caption) {
    if (st.host) st.host->setProgressCaption(caption);
}

void successLine(AppState& st, const QString& line) {
    if (runOk(st)) memo(st, line);
}

void failLine(AppState& st, const QString& line) {
    st.ErrorFlag.increment();
    if (st.RunFlag.load() != 0) memo(st, line);
}

void beginOperation(AppState& st, int maximum) {
    st.ErrorFlag = 0;
    setGaugeMax(st, maximum < 0 ? int(std::min<std::uint64_t>(deviceBytes(st), 0x7FFFFFFF)) : maximum);
    setGaugePos(st, 0);
}

void finishOperation(AppState& st) {
    setGaugePos(st, 0);
    UpdateChecksum(st);
    if (st.host) st.host->closeProgress();
}

StreamReader::Result StreamReader::next(std::uint32_t max, std::vector<std::uint8_t>& out) {
    out.clear();
    if (!st_.usb || max == 0) return Failed;
    QueueWait wait(st_, silencePolls_, onAbort_);
    for (;;) {
        std::uint32_t queued = 0;
        switch (wait.until(1, queued)) {
        case QueueWait::Ready: break;
        case QueueWait::Aborted: return Aborted;
        default:
            failLine(st_, kReadError);
            return Failed;
        }
        out.resize(std::min(queued, max));
        int status = UsbOk;
        out.resize(readBytes(st_, out.data(), std::uint32_t(out.size()), &status, onAbort_));
        if (status != UsbOk) {
            out.clear();
            failLine(st_, kReadError);
            return Failed;
        }
        if (!out.empty()) return Data;
    }
}

std::vector<std::uint8_t> readChipIdReply(AppState& st, std::size_t keep) {
    // Once the reply has begun the rest follows at once: a quiet spell of
    // this many polls ends it; a programmer that keeps talking is cut off at
    // the bound of a reply wait.
    constexpr int kQuietPolls = 50;
    std::vector<std::uint8_t> kept;
    QueueWait whole(st, proto::kReplyPolls, OnAbort::Stop);
    std::uint32_t queued = 0;
    if (whole.until(1, queued) != QueueWait::Ready) return kept;
    whole.restart();
    QueueWait quiet(st, kQuietPolls, OnAbort::Stop);
    std::uint8_t chunk[64];
    while (!whole.expired() && quiet.until(1, queued) == QueueWait::Ready) {
        const std::uint32_t got =
            readBytes(st, chunk, std::min<std::uint32_t>(queued, sizeof chunk), nullptr, OnAbort::Ignore);
        if (got == 0) break;
        for (std::uint32_t i = 0; i < got && kept.size() < keep; ++i) kept.push_back(chunk[i]);
        quiet.restart();
    }
    return kept;
}

bool runChipIdCheck(AppState& st, const std::function<ChipIdAttempt()>& attempt) {
    for (;;) {
        if (st.RunFlag.load() == 0) return false;
        const ChipIdAttempt a = attempt();
        if (!a.replied) {
            // The caller counts the failed check; only say why.
            if (st.RunFlag.load() != 0) memo(st, kReadError);
            return false;
        }
        if (a.matches) return true;
        if (!st.host) return false;
        switch (st.host->askAbortRetryIgnore(a.text, QStringLiteral("CHIP_ID Error"))) {
        case Answer::Abort: return false;
        case Answer::Retry: continue;
        default: return true;
        }
    }
}

bool transferFits(AppState& st, std::size_t start, std::uint64_t count, unsigned step) {
    if (count == 0) return true;
    const std::uint64_t last = std::uint64_t(start) + (count - 1) * std::uint64_t(step ? step : 1);
    if (last < st.buf.size()) return true;
    failLine(st, kNoRoom);
    return false;
}

void reportCompareFault(AppState& st, std::uint8_t deviceByte) {
    ReportError(st, 11, deviceByte);
    writeFrame(st, proto::kCompareAbort);
}

void reportBlankFault(AppState& st, std::int8_t code) {
    ReportError(st, code, 0);
    writeFrame(st, proto::kBlankAbort);
}

bool receiveStream(AppState& st, std::uint32_t count, unsigned step, int silencePolls) {
    StreamReader reader(st, silencePolls);
    GaugeBatch gauge(st);
    std::vector<std::uint8_t> chunk;
    std::uint32_t done = 0;
    while (done < count && runOk(st)) {
        if (reader.next(count - done, chunk) != StreamReader::Data) return false;
        const std::uint32_t n = std::uint32_t(chunk.size());
        if (!cursorHolds(st, n, step)) return false;
        storeAtCursor(st, chunk.data(), n, step);
        gauge.add(n);
        done += n;
    }
    return done >= count && runOk(st);
}

namespace {

// Reads `count` bytes in whole chunks of `chunk` (the last one may be
// shorter), each read bounded by the read time-out, and hands each piece to
// `take` with its offset. A short read or a driver error is a read failure:
// bytes that never came cannot be called equal or blank. After Abort the
// stream ends without a failure.
template <class Take>
bool readInChunks(AppState& st, std::uint32_t count, std::uint32_t chunk, Take take) {
    chunk = std::max<std::uint32_t>(chunk, 1);
    const std::uint32_t most = std::max(chunk, kPieceMax / chunk * chunk);
    std::vector<std::uint8_t> data(most);
    std::uint32_t done = 0;
    while (done < count && runOk(st)) {
        const std::uint32_t left = count - done;
        std::uint32_t want = std::min(chunk, left);
        std::uint32_t queued = 0;
        if (left > want && st.usb && st.usb->queueStatus(queued) == UsbOk && queued > want)
            want = std::min(left, std::min(queued, most) / chunk * chunk);
        int status = UsbOk;
        const std::uint32_t got = readBytes(st, data.data(), want, &status, OnAbort::Stop);
        if (status != UsbOk || got < want) {
            if (st.RunFlag.load() != 0) failLine(st, kReadError);
            return false;
        }
        if (!take(data.data(), want, done)) return false;
        done += want;
    }
    return done >= count && runOk(st);
}

}  // namespace

bool readStream(AppState& st, std::uint32_t count, std::uint32_t chunk, unsigned step) {
    GaugeBatch gauge(st);
    return readInChunks(st, count, chunk, [&](const std::uint8_t* data, std::uint32_t n, std::uint32_t) {
        if (!cursorHolds(st, n, step)) return false;
        storeAtCursor(st, data, n, step);
        gauge.add(n);
        return true;
    });
}

bool compareStream(AppState& st, std::uint32_t count, std::uint32_t chunk, unsigned step, const char* areaLine) {
    GaugeBatch gauge(st);
    return readInChunks(st, count, chunk, [&](const std::uint8_t* data, std::uint32_t n, std::uint32_t) {
        if (!cursorHolds(st, n, step)) return false;
        const std::uint8_t* image = st.buf.DeviceBuffer.data() + st.buf.BufferCursor;
        std::uint32_t same = 0;
        if (step == 1)
            same = firstDifference(data, image, n);
        else
            while (same < n && data[same] == image[std::size_t(same) * step]) ++same;
        st.buf.BufferCursor += std::size_t(same) * step;
        gauge.add(same);
        if (same == n) return true;
        gauge.flush();
        if (areaLine && st.RunFlag.load() != 0) memo(st, areaLine);
        reportCompareFault(st, data[same]);
        return false;
    });
}

bool blankStream(AppState& st, std::uint32_t count, std::uint32_t chunk, const std::vector<std::uint8_t>& pattern,
                 std::int8_t faultCode, bool* notBlank) {
    if (notBlank) *notBlank = false;
    const std::vector<std::uint8_t> expect = pattern.empty() ? std::vector<std::uint8_t>{0xFF} : pattern;
    // A blank chip's bytes for any piece: the pattern repeated, entered at the
    // piece's offset.
    std::vector<std::uint8_t> blank(kPieceMax + std::max<std::uint32_t>(chunk, 1) + expect.size());
    for (std::size_t i = 0; i < blank.size(); ++i) blank[i] = expect[i % expect.size()];
    GaugeBatch gauge(st);
    return readInChunks(st, count, chunk, [&](const std::uint8_t* data, std::uint32_t n, std::uint32_t offset) {
        const std::uint32_t same = firstDifference(data, blank.data() + offset % expect.size(), n);
        gauge.add(same);
        if (same == n) return true;
        gauge.flush();
        if (notBlank) *notBlank = true;
        reportBlankFault(st, faultCode);
        return false;
    });
}

void sendBlocks(AppState& st, std::uint32_t count, unsigned step, bool statusCall,
                const std::function<bool(std::uint32_t blockLen)>& afterBlock) {
    if (!st.usb) return;
    std::vector<std::uint8_t> block;
    std::uint32_t done = 0;
    while (done < count && st.ErrorFlag.get() == 0) {
        const std::uint32_t n = std::min(kMaxBlock, count - done);
        st.TransferCount = n;
        if (!cursorHolds(st, n, step)) return;
        block.resize(n);
        const std::uint8_t* from = st.buf.DeviceBuffer.data() + st.buf.BufferCursor;
        if (step == 1)
            std::memcpy(block.data(), from, n);
        else
            for (std::uint32_t i = 0; i < n; ++i) block[i] = from[std::size_t(i) * step];
        st.buf.BufferCursor += std::size_t(n) * step;
        if (statusCall) {
            std::uint32_t rx = 0, tx = 0, events = 0;
            st.usb->status(rx, tx, events);
        }
        st.usb->write(block.data(), n);
        done += n;
        if (afterBlock && !afterBlock(n)) return;
    }
}

}  // namespace tesmar
