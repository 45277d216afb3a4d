#include "config/gui/TfrmPicConfig.h"

#include <QEvent>
#include <QGroupBox>
#include <algorithm>

namespace tesmar {

using config::PicSheet;

namespace {

constexpr QSize kSheetArea(776, 386);
constexpr QSize kPageControl(784, 420);
constexpr int kGap = 4;

// The size at which a control shows its caption, and its items or children, whole.
QSize neededSize(QWidget* w) {
    QSize s = w->sizeHint().expandedTo(w->minimumSizeHint());
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        s.setWidth(std::max(s.width(), g->fontMetrics().horizontalAdvance(g->title()) + 24));
        if (!g->layout())
            for (QWidget* c : g->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (!c->isHidden())
                    s = s.expandedTo(QSize(c->geometry().right() + 1 + 8, c->geometry().bottom() + 1 + 6));
    }
    return s;
}

// Grows the controls inside `parent` to their captions, children first, and
// moves those below or right of a grown control on so that none covers
// another. Returns the extent of the controls.
QSize fitInside(QWidget* parent) {
    std::vector<QWidget*> kids;
    for (QWidget* w : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!w->isHidden()) kids.push_back(w);
    for (QWidget* w : kids)
        if (qobject_cast<QGroupBox*>(w) && !w->layout()) fitInside(w);
    std::vector<QRect> was;
    for (QWidget* w : kids) {
        was.push_back(w->geometry());
        w->resize(w->size().expandedTo(neededSize(w)));
    }
    auto order = [&](auto key) {
        std::vector<std::size_t> idx(kids.size());
        for (std::size_t i = 0; i < idx.size(); ++i) idx[i] = i;
        std::stable_sort(idx.begin(), idx.end(),
                         [&](std::size_t a, std::size_t b) { return key(was[a]) < key(was[b]); });
        return idx;
    };
    // A control covered by one that stood above it in its column moves down
    // below it; then one covered by a control that stood left of it moves
    // right of it.
    auto clear = [&](std::size_t i, auto before, auto place) {
        for (bool moved = true; moved;) {
            moved = false;
            for (std::size_t j = 0; j < kids.size(); ++j) {
                const QRect g = kids[j]->geometry().adjusted(0, 0, kGap, kGap);
                if (j != i && before(was[j], was[i]) && g.intersects(kids[i]->geometry())) {
                    place(kids[i], g);
                    moved = true;
                }
            }
        }
    };
    for (std::size_t i : order([](const QRect& r) { return r.top(); }))
        clear(
            i,
            [](const QRect& a, const QRect& b) {
                return a.top() < b.top() && a.left() <= b.right() && b.left() <= a.right();
            },
            [](QWidget* w, const QRect& g) { w->move(w->x(), g.bottom() + 1); });
    for (std::size_t i : order([](const QRect& r) { return r.left(); }))
        clear(
            i, [](const QRect& a, const QRect& b) { return a.left() < b.left(); },
            [](QWidget* w, const QRect& g) { w->move(g.right() + 1, w->y()); });
    QSize extent;
    for (QWidget* w : kids) extent = extent.expandedTo(QSize(w->geometry().right() + 1, w->geometry().bottom() + 1));
    return extent;
}

}  // namespace

TfrmPicConfig::TfrmPicConfig(AppState& st, QWidget* parent) : QDialog(parent), st_(st) {
    // The main window's font first: the binder places the controls by their size in it.
    if (parent) {
        setFont(parent->font());
        setPalette(parent->palette());
    }
    buildUi();
    FormCreate();
    connect(PageControl, &QTabWidget::currentChanged, this, &TfrmPicConfig::PageControlChange);
}

void TfrmPicConfig::buildUi() {
    setObjectName("frmPicConfig");
    setWindowTitle("ID / Configuration");
    // No close box: the dialog closes through OK only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(800, 540);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName("PageControl");
    PageControl->setGeometry(QRect(QPoint(8, 8), kPageControl));
    for (int i = 0; i < config::kPicSheetCount; ++i) {
        auto* page = new QWidget;
        page->setObjectName(config::kPicSheetNames[std::size_t(i)]);
        PageControl->addTab(page, config::kPicSheetNames[std::size_t(i)]);
        sheets[std::size_t(i)] = page;
    }
    binder_ = new PageBinder(st_, config::picControlRows(), std::vector<QWidget*>(sheets.begin(), sheets.end()),
                             this, kSheetArea, [](int s) { return config::picSheetFlowLeft(PicSheet(s)); });
    GB_ID = binder_->get<QGroupBox>("GB_ID");
    GB_18F = binder_->get<QGroupBox>("GB_18F");
    static const char* const ids[] = {"ID_0", "ID1", "ID2", "ID3"};
    for (std::size_t n = 0; n < idEdits.size(); ++n) idEdits[n] = binder_->get<QLineEdit>(ids[n]);
    for (std::size_t n = 0; n < pic18Edits.size(); ++n)
        pic18Edits[n] = binder_->get<QLineEdit>("ID27" + std::to_string(n));
    for (std::size_t k = 0; k < hexLabels.size(); ++k)
        hexLabels[k] = binder_->get<QLabel>("Label" + std::to_string(13 + k));

    LayoutNote = new QLabel(this);
    LayoutNote->setObjectName("LayoutNote");
    LayoutNote->setGeometry(8, 456, 676, 36);
    LayoutNote->setWordWrap(true);
    EntryNote = new QLabel(this);
    EntryNote->setObjectName("EntryNote");
    EntryNote->setGeometry(8, 498, 676, 20);
    binder_->onSay = [this](const std::string& line) { EntryNote->setText(QString::fromStdString(line)); };

    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(692, 498, 100, 32);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmPicConfig::BitBtn1Click);
}

void TfrmPicConfig::FormCreate() {
    TabbedPages pages(*binder_, *PageControl);
    const config::PicDialogOpening opened = config::openPicDialogPages(pages, st_);
    idsUsable_ = opened.idsUsable;
    if (!st_.dev()) return;
    // The ID group takes the top left corner of the first sheet, which leaves it room.
    (opened.pic18 ? GB_18F : GB_ID)->move(12, 32);
    QStringList notes;
    for (const std::string& note : opened.notes) notes << QString::fromStdString(note);
    LayoutNote->setText(notes.join('\n'));
    if (!opened.set) return;
    for (const PicSheet s : opened.set->sheets) shown_.push_back(int(s));
    fitCaptions();
    // A caption a click changes asks its sheet for room.
    for (const int s : shown_) {
        sheets[std::size_t(s)]->installEventFilter(this);
        for (QGroupBox* g : sheets[std::size_t(s)]->findChildren<QGroupBox*>())
            if (!g->layout()) g->installEventFilter(this);
    }
}

// The pages place their controls for the designed font; in the main
// window's font a caption or item list can be wider or taller. Each control
// grows to what it shows, its neighbours move aside, and the dialog grows
// so the sheets hold them.
void TfrmPicConfig::fitCaptions() {
    QSize extent;
    for (const int s : shown_) extent = extent.expandedTo(fitInside(sheets[std::size_t(s)]));
    const int wider = extent.width() + 8 - kSheetArea.width() - (PageControl->width() - kPageControl.width());
    const int taller = extent.height() + 8 - kSheetArea.height() - (PageControl->height() - kPageControl.height());
    if (wider <= 0 && taller <= 0) return;
    const int dx = std::max(wider, 0), dy = std::max(taller, 0);
    // Below the page control (the hex labels, the notes, OK) moves down, OK also right.
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w != PageControl && w->y() >= PageControl->geometry().bottom())
            w->move(w->x() + (w == BitBtn1 ? dx : 0), w->y() + dy);
    LayoutNote->resize(LayoutNote->width() + dx, LayoutNote->height());
    EntryNote->resize(EntryNote->width() + dx, EntryNote->height());
    PageControl->resize(PageControl->width() + dx, PageControl->height() + dy);
    setFixedSize(width() + dx, height() + dy);
}

bool TfrmPicConfig::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::LayoutRequest) fitCaptions();
    return QDialog::eventFilter(watched, event);
}

void TfrmPicConfig::PageControlChange(int index) { config::picTabChanged(*binder_, idsUsable_, index); }

void TfrmPicConfig::BitBtn1Click() { accept(); }

std::vector<PicSheet> TfrmPicConfig::visibleSheets() const {
    std::vector<PicSheet> out;
    if (PageControl->isHidden()) return out;
    for (int i = 0; i < config::kPicSheetCount; ++i)
        if (PageControl->isTabVisible(i)) out.push_back(PicSheet(i));
    return out;
}

}  // namespace tesmar
