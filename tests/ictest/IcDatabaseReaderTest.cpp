// The All.usb reader on the generated database and on damaged copies.
#include <gtest/gtest.h>

#include <QStringList>

#include "ictest/IcDatabase.h"
#include "ictest/IcFrames.h"
#include "ictest/IcTester.h"
#include "ictest/IcDbBuilder.h"
#include "support/TestSupport.h"

using namespace tesmar::ictest;
using namespace tesmar::test;

namespace {

std::vector<std::uint8_t> bytesOf(const QByteArray& b) { return {b.begin(), b.end()}; }

IcDatabase dbOf(const QByteArray& b) {
    IcDatabase db;
    db.assign(bytesOf(b));
    return db;
}

QStringList list(const std::vector<QString>& v) { return QStringList(v.begin(), v.end()); }

const std::vector<DbGroup> kSmall = {
    {"Gates", {{"7400", 14, 7, 14, ' ', "00H00HGH00H00V11L11LGL11L11V"}, {"7404", 14, 7, 14, ' ', "0H0H0HGH0H0H0V"}}},
    {"Wide", {{"74154", 24, 12, 24, ' ', std::string(24, 'X')}}},
};

}  // namespace

TEST(IcDatabaseReader, GeneratedFileListsEveryGroupAndFindsEveryIc) {
    IcDatabase db;
    ASSERT_TRUE(db.load((runDir() + "/All.usb").toStdString()));
    bool complete = false;
    const QStringList groups = list(db.groupNames(&complete));
    EXPECT_TRUE(complete);
    EXPECT_EQ(groups, (QStringList{"74xx Gates", "74xx Decoders", "74xx Mux", "74xx Buffers", "74xx Registers",
                                   "Static RAM"}));
    EXPECT_EQ(list(db.icNames(0)), (QStringList{"7400", "7402", "7404", "7408", "7432", "7486", "74HC918"}));
    EXPECT_EQ(list(db.icNames(5)), QStringList{"6116"});

    int logicIcs = 0, memoryIcs = 0;
    for (int g = 0; g < groups.size(); ++g) {
        const QStringList ics = list(db.icNames(g, &complete));
        EXPECT_TRUE(complete);
        for (int i = 0; i < ics.size(); ++i) {
            SCOPED_TRACE(ics[i].toStdString());
            const EntryLookup e = db.findEntry(g + 1, i);
            ASSERT_TRUE(e.found);
            EXPECT_TRUE(e.markerOk);
            EXPECT_EQ(e.entry.name, ics[i]);
            EXPECT_TRUE(isTesterPinCount(e.entry.pinCount));
            // Every package of the sample sits with its supply on socket pin 40.
            EXPECT_EQ(icPower(e.entry.groundPin, e.entry.supplyPin, e.entry.pinCount).supplyCode, 8);
            const VectorText v = db.vectorText(e.entry.vectorOffset);
            ASSERT_EQ(v.problem, VectorText::None);
            EXPECT_TRUE(v.markerOk);
            ASSERT_FALSE(v.text.empty());
            EXPECT_EQ(v.text.back(), 0);
            if (e.entry.mode == kModeMemory) {
                ++memoryIcs;
                IcMemoryMap map;
                ASSERT_TRUE(readMemoryMap({v.text.begin(), v.text.end() - 1}, e.entry.pinCount, map));
                EXPECT_EQ(map.width, 8);
                EXPECT_EQ(map.size, 2048u);  // 6116: 11 address pins
                EXPECT_EQ(map.address.front(), 8);  // A0 on package (and socket) pin 8
                // Package pins 13-24 of a 24-pin part sit on socket pins 29-40.
                EXPECT_EQ(map.control, (std::vector<std::uint8_t>{34, 36, 37}));
            } else {
                ++logicIcs;
                EXPECT_EQ((v.text.size() - 1) % std::size_t(e.entry.pinCount), 0u);
            }
        }
        // One past the last IC of the block is no IC.
        EXPECT_FALSE(db.findEntry(g + 1, int(ics.size())).found);
    }
    EXPECT_GT(logicIcs, 10);
    EXPECT_EQ(memoryIcs, 1);
    EXPECT_FALSE(db.findEntry(0, 0).found);
    EXPECT_FALSE(db.findEntry(int(groups.size()) + 1, 0).found);
}

TEST(IcDatabaseReader, MissingFileIsNotLoaded) {
    IcDatabase db;
    EXPECT_FALSE(db.load("/nonexistent/All.usb"));
    EXPECT_FALSE(db.load(runDir().toStdString()));  // a folder is not a database
}

// Every prefix of the generated file: nothing is read past the end, and what
// is reported complete is what the whole file says.
TEST(IcDatabaseReader, EveryTruncationReadsOnlyWhatIsThere) {
    const QByteArray whole = readFile(runDir() + "/All.usb");
    ASSERT_GT(whole.size(), 100);
    const IcDatabase full = dbOf(whole);
    const unsigned g = full.groupCount();
    for (qsizetype len = 0; len < whole.size(); ++len) {
        const IcDatabase db = dbOf(whole.left(len));
        bool complete = true;
        const std::vector<QString> groups = db.groupNames(&complete);
        if (complete) {
            ASSERT_EQ(groups, full.groupNames()) << len;
        } else {
            ASSERT_LT(groups.size(), g) << len;
        }
        for (unsigned i = 0; i < g; ++i) {
            const std::vector<QString> ics = db.icNames(int(i), &complete);
            if (complete) {
                ASSERT_EQ(ics, full.icNames(int(i))) << len;
            }
            for (int c = 0; c < int(full.icNames(int(i)).size()); ++c) {
                const EntryLookup e = db.findEntry(int(i) + 1, c);
                if (!e.found) continue;
                ASSERT_EQ(e.entry.name, full.findEntry(int(i) + 1, c).entry.name);
                const VectorText v = db.vectorText(e.entry.vectorOffset);
                if (v.problem == VectorText::None) {
                    ASSERT_EQ(v.text, full.vectorText(e.entry.vectorOffset).text) << len;
                }
            }
        }
    }
}

struct Damage {
    const char* name;
    void (*apply)(QByteArray& db, const DbLayout& l);
    bool groupsComplete, icsComplete;
    bool entryFound;
    VectorText::Problem text;
};

class DamagedDatabase : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedDatabase, IsReadWithinTheFile) {
    DbLayout l;
    QByteArray bytes = buildAllUsb(kSmall, &l);
    GetParam().apply(bytes, l);
    const IcDatabase db = dbOf(bytes);
    bool complete = true;
    db.groupNames(&complete);
    EXPECT_EQ(complete, GetParam().groupsComplete);
    db.icNames(0, &complete);
    EXPECT_EQ(complete, GetParam().icsComplete);
    const EntryLookup e = db.findEntry(1, 1);
    EXPECT_EQ(e.found, GetParam().entryFound);
    if (e.found) {
        EXPECT_EQ(db.vectorText(e.entry.vectorOffset).problem, GetParam().text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedDatabase,
    ::testing::Values(
        Damage{"intact", [](QByteArray&, const DbLayout&) {}, true, true, true, VectorText::None},
        Damage{"more groups than records",
               [](QByteArray& b, const DbLayout&) {
                   b[12] = char(0xFF);
                   b[13] = char(0xFF);
               },
               false, false, true, VectorText::None},
        Damage{"block offset past the end",
               [](QByteArray& b, const DbLayout&) {
                   b[16] = char(0xF0);
                   b[17] = char(0xFF);
               },
               true, true, false, VectorText::None},
        Damage{"entry count runs past the end",
               [](QByteArray& b, const DbLayout& l) {
                   b[l.blockAt[0] + 1] = char(0x00);
                   b[l.blockAt[0] + 2] = char(0x40);
               },
               true, false, true, VectorText::None},
        Damage{"IC index beyond the count",
               [](QByteArray& b, const DbLayout& l) { b[l.blockAt[0] + 1] = char(1); }, true, true, false,
               VectorText::None},
        Damage{"vector offset past the end",
               [](QByteArray& b, const DbLayout& l) {
                   b[l.entryAt[0][1]] = char(0xFF);
                   b[l.entryAt[0][1] + 1] = char(0xFF);
               },
               true, true, true, VectorText::OffsetPastEnd},
        Damage{"no 0 byte after the last text",
               [](QByteArray& b, const DbLayout&) { b.chop(1); }, true, true, true, VectorText::None},
        Damage{"no 0 byte after the text",
               [](QByteArray& b, const DbLayout& l) {
                   // The last text is the one of group 2; drop the terminators from IC 1 of group 1 on.
                   for (qsizetype i = l.textAt[0][1]; i < b.size(); ++i)
                       if (b[i] == '\0') b[i] = 'X';
               },
               true, true, true, VectorText::NoTerminator}),
    [](const ::testing::TestParamInfo<Damage>& info) {
        std::string n;
        for (const char* p = info.param.name; *p; ++p) n += std::isalnum(std::uint8_t(*p)) ? *p : '_';
        return n;
    });

TEST(IcDatabaseReader, WrongMarkersAreReportedAndTheBytesStillRead) {
    DbLayout l;
    QByteArray bytes = buildAllUsb(kSmall, &l);
    bytes[l.blockAt[0]] = 0x11;
    bytes[l.textAt[0][0]] = 0x22;
    const IcDatabase db = dbOf(bytes);
    const EntryLookup e = db.findEntry(1, 0);
    ASSERT_TRUE(e.found);
    EXPECT_FALSE(e.markerOk);
    const VectorText v = db.vectorText(e.entry.vectorOffset);
    EXPECT_EQ(v.problem, VectorText::None);
    EXPECT_FALSE(v.markerOk);
    EXPECT_EQ(std::string(v.text.begin(), v.text.end() - 1), kSmall[0].ics[0].text);
}

TEST(IcDatabaseReader, TextLongerThanTheWorkAreaIsRefused) {
    const IcDatabase db = dbOf(buildAllUsb(kSmall));
    const EntryLookup e = db.findEntry(1, 0);
    ASSERT_TRUE(e.found);
    // 28 characters and the 0 byte fit in 29 bytes, not in 28.
    EXPECT_EQ(db.vectorText(e.entry.vectorOffset, 29).problem, VectorText::None);
    EXPECT_EQ(db.vectorText(e.entry.vectorOffset, 28).problem, VectorText::TooLong);
}

TEST(IcDatabaseReader, NamesStopAtTheirFieldOrTheFirstNul) {
    std::vector<DbGroup> groups = {{"Fourteen chars", {{"ABCDEFGH", 16, 8, 16, ' ', std::string(16, 'X')}}}};
    DbLayout l;
    QByteArray bytes = buildAllUsb(groups, &l);
    // A name that fills its field runs straight into the next bytes.
    bytes[l.entryAt[0][0] + 10] = 16;
    const IcDatabase db = dbOf(bytes);
    EXPECT_EQ(list(db.groupNames()), QStringList{"Fourteen chars"});
    EXPECT_EQ(list(db.icNames(0)), QStringList{"ABCDEFGH"});
    EXPECT_TRUE(db.icNames(1).empty());
    EXPECT_TRUE(db.icNames(-1).empty());
}
