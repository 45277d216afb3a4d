#include "sim/PldGeometry.h"

#include <initializer_list>

namespace tesmar::sim {

namespace {

using List = std::vector<int>;

List operator+(List a, const List& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// from, from + step, ... up to and including to (step may be negative).
List stepped(int from, int to, int step) {
    List out;
    for (int f = from; step > 0 ? f <= to : f >= to; f += step) out.push_back(f);
    return out;
}

List run(int from, int to) { return stepped(from, to, from <= to ? 1 : -1); }

// from + 1, from, from + 3, from + 2, ..., to, to - 1.
List pairsSwapped(int from, int to) {
    List out;
    for (int f = from; f + 1 <= to; f += 2) out.insert(out.end(), {f + 1, f});
    return out;
}

// The 40 cells the two large parts share after their first two.
List largeMiddle() {
    List pairs;
    for (int f = 8216; f >= 8180; f -= 4) pairs.insert(pairs.end(), {f, f + 1});
    return stepped(8179, 8215, 4) + stepped(8214, 8178, -4) + pairs;
}

// The 24 cells the two large parts share before their last two.
List largeTail() { return stepped(8156, 8177, 3) + stepped(8154, 8175, 3) + List{8176} + stepped(8173, 8155, -3); }

struct Lists {
    List a = run(2048, 2051) + List{2193} + run(2120, 2123) + run(2128, 2191) + run(2124, 2127) + List{2192} +
             run(2052, 2055);
    List j = run(2128, 2159) + run(2048, 2051) + List{2193} + run(2120, 2127) + List{2192} + run(2052, 2055) +
             run(2160, 2191);
    List b = pairsSwapped(3456, 3475);
    List c = run(2560, 2563) + List{2705} + run(2632, 2635) + run(2640, 2703) + run(2636, 2639) + List{2704} +
             run(2564, 2567);
    List d = run(3200, 3209);
    List e = List{1630, 1628, 1629} + run(1620, 1622) + run(1610, 1614) + run(1600, 1604) +
             List{1627, 1626, 1623, 1624, 1625} + run(1619, 1615) + run(1609, 1605);
    List f = pairsSwapped(5808, 5827);
    List g = pairsSwapped(6344, 6367);
    List h = List{8221, 8220} + largeMiddle() + largeTail() + List{8218, 8219};
    List i = List{8257, 8256} + largeMiddle() + run(8255, 8238) + run(8220, 8237) + largeTail() + List{8218, 8219};
};

PldGeometry row(int type, std::array<std::uint8_t, 2> codes, std::initializer_list<int> n,
                std::array<std::uint8_t, 2> extra, List config) {
    const int* v = n.begin();
    PldGeometry g;
    g.type = type;
    g.codes = codes;
    g.fuses = v[0];
    g.pins = v[1];
    g.rows = v[2];
    g.bits = v[3];
    g.uesRow = v[4];
    g.uesFuse = v[5];
    g.uesBytes = v[6];
    g.eraseRow = v[7];
    g.eraseAllRow = v[8];
    g.pesRow = v[9];
    g.pesBits = v[10];
    g.configRow = v[11];
    g.configExtra = extra;
    g.configFuses = std::move(config);
    return g;
}

std::array<PldGeometry, kPldRows> buildTable() {
    const Lists l;
    std::array<PldGeometry, kPldRows> t{};
    //                     fuses pins rows bits UESrow UESfuse UESbytes erase all PESrow PESbits cfgrow
    t[1] = row(1, {0x00, 0x1A}, {2194, 20, 32, 64, 32, 2056, 8, 63, 54, 58, 64, 60}, {0x20, 0x04}, l.a);
    t[2] = row(2, {0x50, 0x51}, {3540, 20, 36, 96, 44, 3476, 8, 61, 60, 58, 80, 16}, {0x04, 0x04}, l.b);
    t[3] = row(3, {0x20, 0x3A}, {2706, 24, 40, 64, 40, 2568, 8, 63, 59, 58, 64, 60}, {0x40, 0x04}, l.c);
    t[4] = row(4, {0x60, 0x61}, {3274, 24, 40, 80, 40, 3210, 8, 61, 60, 58, 80, 16}, {0x20, 0x04}, l.d);
    t[5] = row(5, {0x65, 0x66}, {1671, 24, 40, 40, 44, 1631, 5, 61, 60, 58, 40, 16}, {0x20, 0x04}, l.e);
    t[6] = row(6, {0x48, 0x49}, {5892, 24, 44, 132, 44, 5828, 8, 61, 60, 58, 80, 16}, {0x20, 0x04}, l.f);
    t[7] = row(7, {0x58, 0x59}, {6432, 28, 52, 122, 52, 6368, 8, 61, 60, 58, 96, 16}, {0x10, 0x04}, l.g);
    t[8] = row(8, {0x40, 0x41}, {8294, 24, 78, 75, 97, 8222, 9, 63, 62, 96, 64, 8}, {0x20, 0x04}, l.h);
    t[9] = row(9, {0x44, 0x44}, {8330, 24, 78, 75, 97, 8258, 9, 63, 62, 96, 64, 8}, {0x20, 0x04}, l.i);
    t[10] = row(10, {0x00, 0x00}, {2194, 20, 32, 64, 32, 2056, 8, 63, 54, 58, 64, 60}, {0x20, 0x04}, l.a);
    t[11] = row(11, {0x00, 0x00}, {2706, 24, 40, 64, 40, 2568, 8, 63, 59, 58, 64, 60}, {0x40, 0x04}, l.c);
    t[12] = row(12, {0x00, 0x00}, {5892, 24, 44, 132, 44, 5828, 8, 61, 0, 58, 132, 16}, {0x20, 0x04}, l.f);
    t[13] = row(13, {0x00, 0x00}, {5892, 24, 44, 132, 44, 5828, 8, 61, 0, 58, 132, 16}, {0x20, 0x04}, l.f);
    t[14] = row(1, {0x00, 0x1A}, {2194, 20, 32, 64, 32, 2056, 8, 63, 54, 58, 64, 60}, {0x20, 0x04}, l.j);
    t[20] = row(20, {0x00, 0x00}, {2048, 20, 32, 64, 0, 0, 0, 0, 0, 0, 64, 0}, {0x00, 0x00}, {});
    t[21] = row(21, {0x00, 0x00}, {2048, 20, 32, 64, 0, 0, 0, 0, 0, 0, 64, 0}, {0xFF, 0x00}, {});
    return t;
}

}  // namespace

const PldGeometry* pldGeometry(int algorithm) {
    static const std::array<PldGeometry, kPldRows> table = buildTable();
    if (algorithm < 0 || algorithm >= kPldRows || table[std::size_t(algorithm)].empty()) return nullptr;
    return &table[std::size_t(algorithm)];
}

}  // namespace tesmar::sim
