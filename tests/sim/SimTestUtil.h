#pragma once
// Helpers for driving the simulated programmer straight through UsbPort.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimProgrammer.h"
#include "support/Bytes.h"

namespace tesmar::sim::test {

using ::tesmar::test::Bytes;
using ::tesmar::test::operator+;
using ::tesmar::test::pattern;

inline Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline void send(SimProgrammer& sim, const Bytes& b) {
    std::uint32_t n = 0;
    ASSERT_EQ(sim.write(b.data(), std::uint32_t(b.size()), n), 0);
}

// Everything the programmer has to say, the way a host polls for it.
inline Bytes drain(SimProgrammer& sim, std::size_t limit = SIZE_MAX) {
    Bytes out;
    for (;;) {
        std::uint32_t waiting = 0;
        EXPECT_EQ(sim.queueStatus(waiting), 0);
        if (waiting == 0 || out.size() >= limit) return out;
        Bytes chunk(waiting);
        std::uint32_t got = 0;
        EXPECT_EQ(sim.read(chunk.data(), waiting, got), 0);
        chunk.resize(got);
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
}

// A plain read of len bytes, as the host reads a reply word.
inline Bytes readN(SimProgrammer& sim, std::uint32_t len) {
    Bytes b(len);
    std::uint32_t got = 0;
    EXPECT_EQ(sim.read(b.data(), len, got), 0);
    b.resize(got);
    return b;
}

struct OpenSim {
    SimProgrammer sim;
    OpenSim() { sim.open("Tesmar", 0x20000002); }
};

// "MCU " upload of the given bytes with the sum the host computes.
inline Bytes firmwareFrame(const Bytes& data, std::uint16_t lengthField, int sumDelta = 0) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : data) sum = std::uint8_t(sum + b);
    Bytes f = bytes("MCU ") + Bytes{std::uint8_t(lengthField >> 8), std::uint8_t(lengthField)} + data;
    f.push_back(std::uint8_t(sum + sumDelta));
    return f;
}

}  // namespace tesmar::sim::test
