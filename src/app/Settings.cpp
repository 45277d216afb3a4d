#include "app/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <filesystem>
#include <memory>
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

// What the store's file itself holds, looked at apart from Qt's per-process
// cache of parsed files: a second QSettings on an unchanged file is answered
// from that cache without a new parse, so a damaged file looks whole to it.
enum class StoreFile { Missing, Whole, Damaged, Unreadable };

QByteArray fileBytes(const QString& path, bool* ok = nullptr) {
    QFile f(path);
    const bool opened = f.open(QIODevice::ReadOnly);
    const QByteArray bytes = opened ? f.readAll() : QByteArray();
    if (ok) *ok = opened && f.error() == QFileDevice::NoError;
    return bytes;
}

StoreFile examineStoreFile(const QString& path) {
    const QFileInfo fi(path);
    if (!fi.exists() && !fi.isSymLink()) return StoreFile::Missing;
    bool ok = false;
    const QByteArray bytes = fi.isFile() ? fileBytes(path, &ok) : QByteArray();
    if (!ok) return StoreFile::Unreadable;
    // A path Qt has never seen is parsed afresh.
    QTemporaryDir dir;
    QFile probeFile(dir.filePath("probe.conf"));
    if (!dir.isValid() || !probeFile.open(QIODevice::WriteOnly) || probeFile.write(bytes) != bytes.size())
        return StoreFile::Whole;  // cannot tell; Qt's own answer stands
    probeFile.close();
    const QSettings probe(probeFile.fileName(), QSettings::IniFormat);
    return probe.status() == QSettings::FormatError ? StoreFile::Damaged : StoreFile::Whole;
}

void memoLine(AppState& st, const QString& line) {
    if (st.host) st.host->memoAdd(line);
}

class Store {
public:
    explicit Store(AppState& st) : st_(st) {
        open();
        file_ = examineStoreFile(s_->fileName());
        if (file_ != StoreFile::Damaged) return;
        // Qt reads a damaged file as far as it can but will not write over
        // it: the old file is kept beside it, and what could be read becomes
        // the store.
        writable_ = keepOldFile(" Settings file damaged: what could be read is used; the old file is kept as ") &&
                    rewriteWhole();
        if (writable_) {
            open();  // a new object: the old one keeps the parse error of the damaged file
            file_ = StoreFile::Whole;
        } else {
            st_.SettingsFrozen = true;
        }
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
        const QVariant v = s_->value(QLatin1String(name));
        QString t = v.typeId() == QMetaType::QStringList ? v.toStringList().join(',') : v.toString();
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
    QString text(const char* name) const {
        const QVariant v = s_->value(QLatin1String(name));
        if (!v.isValid() || v.typeId() == QMetaType::QStringList) throw bad(name);
        return v.toString();
    }

    void open() {
        s_.reset();
        s_ = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "Halvorn", "Tesmar");
        // Only our own file counts: no system-wide or organisation-wide fallbacks.
        s_->setFallbacksEnabled(false);
    }

    // Replaces the store's file with the values read from it, written whole.
    // The new file is made in a folder of its own beside the store (a name Qt
    // has not seen before) and then moved over the old one.
    bool rewriteWhole() {
        const QString path = s_->fileName();
        const QTemporaryDir dir(QFileInfo(path).absolutePath() + "/.Tesmar-XXXXXX");
        if (!dir.isValid()) return false;
        const QString fresh = dir.filePath("store.conf");
        {
            QSettings whole(fresh, QSettings::IniFormat);
            for (const QString& key : s_->allKeys()) whole.setValue(key, s_->value(key));
            whole.sync();
            if (whole.status() != QSettings::NoError) return false;
        }
        if (!QFileInfo::exists(fresh) && !QFile(fresh).open(QIODevice::WriteOnly)) return false;  // nothing was read
        std::error_code ec;
        std::filesystem::rename(fresh.toStdString(), path.toStdString(), ec);
        return !ec;
    }

    AppState& st_;
    std::unique_ptr<QSettings> s_;
    StoreFile file_ = StoreFile::Missing;
    bool writable_ = true;
};

void show(AppState& st, const QString& text) {
    if (st.host) st.host->message(text, QString(), BoxIcon::None);
}

QString currentFolder(int maxChars = kPathChars) { return QDir::currentPath().left(maxChars); }

std::string cut(const QString& s, int maxChars) { return s.left(maxChars).toStdString(); }

}  // namespace

void WriteDefaultSettings(AppState& st) {
    Store s(st);
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
    Store s(st);
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
