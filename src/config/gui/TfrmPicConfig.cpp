#include "config/gui/TfrmPicConfig.h"

#include <algorithm>

namespace tesmar {

using config::PicSheet;

namespace {

constexpr QSize kSheetArea(776, 386);
constexpr std::uint8_t kTwelveBitIdPage = 19;

// Sheets on which no ID group shows, and the PIC18 sheets that show the eight-byte one.
bool secondClassicSheet(PicSheet s) {
    return s == PicSheet::Page4A || s == PicSheet::Page10A || s == PicSheet::Page33A || s == PicSheet::Page46A;
}
bool firstPic18Sheet(PicSheet s) {
    return s == PicSheet::Page27 || s == PicSheet::Page34 || s == PicSheet::Page36 || s == PicSheet::Page38;
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
    PageControl->setGeometry(8, 8, 784, 420);
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
    for (int i = 0; i < config::kPicSheetCount; ++i) PageControl->setTabVisible(i, false);
    GB_18F->hide();
    GB_18F->setEnabled(false);
    for (QLabel* l : hexLabels) l->hide();
    const DeviceRecord* dev = st_.dev();
    if (!dev) {
        GB_ID->hide();
        PageControl->hide();
        return;
    }
    const config::PicPlaces places = config::picPlaces(*dev);
    binder_->setPlaces(places);
    QStringList notes;

    // The ID group of the layout, where its bytes lie inside the image.
    const bool pic18 = places.layout == config::PicLayout::Pic18;
    QGroupBox* ids = pic18 ? GB_18F : GB_ID;
    QGroupBox* other = pic18 ? GB_ID : GB_18F;
    other->hide();
    other->setEnabled(false);
    idsUsable_ = binder_->reachable(config::Target::id(places.idCount - 1));
    ids->setVisible(idsUsable_);
    ids->setEnabled(idsUsable_);
    ids->move(12, 32);
    if (!idsUsable_) notes << "The ID locations lie outside the memory image: they cannot be edited";

    if (!pic18) {
        const std::string masked = config::applyOpeningMasks(st_.buf, *dev);
        if (!masked.empty()) notes << QString::fromStdString(masked);
    }
    if (dev->PageCode == kTwelveBitIdPage)
        binder_->PicConfigMask() = std::uint32_t(dev->ConfigMasks[0]) * 256 + dev->ConfigMasks[1];
    if (const auto at = places.configByte(pic18 ? 0 : 1); at && *at < st_.buf.size()) st_.buf.BufferCursor = *at;

    const config::PicOpening opening = config::picOpening(*dev, st_.buf.size());
    if (!opening.note.empty()) notes << QString::fromStdString(opening.note);
    LayoutNote->setText(notes.join('\n'));
    if (opening.set) {
        showSet(*opening.set);
    } else {
        // Only the ID group and OK.
        PageControl->hide();
        binder_->decodeAll();
    }
}

void TfrmPicConfig::showSet(const config::PicPageSet& set) {
    const DeviceRecord& dev = *st_.dev();
    std::vector<int> shown;
    for (std::size_t i = 0; i < set.sheets.size(); ++i) {
        const int s = int(set.sheets[i]);
        shown.push_back(s);
        PageControl->setTabVisible(s, true);
        const QString caption = i == 0 ? QString::fromStdString(dev.Name) : QString(set.captions.at(i - 1));
        PageControl->setTabText(s, caption);
    }
    PageControl->setCurrentIndex(shown.front());
    for (int k = 0; k < set.labels && k < int(hexLabels.size()); ++k) hexLabels[std::size_t(k)]->show();
    binder_->setShownSheets(shown);
    if (set.setup) set.setup(*binder_);
    // Setting a control runs its row, as the user choosing that state would.
    binder_->decodeAll();
    binder_->refreshDisplays();
    if (set.finish) set.finish(*binder_);
}

void TfrmPicConfig::PageControlChange(int index) {
    if (index < 0 || index >= config::kPicSheetCount || !idsUsable_) return;
    const PicSheet s = PicSheet(index);
    if (st_.dev() && st_.dev()->Algorithm == 18) {
        GB_18F->setVisible(firstPic18Sheet(s));
        return;
    }
    GB_ID->setVisible(!secondClassicSheet(s));
}

void TfrmPicConfig::BitBtn1Click() { accept(); }

std::vector<PicSheet> TfrmPicConfig::visibleSheets() const {
    std::vector<PicSheet> out;
    if (PageControl->isHidden()) return out;
    for (int i = 0; i < config::kPicSheetCount; ++i)
        if (PageControl->isTabVisible(i)) out.push_back(PicSheet(i));
    return out;
}

}  // namespace tesmar
