#include "families/Flash.h"

#include <algorithm>
#include <array>
#include <vector>

#include "families/FamilyCommon.h"
#include "link/Protocol.h"
#include "link/Replies.h"
#include "link/UsbPort.h"
#include "operations/Report.h"

namespace tesmar {
namespace {

// Frames of the family; unused parameter bytes are 0.
constexpr proto::Frame kReadFrame = proto::frame('E', 'R');     // stream LastAddress + 1 bytes
constexpr proto::Frame kProgramFrame = proto::frame('E', 'P');  // [option byte], data blocks follow
constexpr proto::Frame kEraseFrame = proto::word("EE00");       // "Done", or progress then "Good"
constexpr proto::Frame kChipIdFrame = proto::frame('E', 'I');   // signature and protection bytes

constexpr std::uint32_t kChunk = 8;          // read, verify, blank check and program replies
constexpr std::uint32_t kProgressWord = 4;   // one pre-erase progress reply
constexpr std::size_t kChipIdBytes = 10;     // the longest chip-ID reply kept
// The chip settles after an erase before it is read back.
constexpr int kAfterEraseMs = 500;

// Chips with a manufacturer's own erase: the programmer reports its progress
// and ends with "Good"; the 0xBD part then streams its contents unasked.
constexpr std::uint8_t kPreEraseMaker = 0x89;
constexpr std::uint8_t kStreamsAfterErase = 0xBD;
// Chips reporting protection in their chip-ID reply.
constexpr std::uint8_t kBlockProtectMaker = 0x01;
constexpr std::uint8_t kBlockProtectDevice = 0xA4;
constexpr int kProtectedBlocks = 8;
constexpr std::uint8_t kPageSdp = 0x82;        // takes the software-data-protection byte
constexpr std::uint8_t kPageBootBlock = 0x83;  // reports its boot block

bool eraseAllowed(const DeviceRecord& d) { return (d.Buttons >> BtnErase) & 1u; }

bool preErases(const DeviceRecord& d) {
    return d.MakerId == kPreEraseMaker && d.DeviceId != 0x94 && d.DeviceId != 0x95;
}

// Firmware "Fxxx" followed by anything but n, S, R or T takes one option byte
// after the program frame.
bool takesOptionByte(const DeviceRecord& d) {
    const std::string& f = d.McuFile;
    if (f.size() < 4 || f.compare(0, 4, "Fxxx") != 0) return false;
    const char fifth = f.size() > 4 ? f[4] : '\0';
    return fifth != 'n' && fifth != 'S' && fifth != 'R' && fifth != 'T';
}


// The protection reports of one chip-ID reply; decides ChipErasable.
void reportProtection(AppState& st, const DeviceRecord& d, const std::array<std::uint8_t, kChipIdBytes>& id) {
    st.ChipErasable = 1;
    if (d.PageCode == kPageBootBlock)
        memo(st, (id[2] & 1u) ? " Boot Block Protected!" : " Boot Block Not Protected");
    if (id[0] == kBlockProtectMaker && id[1] == kBlockProtectDevice) {
        for (int i = 0; i < kProtectedBlocks; ++i) {
            if (id[std::size_t(2 + i)] == 0) continue;
            memo(st, QString(" Block %1: Protected").arg(i));
            st.ChipErasable = 0;
        }
    }
    if (id[0] == kBlockProtectMaker && st.ChipErasable == 0) memo(st, " Whole chip can't be erased!!");
}

// The programmer answers program data as it writes it, in groups of 8
// bytes: one group per 8 data bytes or part of them, so a block whose length
// is not a multiple of 8 still ends with a whole group. Every group is read
// whole, or its last bytes would be taken for the first bytes of the verify.
// The bytes say nothing the verify would not, but their pace keeps the host
// in step. A programmer that stops answering, or sends part of a group, ends
// the run instead of costing a time-out per read.
bool takeProgramReplies(AppState& st, std::uint32_t blockLen) {
    constexpr std::uint32_t kGroupsAtOnce = 512;
    std::uint8_t replies[kChunk * kGroupsAtOnce];
    GaugeBatch gauge(st);
    std::uint32_t groups = (blockLen + kChunk - 1) / kChunk;
    std::uint32_t unacknowledged = blockLen;
    while (groups > 0 && st.ErrorFlag.get() == 0) {
        // Groups that have all arrived already are taken in one read.
        std::uint32_t queued = 0, take = 1;
        if (groups > 1 && st.usb->queueStatus(queued) == UsbOk)
            take = std::clamp<std::uint32_t>(queued / kChunk, 1, std::min(groups, kGroupsAtOnce));
        int status = UsbOk;
        const std::uint32_t want = take * kChunk;
        if (readBytes(st, replies, want, &status) < want || status != UsbOk) {
            failLine(st, " Error with read");
            return false;
        }
        const std::uint32_t acknowledged = std::min(want, unacknowledged);
        if (st.RunFlag.load() != 0) gauge.add(acknowledged);
        unacknowledged -= acknowledged;
        groups -= take;
    }
    return st.ErrorFlag.get() == 0;
}

void verifyStep(AppState& st) {
    setGaugePos(st, 0);
    memo(st, " Verifying @ Vdd = 5.0V ");
    setCaption(st, "Verify");
    FlashVerify(st);
}

// The whole chip from the start of the image, when the image holds it.
bool startAtImage(AppState& st, std::uint32_t& count) {
    st.buf.BufferCursor = 0;
    const std::uint64_t n = deviceBytes(st);
    if (!transferFits(st, 0, n, 1)) return false;
    count = std::uint32_t(n);
    st.TransferCount = count;
    setGaugeMax(st, int(std::min<std::uint64_t>(n, 0x7FFFFFFF)));
    return true;
}

}  // namespace

bool FlashCheckChipId(AppState& st) {
    st.ChipErasable = 1;
    if (st.settings.IdCheckOption == 0) return true;
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) return false;
    return runChipIdCheck(st, [&] {
        ChipIdAttempt a;
        writeFrame(st, kChipIdFrame);
        const std::vector<std::uint8_t> reply = readChipIdReply(st, kChipIdBytes);
        if (reply.empty()) {
            a.replied = false;
            return a;
        }
        std::array<std::uint8_t, kChipIdBytes> id;
        id.fill(0xFF);
        std::copy(reply.begin(), reply.end(), id.begin());
        reportProtection(st, *d, id);
        a.text = QString::asprintf("ID: 30=%X 31=%X ", unsigned(id[0]), unsigned(id[1]));
        a.matches = id[0] == d->MakerId && id[1] == d->DeviceId;
        return a;
    });
}

void FlashDoOperation(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) {
        finishOperation(st);
        return;
    }
    beginOperation(st);
    switch (st.OperationCode.load()) {
    case 'B':
        FlashBlankCheck(st);
        break;
    case 'E':
        setCaption(st, "Erase");
        if (eraseAllowed(*d)) FlashErase(st);
        break;
    case 'P':
        setCaption(st, "Program");
        setGaugePos(st, 0);
        FlashProgram(st);
        if (runOk(st)) verifyStep(st);
        break;
    case 'V':
        verifyStep(st);
        break;
    case 'R':
        FlashRead(st);
        break;
    default:
        break;
    }
    finishOperation(st);
}

void FlashRead(AppState& st) {
    std::uint32_t n = 0;
    if (!startAtImage(st, n)) return;
    writeFrame(st, kReadFrame);
    st.usb->setTimeouts(500, 500);
    readStream(st, n, kChunk, 1);
    successLine(st, " Read Completed");
}

void FlashVerify(AppState& st) {
    std::uint32_t n = 0;
    if (!startAtImage(st, n)) return;
    writeFrame(st, kReadFrame);
    compareStream(st, n, kChunk, 1);
    successLine(st, " Verify OK");
}

void FlashProgram(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d) return;
    std::uint32_t n = 0;
    if (!startAtImage(st, n)) return;
    st.usb->setTimeouts(1000, 10000);
    writeFrame(st, kProgramFrame);
    setGaugePos(st, 0);
    if (takesOptionByte(*d)) {
        const std::uint8_t option = d->PageCode == kPageSdp ? st.mcu.SdpEnable : 1;
        writeBytes(st, &option, 1);
    }
    sendBlocks(st, n, 1, true, [&](std::uint32_t blockLen) { return takeProgramReplies(st, blockLen); });
    successLine(st, " Programmed");
}

void FlashErase(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d) return;
    st.usb->setTimeouts(60000, 10000);
    writeFrame(st, kEraseFrame);
    if (preErases(*d)) {
        setGaugePos(st, 0);
        setCaption(st, "PreErasing");
        // One progress reply per four bytes. Each read waits at most the erase
        // time-out; a programmer that misses one has not erased the chip.
        GaugeBatch gauge(st);
        for (std::uint64_t i = 0; i < d->LastAddress; i += kProgressWord) {
            if (st.RunFlag.load() == 0) return;
            std::uint8_t progress[kProgressWord];
            int status = UsbOk;
            if (readBytes(st, progress, kProgressWord, &status) < kProgressWord || status != UsbOk) {
                failLine(st, " Erase Error");
                return;
            }
            gauge.add(kProgressWord);
        }
        gauge.flush();
        if (st.RunFlag.load() == 0) return;
        if (!readWord(st, proto::kReplyGood)) {
            failLine(st, " Erase Error");
            return;
        }
    } else {
        if (!readWord(st, proto::kReplyDone)) {
            failLine(st, " Erase Error");
            return;
        }
        // Protected blocks stay as they were: a blank check could only fail.
        if (st.ChipErasable == 0) return;
    }
    setGaugePos(st, 0);
    pauseMs(st, kAfterEraseMs);
    FlashBlankCheck(st);
}

void FlashBlankCheck(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d) return;
    st.buf.BufferCursor = 0;
    const std::uint32_t n = std::uint32_t(std::min<std::uint64_t>(deviceBytes(st), 0xFFFFFFFFu));
    st.TransferCount = n;
    setGaugeMax(st, int(std::min<std::uint32_t>(n, 0x7FFFFFFF)));
    // After its erase this part sends its contents without being asked.
    const bool unasked = d->MakerId == kPreEraseMaker && d->DeviceId == kStreamsAfterErase &&
                         st.OperationCode.load() != 'B';
    if (!unasked) writeFrame(st, kReadFrame);
    blankStream(st, n, kChunk, {d->BlankByte}, 12);
    successLine(st, " Clean");
}

}  // namespace tesmar
