// Search, copy/move and fill, opened from the hex editor's buttons and
// answered as a user would.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>

#include "editors/EditorRig.h"
#include "editors/HexEditing.h"
#include "editors/gui/THexEditor.h"
#include "editors/gui/TSearsForm.h"
#include "editors/gui/TfrmCopy.h"
#include "editors/gui/TfrmFill.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

class EditorDialogs : public EditorFixture {
protected:
    void put(std::uint32_t at, const QByteArray& bytes) {
        std::copy(bytes.begin(), bytes.end(), rig->st.buf.DeviceBuffer.begin() + at);
        ed->ShowPage(ed->pageOffset());  // the shown page was taken before this change
    }
    // Opens the search dialog, types text (switching to character mode when
    // asked) and clicks Find; the dialog is closed when it stays open.
    void search(const QString& text, bool characters = false) {
        whenModal<TSearsForm>([=](TSearsForm* f) {
            if (characters) QTest::mouseClick(f->HexAscii, Qt::LeftButton);
            f->Edit1->setText(text);
            QTest::mouseClick(f->Button1, Qt::LeftButton);
            if (f->isVisible()) f->reject();
        });
        QTest::mouseClick(ed->Search, Qt::LeftButton);
    }
    // Fills the copy or move dialog and clicks its button; returns what the
    // dialog showed in NrBytes and whether it closed.
    bool copyOrMove(bool move, const QString& b, const QString& n, const QString& t, const QString& r = {}) {
        auto closed = std::make_shared<bool>(false);
        whenModal<TfrmCopy>([=, this](TfrmCopy* f) {
            EXPECT_EQ(f->windowTitle(), move ? "Move" : "Copy");
            EXPECT_EQ(f->ReplaceEd->isVisible(), move);
            f->BeginAdd->setText(b);
            f->NrBytes->setText(n);
            f->WhereAdd->setText(t);
            f->ReplaceEd->setText(r);
            QTest::mouseClick(move ? f->MoveBt : f->CopyBt, Qt::LeftButton);
            *closed = !f->isVisible();
            if (*closed) lastCount = f->NrBytes->text();
            else f->reject();
        });
        QTest::mouseClick(move ? ed->BtMove : ed->BtCopy, Qt::LeftButton);
        return *closed;
    }
    void expectChecksumShown() { EXPECT_EQ(ed->CsumText->text(), rig->expectedChecksumText()); }

    QString lastCount;
};

// A 64 KiB EEPROM: view 0x10000.
RecordSpec eeprom64k() { return RecordSpec{'E', 0xFFFF, 0, 0, 0xFF}; }

TEST_F(EditorDialogs, SearchShowsTheMatchAndAgainWraps) {
    open(eeprom64k());
    put(0x1234, "AB");
    put(0x2000, "AB");
    search("4142");
    expectSelected(0x1230, 0, 4);

    QTest::mouseClick(ed->Again, Qt::LeftButton);
    expectSelected(0x2000, 0, 0);

    auto box = answerNextBox();
    QTest::mouseClick(ed->Again, Qt::LeftButton);
    ASSERT_TRUE(box->seen);
    EXPECT_EQ(box->text, "Not Found");
    EXPECT_EQ(box->icon, QMessageBox::Information);
    expectSelected(0xFF00, 15, 15);  // the last byte of the view

    QTest::mouseClick(ed->Again, Qt::LeftButton);  // from the last byte: back to the start
    expectSelected(0x1230, 0, 4);
}

TEST_F(EditorDialogs, MatchInTheLastPageSelectsItsRow) {
    open(eeprom64k());
    put(0xFFE3, "\x12\x34");
    search("1234");
    expectSelected(0xFF00, 14, 3);
}

TEST_F(EditorDialogs, CharacterSearchKeepsCase) {
    open(eeprom64k());
    put(0x300, "abc");
    put(0x500, "ABC");
    search("ABC", true);
    expectSelected(0x500, 0, 0);
    auto box = answerNextBox();
    search("", true);
    EXPECT_EQ(box->text, "Not Found");
}

TEST_F(EditorDialogs, CharacterSearchRefusesCharactersWithoutAByte) {
    // Characters 00 to FF are searched as their bytes; a text with any other
    // character is refused and the dialog stays open. Nothing stands in for
    // it: the '?' in the image is not found.
    open(eeprom64k());
    put(0x40, "?");
    put(0x300, "\xE9t\xE9");
    for (const char* text : {"\u20AC", "a\U0001F600"}) {
        const QString typed = QString::fromUtf8(text);
        auto box = answerNextBox();
        auto stayed = std::make_shared<bool>(false);
        whenModal<TSearsForm>([=](TSearsForm* f) {
            QTest::mouseClick(f->HexAscii, Qt::LeftButton);
            f->Edit1->setText(typed);
            QTest::mouseClick(f->Button1, Qt::LeftButton);
            *stayed = f->isVisible();
            f->reject();
        });
        QTest::mouseClick(ed->Search, Qt::LeftButton);
        EXPECT_TRUE(*stayed) << text;
        ASSERT_TRUE(box->seen) << text;
        EXPECT_TRUE(box->text.contains("cannot be stored")) << box->text.toStdString();
        expectSelected(0, 0, 0);
    }
    search(QString::fromUtf8("\u00E9t\u00E9"), true);
    expectSelected(0x300, 0, 0);
}

TEST_F(EditorDialogs, BadHexTextKeepsTheDialogOpen) {
    open(eeprom64k());
    for (const char* text : {"414", "", "4G"}) {
        auto box = answerNextBox();
        auto stayed = std::make_shared<bool>(false);
        whenModal<TSearsForm>([=](TSearsForm* f) {
            f->Edit1->setText(text);
            QTest::mouseClick(f->Button1, Qt::LeftButton);
            *stayed = f->isVisible();
            f->reject();
        });
        QTest::mouseClick(ed->Search, Qt::LeftButton);
        EXPECT_TRUE(*stayed) << text;
        ASSERT_TRUE(box->seen) << text;
        if (QString(text) == "4G")
            EXPECT_TRUE(box->text.contains("4G"));
        else
            EXPECT_EQ(box->text, "To few charaters in hex string");
    }
    expectSelected(0, 0, 0);
}

TEST_F(EditorDialogs, SearchModeButtonNamesTheOtherMode) {
    TSearsForm f;
    EXPECT_EQ(f.windowTitle(), "Search");
    EXPECT_EQ(f.HexAscii->text(), "Ascii");
    EXPECT_EQ(f.Label1->text(), "Search for Hex:");
    f.HexAsciiClick();
    EXPECT_EQ(f.HexAscii->text(), "Hex");
    EXPECT_EQ(f.Label1->text(), "Search for Ascii:");
    f.HexAsciiClick();
    EXPECT_TRUE(f.hexMode());
}

TEST_F(EditorDialogs, CopyRefusesOverlapAndAcceptsAdjacentRanges) {
    open(eeprom64k());
    for (int i = 0; i < 0x10; ++i) rig->st.buf.DeviceBuffer[0x100 + i] = std::uint8_t(i);
    for (const char* to : {"F8", "108"}) {
        auto box = answerNextBox();
        EXPECT_FALSE(copyOrMove(false, "100", "10", to)) << to;
        EXPECT_EQ(box->text, "The adresses are over lapping");
    }
    EXPECT_EQ(rig->at(0xF8), 0xFF);

    EXPECT_TRUE(copyOrMove(false, "100", "10", "110"));
    EXPECT_EQ(lastCount, "16");
    EXPECT_EQ(rig->at(0x110), 0x00);
    EXPECT_EQ(rig->at(0x11F), 0x0F);
    EXPECT_EQ(rig->at(0x120), 0xFF);
    expectSelected(0x110, 0, 0);
    expectChecksumShown();

    EXPECT_TRUE(copyOrMove(false, "100", "10", "F0"));
    EXPECT_EQ(rig->at(0xF0), 0x00);
    EXPECT_EQ(rig->at(0xFF), 0x0F);
    EXPECT_EQ(rig->at(0x100), 0x00);  // source unchanged
    expectSelected(0xF0, 0, 0);
    expectChecksumShown();
}

TEST_F(EditorDialogs, CopyStartsAtTheSelectedCell) {
    open(eeprom64k());
    clickCell(ed->StringGrid1, 2, 5);
    auto begin = std::make_shared<QString>();
    whenModal<TfrmCopy>([begin](TfrmCopy* f) {
        *begin = f->BeginAdd->text();
        EXPECT_EQ(f->WhereAdd->text(), "00000000");
        f->reject();
    });
    QTest::mouseClick(ed->BtCopy, Qt::LeftButton);
    EXPECT_EQ(*begin, "00000025");
}

TEST_F(EditorDialogs, MoveWithReplaceValue) {
    open(eeprom64k());
    put(0x10, "\x01\x02\x03\x04");
    EXPECT_TRUE(copyOrMove(true, "10", "4", "20", "00"));
    EXPECT_EQ(rig->at(0x10), 0x00);
    EXPECT_EQ(rig->at(0x13), 0x00);
    EXPECT_EQ(rig->at(0x14), 0xFF);
    EXPECT_EQ(rig->at(0x20), 0x01);
    EXPECT_EQ(rig->at(0x23), 0x04);
    expectChecksumShown();

    auto box = answerNextBox();
    EXPECT_FALSE(copyOrMove(true, "10", "4", "20", "F"));
    EXPECT_EQ(box->text, "Replace Value need two Hex Values ");
}

TEST_F(EditorDialogs, CopyPastTheViewCopiesOnlyWhatIsInside) {
    open(eeprom64k());
    put(0xFFF8, QByteArray(8, '\x11'));
    EXPECT_TRUE(copyOrMove(false, "FFF8", "20", "100"));
    EXPECT_EQ(rig->at(0x107), 0x11);
    EXPECT_EQ(rig->at(0x108), 0xFF);
    put(0x40, "\x21\x22\x23\x24\x25\x26");
    EXPECT_TRUE(copyOrMove(false, "40", "6", "FFFC"));
    EXPECT_EQ(rig->at(0xFFFC), 0x21);
    EXPECT_EQ(rig->at(0xFFFF), 0x24);
    EXPECT_EQ(rig->st.buf.size(), 0x10000u);
    expectSelected(0xFF00, 0, 0);  // the target's page, kept inside the view
    expectChecksumShown();
}

TEST_F(EditorDialogs, NonHexAddressIsRefusedWithoutChange) {
    open(eeprom64k());
    auto box = answerNextBox();
    EXPECT_FALSE(copyOrMove(false, "10", "4", "2Z"));
    EXPECT_TRUE(box->text.contains("2Z"));
    EXPECT_EQ(rig->at(0), 0xFF);
}

// Fills the fill dialog; 'check' sees it as it opened.
void fillWith(const QString& from, const QString& to, const QString& data, std::function<void(TfrmFill*)> check,
              bool cancel = false) {
    whenModal<TfrmFill>([=](TfrmFill* f) {
        if (check) check(f);
        f->Edit1->setText(from);
        f->Edit2->setText(to);
        f->Edit3->setText(data);
        QTest::mouseClick(cancel ? f->BitBtn2 : f->BitBtn1, Qt::LeftButton);
        EXPECT_FALSE(f->isVisible());
    });
}

TEST_F(EditorDialogs, ByteFill) {
    open(RecordSpec{'R', 0x7FF});
    ed->ScrollBar1->setValue(0x30);
    fillWith("10", "1F", "5A", [](TfrmFill* f) {
        EXPECT_EQ(f->windowTitle(), "Buffer Fill");
        EXPECT_EQ(f->Edit1->text(), "0");
        EXPECT_EQ(f->Edit2->text(), "000007FF");
        EXPECT_EQ(f->Edit3->text(), "FF");
        EXPECT_TRUE(f->RadioButton1->isChecked());
        EXPECT_EQ(f->Edit3->maxLength(), 2);
    });
    QTest::mouseClick(ed->Fill, Qt::LeftButton);
    EXPECT_EQ(rig->at(0x0F), 0xFF);
    EXPECT_EQ(rig->at(0x10), 0x5A);
    EXPECT_EQ(rig->at(0x1F), 0x5A);
    EXPECT_EQ(rig->at(0x20), 0xFF);
    expectSelected(0, 0, 0);
    EXPECT_EQ(ed->ScrollBar1->value(), 0);
    EXPECT_EQ(cellText(ed->StringGrid1, 1, 0), "5A");
    expectChecksumShown();
}

TEST_F(EditorDialogs, WordFillOfAnOddCountEndsWithTheHighByte) {
    open(RecordSpec{'C', 0x3FFF, 0, 10, 0x3F});
    put(0x23, QByteArray(1, '\0'));
    fillWith("20", "22", "3FFF", [](TfrmFill* f) {
        EXPECT_TRUE(f->RadioButton2->isChecked());
        EXPECT_EQ(f->Edit2->text(), "00003FFF");
        EXPECT_EQ(f->Edit3->text(), "3FFF");
        EXPECT_EQ(f->Edit3->maxLength(), 4);
    });
    QTest::mouseClick(ed->Fill, Qt::LeftButton);
    EXPECT_EQ(rig->at(0x20), 0x3F);
    EXPECT_EQ(rig->at(0x21), 0xFF);
    EXPECT_EQ(rig->at(0x22), 0x3F);
    EXPECT_EQ(rig->at(0x23), 0x00);
    expectChecksumShown();
}

TEST_F(EditorDialogs, WordDefaultOfABlankZeroKeepsTwoDigits) {
    EditorRig r(RecordSpec{'O', 0x7FF, 0, 0, 0x00});
    TfrmFill f(r.st);
    EXPECT_EQ(f.Edit3->text(), "FF");
    f.RadioButton1->click();
    EXPECT_EQ(f.Edit3->text(), "00");
    EXPECT_EQ(f.Edit3->maxLength(), 2);
    f.RadioButton2->click();
    EXPECT_EQ(f.Edit3->text(), "0000");
}

TEST_F(EditorDialogs, FillFromAboveToIsRefused) {
    open(RecordSpec{'R', 0x7FF});
    auto box = answerNextBox();
    fillWith("10", "0F", "00", nullptr);
    QTest::mouseClick(ed->Fill, Qt::LeftButton);
    ASSERT_TRUE(box->seen);
    EXPECT_EQ(box->caption, "Invalid Data");
    EXPECT_EQ(box->text, "'To' has to be greater than 'From'");
    EXPECT_EQ(box->icon, QMessageBox::Critical);
    EXPECT_EQ(rig->at(0x0F), 0xFF);
    EXPECT_EQ(rig->at(0x10), 0xFF);
    expectChecksumShown();
}

TEST_F(EditorDialogs, FillStopsAtTheViewAndCancelChangesNothing) {
    open(RecordSpec{'R', 0x7FF});
    fillWith("FFE", "FFFFFFFF", "00", nullptr);
    QTest::mouseClick(ed->Fill, Qt::LeftButton);
    EXPECT_EQ(rig->at(0xFFD), 0xFF);
    EXPECT_EQ(rig->at(0xFFE), 0x00);
    EXPECT_EQ(rig->at(0xFFF), 0x00);
    EXPECT_EQ(rig->at(0x1000), 0xFF);  // the block goes on past the 4 KiB view
    fillWith("0", "10", "00", nullptr, true);
    QTest::mouseClick(ed->Fill, Qt::LeftButton);
    EXPECT_EQ(rig->at(0), 0xFF);
}

}  // namespace
