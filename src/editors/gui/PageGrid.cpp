#include "editors/gui/PageGrid.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace tesmar {

PageGridModel::PageGridModel(int rows, bool addressColumn, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows), addressColumn_(addressColumn) {}

int PageGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int PageGridModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return addressColumn_ ? 1 : cellColumns();
}

QVariant PageGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    return addressColumn_ ? addressText(index.row()) : cellText(index.row(), index.column());
}

Qt::ItemFlags PageGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void PageGridModel::pageChanged() {
    emit dataChanged(index(0, 0), index(rowCount() - 1, std::max(columnCount() - 1, 0)), {Qt::DisplayRole});
}

void PageGridModel::cellChanged(int row, int col) {
    if (addressColumn_) return;
    const QModelIndex i = index(row, col);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

QTableView* makePageGrid(QWidget* owner, QAbstractItemModel* model, const char* name, QSize cells, QSize cellSize,
                         const std::function<void(QTableView*, const QModelIndex&)>& currentChanged) {
    auto* g = new QTableView(owner);
    g->setObjectName(name);
    g->setModel(model);
    for (QHeaderView* h : {g->horizontalHeader(), g->verticalHeader()}) {
        h->hide();
        h->setMinimumSectionSize(1);
        h->setSectionResizeMode(QHeaderView::Fixed);
    }
    g->horizontalHeader()->setDefaultSectionSize(cellSize.width());
    g->verticalHeader()->setDefaultSectionSize(cellSize.height());
    g->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    g->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    g->setSelectionMode(QAbstractItemView::SingleSelection);
    g->setSelectionBehavior(QAbstractItemView::SelectItems);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setTabKeyNavigation(false);
    g->setWordWrap(false);
    g->setTextElideMode(Qt::ElideNone);
    g->setAutoScroll(false);
    const int frame = 2 * g->frameWidth();
    // A map without columns still shows an (empty) grid one cell wide.
    g->setFixedSize(std::max(cells.width(), 1) * cellSize.width() + frame, cells.height() * cellSize.height() + frame);
    g->installEventFilter(owner);
    QObject::connect(g->selectionModel(), &QItemSelectionModel::currentChanged, owner,
                     [currentChanged, g](const QModelIndex& current) { currentChanged(g, current); });
    return g;
}

std::optional<QString> typedCharacter(const QKeyEvent* e) {
    const QString t = e->text();
    const QList<uint> codes = t.toUcs4();
    if (codes.size() != 1 || codes.front() < 0x20 || codes.front() == 0x7F) return std::nullopt;
    return t;
}

bool isGridEntryKey(const QKeyEvent* e) {
    const int key = e->key();
    return typedCharacter(e).has_value() || key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

void HeldKeys::press(const QKeyEvent* e) {
    if (const auto c = typedCharacter(e))
        typed_.insert(e->key(), *c);
    else
        typed_.remove(e->key());
}

std::optional<QString> HeldKeys::release(const QKeyEvent* e) {
    if (!typed_.contains(e->key())) return std::nullopt;
    return typed_.take(e->key());
}

QScrollBar* makePageScrollBar(QWidget* owner, int height, int pageStep) {
    auto* s = new QScrollBar(Qt::Vertical, owner);
    s->setObjectName("ScrollBar1");
    s->setFixedHeight(height);
    s->setSingleStep(1);
    s->setPageStep(pageStep);
    return s;
}

QPushButton* makeEditorButton(QWidget* owner, const char* name, const char* text) {
    auto* b = new QPushButton(text, owner);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

void addCaptioned(QHBoxLayout* grids, QLabel* caption, QWidget* w) {
    auto* c = new QVBoxLayout;
    c->addWidget(caption);
    c->addWidget(w);
    grids->addLayout(c);
}

void layOutEditor(QWidget* owner, QHBoxLayout* grids, QHBoxLayout* bottom) {
    auto* lay = new QVBoxLayout(owner);
    lay->addLayout(grids);
    lay->addLayout(bottom);
    lay->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tesmar
