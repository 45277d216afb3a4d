#include "families/PldGeometry.h"

#include <algorithm>
#include <array>
#include <vector>

namespace tesmar {
namespace {

using FuseList = std::vector<std::int32_t>;

// a, a+1, ..., b (ascending) or a, a-1, ..., b (descending), by `step`.
void run(FuseList& l, int a, int b, int step = 1) {
    if (a <= b)
        for (int f = a; f <= b; f += step) l.push_back(f);
    else
        for (int f = a; f >= b; f -= step) l.push_back(f);
}

// a+1, a, a+3, a+2, ..., b, b-1.
void swappedPairs(FuseList& l, int a, int b) {
    for (int f = a; f + 1 <= b; f += 2) {
        l.push_back(f + 1);
        l.push_back(f);
    }
}

// The configuration fuses of the 20- and 24-pin V8 parts: `base` is the
// first configuration fuse (2048 or 2560), the UES lies 8..71 above it.
FuseList v8List(int base) {
    FuseList l;
    run(l, base, base + 3);
    l.push_back(base + 145);
    run(l, base + 72, base + 75);
    run(l, base + 80, base + 143);
    run(l, base + 76, base + 79);
    l.push_back(base + 144);
    run(l, base + 4, base + 7);
    return l;
}

FuseList listJ() {
    FuseList l;
    run(l, 2128, 2159);
    run(l, 2048, 2051);
    l.push_back(2193);
    run(l, 2120, 2127);
    l.push_back(2192);
    run(l, 2052, 2055);
    run(l, 2160, 2191);
    return l;
}

FuseList pairsList(int a, int b) {
    FuseList l;
    swappedPairs(l, a, b);
    return l;
}

FuseList listD() {
    FuseList l;
    run(l, 3200, 3209);
    return l;
}

FuseList listE() {
    FuseList l{1630, 1628, 1629};
    run(l, 1620, 1622);
    run(l, 1610, 1614);
    run(l, 1600, 1604);
    for (int f : {1627, 1626, 1623, 1624, 1625, 1619, 1618, 1617, 1616, 1615, 1609, 1608, 1607, 1606, 1605})
        l.push_back(f);
    return l;
}

// The middle of the 6001/6002 lists: 40 output-cell fuses, then (after a
// part-specific run) 24 product-term fuses.
void outputCells(FuseList& l) {
    run(l, 8179, 8215, 4);
    run(l, 8214, 8178, 4);
    for (int a = 8216; a >= 8180; a -= 4) run(l, a, a + 1);
}
void productTerms(FuseList& l) {
    run(l, 8156, 8177, 3);
    run(l, 8154, 8175, 3);
    l.push_back(8176);
    run(l, 8173, 8155, 3);
}

FuseList listH() {
    FuseList l{8221, 8220};
    outputCells(l);
    productTerms(l);
    l.insert(l.end(), {8218, 8219});
    return l;
}

FuseList listI() {
    FuseList l{8257, 8256};
    outputCells(l);
    run(l, 8255, 8238);
    run(l, 8220, 8237);
    productTerms(l);
    l.insert(l.end(), {8218, 8219});
    return l;
}

struct Lists {
    FuseList a = v8List(2048), b = pairsList(3456, 3475), c = v8List(2560), d = listD(), e = listE(),
             f = pairsList(5808, 5827), g = pairsList(6344, 6367), h = listH(), i = listI(), j = listJ();
};

const std::array<GalRow, kGalTableRows>& table() {
    static const Lists L;
    static const std::array<GalRow, kGalTableRows> t = [] {
        const GalRow empty{0, {0, 0}, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 64, 0, {0, 0}, {}, 0};
        std::array<GalRow, kGalTableRows> r;
        r.fill(empty);
        //       type codes        fuses pins rows bits ues  uesFuse uesB erase all  pes  pesB cfg  extra       list  cfgBits
        r[1] = {1, {0x00, 0x1A}, 2194, 20, 32, 64, 32, 2056, 8, 63, 54, 58, 64, 60, {0x20, 0x04}, L.a, 82};
        r[2] = {2, {0x50, 0x51}, 3540, 20, 36, 96, 44, 3476, 8, 61, 60, 58, 80, 16, {0x04, 0x04}, L.b, 20};
        r[3] = {3, {0x20, 0x3A}, 2706, 24, 40, 64, 40, 2568, 8, 63, 59, 58, 64, 60, {0x40, 0x04}, L.c, 82};
        r[4] = {4, {0x60, 0x61}, 3274, 24, 40, 80, 40, 3210, 8, 61, 60, 58, 80, 16, {0x20, 0x04}, L.d, 10};
        r[5] = {5, {0x65, 0x66}, 1671, 24, 40, 40, 44, 1631, 5, 61, 60, 58, 40, 16, {0x20, 0x04}, L.e, 31};
        r[6] = {6, {0x48, 0x49}, 5892, 24, 44, 132, 44, 5828, 8, 61, 60, 58, 80, 16, {0x20, 0x04}, L.f, 20};
        r[7] = {7, {0x58, 0x59}, 6432, 28, 52, 122, 52, 6368, 8, 61, 60, 58, 96, 16, {0x10, 0x04}, L.g, 24};
        r[8] = {8, {0x40, 0x41}, 8294, 24, 78, 75, 97, 8222, 9, 63, 62, 96, 64, 8, {0x20, 0x04}, L.h, 68};
        r[9] = {9, {0x44, 0x44}, 8330, 24, 78, 75, 97, 8258, 9, 63, 62, 96, 64, 8, {0x20, 0x04}, L.i, 104};
        r[10] = {10, {0x00, 0x00}, 2194, 20, 32, 64, 32, 2056, 8, 63, 54, 58, 64, 60, {0x20, 0x04}, L.a, 82};
        r[11] = {11, {0x00, 0x00}, 2706, 24, 40, 64, 40, 2568, 8, 63, 59, 58, 64, 60, {0x40, 0x04}, L.c, 82};
        r[12] = {12, {0x00, 0x00}, 5892, 24, 44, 132, 44, 5828, 8, 61, 0, 58, 132, 16, {0x20, 0x04}, L.f, 20};
        r[13] = {13, {0x00, 0x00}, 5892, 24, 44, 132, 44, 5828, 8, 61, 0, 58, 132, 16, {0x20, 0x04}, L.f, 20};
        r[14] = {1, {0x00, 0x1A}, 2194, 20, 32, 64, 32, 2056, 8, 63, 54, 58, 64, 60, {0x20, 0x04}, L.j, 82};
        r[20] = {20, {0x00, 0x00}, 2048, 20, 32, 64, 0, 0, 0, 0, 0, 0, 64, 0, {0x00, 0x00}, {}, 0};
        r[21] = {21, {0x00, 0x00}, 2048, 20, 32, 64, 0, 0, 0, 0, 0, 0, 64, 0, {0xFF, 0x00}, {}, 0};
        for (int i = 15; i <= 19; ++i) r[std::size_t(i)].type = i;
        return r;
    }();
    return t;
}

}  // namespace

const GalRow* galTableRow(int algorithm) {
    if (algorithm < 0 || algorithm >= kGalTableRows) return nullptr;
    return &table()[std::size_t(algorithm)];
}

const GalRow* pldGeometry(const DeviceRecord& rec) {
    const GalRow* row = galTableRow(rec.Algorithm);
    if (!row || row->rows <= 0 || row->rowBits <= 0) return nullptr;
    return row;
}

std::int32_t PldRows(const DeviceRecord& rec) {
    const GalRow* g = pldGeometry(rec);
    return g ? g->rows : 0;
}

std::int32_t PldRowBits(const DeviceRecord& rec) {
    const GalRow* g = pldGeometry(rec);
    return g ? g->rowBits : 0;
}

std::int32_t PldArrayFuses(const DeviceRecord& rec) {
    const GalRow* g = pldGeometry(rec);
    return g ? g->rows * g->rowBits : 0;
}

std::int32_t PldConfigBits(const DeviceRecord& rec) {
    const GalRow* g = pldGeometry(rec);
    return g ? g->configBits : 0;
}

std::int32_t PldFirstConfigFuse(const DeviceRecord& rec) {
    const GalRow* g = pldGeometry(rec);
    if (!g || g->configFuses.empty()) return 0;
    return *std::min_element(g->configFuses.begin(), g->configFuses.end());
}

std::int32_t PldUesFuse(const DeviceRecord& rec) {
    const GalRow* g = pldGeometry(rec);
    return g ? g->uesFuse : 0;
}

bool pldHasUes(const DeviceRecord& rec) {
    const GalRow* g = pldGeometry(rec);
    return g && g->uesBytes > 0 && rec.Algorithm != 13;
}

bool pldWideArray(const DeviceRecord& rec) { return rec.Algorithm == 8 || rec.Algorithm == 9; }

std::vector<FuseRange> pldUntransferredFuses(const DeviceRecord& rec) {
    const GalRow* g = pldGeometry(rec);
    if (!g || g->fuses <= 0) return {};
    // What the transfers reach: the array cells (fuses 0 .. rows x bits - 1),
    // the UES row where it is moved, the configuration list.
    std::vector<bool> moved(std::size_t(g->fuses), false);
    const auto mark = [&](std::int64_t from, std::int64_t count) {
        for (std::int64_t f = std::max<std::int64_t>(from, 0); f < from + count && f < g->fuses; ++f)
            moved[std::size_t(f)] = true;
    };
    mark(0, std::int64_t(g->rows) * g->rowBits);
    if (pldHasUes(rec)) mark(g->uesFuse, g->rowBits);
    for (std::int32_t f : g->configFuses) mark(f, 1);
    std::vector<FuseRange> out;
    for (std::int32_t f = 0; f < g->fuses; ++f) {
        if (moved[std::size_t(f)]) continue;
        if (!out.empty() && out.back().last == f - 1)
            out.back().last = f;
        else
            out.push_back({f, f});
    }
    return out;
}

}  // namespace tesmar
