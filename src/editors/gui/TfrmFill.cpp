#include "editors/gui/TfrmFill.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "editors/HexEditing.h"
#include "editors/gui/EditorBoxes.h"

namespace tesmar {

TfrmFill::TfrmFill(AppState& st, QWidget* parent) : QDialog(parent), st_(st) {
    if (parent) {
        setFont(parent->font());
        setPalette(parent->palette());
    }
    setObjectName("frmFill");
    setWindowTitle("Buffer Fill");
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->setMaxLength(8);
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName("Edit2");
    Edit2->setMaxLength(8);
    Edit3 = new QLineEdit(this);
    Edit3->setObjectName("Edit3");
    RadioButton1 = new QRadioButton("Byte", this);
    RadioButton1->setObjectName("RadioButton1");
    RadioButton2 = new QRadioButton("Word", this);
    RadioButton2->setObjectName("RadioButton2");
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton("Cancel", this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn2->setAutoDefault(false);

    auto* lay = new QGridLayout(this);
    lay->addWidget(new QLabel("From", this), 0, 0);
    lay->addWidget(Edit1, 0, 1);
    lay->addWidget(new QLabel("To", this), 1, 0);
    lay->addWidget(Edit2, 1, 1);
    lay->addWidget(new QLabel("Data", this), 2, 0);
    lay->addWidget(Edit3, 2, 1);
    auto* modes = new QHBoxLayout;
    modes->addWidget(RadioButton1);
    modes->addWidget(RadioButton2);
    lay->addLayout(modes, 3, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    lay->addLayout(buttons, 4, 0, 1, 2);
    lay->setSizeConstraint(QLayout::SetFixedSize);

    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) { if (on) RadioButton1Click(); });
    connect(RadioButton2, &QRadioButton::toggled, this, [this](bool on) { if (on) RadioButton2Click(); });
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmFill::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    FormCreate();
}

void TfrmFill::FormCreate() {
    const DeviceRecord* rec = st_.dev();
    Edit1->setText("0");
    Edit2->setText(hex8(rec ? rec->LastAddress : 0));
    const char letter = rec ? rec->FamilyLetter : 0;
    const std::uint8_t blank = rec ? rec->BlankByte : 0;
    if (letter == 'O' || letter == 'Y' || letter == 'C') {
        RadioButton2->setChecked(true);
        Edit3->setText(hex2((std::uint32_t(blank) << 8) | 0xFF));
    } else {
        Edit3->setMaxLength(2);
        RadioButton1->setChecked(true);
        Edit3->setText(hex2(blank));
    }
}

void TfrmFill::RadioButton1Click() {
    Edit3->setMaxLength(2);
    Edit3->setText("00");
}

void TfrmFill::RadioButton2Click() {
    Edit3->setMaxLength(4);
    Edit3->setText("0000");
}

void TfrmFill::BitBtn1Click() {
    // OK closes the dialog whatever the entry; a bad entry changes nothing.
    const auto from = parseHexField(Edit1->text());
    const auto to = parseHexField(Edit2->text());
    const auto data = parseHexField(Edit3->text());
    QLineEdit* bad = !from ? Edit1 : !to ? Edit2 : !data ? Edit3 : nullptr;
    if (bad) {
        notHexError(this, bad->text());
    } else if (*from > *to) {
        editorStop(this, "'To' has to be greater than 'From'", "Invalid Data");
    } else {
        fillRange(st_.buf, st_.buf.BufferViewSize, *from, *to, std::uint16_t(*data),
                  RadioButton2->isChecked());
    }
    accept();
}

}  // namespace tesmar
