// Serial-number auto-increment: the count itself, the Auto Inc form's
// entries, and two Program runs on the simulated programmer that leave two
// chips with consecutive numbers.
#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include "operations/AutoInc.h"
#include "operations/gui/TfrmAutoInc.h"
#include "options/OptionsRig.h"

using namespace tesmar;

namespace {

using Offsets = std::array<std::uint32_t, 4>;
using Bytes4 = std::array<std::uint8_t, 4>;

TEST(IncrementSerialNumber, CountsUpAcrossTheFourBytes) {
    struct Case {
        const char* what;
        Offsets at;
        Bytes4 before, after;  // at entries 0..3
    };
    const Case cases[] = {
        {"wraps to zero", {0x10, 0x11, 0x12, 0x13}, {0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x00, 0x00}},
        {"low byte", {0x10, 0x11, 0x12, 0x13}, {0x34, 0x12, 0x00, 0x00}, {0x35, 0x12, 0x00, 0x00}},
        {"carry into byte 3", {0x10, 0x11, 0x12, 0x13}, {0xFF, 0xFF, 0x00, 0x07}, {0x00, 0x00, 0x01, 0x07}},
        {"descending, apart", {0x3000, 0x200, 0x1F, 0x0}, {0xFF, 0x41, 0x00, 0x80}, {0x00, 0x42, 0x00, 0x80}},
        {"last byte of the buffer", {0xFFFF, 0x0, 0x1, 0x2}, {0x09, 0x00, 0x00, 0x00}, {0x0A, 0x00, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AppState st;
        st.buf.replace(0x10000);
        st.AutoIncAddress = c.at;
        for (int i = 0; i < 4; ++i) st.buf.DeviceBuffer[c.at[i]] = c.before[i];
        auto image = st.buf.DeviceBuffer;
        ASSERT_TRUE(IncrementSerialNumber(st));
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(st.buf.DeviceBuffer[c.at[i]], c.after[i]) << "entry " << i;
            image[c.at[i]] = c.after[i];
        }
        EXPECT_EQ(st.buf.DeviceBuffer, image);  // nothing else changes
    }
}

TEST(IncrementSerialNumber, EqualOffsetsLeaveTheTopByte) {
    // All four entries at offset 0 (the start-up state): 0x05050505 + 1, the
    // last write is bits 31-24.
    AppState st;
    st.buf.replace(0x100);
    st.buf.DeviceBuffer[0] = 0x05;
    ASSERT_TRUE(IncrementSerialNumber(st));
    EXPECT_EQ(st.buf.DeviceBuffer[0], 0x05);
    st.buf.DeviceBuffer[0] = 0xFF;
    ASSERT_TRUE(IncrementSerialNumber(st));
    EXPECT_EQ(st.buf.DeviceBuffer[0], 0x00);
}

TEST(IncrementSerialNumber, RefusesOffsetsOutsideTheBuffer) {
    for (std::uint32_t bad : {0x100u, 0x101u, 0xFFFFFFFFu}) {
        AppState st;
        st.buf.replace(0x100);
        std::fill(st.buf.DeviceBuffer.begin(), st.buf.DeviceBuffer.end(), 0xFF);
        st.AutoIncAddress = {0, 1, bad, 3};
        EXPECT_FALSE(IncrementSerialNumber(st));
        EXPECT_TRUE(std::all_of(st.buf.DeviceBuffer.begin(), st.buf.DeviceBuffer.end(),
                                [](std::uint8_t b) { return b == 0xFF; }));
    }
    AppState st;  // a view smaller than the block counts
    st.buf.replace(0x100);
    st.buf.BufferViewSize = 0x80;
    st.AutoIncAddress = {0x7F, 0x80, 0, 0};
    EXPECT_FALSE(IncrementSerialNumber(st));
}

class AutoIncFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        st.buf.replace(0x20000);
        for (std::size_t i = 0; i < st.buf.size(); ++i) st.buf.DeviceBuffer[i] = std::uint8_t(i * 7 + 1);
    }
    TfrmAutoInc& open() {
        form = std::make_unique<TfrmAutoInc>(st);
        form->show();
        return *form;
    }
    static void type(QLineEdit* e, const QString& text) {
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
    }
    QString hexByte(std::uint32_t at) const { return QString::asprintf("%.2X", st.buf.DeviceBuffer[at]); }

    AppState st;
    test::MessageBoxAnswerer boxes;
    std::unique_ptr<TfrmAutoInc> form;
};

TEST_F(AutoIncFormTest, OpensWithTheOffsetsTheirBytesAndTheSwitch) {
    st.AutoIncAddress = {0x10, 0x12345, 0, 0x1FFFF};
    st.AutoIncrement = true;
    open();
    EXPECT_EQ(form->windowTitle(), "Auto Inc");
    EXPECT_EQ(form->EditAdd1->text(), "0010");
    EXPECT_EQ(form->EditAdd2->text(), "12345");
    EXPECT_EQ(form->EditAdd3->text(), "0000");
    EXPECT_EQ(form->EditAdd4->text(), "1FFFF");
    EXPECT_EQ(form->Byte1->text(), hexByte(0x10));
    EXPECT_EQ(form->Byte2->text(), hexByte(0x12345));
    EXPECT_EQ(form->Byte3->text(), hexByte(0));
    EXPECT_EQ(form->Byte4->text(), hexByte(0x1FFFF));
    EXPECT_FALSE(form->Byte1->isEnabled());
    EXPECT_TRUE(form->AutoCheck->isChecked());
    form->AutoCheck->click();
    EXPECT_FALSE(st.AutoIncrement);
    form->AutoCheck->click();
    EXPECT_TRUE(st.AutoIncrement);
    EXPECT_TRUE(boxes.seen().isEmpty());
}

TEST_F(AutoIncFormTest, AnOffsetTheBufferNoLongerReachesShowsNoByte) {
    st.AutoIncAddress = {0x30000, 1, 2, 3};
    open();
    EXPECT_EQ(form->EditAdd1->text(), "30000");
    EXPECT_EQ(form->Byte1->text(), "");
    EXPECT_EQ(st.AutoIncAddress[0], 0x30000u);
    EXPECT_TRUE(boxes.seen().isEmpty());
}

TEST_F(AutoIncFormTest, EntriesTakeHexadecimalAddressesInsideTheBuffer) {
    struct Case {
        const char* typed;
        std::uint32_t entry;     // entry 1 afterwards (it starts at 0x2000)
        const char* text;        // the edit afterwards
        const char* box;         // start of the message shown, if any
    };
    const Case cases[] = {
        {"1f0", 0x1F0, "1f0", nullptr},
        {"0001FFFF", 0x1FFFF, "0001FFFF", nullptr},
        {"", 0, "", nullptr},
        {"12G", 0x12, "12", "Tesmar|'12G' is not a valid hexadecimal value"},
        {"$10", 0x10, "10", "Tesmar|'$' is not a valid hexadecimal value"},  // the cleared field read 0
        {"20000", 0x2000, "2000", "Auto Inc|Address 20000 is outside the buffer"},
        {"123456789", 0x12345, "12345", "Auto Inc|"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        st.AutoIncAddress = {0, 0x2000, 0, 0};
        open();
        const int boxesBefore = int(boxes.seen().size());
        type(form->EditAdd2, c.typed);
        EXPECT_EQ(st.AutoIncAddress[1], c.entry);
        EXPECT_EQ(form->EditAdd2->text(), c.text);
        EXPECT_EQ(form->Byte2->text(), hexByte(c.entry));
        const QStringList seen = boxes.seen().mid(boxesBefore);
        if (c.box) {
            ASSERT_FALSE(seen.isEmpty());
            EXPECT_TRUE(seen.first().startsWith(c.box)) << seen.first().toStdString();
        } else {
            EXPECT_TRUE(seen.isEmpty()) << seen.join('\n').toStdString();
        }
        EXPECT_EQ(st.AutoIncAddress[0] + st.AutoIncAddress[2] + st.AutoIncAddress[3], 0u);
    }
}

// Closes any modal window that opens while alive, and says so.
class ModalWatch {
public:
    ModalWatch() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (QWidget* m = QApplication::activeModalWidget(); m && m->isVisible()) {
                seen = true;
                m->close();
            }
        });
        timer_.start();
    }
    bool seen = false;

private:
    QTimer timer_;
};

class AutoIncWindowTest : public test::OptionsWindowRig {};

TEST_F(AutoIncWindowTest, TheButtonIsShownAndNeedsADeviceAndAProgrammer) {
    EXPECT_FALSE(w().AutoIncB->isHidden());
    EXPECT_FALSE(w().SB_Option->isEnabled());
    {
        ModalWatch watch;
        w().AutoIncB->click();  // no device yet
        w().SB_OptionClick();
        QTest::qWait(30);
        EXPECT_FALSE(watch.seen);
    }
    select(0, "27C256");
    EXPECT_TRUE(w().SB_Option->isEnabled());
    st().ProgrammerState = 0;  // DEMO
    {
        ModalWatch watch;
        w().AutoIncB->click();
        w().SB_OptionClick();
        QTest::qWait(30);
        EXPECT_FALSE(watch.seen);
    }
    EXPECT_FALSE(st().AutoIncrement);
}

TEST_F(AutoIncWindowTest, TwoProgramRunsGiveTwoChipsConsecutiveNumbers) {
    select(0, "27C256");
    const DeviceRecord rec = *st().dev();
    const std::size_t size = std::size_t(rec.LastAddress) + 1;
    for (std::size_t i = 0; i < size; ++i) st().buf.DeviceBuffer[i] = std::uint8_t(i ^ 0x5A);
    // A big-endian number at 0x7FF0..0x7FF3: entry 0 (least significant) at 0x7FF3.
    const Bytes4 start = {0x00, 0x00, 0x12, 0xFF};
    for (int i = 0; i < 4; ++i) st().buf.DeviceBuffer[0x7FF0 + i] = start[i];

    QString shownByte1;
    test::onNextModal(
        [&](QWidget* d) {
            auto& f = *static_cast<TfrmAutoInc*>(d);
            const char* offsets[] = {"7FF3", "7FF2", "7FF1", "7FF0"};
            QLineEdit* edits[] = {f.EditAdd1, f.EditAdd2, f.EditAdd3, f.EditAdd4};
            for (int i = 0; i < 4; ++i) {
                edits[i]->selectAll();
                QTest::keyClick(edits[i], Qt::Key_Backspace);
                QTest::keyClicks(edits[i], offsets[i]);
            }
            shownByte1 = f.Byte1->text();
            f.AutoCheck->click();
            f.BitBtn1->click();
        },
        "tesmar::TfrmAutoInc");
    w().AutoIncB->click();
    EXPECT_EQ(shownByte1, "FF");
    ASSERT_TRUE(st().AutoIncrement);
    ASSERT_EQ(st().AutoIncAddress, (Offsets{0x7FF3, 0x7FF2, 0x7FF1, 0x7FF0}));

    auto chipNumber = [&] {
        const auto chip = sim_.chip();
        return std::array<std::uint8_t, 4>{chip->at(0x7FF0), chip->at(0x7FF1), chip->at(0x7FF2), chip->at(0x7FF3)};
    };
    w().SB_Prog->click();
    ASSERT_TRUE(w().memoLines().contains(" Verify OK")) << w().memoLines().join('\n').toStdString();
    EXPECT_EQ(chipNumber(), (Bytes4{0x00, 0x00, 0x12, 0xFF}));
    EXPECT_EQ(st().buf.DeviceBuffer[0x7FF2], 0x13);
    EXPECT_EQ(st().buf.DeviceBuffer[0x7FF3], 0x00);

    sim_.insertBlankChipFor(rec);
    w().Memo1->clear();
    w().SB_Prog->click();
    ASSERT_TRUE(w().memoLines().contains(" Verify OK")) << w().memoLines().join('\n').toStdString();
    EXPECT_EQ(chipNumber(), (Bytes4{0x00, 0x00, 0x13, 0x00}));
    EXPECT_EQ(sim_.chip()->at(0x100), std::uint8_t(0x100 ^ 0x5A));
    EXPECT_EQ(st().buf.DeviceBuffer[0x7FF3], 0x01);
    EXPECT_EQ(w().ProgCorrect->text(), "2");

    // A failed Program (the same chip again) does not count the number on.
    w().Memo1->clear();
    w().SB_Prog->click();
    EXPECT_FALSE(w().memoLines().contains(" Verify OK"));
    EXPECT_EQ(w().ProgFail->text(), "1");
    EXPECT_EQ(st().buf.DeviceBuffer[0x7FF3], 0x01);
    EXPECT_EQ(st().buf.DeviceBuffer[0x7FF2], 0x13);
}

TEST_F(AutoIncWindowTest, AnOffsetOutsideTheImageIsReportedNotWritten) {
    select(0, "27C64");  // image of 0x10000 bytes
    st().AutoIncrement = true;
    st().AutoIncAddress = {0, 1, 2, 0x10000};
    const auto image = st().buf.DeviceBuffer;
    w().SB_Prog->click();
    EXPECT_TRUE(w().memoLines().contains(" Serial number address outside the buffer"))
        << w().memoLines().join('\n').toStdString();
    EXPECT_EQ(st().buf.DeviceBuffer, image);
}

}  // namespace
