#include "operations/gui/TfrmAutoInc.h"

#include <algorithm>

#include "editors/HexEditing.h"
#include "editors/gui/EditorBoxes.h"

namespace tesmar {

TfrmAutoInc::TfrmAutoInc(AppState& st, QWidget* parent) : QDialog(parent), st_(st) {
    buildUi();
    if (parent) {
        setFont(parent->font());
        setPalette(parent->palette());
    }
    FormCreate();
}

void TfrmAutoInc::buildUi() {
    setObjectName("frmAutoInc");
    setWindowTitle("Auto Inc");
    setFixedSize(300, 214);

    auto* address = new QLabel("Address", this);
    address->setGeometry(80, 8, 100, 18);
    auto* data = new QLabel("Data", this);
    data->setGeometry(200, 8, 60, 18);
    QLineEdit** editMembers[] = {&EditAdd1, &EditAdd2, &EditAdd3, &EditAdd4};
    QLineEdit** byteMembers[] = {&Byte1, &Byte2, &Byte3, &Byte4};
    using Handler = void (TfrmAutoInc::*)();
    const Handler handlers[] = {&TfrmAutoInc::EditAdd1Change, &TfrmAutoInc::EditAdd2Change,
                                &TfrmAutoInc::EditAdd3Change, &TfrmAutoInc::EditAdd4Change};
    for (int i = 0; i < 4; ++i) {
        const int y = 30 + 28 * i;
        auto* label = new QLabel(QString("Byte %1").arg(i + 1), this);
        label->setGeometry(10, y, 64, 22);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString("EditAdd%1").arg(i + 1));
        edit->setGeometry(80, y, 100, 22);
        auto* byte = new QLineEdit(this);
        byte->setObjectName(QString("Byte%1").arg(i + 1));
        byte->setGeometry(200, y, 40, 22);
        byte->setReadOnly(true);
        byte->setEnabled(false);
        *editMembers[i] = edits_[i] = edit;
        *byteMembers[i] = bytes_[i] = byte;
        connect(edit, &QLineEdit::textChanged, this, handlers[i]);
    }
    AutoCheck = new QCheckBox("Auto Increment", this);
    AutoCheck->setObjectName("AutoCheck");
    AutoCheck->setGeometry(10, 146, 200, 22);
    connect(AutoCheck, &QCheckBox::toggled, this, &TfrmAutoInc::AutoCheckClick);
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(190, 178, 100, 28);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAutoInc::FormCreate() {
    AutoCheck->setChecked(st_.AutoIncrement);
    quiet_ = true;
    for (int i = 0; i < 4; ++i) {
        accepted_[i] = QString::asprintf("%.4X", st_.AutoIncAddress[i]);
        edits_[i]->setText(accepted_[i]);
        showByte(i);
    }
    quiet_ = false;
}

std::uint32_t TfrmAutoInc::limit() const {
    return std::uint32_t(std::min<std::size_t>(st_.buf.BufferViewSize, st_.buf.size()));
}

void TfrmAutoInc::showByte(int entry) {
    const std::uint32_t at = st_.AutoIncAddress[std::size_t(entry)];
    // An offset the buffer no longer reaches (a smaller device or image since) shows nothing.
    bytes_[std::size_t(entry)]->setText(at < limit() ? QString::asprintf("%.2X", st_.buf.DeviceBuffer[at])
                                                     : QString());
}

void TfrmAutoInc::AutoCheckClick(bool ticked) { st_.AutoIncrement = ticked; }

void TfrmAutoInc::restoreText(int entry) {
    quiet_ = true;
    edits_[std::size_t(entry)]->setText(accepted_[std::size_t(entry)]);
    quiet_ = false;
}

void TfrmAutoInc::editAddChange(int entry) {
    if (quiet_) return;
    const std::size_t e = std::size_t(entry);
    const QString text = edits_[e]->text();
    const std::optional<std::uint32_t> value = text.trimmed().isEmpty() ? 0u : parseHexField(text);
    if (!value) {
        notHexError(this, text);
        restoreText(entry);
        return;
    }
    if (*value >= limit()) {
        editorStop(this,
                   QString::asprintf("Address %X is outside the buffer (last address %X)", *value,
                                     limit() ? limit() - 1 : 0),
                   "Auto Inc");
        restoreText(entry);
        return;
    }
    st_.AutoIncAddress[e] = *value;
    accepted_[e] = text;
    showByte(entry);
}

}  // namespace tesmar
