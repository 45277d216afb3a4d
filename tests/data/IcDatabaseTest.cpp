// All.usb, walked the way the IC tester reads it, against the readable
// vector lists in data/ictest.
#include <gtest/gtest.h>

#include <QFileInfo>

#include "data/SampleText.h"
#include "support/TestSupport.h"

using namespace tesmar::test;

namespace {

struct Db {
    QByteArray bytes;
    unsigned u8(qsizetype at) const { return at < bytes.size() ? std::uint8_t(bytes[at]) : 0x100; }
    unsigned u16(qsizetype at) const { return u8(at) | (u8(at + 1) << 8); }
    QString text(qsizetype at, int width) const {
        QString s;
        for (int i = 0; i < width && u8(at + i) != 0 && u8(at + i) < 0x100; ++i) s += QChar(u8(at + i));
        return s;
    }
};

int shiftFor(int pins) { return (40 - pins) / 2; }

// The socket pin a stored pin number names, by the tester's remapping rule.
int socketPin(int stored, int pins) {
    const int k = shiftFor(pins);
    return (stored & 0x3F) <= 20 ? stored - k : stored + k;
}

}  // namespace

TEST(IcDatabase, AllUsbHoldsTheGroupsICsAndVectorsOfTheLists) {
    QString error;
    const auto groups = readIcText(dataDir() + "/ictest", &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_FALSE(groups.empty());
    const Db db{readFile(runDir() + "/All.usb")};
    ASSERT_GE(db.bytes.size(), 16);
    ASSERT_LE(db.bytes.size(), 0x10000) << "offsets must fit 16 bits";

    const unsigned g = db.u16(12);
    ASSERT_EQ(g, groups.size());
    // The IC lists are found by walking the blocks back to back from the end
    // of the header records; the Test finds each block through its offset.
    qsizetype walk = 16 * (g + 1);
    for (unsigned i = 0; i < g; ++i) {
        const TextGroup& tg = groups[i];
        SCOPED_TRACE(tg.name.toStdString());
        EXPECT_EQ(db.text(16 * (i + 1) + 2, 14), tg.name);
        const unsigned block = db.u16(16 * (i + 1));
        ASSERT_EQ(block, walk) << "group blocks must lie back to back in group order";
        ASSERT_EQ(db.u8(block), 0x98u);
        const unsigned count = db.u16(block + 1);
        ASSERT_EQ(count, tg.ics.size());
        walk += 1 + 2 + 13 + 16 * count;

        for (unsigned c = 0; c < count; ++c) {
            const TextIc& ic = tg.ics[c];
            SCOPED_TRACE(ic.name.toStdString());
            const qsizetype e = block + 16 + 16 * c;
            EXPECT_EQ(db.text(e + 2, 8), ic.name);
            const int pins = int(db.u8(e + 10));
            ASSERT_EQ(pins, ic.pins);
            const int k = shiftFor(pins);
            EXPECT_EQ(db.u8(e + 11), unsigned(ic.gnd + k));
            EXPECT_EQ(db.u8(e + 12) & 0x3F, unsigned(ic.vcc + k));
            EXPECT_EQ(db.u8(e + 12) >> 6, 1u) << "supply role bits";
            const int ground = socketPin(int(db.u8(e + 11)), pins);
            const int supply = socketPin(int(db.u8(e + 12) & 0x3F), pins);
            EXPECT_TRUE(ground >= 1 && ground <= 40);
            EXPECT_EQ(supply, 40) << "the supply pin of these packages sits on socket pin 40";

            const unsigned mode = db.u8(e + 15);
            const QMap<QString, unsigned> modes{{"logic", ' '}, {"1", 1}, {"2", 2}, {"3", 3}, {"memory", 'R'}};
            EXPECT_EQ(mode, modes.value(ic.mode, 0xFFFF));

            const unsigned vectors = db.u16(e);
            ASSERT_LT(qsizetype(vectors), db.bytes.size());
            ASSERT_EQ(db.u8(vectors), 0x98u);
            const qsizetype end = db.bytes.indexOf('\0', vectors + 1);
            ASSERT_GT(end, 0) << "the vector text must end with a 0 byte inside the file";
            const QByteArray textBytes = db.bytes.mid(vectors + 1, end - vectors - 1);
            if (ic.mode != "memory") {
                EXPECT_EQ(QString::fromLatin1(textBytes), ic.vectors.join(""));
                for (const QString& line : ic.vectors) {
                    EXPECT_EQ(line.size(), pins);
                    for (QChar ch : line) EXPECT_TRUE(QString("01VGXHLCcK").contains(ch)) << line.toStdString();
                    EXPECT_EQ(line[ic.gnd - 1], 'G');
                    EXPECT_EQ(line[ic.vcc - 1], 'V');
                }
            } else {
                // Address pins run while non-zero and at most 40; the data
                // width counts the slots that are not 0xC0.
                ASSERT_GE(textBytes.size(), 29);
                int addr = 0;
                while (addr < 20 && std::uint8_t(textBytes[addr]) != 0 && std::uint8_t(textBytes[addr]) <= 40) ++addr;
                EXPECT_EQ(addr, ic.pinMap.value("addr").size());
                int width = 0;
                for (int i = 20; i < 28; ++i) width += std::uint8_t(textBytes[i]) != 0xC0;
                EXPECT_EQ(width, ic.pinMap.value("data").size());
                QList<int> stored;
                for (int p : ic.pinMap.value("addr")) stored << p + k;
                for (int i = 0; i < addr; ++i) EXPECT_EQ(std::uint8_t(textBytes[i]), stored[i]);
                EXPECT_EQ(textBytes.size(), 28 + ic.pinMap.value("ctrl").size());
            }
            EXPECT_TRUE(QFileInfo(runDir() + QString("/usbf/IC%1p.rbf").arg(pins)).isFile());
        }
    }
}

TEST(IcDatabase, CoversEveryPinCountAndMode) {
    QString error;
    const auto groups = readIcText(dataDir() + "/ictest", &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    QSet<int> pins;
    QSet<QString> modes;
    bool clockC = false, clock_c = false, longGroupName = false;
    for (const auto& g : groups) {
        longGroupName |= g.name.size() == 14;
        for (const auto& ic : g.ics) {
            pins << ic.pins;
            modes << ic.mode;
            clockC |= ic.vectors.join("").contains('C');
            clock_c |= ic.vectors.join("").contains('c');
        }
    }
    EXPECT_EQ(pins, (QSet<int>{14, 16, 18, 20, 24}));
    EXPECT_EQ(modes, (QSet<QString>{"logic", "1", "2", "3", "memory"}));
    EXPECT_TRUE(clockC && clock_c && longGroupName);
}
