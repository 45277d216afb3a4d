#include "app/StoreFormat.h"

#include <QIODevice>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QVariant>
#include <cstdint>

namespace tesmar::store {

namespace {

constexpr QByteArrayView kHead = "# Tesmar settings";
constexpr QByteArrayView kEnd = "# end";
constexpr QByteArrayView kEarlierHead = "[General]";
constexpr int kValueCount = int(std::size(kValueNames));

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes UTF-8 as it stands: a byte-order mark is a character like any
// other, a bad sequence becomes U+FFFD (and so fails the spelling check).
QString fromUtf8(QByteArrayView bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return utf8(bytes);
}

// ---- the program's form -------------------------------------------------

QByteArray spelled(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    for (const char c : utf8) {
        const auto b = std::uint8_t(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (b < 0x20 || b == 0x7F) {
            out += "\\x";
            out += "0123456789ABCDEF"[b >> 4];
            out += "0123456789ABCDEF"[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

// The text a value spells, when the writer spells that text so and no other way.
std::optional<QString> text(QByteArrayView v) {
    QByteArray utf8;
    utf8.reserve(v.size());
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v[i] != '\\') {
            utf8 += v[i];
        } else if (i + 1 < v.size() && v[i + 1] == '\\') {
            utf8 += '\\';
            ++i;
        } else if (i + 3 < v.size() && v[i + 1] == 'x' && hexValue(v[i + 2]) >= 0 && hexValue(v[i + 3]) >= 0) {
            utf8 += char(hexValue(v[i + 2]) * 16 + hexValue(v[i + 3]));
            i += 3;
        } else {
            return std::nullopt;
        }
    }
    QString t = fromUtf8(utf8);
    if (spelled(t) != v) return std::nullopt;
    return t;
}

// ---- the form of the earlier program (Qt 6.4's INI writer) -----------------

QByteArray earlierName(const char* name) { return QByteArray(name).replace(" ", "%20"); }

bool isHexDigit(char16_t c) { return c < 0x80 && hexValue(char(c)) >= 0; }

// A text as that writer wrote it: a text holding NUL as "@String(...)", one
// starting with '@' with a second '@'; then C-like escapes, a hex escape for
// the other control characters and for hex digits right after a numeric
// escape, the rest in UTF-8, and quotes around it all when it holds ';', ','
// or '=' or starts or ends with a blank.
QByteArray earlierSpelled(const QString& text) {
    QString t = text;
    if (t.contains(QChar(u'\0')))
        t = QStringLiteral("@String(") + t + u')';
    else if (t.startsWith(u'@'))
        t.prepend(u'@');
    QStringEncoder utf8(QStringEncoder::Utf8);
    QByteArray out;
    bool quoted = false;
    bool escapeHexDigit = false;
    for (const QChar qc : t) {
        const char16_t c = qc.unicode();
        if (c == ';' || c == ',' || c == '=') quoted = true;
        if (escapeHexDigit && isHexDigit(c)) {
            out += "\\x" + QByteArray::number(c, 16);
            continue;
        }
        escapeHexDigit = false;
        switch (c) {
        case u'\0': out += "\\0"; escapeHexDigit = true; break;
        case u'\a': out += "\\a"; break;
        case u'\b': out += "\\b"; break;
        case u'\f': out += "\\f"; break;
        case u'\n': out += "\\n"; break;
        case u'\r': out += "\\r"; break;
        case u'\t': out += "\\t"; break;
        case u'\v': out += "\\v"; break;
        case u'"':
        case u'\\': out += '\\'; out += char(c); break;
        default:
            if (c <= 0x1F) {
                out += "\\x" + QByteArray::number(c, 16);
                escapeHexDigit = true;
            } else {
                out += utf8(QStringView(&qc, 1));
            }
        }
    }
    if (quoted || out.startsWith(' ') || out.endsWith(' ')) out = '"' + out + '"';
    return out;
}

std::optional<QString> earlierText(QByteArrayView v) {
    QByteArrayView body = v;
    if (body.startsWith('"')) {
        if (body.size() < 2 || !body.endsWith('"')) return std::nullopt;
        body = body.sliced(1, body.size() - 2);
    }
    QString t;
    QByteArray plain;
    for (qsizetype i = 0; i < body.size(); ++i) {
        if (body[i] != '\\') {
            plain += body[i];
            continue;
        }
        t += fromUtf8(plain);
        plain.clear();
        if (++i == body.size()) return std::nullopt;
        switch (body[i]) {
        case '0': t += QChar(u'\0'); break;
        case 'a': t += u'\a'; break;
        case 'b': t += u'\b'; break;
        case 'f': t += u'\f'; break;
        case 'n': t += u'\n'; break;
        case 'r': t += u'\r'; break;
        case 't': t += u'\t'; break;
        case 'v': t += u'\v'; break;
        case '"': t += u'"'; break;
        case '\\': t += u'\\'; break;
        case 'x': {
            // One or two digits: a control character or a hex digit's code.
            int code = 0, digits = 0;
            for (; digits < 2 && i + 1 < body.size() && hexValue(body[i + 1]) >= 0; ++digits) code = code * 16 + hexValue(body[++i]);
            if (digits == 0) return std::nullopt;
            t += QChar(char16_t(code));
            break;
        }
        default: return std::nullopt;
        }
    }
    t += fromUtf8(plain);
    if (t.startsWith(QLatin1String("@String(")) && t.endsWith(u')'))
        t = t.sliced(8).chopped(1);
    else if (t.startsWith(QLatin1String("@@")))
        t.remove(0, 1);
    if (earlierSpelled(t) != v) return std::nullopt;
    return t;
}

// ---- the file ---------------------------------------------------------------

enum class Form { Ours, Earlier, Unknown };

// The value a line holds: its name's place in kValueNames and its text.
struct Line {
    int index = -1;
    QString text;
};

std::optional<Line> valueLine(QByteArrayView line, bool earlier) {
    const qsizetype eq = line.indexOf('=');
    if (eq < 0) return std::nullopt;
    const QByteArrayView name = line.first(eq), value = line.sliced(eq + 1);
    for (int i = 0; i < kValueCount; ++i) {
        if (earlier ? name != earlierName(kValueNames[i]) : name != kValueNames[i]) continue;
        std::optional<QString> t = earlier ? earlierText(value) : text(value);
        if (!t) return std::nullopt;
        return Line{i, *t};
    }
    return std::nullopt;
}

}  // namespace

Reading read(QByteArrayView bytes) {
    Reading r;
    if (bytes.trimmed().isEmpty()) return r;
    auto damaged = [&r](const QString& why) {
        if (r.damage.isEmpty()) r.damage = why;
    };
    // Only lines with their end are read: the last one of a file cut short
    // lost the end of its value.
    QList<QByteArrayView> lines;
    qsizetype at = 0;
    for (qsizetype end; (end = bytes.indexOf('\n', at)) >= 0; at = end + 1) lines << bytes.sliced(at, end - at);
    if (at < bytes.size()) damaged(QStringLiteral("cut short: the last line has no end"));

    Form form = Form::Unknown;
    qsizetype first = 0;
    if (!lines.isEmpty() && lines.front() == kHead) {
        form = Form::Ours;
        first = 1;
    } else if (!lines.isEmpty() && lines.front() == kEarlierHead) {
        form = Form::Earlier;
        first = 1;
    } else {
        damaged(QStringLiteral("the first line is not the store's"));
    }

    bool ended = false;
    int lastIndex = -1;
    for (qsizetype n = first; n < lines.size(); ++n) {
        const QString where = QStringLiteral("line %1: ").arg(n + 1);
        if (ended) damaged(where + QStringLiteral("after the end"));
        if (form == Form::Ours && lines[n] == kEnd) {
            ended = true;
            continue;
        }
        // A file whose first line is lost is read as the program writes it.
        const std::optional<Line> line = valueLine(lines[n], form == Form::Earlier);
        if (!line) {
            damaged(where + QStringLiteral("not a value as the program writes it"));
            continue;
        }
        const QString name = QLatin1String(kValueNames[line->index]);
        if (r.values.contains(name)) {
            damaged(where + name + QStringLiteral(" a second time"));
            continue;
        }
        if (form == Form::Ours && line->index < lastIndex) damaged(where + name + QStringLiteral(" out of order"));
        lastIndex = line->index;
        r.values.insert(name, line->text);
    }
    if (form == Form::Ours && !ended) damaged(QStringLiteral("cut short: no end line"));
    // The earlier program wrote all sixteen values every time.
    if (form == Form::Earlier && r.values.size() != kValueCount) damaged(QStringLiteral("values missing"));
    // The first run writes every value at once, "RevNo" first: a store that
    // holds any value holds it.
    if (!r.values.isEmpty() && !r.values.contains(QLatin1String(kValueNames[0]))) damaged(QStringLiteral("no RevNo"));
    return r;
}

std::optional<QByteArray> write(const QSettings::SettingsMap& values) {
    QByteArray out = kHead.toByteArray() + '\n';
    int written = 0;
    for (const char* name : kValueNames) {
        const auto it = values.find(QLatin1String(name));
        if (it == values.end()) continue;
        QString t;
        switch (it->typeId()) {
        case QMetaType::QString: t = it->toString(); break;
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::SChar: t = QString::number(it->toLongLong()); break;
        case QMetaType::UInt:
        case QMetaType::UShort:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
        case QMetaType::UChar: t = QString::number(it->toULongLong()); break;
        default: return std::nullopt;
        }
        out += name;
        out += '=';
        out += spelled(t);
        out += '\n';
        ++written;
    }
    if (written != values.size()) return std::nullopt;
    return out + kEnd.toByteArray() + '\n';
}

namespace {

bool readDevice(QIODevice& device, QSettings::SettingsMap& map) {
    const Reading r = read(device.readAll());
    for (auto it = r.values.begin(); it != r.values.end(); ++it) map.insert(it.key(), it.value());
    return r.damage.isEmpty();
}

bool writeDevice(QIODevice& device, const QSettings::SettingsMap& map) {
    const std::optional<QByteArray> bytes = write(map);
    return bytes && device.write(*bytes) == bytes->size();
}

}  // namespace

QSettings::Format format() {
    static const QSettings::Format registered = [] {
        const QSettings::Format f = QSettings::registerFormat(QStringLiteral("conf"), readDevice, writeDevice);
        QSettings::setDefaultFormat(f);
        return f;
    }();
    return registered;
}

}  // namespace tesmar::store
