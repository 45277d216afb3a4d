#pragma once
// Byte strings as the programmer link and the chip models carry them.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tesmar::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Reproducible noise: the same seed gives the same bytes.
inline Bytes pattern(std::size_t n, std::uint32_t seed = 1) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        b[i] = std::uint8_t(seed >> 16);
    }
    return b;
}

}  // namespace tesmar::test
