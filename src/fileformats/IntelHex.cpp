// Intel HEX: records of up to 64 data bytes; 02 and 04 records move the base.
#include "fileformats/FileFrame.h"

namespace tesmar {
namespace {

constexpr std::uint8_t kMaxIntelData = 64;

bool checksumOk(LoadFrame& f, std::uint8_t sum) {
    std::uint8_t cc = 0;
    if (!f.readPairs(&cc, 1, kNotIntelHex)) return false;
    if (std::uint8_t(sum + cc) != 0) {
        f.error = kChecksumError;
        return false;
    }
    return true;
}

std::uint8_t sumOf(const std::uint8_t* p, std::size_t n) {
    std::uint8_t s = 0;
    for (std::size_t i = 0; i < n; ++i) s = std::uint8_t(s + p[i]);
    return s;
}

}  // namespace

void ReadIntelHex(LoadFrame& f) {
    std::int64_t recordAddress = 0;
    bool first = true;
    std::uint8_t head[4];
    std::uint8_t data[kMaxIntelData];
    for (;;) {
        if (!f.seekMark(':', first, kNotIntelHex, " File isn't a hex file")) return;
        if (!f.readPairs(head, 1, kNotIntelHex)) return;
        const std::uint8_t ll = head[0];
        if (ll > kMaxIntelData) {
            f.error = kNotIntelHex;
            return;
        }
        if (!f.readPairs(head + 1, 3, kNotIntelHex)) return;
        const unsigned address16 = (unsigned(head[1]) << 8) | head[2];
        const std::uint8_t type = head[3];
        std::uint8_t sum = sumOf(head, 4);
        switch (type) {
        case 0x00: {
            const std::int64_t at = f.offset + recordAddress + address16;
            std::size_t good = 0;
            const bool whole = f.readPairs(data, ll, kNotIntelHex, &good);
            if (!f.storeRun(at, data, good) || !whole) return;
            f.meter.update(at + ll);
            sum = std::uint8_t(sum + sumOf(data, ll));
            break;
        }
        case 0x01:
            return;
        case 0x02:
        case 0x04: {
            if (!f.readPairs(data, 2, kNotIntelHex)) return;
            const std::int64_t value = (std::int64_t(data[0]) << 8) | data[1];
            recordAddress = type == 0x02 ? value << 4 : value << 16;
            sum = std::uint8_t(sum + data[0] + data[1]);
            break;
        }
        case 0x03:
            // A start address means nothing to the image; the rest of the line is skipped.
            continue;
        case 0x05:
            if (!f.readPairs(data, 4, kNotIntelHex)) return;
            sum = std::uint8_t(sum + sumOf(data, 4));
            break;
        default:
            f.error = kNotIntelHex;
            return;
        }
        if (!checksumOk(f, sum)) return;
    }
}

void WriteIntelHex(SaveFrame& f) {
    FileWriter& out = f.out;
    std::uint64_t off = f.start;
    const std::uint64_t end = f.stop + 1;
    // `base` is what the address field of a data record is counted from. Large
    // devices open with a segment record; whenever the field would pass 0xFFFF
    // an extended linear record moves the base, so no record wraps.
    std::uint64_t base = 0;
    auto linear = [&](std::uint64_t at) {
        const std::uint16_t upper = std::uint16_t(at >> 16);
        const std::uint8_t v[2] = {std::uint8_t(upper >> 8), std::uint8_t(upper)};
        writeIntelRecord(out, 2, 0, 0x04, v, 2, "\r\n");
        base = std::uint64_t(upper) << 16;
    };
    if (f.loadDeviceBytes > 0xFFFF) {
        if ((off >> 4) <= 0xFFFF) {
            const std::uint16_t segment = std::uint16_t(off >> 4);
            const std::uint8_t v[2] = {std::uint8_t(segment >> 8), std::uint8_t(segment)};
            writeIntelRecord(out, 2, 0, 0x02, v, 2, "\r\n");
            base = std::uint64_t(segment) << 4;
        } else {
            linear(off);
        }
    } else if (off > 0xFFFF) {
        linear(off);
    }
    while (off < end && !out.failed()) {
        const std::uint64_t field = off - base;
        const std::uint64_t n = std::min<std::uint64_t>({16, end - off, 0x10000 - field});
        writeIntelRecord(out, std::uint8_t(n), std::uint16_t(field), 0x00, f.buf + off, n, "\r\n");
        off += n;
        f.meter.update(std::int64_t(off));
        if (off - base == 0x10000) linear(off);
    }
    out.write(":00000001FF\r\n");
}

}  // namespace tesmar
