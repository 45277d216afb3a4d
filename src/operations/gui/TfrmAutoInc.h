#pragma once
// The Auto Inc form: the four buffer offsets of the serial number (entry 0
// the least significant byte) and the switch that counts it up after every
// good Program.
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>

#include "app/AppState.h"

namespace tesmar {

class TfrmAutoInc : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAutoInc(AppState& st, QWidget* parent = nullptr);

    QLineEdit *EditAdd1, *EditAdd2, *EditAdd3, *EditAdd4;  // offsets, hexadecimal
    QLineEdit *Byte1, *Byte2, *Byte3, *Byte4;              // the buffer byte at each offset (read-only)
    QCheckBox* AutoCheck;
    QPushButton* BitBtn1;

public slots:
    void AutoCheckClick(bool ticked);
    void EditAdd1Change() { editAddChange(0); }
    void EditAdd2Change() { editAddChange(1); }
    void EditAdd3Change() { editAddChange(2); }
    void EditAdd4Change() { editAddChange(3); }

private:
    void buildUi();
    void FormCreate();
    void editAddChange(int entry);
    void showByte(int entry);
    void restoreText(int entry);
    std::uint32_t limit() const;

    AppState& st_;
    std::array<QLineEdit*, 4> edits_{}, bytes_{};
    std::array<QString, 4> accepted_;  // the text of each entry's current value
    bool quiet_ = false;               // our own text changes are not user entries
};

}  // namespace tesmar
