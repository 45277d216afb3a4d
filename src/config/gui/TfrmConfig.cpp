#include "config/gui/TfrmConfig.h"

namespace tesmar {

using config::Sheet;

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
    binder_ = new PageBinder(st_, config::controlRows(), std::vector<QWidget*>(sheets.begin(), sheets.end()), this,
                             QSize(420, 212));
    GB100_Wpen = binder_->get<QGroupBox>("GB100_Wpen");
    CB100_Wpen = binder_->get<QCheckBox>("CB100_Wpen");
    RG100 = binder_->get<RadioGroup>("RG100");
    RG102_BP = binder_->get<RadioGroup>("RG102_BP");
    RG102_TB = binder_->get<RadioGroup>("RG102_TB");
    CB102_SRP = binder_->get<QCheckBox>("CB102_SRP");
    RG130 = binder_->get<RadioGroup>("RG130");

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

    std::vector<int> indexes;
    for (Sheet s : shown) {
        const int i = int(s);
        indexes.push_back(i);
        PageControl1->setTabVisible(i, true);
        PageControl1->setTabText(i, QString::fromStdString(dev->Name));
    }
    PageControl1->setCurrentIndex(int(shown.front()));
    binder_->setShownSheets(indexes);
    if (const config::PageSetup setup = config::pageSetup(dev->PageCode)) setup(*binder_);
    // Setting a control writes its value back through the binder, just as a click would.
    binder_->decodeAll();
    binder_->refreshDisplays();
}

void TfrmConfig::RebuildBlockProtectItems() {
    if (st_.dev()) config::rebuildBlockProtectItems(*binder_);
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
