#include "config/DialogOpening.h"

#include "config/McuPages.h"

namespace tesmar::config {

namespace {

constexpr std::uint8_t kTwelveBitIdPage = 19;

// Sheets on which no ID group shows, and the PIC18 sheets that show the eight-byte one.
bool secondClassicSheet(PicSheet s) {
    return s == PicSheet::Page4A || s == PicSheet::Page10A || s == PicSheet::Page33A || s == PicSheet::Page46A;
}
bool firstPic18Sheet(PicSheet s) {
    return s == PicSheet::Page27 || s == PicSheet::Page34 || s == PicSheet::Page36 || s == PicSheet::Page38;
}

std::string hexLabel(int k) { return "Label" + std::to_string(13 + k); }

// Sets every shown control from the values while holding them: the rows a
// control runs as it is set write nothing, so the page shows what the values
// say and closing it unclicked leaves every setting as it was.
void showValues(PageDialog& dlg) {
    StateContext& ctx = dlg.pages();
    ctx.holdValues(true);
    dlg.decodeAll();
    ctx.holdValues(false);
    dlg.refreshDisplays();
}

}  // namespace

McuDialogOpening openMcuDialogPages(PageDialog& dlg, const AppState& st) {
    McuDialogOpening out;
    const DeviceRecord* dev = st.dev();
    if (dev)
        for (Sheet s : sheetsForPageCode(dev->PageCode))
            if (sheetBuilt(s)) out.sheets.push_back(s);
    out.mcuPage = dev && !out.sheets.empty() && isMcuPageCode(dev->PageCode);
    // The fuse displays below the sheets show only on the pages that name them.
    const unsigned displays = out.mcuPage ? fuseDisplaysShown(dev->PageCode) : 0;
    for (int i = 0; i < 3; ++i)
        for (const char* name : kFuseDisplays[i]) dlg.pages().setVisible(name, displays & (1u << i));

    std::vector<int> shown;
    std::vector<std::string> captions;
    for (Sheet s : out.sheets) {
        shown.push_back(int(s));
        // Page 208 keeps the form's tab text; the second sheet of page 204 is "Page 2".
        if (s == Sheet::Page204A) captions.emplace_back("Page 2");
        else if (s == Sheet::Page208) captions.emplace_back(kSheetNames[std::size_t(s)]);
        else captions.push_back(dev->Name);
    }
    dlg.showSheets(shown, captions);
    if (out.sheets.empty()) return out;
    if (const PageSetup setup = pageSetup(dev->PageCode)) setup(dlg.pages());
    showValues(dlg);
    return out;
}

PicDialogOpening openPicDialogPages(PageDialog& dlg, AppState& st) {
    PicDialogOpening out;
    StateContext& ctx = dlg.pages();
    ctx.setVisible("GB_18F", false);
    ctx.setEnabled("GB_18F", false);
    for (int k = 0; k < kPicHexLabels; ++k) ctx.setVisible(hexLabel(k), false);
    const DeviceRecord* dev = st.dev();
    if (!dev) {
        ctx.setVisible("GB_ID", false);
        dlg.showSheets({}, {});
        return out;
    }
    const PicPlaces places = picPlaces(*dev);
    ctx.setPlaces(places);

    // The ID group of the layout, where its bytes lie inside the image.
    out.pic18 = places.layout == PicLayout::Pic18;
    const char* ids = out.pic18 ? "GB_18F" : "GB_ID";
    const char* other = out.pic18 ? "GB_ID" : "GB_18F";
    ctx.setVisible(other, false);
    ctx.setEnabled(other, false);
    out.idsUsable = ctx.reachable(Target::id(places.idCount - 1));
    ctx.setVisible(ids, out.idsUsable);
    ctx.setEnabled(ids, out.idsUsable);
    if (!out.idsUsable) out.notes.emplace_back("The ID locations lie outside the memory image: they cannot be edited");

    if (!out.pic18) {
        std::string masked = applyOpeningMasks(st.buf, *dev);
        if (!masked.empty()) out.notes.push_back(std::move(masked));
    }
    if (dev->PageCode == kTwelveBitIdPage)
        ctx.PicConfigMask() = std::uint32_t(dev->ConfigMasks[0]) * 256 + dev->ConfigMasks[1];
    if (const auto at = places.configByte(out.pic18 ? 0 : 1); at && *at < st.buf.size()) st.buf.BufferCursor = *at;

    const PicOpening opening = picOpening(*dev, st.buf.size());
    if (!opening.note.empty()) out.notes.push_back(opening.note);
    if (!opening.set) {
        // Only the ID group and OK.
        dlg.showSheets({}, {});
        showValues(dlg);
        return out;
    }
    const PicPageSet& set = *opening.set;
    out.set = &set;
    std::vector<int> shown;
    std::vector<std::string> captions;
    for (std::size_t i = 0; i < set.sheets.size(); ++i) {
        shown.push_back(int(set.sheets[i]));
        captions.emplace_back(i == 0 ? dev->Name : std::string(set.captions.at(i - 1)));
    }
    for (int k = 0; k < set.labels && k < kPicHexLabels; ++k) ctx.setVisible(hexLabel(k), true);
    dlg.showSheets(shown, captions);
    if (set.setup) set.setup(ctx);
    showValues(dlg);
    if (set.finish) set.finish(ctx);
    return out;
}

void picTabChanged(PageContext& ctx, bool idsUsable, int sheet) {
    if (sheet < 0 || sheet >= kPicSheetCount || !idsUsable) return;
    const PicSheet s = PicSheet(sheet);
    if (ctx.device().Algorithm == 18) ctx.setVisible("GB_18F", firstPic18Sheet(s));
    else ctx.setVisible("GB_ID", !secondClassicSheet(s));
}

}  // namespace tesmar::config
