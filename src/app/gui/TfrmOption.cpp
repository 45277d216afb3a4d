#include "app/gui/TfrmOption.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "devices/BufferLayout.h"
#include "operations/Checksum.h"

namespace tesmar {

namespace {

QCheckBox* makeBox(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QCheckBox(caption, parent);
    b->setObjectName(name);
    parent->layout()->addWidget(b);
    return b;
}

// A control that keeps its place while hidden, so the dialog has one size
// and one arrangement for every device.
void keepPlace(QWidget* w) {
    QSizePolicy p = w->sizePolicy();
    p.setRetainSizeWhenHidden(true);
    w->setSizePolicy(p);
}

}  // namespace

TfrmOption::TfrmOption(AppState& st, bool eraseEnabled, QWidget* parent) : QDialog(parent), st_(st) {
    ctx_.eraseEnabled = eraseEnabled;
    ctx_.hardwareVariant = st.HardwareVariant;
    buildUi();
    if (parent) copyLook(parent);
    FormCreate();
}

void TfrmOption::buildUi() {
    setObjectName("frmOption");
    setWindowTitle("Options");

    // Layouts size every group to its captions in whatever font the main
    // window lends, so no caption is cut off; the dialog keeps that size.
    GroupBox1 = new QGroupBox(" General Options ", this);
    GroupBox1->setObjectName("GroupBox1");
    new QVBoxLayout(GroupBox1);
    QCheckBox** members[] = {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4, &CheckBox5, &CheckBox6, &CheckBox8};
    for (std::size_t i = 0; i < kGeneralOptions.size(); ++i) {
        *members[i] = makeBox(GroupBox1, kGeneralOptions[i].name, kGeneralOptions[i].caption);
        general_[i] = *members[i];
        (*members[i])->setEnabled(false);
    }
    OddEvenBox = makeBox(GroupBox1, "OddEvenBox", "Odd && Even programming");
    OddEvenBox->setEnabled(false);
    ChSoundON = makeBox(GroupBox1, "ChSoundON", "Sound ON");
    static_cast<QVBoxLayout*>(GroupBox1->layout())->addStretch();

    GroupBox3 = new QGroupBox(" Programming Options ", this);
    GroupBox3->setObjectName("GroupBox3");
    new QVBoxLayout(GroupBox3);
    GroupBox3->setEnabled(false);
    keepPlace(GroupBox3);
    GroupBox3->hide();
    QCheckBox** stepMembers[] = {&ProgStep0, &ProgStep1, &ProgStep2, &ProgStep3, &ProgStep4, &ProgStep5, &ProgStep6};
    for (int i = 0; i < kStepBoxes; ++i) {
        const QByteArray name = "ProgStep" + QByteArray::number(i);
        *stepMembers[i] = makeBox(GroupBox3, name.constData(), kBuiltStepCaptions[i]);
        steps_[i] = *stepMembers[i];
        steps_[i]->setEnabled(false);
        keepPlace(steps_[i]);
        steps_[i]->hide();
    }
    EpromLabel = new QLabel("Only Effective during Programming", GroupBox3);
    EpromLabel->setObjectName("EpromLabel");
    GroupBox3->layout()->addWidget(EpromLabel);
    keepPlace(EpromLabel);
    EpromLabel->hide();
    static_cast<QVBoxLayout*>(GroupBox3->layout())->addStretch();

    BitBtn3 = new QPushButton("Close", this);
    BitBtn3->setObjectName("BitBtn3");
    BitBtn3->setMinimumWidth(100);
    connect(BitBtn3, &QPushButton::clicked, this, &QDialog::accept);

    auto* groups = new QHBoxLayout;
    groups->addWidget(GroupBox1);
    groups->addWidget(GroupBox3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn3);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(groups);
    lay->addLayout(buttons);
    lay->setSizeConstraint(QLayout::SetFixedSize);

    // Handlers follow the state, so ticks made while the dialog opens apply too.
    connect(CheckBox1, &QCheckBox::toggled, this, &TfrmOption::CheckBox1Click);
    connect(CheckBox3, &QCheckBox::toggled, this, &TfrmOption::CheckBox3Click);
    connect(CheckBox4, &QCheckBox::toggled, this, &TfrmOption::CheckBox4Click);
    connect(ChSoundON, &QCheckBox::toggled, this, &TfrmOption::ChSoundONClick);
    connect(OddEvenBox, &QCheckBox::toggled, this, &TfrmOption::OddEvenBoxClick);
    using Handler = void (TfrmOption::*)(bool);
    const Handler stepHandlers[kStepBoxes] = {&TfrmOption::ProgStep0Click, &TfrmOption::ProgStep1Click,
                                              &TfrmOption::ProgStep2Click, &TfrmOption::ProgStep3Click,
                                              &TfrmOption::ProgStep4Click, &TfrmOption::ProgStep5Click,
                                              &TfrmOption::ProgStep6Click};
    for (int i = 0; i < kStepBoxes; ++i) connect(steps_[i], &QCheckBox::toggled, this, stepHandlers[i]);
}

void TfrmOption::copyLook(const QWidget* from) {
    for (QWidget* wgt : std::initializer_list<QWidget*>{GroupBox1, GroupBox3, BitBtn3}) {
        wgt->setFont(from->font());
        wgt->setPalette(from->palette());
    }
}

void TfrmOption::FormCreate() {
    creating_ = true;
    const DeviceRecord* rec = st_.dev();
    if (rec) {
        // 1: a device that does not allow an option switches it off.
        for (std::size_t i = 0; i < kGeneralOptions.size(); ++i) {
            const GeneralOption& row = kGeneralOptions[i];
            QCheckBox* box = general_[i];
            const bool allowed = (rec->OptionMask >> row.bit) & 1u;
            box->setEnabled(allowed);
            if (allowed) {
                if (row.setting) box->setChecked(st_.settings.*row.setting != 0);
            } else {
                box->setChecked(false);
                if (row.setting) st_.settings.*row.setting = 0;
            }
        }

        const auto captions = stepCaptions(*rec, ctx_);
        for (int i = 0; i < kStepBoxes; ++i) steps_[i]->setText(captions[i]);

        // 2-3: the families with programming steps.
        if (rec->FamilyLetter == 'C') {
            GroupBox3->setEnabled(true);
            GroupBox3->show();
            ProgStep0->setEnabled(true);
            ProgStep2->show();
            ProgStep2->setEnabled(false);
            ProgStep4->show();
            ProgStep4->setEnabled(false);
        }
        if (rec->FamilyLetter == 'M' && rec->StepMask != 0) {
            GroupBox3->setEnabled(true);
            GroupBox3->show();
        }

        // 4: the steps the device has.
        for (unsigned bit = 0; bit < 7; ++bit) {
            if (!((rec->StepMask >> bit) & 1u)) continue;
            QCheckBox* box = steps_[stepBox(bit)];
            box->setEnabled(true);
            box->show();
            if (bit == 0) {
                box->setChecked(true);  // the code step is always offered ticked
            } else if (bit == 1) {
                if (rec->Algorithm == '#') {
                    // Parts with a user row always program code and fuses.
                    ProgStep1->setEnabled(false);
                    ProgStep2->setEnabled(false);
                    st_.settings.ProgramSteps |= 0x02;
                }
                box->setChecked((st_.settings.ProgramSteps >> 1) & 1u);
            } else {
                box->setChecked((st_.settings.ProgramSteps >> bit) & 1u);
            }
        }

        // 6: byte-wide EPROMs.
        if (oddEvenAllowed(*rec, ctx_)) {
            OddEvenBox->setEnabled(true);
            if (epromStepsShown(*rec, ctx_)) {
                GroupBox3->setEnabled(true);
                GroupBox3->show();
                ProgStep1->setEnabled(true);
                ProgStep1->show();
                EpromLabel->show();
                ProgStep2->setEnabled(true);
                ProgStep2->show();
            }
        }
    }

    // 7
    ChSoundON->setChecked(st_.settings.SoundOn != 0);
    OddEvenBox->setChecked(st_.OddEvenMode != 0);
    creating_ = false;
}

void TfrmOption::generalOptionClick(int row, bool ticked) {
    if (auto setting = kGeneralOptions[std::size_t(row)].setting) st_.settings.*setting = ticked ? 1 : 0;
}

void TfrmOption::ChSoundONClick(bool ticked) { st_.settings.SoundOn = ticked ? 1 : 0; }

void TfrmOption::progStepClick(int box, bool ticked) {
    std::uint8_t& steps = st_.settings.ProgramSteps;
    const std::uint8_t own = std::uint8_t(1u << stepBit(box));
    const std::uint8_t linked = st_.dev() ? linkedStepBits(*st_.dev(), box, ticked) : 0;
    const std::uint8_t all = own | linked;
    steps = ticked ? std::uint8_t(steps | all) : std::uint8_t(steps & ~all);
    for (unsigned bit = 0; bit < 7; ++bit)
        if ((linked >> bit) & 1u) steps_[stepBox(bit)]->setChecked(ticked);
}

void TfrmOption::OddEvenBoxClick(bool ticked) {
    st_.OddEvenMode = ticked ? 1 : 0;
    // Pairing starts from an erased image of twice the chip size. Opening the
    // dialog in odd/even mode keeps the image the user already has.
    if (ticked && !creating_ && st_.dev()) {
        allocateOddEven(st_.buf, *st_.dev());
        UpdateChecksum(st_);
    }
}

}  // namespace tesmar
