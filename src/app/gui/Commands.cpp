// The main window's dialog buttons. Each does nothing without a programmer.
#include "app/gui/Commands.h"

#include "app/gui/TfrmMains.h"
#include "app/gui/TfrmOption.h"
#include "config/gui/TfrmConfig.h"
#include "config/gui/TfrmPicConfig.h"
#include "config/gui/TgalConfig.h"
#include "editors/gui/TFuseEditor.h"
#include "editors/gui/THexEditor.h"
#include "families/PldGeometry.h"
#include "fileformats/gui/LoadSaveCommands.h"
#include "operations/Checksum.h"
#include "operations/Report.h"
#include "operations/gui/TfrmAutoInc.h"

namespace tesmar {
namespace {

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
        TfrmConfig dlg(st, &w);
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
