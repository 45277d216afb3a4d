#pragma once
// The PIC configuration dialog as data: its 46 sheets, the sheet set each
// page code shows, the rows of its controls and the opening rules (masks,
// which record may have which sheets).
//
// The rows and sets live in one file per group of pages, each providing a
// set table and a row table:
//   PicPagesClassic.cpp  the 12- and 14-bit pages (Page0 .. Page40 but Page10)
//   PicPagesTwoWord.cpp  Page10 and the Page46 set
//   PicPages18.cpp       the Page27 and Page34 sets (PIC18)
//   PicPages18New.cpp    the Page36 and Page38 sets (PIC18)
// A sheet is built once it has rows; a set shows only when all its sheets
// are built. The first sheet of a set shares its top left corner with the ID
// group, so its placed controls start at kIdGroupRight.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "config/ControlRows.h"
#include "config/PicPlaces.h"

namespace tesmar::config {

enum class PicSheet : int {
    Page0, Page1, Page2, Page3, Page4, Page4A, Page5, Page6, Page7, Page8, Page9, Page10, Page10A, Page12,
    Page15, Page16, Page17, Page20, Page21, Page22, Page23, Page24, Page27, Page27A, Page27B, Page29, Page30,
    Page31, Page32, Page33, Page33A, Page34, Page34A, Page34B, Page36, Page36A, Page36B, Page36C, Page38,
    Page38A, Page38B, Page38C, Page38D, Page40, Page46, Page46A,
};
constexpr int kPicSheetCount = 46;
extern const std::array<const char*, kPicSheetCount> kPicSheetNames;

// Sheet coordinates the ID group covers on the first sheet of a set.
constexpr int kIdGroupRight = 124;

// The configuration bytes as the targets of the rows. Classic and enhanced
// pages: word 1 high and low byte, word 2 high and low byte.
inline constexpr Target kH = Target::config(0), kL = Target::config(1), kH2 = Target::config(2),
                        kL2 = Target::config(3);
// PIC18: CONFIG1H, CONFIG1L ... CONFIG7L.
inline constexpr Target kConfig1H = Target::config(0), kConfig1L = Target::config(1),
                        kConfig2H = Target::config(2), kConfig2L = Target::config(3),
                        kConfig3H = Target::config(4), kConfig3L = Target::config(5),
                        kConfig4H = Target::config(6), kConfig4L = Target::config(7),
                        kConfig5H = Target::config(8), kConfig5L = Target::config(9),
                        kConfig6H = Target::config(10), kConfig6L = Target::config(11),
                        kConfig7H = Target::config(12), kConfig7L = Target::config(13);

// The sheets one page code shows.
struct PicPageSet {
    std::vector<std::uint8_t> codes;
    std::vector<PicSheet> sheets;        // the first is captioned with the device name
    std::vector<const char*> captions;   // of the later sheets
    PicLayout layout;                    // the layout whose bytes the rows edit
    int labels;                          // hex labels written, Label13 onward (configuration byte 0 onward)
    void (*setup)(PageContext& ctx) = nullptr;   // before the controls are set from the bytes
    void (*finish)(PageContext& ctx) = nullptr;  // after, once the labels show the bytes
};

// The sets and rows of each page group.
std::span<const PicPageSet> classicPageSets();
std::span<const ControlRow> classicRows();
std::span<const PicPageSet> twoWordPageSets();
std::span<const ControlRow> twoWordRows();
std::span<const PicPageSet> pic18PageSets();
std::span<const ControlRow> pic18Rows();
std::span<const PicPageSet> pic18NewPageSets();
std::span<const ControlRow> pic18NewRows();

// The dialog's own rows (ID groups, hex labels), then every group's, in this order.
std::span<const ControlRow> picControlRows();
const ControlRow* findPicRow(std::string_view name);
// The set of a page code; nullptr for a code without sheets.
const PicPageSet* picPageSet(std::uint8_t pageCode);
bool picSheetBuilt(PicSheet sheet);
// Where the binder starts placing the controls of a sheet.
int picSheetFlowLeft(PicSheet sheet);

// What opening shows for a record in a buffer of `bufferSize` bytes: the set
// of its page code, or none with the reason when the code's set edits
// another layout than the record's, the record counts more configuration
// bytes than it has masks for or fewer than the set edits, or the set's
// bytes lie outside the buffer.
struct PicOpening {
    const PicPageSet* set = nullptr;
    std::string note;
};
PicOpening picOpening(const DeviceRecord& rec, std::size_t bufferSize);

// Config button: a PIC record opens the dialog unless its page code has a
// set whose sheets are not built yet.
bool picConfigPageBuilt(const DeviceRecord& rec);

// Opening of a classic or enhanced part: each configuration byte ANDed with
// its mask, in pairs from byte 0 while below ConfigMaskCount. A count beyond
// the record's 16 masks is refused: nothing is masked and the line says so.
// PIC18 parts are not masked here.
std::string applyOpeningMasks(ImageBuffer& buf, const DeviceRecord& rec);

// The rules of the ID edits: a classic ID shows 7 bits (4 with page code 19)
// and entry sets the others; a PIC18 ID byte shows and takes all 8.
extern const Rule kClassicId;
extern const Rule kPic18Id;
// Plain bits, then the byte ANDed with the device's mask of that byte
// (ConfigMasks[k]) as well as with the keep mask.
extern const Rule kDeviceMasked;

}  // namespace tesmar::config
