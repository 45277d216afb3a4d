#include "editors/gui/TFuseEditor.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableView>
#include <algorithm>

#include "operations/Checksum.h"

namespace tesmar {
namespace {

constexpr int kLastRow = kFusePageRows - 1;

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

void TFuseEditor::buildForm() {
    setObjectName("FuseEditor");
    setWindowTitle("Fuse Editor");
    setModal(true);

    addressModel_ = new FusePageModel(page_, FusePageModel::Kind::Address, this);
    fuseModel_ = new FusePageModel(page_, FusePageModel::Kind::Fuses, this);

    const QFontMetrics fm(font());
    const int h = fm.height() + 2;
    const auto current = [this](QTableView* g, const QModelIndex& i) { gridCurrentChanged(g, i); };
    StringGrid2 = makePageGrid(this, addressModel_, "StringGrid2", {1, kFusePageRows},
                               {std::max(78, fm.horizontalAdvance("00000") + 12), h}, current);
    StringGrid3 = makePageGrid(this, fuseModel_, "StringGrid3", {int(view_.columns), kFusePageRows},
                               {std::max(10, fm.horizontalAdvance('X') + 4), h}, current);
    ScrollBar1 = makePageScrollBar(this, StringGrid3->height(), kFusePageRows);

    Home = makeEditorButton(this, "Home", "Home");
    Fill = makeEditorButton(this, "Fill", "Fill");
    Fill->hide();
    BitBtn1 = makeEditorButton(this, "BitBtn1", "OK");
    Label1 = new QLabel("Address", this);
    Label1->setObjectName("Label1");
    Label3 = new QLabel("Fuse Array", this);
    Label3->setObjectName("Label3");

    auto* grids = new QHBoxLayout;
    addCaptioned(grids, Label1, StringGrid2);
    addCaptioned(grids, Label3, StringGrid3);
    addCaptioned(grids, new QLabel(this), ScrollBar1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    for (QPushButton* b : {Home, Fill, BitBtn1}) bottom->addWidget(b);
    layOutEditor(this, grids, bottom);

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
        if (watched == StringGrid3) held_.press(e);
        return isGridEntryKey(e);
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
    const std::optional<QString> c = held_.release(e);
    const std::optional<std::uint8_t> fuse = c && c->size() == 1 ? fuseForCharacter(c->at(0)) : std::nullopt;
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
