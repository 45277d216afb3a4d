// The microcontroller family's check, its operation passes, programming and erase.
#include "families/Mcu.h"

#include <algorithm>
#include <array>
#include <vector>

#include "families/FamilyCommon.h"
#include "families/McuParts.h"
#include "link/Protocol.h"
#include "link/Replies.h"
#include "link/UsbPort.h"
#include "operations/Checksum.h"
#include "operations/Report.h"

namespace tesmar {
namespace {

using namespace mcu;

const char* const kNoSend = " Programmer did not ask for data";
const char* const kCalibrationOutside = " Calibration address outside the device";
const char* const kCalibrationUnchosen = " Calibration byte not chosen";
const char* const kCalibrationUnread = " Calibration bytes not read from this chip";

// Time-outs of every operation (read ms, write ms).
constexpr std::uint32_t kTimeoutMs = 500;
// The programmer settles before a lock step.
constexpr int kLockStepSettleMs = 100;
constexpr std::size_t kChipIdBytes = 4;

bool needsChipCode(const DeviceRecord& d) {
    return d.PageCode > 199 && d.Algorithm != 34 && d.Algorithm != 26 && d.Algorithm != 35;
}

// Parts that set their fuses, locks or security bits after the code instead
// of running lock steps.
bool endsWithConfiguration(const DeviceRecord& d) {
    return d.Algorithm == 30 || d.Algorithm == 32 || d.Algorithm == 26;
}

std::uint8_t codeFrameByte(const DeviceRecord& d, const McuConfig& m) {
    if (d.Algorithm == 35) return m.FuseLow;
    if (d.Algorithm == 32) return d.ProgramParam;
    return s2(d);
}

// Every area the operation moves lies inside the image; checked before
// anything is sent.
bool imageHolds(AppState& st) {
    const DeviceRecord& d = *st.dev();
    return transferFits(st, 0, codeStreamBytes(d), 1) && transferFits(st, dataPlace(d), dataBytes(d), 1);
}

bool storesCalibration(const AppState& st) {
    return st.mcu.ProgramCalibration != 0 && McuStoresCalibration(*st.dev());
}

// The calibration byte goes where the user put it: into a byte of the part's
// code or data EEPROM, never past them or past the image; and it is one of
// the four the chip holds.
bool calibrationFits(AppState& st) {
    if (!storesCalibration(st)) return true;
    const McuConfig& m = st.mcu;
    // Bytes of another chip, or none at all, would overwrite the user's image.
    if (!m.CalibrationRead) {
        failLine(st, kCalibrationUnread);
        return false;
    }
    if (m.CalibrationIndex < 1 || m.CalibrationIndex > m.CalibrationBytes.size()) {
        failLine(st, kCalibrationUnchosen);
        return false;
    }
    const DeviceRecord& d = *st.dev();
    const std::uint64_t deviceEnd = std::uint64_t(d.LastAddress) + 1 + d.DataEepromSize;
    if (m.CalibrationAddress >= deviceEnd || m.CalibrationAddress >= st.buf.size()) {
        failLine(st, kCalibrationOutside);
        return false;
    }
    return true;
}

void verifyStep(AppState& st) {
    setGaugePos(st, 0);
    memo(st, " Verifying @ Vdd = 5.0V ");
    setCaption(st, "Verify");
    McuVerify(st);
}

// Lock step 1, 2 or 3: one frame, one answer. User-row parts write their fuse
// byte in lock step 1 instead, and only when it is the user's.
void programLockStep(AppState& st, char area) {
    const DeviceRecord& d = *st.dev();
    const bool fuseStep = hasUserRow(d) && area == '1';
    if (fuseStep && !configKnown(st)) return;
    st.usb->purge(PurgeRx);
    pauseMs(st, kLockStepSettleMs);
    writeFrame(st, proto::mcuLockStep(area, fuseStep ? st.mcu.FuseLow : s2(d)));
    std::uint8_t answer = 0;
    if (!takeReply(st, &answer, 1)) return;
    switch (area) {
    case '1':
        if (d.Algorithm == 29 || d.Algorithm == 33)
            successLine(st, " Protect Mode Enabled");
        else
            successLine(st, fuseStep ? " Fuses programmed" : " Lockbit 1 Programmed");
        break;
    case '2': successLine(st, " Lockbit 2 Programmed"); break;
    default: successLine(st, " Lockbit 3 Programmed"); break;
    }
}

// The code area (and a user row): "Send", then the bytes in blocks, each
// acknowledged four bytes at a time.
void programCode(AppState& st) {
    const DeviceRecord& d = *st.dev();
    const std::uint64_t n = codeStreamBytes(d);
    startTransfer(st, 0, n);
    writeFrame(st, proto::mcuProgramCode(codeFrameByte(d, st.mcu)));
    if (!readReplyWord(st, proto::kReplySend)) {
        failLine(st, kNoSend);
        return;
    }
    // A code area of more than one block gets the driver's status call before each block.
    sendBlocks(st, std::uint32_t(n), 1, n > kMaxBlock,
               [&](std::uint32_t blockLen) { return takeAcknowledgements(st, blockLen); });
}

// The data EEPROM behind the code. Parts that size it send the size and take
// a four-byte answer before the data.
void programData(AppState& st) {
    const DeviceRecord& d = *st.dev();
    if (!hasDataEeprom(d)) return;
    const std::uint32_t n = dataBytes(d);
    startTransfer(st, dataPlace(d), n);
    if (d.Algorithm == 28) {
        writeFrame(st, proto::mcuProgramData(s2(d)));
    } else {
        writeFrame(st, proto::mcuProgramData(d.Algorithm == 32 ? 4 : s2(d)));
        const std::uint8_t size[2] = {std::uint8_t(n >> 8), std::uint8_t(n)};
        writeBytes(st, size, sizeof size);
        std::uint8_t answer[4];
        if (!takeReply(st, answer, sizeof answer)) return;
    }
    sendBlocks(st, n, 1, false, [&](std::uint32_t blockLen) { return takeAcknowledgements(st, blockLen); });
}

}  // namespace

bool McuStoresCalibration(const DeviceRecord& d) {
    // Parts with either of these signature bytes (1, 2) take no calibration byte.
    constexpr std::uint8_t kNoCalibrationId = 0x94, kNoCalibrationId2 = 0x03;
    return d.Algorithm == 32 && d.DeviceId != kNoCalibrationId && d.DeviceId2 != kNoCalibrationId2;
}

bool McuCheckChipId(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) return false;
    if (needsChipCode(*d)) writeFrame(st, proto::mcuChipCodeSelect(d->PageCode));
    if (st.settings.IdCheckOption == 0) return true;
    return runChipIdCheck(st, [&] {
        ChipIdAttempt a;
        writeFrame(st, proto::kMcuChipId);
        const std::vector<std::uint8_t> reply = readChipIdReply(st, kChipIdBytes);
        if (reply.empty()) {
            a.replied = false;
            return a;
        }
        std::array<std::uint8_t, kChipIdBytes> id{};
        std::copy(reply.begin(), reply.end(), id.begin());
        a.text = QString::asprintf("ID: 30=0x%X 31=0x%X 32=0x%X ", unsigned(id[0]), unsigned(id[1]), unsigned(id[2]));
        a.matches = id[0] == d->MakerId && id[1] == d->DeviceId && (d->DeviceId2 == 0 || id[2] == d->DeviceId2);
        return a;
    });
}

void McuDoOperation(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) {
        finishOperation(st);
        return;
    }
    st.ErrorFlag = 0;
    std::uint8_t& steps = st.settings.ProgramSteps;
    if (steps == 0) steps = kMcuStepCode;
    std::uint8_t mask = st.OperationCode.load() == 'E' ? 0 : steps;
    // A part that cannot be erased is programmed without the erase pass.
    if (!eraseAllowed(*d)) mask &= std::uint8_t(~kMcuStepEraseFirst);
    st.usb->setTimeouts(kTimeoutMs, kTimeoutMs);
    if (!imageHolds(st) || (st.OperationCode.load() == 'P' && !calibrationFits(st))) {
        finishOperation(st);
        return;
    }
    do {
        mask = McuNextStep(st, mask);
        st.ErrorFlag = 0;
        setGaugeMax(st, int(d->LastAddress));
        setGaugePos(st, 0);
        // No step starts after Abort (an erase the user stopped, a stream
        // whose "Stop" went out before its frame).
        if (st.RunFlag.load() == 0) break;
        switch (st.OperationCode.load()) {
        case 'B':
            McuBlankCheck(st);
            break;
        case 'E':
            setCaption(st, "Erase");
            if (eraseAllowed(*d)) {
                McuErase(st);
                st.OperationCode = 'P';
            }
            break;
        case 'P':
            setCaption(st, "Program");
            setGaugePos(st, 0);
            McuProgram(st);
            // Only the code pass is read back: after a lock step the chip may
            // no longer show its code.
            if (runOk(st) && st.mcu.CurrentArea == 'P') {
                if (endsWithConfiguration(*d)) st.OperationCode = 'C';
                verifyStep(st);
            }
            break;
        case 'V':
            verifyStep(st);
            break;
        case 'R':
            McuRead(st);
            break;
        case kMcuReadFusesOp:
            st.mcu.FusesRead = 0;
            McuReadFuses(st);
            break;
        default:
            break;
        }
        setGaugePos(st, 0);
        UpdateChecksum(st);
    } while (mask != 0 && runOk(st));
    if (st.OperationCode.load() == 'C' && runOk(st)) {
        if (d->Algorithm == 30 || d->Algorithm == 32) McuProgramFuses(st);
        if (d->Algorithm == 26) McuProgramSecurity(st);
    }
    // The longest stream an operation reads: the code (and user row with
    // its fuse byte), or the data EEPROM. A pass that failed after the Abort
    // ended on a line that stayed quiet through the Abort's grace (or on
    // "ErrV"/"ErrB"): nothing is left coming, and waiting again would only
    // keep the user waiting.
    if (st.RunFlag.load() == 0 && st.ErrorFlag.get() == 0)
        dropStreamLeft(st, std::max<std::uint64_t>(codeStreamBytes(*d) + 1, dataBytes(*d)));
    finishOperation(st);
}

std::uint8_t McuNextStep(AppState& st, std::uint8_t mask) {
    const char op = st.OperationCode.load();
    char& area = st.mcu.CurrentArea;
    // A fuse read has one pass and no area.
    if (op == kMcuReadFusesOp) return 0;
    // Read, Verify and Blank work on the code area whatever steps are chosen.
    if (op == 'R' || op == 'V' || op == 'B') {
        area = 'P';
        return 0;
    }
    if ((mask & kMcuStepEraseFirst) && op == 'P') {
        st.OperationCode = 'E';
        return mask & std::uint8_t(~kMcuStepEraseFirst);
    }
    if (mask & kMcuStepCode) {
        area = 'P';
        return op == 'P' ? mask & std::uint8_t(~(kMcuStepCode | kMcuStepEraseFirst)) : 0;
    }
    const std::uint8_t lockSteps[] = {kMcuStepLock1, kMcuStepLock2, kMcuStepLock3};
    std::uint8_t done = kMcuStepCode | kMcuStepEraseFirst;
    for (int i = 0; i < 3; ++i) {
        done |= lockSteps[i];
        if ((mask & lockSteps[i]) && op == 'P') {
            area = char('1' + i);
            return i == 2 ? 0 : mask & std::uint8_t(~done);
        }
    }
    // A Program pass with no area chosen programs nothing.
    if (op == 'P') area = 0;
    return 0;
}

void McuProgram(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) return;
    if (storesCalibration(st)) {
        if (!calibrationFits(st)) return;
        McuConfig& m = st.mcu;
        m.CalibrationValue = m.CalibrationBytes[m.CalibrationIndex - 1];
        st.buf.DeviceBuffer[m.CalibrationAddress] = m.CalibrationValue;
    }
    st.buf.BufferCursor = 0;
    st.TransferCount = d->LastAddress + 1;
    const char area = st.mcu.CurrentArea;
    if (area == '1' || area == '2' || area == '3') {
        programLockStep(st, area);
        return;
    }
    if (area != 'P') return;
    programCode(st);
    if (runOk(st)) programData(st);
    successLine(st, " Programmed");
}

void McuErase(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) return;
    writeFrame(st, proto::mcuErase(s2(*d)));
    // The erase takes a while; its answer is waited for (bounded) and then
    // read whole. After Abort the wait has had its grace already: the read
    // takes what is there and does not wait again.
    waitForBytes(st, proto::kReplyWordLength);
    if (!readWord(st, proto::kReplyDone, OnAbort::Stop)) {
        // A chip that did not confirm its erase is not called erased.
        failLine(st, " Erase Error");
        return;
    }
    setGaugePos(st, 0);
    st.mcu.CurrentArea = 'P';
    successLine(st, " Erased ");
    McuBlankCheck(st);
}

}  // namespace tesmar
