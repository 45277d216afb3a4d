#pragma once
// The main window on the simulated programmer with a PIC of the sample data
// selected: the Config button's dialog, the toolbar's file dialogs, the
// operations' memo lines and the chip in the socket.
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "config/PicControlStates.h"
#include "fileformats/gui/TfrmFileFormat.h"
#include "sim/Pic18Chip.h"
#include "sim/PicChip.h"
#include "support/MainWindowRig.h"

namespace tesmar::test {

class PicWindowRig : public MainWindowRig {
protected:
    // Selects the part of that name through the selection dialog; Verify
    // checks at the nominal voltage only.
    void selectNamed(const std::string& name) {
        const auto found = findDevice(3, name);
        ASSERT_TRUE(found) << name << " is not in the sample data";
        select(found->place);
        ASSERT_EQ(st().dev()->Name, name);
        st().settings.VerifyMaxMin = 0;
    }
    // Clicks Config and lets `act` work on the dialog before OK closes it;
    // returns what the sheets showed at OK.
    std::map<std::string, int> configure(const std::function<void(TfrmPicConfig&)>& act) {
        std::map<std::string, int> states;
        bool opened = false;
        onNextModal(
            [&](QWidget* w) {
                opened = true;
                auto* d = static_cast<TfrmPicConfig*>(w);
                act(*d);
                states = shownStates(*d);
                QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
            },
            "tesmar::TfrmPicConfig");
        EXPECT_TRUE(w().SB_Config->isEnabled());
        w().SB_Config->click();
        EXPECT_TRUE(opened);
        return states;
    }
    // Loads or saves `file` through the toolbar button and its two dialogs,
    // as INHX8M or INHX16.
    void transfer(QAbstractButton* button, const QString& file, bool inhx16 = false) {
        onNextModal(
            [file](QWidget* d) {
                // The dialog opens on the last file; the file typed must win over it.
                auto* f = static_cast<QFileDialog*>(d);
                f->selectFile(file);
                f->findChild<QLineEdit*>("fileNameEdit")->setText(file);
                static_cast<QDialog*>(f)->accept();
            },
            "QFileDialog");
        onNextModal(
            [inhx16](QWidget* d) {
                auto* f = static_cast<TfrmFileFormat*>(d);
                (inhx16 ? f->RB_Inx16 : f->RB_Inh8m)->setChecked(true);
                f->BitBtn1->click();
            },
            "tesmar::TfrmFileFormat");
        button->click();
    }
    // The memo's lines of one click of `button`.
    QStringList press(QAbstractButton* button) {
        clearLogs();
        button->click();
        return w().memoLines();
    }
    // One click of `button` that must succeed, showing `line`.
    bool ran(QAbstractButton* button, const QString& line) {
        const QStringList lines = press(button);
        EXPECT_TRUE(lines.contains(line) && st().ErrorFlag.get() == 0) << lines.join('\n').toStdString();
        return st().ErrorFlag.get() == 0;
    }
    sim::PicChip& chip16() { return dynamic_cast<sim::PicChip&>(*sim_.chip()); }
    sim::Pic18Chip& chip18() { return dynamic_cast<sim::Pic18Chip&>(*sim_.chip()); }
};

}  // namespace tesmar::test
