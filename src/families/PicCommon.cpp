#include "families/PicCommon.h"

#include <algorithm>

#include "families/FamilyCommon.h"
#include "families/Pic.h"
#include "link/Link.h"
#include "link/Protocol.h"
#include "link/Replies.h"
#include "link/UsbPort.h"
#include "operations/Checksum.h"
#include "operations/Host.h"
#include "operations/Report.h"

namespace tesmar::pic {

const char* const kReadError = " Error with read";
const char* const kNoSend = " Programmer did not ask for data";

namespace {
constexpr proto::Frame kDeviceIdFrame = proto::frame('E', 'I');
// Verify after programming runs at 5.0 V whatever the device's own supply.
constexpr std::uint8_t kVdd5V = 125;
}  // namespace

int areaIndex(char currentArea) {
    switch (currentArea) {
    case '1': return AreaData;
    case '2': return AreaId;
    case '3': return AreaCalibration;
    case '4': return AreaConfig;
    default: return AreaCode;
    }
}

void startArea(AppState& st, std::uint32_t bytes) {
    setGaugeMax(st, int(std::min<std::uint32_t>(bytes, 0x7FFFFFFF)));
    setGaugePos(st, 0);
}

bool AreaStream::take(std::uint8_t* out, std::uint32_t n) {
    if (broken_) return false;
    if (n == 0) return true;
    int status = UsbOk;
    const std::uint32_t got = readBytes(st_, out, n, &status);
    left_ -= std::min<std::uint64_t>(got, left_);
    if (status != UsbOk || got < n) {
        broken_ = true;
        failLine(st_, kReadError);
        return false;
    }
    return true;
}

bool AreaStream::drop(std::uint64_t n, std::uint32_t piece) {
    std::uint8_t scratch[16];
    piece = std::clamp<std::uint32_t>(piece, 1, sizeof scratch);
    while (n > 0) {
        if (!runOk(st_)) return false;
        const std::uint32_t k = std::uint32_t(std::min<std::uint64_t>(piece, n));
        if (!take(scratch, k)) return false;
        n -= k;
    }
    return true;
}

// Abort during a Program sends the programmer no "Stop", so a stream left
// early then is still coming: its rest is read and dropped here so that it
// is not taken for the next reply. That holds for every stream of the run,
// the blank check of its erase pass included, whatever OperationCode says by
// then. After "ErrV", "ErrB" or "Stop" the programmer ends the stream itself.
void AreaStream::close() {
    if (broken_ || left_ == 0 || st_.RunFlag.load() != 0 || !programRun_) return;
    std::uint8_t scratch[256];
    while (left_ > 0) {
        const std::uint32_t k = std::uint32_t(std::min<std::uint64_t>(sizeof scratch, left_));
        const std::uint32_t got = readBytes(st_, scratch, k);
        left_ -= std::min<std::uint64_t>(got, left_);
        if (got < k) break;
    }
}

bool storeArea(AppState& st, AreaStream& in, std::size_t place, std::uint32_t n, std::uint32_t piece,
               Words words) {
    // A piece lands in the image only once it came whole.
    std::vector<std::uint8_t> got(std::max<std::uint32_t>(piece, 1));
    const bool swapped = words == Words::Swapped;
    GaugeBatch gauge(st);
    for (std::uint32_t off = 0; off < n;) {
        if (!runOk(st)) return false;
        const std::uint32_t k = std::min<std::uint32_t>(std::uint32_t(got.size()), n - off);
        if (!in.take(got.data(), k)) return false;
        std::uint8_t* out = st.buf.DeviceBuffer.data() + place + off;
        for (std::uint32_t i = 0; i < k; ++i) {
            const std::uint32_t j = (swapped && (i ^ 1u) < k) ? (i ^ 1u) : i;
            out[i] = got[j];
        }
        off += k;
        st.buf.BufferCursor = place + off;
        gauge.add(k);
    }
    return true;
}

bool compareArea(AppState& st, AreaStream& in, std::size_t place, std::uint32_t n, Words words,
                 const char* line) {
    std::uint8_t w[2];
    GaugeBatch gauge(st);
    for (std::uint32_t off = 0; off < n;) {
        if (!runOk(st)) return false;
        const std::uint32_t k = std::min<std::uint32_t>(2, n - off);
        if (!in.take(w, k)) return false;
        for (std::uint32_t i = words == Words::LowOnly ? 1 : 0; i < k; ++i) {
            const std::uint8_t device = (words == Words::Swapped && k == 2) ? w[1 - i] : w[i];
            const std::size_t at = place + off + i;
            if (device != st.buf.DeviceBuffer[at]) {
                st.buf.BufferCursor = at;
                memo(st, line);
                reportCompareFault(st, device);
                return false;
            }
        }
        off += k;
        st.buf.BufferCursor = place + off;
        gauge.add(k);
    }
    return true;
}

void notBlank(AppState& st, const char* line) {
    memo(st, line);
    writeFrame(st, proto::kBlankAbort);
    st.ErrorFlag = 1;
}

bool blankArea(AppState& st, AreaStream& in, std::uint32_t n, int blankAt, const char* line) {
    const std::uint8_t blank = st.dev()->BlankByte;
    std::uint8_t w[2];
    GaugeBatch gauge(st);
    for (std::uint32_t off = 0; off < n;) {
        if (!runOk(st)) return false;
        const std::uint32_t k = std::min<std::uint32_t>(2, n - off);
        if (!in.take(w, k)) return false;
        bool ok = true;
        for (std::uint32_t i = 0; i < k; ++i) ok = ok && w[i] == (int(i) == blankAt ? blank : 0xFF);
        if (!ok) {
            notBlank(st, line);
            return false;
        }
        off += k;
        gauge.add(k);
    }
    return true;
}

std::uint32_t nextArea(AppState& st, char& currentArea, std::uint32_t mask) {
    if ((mask & PicStepEraseFirst) && st.OperationCode.load() == 'P') {
        st.OperationCode = 'E';
        return mask & ~std::uint32_t(PicStepEraseFirst);
    }
    mask &= ~std::uint32_t(PicStepEraseFirst);
    // After the erase pass of a Program every area is programmed, not erased
    // again, whichever area comes first.
    if (mask & (PicStepCode | PicStepData | PicStepId | PicStepCalibration | PicStepConfig))
        if (st.OperationCode.load() == 'E') st.OperationCode = 'P';
    if (mask & PicStepCode) {
        currentArea = 'P';
        return mask & 0xBE;
    }
    if (mask & PicStepData) {
        currentArea = '1';
        return mask & 0xBC;
    }
    if (mask & PicStepId) {
        currentArea = '2';
        return mask & 0xB8;
    }
    if (mask & PicStepCalibration) {
        currentArea = '3';
        return mask & 0xB0;
    }
    if (mask & PicStepConfig) {
        if (st.OperationCode.load() == 'P') st.OperationCode = 'C';
        currentArea = '4';
        return mask & 0xA0;
    }
    return 0;
}

void firstSelectedArea(AppState& st, char& currentArea, bool withConfig) {
    const std::uint8_t s = st.settings.ProgramSteps;
    if (s & PicStepCode)
        currentArea = 'P';
    else if (s & PicStepData)
        currentArea = '1';
    else if (s & PicStepId)
        currentArea = '2';
    else if (withConfig && (s & PicStepConfig))
        currentArea = '4';
}

bool readAcks(AppState& st, std::uint32_t n, std::uint32_t areaOffset) {
    std::uint8_t ack[2];
    GaugeBatch gauge(st);
    for (std::uint32_t off = 0; off < n; off += 2) {
        const std::uint32_t k = std::min<std::uint32_t>(2, n - off);
        int status = UsbOk;
        if (readBytes(st, ack, k, &status) < k || status != UsbOk) {
            failLine(st, kReadError);
            return false;
        }
        if (k == 2 && ack[0] == 'E' && ack[1] == 'E') {
            std::uint8_t f[4] = {0, 0, 0, 0};
            if (readBytes(st, f, 4, &status) < 4 || status != UsbOk) {
                failLine(st, kReadError);
                return false;
            }
            // Bytes 0-1 are the device word, 2-3 the image word; the name is never a format.
            failLine(st, QString::asprintf(" Programming Error @ 0x%.5X Ram = 0x%.4X ", unsigned(areaOffset + off),
                                           unsigned(f[2] << 8 | f[3])) +
                             deviceName(st) + QString::asprintf(" = 0x%.4X", unsigned(f[0] << 8 | f[1])));
            return false;
        }
        if (st.RunFlag.load() != 0) gauge.add(k);
    }
    return true;
}

bool readConfigAcks(AppState& st, std::uint32_t n) {
    std::vector<std::uint8_t> acks(n);
    int status = UsbOk;
    if (readBytes(st, acks.data(), n, &status) < n || status != UsbOk) {
        failLine(st, kReadError);
        return false;
    }
    if (st.RunFlag.load() != 0) advanceGauge(st, int(n));
    return true;
}

void checkDeviceId(AppState& st, const std::function<void()>& eachPass,
                   const std::function<bool(const std::vector<std::uint8_t>&)>& matches) {
    for (;;) {
        if (st.RunFlag.load() == 0) return;
        if (eachPass) eachPass();
        writeFrame(st, kDeviceIdFrame);
        // Everything the programmer answers is taken, so nothing of it is
        // left for the next reply.
        const std::vector<std::uint8_t> id = readChipIdReply(st, 2);
        if (id.size() < 2) {
            failLine(st, kReadError);
            return;
        }
        if (matches(id)) return;
        const Answer a = st.host ? st.host->askAbortRetryIgnore("Device ID mismatch", "Device ID mismatch")
                                 : Answer::Abort;
        if (a == Answer::Retry) continue;
        if (a == Answer::Abort) failLine(st, " Device ID mismatch!");
        return;
    }
}

namespace {
// One verify pass at one supply voltage: the frame, its line and caption.
void verifyAt(AppState& st, std::uint8_t vdd, int settleMs, const QString& line, bool lineIsCaption,
              const std::function<void()>& verify) {
    PicSetVdd(st, vdd);
    if (settleMs > 0) pauseMs(st, settleMs);
    setGaugePos(st, 0);
    memo(st, line);
    setCaption(st, lineIsCaption ? line : QStringLiteral("Verify"));
    verify();
}
}  // namespace

void verifyPasses(AppState& st, char& currentArea, const QString& plainLine, int maxSettleMs, int minSettleMs,
                  const std::function<void()>& verify) {
    const DeviceRecord& d = *st.dev();
    if (!st.settings.VerifyMaxMin) {
        verifyAt(st, kVdd5V, 0, plainLine, false, verify);
        return;
    }
    if (!runOk(st)) return;
    verifyAt(st, voltageByte(d.VddMax, 25), maxSettleMs,
             QString::asprintf(" Verifying @ Vdd<max> = %1.1fV ", double(d.VddMax)), true, verify);
    if (!runOk(st)) return;
    firstSelectedArea(st, currentArea, st.OperationCode.load() == 'V');
    verifyAt(st, voltageByte(d.VddMin, 25), minSettleMs,
             QString::asprintf(" Verifying @ Vdd<min> = %1.1fV ", double(d.VddMin)), true, verify);
}

void runOperation(AppState& st, std::uint32_t& pendingAreas, char& currentArea, const OperationSteps& f) {
    st.ErrorFlag = 0;
    if (!f.ready()) {
        if (st.ErrorFlag.get() == 0) st.ErrorFlag.increment();
        finishOperation(st);
        return;
    }
    const DeviceRecord& d = *st.dev();
    PicSetVdd(st, voltageByte(d.Vdd, 25));
    PicSetVpp(st, voltageByte(d.Vpp, 10));
    st.ErrorFlag = 0;
    if (st.settings.ProgramSteps == 0) st.settings.ProgramSteps = PicStepCode;
    pendingAreas = st.OperationCode.load() == 'E' ? 0 : st.settings.ProgramSteps;

    bool idFailed = !f.beforeAll();
    if (!idFailed) {
        const int codeMax = int(std::min<std::uint32_t>(d.LastAddress, 0x7FFFFFFF));
        do {
            pendingAreas = f.nextArea(pendingAreas);
            st.ErrorFlag = 0;
            startArea(st, std::uint32_t(codeMax));
            if (!f.beforePass()) {
                idFailed = true;
                break;
            }
            switch (st.OperationCode.load()) {
            case 'B':
                f.blankCheck();
                break;
            case 'E':
                PicSetVdd(st, f.eraseVdd);
                setCaption(st, "Erase");
                if ((d.Buttons >> BtnErase) & 1u) f.erase();
                break;
            case 'P':
                PicSetVdd(st, kVdd5V);
                setCaption(st, "Program");
                setGaugePos(st, 0);
                f.program();
                if (runOk(st)) {
                    firstSelectedArea(st, currentArea, false);
                    f.verify();
                }
                break;
            case 'R':
                f.read();
                break;
            case 'V':
                f.verify();
                break;
            default:
                break;
            }
            setGaugePos(st, 0);
            UpdateChecksum(st);
        } while (pendingAreas != 0 && runOk(st));
    }

    // The configuration goes in last, once everything else is in; not after
    // a failure or Abort.
    const char op = st.OperationCode.load();
    if (!idFailed && (st.settings.ProgramSteps & PicStepConfig) && runOk(st) && f.configDue(op)) {
        PicSetVdd(st, kVdd5V);
        f.programConfig();
        st.OperationCode = 'C';
        if (runOk(st)) f.verifyConfig();
    }
    finishOperation(st);
}

}  // namespace tesmar::pic
