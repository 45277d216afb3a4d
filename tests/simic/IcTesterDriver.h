#pragma once
// A small host for the tester written apart from the program's own: it reads
// All.usb and turns vector lines into the tester's frames, so the simulated
// tester can be checked against the database without the program's code.
#include <gtest/gtest.h>

#include <QByteArray>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimProgrammer.h"
#include "support/Bytes.h"
#include "support/TestSupport.h"

namespace tesmar::simic::test {

using ::tesmar::test::Bytes;

struct DbIc {
    std::string group, name;
    int pins = 0;
    std::uint8_t groundByte = 0, supplyByte = 0, mode = ' ';
    std::string text;  // the vector text (a pin map for memory parts)

    int k() const { return (40 - pins) / 2; }
    int remap(int p) const { return p <= 20 ? p - k() : p + k(); }
    std::uint8_t gnd() const { return std::uint8_t(remap(groundByte)); }
    std::uint8_t vc() const {
        int s = remap(supplyByte & 0x3F) & 0x3F;
        switch (s) {
        case 1: return 1;
        case 2: return 2;
        case 10: return 3;
        case 11: return 4;
        case 32: return 5;
        case 35: return 6;
        case 36: return 7;
        case 40: return 8;
        default: return std::uint8_t(s);
        }
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (std::size_t i = 0; pins > 0 && i + std::size_t(pins) <= text.size(); i += std::size_t(pins))
            out.push_back(text.substr(i, std::size_t(pins)));
        return out;
    }
};

inline unsigned u16(const QByteArray& f, qsizetype at) {
    if (at < 0 || at + 2 > f.size()) return 0;
    return unsigned(std::uint8_t(f[at])) | unsigned(std::uint8_t(f[at + 1])) << 8;
}

inline std::string fixedText(const QByteArray& f, qsizetype at, int len) {
    std::string s;
    for (int i = 0; i < len && at + i < f.size() && f[at + i] != 0; ++i) s.push_back(f[at + i]);
    return s;
}

// Every IC of the database, group by group; fails the test on a damaged file.
inline std::vector<DbIc> readDatabase(const QByteArray& f) {
    std::vector<DbIc> out;
    unsigned groups = u16(f, 12);
    for (unsigned g = 0; g < groups; ++g) {
        qsizetype rec = 16 * (qsizetype(g) + 1);
        qsizetype block = u16(f, rec);
        std::string group = fixedText(f, rec + 2, 14);
        EXPECT_LT(block, f.size());
        if (block >= f.size()) return out;
        EXPECT_EQ(std::uint8_t(f[block]), 0x98) << group;
        unsigned count = unsigned(std::uint8_t(f[block + 1])) | unsigned(std::uint8_t(f[block + 2])) << 8;
        for (unsigned i = 0; i < count; ++i) {
            qsizetype e = block + 16 + 16 * qsizetype(i);
            EXPECT_LE(e + 16, f.size());
            if (e + 16 > f.size()) return out;
            DbIc ic;
            ic.group = group;
            ic.name = fixedText(f, e + 2, 8);
            ic.pins = std::uint8_t(f[e + 10]);
            ic.groundByte = std::uint8_t(f[e + 11]);
            ic.supplyByte = std::uint8_t(f[e + 12]);
            ic.mode = std::uint8_t(f[e + 15]);
            qsizetype v = u16(f, e);
            EXPECT_LT(v, f.size());
            if (v >= f.size()) return out;
            EXPECT_EQ(std::uint8_t(f[v]), 0x98) << ic.name;
            for (qsizetype j = v + 1; j < f.size() && f[j] != 0; ++j) ic.text.push_back(f[j]);
            out.push_back(ic);
        }
    }
    return out;
}

inline std::vector<DbIc> sampleDatabase() {
    return readDatabase(::tesmar::test::readFile(::tesmar::test::runDir() + "/All.usb"));
}

inline void setPinBit(Bytes& bytes, std::size_t offset, int pins, int pin) {
    int n = pins == 14 ? 7 : 8;
    bytes[offset + std::size_t((pin - 1) / n)] |= std::uint8_t(1u << ((pin - 1) % n));
}

inline bool pinBit(const Bytes& bytes, int pins, int pin) {
    int n = pins == 14 ? 7 : 8;
    std::size_t i = std::size_t((pin - 1) / n);
    return i < bytes.size() && (bytes[i] >> ((pin - 1) % n)) & 1;
}

inline std::size_t maskBytes(int pins) { return pins <= 16 ? 2 : 3; }

inline Bytes directionFrame(const std::string& line, int pins, std::uint8_t gnd, std::uint8_t vc) {
    std::size_t n = maskBytes(pins);
    Bytes f{'E', std::uint8_t(pins), gnd, vc};
    f.resize(4 + 2 * n, 0);
    for (int pin = 1; pin <= pins; ++pin) {
        char c = line[std::size_t(pin - 1)];
        if (c == '0' || c == '1' || c == 'X' || c == 'V' || c == 'G') setPinBit(f, 4, pins, pin);
        if (c == 'C' || c == 'c' || c == 'K') setPinBit(f, 4 + n, pins, pin);
    }
    return f;
}

// `clockCount` runs on from line to line within an attempt (1 at its start).
inline Bytes levelFrame(const std::string& line, int pins, unsigned& clockCount) {
    std::size_t n = maskBytes(pins);
    Bytes f(pins <= 16 ? 6 : 5, 0);
    for (int pin = 1; pin <= pins; ++pin) {
        char c = line[std::size_t(pin - 1)];
        if (c == '1' || c == 'V') setPinBit(f, 0, pins, pin);
        if (c == 'C') {
            f[n] = 0;
            f[n + 1] = 1;
        }
        if (c == 'c' && pins <= 16) {
            f[4] = 0;
            f[5] = 1;
        }
        if (c == 'K') {
            clockCount = (clockCount * 2) & 0xFFFF;
            f[n] = std::uint8_t(clockCount >> 8);
            f[n + 1] = std::uint8_t(clockCount);
        }
    }
    return f;
}

inline std::string resultLine(const std::string& line, int pins, const Bytes& reply) {
    std::string r = line;
    for (int pin = 1; pin <= pins; ++pin) {
        char& c = r[std::size_t(pin - 1)];
        bool high = pinBit(reply, pins, pin);
        if (c == 'H' || c == 'L') c = high ? 'H' : 'L';
        else if (c == '0' || c == '1') c = high ? '1' : '0';
    }
    return r;
}

inline void write(sim::SimProgrammer& sim, const Bytes& b) {
    std::uint32_t n = 0;
    ASSERT_EQ(sim.write(b.data(), std::uint32_t(b.size()), n), 0);
}

inline Bytes read(sim::SimProgrammer& sim, std::uint32_t len) {
    Bytes b(len);
    std::uint32_t got = 0;
    EXPECT_EQ(sim.read(b.data(), len, got), 0);
    b.resize(got);
    return b;
}

struct Attempt {
    int failedLine = -1;           // index of the first failing line, -1 none
    std::vector<std::string> results;  // the result line of each line run
};

// One attempt: open, every line until the first mismatch, close.
inline Attempt runAttempt(sim::SimProgrammer& sim, const std::vector<std::string>& lines, int pins,
                          std::uint8_t gnd, std::uint8_t vc) {
    Attempt a;
    unsigned clockCount = 1;
    write(sim, {'E', 'S', gnd, vc});
    for (std::size_t i = 0; i < lines.size(); ++i) {
        write(sim, directionFrame(lines[i], pins, gnd, vc));
        write(sim, levelFrame(lines[i], pins, clockCount));
        std::string r = resultLine(lines[i], pins, read(sim, std::uint32_t(maskBytes(pins))));
        a.results.push_back(r);
        if (r != lines[i]) {
            a.failedLine = int(i);
            break;
        }
    }
    write(sim, {'E', 'F', 0, 0});
    return a;
}

inline Attempt runAttempt(sim::SimProgrammer& sim, const DbIc& ic) {
    return runAttempt(sim, ic.lines(), ic.pins, ic.gnd(), ic.vc());
}

}  // namespace tesmar::simic::test
