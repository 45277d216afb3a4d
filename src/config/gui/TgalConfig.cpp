#include "config/gui/TgalConfig.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "config/PldFuseView.h"
#include "editors/FuseEditing.h"

namespace tesmar {
namespace {

constexpr int kCellWidth = 10;
constexpr int kShownCells = 66;  // wider rows scroll

}  // namespace

TgalConfig::TgalConfig(AppState& st, QWidget* parent) : QDialog(parent), st_(st) {
    if (parent) {
        setFont(parent->font());
        setPalette(parent->palette());
    }
    setObjectName("galConfig");
    setWindowTitle("PLD User Fuses & PTD/CONFIG");
    setModal(true);

    Label1 = new QLabel("User Row", this);
    Label1->setObjectName("Label1");
    UserGrid = makeGrid("UserGrid");
    Label2 = new QLabel("PTD/CONFIG", this);
    Label2->setObjectName("Label2");
    PTDGrid = makeGrid("PTDGrid");
    BtSave = new QPushButton("Save", this);
    BtSave->setObjectName("BtSave");
    BtSave->hide();
    BtCan = new QPushButton("Close", this);
    BtCan->setObjectName("BtCan");
    BtCan->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtSave);
    buttons->addWidget(BtCan);
    auto* lay = new QVBoxLayout(this);
    for (QWidget* w : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(UserGrid),
                       static_cast<QWidget*>(Label2), static_cast<QWidget*>(PTDGrid)})
        lay->addWidget(w);
    lay->addLayout(buttons);
    lay->setSizeConstraint(QLayout::SetFixedSize);

    connect(BtSave, &QPushButton::clicked, this, &TgalConfig::BtSaveClick);
    connect(BtCan, &QPushButton::clicked, this, &TgalConfig::BtCanClick);
    FormCreate();
}

QTableWidget* TgalConfig::makeGrid(const char* name) {
    auto* g = new QTableWidget(1, 0, this);
    g->setObjectName(name);
    for (QHeaderView* h : {g->horizontalHeader(), g->verticalHeader()}) {
        h->hide();
        h->setMinimumSectionSize(1);
        h->setSectionResizeMode(QHeaderView::Fixed);
    }
    g->horizontalHeader()->setDefaultSectionSize(std::max(kCellWidth, fontMetrics().horizontalAdvance('X') + 4));
    g->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    g->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    g->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setSelectionMode(QAbstractItemView::SingleSelection);
    return g;
}

void TgalConfig::fillGrid(QTableWidget* grid, const std::vector<std::uint32_t>& fuses) {
    grid->setColumnCount(int(fuses.size()));
    for (int c = 0; c < int(fuses.size()); ++c) {
        auto* item = new QTableWidgetItem(QString(fuseCharacter(st_.buf.DeviceBuffer[fuses[std::size_t(c)]])));
        item->setTextAlignment(Qt::AlignCenter);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        grid->setItem(0, c, item);
    }
    const int cell = grid->horizontalHeader()->defaultSectionSize();
    const int frame = 2 * grid->frameWidth();
    const int shown = std::clamp(int(fuses.size()), 1, kShownCells);
    const int scroll = int(fuses.size()) > kShownCells ? grid->horizontalScrollBar()->sizeHint().height() : 0;
    grid->setFixedSize(shown * cell + frame, grid->verticalHeader()->defaultSectionSize() + frame + scroll);
}

void TgalConfig::FormCreate() {
    const DeviceRecord* rec = st_.dev();
    const config::PldFuseRows rows = rec ? config::pldFuseRows(*rec, st_.buf.size()) : config::PldFuseRows{};
    fillGrid(UserGrid, rows.user);
    fillGrid(PTDGrid, rows.config);
    UserGrid->setHidden(!rows.userShown);
    Label1->setHidden(!rows.userShown);
}

void TgalConfig::BtSaveClick() { close(); }

void TgalConfig::BtCanClick() { close(); }

}  // namespace tesmar
