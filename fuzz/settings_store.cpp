// The settings store as the program meets it at start-up and close: the
// input is the store's file (Halvorn/Tesmar.conf, read by QSettings) in a
// folder emptied for each input. The start-up writes the first-run values
// and reads them back, the device file and record the settings name are
// looked up, and the close saves the store.
//
// Before that, the file as the program lets Qt's reader see it (values Qt
// would rebuild from data taken out) is read by Qt: every value must come
// out as a text or a list of texts. The seeds and dictionary hold harmless
// values Qt rebuilds ("@Rect(...)", "@ByteArray(...)") in the spellings
// that hide them, so a way past the check shows here and not as a run out
// of memory.
//
// Input: the file.
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>

#include "app/Settings.h"
#include "app/StoreText.h"
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

    {
        const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
        static int serial = 0;
        const QString probe = folder + QString("/probe%1.conf").arg(++serial);
        QFile f(probe);
        if (!f.open(QIODevice::WriteOnly) || f.write(storetext::withoutRebuiltValues(bytes)) < 0)
            fail("cannot write the probe file");
        f.close();
        const QSettings qt(probe, QSettings::IniFormat);
        for (const QString& k : qt.allKeys()) {
            if (QString(k).remove(u'/').isEmpty()) continue;  // a key Qt cannot look up again
            const QVariant v = qt.value(k);
            if (v.isValid() && v.typeId() != QMetaType::QString && v.typeId() != QMetaType::QStringList)
                fail("Qt rebuilt a value the settings store let through");
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
    return 0;
}
