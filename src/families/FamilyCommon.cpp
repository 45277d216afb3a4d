#include "families/FamilyCommon.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "link/Replies.h"
#include "link/UsbPort.h"
#include "operations/Checksum.h"
#include "operations/Host.h"
#include "operations/Report.h"

namespace tesmar {
namespace {

const char* const kReadError = " Error with read";
const char* const kNoRoom = " Device doesn't fit in allocated buffer";

// An empty poll yields the core instead of spinning on the driver.
void idle() { std::this_thread::sleep_for(std::chrono::microseconds(100)); }

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
    for (int silent = 0;;) {
        if (stopOnAbort_ && st_.RunFlag.load() == 0) return Aborted;
        std::uint32_t queued = 0;
        st_.usb->queueStatus(queued);
        if (queued > 0) {
            out.resize(std::min(queued, max));
            int status = UsbOk;
            out.resize(readBytes(st_, out.data(), std::uint32_t(out.size()), &status));
            if (status != UsbOk) {
                out.clear();
                failLine(st_, kReadError);
                return Failed;
            }
            if (!out.empty()) return Data;
        }
        if (++silent >= silencePolls_) {
            failLine(st_, kReadError);
            return Failed;
        }
        idle();
    }
}

std::vector<std::uint8_t> readChipIdReply(AppState& st, std::size_t keep) {
    // Once the reply has begun the rest follows at once: this many empty polls
    // in a row end it; a programmer that keeps talking is cut off.
    constexpr int kQuietPolls = 50;
    constexpr int kMaxPolls = proto::kReplyPolls;
    std::vector<std::uint8_t> kept;
    if (!st.usb || !waitForBytes(st, 1)) return kept;
    std::uint8_t chunk[64];
    for (int quiet = 0, polls = 0; quiet < kQuietPolls && polls < kMaxPolls; ++polls) {
        std::uint32_t queued = 0;
        if (st.usb->queueStatus(queued) != UsbOk) break;
        if (queued == 0) {
            ++quiet;
            idle();
            continue;
        }
        quiet = 0;
        const std::uint32_t got = readBytes(st, chunk, std::min<std::uint32_t>(queued, sizeof chunk));
        if (got == 0) break;
        for (std::uint32_t i = 0; i < got && kept.size() < keep; ++i) kept.push_back(chunk[i]);
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
    std::vector<std::uint8_t> chunk;
    std::uint32_t done = 0;
    while (done < count && runOk(st)) {
        if (reader.next(count - done, chunk) != StreamReader::Data) return false;
        for (std::uint8_t byte : chunk) {
            const std::size_t at = st.buf.BufferCursor;
            if (at >= st.buf.size()) {
                failLine(st, kNoRoom);
                return false;
            }
            st.buf.DeviceBuffer[at] = byte;
            st.buf.BufferCursor = at + step;
        }
        advanceGauge(st, int(chunk.size()));
        done += std::uint32_t(chunk.size());
    }
    return done >= count && runOk(st);
}

namespace {

// Reads `count` bytes in pieces of at most `chunk`, each a plain read bounded
// by the read time-out, and hands each piece to `take` with its offset. A
// short read or a driver error is a read failure: bytes that never came
// cannot be called equal or blank.
template <class Take>
bool readInChunks(AppState& st, std::uint32_t count, std::uint32_t chunk, Take take) {
    std::vector<std::uint8_t> data(std::max<std::uint32_t>(chunk, 1));
    std::uint32_t done = 0;
    while (done < count && runOk(st)) {
        const std::uint32_t want = std::min<std::uint32_t>(std::uint32_t(data.size()), count - done);
        int status = UsbOk;
        const std::uint32_t got = readBytes(st, data.data(), want, &status);
        if (status != UsbOk || got < want) {
            failLine(st, kReadError);
            return false;
        }
        if (!take(data.data(), want, done)) return false;
        done += want;
    }
    return done >= count && runOk(st);
}

}  // namespace

bool readStream(AppState& st, std::uint32_t count, std::uint32_t chunk, unsigned step) {
    return readInChunks(st, count, chunk, [&](const std::uint8_t* data, std::uint32_t n, std::uint32_t) {
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::size_t at = st.buf.BufferCursor;
            if (at >= st.buf.size()) {
                failLine(st, kNoRoom);
                return false;
            }
            st.buf.DeviceBuffer[at] = data[i];
            st.buf.BufferCursor = at + step;
        }
        advanceGauge(st, int(n));
        return true;
    });
}

bool compareStream(AppState& st, std::uint32_t count, std::uint32_t chunk, unsigned step) {
    return readInChunks(st, count, chunk, [&](const std::uint8_t* data, std::uint32_t n, std::uint32_t) {
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::size_t at = st.buf.BufferCursor;
            if (at >= st.buf.size()) {
                failLine(st, kNoRoom);
                return false;
            }
            if (data[i] != st.buf.DeviceBuffer[at]) {
                reportCompareFault(st, data[i]);
                return false;
            }
            st.buf.BufferCursor = at + step;
            advanceGauge(st, 1);
        }
        return true;
    });
}

bool blankStream(AppState& st, std::uint32_t count, std::uint32_t chunk, const std::vector<std::uint8_t>& pattern,
                 std::int8_t faultCode, bool* notBlank) {
    if (notBlank) *notBlank = false;
    const std::vector<std::uint8_t> expect = pattern.empty() ? std::vector<std::uint8_t>{0xFF} : pattern;
    return readInChunks(st, count, chunk, [&](const std::uint8_t* data, std::uint32_t n, std::uint32_t offset) {
        for (std::uint32_t i = 0; i < n; ++i) {
            if (data[i] != expect[(offset + i) % expect.size()]) {
                if (notBlank) *notBlank = true;
                reportBlankFault(st, faultCode);
                return false;
            }
            advanceGauge(st, 1);
        }
        return true;
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
        block.resize(n);
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::size_t at = st.buf.BufferCursor;
            if (at >= st.buf.size()) {
                failLine(st, kNoRoom);
                return;
            }
            block[i] = st.buf.DeviceBuffer[at];
            st.buf.BufferCursor = at + step;
        }
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
