#pragma once
// The PLD fuse-map editor: the array fuses of the map, sixteen JEDEC lines at
// a time, as an address column of fuse numbers and a grid of 'X' (intact) and
// '-' (blank) cells. Typing 'X', 'x' or '-' retypes a fuse; every key release
// stores the shown rows and recomputes the checksum. The editor's view is its
// own: the image's view size, and with it the user and configuration fuses,
// stay as they are.
#include <QDialog>
#include <cstdint>

#include "app/AppState.h"
#include "editors/FuseEditing.h"
#include "editors/gui/FusePageModel.h"

class QKeyEvent;
class QLabel;
class QPushButton;
class QScrollBar;
class QTableView;

namespace tesmar {

class TFuseEditor : public QDialog {
    Q_OBJECT
public:
    explicit TFuseEditor(AppState& st, QWidget* parent = nullptr);

    // Shows the sixteen grid rows from `top` (rows past the array stay blank).
    void ShowPage(std::uint32_t top);
    // Writes the shown rows back into the image.
    void StorePage();

    const FuseView& view() const { return view_; }
    std::uint32_t topRow() const { return page_.top; }
    int selectedRow() const { return row_; }
    int selectedCol() const { return col_; }

    QTableView* StringGrid2 = nullptr;  // fuse number of each row's first fuse
    QTableView* StringGrid3 = nullptr;  // the fuses
    QScrollBar* ScrollBar1 = nullptr;
    QPushButton* Home = nullptr;
    QPushButton* Fill = nullptr;  // hidden: a fill would store bytes that are no fuse values
    QPushButton* BitBtn1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;

public slots:
    void HomeClick();
    void ScrollBar1Scroll(int position);
    void BitBtn1Click();
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildForm();
    void FormCreate();

    void selectCell(int row, int col);
    void gridCurrentChanged(QTableView* grid, const QModelIndex& current);
    void showScrollPosition();

    // Key-down of both grids: paging and scrolling at the grid's edges.
    bool gridKeyDown(QKeyEvent* e);
    void StringGrid3KeyUp(QKeyEvent* e);
    void advance();
    // Stores the shown rows, then shows those from `top` when given.
    void moveTo(std::optional<std::uint32_t> top);

    AppState& st_;
    FuseView view_;
    FusePage page_;
    FusePageModel* addressModel_ = nullptr;
    FusePageModel* fuseModel_ = nullptr;

    int row_ = 0, col_ = 0;
    HeldKeys held_;
    bool syncing_ = false;
};

}  // namespace tesmar
