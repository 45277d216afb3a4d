#include "app/StoreText.h"

#include <QStringDecoder>
#include <cstdint>

namespace tesmar::storetext {

namespace {

enum : std::uint8_t { Space = 1, Special = 2 };

std::uint8_t traits(char c) {
    switch (c) {
    case '\t':
    case ' ': return Space;
    case '\n':
    case '\r': return Space | Special;
    case '"':
    case ';':
    case '=':
    case '\\': return Special;
    default: return 0;
    }
}

// One logical line from `pos`: leading blanks and line ends skipped, a ';'
// at its start a comment to the end of the physical line, line ends inside
// quotes or after a backslash part of it, an unquoted ';' its end. `equals`
// is the first unquoted '=' or -1.
bool readLine(const QByteArray& d, qsizetype& pos, qsizetype& start, qsizetype& length, qsizetype& equals) {
    const qsizetype n = d.size();
    bool inQuotes = false;
    equals = -1;
    start = pos;
    while (start < n && (traits(d[start]) & Space)) ++start;
    qsizetype i = start;
    while (i < n) {
        const char ch = d[i];
        if (!(traits(ch) & Special)) {
            ++i;
            continue;
        }
        ++i;
        if (ch == '=') {
            if (!inQuotes && equals == -1) equals = i - 1;
        } else if (ch == '\n' || ch == '\r') {
            if (i == start + 1) {
                ++start;
            } else if (!inQuotes) {
                --i;
                break;
            }
        } else if (ch == '\\') {
            if (i < n) {
                const char next = d[i++];
                if (i < n) {
                    const char after = d[i];
                    if ((next == '\n' && after == '\r') || (next == '\r' && after == '\n')) ++i;
                }
            }
        } else if (ch == '"') {
            inQuotes = !inQuotes;
        } else {  // ';'
            if (i == start + 1) {
                while (i < n && d[i] != '\n' && d[i] != '\r') ++i;
                while (i < n && (traits(d[i]) & Space)) ++i;
                start = i;
            } else if (!inQuotes) {
                --i;
                break;
            }
        }
    }
    pos = i;
    length = i - start;
    return length > 0;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char simpleEscape(char c) {
    switch (c) {
    case 'a': return '\a';
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'v': return '\v';
    case '"':
    case '?':
    case '\'':
    case '\\': return c;
    default: return 0;
    }
}

void chopBlanks(QString& s, qsizetype limit) {
    while (s.size() > limit && (s.back() == u' ' || s.back() == u'\t')) s.chop(1);
}

}  // namespace

std::vector<Entry> entries(const QByteArray& bytes) {
    std::vector<Entry> out;
    qsizetype pos = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    qsizetype start = 0, length = 0, equals = -1;
    while (readLine(bytes, pos, start, length, equals)) {
        if (bytes[start] == '[' || equals < 0) continue;
        out.push_back(Entry{start, length, equals + 1});
    }
    return out;
}

QStringList valueTexts(const QByteArray& d, const Entry& e, bool* isList) {
    const qsizetype to = e.start + e.length;
    QString s;
    QStringList list;
    bool listed = false, inQuotes = false, quoted = false;
    // One decoder over the whole value, as Qt's reader has: a byte sequence
    // cut by an escape, a quote or a ',' is finished (or spoiled) by the next
    // run of plain bytes, a byte-order mark is dropped only at the value's
    // start, and what is left unfinished at the end is dropped.
    QStringDecoder utf8(QStringDecoder::Utf8);
    qsizetype i = e.value;
    qsizetype chopLimit = 0;
    auto skipBlanks = [&] {
        while (i < to && (d[i] == ' ' || d[i] == '\t')) ++i;
        chopLimit = s.size();
    };
    // Whether the value ended in an escape: then its trailing blanks stay.
    bool endedInEscape = false;
    skipBlanks();
    while (i < to && !endedInEscape) {
        const char c = d[i];
        if (c == '\\') {
            if (++i >= to) {
                endedInEscape = true;
                break;
            }
            const char esc = d[i++];
            if (const char plain = simpleEscape(esc)) {
                s += QLatin1Char(plain);
                chopLimit = s.size();
                continue;
            }
            if (esc == 'x' || (esc >= '0' && esc <= '7')) {
                const int base = esc == 'x' ? 16 : 8;
                char16_t v = esc == 'x' ? 0 : char16_t(esc - '0');
                if (esc == 'x') {
                    if (i >= to) {
                        endedInEscape = true;
                        break;
                    }
                    if (hexDigit(d[i]) < 0) {  // "\x" and no digit: nothing
                        chopLimit = s.size();
                        continue;
                    }
                }
                for (;;) {
                    if (i >= to) {
                        s += QChar(v);
                        endedInEscape = true;
                        break;
                    }
                    const int digit = base == 16 ? hexDigit(d[i]) : (d[i] >= '0' && d[i] <= '7' ? d[i] - '0' : -1);
                    if (digit < 0) {
                        s += QChar(v);
                        chopLimit = s.size();
                        break;
                    }
                    v = char16_t((v << (base == 16 ? 4 : 3)) + digit);
                    ++i;
                }
                continue;
            }
            if (esc == '\n' || esc == '\r') {
                if (i < to && (d[i] == '\n' || d[i] == '\r') && d[i] != esc) ++i;
            }
            // Any other character after a backslash is dropped with it.
            chopLimit = s.size();
            continue;
        }
        if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) skipBlanks();
            continue;
        }
        if (c == ',' && !inQuotes) {
            if (!quoted) chopBlanks(s, chopLimit);
            listed = true;
            list.append(s);
            s.clear();
            quoted = false;
            ++i;
            skipBlanks();
            continue;
        }
        qsizetype j = i + 1;
        while (j < to && d[j] != '\\' && d[j] != '"' && d[j] != ',') ++j;
        s += utf8(QByteArrayView(d.constData() + i, j - i));
        i = j;
    }
    if (!endedInEscape && !quoted) chopBlanks(s, chopLimit);
    if (isList) *isList = listed;
    list.append(s);
    return list;
}

bool rebuiltFromData(const QStringList& texts) {
    for (const QString& t : texts)
        if (t.startsWith(u'@') && !t.startsWith(QLatin1String("@@"))) return true;
    return false;
}

QStringList plainTexts(QStringList texts) {
    for (QString& t : texts)
        if (t.startsWith(QLatin1String("@@"))) t.remove(0, 1);
    return texts;
}

QByteArray withoutRebuiltValues(const QByteArray& bytes) {
    // Taking an entry out leaves the reading of the rest as it was; the
    // passes repeat until nothing is taken, so that is not left to trust.
    QByteArray now = bytes;
    for (;;) {
        QByteArray out;
        qsizetype from = 0;
        bool taken = false;
        for (const Entry& e : entries(now)) {
            if (!rebuiltFromData(valueTexts(now, e))) continue;
            out += now.mid(from, e.start - from);
            from = e.start + e.length;
            taken = true;
        }
        if (!taken) return now;
        out += now.mid(from);
        now = out;
    }
}

}  // namespace tesmar::storetext
