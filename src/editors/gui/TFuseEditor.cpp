#include "editors/gui/TFuseEditor.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "operations/Checksum.h"

namespace tesmar {
namespace {

constexpr int kLastRow = kFusePageRows - 1;

// The one character a key press delivers, if any.
std::optional<QChar> typedCharacter(const QKeyEvent* e) {
    const QString t = e->text();
    if (t.size() != 1 || t.at(0) < u' ' || t.at(0) == u'\x7F') return std::nullopt;
    return t.at(0);
}

}  // namespace

TFuseEditor::TFuseEditor(AppState& st, QWidget* parent) : QDialog(parent), st_(st) {
    QFont font("Courier New");
    font.setStyleHint(QFont::Monospace);
    setFont(font);
    view_ = fuseEditorView(st_.dev(), st_.buf.size());
    page_.columns = view_.columns;
    buildForm();
    FormCreate();
}

QTableView* TFuseEditor::makeGrid(FusePageModel* model, int columns, int cellWidth, int cellHeight,
                                  const char* name) {
    auto* g = new QTableView(this);
    g->setObjectName(name);
    g->setModel(model);
    for (QHeaderView* h : {g->horizontalHeader(), g->verticalHeader()}) {
        h->hide();
        h->setMinimumSectionSize(1);
        h->setSectionResizeMode(QHeaderView::Fixed);
    }
    g->horizontalHeader()->setDefaultSectionSize(cellWidth);
    g->verticalHeader()->setDefaultSectionSize(cellHeight);
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
    g->setFixedSize(std::max(columns, 1) * cellWidth + frame, kFusePageRows * cellHeight + frame);
    g->installEventFilter(this);
    connect(g->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this, g](const QModelIndex& current) { gridCurrentChanged(g, current); });
    return g;
}

void TFuseEditor::buildForm() {
    setObjectName("FuseEditor");
    setWindowTitle("Fuse Editor");
    setModal(true);

    addressModel_ = new FusePageModel(page_, FusePageModel::Kind::Address, this);
    fuseModel_ = new FusePageModel(page_, FusePageModel::Kind::Fuses, this);

    const QFontMetrics fm(font());
    const int h = fm.height() + 2;
    StringGrid2 = makeGrid(addressModel_, 1, std::max(78, fm.horizontalAdvance("00000") + 12), h, "StringGrid2");
    StringGrid3 = makeGrid(fuseModel_, int(view_.columns), std::max(10, fm.horizontalAdvance('X') + 4), h,
                           "StringGrid3");

    ScrollBar1 = new QScrollBar(Qt::Vertical, this);
    ScrollBar1->setObjectName("ScrollBar1");
    ScrollBar1->setFixedHeight(StringGrid3->height());
    ScrollBar1->setSingleStep(1);
    ScrollBar1->setPageStep(kFusePageRows);

    auto button = [this](const char* name, const char* text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    Home = button("Home", "Home");
    Fill = button("Fill", "Fill");
    Fill->hide();
    BitBtn1 = button("BitBtn1", "OK");
    Label1 = new QLabel("Address", this);
    Label1->setObjectName("Label1");
    Label3 = new QLabel("Fuse Array", this);
    Label3->setObjectName("Label3");

    auto* grids = new QHBoxLayout;
    const auto column = [grids](QLabel* caption, QWidget* w) {
        auto* c = new QVBoxLayout;
        c->addWidget(caption);
        c->addWidget(w);
        grids->addLayout(c);
    };
    column(Label1, StringGrid2);
    column(Label3, StringGrid3);
    column(new QLabel(this), ScrollBar1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    for (QPushButton* b : {Home, Fill, BitBtn1}) bottom->addWidget(b);

    auto* lay = new QVBoxLayout(this);
    lay->addLayout(grids);
    lay->addLayout(bottom);
    lay->setSizeConstraint(QLayout::SetFixedSize);

    connect(Home, &QPushButton::clicked, this, &TFuseEditor::HomeClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TFuseEditor::BitBtn1Click);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this](int v) {
        if (!syncing_) ScrollBar1Scroll(v);
    });
}

void TFuseEditor::FormCreate() {
    {
        const QSignalBlocker block(ScrollBar1);
        ScrollBar1->setRange(0, fuseScrollMaximum(view_));
    }
    ShowPage(0);
    selectCell(0, 0);
    StringGrid3->setFocus();
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

// ---------------------------------------------------------------- page

void TFuseEditor::ShowPage(std::uint32_t top) {
    loadFusePage(st_.buf, view_, top, page_);
    addressModel_->pageChanged();
    fuseModel_->pageChanged();
}

void TFuseEditor::StorePage() { storeFusePage(st_.buf, page_); }

void TFuseEditor::moveTo(std::optional<std::uint32_t> top) {
    StorePage();
    if (top) ShowPage(*top);
    showScrollPosition();
}

void TFuseEditor::showScrollPosition() {
    // The position is the top row shown, so a later drag starts from here.
    syncing_ = true;
    ScrollBar1->setValue(int(page_.top));
    syncing_ = false;
}

// ---------------------------------------------------------------- selection

void TFuseEditor::selectCell(int row, int col) {
    row_ = std::clamp(row, 0, kLastRow);
    col_ = std::clamp(col, 0, std::max(int(view_.columns) - 1, 0));
    syncing_ = true;
    const auto flags = QItemSelectionModel::ClearAndSelect;
    if (view_.columns > 0)
        StringGrid3->selectionModel()->setCurrentIndex(fuseModel_->index(row_, col_), flags);
    StringGrid2->selectionModel()->setCurrentIndex(addressModel_->index(row_, 0), flags);
    syncing_ = false;
    showScrollPosition();
}

void TFuseEditor::gridCurrentChanged(QTableView* grid, const QModelIndex& current) {
    if (syncing_ || !current.isValid()) return;
    selectCell(current.row(), grid == StringGrid2 ? 0 : current.column());
}

// ---------------------------------------------------------------- keys

bool TFuseEditor::eventFilter(QObject* watched, QEvent* event) {
    const bool isGrid = watched == StringGrid2 || watched == StringGrid3;
    if (!isGrid) return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        auto* e = static_cast<QKeyEvent*>(event);
        if (gridKeyDown(e)) return true;
        const std::optional<QChar> c = typedCharacter(e);
        if (watched == StringGrid3) {
            if (c)
                pressed_.insert(e->key(), *c);
            else
                pressed_.remove(e->key());
        }
        // Typed characters are entry, never the view's keyboard search.
        return c.has_value() || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter ||
               e->key() == Qt::Key_Escape;
    }
    if (event->type() == QEvent::KeyRelease && watched == StringGrid3) {
        StringGrid3KeyUp(static_cast<QKeyEvent*>(event));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool TFuseEditor::gridKeyDown(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_PageDown:
        moveTo(fusePageDown(view_, page_.top));
        return true;
    case Qt::Key_PageUp:
        moveTo(fusePageUp(page_.top));
        return true;
    case Qt::Key_Up:
        if (row_ != 0) return false;
        moveTo(fuseRowUp(page_.top));
        return true;
    case Qt::Key_Down:
        if (row_ != kLastRow) return false;
        moveTo(fuseRowDown(view_, page_.top));
        return true;
    default:
        return false;
    }
}

void TFuseEditor::StringGrid3KeyUp(QKeyEvent* e) {
    const auto c = pressed_.contains(e->key()) ? std::optional<QChar>(pressed_.take(e->key())) : std::nullopt;
    const std::optional<std::uint8_t> fuse = c ? fuseForCharacter(*c) : std::nullopt;
    const int i = row_ * int(page_.columns) + col_;
    if (fuse && i < page_.valid) {
        page_.cells[std::size_t(i)] = *fuse;
        fuseModel_->cellChanged(row_, col_);
        advance();
    }
    StorePage();
    UpdateChecksum(st_);
}

void TFuseEditor::advance() {
    if (col_ + 1 < int(view_.columns)) {
        selectCell(row_, col_ + 1);
    } else if (row_ < kLastRow) {
        selectCell(row_ + 1, 0);
    } else {
        if (const auto top = fuseRowDown(view_, page_.top)) moveTo(top);
        selectCell(kLastRow, 0);
    }
}

void TFuseEditor::keyPressEvent(QKeyEvent* event) {
    // The editor has no Cancel: Escape does not close it.
    if (event->key() == Qt::Key_Escape) return;
    QDialog::keyPressEvent(event);
}

// ---------------------------------------------------------------- buttons

void TFuseEditor::HomeClick() {
    moveTo(0);
    selectCell(0, 0);
}

void TFuseEditor::ScrollBar1Scroll(int position) { moveTo(fuseScrollTo(view_, position)); }

void TFuseEditor::BitBtn1Click() {
    StorePage();
    accept();
}

void TFuseEditor::reject() {
    // Closing by the window frame keeps the shown rows like OK; every key
    // release has stored them already.
    StorePage();
    QDialog::reject();
}

}  // namespace tesmar
