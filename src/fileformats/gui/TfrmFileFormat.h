#pragma once
// "Select File Format": the format, the buffer fill and the load offset of a
// load, or the Start - Stop range of a save (AppState::file.SaveMode).
#include <QDialog>

#include "app/AppState.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tesmar {

class TfrmFileFormat : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFileFormat(AppState& st, QWidget* owner = nullptr);

    QGroupBox* GroupBox1;  // " Buffer Fill Option "
    QRadioButton *RB_Default, *RB_Zero, *RB_FF, *RB_No;
    QGroupBox* GroupBox2;  // " File Format  "
    QRadioButton *RB_Intelhex, *RB_Motorola, *RB_Binary, *RB_Inh8m, *RB_Inx16;
    QGroupBox* GroupBox3;  // " Offset "
    QLineEdit* Edit1;
    QLabel* Label1;
    QRadioButton *RB_Add, *RB_Sub;
    QGroupBox* GroupBox4;  // " Start - Stop "
    QLineEdit *Edit2, *Edit3;
    QPushButton *BitBtn1, *BitBtn2;

    void F_FormatClick();
    void RB_FillClick();
    void OffSet();
    void BitBtn1Click();
    void BitBtn2Click();

    void reject() override;  // closing the window is a Cancel

private:
    void F3_init(QWidget* owner);

    AppState& st_;
};

}  // namespace tesmar
