#include "config/gui/PageBinder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <algorithm>

namespace tesmar {

using config::ControlKind;
using config::ControlRow;
using config::Target;

// ---------------------------------------------------------------- RadioGroup

namespace {
constexpr int kTwoColumnItems = 16;
}

RadioGroup::RadioGroup(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {
    auto* layout = new QGridLayout(this);
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
    auto* grid = static_cast<QGridLayout*>(layout());
    while (QLayoutItem* item = grid->takeAt(0)) delete item;
    for (int r = 0; r < grid->rowCount(); ++r) grid->setRowStretch(r, 0);
    index_ = -1;
    const int columns = columns_ > 0 ? columns_ : items.size() >= kTwoColumnItems ? 2 : 1;
    const int rows = (int(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        b->setObjectName(objectName() + "_" + QString::number(i));
        group_.addButton(b, i);
        grid->addWidget(b, i % std::max(rows, 1), i / std::max(rows, 1));
        b->show();  // items added to a group already on screen stay hidden otherwise
        buttons_.push_back(b);
    }
    // The items sit at the top of the frame, however many there are.
    grid->setRowStretch(rows, 1);
    grid->activate();  // the new items take clicks at once
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

// ---------------------------------------------------------------- PageBinder

namespace {

QStringList toList(const std::vector<const char*>& items) {
    QStringList out;
    for (const char* s : items) out << s;
    return out;
}

bool isList(ControlKind k) { return k == ControlKind::RadioGroup || k == ControlKind::ComboBox; }

bool flowed(const ControlRow& row) { return (row.x == 0 || row.x == config::kNewColumn) && row.y == 0; }

constexpr int kGap = 4;
constexpr int kGroupTop = 20;
constexpr int kGroupSide = 10;

}  // namespace

PageBinder::PageBinder(AppState& st, std::span<const ControlRow> rows, const std::vector<QWidget*>& sheets,
                       QWidget* frame, QSize sheetSize, std::function<int(int)> flowLeft)
    : QObject(frame), StateContext(st), rows_(rows), sheets_(sheets), frame_(frame) {
    for (const ControlRow& row : rows_) {
        QWidget* parent = nullptr;
        if (row.parent) parent = controls_.at(row.parent);
        else if (row.sheet == config::kFrame) parent = frame_;
        else parent = sheets_.at(std::size_t(row.sheet.index));
        QWidget* w = create(row, parent);
        w->setObjectName(row.name);
        if (!flowed(row)) w->setGeometry(row.x, row.y, row.width, row.height);
        controls_[row.name] = w;
        children_[parent].push_back(&row);
    }
    for (std::size_t i = 0; i < sheets_.size(); ++i)
        flow(sheets_[i], flowLeft ? flowLeft(int(i)) : 8, 8, sheetSize.height() - kGap);
    for (const ControlRow& row : rows_) connectRow(row, controls_.at(row.name));
}

QWidget* PageBinder::create(const ControlRow& row, QWidget* parent) {
    switch (row.kind) {
    case ControlKind::GroupBox: return new QGroupBox(row.caption, parent);
    case ControlKind::CheckBox: return new QCheckBox(row.caption, parent);
    case ControlKind::RadioGroup: {
        auto* group = new RadioGroup(row.caption, parent);
        group->setObjectName(row.name);  // the items are named after it
        group->setColumns(row.columns);
        group->setItems(toList(row.items));
        group->setItemIndex(row.initialItem);
        return group;
    }
    case ControlKind::ComboBox: {
        auto* box = new QComboBox(parent);
        box->addItems(toList(row.items));
        box->setCurrentIndex(row.initialItem);
        box->setPlaceholderText(row.caption);
        return box;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(row.caption, parent);
        edit->setReadOnly(!(row.rule && row.rule->click));
        return edit;
    }
    case ControlKind::Label: return new QLabel(row.caption, parent);
    case ControlKind::RadioButton: return new QRadioButton(row.caption, parent);
    case ControlKind::Memo: {
        auto* memo = new QPlainTextEdit(parent);
        memo->setReadOnly(true);
        memo->setPlainText(toList(row.items).join('\n'));
        return memo;
    }
    }
    return new QWidget(parent);
}

void PageBinder::connectRow(const ControlRow& row, QWidget* w) {
    const ControlRow* r = &row;
    switch (row.kind) {
    case ControlKind::CheckBox:
        connect(static_cast<QCheckBox*>(w), &QCheckBox::toggled, this, [this, r](bool on) { changed(*r, on); });
        break;
    case ControlKind::RadioGroup:
        connect(static_cast<RadioGroup*>(w), &RadioGroup::itemIndexChanged, this, [this, r](int i) { changed(*r, i); });
        break;
    case ControlKind::ComboBox:
        connect(static_cast<QComboBox*>(w), &QComboBox::currentIndexChanged, this,
                [this, r](int i) { changed(*r, i); });
        break;
    case ControlKind::RadioButton:
        connect(static_cast<QRadioButton*>(w), &QRadioButton::toggled, this, [this, r](bool on) {
            if (on) changed(*r, 1);
        });
        break;
    case ControlKind::Edit:
        if (row.rule && row.rule->click)
            connect(static_cast<QLineEdit*>(w), &QLineEdit::textChanged, this, [this, r] { changed(*r, 0); });
        break;
    default: break;
    }
}

// Stacks the unplaced children of `container` from (left, top) down, in
// table order, starting a new column when one would pass `bottom`. A group
// box whose children are unplaced takes their extent.
QSize PageBinder::flow(QWidget* container, int left, int top, int bottom) {
    const auto it = children_.find(container);
    if (it == children_.end()) return {};
    int x = left, y = top, columnWidth = 0;
    QSize extent;
    for (const ControlRow* row : it->second) {
        if (!flowed(*row)) continue;
        QWidget* w = controls_.at(row->name);
        QSize s = w->sizeHint();
        if (row->kind == ControlKind::GroupBox) {
            const QSize inner = flow(w, kGroupSide, kGroupTop, 1 << 20);
            s = QSize(std::max(s.width(), inner.width() + kGroupSide), inner.height() + kGap * 2);
        }
        // A frame's caption shows whole.
        if (auto* g = qobject_cast<QGroupBox*>(w))
            s.setWidth(std::max(s.width(), g->fontMetrics().horizontalAdvance(g->title()) + 2 * kGroupSide));
        if (row->width) s.setWidth(row->width);
        if (row->height) s.setHeight(row->height);
        const bool full = y > top && y + s.height() > bottom;
        if (row->x == config::kNewColumn || full) {
            x += columnWidth + kGap * 2;
            y = top;
            columnWidth = 0;
        }
        w->setGeometry(x, y, s.width(), s.height());
        y += s.height() + kGap;
        columnWidth = std::max(columnWidth, s.width());
        extent = extent.expandedTo(QSize(x + s.width(), y));
    }
    return extent;
}

bool PageBinder::onShownSheet(const ControlRow& row) const {
    return row.sheet == config::kFrame || std::find(shown_.begin(), shown_.end(), row.sheet.index) != shown_.end();
}

bool PageBinder::isDisplay(const ControlRow& row) const {
    if (row.target.kind == Target::Kind::None) return false;
    if (row.kind == ControlKind::Label || row.kind == ControlKind::Memo) return true;
    return row.kind == ControlKind::Edit && !(row.rule && row.rule->click);
}

void PageBinder::decodeAll() {
    for (const ControlRow& row : rows_) {
        if (!onShownSheet(row) || isDisplay(row)) continue;
        QWidget* w = controls_.at(row.name);
        QWidget* root = row.sheet == config::kFrame ? frame_ : sheets_.at(std::size_t(row.sheet.index));
        if (!w->isVisibleTo(root)) continue;
        apply(row, w);
    }
}

void PageBinder::apply(const ControlRow& row, QWidget* w) {
    if (row.kind == ControlKind::Edit) {
        const auto display = row.rule && row.rule->display ? row.rule->display : config::plainDisplay;
        static_cast<QLineEdit*>(w)->setText(QString::fromStdString(display(*this, row)));
        return;
    }
    const auto decode = row.rule && row.rule->decode ? row.rule->decode : config::plainDecode;
    const std::optional<int> state = decode(*this, row);
    if (!state) return;
    switch (row.kind) {
    case ControlKind::CheckBox: static_cast<QCheckBox*>(w)->setChecked(*state != 0); break;
    case ControlKind::RadioGroup: static_cast<RadioGroup*>(w)->setItemIndex(*state); break;
    case ControlKind::ComboBox: {
        // A combo box shows the value it opens on without writing it back:
        // only a choice of the user's runs its row.
        const QSignalBlocker quiet(w);
        static_cast<QComboBox*>(w)->setCurrentIndex(*state);
        break;
    }
    case ControlKind::RadioButton:
        if (*state) static_cast<QRadioButton*>(w)->setChecked(true);
        break;
    default: break;
    }
}

void PageBinder::refreshDisplays() {
    for (const ControlRow& row : rows_) {
        if (!isDisplay(row) || !onShownSheet(row)) continue;
        QWidget* w = controls_.at(row.name);
        if (row.sheet == config::kFrame && !w->isVisibleTo(frame_)) continue;
        const auto display = row.rule && row.rule->display ? row.rule->display : config::plainDisplay;
        setText(row.name, display(*this, row));
    }
}

void PageBinder::changed(const ControlRow& row, int state) {
    if (isList(row.kind) && state < 0) return;
    if (row.rule && row.rule->click) row.rule->click(*this, row, state);
    else config::plainClick(*this, row, state);
}

QWidget* PageBinder::widget(std::string_view name) const {
    const auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : it->second;
}

// ---------------------------------------------------------------- values

void PageBinder::showValue(Target t) {
    for (const ControlRow& row : rows_) {
        if (row.target != t || !isDisplay(row) || !onShownSheet(row)) continue;
        QWidget* w = controls_.at(row.name);
        if (row.sheet == config::kFrame && !w->isVisibleTo(frame_)) continue;
        const auto display = row.rule && row.rule->display ? row.rule->display : config::plainDisplay;
        setText(row.name, display(*this, row));
    }
}

// ---------------------------------------------------------------- controls

bool PageBinder::checked(std::string_view name) const {
    if (auto* b = qobject_cast<QAbstractButton*>(widget(name))) return b->isChecked();
    return false;
}

void PageBinder::setChecked(std::string_view name, bool on) {
    if (auto* b = qobject_cast<QAbstractButton*>(widget(name))) b->setChecked(on);
}

int PageBinder::itemIndex(std::string_view name) const {
    if (auto* g = qobject_cast<RadioGroup*>(widget(name))) return g->itemIndex();
    if (auto* c = qobject_cast<QComboBox*>(widget(name))) return c->currentIndex();
    return -1;
}

void PageBinder::setItemIndex(std::string_view name, int index) {
    if (auto* g = qobject_cast<RadioGroup*>(widget(name))) g->setItemIndex(index);
    else if (auto* c = qobject_cast<QComboBox*>(widget(name))) c->setCurrentIndex(index);
}

int PageBinder::itemCount(std::string_view name) const {
    if (auto* g = qobject_cast<RadioGroup*>(widget(name))) return g->count();
    if (auto* c = qobject_cast<QComboBox*>(widget(name))) return c->count();
    return 0;
}

void PageBinder::setItems(std::string_view name, const std::vector<std::string>& items) {
    QStringList list;
    for (const std::string& s : items) list << QString::fromStdString(s);
    if (auto* g = qobject_cast<RadioGroup*>(widget(name))) {
        g->setItems(list);
    } else if (auto* c = qobject_cast<QComboBox*>(widget(name))) {
        const QSignalBlocker quiet(c);  // a rebuilt list has no item chosen, and choosing none runs nothing
        c->clear();
        c->addItems(list);
        c->setCurrentIndex(-1);
    }
}

void PageBinder::setItemEnabled(std::string_view name, int index, bool on) {
    if (auto* g = qobject_cast<RadioGroup*>(widget(name)))
        if (QRadioButton* b = g->button(index)) b->setEnabled(on);
}

std::string PageBinder::text(std::string_view name) const {
    QWidget* w = widget(name);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
    if (auto* m = qobject_cast<QPlainTextEdit*>(w)) return m->toPlainText().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title().toStdString();
    return {};
}

void PageBinder::setText(std::string_view name, const std::string& text) {
    QWidget* w = widget(name);
    const QString t = QString::fromStdString(text);
    if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(t);
    else if (auto* l = qobject_cast<QLabel*>(w)) l->setText(t);
    else if (auto* m = qobject_cast<QPlainTextEdit*>(w)) m->setPlainText(t);
    else if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(t);
    else if (auto* g = qobject_cast<QGroupBox*>(w)) g->setTitle(t);
}

void PageBinder::setVisible(std::string_view name, bool on) {
    if (QWidget* w = widget(name)) w->setVisible(on);
}

void PageBinder::setEnabled(std::string_view name, bool on) {
    if (QWidget* w = widget(name)) w->setEnabled(on);
}

void PageBinder::move(std::string_view name, int x, int y) {
    if (QWidget* w = widget(name)) w->move(x, y);
}

void PageBinder::say(const std::string& line) {
    if (onSay) onSay(line);
}

// ---------------------------------------------------------------- TabbedPages

void TabbedPages::showSheets(const std::vector<int>& sheets, const std::vector<std::string>& captions) {
    for (int i = 0; i < tabs_.count(); ++i) tabs_.setTabVisible(i, false);
    // With nothing to show, no sheet is left standing in the frame.
    tabs_.setVisible(!sheets.empty());
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        tabs_.setTabVisible(sheets[i], true);
        tabs_.setTabText(sheets[i], QString::fromStdString(captions.at(i)));
    }
    if (!sheets.empty()) tabs_.setCurrentIndex(sheets.front());
    binder_.setShownSheets(sheets);
}

}  // namespace tesmar
