#pragma once
// What the PIC dialog's sheets show, control by control.
#include <QCheckBox>
#include <map>
#include <string>

#include "config/gui/TfrmPicConfig.h"

namespace tesmar::test {

// Every check box (0/1) and radio group (its item, -1 none) shown on the
// sheets of the open set, by name.
inline std::map<std::string, int> shownStates(const TfrmPicConfig& d) {
    std::map<std::string, int> out;
    for (config::PicSheet s : d.visibleSheets()) {
        QWidget* sheet = d.sheet(s);
        for (QCheckBox* b : sheet->findChildren<QCheckBox*>())
            if (b->isVisibleTo(sheet)) out[b->objectName().toStdString()] = b->isChecked();
        for (RadioGroup* g : sheet->findChildren<RadioGroup*>())
            if (g->isVisibleTo(sheet)) out[g->objectName().toStdString()] = g->itemIndex();
    }
    return out;
}

}  // namespace tesmar::test
