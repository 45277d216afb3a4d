#include "families/Eprom.h"

#include <algorithm>
#include <vector>

#include "families/FamilyCommon.h"
#include "link/Protocol.h"
#include "link/Replies.h"
#include "link/UsbPort.h"
#include "operations/Host.h"
#include "operations/Report.h"

namespace tesmar {
namespace {

// Programming a byte takes a few pulses; the programmer may stay quiet for a
// while between acknowledgements, but not for longer than the program read
// time-out (ten seconds).
constexpr int kAckPolls = 60000;

// Frames of the family; unused parameter bytes are 0.
constexpr proto::Frame kReadFrame = proto::frame('E', 'R');      // stream LastAddress + 1 bytes
constexpr proto::Frame kProgramFrame = proto::frame('E', 'P');   // data blocks follow
constexpr proto::Frame kEraseFrame = proto::word("EE00");        // answered "Done"
constexpr proto::Frame kChipIdFrame = proto::frame('E', 'I');    // answered by two signature bytes
constexpr std::uint8_t kAck = 'D';                                // one per programmed byte
constexpr std::uint32_t kChunk = 8;  // verify and blank check read 8 bytes per call

// In odd/even mode each chip holds every second byte of the image.
unsigned stride(const AppState& st) { return st.OddEvenMode ? 2u : 1u; }

bool eraseAllowed(const DeviceRecord& d) { return (d.Buttons >> BtnErase) & 1u; }

// The erased value of every byte the chip streams. A 16-bit part erases to
// BlankByte in the first byte of each word and 0xFF in the second.
std::vector<std::uint8_t> blankPattern(const DeviceRecord& d) {
    if (d.FamilyLetter == 'O') return {d.BlankByte, 0xFF};
    return {d.BlankByte};
}

// The programmer answers each programmed byte with 'D'; a failed byte is
// answered with another byte followed by the image value and the chip's value.
// Returns false once a failure was reported or the programmer fell silent.
bool takeAcknowledgements(AppState& st, std::uint32_t blockLen, std::uint32_t& acked) {
    // Acknowledgements are taken after Abort too, as long as they flow: the
    // programmer is never told to stop a Program and works through the data
    // it was sent.
    StreamReader reader(st, kAckPolls, OnAbort::Grace);
    GaugeBatch gauge(st);
    std::vector<std::uint8_t> chunk;
    std::uint32_t received = 0;
    while (received < blockLen && st.ErrorFlag.get() == 0) {
        if (reader.next(blockLen - received, chunk) != StreamReader::Data) return false;
        const auto failed = std::find_if(chunk.begin(), chunk.end(), [](std::uint8_t b) { return b != kAck; });
        const std::uint32_t good = std::uint32_t(failed - chunk.begin());
        acked += good;
        if (st.RunFlag.load() != 0) gauge.add(good);
        if (failed != chunk.end()) {
            gauge.flush();
            // The image value and the chip's value follow; they may still be on their way.
            std::uint8_t values[2] = {0, 0};
            std::uint32_t have = 0;
            for (auto k = failed + 1; k != chunk.end() && have < 2; ++k) values[have++] = *k;
            if (have < 2 && waitForBytes(st, 2 - have)) readBytes(st, values + have, 2 - have);
            failLine(st, QString::asprintf("  Compare Error @ 0x%.5X Ram = 0x%.2X Device = 0x%.2X", unsigned(acked),
                                           unsigned(values[0]), unsigned(values[1])));
            return false;
        }
        received += std::uint32_t(chunk.size());
    }
    return st.ErrorFlag.get() == 0;
}

void verifyStep(AppState& st, std::size_t start) {
    setGaugePos(st, 0);
    st.buf.BufferCursor = start;
    memo(st, " Verifying @ Vdd = 5.0V ");
    setCaption(st, "Verify");
    EpromVerify(st);
}

void runStep(AppState& st, const DeviceRecord& d, char op, std::size_t start) {
    switch (op) {
    case 'B':
        EpromBlankCheck(st);
        break;
    case 'E':
        setCaption(st, "Erase");
        if (eraseAllowed(d)) EpromErase(st);
        break;
    case 'P':
        if ((st.settings.ProgramSteps & 1u) && eraseAllowed(d)) {
            EpromBlankCheck(st);
            // Abort during the blank check ends the run: no erase, no data.
            if (st.RunFlag.load() == 0) return;
        }
        setCaption(st, "Program");
        setGaugePos(st, 0);
        EpromProgram(st);
        if (runOk(st)) verifyStep(st, start);
        break;
    case 'V':
        verifyStep(st, start);
        break;
    case 'R':
        EpromRead(st);
        break;
    default:
        break;
    }
}

}  // namespace

bool EpromCheckChipId(AppState& st) {
    if (st.settings.IdCheckOption == 0) return true;
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) return false;
    return runChipIdCheck(st, [&] {
        ChipIdAttempt a;
        writeFrame(st, kChipIdFrame);
        if (!waitForBytes(st, 2, proto::kReplyPolls, OnAbort::Stop)) {
            a.replied = false;
            return a;
        }
        std::uint8_t id[4] = {0, 0, 0, 0};
        const std::vector<std::uint8_t> reply = readQueued(st, 4);
        std::copy(reply.begin(), reply.end(), id);
        a.text = QString::asprintf("ID: 30=%X 31=%X ", unsigned(id[0]), unsigned(id[1]));
        a.matches = id[0] == d->MakerId && id[1] == d->DeviceId;
        return a;
    });
}

void EpromDoOperation(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) {
        finishOperation(st);
        return;
    }
    const char op = st.OperationCode.load();
    const bool pair = st.OddEvenMode != 0 && op != 'E' && op != 'B';
    const int passes = pair ? 2 : 1;
    // Both chips must fit in the image before the user is asked for either.
    if ((op == 'R' || op == 'V' || op == 'P') && !transferFits(st, passes - 1, deviceBytes(st), stride(st))) {
        finishOperation(st);
        return;
    }
    bool anyPassFailed = false;
    for (int pass = 0; pass < passes; ++pass) {
        beginOperation(st);
        st.buf.BufferCursor = 0;
        if (pair) {
            if (st.host)
                st.host->message(pass == 0 ? "Insert chip for even bytes and click on okay when ready!"
                                           : "Insert chip for odd bytes and click on okay when ready!",
                                 "Odd and Even", BoxIcon::None);
            st.buf.BufferCursor = std::size_t(pass);
        }
        runStep(st, *d, op, std::size_t(pass));
        setGaugePos(st, 0);
        if (st.ErrorFlag.get() != 0) anyPassFailed = true;
        // After Abort there is no second chip to ask for.
        if (st.RunFlag.load() == 0) break;
    }
    // Both chips make one image: the run fails when either of them failed.
    if (anyPassFailed && st.ErrorFlag.get() == 0) st.ErrorFlag.increment();
    finishOperation(st);
}

void EpromRead(AppState& st) {
    const std::uint64_t n = deviceBytes(st);
    const unsigned step = stride(st);
    if (!transferFits(st, st.buf.BufferCursor, n, step)) return;
    st.TransferCount = std::uint32_t(n);
    setGaugeMax(st, int(n));
    writeFrame(st, kReadFrame);
    receiveStream(st, std::uint32_t(n), step);
    successLine(st, " Read Completed");
}

void EpromVerify(AppState& st) {
    const std::uint64_t n = deviceBytes(st);
    const unsigned step = stride(st);
    if (!transferFits(st, st.buf.BufferCursor, n, step)) return;
    st.TransferCount = std::uint32_t(n);
    st.usb->reset();
    setGaugeMax(st, int(n));
    writeFrame(st, kReadFrame);
    compareStream(st, std::uint32_t(n), kChunk, step);
    successLine(st, " Verify OK");
}

void EpromProgram(AppState& st) {
    st.usb->setTimeouts(10000, 10000);
    // A failed blank check before it leaves nothing to program: the
    // programmer is not told to expect data that never comes.
    if (st.ErrorFlag.get() != 0) return;
    const std::uint64_t n = deviceBytes(st);
    const unsigned step = stride(st);
    if (!transferFits(st, st.buf.BufferCursor, n, step)) return;
    writeFrame(st, kProgramFrame);
    setGaugeMax(st, int(n));
    setGaugePos(st, 0);
    std::uint32_t acked = 0;
    sendBlocks(st, std::uint32_t(n), step, true,
               [&](std::uint32_t blockLen) { return takeAcknowledgements(st, blockLen, acked); });
    successLine(st, " Programmed");
}

void EpromErase(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d) return;
    st.usb->purge(PurgeBoth);
    st.usb->setTimeouts(60000, 10000);
    writeFrame(st, kEraseFrame);
    if (readWord(st, proto::kReplyDone)) {
        setGaugePos(st, 0);
        if (st.OperationCode.load() == 'P')
            successLine(st, " Erased");
        else
            EpromBlankCheck(st);
    } else {
        setGaugePos(st, int(std::min<std::uint32_t>(d->LastAddress, 0x7FFFFFFF)));
        failLine(st, " Erase Error");
    }
}

void EpromBlankCheck(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d) return;
    const std::uint64_t n = std::min<std::uint64_t>(deviceBytes(st), 0xFFFFFFFFu);
    st.usb->reset();
    writeFrame(st, kReadFrame);
    st.TransferCount = std::uint32_t(n);
    setGaugeMax(st, int(std::min<std::uint64_t>(n, 0x7FFFFFFF)));
    bool notBlank = false;
    blankStream(st, std::uint32_t(n), kChunk, blankPattern(*d), 12, &notBlank);
    if (runOk(st)) {
        memo(st, " Clean");
        return;
    }
    // A chip that is not blank is erased first when the user asked for it;
    // after Abort, or when the chip could not be read at all, nothing more is done.
    if (notBlank && (st.settings.ProgramSteps & 2u) && st.OperationCode.load() == 'P' && st.RunFlag.load() != 0) {
        st.ErrorFlag = 0;
        EpromErase(st);
    }
}

}  // namespace tesmar
