#pragma once
// What the PIC dialog's sheets show, control by control.
#include <QCheckBox>
#include <map>
#include <string>
#include <vector>

#include "config/gui/TfrmPicConfig.h"

namespace tesmar::test {

// The check boxes and radio groups shown on the sheets of the open set, sheet
// by sheet, boxes first. `usable`: only those a user can change (enabled, a
// group with items).
inline std::vector<QWidget*> shownControls(const TfrmPicConfig& d, bool usable = false) {
    std::vector<QWidget*> out;
    for (config::PicSheet s : d.visibleSheets()) {
        QWidget* sheet = d.sheet(s);
        for (QCheckBox* b : sheet->findChildren<QCheckBox*>())
            if (b->isVisibleTo(sheet) && (!usable || b->isEnabled())) out.push_back(b);
        for (RadioGroup* g : sheet->findChildren<RadioGroup*>())
            if (g->isVisibleTo(sheet) && (!usable || (g->isEnabled() && g->count() > 0))) out.push_back(g);
    }
    return out;
}

// Every check box (0/1) and radio group (its item, -1 none) shown on the
// sheets of the open set, by name.
inline std::map<std::string, int> shownStates(const TfrmPicConfig& d) {
    std::map<std::string, int> out;
    for (QWidget* w : shownControls(d)) {
        const std::string name = w->objectName().toStdString();
        if (auto* b = qobject_cast<QCheckBox*>(w)) out[name] = b->isChecked();
        else out[name] = static_cast<RadioGroup*>(w)->itemIndex();
    }
    return out;
}

}  // namespace tesmar::test
