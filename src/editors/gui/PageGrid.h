#pragma once
// What the page editors (hex and fuse map) share: grids of fixed cells that
// show one page of the image, the models behind them, the characters typed
// into them, and the pieces of the editor windows around them.
#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <functional>
#include <optional>

class QHBoxLayout;
class QKeyEvent;
class QLabel;
class QPushButton;
class QScrollBar;
class QTableView;

namespace tesmar {

// A page's grid model: a column of row addresses or the page's cells, with
// blank text past the cells that lie inside the view.
class PageGridModel : public QAbstractTableModel {
public:
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The page changed: every cell is redrawn.
    virtual void pageChanged();
    // One cell of the page changed (the address column stays as it is).
    void cellChanged(int row, int col);

protected:
    PageGridModel(int rows, bool addressColumn, QObject* parent);

    bool isAddressColumn() const { return addressColumn_; }
    virtual int cellColumns() const = 0;
    virtual QString addressText(int row) const = 0;
    virtual QString cellText(int row, int col) const = 0;

private:
    int rows_;
    bool addressColumn_;
};

// A grid of `cells` (columns x rows) of `cellSize` each, sized to fit them
// exactly: no headers, no scroll bars, one selected cell, no editing of the
// view's own. Its keys go through `owner`'s event filter; a new current cell
// is told to `currentChanged`.
QTableView* makePageGrid(QWidget* owner, QAbstractItemModel* model, const char* name, QSize cells, QSize cellSize,
                         const std::function<void(QTableView*, const QModelIndex&)>& currentChanged);

// The character a key press delivers for entry (nothing for control keys).
// One character may take two UTF-16 units.
std::optional<QString> typedCharacter(const QKeyEvent* e);

// A key a grid keeps from the view: typed characters are entry, never the
// view's keyboard search; Enter and Escape change nothing.
bool isGridEntryKey(const QKeyEvent* e);

// The character each key still down delivered when pressed: a grid enters it
// when the key is released.
class HeldKeys {
public:
    void press(const QKeyEvent* e);
    std::optional<QString> release(const QKeyEvent* e);

private:
    QHash<int, QString> typed_;
};

// The vertical scroll bar beside the grids, one row per step.
QScrollBar* makePageScrollBar(QWidget* owner, int height, int pageStep);
// A button of the editor's bottom row; Enter never presses it.
QPushButton* makeEditorButton(QWidget* owner, const char* name, const char* text);
// A grid (or the scroll bar) with its caption above it, beside the others.
void addCaptioned(QHBoxLayout* grids, QLabel* caption, QWidget* w);
// The grids above the bottom row, in a window of fixed size.
void layOutEditor(QWidget* owner, QHBoxLayout* grids, QHBoxLayout* bottom);

}  // namespace tesmar
