#pragma once
// What the two "ID / Configuration" dialogs do as they open, and what the
// PIC dialog does when another tab comes up: which sheets show and with which
// captions, the fuse displays, the ID group and the hex labels, the opening
// masks, the page's set-up, every control set from the values. Written once
// over PageDialog, which the window dialogs implement with their binder and
// page control and the fuzz targets with their headless pages; what only
// concerns widgets (sizes, places, fitting captions to the font, the note
// strips) stays in the dialogs.
#include <string>
#include <vector>

#include "app/AppState.h"
#include "config/ConfigPages.h"
#include "config/ControlRows.h"
#include "config/PicPages.h"

namespace tesmar::config {

// A configuration dialog as its opening drives it.
class PageDialog {
public:
    virtual ~PageDialog() = default;

    // The dialog's controls and the values behind them.
    virtual StateContext& pages() = 0;
    // Shows the tabs of `sheets` with their captions and no other, the first
    // one current; with no sheet the dialog shows no page control at all.
    // The controls of these sheets (and the dialog's own) are the ones set
    // and refreshed from the values.
    virtual void showSheets(const std::vector<int>& sheets, const std::vector<std::string>& captions) = 0;
    // Sets each shown control from the values, as a user choosing that state would.
    virtual void decodeAll() = 0;
    // Every shown display shows its value again.
    virtual void refreshDisplays() = 0;
};

// The memory-protection and microcontroller pages of st.dev().
struct McuDialogOpening {
    std::vector<Sheet> sheets;  // shown, the first current; none: the device has no page to show
    bool mcuPage = false;       // a microcontroller page: the large frame and the fuse displays
};
McuDialogOpening openMcuDialogPages(PageDialog& dlg, const AppState& st);

// The PIC dialog on st.dev() (a 'C' record). Masks the configuration bytes
// of a classic or enhanced part and places the cursor on its configuration.
struct PicDialogOpening {
    const PicPageSet* set = nullptr;  // the sheets shown; none: the ID group alone
    bool pic18 = false;               // the ID group is GB_18F, else GB_ID
    bool idsUsable = false;           // the ID bytes lie inside the image: the group shows
    std::vector<std::string> notes;   // why the record gets no sheet, no masks or no ID edits
};
PicDialogOpening openPicDialogPages(PageDialog& dlg, AppState& st);

// The PIC dialog's hex labels of the configuration bytes: Label13 onward.
constexpr int kPicHexLabels = 14;

// The user brought the tab of `sheet` up: the ID group shows on the sheets
// that carry it (with usable IDs only).
void picTabChanged(PageContext& ctx, bool idsUsable, int sheet);

}  // namespace tesmar::config
