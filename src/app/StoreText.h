// The settings store's file as Qt's INI reader takes it apart: where each
// entry (a logical line) lies, and the text or list of texts its value
// becomes. Qt rebuilds a value element that starts with a single '@'
// ("@Variant(...)", "@ByteArray(...)", ...) from the data in it, and takes
// the sizes in that data on trust: one line can ask for gigabytes. The
// program writes only numbers and texts (a text's own leading '@' is written
// "@@"), so such a value is never the program's, and it must be found here,
// before Qt's reader sees the file. The reader decides what the value's
// text is, so this follows its reading exactly: quotes that span lines,
// a backslash that joins lines or drops the character after it, numeric
// escapes (16 bits, higher digits wrap), a ';' that starts a comment.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <vector>

namespace tesmar::storetext {

struct Entry {
    qsizetype start = 0;   // first byte of the logical line
    qsizetype length = 0;  // up to, not including, its end
    qsizetype value = 0;   // first byte after '='
};

// The key = value entries of `bytes` (section headers, comments and lines
// without '=' left out), in file order.
std::vector<Entry> entries(const QByteArray& bytes);

// The texts the entry's value unescapes to; `*isList` whether Qt takes it
// as a list (it holds an unquoted ',').
QStringList valueTexts(const QByteArray& bytes, const Entry& e, bool* isList = nullptr);

// Whether Qt rebuilds any of these texts from data: one starts with '@'
// that is not "@@".
bool rebuiltFromData(const QStringList& texts);

// The texts as Qt hands them out when none is rebuilt: "@@" read as '@'.
QStringList plainTexts(QStringList texts);

// `bytes` without the entries whose value Qt would rebuild from data.
QByteArray withoutRebuiltValues(const QByteArray& bytes);

}  // namespace tesmar::storetext
