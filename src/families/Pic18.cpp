#include "families/Pic18.h"

#include <algorithm>
#include <vector>

#include "families/FamilyCommon.h"
#include "families/Pic.h"
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
// The calibration area of a PIC18 record has no place in the image.
const char* const kNoCalibration = " Device record has a calibration area PIC18 parts do not have";

constexpr proto::Frame kBulkErase = proto::word("EE23");
constexpr proto::Frame kSecondErase = proto::word("ES23");
constexpr proto::Frame kDeviceIdFrame = proto::frame('E', 'I');

// Erase, program and the plain verify run at 5.0 V.
constexpr std::uint8_t kVdd5V = 125;
constexpr int kVddMaxSettleMs = 100;
constexpr int kVddMinSettleMs = 200;
constexpr std::uint8_t kSecondErasePage = 32;

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

struct MaskRow {
    std::uint8_t page;
    Pic18Mask mask;
};

// Configuration bits that exist, per page, CONFIG1H .. CONFIG7L.
constexpr MaskRow kPic18ConfigMaskTable[] = {
    {25, {0xE7, 0xFF, 0x0F, 0x0F, 0x01, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {26, {0xE7, 0xFF, 0x0F, 0x0F, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {27, {0x27, 0x00, 0x0F, 0x0F, 0x01, 0x00, 0x00, 0x85, 0xC0, 0x0F, 0xE0, 0x0F, 0x40, 0x0F}},
    {28, {0x27, 0x00, 0x0F, 0x0F, 0x00, 0x00, 0x00, 0x85, 0xC0, 0x0F, 0xE0, 0x0F, 0x40, 0x0F}},
    {34, {0xCF, 0x00, 0x1F, 0x0F, 0x83, 0x00, 0x00, 0x85, 0xC0, 0x0F, 0xE0, 0x0F, 0x40, 0x0F}},
    {35, {0xCF, 0x00, 0x1F, 0x0F, 0x80, 0x00, 0x00, 0x85, 0xC0, 0x03, 0xE0, 0x03, 0x40, 0x03}},
    {36, {0xCF, 0x3F, 0x1F, 0x3F, 0x87, 0x00, 0x00, 0xE5, 0xC0, 0x0F, 0xE0, 0x0F, 0x40, 0x0F}},
    {37, {0xCF, 0x00, 0x1F, 0x1F, 0x87, 0x00, 0x00, 0xC5, 0xC0, 0x0F, 0xE0, 0x0F, 0x40, 0x0F}},
    {38, {0xEF, 0x3B, 0x3F, 0x5F, 0xD3, 0x00, 0x00, 0xE5, 0xC0, 0x0F, 0xE0, 0x0F, 0x40, 0x0F}},
    {41, {0xCF, 0x00, 0x1F, 0x1F, 0x86, 0x00, 0x00, 0xD5, 0xC0, 0x0F, 0xE0, 0x0F, 0x40, 0x0F}},
    {42, {0xCF, 0x3F, 0x1F, 0x3F, 0x86, 0x00, 0x00, 0xED, 0x40, 0x03, 0x60, 0x03, 0x40, 0x03}},
    {43, {0xCF, 0x00, 0x1F, 0x1F, 0x86, 0x00, 0x00, 0xF5, 0xC0, 0x3F, 0xE0, 0x3F, 0x40, 0x3F}},
    {44, {0xCF, 0x00, 0x1F, 0x1F, 0x86, 0x00, 0x00, 0xF5, 0xC0, 0x3F, 0xE0, 0x3F, 0x40, 0x3F}},
    {45, {0xCF, 0x00, 0x3F, 0x0F, 0x9D, 0x3C, 0x00, 0x85, 0xC0, 0x0F, 0xE0, 0x0F, 0x40, 0x0F}},
};

std::uint8_t steps(const AppState& st) { return st.settings.ProgramSteps; }
bool hasData(const DeviceRecord& d) { return (d.StepMask & PicStepData) != 0; }
bool eraseAllowed(const DeviceRecord& d) { return (d.Buttons >> BtnErase) & 1u; }

std::uint32_t codeBytes(const DeviceRecord& d) {
    return std::uint32_t(std::min<std::uint64_t>(std::uint64_t(d.LastAddress) + 1, 0xFFFFFFFFu));
}
std::uint32_t dataBytes(const DeviceRecord& d) { return std::uint32_t(d.DataEepromSize) + 1; }

// Bytes the programmer streams after a read frame for the area `start`.
std::uint64_t streamBytes(const DeviceRecord& d, int start) {
    std::uint64_t n = 0;
    if (start <= AreaCode) n += codeBytes(d);
    if (start <= AreaData && hasData(d)) n += dataBytes(d);
    if (start <= AreaId) n += kPic18IdBytes;
    return n + kPic18ConfigBytes;
}

// Every area of the device inside the image, checked before any traffic.
bool ready(AppState& st) {
    if (!st.dev() || !st.usb) return false;
    const DeviceRecord& d = *st.dev();
    if (d.StepMask & PicStepCalibration) {
        failLine(st, kNoCalibration);
        return false;
    }
    return transferFits(st, 0, codeBytes(d), 1) && (!hasData(d) || transferFits(st, kPic18DataPlace, dataBytes(d), 1)) &&
           transferFits(st, kPic18IdPlace, kPic18IdBytes, 1) &&
           transferFits(st, kPic18ConfigPlace, kPic18ConfigBytes, 1);
}

void purgeBoth(AppState& st) {
    if (st.usb) st.usb->purge(PurgeBoth);
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
    // Abort during a Program sends the programmer no "Stop", so a stream
    // left early then is still coming: its rest is read and dropped here so
    // that it is not taken for the next reply. After "ErrV", "ErrB" or "Stop"
    // the programmer ends the stream itself.
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

// Stores `n` streamed bytes from `place` on, 4 per read; `swapped` turns each
// low-byte-first word of the stream into the image's high-byte-first order.
bool storeArea(AppState& st, AreaStream& in, std::size_t place, std::uint32_t n, bool swapped) {
    std::uint8_t piece[4];
    for (std::uint32_t off = 0; off < n;) {
        if (!runOk(st)) return false;
        const std::uint32_t k = std::min<std::uint32_t>(4, n - off);
        if (!in.take(piece, k)) return false;
        std::uint8_t* out = st.buf.DeviceBuffer.data() + place + off;
        for (std::uint32_t i = 0; i < k; ++i) {
            const std::uint32_t j = (swapped && (i ^ 1u) < k) ? (i ^ 1u) : i;
            out[i] = piece[j];
        }
        off += k;
        st.buf.BufferCursor = place + off;
        advanceGauge(st, int(k));
    }
    return true;
}

// Compares `n` streamed bytes, two per read, with the image from `place` on
// (`swapped`: the stream's words are low byte first). A difference: the area
// line, the compare line with BufferCursor on the failing byte, then "ErrV".
bool compareArea(AppState& st, AreaStream& in, std::size_t place, std::uint32_t n, bool swapped, const char* line) {
    std::uint8_t w[2];
    for (std::uint32_t off = 0; off < n;) {
        if (!runOk(st)) return false;
        const std::uint32_t k = std::min<std::uint32_t>(2, n - off);
        if (!in.take(w, k)) return false;
        for (std::uint32_t i = 0; i < k; ++i) {
            const std::uint8_t device = (swapped && k == 2) ? w[1 - i] : w[i];
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

// Tests `n` streamed bytes two at a time: the erased pair is BlankByte at
// `blankAt` (0 or 1) and 0xFF at the other place.
bool blankArea(AppState& st, AreaStream& in, std::uint32_t n, int blankAt, const char* line) {
    const std::uint8_t blank = st.dev()->BlankByte;
    std::uint8_t w[2];
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
        advanceGauge(st, int(k));
    }
    return true;
}

// Two-byte acknowledgements for `n` programmed bytes; "EE" reports a word the
// programmer could not program. Taken to the end even after Abort: the
// programmer answers every word it was sent.
bool readAcks(AppState& st, std::uint32_t n, std::uint32_t areaOffset) {
    std::uint8_t ack[2];
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
            // d1 d2 are the device word, r1 r2 the image word; the name is never a format.
            failLine(st, QString::asprintf(" Programming Error @ 0x%.5X Ram = 0x%.4X ", unsigned(areaOffset + off),
                                           unsigned(f[2] << 8 | f[3])) +
                             deviceName(st) + QString::asprintf(" = 0x%.4X", unsigned(f[0] << 8 | f[1])));
            return false;
        }
        if (st.RunFlag.load() != 0) advanceGauge(st, int(k));
    }
    return true;
}

// The image bytes of an area, each word swapped when `swapped` (low byte first).
std::vector<std::uint8_t> outgoing(const AppState& st, std::size_t place, std::uint32_t n, bool swapped) {
    std::vector<std::uint8_t> b(st.buf.DeviceBuffer.begin() + std::ptrdiff_t(place),
                                st.buf.DeviceBuffer.begin() + std::ptrdiff_t(place + n));
    if (swapped)
        for (std::size_t i = 0; i + 1 < b.size(); i += 2) std::swap(b[i], b[i + 1]);
    return b;
}

// The code area: its frame with the program parameter, a reply of four bytes,
// then blocks of at most kMaxBlock bytes, each acknowledged word by word.
bool programCode(AppState& st) {
    const DeviceRecord& d = *st.dev();
    const std::uint32_t n = codeBytes(d);
    writeFrame(st, proto::frame('E', 'P', 'p', d.ProgramParam));
    startArea(st, n);
    std::uint8_t reply[4];
    int status = UsbOk;
    if (readBytes(st, reply, 4, &status) < 4 || status != UsbOk) {
        failLine(st, kReadError);
        return false;
    }
    setGaugePos(st, 0);
    for (std::uint32_t off = 0; off < n && st.ErrorFlag.get() == 0;) {
        const std::uint32_t chunk = std::min<std::uint32_t>(n - off, kMaxBlock);
        st.TransferCount = chunk;
        const std::vector<std::uint8_t> b = outgoing(st, off, chunk, true);
        writeBytes(st, b.data(), b.size());
        if (!readAcks(st, chunk, off)) return false;
        off += chunk;
    }
    return st.ErrorFlag.get() == 0;
}

// A data or ID area: its frame, "Send", the bytes, one acknowledgement per word.
bool programArea(AppState& st, Pic18State& ps, bool swapped) {
    const std::uint8_t letter = Pic18SelectArea(st, ps);
    const std::size_t place = st.buf.BufferCursor;
    const std::uint32_t n = st.TransferCount;
    writeFrame(st, proto::frame('E', 'P', letter, 0));
    startArea(st, n);
    if (!readWord(st, proto::kReplySend)) {
        failLine(st, kNoSend);
        return false;
    }
    const std::vector<std::uint8_t> b = outgoing(st, place, n, swapped);
    for (std::size_t off = 0; off < b.size(); off += kMaxBlock)
        writeBytes(st, b.data() + off, std::min<std::size_t>(kMaxBlock, b.size() - off));
    setGaugePos(st, 0);
    return readAcks(st, n, 0);
}

void firstSelectedArea(AppState& st, Pic18State& ps, bool withConfig) {
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

void verifyAt(AppState& st, Pic18State& ps, std::uint8_t vdd, int settleMs, const QString& line, bool lineIsCaption) {
    Pic18SetVdd(st, vdd);
    if (settleMs > 0) pauseMs(st, settleMs);
    setGaugePos(st, 0);
    memo(st, line);
    setCaption(st, lineIsCaption ? line : QStringLiteral("Verify"));
    Pic18Verify(st, ps);
}

void verifyStep(AppState& st, Pic18State& ps) {
    const DeviceRecord& d = *st.dev();
    if (!st.settings.VerifyMaxMin) {
        verifyAt(st, ps, kVdd5V, 0, QStringLiteral(" Verifying @ Vdd = 5.0V "), false);
        return;
    }
    if (!runOk(st)) return;
    verifyAt(st, ps, voltageByte(d.VddMax, 25), kVddMaxSettleMs,
             QString::asprintf(" Verifying @ Vdd<max> = %1.1fV ", double(d.VddMax)), true);
    if (!runOk(st)) return;
    firstSelectedArea(st, ps, st.OperationCode.load() == 'V');
    verifyAt(st, ps, voltageByte(d.VddMin, 25), kVddMinSettleMs,
             QString::asprintf(" Verifying @ Vdd<min> = %1.1fV ", double(d.VddMin)), true);
}

}  // namespace

Pic18Mask pic18MaskFor(std::uint8_t pageCode) {
    for (const auto& row : kPic18ConfigMaskTable)
        if (row.page == pageCode) return row.mask;
    Pic18Mask all;
    all.fill(0xFF);
    return all;
}

void Pic18SetVdd(AppState& st, std::uint8_t v) { writeFrame(st, proto::Frame{'C', v, 'S', 'E'}); }

void Pic18SetVpp(AppState& st, std::uint8_t v) { writeFrame(st, proto::Frame{'P', v, 'S', 'E'}); }

std::uint32_t Pic18NextArea(AppState& st, Pic18State& ps, std::uint32_t mask) {
    if ((mask & PicStepEraseFirst) && st.OperationCode.load() == 'P') {
        st.OperationCode = 'E';
        return mask & 0xBF;
    }
    mask &= ~std::uint32_t(PicStepEraseFirst);
    // After the erase pass of a Program every area is programmed, not erased
    // again, whichever area comes first.
    if (mask & (PicStepCode | PicStepData | PicStepId | PicStepCalibration | PicStepConfig))
        if (st.OperationCode.load() == 'E') st.OperationCode = 'P';
    if (mask & PicStepCode) {
        ps.CurrentArea = 'P';
        return mask & 0xBE;
    }
    if (mask & PicStepData) {
        ps.CurrentArea = '1';
        return mask & 0xBC;
    }
    if (mask & PicStepId) {
        ps.CurrentArea = '2';
        return mask & 0xB8;
    }
    if (mask & PicStepCalibration) {
        ps.CurrentArea = '3';
        return mask & 0xB0;
    }
    if (mask & PicStepConfig) {
        if (st.OperationCode.load() == 'P') st.OperationCode = 'C';
        ps.CurrentArea = '4';
        return mask & 0xA0;
    }
    return 0;
}

std::uint8_t Pic18SelectArea(AppState& st, Pic18State& ps) {
    const DeviceRecord& d = *st.dev();
    switch (ps.CurrentArea) {
    case 'P':
        st.buf.BufferCursor = 0;
        st.TransferCount = codeBytes(d);
        return 'p';
    case '1':
        st.buf.BufferCursor = kPic18DataPlace;
        st.TransferCount = dataBytes(d);
        return 'd';
    case '2':
        st.buf.BufferCursor = kPic18IdPlace;
        st.TransferCount = kPic18IdBytes;
        return 'i';
    case '4':
        st.buf.BufferCursor = kPic18ConfigPlace;
        st.TransferCount = kPic18ConfigBytes;
        return 'c';
    default:
        return 0;
    }
}

void Pic18Read(AppState& st, Pic18State& ps) {
    if (!ready(st)) return;
    const DeviceRecord& d = *st.dev();
    st.buf.BufferCursor = 0;
    purgeBoth(st);
    const std::uint8_t letter = Pic18SelectArea(st, ps);
    st.buf.BufferCursor = 0;
    st.TransferCount = codeBytes(d);
    if (letter != 0) {
        const int start = areaIndex(ps.CurrentArea);
        const std::uint8_t s = steps(st);
        writeFrame(st, proto::frame('E', 'R', letter, 0));
        setCaption(st, "Reading ");
        startArea(st, st.TransferCount);
        AreaStream in(st, streamBytes(d, start));
        bool ok = true;
        if (start <= AreaCode) ok = storeArea(st, in, 0, codeBytes(d), true);
        if (ok && start <= AreaData && hasData(d))
            ok = (s & PicStepData) ? storeArea(st, in, kPic18DataPlace, dataBytes(d), false) : in.drop(dataBytes(d), 4);
        if (ok && start <= AreaId)
            ok = (s & PicStepId) ? storeArea(st, in, kPic18IdPlace, kPic18IdBytes, true) : in.drop(kPic18IdBytes, 4);
        if (ok && runOk(st)) {
            if (s & PicStepConfig) {
                std::uint8_t cfg[kPic18ConfigBytes];
                if (in.take(cfg, kPic18ConfigBytes))
                    std::copy(cfg, cfg + kPic18ConfigBytes, st.buf.DeviceBuffer.begin() + kPic18ConfigPlace);
            } else {
                in.drop(kPic18ConfigBytes, 1);
            }
        }
    }
    successLine(st, " Read Completed");
    ps.PendingAreas = 0;
}

void Pic18Verify(AppState& st, Pic18State& ps) {
    if (!ready(st)) return;
    const DeviceRecord& d = *st.dev();
    purgeBoth(st);
    const std::uint8_t letter = Pic18SelectArea(st, ps);
    st.TransferCount = codeBytes(d);
    st.buf.BufferCursor = 0;
    if (letter == 0) return;
    const int start = areaIndex(ps.CurrentArea);
    const std::uint8_t s = steps(st);
    const char op = st.OperationCode.load();
    startArea(st, st.TransferCount);
    writeFrame(st, proto::frame('E', 'R', letter, 0));
    {
        AreaStream in(st, streamBytes(d, start));
        bool ok = true;
        if (start <= AreaCode) ok = compareArea(st, in, 0, codeBytes(d), true, " Code Area ");
        if (ok && start <= AreaData && hasData(d)) {
            startArea(st, dataBytes(d));
            ok = (s & PicStepData) ? compareArea(st, in, kPic18DataPlace, dataBytes(d), false, " Data Area ")
                                   : in.drop(dataBytes(d), 4);
        }
        if (ok && start <= AreaId) {
            startArea(st, kPic18IdBytes);
            ok = (s & PicStepId) ? compareArea(st, in, kPic18IdPlace, kPic18IdBytes, true, " ID Area ")
                                 : in.drop(kPic18IdBytes, 4);
        }
        if (ok && runOk(st)) {
            // After a program pass the configuration is not written yet; it
            // gets its own program and verify at the end.
            if ((s & PicStepConfig) && op != 'P') {
                std::uint8_t dev[kPic18ConfigBytes];
                startArea(st, kPic18ConfigBytes);
                if (in.take(dev, kPic18ConfigBytes)) {
                    for (std::size_t i = 0; i < kPic18ConfigBytes; ++i) {
                        const std::size_t at = kPic18ConfigPlace + i;
                        const std::uint8_t m = ps.Pic18ConfigMask[i];
                        if ((m & st.buf.DeviceBuffer[at]) != (m & dev[i])) {
                            st.buf.BufferCursor = at;
                            memo(st, " Config Area ");
                            reportCompareFault(st, dev[i]);
                            break;
                        }
                        advanceGauge(st, 1);
                    }
                }
            } else {
                in.drop(kPic18ConfigBytes, 1);
            }
        }
    }
    ps.PendingAreas = 0;
}

void Pic18Program(AppState& st, Pic18State& ps) {
    if (!ready(st)) return;
    const DeviceRecord& d = *st.dev();
    const std::uint8_t s = steps(st);
    purgeBoth(st);
    setCaption(st, "Programming ");
    if (ps.CurrentArea == 'P') {
        if (!programCode(st)) return;
        ps.CurrentArea = ((s & PicStepData) && hasData(d)) ? '1' : '2';
    }
    // A new area is not begun after Abort.
    if ((s & PicStepData) && hasData(d) && (ps.CurrentArea == '1') && runOk(st)) {
        if (!programArea(st, ps, false)) return;
        ps.CurrentArea = '2';
    }
    if ((s & PicStepId) && ps.CurrentArea == '2' && runOk(st)) {
        setCaption(st, "Programming ");
        if (!programArea(st, ps, true)) return;
        if (s & PicStepCalibration) ps.CurrentArea = '3';
    }
    successLine(st, " Programmed");
}

void Pic18ProgramConfig(AppState& st, Pic18State& ps) {
    if (!ready(st)) return;
    st.buf.BufferCursor = 0;
    ps.CurrentArea = '4';
    writeFrame(st, proto::frame('E', 'P', 'c', 0));
    setCaption(st, "Programming ");
    startArea(st, kPic18ConfigBytes);
    if (!readWord(st, proto::kReplySend)) {
        failLine(st, kNoSend);
        return;
    }
    std::uint8_t bytes[kPic18ConfigBytes];
    for (std::size_t i = 0; i < kPic18ConfigBytes; ++i)
        bytes[i] = st.buf.DeviceBuffer[kPic18ConfigPlace + i] & ps.Pic18ConfigMask[i];
    writeBytes(st, bytes, kPic18ConfigBytes);
    std::uint8_t acks[kPic18ConfigBytes];
    int status = UsbOk;
    if (readBytes(st, acks, kPic18ConfigBytes, &status) < kPic18ConfigBytes || status != UsbOk) {
        failLine(st, kReadError);
        return;
    }
    if (st.RunFlag.load() != 0) advanceGauge(st, int(kPic18ConfigBytes));
    successLine(st, " CONFIG Programmed");
}

void Pic18Erase(AppState& st, Pic18State& ps) {
    if (!ready(st)) return;
    purgeBoth(st);
    writeFrame(st, kBulkErase);
    if (ps.PendingAreas == 0) {
        setGaugePos(st, 0);
        ps.CurrentArea = 'P';
        Pic18BlankCheck(st, ps);
    }
    if (st.dev()->PageCode == kSecondErasePage) writeFrame(st, kSecondErase);
    successLine(st, " Erase Complete");
}

void Pic18BlankCheck(AppState& st, Pic18State& ps) {
    if (!ready(st)) return;
    const DeviceRecord& d = *st.dev();
    purgeBoth(st);
    const std::uint8_t letter = Pic18SelectArea(st, ps);
    if (letter != 0) {
        const int start = areaIndex(ps.CurrentArea);
        setCaption(st, "Blank");
        writeFrame(st, proto::frame('E', 'R', letter, 0));
        AreaStream in(st, streamBytes(d, start));
        bool ok = true;
        if (start <= AreaCode) {
            startArea(st, codeBytes(d));
            ok = blankArea(st, in, codeBytes(d), 1, " Code Area not Blank");
        }
        // Every area is tested, whichever were chosen.
        if (ok && start <= AreaData && hasData(d)) {
            startArea(st, dataBytes(d));
            ok = blankArea(st, in, dataBytes(d), 0, " Data Area not Blank");
        }
        if (ok && start <= AreaId) {
            startArea(st, kPic18IdBytes);
            ok = blankArea(st, in, kPic18IdBytes, 1, " ID Area not Blank");
        }
        if (ok && runOk(st)) {
            // An erased part holds its default configuration, not 0xFF.
            std::uint8_t dev[kPic18ConfigBytes];
            startArea(st, kPic18ConfigBytes);
            if (in.take(dev, kPic18ConfigBytes)) {
                for (std::size_t i = 0; i < kPic18ConfigBytes; ++i) {
                    if (dev[i] != d.ConfigMasks[i]) {
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

void Pic18CheckDeviceId(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) return;
    st.buf.BufferCursor = 0;
    for (;;) {
        if (st.RunFlag.load() == 0) return;
        st.TransferCount = codeBytes(*d);
        writeFrame(st, kDeviceIdFrame);
        // Everything the programmer answers is taken, so nothing of it is
        // left for the next reply.
        const std::vector<std::uint8_t> id = readChipIdReply(st, 2);
        if (id.size() < 2) {
            failLine(st, kReadError);
            return;
        }
        // The low bits of the first byte are the silicon revision.
        const std::uint8_t id1 = id[0] & 0xE0;
        if (d->DeviceId == id[1] && d->DeviceId2 == id1) return;
        const Answer a = st.host ? st.host->askAbortRetryIgnore("Device ID mismatch", "Device ID mismatch")
                                 : Answer::Abort;
        if (a == Answer::Retry) continue;
        if (a == Answer::Abort) failLine(st, " Device ID mismatch!");
        return;
    }
}

void Pic18DoOperation(AppState& st) {
    st.ErrorFlag = 0;
    if (!ready(st)) {
        if (st.ErrorFlag.get() == 0) st.ErrorFlag.increment();
        finishOperation(st);
        return;
    }
    const DeviceRecord& d = *st.dev();
    Pic18State ps;
    Pic18SetVdd(st, voltageByte(d.Vdd, 25));
    Pic18SetVpp(st, voltageByte(d.Vpp, 10));
    st.ErrorFlag = 0;
    if (st.settings.ProgramSteps == 0) st.settings.ProgramSteps = PicStepCode;
    ps.PendingAreas = st.OperationCode.load() == 'E' ? 0 : st.settings.ProgramSteps;
    ps.Pic18ConfigMask = pic18MaskFor(d.PageCode);

    if (d.DeviceId != 0) Pic18CheckDeviceId(st);
    const bool idFailed = st.ErrorFlag.get() != 0;
    if (!idFailed) {
        const int codeMax = int(std::min<std::uint32_t>(d.LastAddress, 0x7FFFFFFF));
        do {
            ps.PendingAreas = Pic18NextArea(st, ps, ps.PendingAreas);
            st.ErrorFlag = 0;
            startArea(st, std::uint32_t(codeMax));
            switch (st.OperationCode.load()) {
            case 'B':
                Pic18BlankCheck(st, ps);
                break;
            case 'E':
                Pic18SetVdd(st, kVdd5V);
                setCaption(st, "Erase");
                if (eraseAllowed(d)) Pic18Erase(st, ps);
                break;
            case 'P':
                Pic18SetVdd(st, kVdd5V);
                setCaption(st, "Program");
                setGaugePos(st, 0);
                Pic18Program(st, ps);
                if (runOk(st)) {
                    firstSelectedArea(st, ps, false);
                    verifyStep(st, ps);
                }
                break;
            case 'R':
                Pic18Read(st, ps);
                break;
            case 'V':
                verifyStep(st, ps);
                break;
            default:
                break;
            }
            setGaugePos(st, 0);
            UpdateChecksum(st);
        } while (ps.PendingAreas != 0 && runOk(st));
    }

    // The configuration goes in last, once everything else is in; not after
    // a failure or Abort.
    const char op = st.OperationCode.load();
    if (!idFailed && (st.settings.ProgramSteps & PicStepConfig) && runOk(st) && (op == 'P' || op == 'C')) {
        Pic18SetVdd(st, kVdd5V);
        Pic18ProgramConfig(st, ps);
        st.OperationCode = 'C';
        if (runOk(st)) Pic18Verify(st, ps);
    }
    finishOperation(st);
}

}  // namespace tesmar
