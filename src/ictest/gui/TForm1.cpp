#include "ictest/gui/TForm1.h"

#include <QLabel>

#include "operations/Host.h"

namespace tesmar {

TForm1::TForm1(AppState& st, ictest::IcTesterState& tester, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), st_(st), t_(tester) {
    setObjectName("Form1");
    setWindowTitle("Enter Loop Count");
    setFixedSize(220, 96);
    if (parent) {
        setFont(parent->font());
        setPalette(parent->palette());
    }
    auto* label = new QLabel("Loop Count", this);
    label->setGeometry(10, 12, 90, 22);
    Edit1 = new QLineEdit("1", this);
    Edit1->setObjectName("Edit1");
    Edit1->setGeometry(110, 12, 100, 22);
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(110, 56, 100, 28);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
}

void TForm1::BitBtn1Click() {
    bool ok = false;
    const QString text = Edit1->text();
    const int count = text.trimmed().toInt(&ok, 10);
    // A count that is not a number, or that would run no pass at all, is
    // refused while the form stays open for a better one.
    if (!ok) {
        if (st_.host) st_.host->message("'" + text + "' is not a valid integer value", "Enter Loop Count", BoxIcon::Stop);
        return;
    }
    if (count < 1) {
        if (st_.host) st_.host->message("The loop count must be 1 or more", "Enter Loop Count", BoxIcon::Stop);
        return;
    }
    t_.LoopCount = count;
    accept();
}

}  // namespace tesmar
