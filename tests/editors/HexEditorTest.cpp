// The hex editor driven as a user drives it: real key and mouse events on the
// offscreen platform. Each test checks the image and the checksum label.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

#include "editors/EditorRig.h"
#include "editors/HexEditing.h"
#include "editors/gui/THexEditor.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

// A 2 KiB EPROM: a 4096-byte view of erased bytes.
RecordSpec eprom2k() { return RecordSpec{'R', 0x7FF}; }

class HexEditorTest : public EditorFixture {
protected:
    void typeHex(const char* keys) { QTest::keyClicks(ed->StringGrid1, keys); }
    void expectChecksumShown() {
        EXPECT_EQ(ed->CsumText->text(), rig->expectedChecksumText());
        EXPECT_EQ(rig->host.checksum(), rig->expectedChecksumText());
    }
    // The selection, with the scroll bar and address column of the page.
    void expectAt(std::uint32_t page, int row, int col) {
        expectSelected(page, row, col);
        EXPECT_EQ(ed->ScrollBar1->value(), int(page / 16));
        EXPECT_EQ(cellText(ed->StringGrid2, 0, 0), hex8(page));
    }
    // Puts the page at 'page' (a multiple of 16) and selects a cell by mouse.
    void goTo(std::uint32_t page, int row, int col) {
        ed->ScrollBar1->setValue(int(page / 16));
        clickCell(ed->StringGrid1, row, col);
        expectAt(page, row, col);
    }
};

TEST_F(HexEditorTest, OpensOnTheFirstPageOfTheView) {
    open(eprom2k());
    EXPECT_EQ(ed->windowTitle(), "Hex Editor");
    EXPECT_EQ(rig->st.buf.BufferViewSize, 0x1000u);
    EXPECT_EQ(ed->ScrollBar1->maximum(), 240);
    EXPECT_EQ(ed->CurrAdd->text(), "00000000");
    EXPECT_EQ(ed->CsumText->text(), "0xF800");  // 0x800 bytes of 0xFF
    EXPECT_EQ(cellText(ed->StringGrid2, 15, 0), "000000F0");
    EXPECT_EQ(cellText(ed->StringGrid1, 0, 0), "FF");
    EXPECT_EQ(cellText(ed->StringGrid3, 0, 0), ".");
    expectAt(0, 0, 0);
}

TEST_F(HexEditorTest, Pic18ShowsTheWholeMegabyte) {
    open(RecordSpec{'C', 0x7FFF, 18, 0, 0xFF});
    EXPECT_EQ(rig->st.buf.BufferViewSize, 0x100000u);
    ed->ScrollBar1->setValue(ed->ScrollBar1->maximum());
    expectAt(0xFFF00, 0, 0);
    EXPECT_EQ(cellText(ed->StringGrid2, 15, 0), "000FFFF0");
}

TEST_F(HexEditorTest, TwoHexDigitsEnterAByteAndMoveRight) {
    open(eprom2k());
    QTest::keyClick(ed->StringGrid1, 'a');
    EXPECT_EQ(rig->at(0), 0xAF);  // stored at the key release
    EXPECT_EQ(cellText(ed->StringGrid1, 0, 0), "AF");
    EXPECT_EQ(ed->selectedCol(), 0);
    QTest::keyClick(ed->StringGrid1, '5');
    EXPECT_EQ(rig->at(0), 0xA5);
    EXPECT_EQ(cellText(ed->StringGrid1, 0, 0), "A5");
    EXPECT_EQ(cellText(ed->StringGrid3, 0, 0), ".");
    expectAt(0, 0, 1);
    EXPECT_EQ(ed->CsumText->text(), "0xF7A6");
    expectChecksumShown();
}

TEST_F(HexEditorTest, ShiftedDigitsAreEnteredLikeOthers) {
    open(eprom2k());
    QTest::keyClick(ed->StringGrid1, Qt::Key_A, Qt::ShiftModifier);
    QTest::keyClick(ed->StringGrid1, Qt::Key_B, Qt::ShiftModifier);
    EXPECT_EQ(rig->at(0), 0xAB);
    expectAt(0, 0, 1);
}

TEST_F(HexEditorTest, RejectedKeyShowsTheErrorAndRestoresTheCell) {
    open(eprom2k());
    rig->st.buf.DeviceBuffer[3] = 0x5C;
    ed->ShowPage(0);
    clickCell(ed->StringGrid1, 0, 3);
    QTest::keyClick(ed->StringGrid1, '1');
    EXPECT_EQ(rig->at(3), 0x1C);
    auto box = answerNextBox();
    QTest::keyClick(ed->StringGrid1, 'g');
    ASSERT_TRUE(box->seen);
    EXPECT_EQ(box->text, "This isn't a valid hex value: g");
    EXPECT_EQ(rig->at(3), 0x5C);
    EXPECT_EQ(cellText(ed->StringGrid1, 0, 3), "5C");
    expectChecksumShown();
    // The restored cell takes a fresh pair of digits.
    typeHex("12");
    EXPECT_EQ(rig->at(3), 0x12);
    expectAt(0, 0, 4);
}

TEST_F(HexEditorTest, AdvanceWrapsToTheNextRowAndScrollsAtTheBottom) {
    open(eprom2k());
    clickCell(ed->StringGrid1, 0, 15);
    typeHex("12");
    EXPECT_EQ(rig->at(0x0F), 0x12);
    expectAt(0, 1, 0);

    clickCell(ed->StringGrid1, 15, 15);
    typeHex("34");
    EXPECT_EQ(rig->at(0xFF), 0x34);
    expectAt(0x10, 15, 0);  // one row on, still the bottom row
    EXPECT_EQ(cellText(ed->StringGrid1, 14, 15), "34");

    goTo(0xF00, 15, 15);  // the last page of the view
    typeHex("56");
    EXPECT_EQ(rig->at(0xFFF), 0x56);
    expectAt(0xF00, 15, 0);
    expectChecksumShown();
}

TEST_F(HexEditorTest, CharacterGridEntersCodes) {
    open(eprom2k());
    clickCell(ed->StringGrid3, 2, 14);
    QTest::keyClicks(ed->StringGrid3, "Hi`");  // the key left of 1 enters nothing
    EXPECT_EQ(rig->at(0x2E), 'H');
    EXPECT_EQ(rig->at(0x2F), 'i');
    EXPECT_EQ(rig->at(0x30), 0xFF);
    EXPECT_EQ(cellText(ed->StringGrid1, 2, 14), "48");
    EXPECT_EQ(cellText(ed->StringGrid3, 2, 15), "i");
    expectAt(0, 3, 0);
    expectChecksumShown();
}

TEST_F(HexEditorTest, CharacterGridRefusesCharactersWithoutAByte) {
    // A character from 00 to FF is its own byte; any other has none: the
    // user is told, the cell keeps its byte and the selection stays.
    struct Case {
        const char* typed;  // UTF-8
        int stored;         // -1: refused
    };
    const Case cases[] = {{"\u00E9", 0xE9}, {"\u20AC", -1}, {"\U0001F600", -1}, {"\u0100", -1}};
    open(eprom2k());
    MessageBoxAnswerer boxes;
    for (const Case& c : cases) {
        const QString typed = QString::fromUtf8(c.typed);
        SCOPED_TRACE(typed.toStdString());
        clickCell(ed->StringGrid3, 1, 5);
        const qsizetype before = boxes.seen().size();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, typed);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, typed);
        QApplication::sendEvent(ed->StringGrid3, &press);
        QApplication::sendEvent(ed->StringGrid3, &release);
        const QStringList shown = boxes.seen().mid(before);
        if (c.stored >= 0) {
            EXPECT_TRUE(shown.isEmpty()) << shown.join('\n').toStdString();
            EXPECT_EQ(rig->at(0x15), c.stored);
            expectAt(0, 1, 6);
        } else {
            ASSERT_EQ(shown.size(), 1);
            EXPECT_TRUE(shown[0].contains("'" + typed + "'")) << shown[0].toStdString();
            EXPECT_TRUE(shown[0].contains("cannot be stored")) << shown[0].toStdString();
            EXPECT_EQ(rig->at(0x15), 0xE9);
            expectAt(0, 1, 5);
        }
    }
    expectChecksumShown();
}

struct PagingCase {
    const char* name;
    std::uint32_t page;
    int row;
    Qt::Key key;
    std::uint32_t newPage;
    int newRow;
};

class HexEditorPaging : public HexEditorTest, public ::testing::WithParamInterface<PagingCase> {};

TEST_P(HexEditorPaging, StopsAtTheEndsOfTheView) {
    const PagingCase& c = GetParam();
    open(eprom2k());
    goTo(c.page, c.row, 7);
    QTest::keyClick(ed->StringGrid1, c.key);
    expectAt(c.newPage, c.newRow, 7);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, HexEditorPaging,
    ::testing::Values(PagingCase{"PageDown", 0x000, 4, Qt::Key_PageDown, 0x100, 4},
                      PagingCase{"PageDownAtEnd", 0xF00, 4, Qt::Key_PageDown, 0xF00, 4},
                      PagingCase{"PageDownShortOfAPage", 0xE80, 4, Qt::Key_PageDown, 0xE80, 4},
                      PagingCase{"PageUp", 0x230, 4, Qt::Key_PageUp, 0x130, 4},
                      PagingCase{"PageUpAtStart", 0x0F0, 4, Qt::Key_PageUp, 0x0F0, 4},
                      PagingCase{"UpOnTopRow", 0x100, 0, Qt::Key_Up, 0x0F0, 0},
                      PagingCase{"UpAtStart", 0x000, 0, Qt::Key_Up, 0x000, 0},
                      PagingCase{"UpInsidePage", 0x100, 5, Qt::Key_Up, 0x100, 4},
                      PagingCase{"DownOnBottomRow", 0x000, 15, Qt::Key_Down, 0x010, 15},
                      PagingCase{"DownAtEnd", 0xF00, 15, Qt::Key_Down, 0xF00, 15},
                      PagingCase{"DownInsidePage", 0xF00, 3, Qt::Key_Down, 0xF00, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HexEditorTest, PagingKeepsTheHalfTypedByteAndRestartsTheDigits) {
    open(eprom2k());
    QTest::keyClick(ed->StringGrid1, '1');
    QTest::keyClick(ed->StringGrid1, Qt::Key_PageDown);
    EXPECT_EQ(rig->at(0), 0x1F);
    EXPECT_EQ(ed->digitPosition(), 1);
    typeHex("2");
    EXPECT_EQ(rig->at(0x100), 0x2F);
    // Keys in the address column page as well.
    QTest::keyClick(ed->StringGrid2, Qt::Key_PageUp);
    expectAt(0, 0, 0);
    expectChecksumShown();
}

TEST_F(HexEditorTest, ScrollBarMovesByRows) {
    open(eprom2k());
    clickCell(ed->StringGrid1, 3, 2);
    ed->ScrollBar1->triggerAction(QAbstractSlider::SliderPageStepAdd);
    expectAt(0x100, 3, 2);
    ed->ScrollBar1->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    expectAt(0x110, 3, 2);
    EXPECT_EQ(ed->CurrAdd->text(), "00000142");
    QTest::mouseClick(ed->Home, Qt::LeftButton);
    expectAt(0, 0, 0);
}

TEST_F(HexEditorTest, GoToAddressOverwritesAtTheCaret) {
    open(eprom2k());
    rig->st.buf.DeviceBuffer[0xF10] = 0x77;
    ed->CurrAdd->setFocus();
    ed->CurrAdd->setCursorPosition(5);
    QTest::keyClick(ed->CurrAdd, 'f');
    expectAt(0xF00, 0, 0);
    EXPECT_EQ(ed->CurrAdd->cursorPosition(), 6);
    QTest::keyClick(ed->CurrAdd, '1');  // 0xF10: past the last full page's start
    expectAt(0xF00, 1, 0);
    EXPECT_EQ(cellText(ed->StringGrid1, 1, 0), "77");
    ed->CurrAdd->setCursorPosition(0);
    QTest::keyClick(ed->CurrAdd, '1');  // 0x10000F10 is cut back into the view
    EXPECT_EQ(ed->CurrAdd->text(), "00000F10");
    expectAt(0xF00, 1, 0);
    QTest::keyClick(ed->CurrAdd, 'x');  // not a digit: the field is unchanged
    EXPECT_EQ(ed->CurrAdd->text(), "00000F10");
    EXPECT_EQ(rig->at(0xF10), 0x77);
}

TEST_F(HexEditorTest, GoToAddressInsideAViewThatIsNoPowerOfTwo) {
    open(RecordSpec{'M', 0x1FFF, 0, 0, 0xFF, 0x200});
    ASSERT_EQ(ed->viewSize(), 0x2200u);
    ed->CurrAdd->setCursorPosition(4);
    QTest::keyClick(ed->CurrAdd, '1');
    expectAt(0x1000, 0, 0);
    ed->CurrAdd->setCursorPosition(4);
    QTest::keyClick(ed->CurrAdd, '2');
    expectAt(0x2000, 0, 0);
    ed->CurrAdd->setCursorPosition(5);
    QTest::keyClick(ed->CurrAdd, '3');  // 0x2300 wraps to 0x100
    expectAt(0x100, 0, 0);
}

TEST_F(HexEditorTest, OkStoresAndKeepsTheViewSize) {
    open(eprom2k());
    typeHex("0");
    QTest::mouseClick(ed->BitBtn1, Qt::LeftButton);
    EXPECT_FALSE(ed->isVisible());
    EXPECT_EQ(rig->at(0), 0x0F);
    EXPECT_EQ(rig->st.buf.BufferViewSize, 0x1000u);
}

TEST_F(HexEditorTest, ViewOfABlockShorterThanAPage) {
    // Odd/even mode of a 64-byte part: the block holds 0x80 bytes only.
    RecordSpec shape{'R', 0x3F};
    rig = std::make_unique<EditorRig>(shape);
    rig->st.OddEvenMode = 1;
    allocateOddEven(rig->st.buf, shape.record());
    ed = std::make_unique<THexEditor>(rig->st);
    ed->show();
    EXPECT_EQ(ed->viewSize(), 0x80u);
    EXPECT_EQ(cellText(ed->StringGrid1, 8, 0), "");
    clickCell(ed->StringGrid1, 7, 15);
    typeHex("1234");
    EXPECT_EQ(rig->at(0x7F), 0x12);
    EXPECT_EQ(rig->st.buf.size(), 0x80u);
    QTest::keyClick(ed->StringGrid1, Qt::Key_PageDown);
    QTest::keyClick(ed->StringGrid1, Qt::Key_Down);
    expectAt(0, 9, 0);
}

}  // namespace
