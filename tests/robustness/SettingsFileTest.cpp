// The settings store written by hand, in the program's form or the earlier
// program's: values of the wrong type, out of range, huge, escaped,
// serialised Qt types, lines of noise, a cut end. Reading it shows
// at most one message, keeps every text within its limit, and whatever it
// took in is saved so that the next start reads it without complaint.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "Fuzz.h"
#include "app/Settings.h"
#include "app/StoreFormat.h"
#include "support/TestSupport.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

// The value names as the store spells them in its file (spaces escaped).
const char* const kKeys[] = {"RevNo",        "SoundON",        "Id_flag",     "Test_flag",
                             "MaxMin_flag",  "ProgBits",       "Manuf_index", "Device_index",
                             "Total%20Programmed%20Last%20Time", "Grand%20Total%20Programmed",
                             "File%20Type%20index", "Filename", "PathLoadSave", "DefaultDir",
                             "OffsetAdd",    "Offset"};
const char* const kNames[] = {"RevNo",        "SoundON",        "Id_flag",     "Test_flag",
                              "MaxMin_flag",  "ProgBits",       "Manuf_index", "Device_index",
                              "Total Programmed Last Time", "Grand Total Programmed",
                              "File Type index", "Filename", "PathLoadSave", "DefaultDir",
                              "OffsetAdd",    "Offset"};

QByteArray randomValue(Rng& r) {
    static const char* const plain[] = {
        "0", "1", "5", "-1", "1052", "255", "256", "65535", "2147483647", "2147483648", "-2147483648",
        "-2147483649", "4294967295", "4294967296", "99999999999999999999", "-99999999999999999999",
        "9223372036854775807", "9223372036854775808", "0x10", "1e3", "1.5", " 7 ", "+3", "--1", "0 1",
        "true", "false", "TRUE", "yes", "", "\"\"", "a,b,c", "\"a,b\"", ",", "zrvusb_m.usb",
        "/tmp/images", "\\x263a\\x263a", "\\u00e9t\\u00e9", "\\0", "\\", "\\\\server\\share", "\"unterminated",
        "@ByteArray(\\0\\x1\\xff)", "@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x1)", "@Variant(\\0\\0\\0\\n\\0\\0\\0\\x4\\0x)",
        "@Rect(1 2 3 4)", "@Size(-1 -1)", "@Point(x y)", "@Invalid()", "@@escaped", "@DateTime(junk)",
        "\\xd800", "\\xdfff\\xd800"};
    switch (r.below(8)) {
    case 0: return QByteArray::number(qlonglong(r.next()));
    case 1: return QByteArray::number(qulonglong(r.below(0x200000000ull)));
    case 2: return QByteArray(qsizetype(r.chance(1, 2) ? 300 : 100000), 'p');
    case 3: {
        // Printable noise, now and then with a byte from outside ASCII.
        QByteArray b;
        const std::size_t n = r.below(40);
        for (std::size_t i = 0; i < n; ++i) b += r.chance(1, 10) ? char(0x80 + r.below(0x80)) : char(0x20 + r.below(0x5F));
        return b;
    }
    default: return r.pick(plain);
    }
}

// A store in the program's form or as the earlier program wrote it, with
// values missing, damaged or said twice, lines of noise and a cut end.
QByteArray randomStoreFile(Rng& r) {
    if (r.chance(1, 20)) return r.bytes(r.below(512));
    const bool ours = r.chance(1, 2);
    QByteArray file = ours ? "# Tesmar settings\n" : r.chance(3, 4) ? "[General]\n" : "";
    // Out of 64 values: how many are missing, how many damaged. Some stores are whole.
    const unsigned missing = r.pick({0u, 0u, 1u, 4u}), damaged = r.pick({0u, 0u, 2u, 8u, 32u});
    const bool spaced = r.chance(1, ours ? 8 : 4);  // blanks around '='
    for (std::size_t k = 0; k < std::size(kKeys); ++k) {
        if (r.below(64) < missing) continue;
        const QByteArray key = ours ? kNames[k] : kKeys[k];
        QByteArray value;
        if (r.below(64) >= damaged) {
            if (k >= 1 && k <= 4) value = r.chance(1, 2) ? "1" : "false";
            else if (k >= 11 && k <= 13) value = k == 11 ? "zrvusb_e.usb" : "/tmp";
            else if (k == 14) value = "0";
            else value = QByteArray::number(qulonglong(r.below(3000)));
        } else {
            value = randomValue(r);
        }
        file += key + (spaced && r.chance(1, 4) ? " = " : "=") + value + "\n";
        if (!ours && r.below(64) < damaged / 4) file += key + "=" + randomValue(r) + "\n";  // said twice
    }
    if (ours && r.chance(7, 8)) file += "# end\n";
    // Lines no writer writes, now and then.
    const unsigned den = ours ? 16 : 8;
    if (r.chance(1, den)) file += "[Other]\nRevNo=1\nSoundON=junk\n";
    if (r.chance(1, den)) file += "[General]\nProgBits=" + randomValue(r) + "\n";
    if (r.chance(1, den)) file += "=novalue\n[\n;comment\nnoequals\n" + r.bytes(r.below(32)) + "\n";
    if (r.chance(1, den)) file.chop(qsizetype(r.below(std::uint64_t(file.size()) + 1)));
    return file;
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        oldCwd = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(folder.path()));
    }
    void TearDown() override { QDir::setCurrent(oldCwd); }

    QTemporaryDir folder;  // the folder the program is "started from"
    QString oldCwd;
};

bool allowedMessage(const QString& m) {
    if (m == "| Can't open program serial key." || m == "| RootDir Registry Error") return true;
    for (const char* name : kNames)
        if (m == QString("|Invalid data type for '%1'").arg(name)) return true;
    return false;
}

void expectSameSettings(const Settings& a, const Settings& b) {
    EXPECT_EQ(a.SoundOn, b.SoundOn);
    EXPECT_EQ(a.IdCheckOption, b.IdCheckOption);
    EXPECT_EQ(a.InsertionTest, b.InsertionTest);
    EXPECT_EQ(a.VerifyMaxMin, b.VerifyMaxMin);
    EXPECT_EQ(a.ProgramSteps, b.ProgramSteps);
    EXPECT_EQ(a.ManufacturerIndex, b.ManufacturerIndex);
    EXPECT_EQ(a.DeviceIndex, b.DeviceIndex);
    EXPECT_EQ(a.LastSessionTotal, b.LastSessionTotal);
    EXPECT_EQ(a.GrandTotal, b.GrandTotal);
    EXPECT_EQ(a.FileTypeIndex, b.FileTypeIndex);
    EXPECT_EQ(a.DeviceFileName, b.DeviceFileName);
    EXPECT_EQ(a.LoadSavePath, b.LoadSavePath);
    EXPECT_EQ(a.ProgramDir, b.ProgramDir);
    EXPECT_EQ(a.OffsetAdd, b.OffsetAdd);
    EXPECT_EQ(a.OffsetValue, b.OffsetValue);
}

}  // namespace

TEST_F(SettingsFile, AnythingInTheStoreReadsSafelyAndSavesClean) {
    Rng r(21);
    int clean = 0, complained = 0, kept = 0;
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TempSettings temp;  // a new file each round: the store's cache never sees an old one
        ASSERT_TRUE(QDir().mkpath(temp.path() + "/Halvorn"));
        const QByteArray content = randomStoreFile(r);
        ASSERT_TRUE(writeFile(temp.path() + "/Halvorn/Tesmar.conf", content));

        RecorderHost h1;
        AppState a;
        a.host = &h1;
        // As at start-up (first-run defaults, then the read), or the read alone.
        const bool startUp = r.chance(1, 2);
        if (startUp) WriteDefaultSettings(a);
        ReadSettings(a);
        const QStringList said = h1.messages();
        ASSERT_LE(said.size(), startUp ? 2 : 1) << said.join("\n").toStdString();
        for (const QString& m : said) ASSERT_TRUE(allowedMessage(m)) << m.toStdString();
        (said.isEmpty() ? clean : complained)++;
        if (h1.lines().join('\n').contains(" Settings file damaged")) ++kept;

        const Settings& g = a.settings;
        ASSERT_LE(QString::fromStdString(g.DeviceFileName).size(), 19);
        ASSERT_LE(QString::fromStdString(g.LoadSavePath).size(), 259);
        ASSERT_LE(QString::fromStdString(g.ProgramDir).size(), 259);
        ASSERT_LE(g.SoundOn, 1);
        ASSERT_LE(g.OffsetAdd, 1);

        // What was read is saved and read back at the next start without a word.
        if (said.isEmpty() || said.front().startsWith("|Invalid data type")) {
            SaveSettings(a);
            // A store the program wrote is never called damaged; a damaged one was kept as it was.
            const QString file = temp.path() + "/Halvorn/Tesmar.conf";
            ASSERT_EQ(store::read(readFile(file)).damage, QString()) << readFile(file).toStdString();
            if (!a.SettingsKeptAs.empty()) {
                ASSERT_EQ(readFile(QString::fromStdString(a.SettingsKeptAs)), content);
            }
            ASSERT_TRUE(h1.messages() == said) << h1.messages().join("\n").toStdString() << "\n--" << h1.lines().join("\n").toStdString() << "\n--" << content.toStdString();
            RecorderHost h2;
            AppState b;
            b.host = &h2;
            ReadSettings(b);
            ASSERT_TRUE(h2.messages().isEmpty()) << h2.messages().join("\n").toStdString();
            expectSameSettings(b.settings, a.settings);
        }
        if (HasFatalFailure()) return;
    }
    // The sweep must reach the clean read, the complaints and the damaged stores.
    EXPECT_GT(clean, 10);
    EXPECT_GT(complained, 10);
    EXPECT_GT(kept, 10);
    EXPECT_GT(clean - kept, 10);
}
