// The main window's dialog buttons. Each does nothing without a programmer.
#include "app/gui/Commands.h"

#include "app/gui/TfrmMains.h"
#include "app/gui/TfrmOption.h"
#include "config/ConfigPages.h"
#include "config/gui/TfrmConfig.h"
#include "config/gui/TfrmPicConfig.h"
#include "config/gui/TgalConfig.h"
#include "editors/gui/TFuseEditor.h"
#include "editors/gui/THexEditor.h"
#include "families/Mcu.h"
#include "families/PldGeometry.h"
#include "fileformats/gui/LoadSaveCommands.h"
#include "operations/Checksum.h"
#include "operations/Report.h"
#include "operations/gui/TfrmAutoInc.h"

namespace tesmar {
namespace {

// A microcontroller's fuse and lock page opens on the chip's own bytes: after
// a selection the values are the selection's zeros, and one click would make
// Program write every one of them. Until they are read (by a Read, or here,
// as an operation of its own with the progress window and Abort) they stay
// unknown, and Program leaves them alone.
void readChipFusesFirst(TfrmMains& w) {
    AppState& st = w.state();
    const DeviceRecord& d = *st.dev();
    if (d.FamilyLetter != 'M' || st.mcu.McuConfigKnown || !McuFuseReadFillsConfig(d)) return;
    if (config::sheetsForPageCode(d.PageCode).empty()) return;
    // What a read that failed or was aborted brought counts for nothing.
    if (runOperation(w, kMcuReadFusesOp, QStringLiteral("Read Fuses")) != OperationEnd::Good)
        st.mcu.McuConfigKnown = false;
}

// A PLD whose algorithm names no fuse geometry has no map to edit or show.
bool refusedWithoutGeometry(AppState& st) {
    if (pldHasGeometry(*st.dev())) return false;
    memo(st, " ID Error  Device ");
    return true;
}

}  // namespace

void runLoad(TfrmMains& w) {
    if (w.state().ProgrammerState == 0 || !w.state().dev()) return;
    LoadButtonClick(w.state(), &w, *w.LoadDialog, *w.SaveDialog, w.FileName);
}

void runSave(TfrmMains& w) {
    if (w.state().ProgrammerState == 0 || !w.state().dev()) return;
    SaveButtonClick(w.state(), &w, *w.SaveDialog, *w.FileL);
}

void runEdit(TfrmMains& w) {
    AppState& st = w.state();
    if (st.ProgrammerState == 0 || !st.dev()) return;
    if (st.dev()->FamilyLetter == 'P') {
        if (refusedWithoutGeometry(st)) return;
        TFuseEditor editor(st, &w);
        editor.exec();
    } else {
        THexEditor editor(st, &w);
        editor.exec();
    }
    UpdateChecksum(st);
}

void runConfig(TfrmMains& w) {
    AppState& st = w.state();
    if (st.ProgrammerState == 0 || !st.dev()) return;
    if (st.dev()->FamilyLetter == 'P') {
        if (refusedWithoutGeometry(st)) return;
        TgalConfig view(st, &w);
        view.exec();
    } else if (st.dev()->FamilyLetter == 'C') {
        TfrmPicConfig dlg(st, &w);
        dlg.exec();
    } else {
        readChipFusesFirst(w);
        TfrmConfig dlg(st, &w);
        if (dlg.fusesUnknown()) memo(st, dlg.FuseNote->text());
        dlg.exec();
    }
    UpdateChecksum(st);
}

void runOptions(TfrmMains& w) {
    AppState& st = w.state();
    if (st.ProgrammerState == 0 || !st.dev()) return;
    TfrmOption dialog(st, w.SB_Erase->isEnabled(), &w);
    dialog.exec();
}

void runAutoInc(TfrmMains& w) {
    AppState& st = w.state();
    if (st.ProgrammerState == 0 || !st.dev()) return;
    TfrmAutoInc form(st, &w);
    form.exec();
}

}  // namespace tesmar
