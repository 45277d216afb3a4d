// The frame of the PIC dialog: masks on opening, the ID groups, the sheet
// change, and records the pages cannot serve.
#include "picconfig/PicConfigRig.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

class PicFrameTest : public PicConfigRig {
protected:
    void selectPart(int code, std::int8_t algorithm = 1, std::uint8_t count = 4,
                    std::vector<std::uint8_t> masks = {0x0F, 0x3F, 0x07, 0x7F}) {
        select(RecordImage('C').algorithm(algorithm).name("PART").lastAddress(0x1FFF).pageCode(std::uint8_t(code))
                   .configMaskCount(count).configMasks(masks).build());
    }
    void type(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        if (text.isEmpty()) edit->del();
        QTest::keyClicks(edit, text);
    }
    std::vector<std::uint8_t> bytes(std::size_t at, std::size_t n) {
        return {st.buf.DeviceBuffer.begin() + std::ptrdiff_t(at), st.buf.DeviceBuffer.begin() + std::ptrdiff_t(at + n)};
    }
};

TEST_F(PicFrameTest, OpeningMasksTheConfigurationOfTheLayoutInPairs) {
    struct Case {
        int code;
        std::uint8_t count;
        std::vector<std::uint8_t> classic, enhanced;  // bytes from 0x400E and 0x1000E after opening
    };
    const Case cases[] = {
        {13, 2, {0x0F, 0x3F, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF}},
        {13, 3, {0x0F, 0x3F, 0x07, 0x7F}, {0xFF, 0xFF, 0xFF, 0xFF}},
        {13, 0, {0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF}},
        {49, 4, {0xFF, 0xFF, 0xFF, 0xFF}, {0x0F, 0x3F, 0x07, 0x7F}},
        {50, 4, {0xFF, 0xFF, 0xFF, 0xFF}, {0x0F, 0x3F, 0x07, 0x7F}},
        // More configuration bytes than masks: nothing is masked.
        {13, 17, {0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << c.code << " count " << int(c.count));
        selectPart(c.code, 1, c.count);
        std::fill_n(st.buf.DeviceBuffer.begin() + 0x400E, 4, 0xFF);
        std::fill_n(st.buf.DeviceBuffer.begin() + 0x1000E, 4, 0xFF);
        TfrmPicConfig& d = open();
        EXPECT_EQ(bytes(0x400E, 4), c.classic);
        EXPECT_EQ(bytes(0x1000E, 4), c.enhanced);
        EXPECT_EQ(d.LayoutNote->text().isEmpty(), c.count <= 16);
        if (c.code == 13) {
            EXPECT_TRUE(d.visibleSheets().empty());
            EXPECT_FALSE(d.PageControl->isVisibleTo(&d));
            EXPECT_TRUE(d.GB_ID->isVisibleTo(&d));
            EXPECT_EQ(d.GB_ID->pos(), QPoint(12, 32));
        }
    }
}

TEST_F(PicFrameTest, ClassicIdsShowSevenBitsAndEntrySetsTheRest) {
    struct Case {
        int code;
        std::uint8_t stored;
        const char* shown;
        std::uint8_t opened;
        const char* typed;
        std::uint8_t after;  // the byte once typed; the byte kept for bad text
    };
    const Case cases[] = {
        {13, 0x45, "45", 0x45, "45", 0xC5},  {13, 0x00, "00", 0x00, "1FF", 0xFF}, {49, 0xBE, "3E", 0xBE, "7", 0x87},
        {19, 0x45, "05", 0x45, "3", 0xF3},   {13, 0x12, "12", 0x12, "", 0x12},    {13, 0x12, "12", 0x12, "XY", 0x12},
        {13, 0x12, "12", 0x12, "G1", 0x12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << c.code << " typed " << c.typed);
        selectPart(c.code);
        st.buf.DeviceBuffer[idLowByteAt(dev(), 2)] = c.stored;
        st.buf.DeviceBuffer[idLowByteAt(dev(), 2) - 1] = 0x3A;
        TfrmPicConfig& d = open();
        QLineEdit* id2 = d.idEdits[2];
        EXPECT_EQ(id2->text(), c.shown);
        EXPECT_EQ(st.buf.DeviceBuffer[idLowByteAt(dev(), 2)], c.opened);
        type(id2, c.typed);
        EXPECT_EQ(st.buf.DeviceBuffer[idLowByteAt(dev(), 2)], c.after);
        EXPECT_EQ(st.buf.DeviceBuffer[idLowByteAt(dev(), 2) - 1], 0x3A) << "the high byte of an ID word stays";
        // The edit keeps what was typed; bad text is reported, not replaced.
        EXPECT_EQ(id2->text(), c.typed);
        const bool bad = c.after == c.opened && std::string(c.typed) != c.shown;
        EXPECT_EQ(d.EntryNote->text(), bad ? QString("'$%1' is not a valid integer value").arg(c.typed) : QString());
    }
}

TEST_F(PicFrameTest, Pic18IdNIsTheChipsIdlocN) {
    selectPart(38, 18, 14, {});
    // The image keeps the IDs like code: each pair high byte first, so IDLOC n sits at n ^ 1.
    for (int i = 0; i < 8; ++i) st.buf.DeviceBuffer[0xF0000 + std::size_t(i)] = std::uint8_t(0xA0 + (i ^ 1));
    TfrmPicConfig& d = open();
    EXPECT_FALSE(d.GB_ID->isVisibleTo(&d));
    ASSERT_TRUE(d.GB_18F->isVisibleTo(&d));
    for (int n = 0; n < 8; ++n) EXPECT_EQ(d.pic18Edits[std::size_t(n)]->text(), QString::number(0xA0 + n, 16).toUpper());
    type(d.pic18Edits[5], "5C");
    type(d.pic18Edits[0], "1FF");
    EXPECT_EQ(bytes(0xF0000, 8), (std::vector<std::uint8_t>{0xA1, 0xFF, 0xA3, 0xA2, 0x5C, 0xA4, 0xA7, 0xA6}));
}

TEST_F(PicFrameTest, SheetChangeMovesTheIdGroup) {
    struct Case { int code; std::int8_t algorithm; std::vector<bool> classicIds, pic18Ids; };
    const Case cases[] = {
        {10, 1, {true, false, true}, {false, false, false}},
        {46, 1, {true, false, true}, {false, false, false}},
        {38, 18, {false, false, false}, {true, false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        selectPart(c.code, c.algorithm, c.algorithm == 18 ? 14 : 4);
        TfrmPicConfig& d = open();
        const auto sheets = d.visibleSheets();
        ASSERT_GE(sheets.size(), 2u);
        // First sheet as opened, then the second, then back to the first.
        const int order[] = {int(sheets[0]), int(sheets[1]), int(sheets[0])};
        for (int step = 0; step < 3; ++step) {
            d.PageControl->setCurrentIndex(order[step]);
            EXPECT_EQ(d.GB_ID->isVisibleTo(&d), c.classicIds[std::size_t(step)]) << "step " << step;
            EXPECT_EQ(d.GB_18F->isVisibleTo(&d), c.pic18Ids[std::size_t(step)]) << "step " << step;
        }
    }
}

TEST_F(PicFrameTest, RecordsThePagesCannotServeOpenWithoutASheet) {
    struct Case {
        const char* what;
        int code;
        std::int8_t algorithm;
        std::uint8_t count;
        std::size_t buffer;      // 0: as a selection sizes it
        std::size_t untouched;   // a place the dialog must leave alone
        bool ids;
    };
    const Case cases[] = {
        {"PIC18 page of a 14-bit part", 27, 1, 0, 0, 0x400E, true},
        {"two-word page of a PIC18", 10, 18, 14, 0, 0x400E, true},
        {"enhanced page of a PIC18 in a small image", 46, 18, 14, 0x20000, 0x1000E, false},
        {"PIC18 part in a small image", 38, 18, 14, 0x20000, 0x1000E, false},
        {"more bytes than masks", 10, 1, 200, 0, 0x400E, true},
        {"two-word page of a one-word record", 10, 1, 2, 0, 0x4010, true},
        {"more bytes than masks, enhanced", 47, 1, 17, 0, 0x1000E, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        selectPart(c.code, c.algorithm, c.count, {});
        if (c.buffer) st.buf.replace(c.buffer);
        std::fill(st.buf.DeviceBuffer.begin(), st.buf.DeviceBuffer.end(), 0x5A);
        const std::size_t size = st.buf.size();
        TfrmPicConfig& d = open();
        EXPECT_TRUE(d.visibleSheets().empty());
        EXPECT_FALSE(d.LayoutNote->text().isEmpty());
        EXPECT_EQ((c.algorithm == 18 ? d.GB_18F : d.GB_ID)->isVisibleTo(&d), c.ids);
        ok();
        EXPECT_EQ(st.buf.size(), size);
        EXPECT_EQ(bytes(c.untouched, 4), std::vector<std::uint8_t>(4, 0x5A));
    }
}

}  // namespace
