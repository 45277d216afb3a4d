#include "editors/gui/THexEditor.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableView>
#include <algorithm>
#include <cstring>

#include "editors/HexEditing.h"
#include "editors/gui/EditorBoxes.h"
#include "editors/gui/TSearsForm.h"
#include "editors/gui/TfrmCopy.h"
#include "editors/gui/TfrmFill.h"
#include "operations/Checksum.h"

namespace tesmar {
namespace {

bool isHexChar(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}
bool isHexChar(const QString& c) { return c.size() == 1 && isHexChar(c.at(0)); }

std::uint8_t hexValue(QChar c) {
    const char16_t u = c.toUpper().unicode();
    return std::uint8_t(u <= u'9' ? u - u'0' : u - u'A' + 10);
}

// Keys after which the next hex digit typed is again the high digit.
bool resetsDigit(int key) {
    switch (key) {
    case Qt::Key_Backspace: case Qt::Key_Tab: case Qt::Key_Backtab: case Qt::Key_Escape:
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_End: case Qt::Key_Home:
    case Qt::Key_Up: case Qt::Key_Down: case Qt::Key_Left: case Qt::Key_Right:
    case Qt::Key_Insert: case Qt::Key_Delete:
    case Qt::Key_QuoteLeft: case Qt::Key_AsciiTilde:  // the key left of 1
        return true;
    default:
        return false;
    }
}

}  // namespace

THexEditor::THexEditor(AppState& st, QWidget* parent) : QDialog(parent), st_(st) {
    if (parent) setFont(parent->font());
    buildForm();
    FormCreate();
}

void THexEditor::buildForm() {
    setObjectName("HexEditor");
    setWindowTitle("Hex Editor");
    setModal(true);

    addressModel_ = new HexPageModel(page_, HexPageModel::Kind::Address, this);
    hexModel_ = new HexPageModel(page_, HexPageModel::Kind::Hex, this);
    charModel_ = new HexPageModel(page_, HexPageModel::Kind::Characters, this);

    const QFontMetrics fm(font());
    const int h = fm.height() + 4;
    const auto current = [this](QTableView* g, const QModelIndex& i) { gridCurrentChanged(g, i); };
    StringGrid2 = makePageGrid(this, addressModel_, "StringGrid2", {1, 16}, {fm.horizontalAdvance("00000000") + 12, h},
                               current);
    StringGrid1 = makePageGrid(this, hexModel_, "StringGrid1", {16, 16}, {fm.horizontalAdvance("DD") + 12, h}, current);
    StringGrid3 = makePageGrid(this, charModel_, "StringGrid3", {16, 16}, {fm.horizontalAdvance("W") + 8, h}, current);
    // A click into the hex grid starts the next entry at the high digit.
    StringGrid1->viewport()->installEventFilter(this);
    ScrollBar1 = makePageScrollBar(this, StringGrid1->height(), 16);

    CurrAdd = new QLineEdit(this);
    CurrAdd->setObjectName("CurrAdd");
    CurrAdd->setMaxLength(8);
    CurrAdd->setFixedWidth(fm.horizontalAdvance("00000000") + 16);
    CurrAdd->setContextMenuPolicy(Qt::NoContextMenu);
    CurrAdd->setDragEnabled(false);
    CurrAdd->setAcceptDrops(false);
    CurrAdd->installEventFilter(this);

    CsumText = new QLabel(this);
    CsumText->setObjectName("CsumText");

    Home = makeEditorButton(this, "Home", "Home");
    Search = makeEditorButton(this, "Search", "Find");
    Again = makeEditorButton(this, "Again", "Again");
    Fill = makeEditorButton(this, "Fill", "Fill");
    BtCopy = makeEditorButton(this, "BtCopy", "Copy");
    BtMove = makeEditorButton(this, "BtMove", "Move");
    BitBtn1 = makeEditorButton(this, "BitBtn1", "OK");

    auto* grids = new QHBoxLayout;
    const auto column = [this, grids](const char* caption, QWidget* w) {
        addCaptioned(grids, new QLabel(caption, this), w);
    };
    column("Address", StringGrid2);
    column("Hex Data", StringGrid1);
    column("Ascii Data", StringGrid3);
    column("", ScrollBar1);
    grids->addStretch();

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(CurrAdd);
    bottom->addWidget(CsumText);
    bottom->addStretch();
    for (QPushButton* b : {Home, Search, Again, Fill, BtCopy, BtMove, BitBtn1}) bottom->addWidget(b);
    layOutEditor(this, grids, bottom);

    connect(Home, &QPushButton::clicked, this, &THexEditor::HomeClick);
    connect(Search, &QPushButton::clicked, this, &THexEditor::SearchClick);
    connect(Again, &QPushButton::clicked, this, &THexEditor::AgainClick);
    connect(Fill, &QPushButton::clicked, this, &THexEditor::FillClick);
    connect(BtCopy, &QPushButton::clicked, this, &THexEditor::BtCopyClick);
    connect(BtMove, &QPushButton::clicked, this, &THexEditor::BtMoveClick);
    connect(BitBtn1, &QPushButton::clicked, this, &THexEditor::BitBtn1Click);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this](int v) {
        if (!syncing_) ScrollBar1Scroll(v);
    });
}

void THexEditor::FormCreate() {
    view_ = hexEditorViewSize(st_.dev(), st_.OddEvenMode != 0, st_.buf.size());
    st_.buf.BufferViewSize = view_;
    {
        const QSignalBlocker block(ScrollBar1);
        ScrollBar1->setRange(0, scrollMaximum(view_));
    }
    ShowPage(0);
    selectCell(0, 0);
    digit_ = 1;
    CurrAdd->setText("00000000");
    showChecksum();
    StringGrid1->setFocus();
}

// ---------------------------------------------------------------- page

void THexEditor::ShowPage(std::uint32_t offset) {
    const std::uint64_t limit = std::min<std::uint64_t>(view_, st_.buf.size());
    page_.offset = offset;
    page_.valid = offset < limit ? int(std::min<std::uint64_t>(limit - offset, kPageBytes)) : 0;
    page_.bytes.fill(0);
    if (page_.valid > 0)
        std::memcpy(page_.bytes.data(), st_.buf.DeviceBuffer.data() + offset, std::size_t(page_.valid));
    // The undo copy of the selected cell belongs to the byte now shown there.
    savedByte_ = page_.bytes[std::size_t(cellIndex())];
    addressModel_->pageChanged();
    hexModel_->pageChanged();
    charModel_->pageChanged();
}

void THexEditor::StorePage() {
    const std::uint64_t limit = std::min<std::uint64_t>(view_, st_.buf.size());
    if (page_.offset >= limit) return;
    const std::size_t n = std::size_t(std::min<std::uint64_t>(page_.valid, limit - page_.offset));
    std::memcpy(st_.buf.DeviceBuffer.data() + page_.offset, page_.bytes.data(), n);
}

void THexEditor::movePage(std::uint32_t page) {
    StorePage();
    ShowPage(page);
    showPosition();
}

void THexEditor::showPosition() {
    {
        const QSignalBlocker block(CurrAdd);
        CurrAdd->setText(hex8(selectedOffset()));
    }
    syncing_ = true;
    ScrollBar1->setValue(int(page_.offset / kRowBytes));
    syncing_ = false;
}

void THexEditor::showChecksum() {
    CsumText->setText(QString::asprintf("0x%.4X", unsigned(st_.buf.BufferChecksum & 0xFFFF)));
}

void THexEditor::recomputeChecksum() {
    UpdateChecksum(st_);
    showChecksum();
}

void THexEditor::updateCell(int row, int col) {
    hexModel_->cellChanged(row, col);
    charModel_->cellChanged(row, col);
}

// ---------------------------------------------------------------- selection

void THexEditor::selectCell(int row, int col) {
    row_ = std::clamp(row, 0, 15);
    col_ = std::clamp(col, 0, 15);
    syncing_ = true;
    const auto flags = QItemSelectionModel::ClearAndSelect;
    StringGrid1->selectionModel()->setCurrentIndex(hexModel_->index(row_, col_), flags);
    StringGrid3->selectionModel()->setCurrentIndex(charModel_->index(row_, col_), flags);
    StringGrid2->selectionModel()->setCurrentIndex(addressModel_->index(row_, 0), flags);
    syncing_ = false;
    savedByte_ = page_.bytes[std::size_t(cellIndex())];
    showPosition();
}

void THexEditor::gridCurrentChanged(QTableView* grid, const QModelIndex& current) {
    if (syncing_ || !current.isValid()) return;
    selectCell(current.row(), grid == StringGrid2 ? 0 : current.column());
}

// ---------------------------------------------------------------- keys

bool THexEditor::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == StringGrid1->viewport() && type == QEvent::MouseButtonPress) {
        digit_ = 1;
        return false;
    }
    if (watched == CurrAdd && type == QEvent::KeyPress) return CurrAddKeyPress(static_cast<QKeyEvent*>(event));
    const bool isGrid = watched == StringGrid1 || watched == StringGrid2 || watched == StringGrid3;
    if (!isGrid) return QDialog::eventFilter(watched, event);
    if (type == QEvent::KeyPress) {
        auto* e = static_cast<QKeyEvent*>(event);
        if (StringGrid1KeyDown(e)) return true;
        if (watched != StringGrid2) held_.press(e);
        return isGridEntryKey(e);
    }
    if (type == QEvent::KeyRelease && watched != StringGrid2) {
        gridKeyUp(watched == StringGrid1, static_cast<QKeyEvent*>(event));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool THexEditor::StringGrid1KeyDown(QKeyEvent* e) {
    const std::uint64_t page = page_.offset;
    switch (e->key()) {
    case Qt::Key_PageDown:
        if (page + 2 * kPageBytes <= view_) movePage(std::uint32_t(page + kPageBytes));
        break;
    case Qt::Key_PageUp:
        if (page >= kPageBytes) movePage(std::uint32_t(page - kPageBytes));
        break;
    case Qt::Key_Up:
        if (row_ != 0) return false;
        if (page >= kRowBytes) movePage(std::uint32_t(page - kRowBytes));
        break;
    case Qt::Key_Down:
        if (row_ != 15) return false;
        if (page + kPageBytes + kRowBytes <= view_) movePage(std::uint32_t(page + kRowBytes));
        break;
    default:
        return false;
    }
    digit_ = 1;
    return true;
}

void THexEditor::gridKeyUp(bool hexGrid, QKeyEvent* e) {
    const std::optional<QString> c = held_.release(e);
    if (resetsDigit(e->key())) {
        digit_ = 1;
    } else if (c) {
        if (hexGrid)
            enterHexDigit(*c);
        else
            enterCharacter(*c);
    }
    // Modifiers, function keys and Enter deliver no character and enter nothing.
    StorePage();
    recomputeChecksum();
}

void THexEditor::enterHexDigit(const QString& c) {
    const int i = cellIndex();
    if (!isHexChar(c)) {
        editorError(this, "This isn't a valid hex value: " + c);
        page_.bytes[std::size_t(i)] = savedByte_;
        updateCell(row_, col_);
        // The cell is back as it was, so the next digit starts it afresh.
        digit_ = 1;
        return;
    }
    if (i >= page_.valid) return;
    std::uint8_t& b = page_.bytes[std::size_t(i)];
    const std::uint8_t v = hexValue(c.at(0));
    if (digit_ == 1) {
        b = std::uint8_t((v << 4) | (b & 0x0F));
        digit_ = 2;
        updateCell(row_, col_);
    } else {
        b = std::uint8_t((b & 0xF0) | v);
        digit_ = 1;
        updateCell(row_, col_);
        advance();
    }
}

void THexEditor::enterCharacter(const QString& c) {
    const int i = cellIndex();
    if (i >= page_.valid) return;
    const auto byte = characterBytes(c);
    if (!byte) {
        // Nothing is entered and the selection stays on the cell.
        editorError(this, characterNotStorable(c));
        return;
    }
    page_.bytes[std::size_t(i)] = std::uint8_t(byte->at(0));
    updateCell(row_, col_);
    advance();
}

void THexEditor::advance() {
    if (col_ < 15) {
        selectCell(row_, col_ + 1);
    } else if (row_ < 15) {
        selectCell(row_ + 1, 0);
    } else {
        if (std::uint64_t(page_.offset) + kPageBytes + kRowBytes <= view_) movePage(page_.offset + kRowBytes);
        selectCell(15, 0);
    }
}

bool THexEditor::CurrAddKeyPress(QKeyEvent* e) {
    // Caret movement stays with the field; every character key is ours, so
    // the field always holds eight hex digits.
    if (e->text().isEmpty()) return false;
    switch (e->key()) {
    case Qt::Key_Tab: case Qt::Key_Backtab: case Qt::Key_Escape:
        return false;
    default:
        break;
    }
    StorePage();
    const QChar c = e->text().at(0);
    int caret = CurrAdd->cursorPosition();
    std::uint32_t a = parseHexField(CurrAdd->text()).value_or(0);
    if (isHexChar(c)) {
        QString text = hex8(a);
        const int at = std::min(caret, 7);
        text[at] = c.toUpper();
        a = wrapToView(*parseHexField(text), view_);
        caret = at + 1;
    } else {
        a = wrapToView(a, view_);
    }
    const CellPlace place = goToPlace(a, view_);
    movePage(place.page);
    selectCell(place.row, place.col);
    CurrAdd->setCursorPosition(std::min(caret, 8));
    return true;
}

void THexEditor::keyPressEvent(QKeyEvent* event) {
    // The editor has no Cancel: Escape does not close it.
    if (event->key() == Qt::Key_Escape) return;
    QDialog::keyPressEvent(event);
}

// ---------------------------------------------------------------- buttons

void THexEditor::HomeClick() {
    movePage(0);
    selectCell(0, 0);
}

void THexEditor::ScrollBar1Scroll(int position) {
    const std::uint64_t page = std::uint64_t(std::max(position, 0)) * kRowBytes;
    if (page < view_) movePage(std::uint32_t(page));
    showPosition();
}

void THexEditor::SearchClick() {
    StorePage();
    TSearsForm form(this);
    if (form.exec() == QDialog::Accepted) StartSearch(form.pattern());
}

void THexEditor::StartSearch(const QByteArray& pattern) {
    pattern_ = pattern;
    searchPos_ = 0;
    FindNext();
}

void THexEditor::FindNext() {
    StorePage();
    const auto hit = findPattern(st_.buf, view_, searchPos_, pattern_);
    if (hit) {
        const CellPlace place = placeOffset(*hit, view_);
        movePage(place.page);
        selectCell(place.row, place.col);
    } else {
        editorInformation(this, "Not Found");
        movePage(lastFullPage(view_));
        selectCell(15, 15);
    }
    searchPos_ = page_.offset;
}

void THexEditor::AgainClick() {
    StorePage();
    const std::uint64_t next = std::uint64_t(selectedOffset()) + 1;
    searchPos_ = next >= view_ ? 0 : next;
    FindNext();
}

void THexEditor::BtCopyClick() {
    StorePage();
    TfrmCopy form(selectedOffset(), false, this);
    if (form.exec() == QDialog::Accepted) CopyBlock(form.begin(), form.count(), form.to(), form.replace());
}

void THexEditor::BtMoveClick() {
    StorePage();
    TfrmCopy form(selectedOffset(), true, this);
    if (form.exec() == QDialog::Accepted) CopyBlock(form.begin(), form.count(), form.to(), form.replace());
}

void THexEditor::CopyBlock(std::uint32_t begin, std::uint64_t count, std::uint32_t to,
                           std::optional<std::uint8_t> replace) {
    StorePage();
    copyBlock(st_.buf, view_, begin, count, to, replace);
    // The image changed under the shown page: show it afresh, never store it.
    ShowPage(std::min(to & ~(kRowBytes - 1), lastFullPage(view_)));
    selectCell(0, 0);
    recomputeChecksum();
}

void THexEditor::FillClick() {
    StorePage();
    TfrmFill form(st_, this);
    form.exec();
    ShowPage(0);
    selectCell(0, 0);
    recomputeChecksum();
}

void THexEditor::BitBtn1Click() {
    StorePage();
    accept();
}

void THexEditor::reject() {
    // Closing by the window frame keeps every edit, like OK.
    StorePage();
    QDialog::reject();
}

}  // namespace tesmar
