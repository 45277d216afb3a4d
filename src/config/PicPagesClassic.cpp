// The 12- and 14-bit configuration-word pages (all classic sheets but the
// Page10 set). Their rows edit kH and kL (word 1) and kH2 and kL2 (word 2)
// of the classic layout.
//
// The sheets are in the frame but have no rows yet, so their sets do not
// show and the Config button stays off for their page codes. To build a
// page: add its rows to makeRows() below (the first sheet of a set keeps its left
// kIdGroupRight pixels for the ID group), its rules beside them, and its
// opening steps (hiding groups by size, captions by name, byte
// normalisations) as the set's setup function. Once every sheet of a set
// has rows, the set shows.
#include "config/PicPages.h"

namespace tesmar::config {

namespace {

using S = PicSheet;
constexpr auto C = PicLayout::Classic;

const std::vector<PicPageSet> kSets = {
    {{0}, {S::Page0}, {}, C, 2},
    {{1}, {S::Page1}, {}, C, 2},
    {{2}, {S::Page2}, {}, C, 2},
    {{3}, {S::Page3}, {}, C, 2},
    {{4}, {S::Page4, S::Page4A}, {"Page 2"}, C, 4},
    {{5}, {S::Page5}, {}, C, 2},
    {{6}, {S::Page6}, {}, C, 2},
    {{7}, {S::Page7}, {}, C, 2},
    {{8}, {S::Page8}, {}, C, 2},
    {{9}, {S::Page9}, {}, C, 2},
    {{12}, {S::Page12}, {}, C, 2},
    {{15}, {S::Page15}, {}, C, 2},
    {{16}, {S::Page16}, {}, C, 2},
    {{17}, {S::Page17}, {}, C, 2},
    {{19, 40}, {S::Page40}, {}, C, 2},
    {{20}, {S::Page20}, {}, C, 2},
    {{21}, {S::Page21}, {}, C, 2},
    {{22}, {S::Page22}, {}, C, 2},
    {{23}, {S::Page23}, {}, C, 2},
    {{24}, {S::Page24}, {}, C, 2},
    {{29}, {S::Page29}, {}, C, 2},
    {{30}, {S::Page30}, {}, C, 2},
    {{31}, {S::Page31}, {}, C, 2},
    {{32}, {S::Page32}, {}, C, 2},
    {{33}, {S::Page33, S::Page33A}, {"Page 2"}, C, 4},
};

// The rows, parents before children; decoded in this order when the page opens.
std::vector<ControlRow> makeRows() { return {}; }

}  // namespace

std::span<const PicPageSet> classicPageSets() { return kSets; }
std::span<const ControlRow> classicRows() {
    static const std::vector<ControlRow> rows = makeRows();
    return rows;
}

}  // namespace tesmar::config
