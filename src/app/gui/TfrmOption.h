#pragma once
// The Options dialog: general options the selected device allows, its
// programming steps, the sound switch and odd/even EPROM pairs. Every click
// takes effect at once on the settings; there is no Cancel.
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <array>

#include "app/AppState.h"
#include "app/Options.h"

namespace tesmar {

class TfrmOption : public QDialog {
    Q_OBJECT
public:
    // `eraseEnabled`: whether the main window's Erase button is enabled (an
    // erasable EPROM gets its blank-check and auto-erase steps). The main
    // window's font and palette are copied when `parent` is given.
    TfrmOption(AppState& st, bool eraseEnabled, QWidget* parent = nullptr);

    QGroupBox *GroupBox1, *GroupBox3;
    QCheckBox *CheckBox1, *CheckBox2, *CheckBox3, *CheckBox4, *CheckBox5, *CheckBox6, *CheckBox8;
    QCheckBox *OddEvenBox, *ChSoundON;
    QPushButton* BitBtn3;
    QLabel* EpromLabel;
    QCheckBox *ProgStep0, *ProgStep1, *ProgStep2, *ProgStep3, *ProgStep4, *ProgStep5, *ProgStep6;

public slots:
    void CheckBox1Click(bool ticked) { generalOptionClick(0, ticked); }
    void CheckBox3Click(bool ticked) { generalOptionClick(2, ticked); }
    void CheckBox4Click(bool ticked) { generalOptionClick(3, ticked); }
    void ChSoundONClick(bool ticked);
    void ProgStep0Click(bool ticked) { progStepClick(0, ticked); }
    void ProgStep1Click(bool ticked) { progStepClick(1, ticked); }
    void ProgStep2Click(bool ticked) { progStepClick(2, ticked); }
    void ProgStep3Click(bool ticked) { progStepClick(3, ticked); }
    void ProgStep4Click(bool ticked) { progStepClick(4, ticked); }
    void ProgStep5Click(bool ticked) { progStepClick(5, ticked); }
    void ProgStep6Click(bool ticked) { progStepClick(6, ticked); }
    void OddEvenBoxClick(bool ticked);

private:
    void buildUi();
    void FormCreate();
    void copyLook(const QWidget* from);
    void generalOptionClick(int row, bool ticked);
    void progStepClick(int box, bool ticked);

    AppState& st_;
    OptionContext ctx_;
    std::array<QCheckBox*, kGeneralOptions.size()> general_{};
    std::array<QCheckBox*, kStepBoxes> steps_{};
    // While the dialog opens, ticking the odd/even box only records the mode:
    // the image the user has is kept.
    bool creating_ = false;
};

}  // namespace tesmar
