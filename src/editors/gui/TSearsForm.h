#pragma once
// The search dialog: a byte pattern typed in hex or as text.
#include <QByteArray>
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tesmar {

class TSearsForm : public QDialog {
    Q_OBJECT
public:
    explicit TSearsForm(QWidget* parent = nullptr);

    // The pattern of the last accepted Find.
    QByteArray pattern() const { return pattern_; }
    bool hexMode() const { return hexMode_; }

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* HexAscii = nullptr;

public slots:
    void HexAsciiClick();
    void Button1Click();

private:
    bool hexMode_ = true;
    QByteArray pattern_;
};

}  // namespace tesmar
