// The settings store as the program meets it at start-up and close: the
// input is the store's file (Halvorn/Tesmar.conf, read by QSettings through
// the store's own format, app/StoreFormat.h) in a folder emptied for each
// input. The start-up writes the first-run values and reads them back, the
// device file and record the settings name are looked up, and the close
// saves the store; the file the program leaves must read as whole.
//
// Before that, QSettings reads the file at a path it has not seen: every
// value must come out as a text. The seeds and dictionary hold values Qt's
// INI reader would rebuild from data ("@Rect(...)", "@ByteArray(...)") in
// the spellings that once hid them from the program, so a value rebuilt
// from data shows here and not as a run out of memory. What the reader
// calls whole must be what the writer writes: the same bytes for a store in
// the program's form, the same values for one as the earlier program wrote
// it.
//
// Input: the file.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>

#include "app/Settings.h"
#include "app/StoreFormat.h"
#include "common/FuzzRig.h"
#include "devices/DeviceDataFile.h"

using namespace tesmar;
using namespace tesmar::fuzz;

namespace {

// One folder for every input, emptied each time: Qt keeps every store it has
// parsed for the life of the process (and reads a changed file again), so
// new paths would only grow that cache, and libFuzzer would take the growth
// for a leak.
const QString& storeFolder() {
    static QTemporaryDir base;
    static const QString folder = base.isValid() ? base.filePath("store") : QString();
    if (folder.isEmpty()) fail("no temporary folder");
    return folder;
}

bool tooLong(const std::string& s, int maxChars) { return QString::fromStdString(s).size() > maxChars; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    startQt(argc, argv);
    store::format();  // registered before any QSettings of the store is made
    for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        for (auto scope : {QSettings::UserScope, QSettings::SystemScope}) QSettings::setPath(format, scope, storeFolder());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString& folder = storeFolder();
    QDir(folder).removeRecursively();
    if (!QDir().mkpath(folder + "/Halvorn")) fail("cannot make the settings folder");
    std::FILE* out = std::fopen((folder + "/Halvorn/Tesmar.conf").toLocal8Bit().constData(), "wb");
    if (!out) fail("cannot write the settings file");
    if (size) std::fwrite(data, 1, size, out);
    std::fclose(out);

    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const store::Reading reading = store::read(bytes);
    if (verbose()) std::fprintf(stderr, "store: %s\n", reading.damage.isEmpty() ? "whole" : qPrintable(reading.damage));
    {
        static int serial = 0;
        const QString probe = folder + QString("/probe%1.conf").arg(++serial);
        QFile f(probe);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) fail("cannot write the probe file");
        f.close();
        const QSettings qt(probe, store::format());
        for (const QString& k : qt.allKeys()) {
            const QVariant v = qt.value(k);
            if (v.typeId() != QMetaType::QString) fail("QSettings handed out a value of the store that is not a text");
            if (v.toString() != reading.values.value(k)) fail("QSettings and the store's reader read a value apart");
        }
        if (reading.damage.isEmpty()) {
            if (qt.status() != QSettings::NoError || qt.allKeys().size() != reading.values.size())
                fail("QSettings did not take a store the reader calls whole");
            QSettings::SettingsMap values;
            for (auto it = reading.values.begin(); it != reading.values.end(); ++it) values.insert(it.key(), it.value());
            const std::optional<QByteArray> again = store::write(values);
            if (!again) fail("the writer refused what the reader read");
            if (bytes.startsWith("# Tesmar settings\n") && *again != bytes)
                fail("a whole store in the program's form is not written back as it was");
            const store::Reading back = store::read(*again);
            if (!back.damage.isEmpty() || back.values != reading.values)
                fail("the values of a whole store do not come back from the writer");
        } else if (!qt.allKeys().isEmpty()) {
            fail("QSettings took values from a store the reader calls damaged");
        }
    }

    ScriptedHost host;
    AppState st;
    st.host = &host;
    WriteDefaultSettings(st);
    ReadSettings(st);

    const Settings& g = st.settings;
    if (tooLong(g.DeviceFileName, 19) || tooLong(g.LoadSavePath, 259) || tooLong(g.ProgramDir, 259))
        fail("a text from the settings store is longer than its limit");
    if (g.SoundOn > 1 || g.IdCheckOption > 1 || g.InsertionTest > 1 || g.VerifyMaxMin > 1 || g.OffsetAdd > 1)
        fail("a switch from the settings store is neither on nor off");

    // The selection dialog opens the family file and record the store names
    // (the name joined to the program folder as the dialog joins it).
    DeviceDataFile f;
    const QString family = QDir(QString::fromStdString(runDir())).filePath(QString::fromStdString(g.DeviceFileName));
    if (f.open(family.toStdString())) f.record(g.ManufacturerIndex, g.DeviceIndex);

    SaveRunningTotals(st);
    SaveSettings(st);

    // A store the program wrote itself is never called damaged.
    const QString file = folder + "/Halvorn/Tesmar.conf";
    if (!st.SettingsFrozen && QFileInfo(file).isFile()) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) fail("cannot read the saved settings file");
        if (!store::read(f.readAll()).damage.isEmpty()) fail("the program left a store its reader calls damaged");
    }
    return 0;
}
