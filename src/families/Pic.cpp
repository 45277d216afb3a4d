#include "families/Pic.h"

#include <algorithm>
#include <vector>

#include "families/FamilyCommon.h"
#include "link/Link.h"
#include "link/Protocol.h"
#include "link/Replies.h"
#include "link/UsbPort.h"
#include "operations/Checksum.h"
#include "operations/Host.h"
#include "operations/Report.h"

namespace tesmar {
namespace {

const char* const kReadError = " Error with read";
// A program frame the programmer did not answer with "Send": no data went out.
const char* const kNoSend = " Programmer did not ask for data";
const char* const kBadConfigCount = " Device record has too many configuration bytes";

constexpr std::uint8_t kSupplyFrameTail[2] = {'S', 'E'};
constexpr proto::Frame kBulkErase = proto::word("EE23");
constexpr proto::Frame kExtraErase = proto::word("ES23");
constexpr proto::Frame kDeviceIdFrame = proto::frame('E', 'I');

// Verify and programming run at 5.0 V whatever the device's own supply.
constexpr std::uint8_t kVdd5V = 125;
constexpr int kDeviceIdSettleMs = 50;

// Enhanced mid-range parts keep their IDs, configuration and data EEPROM above 64 KiB.
constexpr std::uint8_t kFirstEnhancedPage = 46;
// The page of the parts with a factory calibration word at the top of the code
// area and a configuration high byte whose only user bit is bit 0.
constexpr std::uint8_t kCalibratedPage = 32;
// Parts whose data EEPROM has no frame letter.
constexpr std::uint8_t kNoDataLetterPage = 40;
// Parts whose device ID carries no revision bits in its second byte.
constexpr std::uint8_t kNoRevisionPage = 49;

// Stream areas in the order the programmer sends them.
enum Area : int { AreaCode = 0, AreaData = 1, AreaId = 2, AreaCalibration = 3, AreaConfig = 4 };

int areaIndex(char currentArea) {
    switch (currentArea) {
    case '1': return AreaData;
    case '2': return AreaId;
    case '3': return AreaCalibration;
    case '4': return AreaConfig;
    default: return AreaCode;
    }
}

bool topWordIsCalibration(const DeviceRecord& d) {
    return d.PageCode == kCalibratedPage || d.Algorithm == 11 || d.Algorithm == 6;
}

bool eraseAllowed(const DeviceRecord& d) { return (d.Buttons >> BtnErase) & 1u; }

std::uint8_t steps(const AppState& st) { return st.settings.ProgramSteps; }

// Code bytes a step works on: the whole area, less the top word where it
// holds the factory calibration (and, for algorithm 5, in a blank check).
// What is left out is still in the programmer's stream.
std::uint32_t codeWorkBytes(const AppState& st, const PicState& ps) {
    const DeviceRecord& d = *st.dev();
    std::uint32_t n = picLayout(d).codeBytes;
    std::uint32_t less = 0;
    if (st.OperationCode.load() == 'B' && d.Algorithm == 5) less += 2;
    if (ps.PicWholeCode == 0 && topWordIsCalibration(d)) less += 2;
    return n > less ? n - less : 0;
}

// Bytes the programmer streams after a read frame for the area `start`.
std::uint64_t streamBytes(const PicLayout& l, int start) {
    std::uint64_t n = 0;
    if (start <= AreaCode) n += l.codeBytes;
    if (start <= AreaData && l.hasData) n += l.dataBytes;
    if (start <= AreaId) n += l.idBytes + l.idPairBytes;
    if (l.hasCalibration) n += 2;
    return n + l.configBytes;
}

// Every area of the device inside the image, checked before any traffic.
bool layoutFits(AppState& st, const PicLayout& l) {
    const DeviceRecord& d = *st.dev();
    if (d.ConfigMaskCount > d.ConfigMasks.size()) {
        failLine(st, kBadConfigCount);
        return false;
    }
    return transferFits(st, 0, l.codeBytes, 1) && (!l.hasData || transferFits(st, l.dataPlace, l.dataBytes, 1)) &&
           transferFits(st, l.idPlace, l.idBytes + l.idPairBytes, 1) &&
           transferFits(st, l.calibrationPlace, 2, 1) && transferFits(st, l.configPlace, l.configBytes, 1);
}

bool ready(AppState& st, PicLayout& l) {
    if (!st.dev() || !st.usb) return false;
    l = picLayout(*st.dev());
    return layoutFits(st, l);
}

void startArea(AppState& st, std::uint32_t bytes) {
    setGaugeMax(st, int(std::min<std::uint32_t>(bytes, 0x7FFFFFFF)));
    setGaugePos(st, 0);
}

// The programmer's answer to one read frame, taken piece by piece with plain
// reads bounded by the read time-out.
class AreaStream {
public:
    AreaStream(AppState& st, std::uint64_t total) : st_(st), left_(total) {}
    AreaStream(const AreaStream&) = delete;
    AreaStream& operator=(const AreaStream&) = delete;
    ~AreaStream() { close(); }

    // Exactly `n` bytes; a read that fails or comes back short ends the
    // stream with " Error with read" (bytes that never came are never used).
    bool take(std::uint8_t* out, std::uint32_t n) {
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
    // Reads and drops `n` bytes, `piece` at a time; stops on Abort.
    bool drop(std::uint64_t n, std::uint32_t piece) {
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

private:
    // A stream left early after Abort during a Program was never told to
    // stop (a Program is not sent "Stop"): its rest is read and dropped here,
    // so that it is not taken for the next reply. After "ErrV", "ErrB" or the
    // Abort button's "Stop" the programmer ends it itself.
    void close() {
        if (broken_ || left_ == 0 || st_.RunFlag.load() != 0 || st_.OperationCode.load() != 'P') return;
        std::uint8_t scratch[256];
        while (left_ > 0) {
            const std::uint32_t k = std::uint32_t(std::min<std::uint64_t>(sizeof scratch, left_));
            const std::uint32_t got = readBytes(st_, scratch, k);
            left_ -= std::min<std::uint64_t>(got, left_);
            if (got < k) break;
        }
    }

    AppState& st_;
    std::uint64_t left_;
    bool broken_ = false;
};

// Stores `n` streamed bytes in the image from `place` on (`piece` per read).
bool storeArea(AppState& st, AreaStream& in, std::size_t place, std::uint32_t n, std::uint32_t piece) {
    for (std::uint32_t off = 0; off < n;) {
        if (!runOk(st)) return false;
        const std::uint32_t k = std::min(piece, n - off);
        if (!in.take(st.buf.DeviceBuffer.data() + place + off, k)) return false;
        off += k;
        st.buf.BufferCursor = place + off;
        advanceGauge(st, int(k));
    }
    return true;
}

// Compares `n` streamed bytes, a word (two bytes) per read, with the image
// from `place` on; `lowOnly` compares only the second byte of each word (the
// data EEPROM byte). A difference: the area line, the compare line with
// BufferCursor on the failing byte, then "ErrV".
bool compareArea(AppState& st, AreaStream& in, std::size_t place, std::uint32_t n, bool lowOnly,
                 const char* areaLine) {
    std::uint8_t w[2];
    for (std::uint32_t off = 0; off < n;) {
        if (!runOk(st)) return false;
        const std::uint32_t k = std::min<std::uint32_t>(2, n - off);
        if (!in.take(w, k)) return false;
        for (std::uint32_t i = lowOnly ? 1 : 0; i < k; ++i) {
            const std::size_t at = place + off + i;
            if (w[i] != st.buf.DeviceBuffer[at]) {
                st.buf.BufferCursor = at;
                memo(st, areaLine);
                reportCompareFault(st, w[i]);
                return false;
            }
        }
        off += k;
        st.buf.BufferCursor = place + off;
        advanceGauge(st, int(k));
    }
    return true;
}

// A not-blank area: its line, "ErrB", and the run failed.
void notBlank(AppState& st, const char* line) {
    memo(st, line);
    writeFrame(st, proto::kBlankAbort);
    st.ErrorFlag = 1;
}

// Tests `n` streamed bytes word by word: an erased word is BlankByte, 0xFF.
bool blankArea(AppState& st, AreaStream& in, std::uint32_t n, const char* line) {
    const std::uint8_t blank = st.dev()->BlankByte;
    std::uint8_t w[2];
    for (std::uint32_t off = 0; off < n;) {
        if (!runOk(st)) return false;
        const std::uint32_t k = std::min<std::uint32_t>(2, n - off);
        if (!in.take(w, k)) return false;
        if (w[0] != blank || (k == 2 && w[1] != 0xFF)) {
            notBlank(st, line);
            return false;
        }
        off += k;
        advanceGauge(st, int(k));
    }
    return true;
}

// The configuration high byte of the calibrated parts holds factory bits;
// only its bit 0 is the user's.
bool configByteDiffers(const DeviceRecord& d, std::size_t i, std::uint8_t image, std::uint8_t device) {
    if (d.PageCode == kCalibratedPage && i == 0) return ((image ^ device) & 1u) != 0;
    const std::uint8_t mask = d.ConfigMasks[i];
    return (image & mask) != (device & mask);
}

void configMismatch(AppState& st, std::size_t at, std::uint8_t device) {
    st.buf.BufferCursor = at;
    memo(st, " Config Area ");
    reportCompareFault(st, device);
}

bool compareConfig(AppState& st, AreaStream& in, const PicLayout& l) {
    const DeviceRecord& d = *st.dev();
    std::vector<std::uint8_t> dev(l.configBytes);
    startArea(st, l.configBytes);
    if (!in.take(dev.data(), l.configBytes)) return false;
    for (std::size_t i = 0; i < dev.size(); ++i) {
        const std::size_t at = l.configPlace + i;
        if (configByteDiffers(d, i, st.buf.DeviceBuffer[at], dev[i])) {
            configMismatch(st, at, dev[i]);
            return false;
        }
        advanceGauge(st, 1);
    }
    return true;
}

// The verify of 'V' at one supply voltage: the frame, its line and caption.
void verifyAt(AppState& st, PicState& ps, std::uint8_t vdd, const QString& line, bool lineIsCaption) {
    PicSetVdd(st, vdd);
    setGaugePos(st, 0);
    memo(st, line);
    setCaption(st, lineIsCaption ? line : QStringLiteral("Verify"));
    PicVerify(st, ps);
}

// The first selected area a verify starts its stream at; the configuration
// only counts for a Verify of its own.
void restartVerifyArea(AppState& st, PicState& ps, bool withConfig) {
    const std::uint8_t s = steps(st);
    if (s & PicStepCode)
        ps.CurrentArea = 'P';
    else if (s & PicStepData)
        ps.CurrentArea = '1';
    else if (s & PicStepId)
        ps.CurrentArea = '2';
    else if (withConfig && (s & PicStepConfig))
        ps.CurrentArea = '4';
}

void verifyStep(AppState& st, PicState& ps) {
    const DeviceRecord& d = *st.dev();
    ps.PicWholeCode = 0;
    if (!st.settings.VerifyMaxMin) {
        verifyAt(st, ps, kVdd5V, QString::asprintf(" Verifying @ Vdd = %1.1fV ", double(d.Vdd)), false);
        return;
    }
    if (!runOk(st)) return;
    verifyAt(st, ps, voltageByte(d.VddMax, 25), QString::asprintf(" Verifying @ Vdd<max> = %1.1fV ", double(d.VddMax)),
             true);
    if (!runOk(st)) return;
    restartVerifyArea(st, ps, st.OperationCode.load() == 'V');
    verifyAt(st, ps, voltageByte(d.VddMin, 25), QString::asprintf(" Verifying @ Vdd<min> = %1.1fV ", double(d.VddMin)),
             true);
}

// One area of a program run: "EP" with the area letter, "Send", the area's
// bytes in one write, then a two-byte acknowledgement per word.
bool programArea(AppState& st, PicState& ps) {
    const DeviceRecord& d = *st.dev();
    const std::uint8_t letter = PicSelectArea(st, ps);
    if (letter == 0) return true;  // no frame letter: nothing the programmer could take
    const std::size_t place = st.buf.BufferCursor;
    const std::uint32_t n = st.TransferCount;
    writeFrame(st, proto::frame('E', 'P', letter, 0));
    startArea(st, n);
    if (!readWord(st, proto::kReplySend)) {
        failLine(st, kNoSend);
        return false;
    }
    std::vector<std::uint8_t> data(st.buf.DeviceBuffer.begin() + std::ptrdiff_t(place),
                                   st.buf.DeviceBuffer.begin() + std::ptrdiff_t(place + n));
    if (ps.CurrentArea == 'P') {
        // The programmer takes the whole code area; the words left out (the
        // calibration word) are sent as copies of the first word, which it
        // neither programs over the factory value nor acknowledges.
        const std::uint32_t whole = picLayout(d).codeBytes;
        for (std::uint32_t i = n; i < whole; ++i) data.push_back(n >= 2 ? data[i % 2] : d.BlankByte);
    }
    writeBytes(st, data.data(), data.size());
    setGaugePos(st, 0);
    // The acknowledgements are taken to the end of the area even after Abort:
    // the programmer answers every word it programs (not the filler words).
    std::uint8_t ack[2];
    for (std::uint32_t off = 0; off < n; off += 2) {
        const std::uint32_t k = std::min<std::uint32_t>(2, n - off);
        int status = UsbOk;
        if (readBytes(st, ack, k, &status) < k || status != UsbOk) {
            failLine(st, kReadError);
            return false;
        }
        if (k == 2 && ack[0] == 'E' && ack[1] == 'E') {
            std::uint8_t fault[4] = {0, 0, 0, 0};
            if (readBytes(st, fault, 4, &status) < 4 || status != UsbOk) {
                failLine(st, kReadError);
                return false;
            }
            // Bytes 0-1 are the device word, 2-3 the image word; the name is never a format.
            failLine(st, QString::asprintf(" Programming Error @ 0x%.5X Ram = 0x%.4X ", unsigned(off),
                                           unsigned(fault[2] << 8 | fault[3])) +
                             deviceName(st) +
                             QString::asprintf(" = 0x%.4X", unsigned(fault[0] << 8 | fault[1])));
            return false;
        }
        if (st.RunFlag.load() != 0) advanceGauge(st, int(k));
    }
    return true;
}

}  // namespace

PicLayout picLayout(const DeviceRecord& d) {
    PicLayout l;
    const std::size_t base = d.PageCode >= kFirstEnhancedPage ? 0x10000 : 0x4000;
    l.codeBytes = std::uint32_t(std::min<std::uint64_t>(std::uint64_t(d.LastAddress) + 1, 0xFFFFFFFFu));
    l.hasData = (d.StepMask & PicStepData) != 0;
    l.dataPlace = base + 0x200;
    l.dataBytes = (std::uint32_t(d.DataEepromSize) + 1) * 2;
    l.idPlace = base;
    l.idPairBytes = d.Algorithm == 11 ? 2 : 0;
    l.hasCalibration = (d.StepMask & PicStepCalibration) != 0;
    // Right after the ID words (and the algorithm-11 pair): the one place the
    // calibration word has, whichever area the stream started at.
    l.calibrationPlace = base + l.idBytes + l.idPairBytes;
    l.configPlace = base + 0x0E;
    l.configBytes = d.ConfigMaskCount;
    return l;
}

void PicSetVdd(AppState& st, std::uint8_t v) {
    writeFrame(st, proto::Frame{'C', v, kSupplyFrameTail[0], kSupplyFrameTail[1]});
}

void PicSetVpp(AppState& st, std::uint8_t v) {
    writeFrame(st, proto::Frame{'P', v, kSupplyFrameTail[0], kSupplyFrameTail[1]});
}

std::uint32_t PicNextArea(AppState& st, PicState& ps, std::uint32_t mask) {
    if ((mask & PicStepEraseFirst) && st.OperationCode.load() == 'P') {
        st.OperationCode = 'E';
        return mask & ~std::uint32_t(PicStepEraseFirst);
    }
    mask &= ~std::uint32_t(PicStepEraseFirst);
    // After the erase pass of a Program every area is programmed, not erased
    // again, whichever area comes first.
    auto backToProgram = [&] {
        if (st.OperationCode.load() == 'E') st.OperationCode = 'P';
    };
    if (mask & PicStepCode) {
        backToProgram();
        ps.CurrentArea = 'P';
        return mask & 0xBE;
    }
    if (mask & PicStepData) {
        backToProgram();
        ps.CurrentArea = '1';
        return mask & 0xBC;
    }
    if (mask & PicStepId) {
        backToProgram();
        ps.CurrentArea = '2';
        return mask & 0xB8;
    }
    if (mask & PicStepCalibration) {
        backToProgram();
        ps.CurrentArea = '3';
        return mask & 0xB0;
    }
    if (mask & PicStepConfig) {
        backToProgram();
        if (st.OperationCode.load() == 'P') st.OperationCode = 'C';
        ps.CurrentArea = '4';
        return mask & 0xA0;
    }
    return 0;
}

std::uint8_t PicSelectArea(AppState& st, PicState& ps) {
    const DeviceRecord& d = *st.dev();
    const PicLayout l = picLayout(d);
    switch (ps.CurrentArea) {
    case '1':
        st.buf.BufferCursor = l.dataPlace;
        st.TransferCount = l.dataBytes;
        return d.PageCode == kNoDataLetterPage ? 0 : 'd';
    case '2':
        st.buf.BufferCursor = l.idPlace;
        st.TransferCount = l.idBytes;
        return 'i';
    case '3':
        st.TransferCount = 2;
        return 'k';
    case '4':
        st.buf.BufferCursor = l.configPlace;
        st.TransferCount = l.configBytes;
        return 'c';
    default:
        st.buf.BufferCursor = 0;
        st.TransferCount = codeWorkBytes(st, ps);
        return 'p';
    }
}

void PicRead(AppState& st, PicState& ps) {
    PicLayout l;
    if (!ready(st, l)) return;
    st.buf.BufferCursor = 0;
    const std::uint8_t letter = PicSelectArea(st, ps);
    // An area without a frame letter cannot be asked for.
    if (letter == 0) return;
    const int start = areaIndex(ps.CurrentArea);
    const std::uint8_t s = steps(st);
    writeFrame(st, proto::frame('E', 'R', letter, 0));
    setCaption(st, "Reading ");
    startArea(st, st.TransferCount);
    {
        AreaStream in(st, streamBytes(l, start));
        bool ok = true;
        if (start <= AreaCode) ok = storeArea(st, in, 0, l.codeBytes, 4);
        if (ok && start <= AreaData && l.hasData)
            ok = (s & PicStepData) ? storeArea(st, in, l.dataPlace, l.dataBytes, 4) : in.drop(l.dataBytes, 4);
        if (ok && start <= AreaId) {
            const std::uint32_t n = l.idBytes + l.idPairBytes;
            ok = (s & PicStepId) ? storeArea(st, in, l.idPlace, n, n) : in.drop(n, 4);
        }
        if (ok && l.hasCalibration)
            ok = (s & PicStepCalibration) ? storeArea(st, in, l.calibrationPlace, 2, 2) : in.drop(2, 1);
        if (ok && runOk(st)) {
            if (s & PicStepConfig) {
                std::vector<std::uint8_t> dev(l.configBytes);
                if (in.take(dev.data(), l.configBytes)) {
                    const DeviceRecord& d = *st.dev();
                    for (std::size_t i = 0; i < dev.size(); ++i)
                        st.buf.DeviceBuffer[l.configPlace + i] = dev[i] & d.ConfigMasks[i];
                }
            } else {
                in.drop(l.configBytes, 1);
            }
        }
    }
    successLine(st, " Read Completed");
    ps.PendingAreas = 0;
}

void PicVerify(AppState& st, PicState& ps) {
    PicLayout l;
    if (!ready(st, l)) return;
    st.buf.BufferCursor = 0;
    const std::uint8_t letter = PicSelectArea(st, ps);
    if (letter == 0) return;
    const int start = areaIndex(ps.CurrentArea);
    const std::uint8_t s = steps(st);
    const char op = st.OperationCode.load();
    const std::uint32_t code = start <= AreaCode ? codeWorkBytes(st, ps) : 0;
    startArea(st, st.TransferCount);
    writeFrame(st, proto::frame('E', 'R', letter, 0));
    {
        AreaStream in(st, streamBytes(l, start));
        bool ok = true;
        if (start <= AreaCode) {
            ok = compareArea(st, in, 0, code, false, " Code Area ") && in.drop(l.codeBytes - code, 2);
        }
        if (ok && start <= AreaData && l.hasData) {
            startArea(st, l.dataBytes);
            ok = (s & PicStepData) ? compareArea(st, in, l.dataPlace, l.dataBytes, true, " Data Area ")
                                   : in.drop(l.dataBytes, 4);
        }
        if (ok && start <= AreaId) {
            if (s & PicStepId) {
                startArea(st, l.idBytes);
                ok = compareArea(st, in, l.idPlace, l.idBytes, false, " ID Area ") && in.drop(l.idPairBytes, 2);
            } else {
                ok = in.drop(l.idBytes + l.idPairBytes, 4);
            }
        }
        if (ok && l.hasCalibration) ok = in.drop(2, 2);
        if (ok && runOk(st)) {
            // After a program pass the configuration is not written yet; it
            // gets its own program and verify at the end.
            if ((s & PicStepConfig) && op != 'P')
                compareConfig(st, in, l);
            else
                in.drop(l.configBytes, 1);
        }
    }
    ps.PendingAreas = 0;
}

void PicProgram(AppState& st, PicState& ps) {
    PicLayout l;
    if (!ready(st, l)) return;
    const DeviceRecord& d = *st.dev();
    const std::uint8_t s = steps(st);
    setCaption(st, "Programming ");
    if (ps.CurrentArea == 'P') {
        if (!programArea(st, ps)) return;
        ps.CurrentArea = ((s & PicStepData) && (d.StepMask & PicStepData)) ? '1' : '2';
    }
    // A new area is not begun after Abort.
    if ((s & PicStepData) && l.hasData && runOk(st)) {
        ps.CurrentArea = '1';
        if (!programArea(st, ps)) return;
        ps.CurrentArea = '2';
    }
    if ((s & PicStepId) && runOk(st)) {
        ps.CurrentArea = '2';
        if (!programArea(st, ps)) return;
        if (s & PicStepCalibration) ps.CurrentArea = '3';
    }
    successLine(st, " Programmed");
}

void PicProgramConfig(AppState& st, PicState& ps) {
    PicLayout l;
    if (!ready(st, l)) return;
    const DeviceRecord& d = *st.dev();
    st.buf.BufferCursor = 0;
    ps.CurrentArea = '4';
    writeFrame(st, proto::frame('E', 'P', 'c', 0));
    setCaption(st, "Programming ");
    startArea(st, l.configBytes);
    if (!readWord(st, proto::kReplySend)) {
        failLine(st, kNoSend);
        return;
    }
    std::vector<std::uint8_t> bytes(l.configBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = st.buf.DeviceBuffer[l.configPlace + i] & d.ConfigMasks[i];
    // The factory bits of the calibrated parts' high byte are sent set.
    if (d.PageCode == kCalibratedPage && !bytes.empty()) bytes[0] = st.buf.DeviceBuffer[l.configPlace] | 0x30;
    writeBytes(st, bytes.data(), bytes.size());
    setGaugePos(st, 0);
    std::vector<std::uint8_t> acks(l.configBytes);
    int status = UsbOk;
    if (readBytes(st, acks.data(), l.configBytes, &status) < l.configBytes || status != UsbOk) {
        failLine(st, kReadError);
        return;
    }
    if (st.RunFlag.load() != 0) advanceGauge(st, int(l.configBytes));
    successLine(st, " CONFIG Programmed");
}

void PicErase(AppState& st, PicState& ps) {
    if (!st.dev() || !st.usb) return;
    writeFrame(st, kBulkErase);
    if (ps.PendingAreas == 0) {
        setGaugePos(st, 0);
        ps.CurrentArea = 'P';
        ps.PicWholeCode = 0;
        PicBlankCheck(st, ps);
    }
    if (st.dev()->PageCode == kCalibratedPage) writeFrame(st, kExtraErase);
    successLine(st, " Erase Complete");
}

void PicBlankCheck(AppState& st, PicState& ps) {
    PicLayout l;
    if (!ready(st, l)) return;
    const DeviceRecord& d = *st.dev();
    const std::uint8_t letter = PicSelectArea(st, ps);
    if (letter == 0) return;
    const int start = areaIndex(ps.CurrentArea);
    const std::uint32_t code = start <= AreaCode ? codeWorkBytes(st, ps) : 0;
    setCaption(st, "Blank");
    startArea(st, st.TransferCount);
    writeFrame(st, proto::frame('E', 'R', letter, 0));
    {
        AreaStream in(st, streamBytes(l, start));
        bool ok = true;
        if (start <= AreaCode)
            ok = blankArea(st, in, code, " Code Area not Blank") && in.drop(l.codeBytes - code, 2);
        // The data EEPROM is tested whether it was chosen or not.
        if (ok && start <= AreaData && l.hasData) {
            startArea(st, l.dataBytes);
            ok = blankArea(st, in, l.dataBytes, " Data Area not Blank");
        }
        if (ok && start <= AreaId) {
            startArea(st, l.idBytes);
            ok = blankArea(st, in, l.idBytes, " ID Area not Blank") && in.drop(l.idPairBytes, 2);
        }
        if (ok && runOk(st) && (!l.hasCalibration || in.drop(2, 2))) {
            std::vector<std::uint8_t> dev(l.configBytes);
            startArea(st, l.configBytes);
            if (in.take(dev.data(), l.configBytes)) {
                for (std::size_t i = 0; i < dev.size(); ++i) {
                    const std::size_t at = l.configPlace + i;
                    if (d.PageCode == kCalibratedPage && i == 0) {
                        // Factory bits: only bit 0 is compared, with the image.
                        if (configByteDiffers(d, i, st.buf.DeviceBuffer[at], dev[i])) {
                            configMismatch(st, at, dev[i]);
                            break;
                        }
                    } else if ((dev[i] & d.ConfigMasks[i]) != d.ConfigMasks[i]) {
                        notBlank(st, " Config Area not Blank");
                        break;
                    }
                    advanceGauge(st, 1);
                }
            }
        }
    }
    if (st.OperationCode.load() != 'E') successLine(st, " Clean");
    ps.PendingAreas = 0;
}

void PicCheckDeviceId(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) return;
    PicSetVdd(st, voltageByte(d->Vdd, 25));
    pauseMs(st, kDeviceIdSettleMs);
    for (;;) {
        if (st.RunFlag.load() == 0) return;
        writeFrame(st, kDeviceIdFrame);
        // Everything the programmer answers is taken, so nothing of it is
        // left for the next reply.
        const std::vector<std::uint8_t> id = readChipIdReply(st, 2);
        if (id.size() < 2) {
            failLine(st, kReadError);
            return;
        }
        const std::uint8_t first = id[0] & 0x3F;
        const std::uint8_t second = d->PageCode == kNoRevisionPage ? id[1] : std::uint8_t(id[1] & 0xE0);
        if (first == d->DeviceId && second == d->DeviceId2) return;
        const Answer a = st.host ? st.host->askAbortRetryIgnore("Device ID mismatch", "Device ID mismatch")
                                 : Answer::Abort;
        if (a == Answer::Retry) continue;
        if (a == Answer::Abort) failLine(st, " Device ID mismatch!");
        return;
    }
}

void PicDoOperation(AppState& st) {
    PicLayout l;
    st.ErrorFlag = 0;
    if (!ready(st, l)) {
        if (st.ErrorFlag.get() == 0) st.ErrorFlag.increment();
        finishOperation(st);
        return;
    }
    const DeviceRecord& d = *st.dev();
    PicState ps;
    PicSetVdd(st, voltageByte(d.Vdd, 25));
    PicSetVpp(st, voltageByte(d.Vpp, 10));
    st.ErrorFlag = 0;
    if (st.settings.ProgramSteps == 0) st.settings.ProgramSteps = PicStepCode;
    ps.PendingAreas = st.OperationCode.load() == 'E' ? 0 : st.settings.ProgramSteps;
    const int codeMax = int(std::min<std::uint32_t>(d.LastAddress, 0x7FFFFFFF));

    bool idFailed = false;
    do {
        ps.PendingAreas = PicNextArea(st, ps, ps.PendingAreas);
        st.ErrorFlag = 0;
        ps.PicWholeCode = 1;
        startArea(st, std::uint32_t(codeMax));
        if (d.DeviceId != 0) {
            PicCheckDeviceId(st);
            if (st.ErrorFlag.get() != 0) {
                idFailed = true;
                break;
            }
        }
        switch (st.OperationCode.load()) {
        case 'B':
            ps.PicWholeCode = 0;
            PicBlankCheck(st, ps);
            break;
        case 'E':
            PicSetVdd(st, voltageByte(d.Vdd, 25));
            setCaption(st, "Erase");
            if (eraseAllowed(d)) PicErase(st, ps);
            break;
        case 'P':
            PicSetVdd(st, kVdd5V);
            setCaption(st, "Program");
            setGaugePos(st, 0);
            ps.PicWholeCode = 0;
            PicProgram(st, ps);
            if (runOk(st)) {
                restartVerifyArea(st, ps, false);
                verifyStep(st, ps);
            }
            break;
        case 'V':
            verifyStep(st, ps);
            break;
        case 'R':
            PicRead(st, ps);
            break;
        default:
            break;
        }
        setGaugePos(st, 0);
        UpdateChecksum(st);
    } while (ps.PendingAreas != 0 && runOk(st));

    // The configuration is written last, once everything else is in; not
    // after a failure or Abort.
    const char op = st.OperationCode.load();
    if (!idFailed && (st.settings.ProgramSteps & PicStepConfig) && runOk(st) &&
        (op == 'P' || (op == 'C' && ps.PicWholeCode == 1))) {
        PicSetVdd(st, kVdd5V);
        PicProgramConfig(st, ps);
        st.OperationCode = 'C';
        if (runOk(st)) PicVerify(st, ps);
    }
    finishOperation(st);
}

}  // namespace tesmar
