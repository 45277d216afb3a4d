#include "editors/gui/TfrmCopy.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "editors/HexEditing.h"
#include "editors/gui/EditorBoxes.h"

namespace tesmar {
namespace {

QLineEdit* field(QWidget* parent, const char* name, int maxLength) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    if (maxLength > 0) e->setMaxLength(maxLength);
    return e;
}

}  // namespace

TfrmCopy::TfrmCopy(std::uint32_t selectedOffset, bool move, QWidget* parent) : QDialog(parent) {
    if (parent) {
        setFont(parent->font());
        setPalette(parent->palette());
    }
    setObjectName("frmCopy");
    const QString verb = move ? "Move" : "Copy";
    setWindowTitle(verb);
    Label1 = new QLabel(verb, this);
    Label1->setObjectName("Label1");
    BeginAdd = field(this, "BeginAdd", 8);
    NrBytes = field(this, "NrBytes", 0);
    WhereAdd = field(this, "WhereAdd", 8);
    ReplaceEd = field(this, "ReplaceEd", 2);
    Label7 = new QLabel("Replace Moved with", this);
    Label7->setObjectName("Label7");
    CopyBt = new QPushButton("Copy", this);
    CopyBt->setObjectName("CopyBt");
    MoveBt = new QPushButton("Move", this);
    MoveBt->setObjectName("MoveBt");

    auto* lay = new QGridLayout(this);
    lay->addWidget(Label1, 0, 0);
    lay->addWidget(new QLabel("From", this), 1, 0);
    lay->addWidget(new QLabel("Begin address", this), 1, 1);
    lay->addWidget(BeginAdd, 1, 2);
    lay->addWidget(new QLabel("Number of bytes", this), 2, 1);
    lay->addWidget(NrBytes, 2, 2);
    lay->addWidget(new QLabel("To", this), 3, 0);
    lay->addWidget(new QLabel("Address", this), 3, 1);
    lay->addWidget(WhereAdd, 3, 2);
    lay->addWidget(Label7, 4, 1);
    lay->addWidget(ReplaceEd, 4, 2);
    lay->addWidget(new QLabel("All HEX values", this), 5, 0, 1, 2);
    lay->addWidget(CopyBt, 5, 2);
    lay->addWidget(MoveBt, 5, 2);
    lay->setSizeConstraint(QLayout::SetFixedSize);

    BeginAdd->setText(hex8(selectedOffset));
    WhereAdd->setText("00000000");
    CopyBt->setVisible(!move);
    MoveBt->setVisible(move);
    ReplaceEd->setVisible(move);
    Label7->setVisible(move);
    (move ? MoveBt : CopyBt)->setDefault(true);

    connect(CopyBt, &QPushButton::clicked, this, &TfrmCopy::CopyBtClick);
    connect(MoveBt, &QPushButton::clicked, this, &TfrmCopy::MoveBtClick);
}

bool TfrmCopy::readBlock() {
    for (QLineEdit* e : {BeginAdd, NrBytes, WhereAdd}) {
        if (!parseHexField(e->text())) {
            notHexError(this, e->text());
            return false;
        }
    }
    begin_ = *parseHexField(BeginAdd->text());
    count_ = *parseHexField(NrBytes->text());
    to_ = *parseHexField(WhereAdd->text());
    return true;
}

void TfrmCopy::CopyBtClick() {
    if (!readBlock()) return;
    if (rangesOverlap(begin_, count_, to_)) {
        editorError(this, "The adresses are over lapping");
        return;
    }
    NrBytes->setText(QString::number(count_));
    replace_.reset();
    accept();
}

void TfrmCopy::MoveBtClick() {
    const QString r = ReplaceEd->text();
    if (!r.isEmpty() && r.size() != 2) {
        editorError(this, "Replace Value need two Hex Values ");
        return;
    }
    std::optional<std::uint8_t> replace;
    if (!r.isEmpty()) {
        const auto v = parseHexField(r);
        if (!v) {
            notHexError(this, r);
            return;
        }
        replace = std::uint8_t(*v);
    }
    if (!readBlock()) return;
    NrBytes->setText(QString::number(count_));
    replace_ = replace;
    accept();
}

}  // namespace tesmar
