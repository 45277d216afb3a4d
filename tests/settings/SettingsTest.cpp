// The settings store in a temporary QSettings folder: first run, revision and
// folder updates, missing and malformed values, limits of the strings; the
// store's file as the program writes it over many starts, as the program
// wrote it before the store had a form of its own, and damaged or cut short.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <string>

#include "app/Settings.h"
#include "app/StoreFormat.h"
#include "robustness/Fuzz.h"
#include "support/MainWindowRig.h"
#include "support/TestSupport.h"

using namespace tesmar;
using namespace std::string_literals;

// Texts in failure messages as texts.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

const QStringList kAllNames{"RevNo",          "SoundON",          "Id_flag",
                            "Test_flag",      "MaxMin_flag",      "ProgBits",
                            "Manuf_index",    "Device_index",     "Total Programmed Last Time",
                            "Grand Total Programmed", "File Type index", "Filename",
                            "PathLoadSave",   "DefaultDir",       "OffsetAdd",
                            "Offset"};

// The store as the program opens it, in the QSettings folder in force.
std::unique_ptr<QSettings> storeSettings() {
    auto s = std::make_unique<QSettings>(store::format(), QSettings::UserScope, "Halvorn", "Tesmar");
    s->setFallbacksEnabled(false);
    return s;
}

QStringList keptCopies(const QString& storeFile) {
    const QFileInfo fi(storeFile);
    return fi.dir().entryList({fi.fileName() + ".damaged*"}, QDir::Files | QDir::Hidden);
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        st.host = &host;
        ASSERT_TRUE(folder.isValid());
        oldCwd = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(folder.path()));
    }
    void TearDown() override { QDir::setCurrent(oldCwd); }

    static std::unique_ptr<QSettings> store() { return storeSettings(); }
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
        ASSERT_EQ(s->status(), QSettings::NoError);
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
    EXPECT_TRUE(host.lines().isEmpty());
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
        {"OffsetAdd", "yes"},        {"File Type index", "1, 2"},
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

// Stores as the program wrote them before the store had a form of its own
// (Qt 6.4's INI writer), each with the values it was written from.
struct EarlierStore {
    const char* name;
    QByteArray bytes;
    Settings values;
};
const EarlierStore kEarlierStores[] = {
    // The last Load was from a folder whose name holds DEL: written as it is.
    {"DEL in the load folder",
     "[General]\nDefaultDir=/opt/tesmar\nDevice_index=17\nFile%20Type%20index=2\nFilename=zrvusb_m.usb\n"
     "Grand%20Total%20Programmed=400\nId_flag=1\nManuf_index=3\nMaxMin_flag=1\nOffset=4096\nOffsetAdd=0\n"
     "PathLoadSave=/home/user/Load\x7F" "dir/jos\xC3\xA9\nProgBits=5\nRevNo=1052\nSoundON=1\nTest_flag=1\n"
     "Total%20Programmed%20Last%20Time=40\n",
     {.SoundOn = 1, .ProgramSteps = 5, .ManufacturerIndex = 3, .DeviceIndex = 17, .LastSessionTotal = 40,
      .GrandTotal = 400, .FileTypeIndex = 2, .DeviceFileName = "zrvusb_m.usb",
      .LoadSavePath = "/home/user/Load\x7F" "dir/jos\xC3\xA9", .ProgramDir = "/opt/tesmar", .OffsetAdd = 0,
      .OffsetValue = 4096}},
    // Every value off its first-run default; texts quoted, escaped, one holding NUL.
    {"odd texts",
     "[General]\nDefaultDir=\" /opt/t\xC3\xA9smar,\x7F\"\nDevice_index=-2147483648\n"
     "File%20Type%20index=2147483647\nFilename=\"@@a,b=c;d \\\"e\\\"\\\\f\"\n"
     "Grand%20Total%20Programmed=4294967295\nId_flag=0\nManuf_index=-1\nMaxMin_flag=0\nOffset=2147483648\n"
     "OffsetAdd=0\nPathLoadSave=@String(/home/user/Load\x7F" "dir/jos\xC3\xA9/\\x1\\x61\\x62\\x63\\x1f\\x39G/\\0\\x37z/"
     "\\t\\r\\n\\v\\f\\a\\b/\xEF\xBB\xBF" "bom/\xF0\x9F\x98\x80/\xC2\x85/@x )\nProgBits=255\nRevNo=1052\nSoundON=1\n"
     "Test_flag=0\nTotal%20Programmed%20Last%20Time=12\n",
     {.SoundOn = 1, .IdCheckOption = 0, .InsertionTest = 0, .VerifyMaxMin = 0, .ProgramSteps = 0xFF,
      .ManufacturerIndex = -1, .DeviceIndex = std::numeric_limits<std::int32_t>::min(), .LastSessionTotal = 12,
      .GrandTotal = 0xFFFFFFFF, .FileTypeIndex = std::numeric_limits<std::int32_t>::max(),
      .DeviceFileName = "@a,b=c;d \"e\"\\f",
      .LoadSavePath = "/home/user/Load\x7F" "dir/jos\xC3\xA9/\x01" "abc\x1f" "9G/\0" "7z/\t\r\n\x0b\x0c\x07\x08/"
                      "\xEF\xBB\xBF" "bom/\xF0\x9F\x98\x80/\xC2\x85/@x "s,
      .ProgramDir = " /opt/t\xC3\xA9smar,\x7F", .OffsetAdd = 0, .OffsetValue = 0x80000000}},
};

// Texts as folder and file names hold them: characters U+0001-U+00FF (DEL
// and the other control characters among them), from the rest of Unicode
// (past the BMP too), '@' first, the store's own spellings. At most
// `maxUnits` UTF-16 units; with `everyLatin1`, each of U+0001-U+00FF once.
QString randomText(test::Rng& r, int maxUnits, bool everyLatin1 = false) {
    static const char* const pieces[] = {"\\", "\\x7F", "# end", "[General]", "=", "\"", ",", "%20", "@@",
                                         "@String(", " ", "jos\xC3\xA9", "\xEF\xBB\xBF", "\xF0\x9F\x98\x80"};
    QString t = r.chance(1, 3) ? "@" : "";
    for (char16_t c = 1; everyLatin1 && c <= 0xFF; ++c) t.insert(qsizetype(r.below(t.size() + 1)), QChar(c));
    for (const qsizetype units = qsizetype(r.below(maxUnits + 1)); t.size() < units;) {
        const char32_t c = char32_t(r.chance(1, 2) ? 1 + r.below(0xFF)
                                    : r.chance(1, 2) ? 0x100 + r.below(0xD800 - 0x100)
                                                     : 0x10000 + r.below(0xF0000));
        const QString part = r.chance(1, 5) ? QString::fromUtf8(r.pick(pieces)) : QString::fromUcs4(&c, 1);
        if (t.size() + part.size() > maxUnits) break;
        t += part;
    }
    return t;
}

// Numbers at their limits, now and then anywhere in their range.
template <class T>
T limitOr(test::Rng& r) {
    const T picks[] = {std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), T(0), T(1), T(r.next())};
    return r.pick(picks);
}

void setRandomValues(Settings& g, test::Rng& r) {
    for (std::uint8_t* flag : {&g.SoundOn, &g.IdCheckOption, &g.InsertionTest, &g.VerifyMaxMin, &g.OffsetAdd})
        *flag = std::uint8_t(r.below(2));
    g.ProgramSteps = limitOr<std::uint8_t>(r);
    for (std::int32_t* index : {&g.ManufacturerIndex, &g.DeviceIndex, &g.FileTypeIndex}) *index = limitOr<std::int32_t>(r);
    for (std::uint32_t* number : {&g.LastSessionTotal, &g.GrandTotal, &g.OffsetValue}) *number = limitOr<std::uint32_t>(r);
    g.DeviceFileName = randomText(r, 19).toStdString();
    g.LoadSavePath = randomText(r, 259, r.chance(1, 3)).toStdString();
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

TEST_F(SettingsStore, WhatTheProgramWritesReadsBackEqualAtEveryStart) {
    // Started from a folder whose name holds DEL, control characters, '@'
    // first, the store's own spellings and characters outside ASCII.
    const QString oddFolder = QString::fromUtf8("@\x7F jos\xC3\xA9 \x01\x1F\\x7F,;=\"# end\\ \xF0\x9F\x98\x80 ");
    ASSERT_TRUE(QDir(folder.path()).mkdir(oddFolder));
    ASSERT_TRUE(QDir::setCurrent(folder.path() + "/" + oddFolder));
    const QString here = QDir::currentPath();
    test::Rng r(1102);
    WriteDefaultSettings(st);
    ReadSettings(st);
    for (int start = 1; start <= 16; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        setRandomValues(st.settings, r);
        const Settings written = st.settings;
        if (start % 2) SaveRunningTotals(st);  // a good Program on the way
        SaveSettings(st);                      // at close

        st.settings = Settings{};
        WriteDefaultSettings(st);
        ReadSettings(st);
        for (const Field& f : kFields) EXPECT_EQ(f.get(st.settings), f.get(written)) << f.name;
        EXPECT_EQ(q(st.settings.ProgramDir), here);
        EXPECT_EQ(host.lines() + host.messages() + keptCopies(storeFile()), QStringList());
        EXPECT_EQ(store::read(test::readFile(storeFile())).damage, QString());
        if (HasFailure()) return;
    }
    // Longer texts than the program keeps, each read back equal by a
    // QSettings that has not seen the file before.
    for (int round = 0; round < 8; ++round) {
        const QString text = randomText(r, 3000, true), path = folder.filePath(QString("long%1.conf").arg(round));
        {
            QSettings s(path, store::format());
            for (const QString& name : kAllNames) s.setValue(name, text);
            s.sync();
        }
        ASSERT_TRUE(QFile::copy(path, path + ".copy"));
        const QSettings fresh(path + ".copy", store::format());
        EXPECT_EQ(fresh.status(), QSettings::NoError);
        for (const QString& name : kAllNames) EXPECT_EQ(fresh.value(name).toString(), text) << name.toStdString();
    }
}

TEST_F(SettingsStore, AStoreAsTheEarlierProgramWroteItReadsTheSameAndIsSavedInTheNewForm) {
    std::vector<EarlierStore> cases(std::begin(kEarlierStores), std::end(kEarlierStores));
    // More, written here by Qt's INI writer when it is the one the earlier program used.
    const QVersionNumber qt = QLibraryInfo::version();
    test::Rng r(64);
    for (int i = 0; qt.majorVersion() == 6 && qt.minorVersion() == 4 && i < 40; ++i) {
        Settings g;
        setRandomValues(g, r);
        g.ProgramDir = randomText(r, 259).toStdString();
        if (i % 4 == 0) g.LoadSavePath = (randomText(r, 128) + QChar(u'\0') + u'7' + randomText(r, 128)).toStdString();
        const QString path = folder.filePath(QString("earlier%1.ini").arg(i));
        {
            QSettings ini(path, QSettings::IniFormat);
            const QVariant values[] = {1052, g.SoundOn, g.IdCheckOption, g.InsertionTest, g.VerifyMaxMin,
                                       g.ProgramSteps, g.ManufacturerIndex, g.DeviceIndex, g.LastSessionTotal,
                                       g.GrandTotal, g.FileTypeIndex, q(g.DeviceFileName), q(g.LoadSavePath),
                                       q(g.ProgramDir), g.OffsetAdd, g.OffsetValue};
            for (int k = 0; k < kAllNames.size(); ++k) ini.setValue(kAllNames[k], values[k]);
        }
        cases.push_back({"written by Qt's INI writer", test::readFile(path), g});
    }

    for (const EarlierStore& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "\n" + c.bytes.toStdString());
        test::TempSettings at;
        const QString file = at.path() + "/Halvorn/Tesmar.conf";
        ASSERT_TRUE(QDir().mkpath(at.path() + "/Halvorn"));
        ASSERT_TRUE(test::writeFile(file, c.bytes));
        WriteDefaultSettings(st);
        // The folder the earlier program ran from, before the read moves it here.
        EXPECT_EQ(store()->value("DefaultDir").toString(), q(c.values.ProgramDir));
        for (int start = 0; start < 2; ++start) {  // then again from the store saved in the new form
            st.settings = Settings{};
            ReadSettings(st);
            for (const Field& f : kFields) EXPECT_EQ(f.get(st.settings), f.get(c.values)) << f.name;
            EXPECT_EQ(host.lines() + host.messages() + keptCopies(file), QStringList());
            SaveSettings(st);
            EXPECT_TRUE(test::readFile(file).startsWith("# Tesmar settings\n"));
        }
        if (HasFailure()) return;
    }
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

// A whole store in the program's form.
QByteArray storeLines(const QByteArray& testFlag = "0") {
    return "RevNo=1052\nSoundON=0\nId_flag=1\nTest_flag=" + testFlag +
           "\nMaxMin_flag=0\nProgBits=5\nManuf_index=3\nDevice_index=17\n"
           "Total Programmed Last Time=40\nGrand Total Programmed=400\nFile Type index=2\n"
           "Filename=zrvusb_m.usb\nPathLoadSave=/home/user/images\nDefaultDir=" +
           test::runDir().toUtf8() + "\nOffsetAdd=0\nOffset=4096\n";
}
QByteArray ourStore(const QByteArray& lines = storeLines()) { return "# Tesmar settings\n" + lines + "# end\n"; }

// The same as the earlier program wrote it.
QByteArray completeStore(const QByteArray& testFlag = "0") {
    return "[General]\nRevNo=1052\nSoundON=0\nId_flag=1\nTest_flag=" + testFlag +
           "\nMaxMin_flag=0\nProgBits=5\nManuf_index=3\nDevice_index=17\n"
           "Total%20Programmed%20Last%20Time=40\nGrand%20Total%20Programmed=400\nFile%20Type%20index=2\n"
           "Filename=zrvusb_m.usb\nPathLoadSave=/home/user/images\nDefaultDir=" +
           test::runDir().toUtf8() + "\nOffsetAdd=0\nOffset=4096\n";
}

}  // namespace

TEST_F(StoreAtStartUp, AStoreNotReadInFullIsKeptBesideItBeforeItIsWrittenOver) {
    const char* const damaged = " Settings file damaged: what could be read is used; ";
    struct Case {
        const char* name;
        QByteArray store;
        QStringList boxes;
        const char* line;
        std::uint32_t grandTotalRead;
    } const cases[] = {
        // Every value is read but the damaged end.
        {"damaged end", completeStore() + "[Gen\xff", {}, damaged, 400},
        // Only "RevNo" lost: not a first run, nothing else is written over.
        {"lost only RevNo", ourStore(storeLines().replace("RevNo=1052\n", "")), {}, damaged, 400},
        // Values not of their type in a damaged store take their first-run values.
        {"values not of their type in a damaged store",
         "# Tesmar settings\n" + storeLines("maybe").replace("Offset=4096", "Offset=x"), {}, damaged, 400},
        // The read stops at the value it cannot take; the rest keep their start values.
        {"bad value", completeStore("maybe"), {"|Invalid data type for 'Test_flag'"}, " Settings not read in full; ", 0},
        // Written in the earlier program's order and cut short: "RevNo" and the values after it are lost.
        {"cut before RevNo",
         "[General]\nDefaultDir=" + test::runDir().toUtf8() +
             "\nDevice_index=17\nFile%20Type%20index=2\nFilename=zrvusb_m.usb\nGrand%20Total%20Programmed=400\n"
             "Id_flag=1\nManuf_index=3\nMaxMin_flag=0\nOffset=4096\nOffsetAdd=0\nPathLoadSave=/home/user/images\nProgB",
         {}, damaged, 400},
        // Values Qt's INI reader would rebuild from binary data (a list that claims 2^31
        // strings), plainly, quoted, escaped and behind what that reader drops or joins:
        // never written by the program, never read as anything but damage.
        {"serialized value", completeStore().replace("Device_index=17", "Device_index=@Variant(\\0\\0\\0\\v\\x7f\\0\\0\\0\\x1)"),
         {}, damaged, 400},
        {"quoted serialized value",
         completeStore().replace("Filename=zrvusb_m.usb", "Filename=\"@Variant(\\0\\0\\0\\v\\x7f\\0\\0\\0\\x1)\""), {},
         damaged, 400},
        {"escaped serialized value",
         completeStore().replace("PathLoadSave=/home/user/images", "PathLoadSave=a, \\x40Variant(\\0\\0\\0\\v\\x7f\\0\\0\\0\\x1)"),
         {}, damaged, 400},
        {"hidden serialized values",
         completeStore()
             .replace("Device_index=17", "Device_index=\"\"@Variant(\\0\\0\\0\\v\\x7f\\0\\0\\0\\x1)")
             .replace("Filename=zrvusb_m.usb", "Filename=\\z@Variant(\\0\\0\\0\\v\\x7f\\0\\0\\0\\x1)")
             .replace("Offset=4096", "Offset=\\x10040Variant(\\0\\0\\0\\v\\x7f\\0\\0\\0\\x1)")
             .replace("OffsetAdd=0", "OffsetAdd=\"\n\",@Variant(\\0\\0\\0\\v\\x7f\\0\\0\\0\\x1)"),
         {}, damaged, 400},
        // In the program's form the same spelling is a text like any other.
        {"serialized value in the program's form",
         ourStore(storeLines().replace("Device_index=17", "Device_index=@Variant(\\x00\\x00\\x00\\x0B\\x7F)")),
         {"|Invalid data type for 'Device_index'"}, " Settings not read in full; ", 0},
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
        // What was read went back into the store, whole.
        const store::Reading now = store::read(test::readFile(store));
        EXPECT_EQ(now.damage, QString());
        EXPECT_EQ(now.values.value("Grand Total Programmed"), QString::number(c.grandTotalRead));
        EXPECT_EQ(now.values.value("RevNo"), "1052");
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
    // The store as the program writes it, with no value at its first-run
    // default, and one the earlier program wrote.
    QByteArray ours;
    Settings written;
    {
        test::TempSettings origin;
        AppState w;
        WriteDefaultSettings(w);
        Settings& g = w.settings;
        setEveryValue(g);
        g.LoadSavePath = "/data/jed\x7F/jos\xC3\xA9";
        g.ProgramDir = "/opt/t\xC3\xA9smar\\ \x01";
        SaveSettings(w);
        written = g;
        ours = test::readFile(origin.path() + "/Halvorn/Tesmar.conf");
    }
    // The form later versions must still read: control bytes and '\' escaped, the rest as it is.
    ASSERT_EQ(ours,
              "# Tesmar settings\n"
              "RevNo=1052\nSoundON=1\nId_flag=0\nTest_flag=0\nMaxMin_flag=0\nProgBits=255\nManuf_index=-1\n"
              "Device_index=-1\nTotal Programmed Last Time=12\nGrand Total Programmed=4294967295\n"
              "File Type index=3\nFilename=zrvusb_p.usb\n"
              "PathLoadSave=/data/jed\\x7F/jos\xC3\xA9\n"
              "DefaultDir=/opt/t\xC3\xA9smar\\\\ \\x01\n"
              "OffsetAdd=0\nOffset=2147483648\n"
              "# end\n");
    const Settings defaults = [&] {
        test::TempSettings fresh;
        AppState d;
        WriteDefaultSettings(d);
        ReadSettings(d);
        return d.settings;
    }();
    const EarlierStore& earlier = kEarlierStores[1];
    struct Whole {
        const char* name;
        QByteArray bytes;
        Settings values;
        // The name of a value as the file spells it.
        std::function<QByteArray(const char*)> spelled;
    } const wholes[] = {
        {"the program's form", ours, written, [](const char* name) { return QByteArray(name); }},
        {"the earlier program's form", earlier.bytes, earlier.values,
         [](const char* name) { return QByteArray(name).replace(" ", "%20"); }},
    };

    int cases = 0;
    for (const Whole& whole : wholes) {
        for (const Field& f : kFields) ASSERT_NE(f.get(whole.values), f.get(defaults)) << whole.name << ": " << f.name;
        // Where to cut: at every line boundary, in the middle of each line, one
        // byte short of its end and just before its line end.
        const QByteArray& bytes = whole.bytes;
        std::set<qsizetype> cuts;
        QList<qsizetype> lineStarts;
        for (qsizetype at = 0; at < bytes.size(); at = bytes.indexOf('\n', at) + 1) {
            const qsizetype end = bytes.indexOf('\n', at);
            ASSERT_GE(end, 0);
            lineStarts << at;
            for (qsizetype c : {at, at + (end - at) / 2, end - 1, end}) cuts.insert(c);
        }
        cuts.erase(bytes.size());  // the whole store is not cut
        // The earlier form has no end line: a few cuts of it are enough.
        int k = 0;
        for (auto it = cuts.begin(); &whole != &wholes[0] && it != cuts.end();) it = k++ % 5 ? cuts.erase(it) : std::next(it);
        std::mt19937 rng(16);
        QByteArray noise(300, '\0');
        for (char& c : noise) c = char(rng());
        const QByteArray garbage[] = {{}, QByteArray(4096, '\0'), noise};

        for (const QByteArray& tail : garbage)
            for (const qsizetype cut : cuts) {
                ++cases;
                const QByteArray damaged = bytes.left(cut) + tail;
                SCOPED_TRACE(std::string(whole.name) + ": cut at " + std::to_string(cut) + " of " +
                             std::to_string(bytes.size()) + ", " + std::to_string(tail.size()) + " bytes of garbage");
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
                for (const Field& f : kFields) {
                    const qsizetype line = bytes.indexOf("\n" + whole.spelled(f.name) + "=") + 1;
                    ASSERT_GT(line, 0) << f.name;
                    const QString got = f.get(a.settings);
                    if (bytes.indexOf('\n', line) < cut) {
                        EXPECT_EQ(got, f.get(whole.values)) << f.name;
                    } else if (line != cutLine) {
                        EXPECT_EQ(got, f.get(defaults)) << f.name;
                    } else if (tail.isEmpty()) {
                        EXPECT_TRUE(got == f.get(defaults) || got == f.get(whole.values)) << f.name << " = " << got.toStdString();
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
    EXPECT_GE(cases, 199);
}
