#include "editors/gui/TSearsForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "editors/HexEditing.h"
#include "editors/gui/EditorBoxes.h"

namespace tesmar {

TSearsForm::TSearsForm(QWidget* parent) : QDialog(parent) {
    if (parent) {
        setFont(parent->font());
        setPalette(parent->palette());
    }
    setObjectName("SearsForm");
    setWindowTitle("Search");
    Label1 = new QLabel("Search for Hex:", this);
    Label1->setObjectName("Label1");
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Button1 = new QPushButton("Find", this);
    Button1->setObjectName("Button1");
    Button1->setDefault(true);
    HexAscii = new QPushButton("Ascii", this);
    HexAscii->setObjectName("HexAscii");
    HexAscii->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(HexAscii);
    buttons->addStretch();
    buttons->addWidget(Button1);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(Label1);
    lay->addWidget(Edit1);
    lay->addLayout(buttons);
    lay->setSizeConstraint(QLayout::SetFixedSize);

    connect(HexAscii, &QPushButton::clicked, this, &TSearsForm::HexAsciiClick);
    connect(Button1, &QPushButton::clicked, this, &TSearsForm::Button1Click);
}

void TSearsForm::HexAsciiClick() {
    hexMode_ = !hexMode_;
    HexAscii->setText(hexMode_ ? "Ascii" : "Hex");
    Label1->setText(hexMode_ ? "Search for Hex:" : "Search for Ascii:");
}

void TSearsForm::Button1Click() {
    if (hexMode_) {
        const QString text = Edit1->text();
        if (text.isEmpty() || text.size() % 2 != 0) {
            editorError(this, "To few charaters in hex string");
            return;
        }
        Edit1->setText(text.toUpper());
        const auto bytes = parseHexPattern(Edit1->text());
        if (!bytes) {
            notHexError(this, Edit1->text());
            return;
        }
        pattern_ = *bytes;
    } else {
        QString refused;
        const auto bytes = characterBytes(Edit1->text(), &refused);
        if (!bytes) {
            editorError(this, characterNotStorable(refused));
            return;
        }
        pattern_ = *bytes;
    }
    accept();
}

}  // namespace tesmar
