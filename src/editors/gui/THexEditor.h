#pragma once
// The hex editor: one 256-byte page of the image as an address column, a
// 16 x 16 hex grid and a 16 x 16 character grid, with paging, entry, go to
// address, search, copy/move and fill. Edits go straight into the image.
#include <QDialog>
#include <cstdint>
#include <optional>

#include "app/AppState.h"
#include "editors/gui/HexPageModel.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QTableView;
class QKeyEvent;

namespace tesmar {

class THexEditor : public QDialog {
    Q_OBJECT
public:
    explicit THexEditor(AppState& st, QWidget* parent = nullptr);

    // Shows the page starting at offset (bytes past the view stay blank).
    void ShowPage(std::uint32_t offset);
    // Writes the shown page back into the image.
    void StorePage();

    // Keeps the pattern and searches from the start of the image.
    void StartSearch(const QByteArray& pattern);
    // Searches from the search position and shows the first match.
    void FindNext();
    // Copies (with a replace value: moves) count bytes from begin to to and
    // shows the target.
    void CopyBlock(std::uint32_t begin, std::uint64_t count, std::uint32_t to,
                   std::optional<std::uint8_t> replace);

    std::uint32_t viewSize() const { return view_; }
    std::uint32_t pageOffset() const { return page_.offset; }
    int selectedRow() const { return row_; }
    int selectedCol() const { return col_; }
    std::uint32_t selectedOffset() const { return page_.offset + std::uint32_t(row_ * 16 + col_); }
    int digitPosition() const { return digit_; }

    QTableView* StringGrid1 = nullptr;  // hex bytes
    QTableView* StringGrid2 = nullptr;  // addresses
    QTableView* StringGrid3 = nullptr;  // characters
    QScrollBar* ScrollBar1 = nullptr;
    QLineEdit* CurrAdd = nullptr;
    QLabel* CsumText = nullptr;
    QPushButton* Home = nullptr;
    QPushButton* Search = nullptr;
    QPushButton* Again = nullptr;
    QPushButton* Fill = nullptr;
    QPushButton* BtCopy = nullptr;
    QPushButton* BtMove = nullptr;
    QPushButton* BitBtn1 = nullptr;

public slots:
    void HomeClick();
    void SearchClick();
    void AgainClick();
    void FillClick();
    void BtCopyClick();
    void BtMoveClick();
    void BitBtn1Click();
    void ScrollBar1Scroll(int position);
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildForm();
    void FormCreate();

    // Selection of a cell in any grid; keeps the three grids, CurrAdd and
    // the scroll bar in step.
    void selectCell(int row, int col);
    void gridCurrentChanged(QTableView* grid, const QModelIndex& current);

    bool StringGrid1KeyDown(QKeyEvent* e);
    void gridKeyUp(bool hexGrid, QKeyEvent* e);
    void enterHexDigit(const QString& c);
    void enterCharacter(const QString& c);
    void advance();
    bool CurrAddKeyPress(QKeyEvent* e);

    // Stores the shown page, then shows the one at page.
    void movePage(std::uint32_t page);
    // CurrAdd and the scroll bar after the page or the selection moved.
    void showPosition();
    void showChecksum();
    void recomputeChecksum();
    void updateCell(int row, int col);
    int cellIndex() const { return row_ * 16 + col_; }

    AppState& st_;
    std::uint32_t view_ = 0;
    HexPage page_;
    HexPageModel* addressModel_ = nullptr;
    HexPageModel* hexModel_ = nullptr;
    HexPageModel* charModel_ = nullptr;

    int row_ = 0, col_ = 0;
    int digit_ = 1;
    std::uint8_t savedByte_ = 0;      // the selected cell as it was when selected
    HeldKeys held_;
    bool syncing_ = false;

    QByteArray pattern_;
    std::uint64_t searchPos_ = 0;
};

}  // namespace tesmar
