#include "families/Pic.h"

#include <algorithm>
#include <vector>

#include "devices/BufferLayout.h"
#include "families/FamilyCommon.h"
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

const char* const kBadConfigCount = " Device record has too many configuration bytes";

constexpr std::uint8_t kSupplyFrameTail[2] = {'S', 'E'};
constexpr proto::Frame kBulkErase = proto::word("EE23");
constexpr proto::Frame kExtraErase = proto::word("ES23");

constexpr int kDeviceIdSettleMs = 50;

// The page of the parts with a factory calibration word at the top of the code
// area and a configuration high byte whose only user bit is bit 0.
constexpr std::uint8_t kCalibratedPage = 32;
// Parts whose data EEPROM has no frame letter.
constexpr std::uint8_t kNoDataLetterPage = 40;
// Parts whose device ID carries no revision bits in its second byte.
constexpr std::uint8_t kNoRevisionPage = 49;

bool topWordIsCalibration(const DeviceRecord& d) {
    return d.PageCode == kCalibratedPage || d.Algorithm == 11 || d.Algorithm == 6;
}

std::uint8_t steps(const AppState& st) { return st.settings.ProgramSteps; }

// Code bytes a step works on: the whole area, less the top word where it
// holds the factory calibration (and, for algorithm 5, in a blank check).
// What is left out is still in the programmer's stream.
std::uint32_t codeWorkBytes(const AppState& st, const PicState& ps) {
    const DeviceRecord& d = *st.dev();
    std::uint32_t n = picAreas(d).codeBytes;
    std::uint32_t less = 0;
    if (st.OperationCode.load() == 'B' && d.Algorithm == 5) less += 2;
    if (ps.PicWholeCode == 0 && topWordIsCalibration(d)) less += 2;
    return n > less ? n - less : 0;
}

// Bytes the programmer streams after a read frame for the area `start`.
std::uint64_t streamBytes(const PicAreas& l, int start) {
    std::uint64_t n = 0;
    if (start <= AreaCode) n += l.codeBytes;
    if (start <= AreaData && l.data.present) n += l.data.len;
    if (start <= AreaId) n += l.id.len + l.idPairBytes;
    if (l.hasCalibration) n += 2;
    return n + l.config.len;
}

// Every area of the device inside the image, checked before any traffic.
bool layoutFits(AppState& st, const PicAreas& l) {
    const DeviceRecord& d = *st.dev();
    if (d.ConfigMaskCount > d.ConfigMasks.size()) {
        failLine(st, kBadConfigCount);
        return false;
    }
    return transferFits(st, 0, l.codeBytes, 1) && (!l.data.present || transferFits(st, l.data.buf, l.data.len, 1)) &&
           transferFits(st, l.id.buf, l.id.len + l.idPairBytes, 1) &&
           transferFits(st, l.calibrationPlace, 2, 1) && transferFits(st, l.config.buf, l.config.len, 1);
}

bool ready(AppState& st, PicAreas& l) {
    if (!st.dev() || !st.usb) return false;
    l = picAreas(*st.dev());
    return layoutFits(st, l);
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

bool compareConfig(AppState& st, AreaStream& in, const PicAreas& l) {
    const DeviceRecord& d = *st.dev();
    std::vector<std::uint8_t> dev(l.config.len);
    startArea(st, l.config.len);
    if (!in.take(dev.data(), l.config.len)) return false;
    for (std::size_t i = 0; i < dev.size(); ++i) {
        const std::size_t at = l.config.buf + i;
        if (configByteDiffers(d, i, st.buf.DeviceBuffer[at], dev[i])) {
            configMismatch(st, at, dev[i]);
            return false;
        }
        advanceGauge(st, 1);
    }
    return true;
}

void verifyStep(AppState& st, PicState& ps) {
    const DeviceRecord& d = *st.dev();
    ps.PicWholeCode = 0;
    verifyPasses(st, ps.CurrentArea, QString::asprintf(" Verifying @ Vdd = %1.1fV ", double(d.Vdd)), 0, 0,
                 [&] { PicVerify(st, ps); });
}

// One area of a program run: "EP" with the area letter, "Send", the area's
// bytes in one write, then a two-byte acknowledgement per word. The data
// EEPROM of page code 40 parts is programmed with byte 0 in the letter's place.
bool programArea(AppState& st, PicState& ps) {
    const DeviceRecord& d = *st.dev();
    const std::uint8_t letter = PicSelectArea(st, ps);
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
        const std::uint32_t whole = picAreas(d).codeBytes;
        for (std::uint32_t i = n; i < whole; ++i) data.push_back(n >= 2 ? data[i % 2] : d.BlankByte);
    }
    writeBytes(st, data.data(), data.size());
    setGaugePos(st, 0);
    // Only the words the programmer programs are acknowledged, not the filler words.
    return readAcks(st, n, 0);
}

}  // namespace

void PicSetVdd(AppState& st, std::uint8_t v) {
    writeFrame(st, proto::Frame{'C', v, kSupplyFrameTail[0], kSupplyFrameTail[1]});
}

void PicSetVpp(AppState& st, std::uint8_t v) {
    writeFrame(st, proto::Frame{'P', v, kSupplyFrameTail[0], kSupplyFrameTail[1]});
}

std::uint32_t PicNextArea(AppState& st, PicState& ps, std::uint32_t mask) {
    return nextArea(st, ps.CurrentArea, mask);
}

std::uint8_t PicSelectArea(AppState& st, PicState& ps) {
    const DeviceRecord& d = *st.dev();
    const PicAreas l = picAreas(d);
    switch (ps.CurrentArea) {
    case '1':
        st.buf.BufferCursor = l.data.buf;
        st.TransferCount = l.data.len;
        return d.PageCode == kNoDataLetterPage ? 0 : 'd';
    case '2':
        st.buf.BufferCursor = l.id.buf;
        st.TransferCount = l.id.len;
        return 'i';
    case '3':
        st.TransferCount = 2;
        return 'k';
    case '4':
        st.buf.BufferCursor = l.config.buf;
        st.TransferCount = l.config.len;
        return 'c';
    default:
        st.buf.BufferCursor = 0;
        st.TransferCount = codeWorkBytes(st, ps);
        return 'p';
    }
}

void PicRead(AppState& st, PicState& ps) {
    PicAreas l;
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
        AreaStream in(st, streamBytes(l, start), ps.ProgramRun);
        bool ok = true;
        if (start <= AreaCode) ok = storeArea(st, in, 0, l.codeBytes, 4, Words::Same);
        if (ok && start <= AreaData && l.data.present)
            ok = (s & PicStepData) ? storeArea(st, in, l.data.buf, l.data.len, 4, Words::Same) : in.drop(l.data.len, 4);
        if (ok && start <= AreaId) {
            const std::uint32_t n = l.id.len + l.idPairBytes;
            ok = (s & PicStepId) ? storeArea(st, in, l.id.buf, n, n, Words::Same) : in.drop(n, 4);
        }
        if (ok && l.hasCalibration)
            ok = (s & PicStepCalibration) ? storeArea(st, in, l.calibrationPlace, 2, 2, Words::Same) : in.drop(2, 1);
        if (ok && runOk(st)) {
            if (s & PicStepConfig) {
                std::vector<std::uint8_t> dev(l.config.len);
                if (in.take(dev.data(), l.config.len)) {
                    const DeviceRecord& d = *st.dev();
                    for (std::size_t i = 0; i < dev.size(); ++i)
                        st.buf.DeviceBuffer[l.config.buf + i] = dev[i] & d.ConfigMasks[i];
                }
            } else {
                in.drop(l.config.len, 1);
            }
        }
    }
    successLine(st, " Read Completed");
    ps.PendingAreas = 0;
}

void PicVerify(AppState& st, PicState& ps) {
    PicAreas l;
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
        AreaStream in(st, streamBytes(l, start), ps.ProgramRun);
        bool ok = true;
        if (start <= AreaCode) {
            ok = compareArea(st, in, 0, code, Words::Same, " Code Area ") && in.drop(l.codeBytes - code, 2);
        }
        if (ok && start <= AreaData && l.data.present) {
            startArea(st, l.data.len);
            ok = (s & PicStepData) ? compareArea(st, in, l.data.buf, l.data.len, Words::LowOnly, " Data Area ")
                                   : in.drop(l.data.len, 4);
        }
        if (ok && start <= AreaId) {
            if (s & PicStepId) {
                startArea(st, l.id.len);
                ok = compareArea(st, in, l.id.buf, l.id.len, Words::Same, " ID Area ") && in.drop(l.idPairBytes, 2);
            } else {
                ok = in.drop(l.id.len + l.idPairBytes, 4);
            }
        }
        if (ok && l.hasCalibration) ok = in.drop(2, 2);
        if (ok && runOk(st)) {
            // After a program pass the configuration is not written yet; it
            // gets its own program and verify at the end.
            if ((s & PicStepConfig) && op != 'P')
                compareConfig(st, in, l);
            else
                in.drop(l.config.len, 1);
        }
    }
    ps.PendingAreas = 0;
}

void PicProgram(AppState& st, PicState& ps) {
    PicAreas l;
    if (!ready(st, l)) return;
    const DeviceRecord& d = *st.dev();
    const std::uint8_t s = steps(st);
    setCaption(st, "Programming ");
    if (ps.CurrentArea == 'P') {
        if (!programArea(st, ps)) return;
        ps.CurrentArea = ((s & PicStepData) && (d.StepMask & PicStepData)) ? '1' : '2';
    }
    // A new area is not begun after Abort.
    if ((s & PicStepData) && l.data.present && runOk(st)) {
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
    PicAreas l;
    if (!ready(st, l)) return;
    const DeviceRecord& d = *st.dev();
    st.buf.BufferCursor = 0;
    ps.CurrentArea = '4';
    writeFrame(st, proto::frame('E', 'P', 'c', 0));
    setCaption(st, "Programming ");
    startArea(st, l.config.len);
    if (!readWord(st, proto::kReplySend)) {
        failLine(st, kNoSend);
        return;
    }
    std::vector<std::uint8_t> bytes(l.config.len);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = st.buf.DeviceBuffer[l.config.buf + i] & d.ConfigMasks[i];
    // The factory bits of the calibrated parts' high byte are sent set.
    if (d.PageCode == kCalibratedPage && !bytes.empty()) bytes[0] = st.buf.DeviceBuffer[l.config.buf] | 0x30;
    writeBytes(st, bytes.data(), bytes.size());
    setGaugePos(st, 0);
    if (!readConfigAcks(st, l.config.len)) return;
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
    PicAreas l;
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
        AreaStream in(st, streamBytes(l, start), ps.ProgramRun);
        bool ok = true;
        if (start <= AreaCode)
            ok = blankArea(st, in, code, 0, " Code Area not Blank") && in.drop(l.codeBytes - code, 2);
        // The data EEPROM is tested whether it was chosen or not.
        if (ok && start <= AreaData && l.data.present) {
            startArea(st, l.data.len);
            ok = blankArea(st, in, l.data.len, 0, " Data Area not Blank");
        }
        if (ok && start <= AreaId) {
            startArea(st, l.id.len);
            ok = blankArea(st, in, l.id.len, 0, " ID Area not Blank") && in.drop(l.idPairBytes, 2);
        }
        if (ok && runOk(st) && (!l.hasCalibration || in.drop(2, 2))) {
            std::vector<std::uint8_t> dev(l.config.len);
            startArea(st, l.config.len);
            if (in.take(dev.data(), l.config.len)) {
                for (std::size_t i = 0; i < dev.size(); ++i) {
                    const std::size_t at = l.config.buf + i;
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
    checkDeviceId(st, nullptr, [&](const std::vector<std::uint8_t>& id) {
        const std::uint8_t first = id[0] & 0x3F;
        const std::uint8_t second = d->PageCode == kNoRevisionPage ? id[1] : std::uint8_t(id[1] & 0xE0);
        return first == d->DeviceId && second == d->DeviceId2;
    });
}

void PicDoOperation(AppState& st) {
    PicState ps;
    ps.ProgramRun = st.OperationCode.load() == 'P';
    OperationSteps f;
    f.ready = [&] {
        PicAreas l;
        return ready(st, l);
    };
    f.beforeAll = [] { return true; };
    // The device ID is asked again for every area.
    f.beforePass = [&] {
        ps.PicWholeCode = 1;
        if (st.dev()->DeviceId != 0) PicCheckDeviceId(st);
        return st.ErrorFlag.get() == 0;
    };
    f.nextArea = [&](std::uint32_t mask) { return PicNextArea(st, ps, mask); };
    f.blankCheck = [&] {
        ps.PicWholeCode = 0;
        PicBlankCheck(st, ps);
    };
    f.erase = [&] { PicErase(st, ps); };
    f.program = [&] {
        ps.PicWholeCode = 0;
        PicProgram(st, ps);
    };
    f.verify = [&] { verifyStep(st, ps); };
    f.read = [&] { PicRead(st, ps); };
    f.configDue = [&](char op) { return op == 'P' || (op == 'C' && ps.PicWholeCode == 1); };
    f.programConfig = [&] { PicProgramConfig(st, ps); };
    f.verifyConfig = [&] { PicVerify(st, ps); };
    if (st.dev()) f.eraseVdd = voltageByte(st.dev()->Vdd, 25);
    runOperation(st, ps.PendingAreas, ps.CurrentArea, f);
}

}  // namespace tesmar
