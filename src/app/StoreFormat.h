#pragma once
// The settings store's file (Halvorn/Tesmar.conf) in a form of the program's
// own, read and written for QSettings through its hook for file formats.
//
// The file holds the program's sixteen values and nothing else:
//
//     # Tesmar settings
//     RevNo=1052
//     ...
//     Offset=0
//     # end
//
// one line "Name=text" per value, in a fixed order. Numbers are written in
// decimal; in a text, '\' is written "\\" and each control byte (0x00-0x1F,
// 0x7F) "\xHH" with two upper-case hex digits; every other byte is the
// text's UTF-8 as it is. Every value is read back as a text: nothing in the
// file is ever rebuilt as data. The last line ends the store, so a file cut
// anywhere is told from a whole one.
//
// The reader also takes the file as the program wrote it before the store
// had this form (Qt 6.4's INI writer over the same sixteen values), so an
// earlier store reads the same; the next save writes it in this form.
#include <QByteArray>
#include <QByteArrayView>
#include <QMap>
#include <QSettings>
#include <QString>
#include <optional>

namespace tesmar::store {

// The sixteen value names, in the order the file lists them.
inline constexpr const char* kValueNames[] = {
    "RevNo",       "SoundON",      "Id_flag",     "Test_flag",  "MaxMin_flag",
    "ProgBits",    "Manuf_index",  "Device_index", "Total Programmed Last Time",
    "Grand Total Programmed",      "File Type index", "Filename", "PathLoadSave",
    "DefaultDir",  "OffsetAdd",    "Offset",
};

struct Reading {
    // Why these bytes are not a store the program wrote; empty when they are
    // (an empty file, or one of blanks only, is a new store).
    QString damage;
    // Every value that could be read, by name. In a damaged file, those on a
    // whole line spelled as the program writes them; the first of a name.
    QMap<QString, QString> values;
};

Reading read(QByteArrayView bytes);

// The file for `values`; nothing when one is not the program's: a name that
// is not one of the sixteen, or a value that is neither a text nor an
// integer.
std::optional<QByteArray> write(const QSettings::SettingsMap& values);

// The store's format: registered with QSettings on the first call (as "conf"
// files, in the folders QSettings has for the INI format, so that
// QSettings::setPath for IniFormat moves the store too) and made the default
// format, so that a QSettings made with the application's names alone
// reaches the store through it as well.
QSettings::Format format();

}  // namespace tesmar::store
