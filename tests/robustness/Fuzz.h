#pragma once
// Seeded noise and mutations for the robustness sweeps. The same seed gives
// the same inputs on every machine, so a failing round can be replayed from
// the seed and round number printed with it.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tesmar::test {

// A small fast generator (splitmix64): reproducible, no library state.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : x_(seed * 0x9E3779B97F4A7C15ull + 0xD1B54A32D192ED03ull) {}

    std::uint64_t next() {
        std::uint64_t z = (x_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1 (0 when n is 0).
    std::uint64_t below(std::uint64_t n) { return n ? next() % n : 0; }
    // True `num` times out of `den`.
    bool chance(unsigned num, unsigned den) { return below(den) < num; }
    std::uint8_t byte() { return std::uint8_t(next()); }
    template <class T, std::size_t N>
    const T& pick(const T (&items)[N]) {
        return items[below(N)];
    }
    template <class T>
    const T& pick(const std::vector<T>& items) {
        return items[below(items.size())];
    }

    QByteArray bytes(std::size_t n) {
        QByteArray b(qsizetype(n), '\0');
        for (auto& c : b) c = char(byte());
        return b;
    }
    std::vector<std::uint8_t> vec(std::size_t n) {
        std::vector<std::uint8_t> v(n);
        for (auto& c : v) c = byte();
        return v;
    }

private:
    std::uint64_t x_;
};

// Bytes a text reader meets most: digits, record marks, line ends, blanks.
inline const char kHexTextAlphabet[] = "0123456789ABCDEFabcdef:S\r\n \t\x00\xFF";

// One to `maxEdits` edits of `in`: flips to any byte or to a byte of the
// alphabet, inserted junk, removed slices, a copied slice pasted elsewhere,
// and a cut at a random point.
inline QByteArray mutate(const QByteArray& in, Rng& r, int maxEdits = 6) {
    QByteArray b = in;
    const std::size_t alphabet = sizeof kHexTextAlphabet - 1;
    const int edits = 1 + int(r.below(std::uint64_t(maxEdits)));
    for (int e = 0; e < edits; ++e) {
        const qsizetype at = qsizetype(r.below(std::uint64_t(b.size()) + 1));
        switch (r.below(8)) {
        case 0:
            if (at < b.size()) b[at] = char(r.byte());
            break;
        case 1:
        case 2:
            if (at < b.size()) b[at] = kHexTextAlphabet[r.below(alphabet)];
            break;
        case 3: {
            QByteArray junk;
            const int n = 1 + int(r.below(16));
            for (int i = 0; i < n; ++i)
                junk += r.chance(1, 2) ? char(r.byte()) : kHexTextAlphabet[r.below(alphabet)];
            b.insert(at, junk);
            break;
        }
        case 4:
            b.remove(at, qsizetype(1 + r.below(32)));
            break;
        case 5: {
            if (b.isEmpty()) break;
            const qsizetype from = qsizetype(r.below(std::uint64_t(b.size())));
            b.insert(at, b.mid(from, qsizetype(1 + r.below(64))));
            break;
        }
        case 6:
            b.truncate(at);
            break;
        default:
            // A bit flip keeps the shape of the text but damages one character.
            if (at < b.size()) b[at] = char(b[at] ^ char(1u << r.below(8)));
            break;
        }
    }
    return b;
}

}  // namespace tesmar::test
