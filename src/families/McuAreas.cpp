// The microcontroller family's reads of the chip (read, verify, blank check)
// and its fuse, lock and security bytes.
#include <array>

#include "families/FamilyCommon.h"
#include "families/Mcu.h"
#include "families/McuParts.h"
#include "link/Protocol.h"
#include "link/Replies.h"
#include "link/UsbPort.h"
#include "operations/Report.h"

namespace tesmar {
namespace {

using namespace mcu;

constexpr std::uint8_t kAvrMaker = 0x1E;
// Fuse bits a part with one fuse byte and no fuse page keeps; the rest are
// sent as 1.
constexpr std::uint8_t kPlainFuseBits = 0x21;
constexpr std::uint8_t kPlainFuseOthers = 0xDE;
constexpr std::uint8_t kAlg30LockOthers = 0xF9;
constexpr std::uint8_t kSecurityOthers = 0xFC;

bool hasFuseExt(std::uint8_t chipCode) {
    return chipCode == 205 || chipCode == 207 || chipCode == 209 || chipCode == 210 || chipCode == 211;
}

// The EESAVE bit in the high fuse byte (the second byte of the fuse read) by
// chip code; 0 for parts without one.
std::uint8_t eesaveBit(std::uint8_t chipCode) {
    switch (chipCode) {
    case 203: return 0x04;
    case 204:
    case 205:
    case 207:
    case 209:
    case 210: return 0x08;
    case 211: return 0x40;
    default: return 0;
    }
}

// Parts whose fuses a Read also reads.
bool readsFuses(const DeviceRecord& d) {
    if (d.MakerId != kAvrMaker) return false;
    const std::uint8_t b1 = d.DeviceId, b2 = d.DeviceId2;
    if ((b1 == 0x52 && b2 == 0x06) || (b1 == 0x55 && b2 == 0x06) || (b1 == 0x51 && b2 == 0x07)) return true;
    if (b1 == 0x72 || b1 == 0x73 || b1 == 0x53) return true;
    return d.Algorithm == 34 || d.Algorithm == 30 || d.Algorithm == 32;
}

// 8051-type parts whose signature says how their lock bits read: 0x51,
// 0x52, 0x55 one way, 0x53, 0x72 another.
bool locksBySignature(std::uint8_t id) { return id == 0x52 || id == 0x51 || id == 0x55 || id == 0x53 || id == 0x72; }

// Parts with a separate fuse byte read after the fuse and lock read; a part
// whose signature gives its lock layout has none.
bool hasFuseByteRead(const DeviceRecord& d) {
    return !locksBySignature(d.DeviceId) && (d.DeviceId == 0x73 || d.Algorithm == 34);
}

// The lock-bit lines of 8051-type parts from the first fuse-read byte: which
// bit holds lock bit 1, 2, 3 and whether a set bit means programmed.
void reportLockBits(AppState& st, const DeviceRecord& d, std::uint8_t b) {
    struct Layout {
        std::array<int, 3> bits;
        bool setIsProgrammed;
        int count;
    };
    Layout l;
    const std::uint8_t id = d.DeviceId;
    if (id == 0x52 || id == 0x51 || id == 0x55)
        l = {{2, 3, 4}, true, 3};
    else if (id == 0x53 || id == 0x72)
        l = {{2, 1, 0}, false, 3};
    else if (hasFuseByteRead(d))
        l = {{0, 1, 2}, false, d.Algorithm == 34 ? 2 : 3};
    else
        return;
    for (int i = 0; i < l.count; ++i) {
        const bool set = (b >> l.bits[std::size_t(i)]) & 1u;
        successLine(st, QString(" LockBit %1 = %2").arg(i + 1).arg(set == l.setIsProgrammed ? "P" : "U"));
    }
}

// The fuse and lock bytes of the fuse read into the globals, by chip code.
// False for chip codes whose read carries nothing to keep.
bool storeAvrFuses(McuConfig& m, std::uint8_t chipCode, const std::array<std::uint8_t, 8>& b) {
    auto calibration = [&](std::size_t from) {
        for (std::size_t i = 0; i < m.CalibrationBytes.size(); ++i) m.CalibrationBytes[i] = b[from + i];
        m.CalibrationRead = true;
    };
    switch (chipCode) {
    case 203:
        m.FuseLow = b[0], m.FuseHigh = b[1], m.LockBits = b[2] & 3;
        calibration(3);
        return true;
    case 204:
        m.FuseLow = b[0], m.FuseHigh = b[1], m.LockBits = b[2];
        calibration(3);
        return true;
    case 205:
    case 209:
    case 211:
        m.FuseLow = b[0], m.FuseHigh = b[1], m.FuseExt = b[2], m.LockBits = b[3];
        return true;
    case 207:
        m.FuseLow = b[0], m.FuseHigh = b[1], m.FuseExt = b[2], m.LockBits = b[3];
        calibration(4);
        return true;
    default:
        return false;
    }
}

// One configuration byte written: the frame or raw byte, its one-byte answer, its line.
bool writeConfig(AppState& st, const proto::Frame* frame, std::uint8_t raw, const char* line) {
    if (frame)
        writeFrame(st, *frame);
    else
        writeBytes(st, &raw, 1);
    std::uint8_t answer = 0;
    if (!takeReply(st, &answer, 1)) return false;
    successLine(st, line);
    return true;
}

}  // namespace

bool McuFuseReadFillsConfig(const DeviceRecord& d) {
    if (d.Algorithm == 30 || hasFuseByteRead(d)) return true;
    McuConfig scratch;
    return d.Algorithm == 32 && storeAvrFuses(scratch, d.PageCode, {});
}

void McuRead(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) return;
    startTransfer(st, 0, codeStreamBytes(*d));
    writeFrame(st, proto::kMcuReadCode);
    if (!receiveStream(st, st.TransferCount, 1)) return;
    if (hasUserRow(*d)) {
        std::uint8_t fuse = 0;
        if (!takeReply(st, &fuse, 1)) return;
        st.mcu.FuseLow = fuse;
        st.mcu.McuConfigKnown = true;
    }
    if (hasDataEeprom(*d)) {
        const std::uint32_t n = dataBytes(*d);
        requestData(st, d->Algorithm == 28 ? 0 : std::uint8_t(n));
        startTransfer(st, dataPlace(*d), n);
        if (!readStream(st, n, kPiece, 1)) return;
    }
    if (!runOk(st)) return;
    successLine(st, " Read Completed");
    if (readsFuses(*d)) {
        st.mcu.FusesRead = 0;
        McuReadFuses(st);
    }
}

void McuVerify(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) return;
    startTransfer(st, 0, codeStreamBytes(*d));
    st.usb->purge(PurgeRx);
    writeFrame(st, proto::kMcuReadCode);
    if (!compareStream(st, st.TransferCount, kPiece, 1)) return;
    if (hasUserRow(*d) && !dropFuseByte(st)) return;
    successLine(st, " Code Area Verify OK");
    // The fuse byte of parts that take it after the code belongs to a
    // Program; a Verify of its own writes nothing.
    const bool programRun = st.OperationCode.load() == 'P' && st.mcu.CurrentArea == 'P';
    if (d->Algorithm == 34 && programRun && runOk(st)) McuProgramFuses(st);
    if (!hasDataEeprom(*d) || !runOk(st)) return;
    const std::uint32_t n = dataBytes(*d);
    requestData(st, 0);
    startTransfer(st, dataPlace(*d), n);
    if (!compareStream(st, n, kPiece, 1, " EEprom")) return;
    successLine(st, " EEprom Verify OK");
    if (d->Algorithm == 28 && programRun) McuProgramFuses(st);
}

void McuBlankCheck(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) return;
    startTransfer(st, 0, codeStreamBytes(*d));
    const bool codeArea = st.mcu.CurrentArea == 'P';
    writeFrame(st, proto::mcuBlankCheck(codeArea, d->Algorithm == 26));
    if (!blankStream(st, st.TransferCount, kPiece, {d->BlankByte, 0xFF, d->BlankByte, 0xFF}, 12)) return;
    if (hasUserRow(*d) && !dropFuseByte(st)) return;
    if (codeArea) successLine(st, " Code Area Clean");
    if (!hasDataEeprom(*d)) return;
    if (!runOk(st)) return;
    std::array<std::uint8_t, 8> fuses{};
    writeFrame(st, proto::kMcuReadFuses);
    const std::uint32_t got = fuseReadLength(*d);
    if (!takeReply(st, fuses.data(), got)) return;
    // The chip keeps its data EEPROM through an erase while EESAVE is
    // programmed (0).
    const std::uint8_t eesave = d->Algorithm == 32 ? eesaveBit(d->PageCode) : 0;
    const bool eesaveShown = got > 1;
    if (eesave != 0 && eesaveShown && (fuses[1] & eesave) == 0) {
        successLine(st, " EEprom is preserved through Chip Erase");
        return;
    }
    // A part whose fuse read ends before its high fuse byte (code 210) may
    // have kept its EEPROM on purpose, which nothing here can tell: the check
    // after an erase passes over it without a word (a Program then writes it
    // whole and its verify compares it). The Blank Check button checks it.
    if (eesave != 0 && !eesaveShown && st.OperationCode.load() != 'B') return;
    const std::uint32_t n = dataBytes(*d);
    requestData(st, 0);
    startTransfer(st, dataPlace(*d), n);
    if (!blankStream(st, n, kPiece, {0xFF}, d->Algorithm == 32 ? 15 : 12)) return;
    successLine(st, " EEprom Clean ");
}

void McuReadFuses(AppState& st) {
    McuConfig& m = st.mcu;
    if (m.FusesRead != 0) {
        m.FusesRead = 1;
        return;
    }
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) return;
    std::array<std::uint8_t, 8> b{};
    writeFrame(st, proto::kMcuReadFuses);
    // Values are kept only from a whole reply.
    if (!takeReply(st, b.data(), fuseReadLength(*d))) return;
    reportLockBits(st, *d, b[0]);
    if (hasFuseByteRead(*d)) {
        writeFrame(st, proto::kMcuReadFuseByte);
        std::uint8_t fuse = 0;
        if (!takeReply(st, &fuse, 1)) return;
        m.FuseLow = fuse;
        m.McuConfigKnown = true;
        successLine(st, " Fusebits Read");
    }
    if (d->Algorithm == 30) {
        m.FuseLow = b[0] & kPlainFuseBits;
        m.LockBits = std::uint8_t(((b[0] >> 6) & 1u ? 4 : 0) + ((b[0] >> 7) & 1u ? 2 : 0));
        m.McuConfigKnown = true;
        successLine(st, " Fuse and Lock Bits Read");
    } else if (d->Algorithm == 32 && storeAvrFuses(m, d->PageCode, b)) {
        m.McuConfigKnown = true;
        successLine(st, " Fuse and Lock Bits Read");
    }
    m.FusesRead = 1;
}

void McuProgramFuses(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb || !configKnown(st)) return;
    const McuConfig& m = st.mcu;
    const int alg = d->Algorithm;
    const std::uint8_t low =
        alg == 32 || alg == 34 ? m.FuseLow : std::uint8_t((m.FuseLow & kPlainFuseBits) | kPlainFuseOthers);
    const proto::Frame fuse = proto::mcuProgramFuse(low);
    if (!writeConfig(st, &fuse, 0, " Fusebits Programmed")) return;
    if (alg == 32) {
        if (!writeConfig(st, nullptr, m.FuseHigh, " High Fusebits Programmed")) return;
        if (hasFuseExt(d->PageCode) && !writeConfig(st, nullptr, m.FuseExt, " Extended Fusebits Programmed")) return;
        const proto::Frame lock = proto::mcuProgramLock(m.LockBits);
        writeConfig(st, &lock, 0, " Lockbits Programmed");
    } else if (alg == 30) {
        const proto::Frame lock = proto::mcuProgramLock(m.LockBits | kAlg30LockOthers);
        writeConfig(st, &lock, 0, " Lockbits Programmed");
    }
}

void McuProgramSecurity(AppState& st) {
    if (!st.dev() || !st.usb || !configKnown(st)) return;
    const proto::Frame frame = proto::mcuProgramSecurity(std::uint8_t((st.mcu.SecurityByte & 3) | kSecurityOthers));
    writeConfig(st, &frame, 0, " Security Bits Programmed");
}

}  // namespace tesmar
