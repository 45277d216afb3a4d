#include "families/McuParts.h"

#include <algorithm>
#include <vector>

#include "families/FamilyCommon.h"
#include "link/Protocol.h"
#include "link/Replies.h"
#include "link/UsbPort.h"
#include "operations/Report.h"

namespace tesmar::mcu {

const char* const kReadError = " Error with read";

namespace {
const char* const kConfigLeft = " Fuse, Lock and Security Bits left as they are (not set in Config, not read)";
}

std::uint8_t s2(const DeviceRecord& d) { return d.DeviceId == 0x55 ? 0x55 : d.DeviceId2; }

bool eraseAllowed(const DeviceRecord& d) { return (d.Buttons >> BtnErase) & 1u; }

bool hasUserRow(const DeviceRecord& d) { return d.Algorithm == 35; }

std::uint64_t codeStreamBytes(const DeviceRecord& d) {
    return std::uint64_t(d.LastAddress) + 1 + (hasUserRow(d) ? proto::kMcuUserRowBytes : 0);
}

bool hasDataEeprom(const DeviceRecord& d) { return d.Algorithm == 28 || d.Algorithm == 30 || d.Algorithm == 32; }

std::uint32_t dataBytes(const DeviceRecord& d) {
    switch (d.Algorithm) {
    case 28: return proto::kMcuFixedEepromBytes;
    case 30:
    case 32: return d.DataEepromSize;
    default: return 0;
    }
}

std::size_t dataPlace(const DeviceRecord& d) { return std::size_t(d.LastAddress) + 1; }

std::uint32_t fuseReadLength(const DeviceRecord& d) {
    switch (d.PageCode) {
    case 203:
    case 204: return 7;
    case 205:
    case 209:
    case 211: return 4;
    case 207: return 8;
    default: return 1;
    }
}

bool takeReply(AppState& st, std::uint8_t* out, std::uint32_t n) {
    int status = UsbOk;
    if (readBytes(st, out, n, &status) < n || status != UsbOk) {
        failLine(st, kReadError);
        return false;
    }
    return true;
}

bool takeAcknowledgements(AppState& st, std::uint32_t blockLen) {
    constexpr std::uint32_t kAck = proto::kMcuAckBytes;
    constexpr std::uint32_t kGroupsAtOnce = 1024;
    std::vector<std::uint8_t> acks(kAck * kGroupsAtOnce);
    GaugeBatch gauge(st);
    // A last group of fewer than four data bytes gets no acknowledgement.
    std::uint32_t groups = blockLen / kAck;
    while (groups > 0) {
        // Acknowledgements that have all arrived already are taken in one read.
        std::uint32_t queued = 0, take = 1;
        if (groups > 1 && st.usb->queueStatus(queued) == UsbOk)
            take = std::clamp<std::uint32_t>(queued / kAck, 1, std::min(groups, kGroupsAtOnce));
        const std::uint32_t want = take * kAck;
        int status = UsbOk;
        if (readBytes(st, acks.data(), want, &status) < want || status != UsbOk) {
            failLine(st, kReadError);
            return false;
        }
        if (st.RunFlag.load() != 0) gauge.add(want);
        groups -= take;
    }
    return true;
}

void requestData(AppState& st, std::uint8_t p2) {
    const DeviceRecord& d = *st.dev();
    writeFrame(st, proto::mcuReadData(p2));
    if (d.Algorithm == 28) return;
    const std::uint32_t n = dataBytes(d);
    const std::uint8_t size[2] = {std::uint8_t(n >> 8), std::uint8_t(n)};
    writeBytes(st, size, sizeof size);
}

bool dropFuseByte(AppState& st) {
    std::uint8_t fuse = 0;
    return takeReply(st, &fuse, 1);
}

void dropStreamLeft(AppState& st, std::uint64_t most) {
    std::uint8_t scratch[256];
    while (most > 0) {
        const std::uint32_t want = std::uint32_t(std::min<std::uint64_t>(sizeof scratch, most));
        const std::uint32_t got = readBytes(st, scratch, want, nullptr, OnAbort::Grace);
        most -= std::min<std::uint64_t>(got, most);
        if (got < want) return;
    }
}

bool configKnown(AppState& st) {
    if (st.mcu.McuConfigKnown) return true;
    if (st.RunFlag.load() != 0) memo(st, kConfigLeft);
    return false;
}

void startTransfer(AppState& st, std::size_t place, std::uint64_t bytes) {
    st.buf.BufferCursor = place;
    st.TransferCount = std::uint32_t(bytes);
    setGaugeMax(st, int(std::min<std::uint64_t>(bytes, 0x7FFFFFFF)));
    setGaugePos(st, 0);
}

}  // namespace tesmar::mcu
