#include "app/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>

#include "app/StoreFormat.h"
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

enum class Kind { Bool, Int, Text };
struct ValueName {
    const char* name;
    Kind kind;
};
// The sixteen values in the order the first run writes them.
constexpr ValueName kValues[] = {
    {kRevNo, Kind::Int},       {kSoundOn, Kind::Bool},       {kIdFlag, Kind::Bool},     {kTestFlag, Kind::Bool},
    {kMaxMinFlag, Kind::Bool}, {kProgBits, Kind::Int},       {kManufIndex, Kind::Int},  {kDeviceIndex, Kind::Int},
    {kLastTotal, Kind::Int},   {kGrandTotal, Kind::Int},     {kFileTypeIndex, Kind::Int}, {kFilename, Kind::Text},
    {kPathLoadSave, Kind::Text}, {kDefaultDir, Kind::Text},  {kOffsetAdd, Kind::Bool},  {kOffset, Kind::Int},
};

// The store's file lists the values in this order too.
constexpr bool sameOrderAsTheFile() {
    for (std::size_t i = 0; i < std::size(kValues); ++i)
        if (std::string_view(kValues[i].name) != store::kValueNames[i]) return false;
    return std::size(kValues) == std::size(store::kValueNames);
}
static_assert(sameOrderAsTheFile());

QString currentFolder(int maxChars) { return QDir::currentPath().left(maxChars); }

// What a first run writes for each value, in kValues' order: the options and
// totals as they stand, the first device file, both folders the current one.
QVariantList firstRunValues(const Settings& g) {
    const QString here = currentFolder(std::numeric_limits<int>::max());
    return {g.SoftwareRevision, g.SoundOn ? 1 : 0, g.IdCheckOption ? 1 : 0, g.InsertionTest ? 1 : 0,
            g.VerifyMaxMin ? 1 : 0, g.ProgramSteps, 0, 0, g.LastSessionTotal, g.GrandTotal, 1,
            QString::fromLatin1(kDefaultDeviceFile), here, here, g.OffsetAdd ? 1 : 0, g.OffsetValue};
}

// A value as its type reads it (below); nothing when it is missing or not of
// the type.
std::optional<bool> boolOf(const QVariant& v) {
    const QString t = v.toString().trimmed().toLower();
    if (v.isValid() && (t == "1" || t == "true")) return true;
    if (v.isValid() && (t == "0" || t == "false")) return false;
    return std::nullopt;
}
// A 32-bit integer, signed or unsigned as written.
std::optional<std::int64_t> intOf(const QVariant& v) {
    bool ok = false;
    const qlonglong n = v.toString().trimmed().toLongLong(&ok, 10);
    if (!v.isValid() || !ok || n < std::numeric_limits<std::int32_t>::min() ||
        n > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    return n;
}
// Whether a value found in a damaged file can be taken as it is. Any text
// the reader took is one: it was spelled as the program writes texts.
bool usable(Kind kind, const QVariant& v) {
    switch (kind) {
    case Kind::Bool: return boolOf(v).has_value();
    case Kind::Int: return intOf(v).has_value();
    case Kind::Text: return v.isValid();
    }
    return false;
}

// A value that is missing or cannot be read as its type; the routine that
// meets it shows the text and skips the rest of its values.
struct BadValue {
    QString text;
};

// What the store's file holds, as the store's reader finds it in the bytes
// on disk. QSettings answers a second object on an unchanged file from its
// per-process cache, without reading the file again, so the verdict is
// never taken from it.
enum class StoreFile { Missing, Whole, Damaged, Unreadable };

QByteArray fileBytes(const QString& path, bool* ok = nullptr) {
    QFile f(path);
    const bool opened = f.open(QIODevice::ReadOnly);
    const QByteArray bytes = opened ? f.readAll() : QByteArray();
    if (ok) *ok = opened && f.error() == QFileDevice::NoError;
    return bytes;
}

StoreFile examineStoreFile(const QString& path, store::Reading* reading) {
    const QFileInfo fi(path);
    if (!fi.exists() && !fi.isSymLink()) return StoreFile::Missing;
    bool ok = false;
    const QByteArray bytes = fi.isFile() ? fileBytes(path, &ok) : QByteArray();
    if (!ok) return StoreFile::Unreadable;
    *reading = store::read(bytes);
    return reading->damage.isEmpty() ? StoreFile::Whole : StoreFile::Damaged;
}

void memoLine(AppState& st, const QString& line) {
    if (st.host) st.host->memoAdd(line);
}

class Store {
public:
    explicit Store(AppState& st) : st_(st) {
        open();
        store::Reading found;
        file_ = examineStoreFile(s_->fileName(), &found);
        if (file_ != StoreFile::Damaged) return;
        // The old file is kept beside it, and what could be read of it, with
        // the first-run value for the rest, becomes the store.
        writable_ = keepOldFile(" Settings file damaged: what could be read is used; the old file is kept as ") &&
                    repair(found.values);
        if (writable_)
            file_ = StoreFile::Whole;
        else
            st_.SettingsFrozen = true;
    }

    // A store that is there but cannot be read still exists: opening it then
    // fails with a message instead of passing for a first run.
    bool exists() const { return file_ == StoreFile::Unreadable || file_ == StoreFile::Damaged || !s_->allKeys().isEmpty(); }
    // Open without creating: the store must be readable and writable.
    bool openable() const {
        return file_ != StoreFile::Unreadable && writable_ && !st_.SettingsFrozen &&
               s_->status() == QSettings::NoError && s_->isWritable();
    }
    bool has(const char* name) const { return s_->contains(QLatin1String(name)); }

    // Before values that were not read from the store may be written over
    // it: a copy of the old file beside it, named in the log once per run.
    // Without a copy the store is left alone for the rest of the run.
    bool keepOldFile(const char* why) {
        if (!st_.SettingsKeptAs.empty()) return true;
        const QString path = s_->fileName();
        bool ok = false;
        const QByteArray old = fileBytes(path, &ok);
        QString kept;
        for (int n = 1; ok && kept.isEmpty() && n < 100; ++n) {
            const QString name = path + ".damaged" + (n > 1 ? QString::number(n) : QString());
            if (!QFileInfo::exists(name)) {
                if (!QFile::copy(path, name)) break;
                kept = name;
            } else if (fileBytes(name) == old) {
                kept = name;  // kept by an earlier start
            }
        }
        if (kept.isEmpty()) {
            st_.SettingsFrozen = true;
            memoLine(st_, " Settings store not read in full and no copy of it could be kept: it is left as it is");
            return false;
        }
        st_.SettingsKeptAs = kept.toStdString();
        memoLine(st_, why + kept);
        return true;
    }

    bool readBool(const char* name) const {
        const std::optional<bool> b = boolOf(s_->value(QLatin1String(name)));
        if (!b) throw bad(name);
        return *b;
    }

    std::int64_t readInt(const char* name) const {
        const std::optional<std::int64_t> n = intOf(s_->value(QLatin1String(name)));
        if (!n) throw bad(name);
        return *n;
    }

    // A missing string reads as empty; a longer one is cut to `maxChars`.
    QString readString(const char* name, int maxChars = -1) const {
        QString t = s_->value(QLatin1String(name)).toString();
        if (maxChars >= 0 && t.size() > maxChars) t.truncate(maxChars);
        return t;
    }

    void write(const char* name, const QVariant& v) { s_->setValue(QLatin1String(name), v); }
    void writeBool(const char* name, bool b) { write(name, b ? 1 : 0); }

    bool sync() {
        s_->sync();
        return s_->status() == QSettings::NoError;
    }

private:
    static BadValue bad(const char* name) {
        return BadValue{QStringLiteral("Invalid data type for '%1'").arg(QLatin1String(name))};
    }

    void open() {
        s_.reset();
        s_ = std::make_unique<QSettings>(store::format(), QSettings::UserScope, "Halvorn", "Tesmar");
        // Only our own file counts: no system-wide or organisation-wide fallbacks.
        s_->setFallbacksEnabled(false);
    }

    // Writes the sixteen values over the damaged file: each one found in it
    // that reads as its type, the first-run value for the rest.
    bool repair(const QMap<QString, QString>& found) {
        open();  // a new object: the one that met the damaged file keeps its format error
        const QVariantList firstRun = firstRunValues(st_.settings);
        for (std::size_t i = 0; i < std::size(kValues); ++i) {
            const auto it = found.find(QLatin1String(kValues[i].name));
            const QVariant value = it != found.end() ? QVariant(*it) : QVariant();
            write(kValues[i].name, usable(kValues[i].kind, value) ? value : firstRun[i]);
        }
        return sync();
    }

    AppState& st_;
    std::unique_ptr<QSettings> s_;
    StoreFile file_ = StoreFile::Missing;
    bool writable_ = true;
};

void show(AppState& st, const QString& text) {
    if (st.host) st.host->message(text, QString(), BoxIcon::None);
}


std::string cut(const QString& s, int maxChars) { return s.left(maxChars).toStdString(); }

}  // namespace

void WriteDefaultSettings(AppState& st) {
    Store s(st);
    if (!s.openable()) {
        show(st, " RootDir Registry Error");
        return;
    }
    if (s.has(kRevNo)) return;  // not a first run: every value stays as it is
    const QVariantList firstRun = firstRunValues(st.settings);
    for (std::size_t i = 0; i < std::size(kValues); ++i) s.write(kValues[i].name, firstRun[i]);
    if (!s.sync()) show(st, " RootDir Registry Error");
}

void ReadSettings(AppState& st) {
    Store s(st);
    if (!s.exists()) return;
    if (!s.openable()) {
        show(st, " Can't open program serial key.");
        return;
    }
    Settings& g = st.settings;
    try {
        const QString heldDir = s.readString(kDefaultDir);
        const QString here = currentFolder(kPathChars);
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
        // The values after this one keep their start values, and the save at
        // the end would write those over the ones still in the store.
        s.keepOldFile(" Settings not read in full; the old file is kept as ");
    }
    s.sync();
}

void SaveSettings(AppState& st) {
    Store s(st);
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
    Store s(st);
    if (!s.exists() || !s.openable()) return;
    s.write(kGrandTotal, st.settings.GrandTotal);
    s.write(kLastTotal, st.settings.LastSessionTotal);
    s.sync();
}

}  // namespace tesmar
