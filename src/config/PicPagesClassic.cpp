// The 12- and 14-bit configuration-word pages (all classic sheets but the
// Page10 set): the sets each page code shows and the rules the pages
// share. The rows of the pages are in PicPagesClassic0to17.cpp and
// PicPagesClassic20to33.cpp. Their rows edit kH and kL (word 1) and kH2 and
// kL2 (word 2) of the classic layout; the first sheet of a set keeps its
// left kIdGroupRight pixels for the ID group.
#include "config/PicPagesClassic.h"

#include <algorithm>

namespace tesmar::config {

namespace classic {

namespace {

struct Word1 {
    std::uint8_t h, l;
};

// H and L as the edit leaves them.
Word1 edited(PageContext& ctx, const Edit& e) {
    const auto& m = ctx.device().ConfigMasks;
    auto part = [&e](std::uint8_t v, std::uint8_t flag, std::uint8_t mask) {
        return (e.masked & flag) ? std::uint8_t(v & mask) : v;
    };
    const std::uint8_t h = ctx.value(kH), l = ctx.value(kL);
    return {std::uint8_t((h & e.hKeep) | part(e.hSet, kMaskHSet, m[0])),
            std::uint8_t((l & part(e.lKeep, kMaskLKeep, m[1])) | part(e.lSet, kMaskLSet, m[1]))};
}

const Patterns* patternsOf(std::span<const Patterns> table, const ControlRow& row) {
    for (const Patterns& p : table)
        if (p.group == row.name) return &p;
    return nullptr;
}

}  // namespace

void applyEdit(PageContext& ctx, const Edit& e) {
    const Word1 w = edited(ctx, e);
    ctx.setValue(kH, w.h);
    ctx.setValue(kL, w.l);
}

void applyPattern(PageContext& ctx, std::span<const Patterns> table, const ControlRow& row, int item) {
    const Patterns* p = patternsOf(table, row);
    if (p && item >= 0 && item < int(p->items.size())) applyEdit(ctx, p->items[std::size_t(item)]);
}

std::optional<int> patternDecode(PageContext& ctx, std::span<const Patterns> table, const ControlRow& row,
                                 std::optional<int> shown) {
    const Patterns* p = patternsOf(table, row);
    if (!p) return shown;
    const auto& m = ctx.device().ConfigMasks;
    const int items = std::min(int(p->items.size()), ctx.itemCount(row.name));
    auto keeps = [&](const Edit& e) {
        const Word1 w = edited(ctx, e);
        return ((w.h ^ ctx.value(kH)) & m[0]) == 0 && ((w.l ^ ctx.value(kL)) & m[1]) == 0;
    };
    auto holds = [&](int item) {
        if (item < 0 || item >= items) return false;
        if (keeps(p->items[std::size_t(item)])) return true;
        return std::any_of(p->alike.begin(), p->alike.end(),
                           [&](const Alike& a) { return a.item == item && keeps(a.edit); });
    };
    if (shown && holds(*shown)) return shown;
    for (int item = 0; item < items; ++item)
        if (holds(item)) return item;
    return -1;
}

std::optional<int> clampDecode(PageContext& ctx, const ControlRow& row) {
    const int n = ctx.itemCount(row.name);
    return n > 0 ? std::min(fieldOf(row, ctx.value(row.target)), n - 1) : -1;
}

namespace {

constexpr std::uint8_t kSplitLow = 0x03, kSplitHigh = 0x10;

std::optional<int> splitOscDecode(PageContext& ctx, const ControlRow& row) {
    const std::uint8_t v = ctx.value(row.target);
    return (v & kSplitLow) | ((v & kSplitHigh) ? 4 : 0);
}

void splitOscClick(PageContext& ctx, const ControlRow& row, int item) {
    const std::uint8_t bits = std::uint8_t((item & kSplitLow) | ((item & 4) ? kSplitHigh : 0));
    ctx.setValue(row.target, std::uint8_t((ctx.value(row.target) & row.keep) | bits));
}

}  // namespace

const Rule kSplitOsc{splitOscDecode, splitOscClick};

ControlRow placed(int x, int y, int itemCount, ControlRow row) {
    constexpr int kWidth = 230, kItemHeight = 22;
    return at(x, y, kWidth, kItemHeight * (itemCount + 1), std::move(row));
}

void showOnly(PageContext& ctx, std::initializer_list<const char*> all, const char* shown) {
    for (const char* name : all) ctx.setVisible(name, std::string_view(name) == shown);
}

std::vector<const char*> oscLXHR() { return {"LP", "XT", "HS", "RC"}; }
std::vector<const char*> protection2() { return {"All memory protected", "Protection off"}; }
std::vector<const char*> protection4() {
    return {"All memory protected", "Upper 3/4 memory protected", "Upper 1/2 memory protected", "Protection off"};
}

}  // namespace classic

namespace {

using S = PicSheet;
using namespace classic;
constexpr auto C = PicLayout::Classic;

const std::vector<PicPageSet> kSets = {
    {{0}, {S::Page0}, {}, C, 2},
    {{1}, {S::Page1}, {}, C, 2},
    {{2}, {S::Page2}, {}, C, 2},
    {{3}, {S::Page3}, {}, C, 2, setup3},
    {{4}, {S::Page4, S::Page4A}, {"Page 2"}, C, 4},
    {{5}, {S::Page5}, {}, C, 2, setup5},
    {{6}, {S::Page6}, {}, C, 2},
    {{7}, {S::Page7}, {}, C, 2},
    {{8}, {S::Page8}, {}, C, 2},
    {{9}, {S::Page9}, {}, C, 2},
    {{12}, {S::Page12}, {}, C, 2, setup12},
    {{15}, {S::Page15}, {}, C, 2},
    {{16}, {S::Page16}, {}, C, 2, setup16},
    {{17}, {S::Page17}, {}, C, 2},
    {{19, 40}, {S::Page40}, {}, C, 2},
    {{20}, {S::Page20}, {}, C, 2, setup20},
    {{21}, {S::Page21}, {}, C, 2, setup21},
    {{22}, {S::Page22}, {}, C, 2, setup22},
    {{23}, {S::Page23}, {}, C, 2, setup23, finish23},
    {{24}, {S::Page24}, {}, C, 2, nullptr, finish24},
    {{29}, {S::Page29}, {}, C, 2},
    {{30}, {S::Page30}, {}, C, 2, setup30},
    {{31}, {S::Page31}, {}, C, 2},
    {{32}, {S::Page32}, {}, C, 2},
    {{33}, {S::Page33, S::Page33A}, {"Page 2"}, C, 4, nullptr, finish33},
};

// The rows, parents before children; decoded in this order when the page opens.
std::vector<ControlRow> makeRows() {
    std::vector<ControlRow> rows = rows0to17();
    for (ControlRow& r : rows20to33()) rows.push_back(std::move(r));
    return rows;
}

}  // namespace

std::span<const PicPageSet> classicPageSets() { return kSets; }
std::span<const ControlRow> classicRows() {
    static const std::vector<ControlRow> rows = makeRows();
    return rows;
}

}  // namespace tesmar::config
