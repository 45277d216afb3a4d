#include "app/Settings.h"

#include <QDir>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <limits>

#include "operations/Host.h"

namespace tesmar {

namespace {

constexpr std::uint16_t kCurrentRevision = 1052;
constexpr int kFileNameChars = 19;
constexpr int kPathChars = 259;

// Value names, as the store has always spelled them.
constexpr char kRevNo[] = "RevNo";
constexpr char kSoundOn[] = "SoundON";
constexpr char kIdFlag[] = "Id_flag";
constexpr char kTestFlag[] = "Test_flag";
constexpr char kMaxMinFlag[] = "MaxMin_flag";
constexpr char kProgBits[] = "ProgBits";
constexpr char kManufIndex[] = "Manuf_index";
constexpr char kDeviceIndex[] = "Device_index";
constexpr char kLastTotal[] = "Total Programmed Last Time";
constexpr char kGrandTotal[] = "Grand Total Programmed";
constexpr char kFileTypeIndex[] = "File Type index";
constexpr char kFilename[] = "Filename";
constexpr char kPathLoadSave[] = "PathLoadSave";
constexpr char kDefaultDir[] = "DefaultDir";
constexpr char kOffsetAdd[] = "OffsetAdd";
constexpr char kOffset[] = "Offset";

constexpr char kDefaultDeviceFile[] = "zrvusb_r.usb";

// A value that is missing or cannot be read as its type; the routine that
// meets it shows the text and skips the rest of its values.
struct BadValue {
    QString text;
};

class Store {
public:
    Store() : s_(QSettings::NativeFormat, QSettings::UserScope, "Halvorn", "Tesmar") {
        // Only our own file counts: no system-wide or organisation-wide fallbacks.
        s_.setFallbacksEnabled(false);
    }

    // A store that is there but cannot be read still exists: opening it then
    // fails with a message instead of passing for a first run.
    bool exists() const { return !s_.allKeys().isEmpty() || s_.status() == QSettings::AccessError; }
    // Open without creating: the store must be readable and writable.
    bool openable() const { return s_.status() == QSettings::NoError && s_.isWritable(); }
    bool has(const char* name) const { return s_.contains(QLatin1String(name)); }

    bool readBool(const char* name) const {
        const QString t = text(name).trimmed().toLower();
        if (t == "1" || t == "true") return true;
        if (t == "0" || t == "false") return false;
        throw bad(name);
    }

    // A 32-bit integer, signed or unsigned as written.
    std::int64_t readInt(const char* name) const {
        bool ok = false;
        const qlonglong v = text(name).trimmed().toLongLong(&ok, 10);
        if (!ok || v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::uint32_t>::max())
            throw bad(name);
        return v;
    }

    // A missing string reads as empty; a longer one is cut to `maxChars`.
    QString readString(const char* name, int maxChars = -1) const {
        const QVariant v = s_.value(QLatin1String(name));
        QString t = v.typeId() == QMetaType::QStringList ? v.toStringList().join(',') : v.toString();
        if (maxChars >= 0 && t.size() > maxChars) t.truncate(maxChars);
        return t;
    }

    void write(const char* name, const QVariant& v) { s_.setValue(QLatin1String(name), v); }
    void writeBool(const char* name, bool b) { write(name, b ? 1 : 0); }

    bool sync() {
        s_.sync();
        return s_.status() == QSettings::NoError;
    }

private:
    static BadValue bad(const char* name) {
        return BadValue{QStringLiteral("Invalid data type for '%1'").arg(QLatin1String(name))};
    }
    QString text(const char* name) const {
        const QVariant v = s_.value(QLatin1String(name));
        if (!v.isValid() || v.typeId() == QMetaType::QStringList) throw bad(name);
        return v.toString();
    }

    QSettings s_;
};

void show(AppState& st, const QString& text) {
    if (st.host) st.host->message(text, QString(), BoxIcon::None);
}

QString currentFolder(int maxChars = kPathChars) { return QDir::currentPath().left(maxChars); }

std::string cut(const QString& s, int maxChars) { return s.left(maxChars).toStdString(); }

}  // namespace

void WriteDefaultSettings(AppState& st) {
    Store s;
    if (!s.openable()) {
        show(st, " RootDir Registry Error");
        return;
    }
    if (s.has(kRevNo)) return;  // not a first run: every value stays as it is
    const Settings& g = st.settings;
    const QString here = currentFolder(std::numeric_limits<int>::max());
    s.write(kRevNo, g.SoftwareRevision);
    s.writeBool(kSoundOn, g.SoundOn);
    s.writeBool(kIdFlag, g.IdCheckOption);
    s.writeBool(kTestFlag, g.InsertionTest);
    s.writeBool(kMaxMinFlag, g.VerifyMaxMin);
    s.write(kProgBits, g.ProgramSteps);
    s.write(kManufIndex, 0);
    s.write(kDeviceIndex, 0);
    s.write(kLastTotal, g.LastSessionTotal);
    s.write(kGrandTotal, g.GrandTotal);
    s.write(kFileTypeIndex, 1);
    s.write(kFilename, QString::fromLatin1(kDefaultDeviceFile));
    s.write(kPathLoadSave, here);
    s.write(kDefaultDir, here);
    s.writeBool(kOffsetAdd, g.OffsetAdd);
    s.write(kOffset, g.OffsetValue);
    if (!s.sync()) show(st, " RootDir Registry Error");
}

void ReadSettings(AppState& st) {
    Store s;
    if (!s.exists()) return;
    if (!s.openable()) {
        show(st, " Can't open program serial key.");
        return;
    }
    Settings& g = st.settings;
    try {
        const QString heldDir = s.readString(kDefaultDir);
        const QString here = currentFolder();
        g.ProgramDir = here.toStdString();
        // A new revision or a program started from another folder: the store
        // follows the program.
        if (s.readInt(kRevNo) != kCurrentRevision || heldDir != here) {
            s.write(kRevNo, kCurrentRevision);
            s.write(kDefaultDir, here);
        }

        g.SoundOn = s.readBool(kSoundOn);
        g.IdCheckOption = s.readBool(kIdFlag);
        g.InsertionTest = s.readBool(kTestFlag);
        g.VerifyMaxMin = s.readBool(kMaxMinFlag);
        g.ProgramSteps = std::uint8_t(s.readInt(kProgBits));
        g.ManufacturerIndex = std::int32_t(s.readInt(kManufIndex));
        g.DeviceIndex = std::int32_t(s.readInt(kDeviceIndex));
        g.FileTypeIndex = std::int32_t(s.readInt(kFileTypeIndex));
        g.DeviceFileName = cut(s.readString(kFilename), kFileNameChars);

        g.OffsetAdd = s.has(kOffsetAdd) ? s.readBool(kOffsetAdd) : 1;
        g.OffsetValue = s.has(kOffset) ? std::uint32_t(s.readInt(kOffset)) : 0;

        g.LoadSavePath = cut(s.readString(kPathLoadSave), kPathChars);
        const QString defaultDir = s.readString(kDefaultDir);

        g.GrandTotal = s.has(kGrandTotal) ? std::uint32_t(s.readInt(kGrandTotal)) : 0;
        g.LastSessionTotal = s.has(kLastTotal) ? std::uint32_t(s.readInt(kLastTotal)) : 0;

        g.ProgramDir = cut(defaultDir.isEmpty() ? here : defaultDir, kPathChars);
    } catch (const BadValue& e) {
        show(st, e.text);
    }
    s.sync();
}

void SaveSettings(AppState& st) {
    Store s;
    if (!s.exists()) return;
    if (!s.openable()) {
        show(st, " Can't open program serial key.");
        return;
    }
    const Settings& g = st.settings;
    s.writeBool(kSoundOn, g.SoundOn);
    s.writeBool(kIdFlag, g.IdCheckOption);
    s.writeBool(kTestFlag, g.InsertionTest);
    s.writeBool(kMaxMinFlag, g.VerifyMaxMin);
    s.write(kProgBits, g.ProgramSteps);
    s.write(kRevNo, g.SoftwareRevision);
    s.write(kManufIndex, g.ManufacturerIndex);
    s.write(kDeviceIndex, g.DeviceIndex);
    s.write(kGrandTotal, g.GrandTotal);
    s.write(kLastTotal, g.LastSessionTotal);
    s.write(kFileTypeIndex, g.FileTypeIndex);
    s.write(kFilename, QString::fromStdString(g.DeviceFileName).left(kFileNameChars));
    s.write(kPathLoadSave, QString::fromStdString(g.LoadSavePath).left(kPathChars));
    s.write(kDefaultDir, QString::fromStdString(g.ProgramDir).left(kPathChars));
    s.writeBool(kOffsetAdd, g.OffsetAdd);
    s.write(kOffset, g.OffsetValue);
    if (!s.sync()) show(st, " Can't open program serial key.");
}

void SaveRunningTotals(AppState& st) {
    Store s;
    if (!s.exists() || !s.openable()) return;
    s.write(kGrandTotal, st.settings.GrandTotal);
    s.write(kLastTotal, st.settings.LastSessionTotal);
    s.sync();
}

}  // namespace tesmar
