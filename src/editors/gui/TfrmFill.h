#pragma once
// The buffer fill dialog: a range of the view filled with a byte or a
// 16-bit word. Used by the hex editor and the fuse editor.
#include <QDialog>

#include "app/AppState.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tesmar {

class TfrmFill : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFill(AppState& st, QWidget* parent = nullptr);

    QLineEdit* Edit1 = nullptr;  // From
    QLineEdit* Edit2 = nullptr;  // To
    QLineEdit* Edit3 = nullptr;  // Data
    QRadioButton* RadioButton1 = nullptr;  // Byte
    QRadioButton* RadioButton2 = nullptr;  // Word
    QPushButton* BitBtn1 = nullptr;        // OK
    QPushButton* BitBtn2 = nullptr;        // Cancel

public slots:
    void RadioButton1Click();
    void RadioButton2Click();
    void BitBtn1Click();

private:
    void FormCreate();

    AppState& st_;
};

}  // namespace tesmar
