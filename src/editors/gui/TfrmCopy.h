#pragma once
// The copy and move dialog. It checks the entry and hands the block back;
// the hex editor does the copy.
#include <QDialog>
#include <cstdint>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tesmar {

class TfrmCopy : public QDialog {
    Q_OBJECT
public:
    // selectedOffset: the hex editor's selected cell; move: the Move variant.
    TfrmCopy(std::uint32_t selectedOffset, bool move, QWidget* parent = nullptr);

    // The block of the last accepted Copy or Move.
    std::uint32_t begin() const { return begin_; }
    std::uint32_t count() const { return count_; }
    std::uint32_t to() const { return to_; }
    std::optional<std::uint8_t> replace() const { return replace_; }

    QLabel* Label1 = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* BeginAdd = nullptr;
    QLineEdit* NrBytes = nullptr;
    QLineEdit* WhereAdd = nullptr;
    QLineEdit* ReplaceEd = nullptr;
    QPushButton* CopyBt = nullptr;
    QPushButton* MoveBt = nullptr;

public slots:
    void CopyBtClick();
    void MoveBtClick();

private:
    // Reads Begin, Count and To; false (after the message) when one is not hex.
    bool readBlock();

    std::uint32_t begin_ = 0, count_ = 0, to_ = 0;
    std::optional<std::uint8_t> replace_;
};

}  // namespace tesmar
