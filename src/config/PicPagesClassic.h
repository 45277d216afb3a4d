#pragma once
// What the files of the 12- and 14-bit pages share: the fixed protection
// patterns, the rules several pages use, the item lists and the opening
// steps of each set.
//
//   PicPagesClassic.cpp        the sets, the shared rules
//   PicPagesClassic0to17.cpp   Page0 .. Page17 and Page40
//   PicPagesClassic20to33.cpp  Page20 .. Page33
#include <span>
#include <string_view>
#include <vector>

#include "config/PicPages.h"

namespace tesmar::config::classic {

// One protection choice of a page: each byte of word 1 becomes (byte AND
// keep) OR set. Some pages hold parts of the pattern to the bits the device
// implements: `masked` says which parts are ANDed with the mask of their
// byte (ConfigMasks[0] for H, [1] for L).
struct Edit {
    std::uint8_t hKeep, hSet, lKeep, lSet;
    std::uint8_t masked = 0;
};
inline constexpr std::uint8_t kMaskHSet = 1, kMaskLKeep = 2, kMaskLSet = 4;
inline constexpr std::uint8_t kMaskAll = kMaskHSet | kMaskLKeep | kMaskLSet;

// A word that stands for an item without being its pattern: on a part of
// 1K words the code that protects 0400h-07FFh protects nothing, as "off" does.
struct Alike {
    int item;
    Edit edit;
};

// The choices of one protection group, by item.
struct Patterns {
    std::string_view group;
    std::vector<Edit> items;
    std::vector<Alike> alike = {};
};

void applyEdit(PageContext& ctx, const Edit& e);
// Writes the pattern of `item` of the group `row` names; nothing for a
// group or item the table lacks.
void applyPattern(PageContext& ctx, std::span<const Patterns> table, const ControlRow& row, int item);
// The item of the group `row` names whose pattern (or a word alike) the word
// already holds, so that choosing it changes no bit the device implements or
// only such a word into its pattern: `shown` when it holds, else the first
// that does, else -1, for a combination of protection bits no item stands
// for. A group the table lacks shows `shown`.
std::optional<int> patternDecode(PageContext& ctx, std::span<const Patterns> table, const ControlRow& row,
                                 std::optional<int> shown);

// The field as the item, a field past the last item showing the last one
// (the three-item protection groups, whose last item is the field's top value).
std::optional<int> clampDecode(PageContext& ctx, const ControlRow& row);

// An oscillator field split over L bit 4 (item bit 2) and L bits 1:0.
extern const Rule kSplitOsc;

// A group placed by hand: alternative groups share one place on a sheet,
// right of the flowed columns.
constexpr int kAltX = 540, kAltY = 8;
ControlRow placed(int x, int y, int itemCount, ControlRow row);
// Shows `shown` and hides the other groups of `all`.
void showOnly(PageContext& ctx, std::initializer_list<const char*> all, const char* shown);

// Item lists several pages share.
std::vector<const char*> oscLXHR();      // "LP", "XT", "HS", "RC"
std::vector<const char*> protection2();  // all memory protected / off
std::vector<const char*> protection4();  // all, upper 3/4, upper 1/2, off

// The rows of each group of pages.
std::vector<ControlRow> rows0to17();
std::vector<ControlRow> rows20to33();

// Opening steps, run before the controls are set (setup) or after the hex
// labels show the bytes (finish).
void setup3(PageContext& ctx);
void setup5(PageContext& ctx);
void setup12(PageContext& ctx);
void setup16(PageContext& ctx);
void setup20(PageContext& ctx);
void setup21(PageContext& ctx);
void setup22(PageContext& ctx);
void setup23(PageContext& ctx);
void finish23(PageContext& ctx);
void finish24(PageContext& ctx);
void setup30(PageContext& ctx);
void finish33(PageContext& ctx);

}  // namespace tesmar::config::classic
