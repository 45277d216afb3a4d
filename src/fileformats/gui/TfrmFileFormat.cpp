#include "fileformats/gui/TfrmFileFormat.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "fileformats/LoadSave.h"

namespace tesmar {
namespace {

QRadioButton* radio(const char* name, const QString& caption, QWidget* parent) {
    auto* r = new QRadioButton(caption, parent);
    r->setObjectName(name);
    return r;
}

QLineEdit* hexEdit(const char* name, QWidget* parent, bool upper) {
    auto* e = new QLineEdit("0", parent);
    e->setObjectName(name);
    e->setMaxLength(8);
    if (upper)
        QObject::connect(e, &QLineEdit::textEdited, e, [e](const QString& t) {
            const int at = e->cursorPosition();
            e->setText(t.toUpper());
            e->setCursorPosition(at);
        });
    return e;
}

}  // namespace

TfrmFileFormat::TfrmFileFormat(AppState& st, QWidget* owner) : QDialog(owner), st_(st) {
    setObjectName("frmFileFormat");
    setWindowTitle("Select File Format");
    setModal(true);

    GroupBox1 = new QGroupBox(" Buffer Fill Option ", this);
    GroupBox1->setObjectName("GroupBox1");
    RB_Default = radio("RB_Default", "Fill with Device default", GroupBox1);
    RB_Zero = radio("RB_Zero", "Fill with 0x00", GroupBox1);
    RB_FF = radio("RB_FF", "Fill with 0xFF", GroupBox1);
    RB_No = radio("RB_No", "Disable", GroupBox1);
    auto* l1 = new QVBoxLayout(GroupBox1);
    for (QRadioButton* r : {RB_Default, RB_Zero, RB_FF, RB_No}) l1->addWidget(r);

    GroupBox2 = new QGroupBox(" File Format  ", this);
    GroupBox2->setObjectName("GroupBox2");
    RB_Intelhex = radio("RB_Intelhex", "Intel Hex", GroupBox2);
    RB_Motorola = radio("RB_Motorola", "Motorola", GroupBox2);
    RB_Binary = radio("RB_Binary", "Binary", GroupBox2);
    RB_Inh8m = radio("RB_Inh8m", "Inh8m", GroupBox2);
    RB_Inx16 = radio("RB_Inx16", "Inx16", GroupBox2);
    auto* l2 = new QVBoxLayout(GroupBox2);
    for (QRadioButton* r : {RB_Intelhex, RB_Motorola, RB_Binary, RB_Inh8m, RB_Inx16}) l2->addWidget(r);

    GroupBox3 = new QGroupBox(" Offset ", this);
    GroupBox3->setObjectName("GroupBox3");
    Edit1 = hexEdit("Edit1", GroupBox3, false);
    Label1 = new QLabel("Hex", GroupBox3);
    Label1->setObjectName("Label1");
    RB_Add = radio("RB_Add", "Add", GroupBox3);
    RB_Sub = radio("RB_Sub", "Subtract", GroupBox3);
    auto* l3 = new QGridLayout(GroupBox3);
    l3->addWidget(Edit1, 0, 0);
    l3->addWidget(Label1, 0, 1);
    l3->addWidget(RB_Add, 1, 0);
    l3->addWidget(RB_Sub, 1, 1);

    GroupBox4 = new QGroupBox(" Start - Stop ", this);
    GroupBox4->setObjectName("GroupBox4");
    Edit2 = hexEdit("Edit2", GroupBox4, true);
    Edit3 = hexEdit("Edit3", GroupBox4, true);
    auto* l4 = new QGridLayout(GroupBox4);
    l4->addWidget(new QLabel("Start", GroupBox4), 0, 0);
    l4->addWidget(Edit2, 0, 1);
    l4->addWidget(new QLabel("Stop", GroupBox4), 1, 0);
    l4->addWidget(Edit3, 1, 1);

    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton("Cancel", this);
    BitBtn2->setObjectName("BitBtn2");

    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(GroupBox1);
    left->addWidget(GroupBox3);
    left->addWidget(GroupBox4);
    left->addStretch();
    columns->addLayout(left);
    columns->addWidget(GroupBox2, 0, Qt::AlignTop);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* all = new QVBoxLayout(this);
    all->addLayout(columns);
    all->addLayout(buttons);

    for (QRadioButton* r : {RB_Default, RB_Zero, RB_FF, RB_No})
        connect(r, &QRadioButton::toggled, this, [this](bool on) { if (on) RB_FillClick(); });
    for (QRadioButton* r : {RB_Intelhex, RB_Motorola, RB_Binary, RB_Inh8m, RB_Inx16})
        connect(r, &QRadioButton::toggled, this, [this](bool on) { if (on) F_FormatClick(); });
    for (QRadioButton* r : {RB_Add, RB_Sub})
        connect(r, &QRadioButton::toggled, this, [this](bool on) { if (on) OffSet(); });
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmFileFormat::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmFileFormat::BitBtn2Click);

    F3_init(owner);
}

void TfrmFileFormat::F3_init(QWidget* owner) {
    const DeviceRecord* rec = st_.dev();
    const char kind = rec ? rec->FamilyLetter : 0;
    // Checking a radio runs its handler, so FileFormat and FillOption always
    // match what the dialog shows.
    if (kind == 'C') {
        RB_Intelhex->setEnabled(false);
        RB_Motorola->setEnabled(false);
        RB_Binary->setEnabled(false);
        GroupBox3->hide();
        RB_Default->setChecked(true);
        RB_Inh8m->setChecked(true);
    } else {
        RB_Inh8m->setEnabled(false);
        RB_Inx16->setEnabled(false);
        (st_.settings.OffsetAdd == 1 ? RB_Add : RB_Sub)->setChecked(true);
        RB_Default->setChecked(true);
        switch (st_.file.FileFormat) {
        case 1: RB_Motorola->setChecked(true); break;
        case 2:
        case 3: RB_Binary->setChecked(true); break;
        default: RB_Intelhex->setChecked(true); break;
        }
    }
    if (st_.file.SaveMode == 0) {
        GroupBox4->hide();
        Edit1->setText(QString::number(st_.settings.OffsetValue, 16).toUpper());
    } else {
        GroupBox1->hide();
        GroupBox3->hide();
        if (rec) Edit3->setText(QString::asprintf("%.8llX", (unsigned long long)defaultSaveStop(*rec, st_.OddEvenMode)));
    }
    if (owner) {
        setPalette(owner->palette());
        setFont(owner->font());
        for (QGroupBox* g : {GroupBox1, GroupBox2, GroupBox3, GroupBox4}) g->setFont(owner->font());
    }
    adjustSize();
    setFixedSize(sizeHint());
}

void TfrmFileFormat::F_FormatClick() {
    if (RB_Intelhex->isChecked())
        st_.file.FileFormat = 0;
    else if (RB_Motorola->isChecked())
        st_.file.FileFormat = 1;
    else if (RB_Binary->isChecked())
        st_.file.FileFormat = 2;
    else if (RB_Inh8m->isChecked())
        st_.file.FileFormat = 3;
    else if (RB_Inx16->isChecked())
        st_.file.FileFormat = 4;
}

void TfrmFileFormat::RB_FillClick() {
    if (RB_Default->isChecked())
        st_.file.FillOption = 1;
    else if (RB_Zero->isChecked())
        st_.file.FillOption = 2;
    else if (RB_FF->isChecked())
        st_.file.FillOption = 3;
    else if (RB_No->isChecked())
        st_.file.FillOption = 0;
}

void TfrmFileFormat::OffSet() { st_.settings.OffsetAdd = RB_Add->isChecked() ? 1 : 0; }

void TfrmFileFormat::BitBtn1Click() {
    if (GroupBox4->isHidden()) {
        bool ok = false;
        const QString text = Edit1->text().trimmed();
        const std::uint32_t value = text.toUInt(&ok, 16);
        if (!ok) {
            // The offset stays as it was and the dialog stays open for a correction.
            QMessageBox::warning(this, "Tesmar", "'$" + Edit1->text() + "' is not a valid integer value");
            Edit1->setFocus();
            return;
        }
        st_.settings.OffsetValue = value;
        st_.file.SignedOffset = st_.settings.OffsetAdd == 0 ? -std::int64_t(value) : std::int64_t(value);
    }
    accept();
}

void TfrmFileFormat::BitBtn2Click() { reject(); }

void TfrmFileFormat::reject() {
    st_.file.FileFormat = -1;
    QDialog::reject();
}

}  // namespace tesmar
