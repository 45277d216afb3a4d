// Motorola S-records (S1/S2/S3 data, S7/S8/S9 end, the rest skipped) and raw binary.
#include <algorithm>

#include "fileformats/FileFrame.h"

namespace tesmar {

void ReadSRecords(LoadFrame& f) {
    bool first = true;
    std::uint8_t head[5];
    std::uint8_t data[256];
    for (;;) {
        if (!f.seekMark('S', first, kNotMotorola, " File isn't a motorola file", true)) return;
        const int type = f.in.get();
        if (type < 0) {
            f.readFailed();
            return;
        }
        if (type >= '7' && type <= '9') return;
        if (type < '1' || type > '3') continue;  // S0 header, S5 count...: not image data
        const std::size_t addressBytes = std::size_t(type - '1') + 2;
        if (!f.readPairs(head, 1 + addressBytes, kNotMotorola)) return;
        const std::uint8_t count = head[0];
        std::int64_t address = 0;
        std::uint8_t sum = count;
        for (std::size_t i = 1; i <= addressBytes; ++i) {
            address = (address << 8) | head[i];
            sum = std::uint8_t(sum + head[i]);
        }
        if (count < addressBytes + 1) {
            // The count cannot even cover the address and the checksum.
            f.error = kNotMotorola;
            return;
        }
        const std::size_t n = count - addressBytes - 1;
        const std::int64_t at = f.offset + address;
        std::size_t good = 0;
        const bool whole = f.readPairs(data, n, kNotMotorola, &good);
        if (!f.storeRun(at, data, good) || !whole) return;
        f.meter.update(at + std::int64_t(n));
        for (std::size_t i = 0; i < n; ++i) sum = std::uint8_t(sum + data[i]);
        std::uint8_t cc = 0;
        if (!f.readPairs(&cc, 1, kNotMotorola)) return;
        if (std::uint8_t(sum + cc) != 0xFF) {
            f.error = kChecksumError;
            return;
        }
    }
}

void WriteSRecords(SaveFrame& f) {
    FileWriter& out = f.out;
    std::uint64_t off = f.start;
    const std::uint64_t end = f.stop + 1;
    while (off < end && !out.failed()) {
        // The shortest address form that holds the whole address.
        char type;
        std::size_t addressBytes, most;
        if (off <= 0xFFFF) {
            type = '1', addressBytes = 2, most = 32;
        } else if (off <= 0xFFFFFF) {
            type = '2', addressBytes = 3, most = 31;
        } else {
            type = '3', addressBytes = 4, most = 30;
        }
        const std::size_t n = std::size_t(std::min<std::uint64_t>(most, end - off));
        const std::uint8_t count = std::uint8_t(n + addressBytes + 1);
        char* o = out.reserve(16 + 2 * n);
        *o++ = 'S';
        *o++ = type;
        o = putHexByte(o, count);
        std::uint8_t sum = count;
        for (std::size_t i = addressBytes; i-- > 0;) {
            const std::uint8_t b = std::uint8_t(off >> (8 * i));
            sum = std::uint8_t(sum + b);
            o = putHexByte(o, b);
        }
        const std::uint8_t* d = f.buf + off;
        for (std::size_t i = 0; i < n; ++i) {
            sum = std::uint8_t(sum + d[i]);
            o = putHexByte(o, d[i]);
        }
        o = putHexByte(o, std::uint8_t(~sum));
        *o++ = '\n';
        out.commit(o);
        off += n;
        f.meter.update(std::int64_t(off));
    }
    out.write("S9030000FC\n");
}

void ReadBinary(LoadFrame& f) {
    std::int64_t at = f.offset;
    for (;;) {
        const std::size_t n = f.in.available();
        if (n == 0) {
            if (f.in.readFailed()) f.readFailed();
            return;
        }
        if (!f.storeRun(at, f.in.cur(), n)) return;
        f.in.skip(n);
        at += std::int64_t(n);
        f.meter.update(at);
    }
}

void WriteBinary(SaveFrame& f) {
    constexpr std::uint64_t kPiece = 1 << 20;
    std::uint64_t off = f.start;
    const std::uint64_t end = f.stop + 1;
    while (off < end && !f.out.failed()) {
        const std::uint64_t n = std::min(kPiece, end - off);
        f.out.write(reinterpret_cast<const char*>(f.buf + off), std::size_t(n));
        off += n;
        f.meter.update(std::int64_t(off));
    }
}

}  // namespace tesmar
