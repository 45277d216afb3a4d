// The settings store in a temporary QSettings folder: first run, revision and
// folder updates, missing and malformed values, limits of the strings.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <functional>
#include <memory>
#include <random>
#include <set>

#include "app/Settings.h"
#include "support/MainWindowRig.h"
#include "support/TestSupport.h"

using namespace tesmar;

namespace {

const QStringList kAllNames{"RevNo",          "SoundON",          "Id_flag",
                            "Test_flag",      "MaxMin_flag",      "ProgBits",
                            "Manuf_index",    "Device_index",     "Total Programmed Last Time",
                            "Grand Total Programmed", "File Type index", "Filename",
                            "PathLoadSave",   "DefaultDir",       "OffsetAdd",
                            "Offset"};

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        st.host = &host;
        ASSERT_TRUE(folder.isValid());
        oldCwd = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(folder.path()));
    }
    void TearDown() override { QDir::setCurrent(oldCwd); }

    static std::unique_ptr<QSettings> store() {
        auto s = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "Halvorn", "Tesmar");
        s->setFallbacksEnabled(false);
        return s;
    }
    QString storeFile() const { return temp.path() + "/Halvorn/Tesmar.conf"; }
    // A complete store as a previous run of the program left it.
    void seed(const QVariantMap& overrides = {}, const QStringList& without = {}) {
        QVariantMap v{{"RevNo", 1052},
                      {"SoundON", 1},
                      {"Id_flag", 0},
                      {"Test_flag", 0},
                      {"MaxMin_flag", 0},
                      {"ProgBits", 5},
                      {"Manuf_index", 3},
                      {"Device_index", 17},
                      {"Total Programmed Last Time", 40},
                      {"Grand Total Programmed", 400},
                      {"File Type index", 2},
                      {"Filename", "zrvusb_m.usb"},
                      {"PathLoadSave", "/home/user/images"},
                      {"DefaultDir", QDir::currentPath()},
                      {"OffsetAdd", 0},
                      {"Offset", 4096}};
        for (auto it = overrides.begin(); it != overrides.end(); ++it) v[it.key()] = it.value();
        auto s = store();
        for (auto it = v.begin(); it != v.end(); ++it)
            if (!without.contains(it.key())) s->setValue(it.key(), it.value());
        s->sync();
    }

    test::TempSettings temp;
    QTemporaryDir folder;  // the folder the program is "started from"
    QString oldCwd;
    test::RecorderHost host;
    AppState st;
};

}  // namespace

TEST_F(SettingsStore, FirstRunWritesTheDefaultsAndReadsThemBack) {
    WriteDefaultSettings(st);
    ReadSettings(st);

    auto s = store();
    QStringList keys = s->allKeys();
    keys.sort();
    QStringList expected = kAllNames;
    expected.sort();
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(s->value("RevNo").toInt(), 1052);
    EXPECT_EQ(s->value("Filename").toString(), "zrvusb_r.usb");
    EXPECT_EQ(s->value("File Type index").toInt(), 1);

    const Settings& g = st.settings;
    EXPECT_EQ(g.SoundOn, 0);
    EXPECT_EQ(g.IdCheckOption, 1);
    EXPECT_EQ(g.InsertionTest, 1);
    EXPECT_EQ(g.VerifyMaxMin, 1);
    EXPECT_EQ(g.ProgramSteps, 0);
    EXPECT_EQ(g.OffsetAdd, 1);
    EXPECT_EQ(g.OffsetValue, 0u);
    EXPECT_EQ(g.GrandTotal, 0u);
    EXPECT_EQ(g.DeviceFileName, "zrvusb_r.usb");
    EXPECT_EQ(g.ProgramDir, folder.path().toStdString());
    EXPECT_EQ(g.LoadSavePath, folder.path().toStdString());
    EXPECT_TRUE(host.messages().isEmpty());
}

TEST_F(SettingsStore, AnExistingStoreIsLeftAlone) {
    seed();
    WriteDefaultSettings(st);
    auto s = store();
    EXPECT_EQ(s->value("SoundON").toInt(), 1);
    EXPECT_EQ(s->value("Filename").toString(), "zrvusb_m.usb");
}

TEST_F(SettingsStore, ReadLoadsEveryValue) {
    seed();
    ReadSettings(st);
    const Settings& g = st.settings;
    EXPECT_EQ(g.SoundOn, 1);
    EXPECT_EQ(g.IdCheckOption, 0);
    EXPECT_EQ(g.InsertionTest, 0);
    EXPECT_EQ(g.VerifyMaxMin, 0);
    EXPECT_EQ(g.ProgramSteps, 5);
    EXPECT_EQ(g.ManufacturerIndex, 3);
    EXPECT_EQ(g.DeviceIndex, 17);
    EXPECT_EQ(g.FileTypeIndex, 2);
    EXPECT_EQ(g.DeviceFileName, "zrvusb_m.usb");
    EXPECT_EQ(g.LoadSavePath, "/home/user/images");
    EXPECT_EQ(g.OffsetAdd, 0);
    EXPECT_EQ(g.OffsetValue, 4096u);
    EXPECT_EQ(g.LastSessionTotal, 40u);
    EXPECT_EQ(g.GrandTotal, 400u);
    EXPECT_TRUE(host.messages().isEmpty());
}

TEST_F(SettingsStore, OlderRevisionIsRewrittenAndNothingElse) {
    seed({{"RevNo", 1051}});
    ReadSettings(st);
    auto s = store();
    EXPECT_EQ(s->value("RevNo").toInt(), 1052);
    EXPECT_EQ(s->value("DefaultDir").toString(), folder.path());
    EXPECT_EQ(s->value("SoundON").toInt(), 1);
    EXPECT_EQ(s->value("Offset").toInt(), 4096);
    EXPECT_EQ(st.settings.ProgramSteps, 5);
}

TEST_F(SettingsStore, ProgramDirFollowsTheStartUpFolder) {
    seed({{"DefaultDir", "/somewhere/else"}});
    ReadSettings(st);
    EXPECT_EQ(st.settings.ProgramDir, folder.path().toStdString());
    EXPECT_EQ(store()->value("DefaultDir").toString(), folder.path());

    // And again from yet another folder.
    QTemporaryDir other;
    ASSERT_TRUE(QDir::setCurrent(other.path()));
    ReadSettings(st);
    EXPECT_EQ(st.settings.ProgramDir, other.path().toStdString());
    EXPECT_EQ(store()->value("DefaultDir").toString(), other.path());
}

TEST_F(SettingsStore, MissingOffsetsAndTotalsTakeTheirDefaultsSilently) {
    seed({}, {"OffsetAdd", "Offset", "Grand Total Programmed", "Total Programmed Last Time"});
    st.settings.OffsetAdd = 0;
    st.settings.OffsetValue = 77;
    st.settings.GrandTotal = st.settings.LastSessionTotal = 9;
    ReadSettings(st);
    EXPECT_EQ(st.settings.OffsetAdd, 1);
    EXPECT_EQ(st.settings.OffsetValue, 0u);
    EXPECT_EQ(st.settings.GrandTotal, 0u);
    EXPECT_EQ(st.settings.LastSessionTotal, 0u);
    EXPECT_TRUE(host.messages().isEmpty());
}

TEST_F(SettingsStore, MissingIdFlagStopsTheReadThere) {
    seed({}, {"Id_flag"});
    ReadSettings(st);
    EXPECT_EQ(host.messages(), QStringList{"|Invalid data type for 'Id_flag'"});
    EXPECT_EQ(st.settings.SoundOn, 1);        // read before the gap
    EXPECT_EQ(st.settings.InsertionTest, 1);  // not read: start values stay
    EXPECT_EQ(st.settings.ProgramSteps, 0);
    EXPECT_EQ(st.settings.DeviceFileName, "zrvusb_r.usb");
    EXPECT_EQ(st.settings.OffsetValue, 0u);
}

TEST_F(SettingsStore, MalformedValuesAreReportedByName) {
    struct Row {
        const char* name;
        QVariant value;
    } const rows[] = {
        {"Test_flag", "maybe"},      {"Test_flag", 2},           {"SoundON", ""},
        {"ProgBits", "12abc"},       {"Manuf_index", "1.5"},     {"RevNo", "x"},
        {"Offset", "99999999999"},   {"Grand Total Programmed", "-99999999999"},
        {"OffsetAdd", "yes"},        {"File Type index", QStringList{"1", "2"}},
    };
    for (const Row& row : rows) {
        test::TempSettings fresh;
        test::RecorderHost h;
        AppState s;
        s.host = &h;
        seed({{row.name, row.value}});
        ReadSettings(s);
        EXPECT_EQ(h.messages(), QStringList{QString("|Invalid data type for '%1'").arg(row.name)})
            << row.name << " = " << row.value.toString().toStdString();
    }
}

TEST_F(SettingsStore, BooleansAcceptWordsAndNumbers) {
    seed({{"SoundON", "true"}, {"Id_flag", "FALSE"}, {"Test_flag", " 1 "}, {"OffsetAdd", "false"}});
    ReadSettings(st);
    EXPECT_TRUE(host.messages().isEmpty());
    EXPECT_EQ(st.settings.SoundOn, 1);
    EXPECT_EQ(st.settings.IdCheckOption, 0);
    EXPECT_EQ(st.settings.InsertionTest, 1);
    EXPECT_EQ(st.settings.OffsetAdd, 0);
}

TEST_F(SettingsStore, ProgBitsKeepsItsLowEightBits) {
    seed({{"ProgBits", 0x1FF}});
    ReadSettings(st);
    EXPECT_EQ(st.settings.ProgramSteps, 0xFF);
}

TEST_F(SettingsStore, LongStringsAreCut) {
    const QString longName(40, 'n');
    const QString longPath = "/" + QString(400, 'p');
    seed({{"Filename", longName}, {"PathLoadSave", longPath}});
    ReadSettings(st);
    EXPECT_EQ(st.settings.DeviceFileName, longName.left(19).toStdString());
    EXPECT_EQ(st.settings.LoadSavePath, longPath.left(259).toStdString());
}

TEST_F(SettingsStore, NoStoreMeansNothingReadOrSaved) {
    st.settings.SoundOn = 1;
    ReadSettings(st);
    SaveSettings(st);
    SaveRunningTotals(st);
    EXPECT_FALSE(QFile::exists(storeFile()));
    EXPECT_EQ(st.settings.SoundOn, 1);
    EXPECT_TRUE(host.messages().isEmpty());
}

namespace {

// A value of the store as the program holds it, for comparison.
struct Field {
    const char* name;
    std::function<QString(const Settings&)> get;
};
QString n(std::int64_t v) { return QString::number(v); }
QString q(const std::string& s) { return QString::fromStdString(s); }
const Field kFields[] = {
    {"SoundON", [](const Settings& g) { return n(g.SoundOn); }},
    {"Id_flag", [](const Settings& g) { return n(g.IdCheckOption); }},
    {"Test_flag", [](const Settings& g) { return n(g.InsertionTest); }},
    {"MaxMin_flag", [](const Settings& g) { return n(g.VerifyMaxMin); }},
    {"ProgBits", [](const Settings& g) { return n(g.ProgramSteps); }},
    {"Manuf_index", [](const Settings& g) { return n(g.ManufacturerIndex); }},
    {"Device_index", [](const Settings& g) { return n(g.DeviceIndex); }},
    {"Total Programmed Last Time", [](const Settings& g) { return n(g.LastSessionTotal); }},
    {"Grand Total Programmed", [](const Settings& g) { return n(g.GrandTotal); }},
    {"File Type index", [](const Settings& g) { return n(g.FileTypeIndex); }},
    {"Filename", [](const Settings& g) { return q(g.DeviceFileName); }},
    {"PathLoadSave", [](const Settings& g) { return q(g.LoadSavePath); }},
    {"OffsetAdd", [](const Settings& g) { return n(g.OffsetAdd); }},
    {"Offset", [](const Settings& g) { return n(g.OffsetValue); }},
};

// Every value of the store away from its first-run default, at the ends of
// its range where it has one.
void setEveryValue(Settings& g) {
    g.SoundOn = 1;
    g.IdCheckOption = 0;
    g.InsertionTest = 0;
    g.VerifyMaxMin = 0;
    g.ProgramSteps = 0xFF;
    g.ManufacturerIndex = -1;
    g.DeviceIndex = -1;
    g.GrandTotal = 0xFFFFFFFF;
    g.LastSessionTotal = 12;
    g.FileTypeIndex = 3;
    g.DeviceFileName = "zrvusb_p.usb";
    g.LoadSavePath = "/data/jed";
    g.OffsetAdd = 0;
    g.OffsetValue = 0x80000000;
}

// The key a line of the store's file holds, as the program names it.
QString keyOfLine(const QByteArray& line) {
    const qsizetype eq = line.indexOf('=');
    return eq < 0 ? QString() : QString::fromUtf8(QByteArray::fromPercentEncoding(line.left(eq)));
}

}  // namespace

TEST_F(SettingsStore, SaveWritesEveryValueForTheNextRun) {
    WriteDefaultSettings(st);
    setEveryValue(st.settings);
    const Settings written = st.settings;
    SaveSettings(st);

    AppState next;
    next.host = &host;
    ReadSettings(next);
    for (const Field& f : kFields) EXPECT_EQ(f.get(next.settings), f.get(written)) << f.name;
    EXPECT_TRUE(host.messages().isEmpty());
}

TEST_F(SettingsStore, RunningTotalsTouchOnlyTheTotals) {
    seed();
    st.settings.GrandTotal = 401;
    st.settings.LastSessionTotal = 41;
    st.settings.SoundOn = 0;
    SaveRunningTotals(st);
    auto s = store();
    EXPECT_EQ(s->value("Grand Total Programmed").toInt(), 401);
    EXPECT_EQ(s->value("Total Programmed Last Time").toInt(), 41);
    EXPECT_EQ(s->value("SoundON").toInt(), 1);
}

TEST_F(SettingsStore, AStoreThatCannotBeOpenedIsReported) {
    // A folder where the store's file should be: it can be neither read nor written.
    ASSERT_TRUE(QDir().mkpath(storeFile()));
    st.settings.SoundOn = 1;
    WriteDefaultSettings(st);
    ReadSettings(st);
    SaveSettings(st);
    SaveRunningTotals(st);  // silent
    EXPECT_EQ(host.messages(), (QStringList{"| RootDir Registry Error", "| Can't open program serial key.",
                                            "| Can't open program serial key."}));
    EXPECT_EQ(st.settings.SoundOn, 1);
}

// ---- the store at start-up and close, through the main window ---------------

namespace {

// The window is started by each test, once its store file is in place: a
// path no QSettings of this process has parsed before.
class StoreAtStartUp : public test::MainWindowRig {
protected:
    StoreAtStartUp() : MainWindowRig({.openWindow = false}) {}
    // The store's file in the settings folder in force (the rig's, or a case's own).
    QString storeFile(const test::TempSettings* folder = nullptr) const {
        return (folder ? folder : &settings_)->path() + "/Halvorn/Tesmar.conf";
    }
    void closeWindow() {
        w().close();
        window_.reset();
    }
};

QByteArray completeStore(const QByteArray& testFlag = "0") {
    return "[General]\nRevNo=1052\nSoundON=0\nId_flag=1\nTest_flag=" + testFlag +
           "\nMaxMin_flag=0\nProgBits=5\nManuf_index=3\nDevice_index=17\n"
           "Total%20Programmed%20Last%20Time=40\nGrand%20Total%20Programmed=400\nFile%20Type%20index=2\n"
           "Filename=zrvusb_m.usb\nPathLoadSave=/home/user/images\nDefaultDir=" +
           test::runDir().toUtf8() + "\nOffsetAdd=0\nOffset=4096\n";
}

}  // namespace

TEST_F(StoreAtStartUp, AStoreNotReadInFullIsKeptBesideItBeforeItIsWrittenOver) {
    struct Case {
        const char* name;
        QByteArray store;
        QStringList boxes;
        const char* line;
        std::uint32_t grandTotalRead;
    } const cases[] = {
        // Qt reads every value but the damaged end.
        {"damaged end", completeStore() + "[Gen\xff", {}, " Settings file damaged: what could be read is used; ", 400},
        // The read stops at the value it cannot take; the rest keep their start values.
        {"bad value", completeStore("maybe"), {"|Invalid data type for 'Test_flag'"}, " Settings not read in full; ", 0},
        // Written in Qt's order and cut short: "RevNo" and the values after it are lost.
        {"cut before RevNo",
         "[General]\nDefaultDir=" + test::runDir().toUtf8() +
             "\nDevice_index=17\nFile%20Type%20index=2\nFilename=zrvusb_m.usb\nGrand%20Total%20Programmed=400\n"
             "Id_flag=1\nManuf_index=3\nMaxMin_flag=0\nOffset=4096\nOffsetAdd=0\nPathLoadSave=/home/user/images\nProgB",
         {}, " Settings file damaged: what could be read is used; ", 400},
        // Values Qt would rebuild from binary data (here a list that claims 2^31 strings), written
        // plainly, quoted and escaped: never the program's, never handed to Qt's reader.
        {"serialized value", completeStore().replace("Device_index=17", "Device_index=@Variant(\\0\\0\\0\\v\\x7f\\0\\0\\0\\x1)"),
         {}, " Settings file damaged: what could be read is used; ", 400},
        {"quoted serialized value",
         completeStore().replace("Filename=zrvusb_m.usb", "Filename=\"@Variant(\\0\\0\\0\\v\\x7f\\0\\0\\0\\x1)\""), {},
         " Settings file damaged: what could be read is used; ", 400},
        {"escaped serialized value",
         completeStore().replace("PathLoadSave=/home/user/images", "PathLoadSave=a, \\x40Variant(\\0\\0\\0\\v\\x7f\\0\\0\\0\\x1)"),
         {}, " Settings file damaged: what could be read is used; ", 400},
        // The same behind what Qt's reader drops or joins: an empty quoted text, a backslash
        // and the character after it, a code past 16 bits, a line end inside quotes.
        {"hidden serialized values",
         completeStore()
             .replace("Device_index=17", "Device_index=\"\"@Variant(\\0\\0\\0\\v\\x7f\\0\\0\\0\\x1)")
             .replace("Filename=zrvusb_m.usb", "Filename=\\z@Variant(\\0\\0\\0\\v\\x7f\\0\\0\\0\\x1)")
             .replace("Offset=4096", "Offset=\\x10040Variant(\\0\\0\\0\\v\\x7f\\0\\0\\0\\x1)")
             .replace("OffsetAdd=0", "OffsetAdd=\"\n\",@Variant(\\0\\0\\0\\v\\x7f\\0\\0\\0\\x1)"),
         {}, " Settings file damaged: what could be read is used; ", 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempSettings folder;
        const QString store = storeFile(&folder);
        ASSERT_TRUE(QDir().mkpath(folder.path() + "/Halvorn"));
        ASSERT_TRUE(test::writeFile(store, c.store));
        const qsizetype seenBefore = boxes().seen().size();
        start();
        const QString kept = store + ".damaged";
        EXPECT_EQ(boxes().seen().mid(seenBefore), c.boxes);
        ASSERT_FALSE(w().memoLines().isEmpty());
        EXPECT_EQ(w().memoLines().first(), QString(c.line) + "the old file is kept as " + kept);
        EXPECT_EQ(w().memoLines().mid(1, 2), (QStringList{" ", " Tesmar Serial Nr : TS000001"}));
        EXPECT_EQ(st().settings.GrandTotal, c.grandTotalRead);
        closeWindow();
        EXPECT_EQ(test::readFile(kept), c.store);
        // What was read went back into the store.
        const QByteArray now = test::readFile(store);
        EXPECT_TRUE(now.contains("Grand%20Total%20Programmed=" + QByteArray::number(c.grandTotalRead))) << now.data();
        EXPECT_TRUE(now.contains("RevNo=1052")) << now.data();
    }
}

TEST_F(StoreAtStartUp, AStoreThatCannotBeOpenedLeavesTheProgramFolderInPlace) {
    // A folder where the store's file should be: it can be neither read nor written.
    ASSERT_TRUE(QDir().mkpath(storeFile()));
    start();
    EXPECT_EQ(boxes().seen(), (QStringList{"| RootDir Registry Error", "| Can't open program serial key."}));
    EXPECT_EQ(st().settings.ProgramDir, test::runDir().toStdString());
    EXPECT_EQ(st().settings.LoadSavePath, test::runDir().toStdString());
    select(0, 0, 0);
    const QStringList lines = w().memoLines();
    for (const char* line : {" FPGA programmed OK", " MCU file sent OK", " Parameters sent OK"})
        EXPECT_TRUE(lines.contains(line)) << line << "\n" << lines.join('\n').toStdString();
    EXPECT_FALSE(sim_.lastParameters().empty());
    EXPECT_TRUE(w().SB_Read->isEnabled());
}

// ---- a store cut short (a crash or a full disk while it was written) ---------

TEST_F(SettingsStore, AStoreCutShortIsKeptAndEveryValueThatSurvivedIsRead) {
    // The store as the program writes it, with no value at its first-run default.
    QByteArray whole;
    Settings written;
    {
        test::TempSettings origin;
        AppState w;
        WriteDefaultSettings(w);
        Settings& g = w.settings;
        setEveryValue(g);
        g.ProgramDir = folder.path().toStdString();
        SaveSettings(w);
        written = g;
        whole = test::readFile(origin.path() + "/Halvorn/Tesmar.conf");
    }
    const Settings defaults = [&] {
        test::TempSettings fresh;
        AppState d;
        WriteDefaultSettings(d);
        ReadSettings(d);
        return d.settings;
    }();
    for (const Field& f : kFields) ASSERT_NE(f.get(written), f.get(defaults)) << f.name;

    // Where to cut: at every line boundary, in the middle of each line, one
    // byte short of its end and just before its line end.
    std::set<qsizetype> cuts;
    QList<qsizetype> lineStarts;
    for (qsizetype at = 0; at < whole.size(); at = whole.indexOf('\n', at) + 1) {
        const qsizetype end = whole.indexOf('\n', at);
        ASSERT_GE(end, 0);
        lineStarts << at;
        for (qsizetype c : {at, at + (end - at) / 2, end - 1, end}) cuts.insert(c);
    }
    cuts.erase(whole.size());  // the whole store is not cut
    std::mt19937 rng(16);
    QByteArray noise(300, '\0');
    for (char& c : noise) c = char(rng());
    const QByteArray garbage[] = {{}, QByteArray(4096, '\0'), noise};

    for (const QByteArray& tail : garbage)
        for (const qsizetype cut : cuts) {
            const QByteArray damaged = whole.left(cut) + tail;
            SCOPED_TRACE("cut at " + std::to_string(cut) + " of " + std::to_string(whole.size()) + ", " +
                         std::to_string(tail.size()) + " bytes of garbage");
            test::TempSettings at;
            const QString file = at.path() + "/Halvorn/Tesmar.conf";
            ASSERT_TRUE(QDir().mkpath(at.path() + "/Halvorn"));
            ASSERT_TRUE(test::writeFile(file, damaged));

            test::RecorderHost h;
            AppState a;
            a.host = &h;
            WriteDefaultSettings(a);
            ReadSettings(a);

            EXPECT_TRUE(h.messages().isEmpty()) << h.messages().join('\n').toStdString();
            if (damaged.isEmpty()) {  // a new store: the first run
                EXPECT_TRUE(h.lines().isEmpty());
                EXPECT_FALSE(QFile::exists(file + ".damaged"));
            } else {
                EXPECT_EQ(h.lines(), QStringList{" Settings file damaged: what could be read is used; the old file is "
                                                 "kept as " + file + ".damaged"});
                EXPECT_EQ(test::readFile(file + ".damaged"), damaged);
            }
            // A value whose line survived whole is read; the rest take their
            // defaults, the value of a line cut without garbage after it too.
            const qsizetype cutLine = *std::prev(std::upper_bound(lineStarts.begin(), lineStarts.end(), cut));
            const QString cutKey = keyOfLine(whole.mid(cutLine, whole.indexOf('\n', cutLine) - cutLine));
            for (const Field& f : kFields) {
                const qsizetype line = whole.indexOf("\n" + QUrl::toPercentEncoding(f.name, "_") + "=") + 1;
                ASSERT_GT(line, 0) << f.name;
                const QString got = f.get(a.settings);
                if (whole.indexOf('\n', line) < cut) {
                    EXPECT_EQ(got, f.get(written)) << f.name;
                } else if (f.name != cutKey) {
                    EXPECT_EQ(got, f.get(defaults)) << f.name;
                } else if (tail.isEmpty()) {
                    EXPECT_TRUE(got == f.get(defaults) || got == f.get(written)) << f.name << " = " << got.toStdString();
                }
            }
            // What was read went back whole: the next start reads the same
            // without a word.
            SaveSettings(a);
            test::RecorderHost h2;
            AppState b;
            b.host = &h2;
            WriteDefaultSettings(b);
            ReadSettings(b);
            EXPECT_TRUE(h2.lines().isEmpty() && h2.messages().isEmpty())
                << (h2.lines() + h2.messages()).join('\n').toStdString();
            for (const Field& f : kFields) EXPECT_EQ(f.get(b.settings), f.get(a.settings)) << f.name;
            if (HasFailure()) return;
        }
}
