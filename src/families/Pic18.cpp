#include "families/Pic18.h"

#include <algorithm>
#include <vector>

#include "families/FamilyCommon.h"
#include "families/Pic.h"
#include "families/PicCommon.h"
#include "link/Link.h"
#include "link/Protocol.h"
#include "link/Replies.h"
#include "link/UsbPort.h"
#include "operations/Host.h"
#include "operations/Report.h"

namespace tesmar {
namespace {

using namespace pic;

// The calibration area of a PIC18 record has no place in the image.
const char* const kNoCalibration = " Device record has a calibration area PIC18 parts do not have";

constexpr proto::Frame kBulkErase = proto::word("EE23");
constexpr proto::Frame kSecondErase = proto::word("ES23");

// Erase, program and the plain verify run at 5.0 V.
constexpr std::uint8_t kVdd5V = 125;
constexpr int kVddMaxSettleMs = 100;
constexpr int kVddMinSettleMs = 200;
constexpr std::uint8_t kSecondErasePage = 32;

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
    {43, {0xCF, 0x00, 0x1F, 0x1F, 0x86, 0x00, 0x00, 0xF5, 0xC0, 0x0F, 0xE0, 0x0F, 0x40, 0x0F}},
    {44, {0xCF, 0x00, 0x1F, 0x1F, 0x86, 0x00, 0x00, 0xF5, 0xC0, 0x3F, 0xE0, 0x3F, 0x40, 0x3F}},
    {45, {0xCF, 0x00, 0x3F, 0x0F, 0x9D, 0x3C, 0x00, 0x85, 0xC0, 0x0F, 0xE0, 0x0F, 0x40, 0x0F}},
};

std::uint8_t steps(const AppState& st) { return st.settings.ProgramSteps; }
bool hasData(const DeviceRecord& d) { return picAreas(d).data.present; }
std::uint32_t codeBytes(const DeviceRecord& d) { return picAreas(d).codeBytes; }
std::uint32_t dataBytes(const DeviceRecord& d) { return picAreas(d).data.len; }

// Bytes the programmer streams after a read frame for the area `start`.
std::uint64_t streamBytes(const DeviceRecord& d, int start) {
    std::uint64_t n = 0;
    if (start <= AreaCode) n += codeBytes(d);
    if (start <= AreaData && hasData(d)) n += dataBytes(d);
    if (start <= AreaId) n += kPicIdBytes;
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
           transferFits(st, kPic18IdPlace, kPicIdBytes, 1) &&
           transferFits(st, kPic18ConfigPlace, kPic18ConfigBytes, 1);
}

void purgeBoth(AppState& st) {
    if (st.usb) st.usb->purge(PurgeBoth);
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

void verifyStep(AppState& st, Pic18State& ps) {
    verifyPasses(st, ps.CurrentArea, QStringLiteral(" Verifying @ Vdd = 5.0V "), kVddMaxSettleMs, kVddMinSettleMs,
                 [&] { Pic18Verify(st, ps); });
}

}  // namespace

Pic18Mask pic18MaskFor(std::uint8_t pageCode) {
    for (const auto& row : kPic18ConfigMaskTable)
        if (row.page == pageCode) return row.mask;
    Pic18Mask all;
    all.fill(0xFF);
    return all;
}

void Pic18SetVdd(AppState& st, std::uint8_t v) { PicSetVdd(st, v); }

void Pic18SetVpp(AppState& st, std::uint8_t v) { PicSetVpp(st, v); }

std::uint32_t Pic18NextArea(AppState& st, Pic18State& ps, std::uint32_t mask) {
    // Only the step bits travel on past an erase-first pass.
    return nextArea(st, ps.CurrentArea, mask & 0xFF);
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
        st.TransferCount = kPicIdBytes;
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
        AreaStream in(st, streamBytes(d, start), ps.ProgramRun);
        bool ok = true;
        if (start <= AreaCode) ok = storeArea(st, in, 0, codeBytes(d), 4, Words::Swapped);
        if (ok && start <= AreaData && hasData(d))
            ok = (s & PicStepData) ? storeArea(st, in, kPic18DataPlace, dataBytes(d), 4, Words::Same) : in.drop(dataBytes(d), 4);
        if (ok && start <= AreaId)
            ok = (s & PicStepId) ? storeArea(st, in, kPic18IdPlace, kPicIdBytes, 4, Words::Swapped) : in.drop(kPicIdBytes, 4);
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
        AreaStream in(st, streamBytes(d, start), ps.ProgramRun);
        bool ok = true;
        if (start <= AreaCode) ok = compareArea(st, in, 0, codeBytes(d), Words::Swapped, " Code Area ");
        if (ok && start <= AreaData && hasData(d)) {
            startArea(st, dataBytes(d));
            ok = (s & PicStepData) ? compareArea(st, in, kPic18DataPlace, dataBytes(d), Words::Same, " Data Area ")
                                   : in.drop(dataBytes(d), 4);
        }
        if (ok && start <= AreaId) {
            startArea(st, kPicIdBytes);
            ok = (s & PicStepId) ? compareArea(st, in, kPic18IdPlace, kPicIdBytes, Words::Swapped, " ID Area ")
                                 : in.drop(kPicIdBytes, 4);
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
    if (!readConfigAcks(st, kPic18ConfigBytes)) return;
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
        AreaStream in(st, streamBytes(d, start), ps.ProgramRun);
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
            startArea(st, kPicIdBytes);
            ok = blankArea(st, in, kPicIdBytes, 1, " ID Area not Blank");
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
    checkDeviceId(st, [&] { st.TransferCount = codeBytes(*d); }, [&](const std::vector<std::uint8_t>& id) {
        // The low bits of the first byte are the silicon revision.
        const std::uint8_t id1 = id[0] & 0xE0;
        return d->DeviceId == id[1] && d->DeviceId2 == id1;
    });
}

void Pic18DoOperation(AppState& st) {
    Pic18State ps;
    ps.ProgramRun = st.OperationCode.load() == 'P';
    OperationSteps f;
    f.ready = [&] {
        if (!ready(st)) return false;
        ps.Pic18ConfigMask = pic18MaskFor(st.dev()->PageCode);
        return true;
    };
    // The device ID is asked once, before the first area.
    f.beforeAll = [&] {
        if (st.dev()->DeviceId != 0) Pic18CheckDeviceId(st);
        return st.ErrorFlag.get() == 0;
    };
    f.beforePass = [] { return true; };
    f.nextArea = [&](std::uint32_t mask) { return Pic18NextArea(st, ps, mask); };
    f.blankCheck = [&] { Pic18BlankCheck(st, ps); };
    f.erase = [&] { Pic18Erase(st, ps); };
    f.program = [&] { Pic18Program(st, ps); };
    f.verify = [&] { verifyStep(st, ps); };
    f.read = [&] { Pic18Read(st, ps); };
    f.configDue = [](char op) { return op == 'P' || op == 'C'; };
    f.programConfig = [&] { Pic18ProgramConfig(st, ps); };
    f.verifyConfig = [&] { Pic18Verify(st, ps); };
    f.eraseVdd = kVdd5V;
    runOperation(st, ps.PendingAreas, ps.CurrentArea, f);
}

}  // namespace tesmar
