// Test and Loop Test passes on the simulated programmer with logic ICs in its socket.
#include <QRegularExpression>

#include "ictest/IcTesterRig.h"

using namespace tesmar;
using namespace tesmar::test;
using ictest::IcMemoryExchange;
using ictest::IcMemoryMap;

namespace {

struct GoodIc {
    const char* name;
    int pins;
    int lines;
    Bytes open, direction, level;  // the first line's frames, worked out by hand
    const char* hint;
};

const GoodIc kGoodIcs[] = {
    {"7400", 14, 5, {'E', 'S', 7, 8}, {'E', 14, 7, 8, 0x5B, 0x76, 0, 0}, {0x00, 0x40, 0, 0, 0, 0}, ""},
    {"7474", 14, 5, {'E', 'S', 7, 8}, {'E', 14, 7, 8, 0x4F, 0x7C, 0, 0}, {0x08, 0x44, 0, 0, 0, 0}, ""},
    {"74138", 16, 10, {'E', 'S', 8, 8}, {'E', 16, 8, 8, 0xBF, 0x80, 0, 0}, {0x20, 0x80, 0, 0, 0, 0}, ""},
    {"74158", 16, 7, {'E', 'S', 8, 8}, {'E', 16, 8, 8, 0xB7, 0xF6, 0, 0}, {0x14, 0xA2, 0, 0, 0, 0},
     " ic pin 10 - 16 , with 100R to ic pin 8 "},
    {"74HC918", 18, 5, {'E', 'S', 9, 8}, {'E', 18, 9, 8, 0xFF, 0x01, 0x02, 0, 0, 0}, {0, 0, 0x02, 0, 0},
     " ic pin 11 - 18 , with 100R to ic pin 9 "},
    {"74374", 20, 5, {'E', 'S', 10, 8}, {'E', 20, 10, 8, 0xCD, 0x32, 0x0B, 0x00, 0x04, 0x00},
     {0x00, 0x00, 0x08, 0x00, 0x01}, ""},
    {"74240", 20, 5, {'E', 'S', 10, 8}, {'E', 20, 10, 8, 0xAB, 0x56, 0x0D, 0, 0, 0}, {0, 0, 0x08, 0, 0},
     " ic pin 13 - 20 , with 100R to ic pin 10 "},
    {"74154", 24, 17, {'E', 'S', 12, 8}, {'E', 24, 12, 8, 0x00, 0x08, 0xFE, 0, 0, 0}, {0, 0, 0x80, 0, 0}, ""},
};

class GoodIcTest : public IcTesterRig, public ::testing::WithParamInterface<GoodIc> {};

}  // namespace

TEST_P(GoodIcTest, PassesWithTheFramesOfItsVectors) {
    const GoodIc& ic = GetParam();
    choose(ic.name);
    sim.insertLogicIc(ic.name);
    skipUploads(ic.pins);
    runTest();

    EXPECT_TRUE(view.pass);
    EXPECT_FALSE(view.fail);
    EXPECT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_EQ(view.testing, ic.name);
    EXPECT_EQ(view.hint, ic.hint);
    EXPECT_EQ(view.linesSent, ic.lines);
    EXPECT_EQ(sim.protocolErrors(), std::vector<std::string>{});

    // Open, a direction and a level frame per line, close: nothing else.
    const std::vector<Bytes> w = writes();
    ASSERT_EQ(w.size(), std::size_t(2 + 2 * ic.lines));
    EXPECT_EQ(w[0], ic.open);
    EXPECT_EQ(w[1], ic.direction);
    EXPECT_EQ(w[2], ic.level);
    EXPECT_EQ(w.back(), (Bytes{'E', 'F', 0, 0}));
    for (int line = 0; line < ic.lines; ++line) {
        EXPECT_EQ(w[std::size_t(1 + 2 * line)].size(), ic.pins <= 16 ? 8u : 10u);
        EXPECT_EQ(w[std::size_t(2 + 2 * line)].size(), ic.pins <= 16 ? 6u : 5u);
    }
    EXPECT_TRUE(sim.driverCalls().size() >= 1);
    EXPECT_EQ(sim.driverCalls().front(), "timeouts 500 500");
}

INSTANTIATE_TEST_SUITE_P(SampleDatabase, GoodIcTest, ::testing::ValuesIn(kGoodIcs),
                         [](const ::testing::TestParamInfo<GoodIc>& info) { return "IC" + std::string(info.param.name); });

TEST_F(IcTesterRig, StuckOutputFailsAfterSixAttemptsShowingTheLineAndTheAnswer) {
    choose("7400");
    sim.insertLogicIc("7400");
    sim.logicIc()->stickPin(3, false);
    skipUploads(14);
    st.settings.SoundOn = 1;
    runTest();

    EXPECT_TRUE(view.fail);
    EXPECT_FALSE(view.pass);
    EXPECT_NE(st.ErrorFlag.get(), 0);
    EXPECT_EQ(view.failLine, "00H00HGH00H00V");
    EXPECT_EQ(view.failResult, "00L00HGH00H00V");
    EXPECT_EQ(countWrites({'E', 'S', 7, 8}), 6);
    EXPECT_EQ(countWrites({'E', 'F', 0, 0}), 6);
    EXPECT_EQ(host.sounds(), std::vector<Sound>{Sound::Error});
    // A failed pass leaves the count and the caption where they were.
    EXPECT_EQ(t.LoopCount, 0);
    EXPECT_EQ(view.loopCaptions, QStringList{"  0 x"});
}

TEST_F(IcTesterRig, ShortedInputFailsLikeAWrongOutput) {
    choose("7404");
    sim.insertLogicIc("7404");
    sim.logicIc()->shortInput(1);
    skipUploads(14);
    runTest();
    EXPECT_TRUE(view.fail);
    EXPECT_EQ(view.failLine, "0H0H0HGH0H0H0V");
    ASSERT_EQ(view.failResult.size(), 14);
    EXPECT_EQ(view.failResult[0], '1');
}

TEST_F(IcTesterRig, FailureInTheLastLineSendsEveryEarlierLineSixTimes) {
    // A NAND whose last line expects the wrong level on pin 3.
    const std::string lines[] = {"00H00HGH00H00V", "01H01HGH01H01V", "11H11LGL11L11V"};
    useDatabase(buildAllUsb({{"Gates", {{"7400", 14, 7, 14, ' ', lines[0] + lines[1] + lines[2]}}}}));
    choose("7400");
    sim.insertLogicIc("7400");
    skipUploads(14);
    runTest();

    EXPECT_TRUE(view.fail);
    EXPECT_EQ(view.failLine, QString::fromStdString(lines[2]));
    EXPECT_EQ(view.failResult, "11L11LGL11L11V");
    EXPECT_EQ(view.linesSent, 18);
    const std::vector<Bytes> w = writes();
    ASSERT_EQ(w.size(), 6u * (2 + 2 * 3));
    for (int attempt = 0; attempt < 6; ++attempt) {
        const std::size_t at = std::size_t(attempt) * 8;
        EXPECT_EQ(w[at], (Bytes{'E', 'S', 7, 8}));
        EXPECT_EQ(w[at + 1], (Bytes{'E', 14, 7, 8, 0x5B, 0x76, 0, 0}));
        EXPECT_EQ(w[at + 7], (Bytes{'E', 'F', 0, 0}));
    }
}

TEST_F(IcTesterRig, LoopTestCountsDownInTheCaption) {
    choose("7408");
    sim.insertLogicIc("7408");
    runTest(3);
    EXPECT_EQ(view.passes, 3);
    // Passes with more to come keep Test disabled; the last one disables Loop Test.
    EXPECT_EQ(view.looping, (std::vector<bool>{true, true, false}));
    EXPECT_EQ(view.loopCaptions, (QStringList{"  2 x", "  1 x", "  0 x"}));
    EXPECT_TRUE(view.pass);
    EXPECT_EQ(st.ErrorFlag.get(), 0);
    // Uploaded in the first pass only.
    EXPECT_EQ(countWrites(Bytes{'F', 'P', 'G', 'A'}), 1);
    EXPECT_EQ(countWrites(Bytes{'M', 'C', 'U', ' '}), 1);
    EXPECT_TRUE(QRegularExpression(R"(^ \d\d:\d\d:\d\d\.\d\d$)").match(host.lines().last()).hasMatch())
        << host.lines().last().toStdString();
}

TEST_F(IcTesterRig, LoopStopsAtTheFirstFailedPass) {
    choose("7432");
    sim.insertLogicIc("7400");  // the wrong part
    runTest(4);
    EXPECT_EQ(view.passes, 1);
    EXPECT_TRUE(view.fail);
    EXPECT_EQ(t.LoopCount, 3);
    EXPECT_EQ(view.loopCaptions, QStringList{"  3 x"});
}

TEST_F(IcTesterRig, UploadsOnlyWhatTheProgrammerLacks) {
    choose("7400");
    sim.insertLogicIc("7400");
    runTest();
    EXPECT_TRUE(view.pass);
    EXPECT_TRUE(wrote("FPGA"));
    EXPECT_TRUE(wrote("MCU "));
    EXPECT_EQ(sim.lastBitstream().size(), 19897u);
    EXPECT_EQ(sim.lastFirmware(), bytesOfFile(runDir() + "/usbm/ic_test.bin"));
    EXPECT_TRUE(host.lines().contains(" FPGA programmed OK"));
    EXPECT_TRUE(host.lines().contains(" MCU file sent OK"));
    EXPECT_EQ(t.LoadedFpgaPins, 14);

    // The same pin count again: nothing uploaded.
    sim.clearLog();
    choose("7404");
    sim.insertLogicIc("7404");
    runTest();
    EXPECT_TRUE(view.pass);
    EXPECT_FALSE(wrote("FPGA"));
    EXPECT_FALSE(wrote("MCU "));

    // Another pin count: its bitstream, not the firmware.
    sim.clearLog();
    choose("74138");
    sim.insertLogicIc("74138");
    runTest();
    EXPECT_TRUE(view.pass);
    EXPECT_TRUE(wrote("FPGA"));
    EXPECT_FALSE(wrote("MCU "));
    const Bytes expected = bytesOfFile(runDir() + "/usbf/IC16p.rbf");
    const Bytes sent = sim.lastBitstream();
    ASSERT_GE(sent.size(), expected.size());
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + std::ptrdiff_t(expected.size())), expected);
    EXPECT_EQ(t.LoadedFpgaPins, 16);
}

TEST_F(IcTesterRig, FailedUploadIsTriedAgainByTheNextTest) {
    choose("7400");
    sim.insertLogicIc("7400");
    sim.faults().wrongReply[sim::Reply::FpgaGood] = "Bad!";
    runTest();
    EXPECT_TRUE(host.lines().contains(" Problem sending FPGA file"));
    EXPECT_FALSE(wrote("MCU "));  // skipped after the failed upload
    EXPECT_EQ(t.LoadedFpgaPins, 0);
    EXPECT_FALSE(t.McuFileSent);

    sim.faults().wrongReply.clear();
    sim.clearLog();
    runTest();
    EXPECT_TRUE(wrote("FPGA"));
    EXPECT_TRUE(wrote("MCU "));
    EXPECT_TRUE(view.pass);
    EXPECT_EQ(t.LoadedFpgaPins, 14);
    EXPECT_TRUE(t.McuFileSent);
}

TEST_F(IcTesterRig, AnnouncesTheIcUnderTest) {
    std::vector<std::pair<std::string, int>> seen;
    st.onIcTestStart = [&](const std::string& name, int pins) {
        seen.emplace_back(name, pins);
        sim.insertLogicIc(name);
    };
    choose("74244");
    runTest(2);
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, int>>{{"74244", 20}, {"74244", 20}}));
    EXPECT_TRUE(view.pass);
}

TEST_F(IcTesterRig, NoPassWithoutAnIcOrACount) {
    choose("7400");
    t.IcIndex = -1;
    runTest(3);
    t.IcIndex = 0;
    runTest(0);
    runTest(-5);
    EXPECT_EQ(view.passes, 0);
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(host.lines().size(), 3);  // the elapsed time of each click
}

TEST_F(IcTesterRig, ListsComeFromTheDatabase) {
    ictest::IcLists lists;
    t.IcGroupIndex = 3;
    ASSERT_TRUE(ictest::LoadIcTestLists(st, t, 3, lists));
    EXPECT_EQ(lists.groups.size(), 6u);
    EXPECT_EQ(lists.ics, (std::vector<QString>{"74244", "74240", "74245"}));
    EXPECT_EQ(t.IcGroupIndex, 0);
    EXPECT_EQ(t.IcIndex, 0);

    t.IcGroupIndex = 5;
    lists = {};
    ASSERT_TRUE(ictest::LoadIcTestLists(st, t, 2, lists));
    EXPECT_TRUE(lists.groups.empty());
    EXPECT_EQ(lists.ics, std::vector<QString>{"6116"});
    EXPECT_EQ(t.IcGroupIndex, 5);
    EXPECT_TRUE(host.messages().isEmpty());
}

TEST_F(IcTesterRig, EmptyGroupChoosesNoIc) {
    useDatabase(buildAllUsb({{"Empty", {}}, {"Gates", {{"7400", 14, 7, 14, ' ', "00H00HGH00H00V"}}}}));
    ictest::IcLists lists;
    ASSERT_TRUE(ictest::LoadIcTestLists(st, t, 3, lists));
    EXPECT_TRUE(lists.ics.empty());
    EXPECT_EQ(t.IcIndex, -1);
}

TEST_F(IcTesterRig, MissingDatabaseLeavesDemoMode) {
    ASSERT_TRUE(dir.isValid());
    st.settings.ProgramDir = dir.path().toStdString();
    st.settings.SoundOn = 1;
    ictest::IcLists lists{{"old"}, {"old"}};
    t.IcIndex = 2;
    EXPECT_FALSE(ictest::LoadIcTestLists(st, t, 3, lists));
    EXPECT_TRUE(lists.groups.empty());
    EXPECT_TRUE(lists.ics.empty());
    EXPECT_EQ(t.IcIndex, -1);
    EXPECT_EQ(st.ProgrammerState, 0);
    EXPECT_EQ(host.messages(), QStringList{" File Not Found |All.usb"});
    EXPECT_EQ(host.sounds(), std::vector<Sound>{Sound::Error});

    // A Test whose database went away sends nothing.
    t.IcGroupIndex = 1;
    t.IcIndex = 0;
    runTest();
    EXPECT_EQ(view.passes, 0);
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(host.messages().size(), 2);
}

namespace {

struct BadEntry {
    const char* what;
    void (*damage)(QByteArray& db, const DbLayout& l);
    int pins;
    const char* box;        // the box shown ("" none)
    bool passes;            // the vectors still run
    bool uploads;           // the bitstream went out before the problem showed
};

const char kCorrupt[] = "|File: ALL.USB is Corrupt";

const BadEntry kBadEntries[] = {
    {"wrong block marker", [](QByteArray& b, const DbLayout& l) { b[l.blockAt[0]] = 0x11; }, 14, kCorrupt, true, true},
    {"wrong text marker", [](QByteArray& b, const DbLayout& l) { b[l.textAt[0][0]] = 0x22; }, 14, kCorrupt, true, true},
    {"IC index beyond the block", [](QByteArray& b, const DbLayout& l) { b[l.blockAt[0] + 1] = 0; }, 14, kCorrupt,
     false, false},
    {"vector offset past the end",
     [](QByteArray& b, const DbLayout& l) {
         b[l.entryAt[0][0]] = char(0xF0);
         b[l.entryAt[0][0] + 1] = char(0xFF);
     },
     14, kCorrupt, false, true},
    {"text without its 0 byte", [](QByteArray& b, const DbLayout&) { b.chop(1); }, 14, kCorrupt, false, true},
    {"empty text",
     [](QByteArray& b, const DbLayout& l) {
         b.truncate(l.textAt[0][0] + 1);
         b += '\0';
     },
     14, kCorrupt, false, true},
    {"22 pins", [](QByteArray& b, const DbLayout& l) { b[l.entryAt[0][0] + 10] = 22; }, 22,
     "|7400: the tester takes 14, 16, 18, 20 and 24 pin ICs, not 22 pins", false, false},
    {"0 pins", [](QByteArray& b, const DbLayout& l) { b[l.entryAt[0][0] + 10] = 0; }, 0,
     "|7400: the tester takes 14, 16, 18, 20 and 24 pin ICs, not 0 pins", false, false},
};

class BadEntryTest : public IcTesterRig, public ::testing::WithParamInterface<BadEntry> {};

}  // namespace

TEST_P(BadEntryTest, ShowsItsBoxAndSendsNoVectorsItCannotTrust) {
    DbLayout l;
    QByteArray db = buildAllUsb({{"Gates", {{"7400", 14, 7, 14, ' ', "00H00HGH00H00V11L11LGL11L11V"}}}}, &l);
    GetParam().damage(db, l);
    useDatabase(db);
    t.IcGroupIndex = 1;
    t.IcIndex = 0;
    sim.insertLogicIc("7400");
    runTest(2);

    QStringList boxes{GetParam().box};
    if (GetParam().passes) boxes << GetParam().box;  // once per pass
    EXPECT_EQ(host.messages(), boxes);
    EXPECT_EQ(wrote("FPGA"), GetParam().uploads);
    if (GetParam().passes) {
        EXPECT_EQ(view.passes, 2);
        EXPECT_TRUE(view.pass);
    } else {
        EXPECT_EQ(view.passes, 0);
        EXPECT_NE(st.ErrorFlag.get(), 0);
        EXPECT_EQ(countWrites({'E', 'S', 7, 8}), 0);
        EXPECT_EQ(t.LoopCount, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(DamagedDatabase, BadEntryTest, ::testing::ValuesIn(kBadEntries),
                         [](const ::testing::TestParamInfo<BadEntry>& info) {
                             std::string n;
                             for (const char* p = info.param.what; *p; ++p) n += std::isalnum(std::uint8_t(*p)) ? *p : '_';
                             return n;
                         });

TEST_F(IcTesterRig, LastLineCutShortIsPaddedNotReadPastTheText) {
    // 1.5 lines: the half line's missing pins read as 0 and are not compared.
    useDatabase(buildAllUsb({{"Gates", {{"7400", 14, 7, 14, ' ', "00H00HGH00H00V0000000"}}}}));
    choose("7400");
    sim.insertLogicIc("7400");
    skipUploads(14);
    runTest();
    const std::vector<Bytes> w = writes();
    ASSERT_GE(w.size(), 6u);
    // Pins 1-7 driven low, 8-14 neither driven nor clocked.
    EXPECT_EQ(w[3], (Bytes{'E', 14, 7, 8, 0x7F, 0x00, 0, 0}));
}

// --- Memory ICs -------------------------------------------------------------

namespace {

class FailingExchange : public IcMemoryExchange {
public:
    explicit FailingExchange(int failAt) : failAt_(failAt) {}
    void prepare(std::uint8_t supplyCode) override { prepared = supplyCode; }
    ictest::PatternResult exchange(const IcMemoryMap& map, const std::uint8_t* data, std::size_t n) override {
        sizes.push_back(n);
        width = map.width;
        first.assign(data, data + std::min<std::size_t>(n, 4));
        return ++calls != failAt_ ? ictest::PatternResult::Passed : ictest::PatternResult::Failed;
    }
    int calls = 0, width = 0, prepared = -1;
    std::vector<std::size_t> sizes;
    Bytes first;

private:
    int failAt_;
};

std::string pinMap(std::vector<int> address, std::vector<int> data, std::vector<int> control, int pins) {
    const int k = (40 - pins) / 2;
    std::string s;
    for (int i = 0; i < 20; ++i) s += char(i < int(address.size()) ? address[size_t(i)] + k : 0xC0);
    for (int i = 0; i < 8; ++i) s += char(i < int(data.size()) ? data[size_t(i)] + k : 0xC0);
    for (int c : control) s += char(c + k);
    return s;
}

}  // namespace

TEST_F(IcTesterRig, StaticRamRunsTheFivePatternSteps) {
    choose("6116");
    sim.insertLogicIc("6116");
    skipUploads(24);
    FailingExchange ex(0);
    exchange = &ex;
    runTest();

    EXPECT_TRUE(view.pass);
    EXPECT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_EQ(view.memorySize, 2048);
    EXPECT_EQ(view.memoryCaptions, (QStringList{"Test 1  Data = 0xA5", "Test 2  Data = 0x5A", "Test 3  Data = 0",
                                                "Test 4  Data = 0xFF", "Test 5  Data = Variable"}));
    EXPECT_EQ(ex.prepared, 8);
    EXPECT_EQ(ex.sizes, std::vector<std::size_t>(5, 2048));
    // The running value: 1, then +14 +1 while the bytes left are no multiple of 16 or 256.
    EXPECT_EQ(ex.first, (Bytes{1, 16, 31, 46}));
    // Open, the first "line" as a direction frame (no pin map byte is a vector character), close.
    const std::vector<Bytes> w = writes();
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0], (Bytes{'E', 'S', 12, 8}));
    EXPECT_EQ(w[1], (Bytes{'E', 24, 12, 8, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(w[2], (Bytes{'E', 'F', 0, 0}));
    EXPECT_EQ(sim.protocolErrors(), std::vector<std::string>{});
}

TEST_F(IcTesterRig, NarrowMemoriesUseMaskedPatterns) {
    const std::string nibble = pinMap({1, 2, 3, 4, 5, 6, 7}, {9, 10, 11, 13}, {18, 20}, 20);
    const std::string bit = pinMap({1, 2, 3}, {9}, {18}, 16);
    useDatabase(buildAllUsb({{"RAM", {{"NIB", 20, 10, 20, 'R', nibble}, {"BIT", 16, 8, 16, 'R', bit}}}}));
    FailingExchange ex(0);
    exchange = &ex;

    choose("NIB");
    runTest();
    EXPECT_TRUE(view.pass);
    EXPECT_EQ(view.memorySize, 128);
    EXPECT_EQ(ex.width, 4);
    EXPECT_EQ(view.memoryCaptions, (QStringList{"Test 1  Data = 0x05", "Test 2  Data = 0x0A", "Test 3  Data = 0",
                                                "Test 4  Data = 0x0F", "Test 5  Data = Variable"}));
    EXPECT_EQ(ex.first, (Bytes{1, 0, 15, 14}));

    view.memoryCaptions.clear();
    choose("BIT");
    runTest();
    EXPECT_TRUE(view.pass);
    EXPECT_EQ(view.memorySize, 8);
    EXPECT_EQ(ex.width, 1);
    EXPECT_EQ(view.memoryCaptions, (QStringList{"Test 1  Data = 0x01", "Test 2  Data = 0x00", "Test 3  Data = Variable"}));
}

TEST_F(IcTesterRig, FailedPatternStepEndsTheMemoryTest) {
    choose("6116");
    skipUploads(24);
    FailingExchange ex(2);
    exchange = &ex;
    runTest(3);
    EXPECT_TRUE(view.fail);
    EXPECT_FALSE(view.pass);
    EXPECT_EQ(st.ErrorFlag.get(), 1);
    EXPECT_EQ(view.memoryCaptions, (QStringList{"Test 1  Data = 0xA5", "Test 2  Data = 0x5A  Failed"}));
    EXPECT_EQ(ex.calls, 2);
    EXPECT_EQ(view.passes, 1);
}

TEST_F(IcTesterRig, MemoryWithoutDataPinsIsRefused) {
    useDatabase(buildAllUsb({{"RAM", {{"NODATA", 24, 12, 24, 'R', pinMap({8, 7, 6}, {}, {18}, 24)},
                                      {"SHORT", 24, 12, 24, 'R', "\x10\x0F"}}}}));
    choose("NODATA");
    runTest();
    choose("SHORT");
    runTest();
    EXPECT_EQ(host.messages(), (QStringList{kCorrupt, kCorrupt}));
    EXPECT_EQ(view.passes, 0);
}

TEST_F(IcTesterRig, ClockBurstsDoubleFromLineToLineOnACounter) {
    // Dual 4-bit counter: pin 1 clocks counter 1 (outputs 3-6), pin 13
    // counter 2 (outputs 11-8). Each 'K' doubles the pulse count: 2, 4, 8.
    const std::string lines = "01LLLLGLLLL10V"   // both cleared
                              "K0LHLLGLLLL10V"   // 2 pulses: 2
                              "K0LHHLGLLLL10V"   // 4 more: 6
                              "K0LHHHGLLLL10V"   // 8 more: 14
                              "C0HHHHGLLLL10V"   // 1 more: 15
                              "00HHHHGLLLH0cV";  // counter 2 counts one on the second clock
    useDatabase(buildAllUsb({{"Counters", {{"74393", 14, 7, 14, ' ', lines}}}}));
    choose("74393");
    sim.insertLogicIc("74393");
    skipUploads(14);
    runTest();
    EXPECT_TRUE(view.pass) << view.failLine.toStdString() << " / " << view.failResult.toStdString();
    // Level frames: pin 12 (clear 2) high and the supply, then the C/K and c pairs.
    const std::vector<Bytes> w = writes();
    ASSERT_EQ(w.size(), 14u);
    EXPECT_EQ(w[4], (Bytes{0x00, 0x50, 0x00, 0x02, 0, 0}));
    EXPECT_EQ(w[6], (Bytes{0x00, 0x50, 0x00, 0x04, 0, 0}));
    EXPECT_EQ(w[8], (Bytes{0x00, 0x50, 0x00, 0x08, 0, 0}));
    EXPECT_EQ(w[10], (Bytes{0x00, 0x50, 0x00, 0x01, 0, 0}));
    EXPECT_EQ(w[12], (Bytes{0x00, 0x40, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_EQ(sim.protocolErrors(), std::vector<std::string>{});
}
