#include "config/gui/TfrmConfig.h"

#include <QVBoxLayout>

namespace tesmar {

using config::ControlKind;
using config::ControlRow;
using config::ControlRule;
using config::Sheet;

// ---------------------------------------------------------------- RadioGroup

RadioGroup::RadioGroup(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 4, 6, 4);
    layout->setSpacing(2);
    group_.setExclusive(true);
    connect(&group_, &QButtonGroup::idToggled, this, &RadioGroup::buttonToggled);
}

void RadioGroup::setItems(const QStringList& items) {
    for (QRadioButton* b : buttons_) {
        group_.removeButton(b);
        delete b;
    }
    buttons_.clear();
    // Drop the spacer of the previous list too, or the new items would sit below it.
    while (QLayoutItem* item = layout()->takeAt(0)) delete item;
    index_ = -1;
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        b->setObjectName(objectName() + "_" + QString::number(i));
        group_.addButton(b, i);
        layout()->addWidget(b);
        b->show();  // items added to a group already on screen stay hidden otherwise
        buttons_.push_back(b);
    }
    static_cast<QVBoxLayout*>(layout())->addStretch();
    layout()->activate();  // the new items take clicks at once
}

QStringList RadioGroup::items() const {
    QStringList out;
    for (const QRadioButton* b : buttons_) out << b->text();
    return out;
}

QRadioButton* RadioGroup::button(int index) const {
    return index >= 0 && index < count() ? buttons_[std::size_t(index)] : nullptr;
}

void RadioGroup::setItemIndex(int index) {
    if (index < 0 || index >= count()) index = -1;
    if (index == index_) return;
    if (index >= 0) {
        buttons_[std::size_t(index)]->setChecked(true);  // buttonToggled records it and signals
        return;
    }
    group_.setExclusive(false);
    for (QRadioButton* b : buttons_) b->setChecked(false);
    group_.setExclusive(true);
    index_ = -1;
    emit itemIndexChanged(-1);
}

void RadioGroup::buttonToggled(int id, bool checked) {
    if (!checked || id == index_) return;
    index_ = id;
    emit itemIndexChanged(id);
}

// ---------------------------------------------------------------- TfrmConfig

TfrmConfig::TfrmConfig(AppState& st, QWidget* parent) : QDialog(parent), st_(st) {
    buildUi();
    if (parent) {
        setFont(parent->font());
        setPalette(parent->palette());
    }
    FormCreate();
}

void TfrmConfig::buildUi() {
    setObjectName("frmConfig");
    setWindowTitle("ID / Configuration");
    // No close box: the dialog closes through OK only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(440, 300);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    PageControl1->setGeometry(8, 8, 424, 240);
    QWidget** members[config::kSheetCount] = {&Page100, &Page130, &Page200, &Page201, &Page202,
                                              &Page203, &Page204, &Page204A, &Page205, &Page206,
                                              &Page207, &Page208, &Page209, &Page212, &Page102};
    for (int i = 0; i < config::kSheetCount; ++i) {
        auto* page = new QWidget;
        page->setObjectName(config::kSheetNames[std::size_t(i)]);
        PageControl1->addTab(page, config::kSheetNames[std::size_t(i)]);
        sheets[std::size_t(i)] = page;
        *members[i] = page;
    }

    for (const ControlRow& row : config::controlRows()) {
        QWidget* parentWidget = row.parent ? controls_.at(row.parent) : sheet(row.sheet);
        QWidget* w = nullptr;
        switch (row.kind) {
        case ControlKind::GroupBox:
            w = new QGroupBox(row.caption, parentWidget);
            break;
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(row.caption, parentWidget);
            // toggled, not clicked: setting the box from a value writes the value back, as a click does.
            connect(box, &QCheckBox::toggled, this, [this, &row](bool on) { controlClick(row, on ? 1 : 0); });
            w = box;
            break;
        }
        case ControlKind::RadioGroup: {
            auto* group = new RadioGroup(row.caption, parentWidget);
            group->setObjectName(row.name);
            QStringList items;
            for (const char* item : row.items) items << item;
            group->setItems(items);
            group->setItemIndex(row.initialItem);
            connect(group, &RadioGroup::itemIndexChanged, this, [this, &row](int index) { controlClick(row, index); });
            w = group;
            break;
        }
        }
        w->setObjectName(row.name);
        w->setGeometry(row.x, row.y, row.width, row.height);
        controls_[row.name] = w;
    }
    GB100_Wpen = qobject_cast<QGroupBox*>(controls_.at("GB100_Wpen"));
    CB100_Wpen = qobject_cast<QCheckBox*>(controls_.at("CB100_Wpen"));
    RG100 = qobject_cast<RadioGroup*>(controls_.at("RG100"));
    RG102_BP = qobject_cast<RadioGroup*>(controls_.at("RG102_BP"));
    RG102_TB = qobject_cast<RadioGroup*>(controls_.at("RG102_TB"));
    CB102_SRP = qobject_cast<QCheckBox*>(controls_.at("CB102_SRP"));
    RG130 = qobject_cast<RadioGroup*>(controls_.at("RG130"));

    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(332, 258, 100, 32);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmConfig::BitBtn1Click);
}

void TfrmConfig::FormCreate() {
    for (int i = 0; i < config::kSheetCount; ++i) PageControl1->setTabVisible(i, false);
    const DeviceRecord* dev = st_.dev();
    std::vector<Sheet> shown;
    if (dev)
        for (Sheet s : config::sheetsForPageCode(dev->PageCode))
            if (config::sheetBuilt(s)) shown.push_back(s);
    // With nothing to show, no sheet is left standing in the frame.
    PageControl1->setVisible(!shown.empty());
    if (shown.empty()) return;

    for (Sheet s : shown) {
        const int i = int(s);
        PageControl1->setTabVisible(i, true);
        PageControl1->setTabText(i, QString::fromStdString(dev->Name));
    }
    PageControl1->setCurrentIndex(int(shown.front()));

    if (dev->PageCode == 101) {
        GB100_Wpen->hide();
        RG100->move(4, RG100->y());
    }
    if (dev->PageCode == 104) {
        CB102_SRP->hide();
        RG102_TB->hide();
    }
    for (Sheet s : shown) showControls(s);
}

void TfrmConfig::showControls(Sheet s) {
    // Setting a control writes its value back through the binder, just as a click would.
    for (const ControlRow& row : config::controlRows()) {
        if (row.sheet != s) continue;
        const std::uint8_t value = global(row);
        if (row.kind == ControlKind::CheckBox) {
            qobject_cast<QCheckBox*>(controls_.at(row.name))->setChecked(config::rowChecked(row, value));
        } else if (row.kind == ControlKind::RadioGroup) {
            auto* group = qobject_cast<RadioGroup*>(controls_.at(row.name));
            if (row.rule == ControlRule::BlockProtect) {
                RebuildBlockProtectItems();
                if (auto item = config::blockProtectItem(st_.dev()->LastAddress, value)) group->setItemIndex(*item);
            } else {
                group->setItemIndex(config::rowItem(row, value, group->count()));
            }
        }
    }
}

void TfrmConfig::controlClick(const ControlRow& row, int state) {
    if (row.kind == ControlKind::CheckBox) {
        global(row) = config::writeChecked(row, global(row), state != 0);
        return;
    }
    if (state < 0) return;  // the items were cleared; nothing chosen
    switch (row.rule) {
    case ControlRule::Plain:
        global(row) = config::writeItem(row, global(row), state);
        break;
    case ControlRule::RebuildBlockProtect:
        global(row) = config::writeItem(row, global(row), state);
        RebuildBlockProtectItems();
        break;
    case ControlRule::BlockProtect:
        blockProtectClick(state);
        break;
    }
}

void TfrmConfig::blockProtectClick(int index) {
    if (!st_.dev()) return;
    st_.mcu.SerialFlashStatus = config::writeBlockProtect(st_.dev()->LastAddress, st_.mcu.SerialFlashStatus, index);
}

void TfrmConfig::RebuildBlockProtectItems() {
    if (!st_.dev()) return;
    const std::uint32_t last = st_.dev()->LastAddress;
    if (const auto items = config::blockProtectItems(last, RG102_TB->itemIndex() == 1)) {
        QStringList list;
        for (const char* item : *items) list << item;
        RG102_BP->setItems(list);
    }
    for (int i = 0; i < RG102_BP->count(); ++i) RG102_BP->button(i)->setEnabled(config::blockProtectOffered(last, i));
}

void TfrmConfig::BitBtn1Click() { accept(); }

std::vector<Sheet> TfrmConfig::visibleSheets() const {
    std::vector<Sheet> out;
    if (PageControl1->isHidden()) return out;
    for (int i = 0; i < config::kSheetCount; ++i)
        if (PageControl1->isTabVisible(i)) out.push_back(Sheet(i));
    return out;
}

}  // namespace tesmar
