#include "config/gui/TfrmConfig.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QMessageBox>
#include <QValidator>
#include <algorithm>

#include "config/McuPages.h"

namespace tesmar {

using config::Sheet;

namespace {

// The memory-protection pages keep the small frame; the microcontroller
// pages need the large one.
constexpr QSize kSmallDialog(440, 300);
constexpr QSize kMcuDialog(660, 432);
constexpr QSize kMcuSheetArea(636, 326);
// Page 208 edits the security bits, which no read of the chip gives: they
// are the user's once a change on that page made them so, and only then sent.
constexpr std::uint8_t kSecurityPage = 208;
constexpr int kFuseNoteHeight = 22;
const char* const kFusesUnknown = " Fuse and lock bits not read from this chip: Program leaves them as they are";

// Address entries show what is typed in upper case.
class UpperCase : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

}  // namespace

TfrmConfig::TfrmConfig(AppState& st, QWidget* parent) : QDialog(parent), st_(st) {
    // The main window's font first: the binder places the controls by their size in it.
    if (parent) {
        setFont(parent->font());
        setPalette(parent->palette());
    }
    buildUi();
    FormCreate();
}

void TfrmConfig::buildUi() {
    setObjectName("frmConfig");
    setWindowTitle("ID / Configuration");
    // No close box: the dialog closes through OK only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
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
    // The memory-protection rows are all placed; the microcontroller rows flow down their sheets.
    binder_ = new PageBinder(st_, config::controlRows(), std::vector<QWidget*>(sheets.begin(), sheets.end()), this,
                             kMcuSheetArea);
    GB100_Wpen = binder_->get<QGroupBox>("GB100_Wpen");
    CB100_Wpen = binder_->get<QCheckBox>("CB100_Wpen");
    RG100 = binder_->get<RadioGroup>("RG100");
    RG102_BP = binder_->get<RadioGroup>("RG102_BP");
    RG102_TB = binder_->get<RadioGroup>("RG102_TB");
    CB102_SRP = binder_->get<QCheckBox>("CB102_SRP");
    RG130 = binder_->get<RadioGroup>("RG130");
    for (const char* name : {"Edit203", "Edit204A", "CB207_edit"})
        if (auto* edit = binder_->get<QLineEdit>(name)) edit->setValidator(new UpperCase(edit));

    EntryNote = new QLabel(this);
    EntryNote->setObjectName("EntryNote");
    FuseNote = new QLabel(this);
    FuseNote->setObjectName("FuseNote");
    FuseNote->hide();
    binder_->onSay = [this](const std::string& line) { EntryNote->setText(QString::fromStdString(line)); };

    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmConfig::BitBtn1Click);
}

void TfrmConfig::layOut(bool mcuPage) {
    const QSize size = mcuPage ? kMcuDialog : kSmallDialog;
    setFixedSize(size);
    const int w = size.width(), h = size.height();
    PageControl1->setGeometry(8, 8, w - 16, h - 60);
    BitBtn1->setGeometry(w - 108, h - 42, 100, 32);
    EntryNote->setGeometry(8, h - 24, w - 124, 20);
    // The fuse displays sit in a row below the sheets; the pages that name them show them.
    for (int i = 0; i < 3; ++i) {
        binder_->widget(config::kFuseDisplays[i][0])->setGeometry(8 + i * 120, h - 48, 76, 20);
        binder_->widget(config::kFuseDisplays[i][1])->setGeometry(86 + i * 120, h - 48, 30, 20);
    }
}

void TfrmConfig::FormCreate() {
    TabbedPages pages(*binder_, *PageControl1);
    const config::McuDialogOpening opened = config::openMcuDialogPages(pages, st_);
    mcuPage_ = opened.mcuPage;
    layOut(mcuPage_);
    if (opened.sheets.empty()) return;
    opened_ = chipBytes();
    if (!mcuPage_) fitGroupTitles();
    if (mcuPage_ && st_.dev()->PageCode != kSecurityPage && !st_.mcu.McuConfigKnown) showFuseNote();
}

// A strip below the frame says so; nothing above it moves.
void TfrmConfig::showFuseNote() {
    fusesUnknown_ = true;
    FuseNote->setText(kFusesUnknown);
    FuseNote->setStyleSheet("color: darkred");
    const QSize size(width(), height() + kFuseNoteHeight);
    setFixedSize(size);
    FuseNote->setGeometry(8, size.height() - kFuseNoteHeight, size.width() - 16, kFuseNoteHeight - 4);
    FuseNote->show();
}

// The memory-protection pages have fixed places; in the main window's font a
// group's title can be wider than its frame. Such a group grows to its title,
// and the dialog grows with it, so no caption is cut.
void TfrmConfig::fitGroupTitles() {
    const QFontMetrics fm(font());
    int extra = 0;
    for (const Sheet s : visibleSheets()) {
        for (QGroupBox* g : sheet(s)->findChildren<QGroupBox*>()) {
            if (g->isHidden()) continue;
            const int need = fm.horizontalAdvance(g->title()) + 24;
            if (g->width() < need) g->resize(need, g->height());
            extra = std::max(extra, g->x() + g->width() + 8 - PageControl1->width() + 8);
        }
    }
    if (extra <= 0) return;
    const QSize size(width() + extra, height());
    setFixedSize(size);
    PageControl1->resize(PageControl1->width() + extra, PageControl1->height());
    BitBtn1->move(BitBtn1->x() + extra, BitBtn1->y());
    EntryNote->resize(EntryNote->width() + extra, EntryNote->height());
}

std::array<std::uint8_t, 5> TfrmConfig::chipBytes() const {
    const McuConfig& m = st_.mcu;
    return {m.FuseLow, m.FuseHigh, m.FuseExt, m.LockBits, m.SecurityByte};
}

void TfrmConfig::RebuildBlockProtectItems() {
    if (st_.dev()) config::rebuildBlockProtectItems(*binder_);
}

// The seed fields are hidden, so a text in them that is not a number is
// said and skipped rather than keeping the dialog open.
void TfrmConfig::readSeeds() {
    const char* names[] = {"Seed0Edit", "Seed1Edit"};
    for (std::size_t i = 0; i < SeedBytes.size(); ++i) {
        const std::string text = binder_->text(names[i]);
        const auto v = config::parseHexEntry(text);
        if (v) SeedBytes[i] = std::uint8_t(*v);  // a seed is one byte: the low one
        else QMessageBox::warning(this, windowTitle(), QString::fromStdString(config::badNumberLine(text)));
    }
}

void TfrmConfig::BitBtn1Click() {
    if (st_.dev() && st_.dev()->PageCode == kSecurityPage) readSeeds();
    accept();
}

void TfrmConfig::done(int result) {
    // Only a change the user made counts: a look at the page, closed with OK,
    // chooses nothing.
    if (mcuPage_ && st_.dev()->PageCode == kSecurityPage && chipBytes() != opened_) st_.mcu.McuConfigKnown = true;
    QDialog::done(result);
}

std::vector<Sheet> TfrmConfig::visibleSheets() const {
    std::vector<Sheet> out;
    if (PageControl1->isHidden()) return out;
    for (int i = 0; i < config::kSheetCount; ++i)
        if (PageControl1->isTabVisible(i)) out.push_back(Sheet(i));
    return out;
}

}  // namespace tesmar
