#include "SampleText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstring>

namespace tesmar::test {
namespace {

struct TextLine {
    QString where;
    bool continues = false;
    QStringList tokens;
};

QList<TextLine> textLines(const QString& path, QString* error) {
    QList<TextLine> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = path + ": cannot be opened";
        return out;
    }
    static const QRegularExpression token(R"((?:"[^"]*"|[^\s"])+)");
    int number = 0;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        ++number;
        QString text = QString::fromLatin1(raw);
        text.remove('\r');
        // '#' starts a comment unless it stands in quotes or is the character '#'.
        bool quoted = false;
        for (int i = 0; i < text.size(); ++i) {
            if (text[i] == '"') quoted = !quoted;
            if (text[i] == '#' && !quoted && !(i > 0 && text[i - 1] == '\'')) {
                text.truncate(i);
                break;
            }
        }
        TextLine line;
        line.where = QFileInfo(path).fileName() + ":" + QString::number(number);
        line.continues = text.startsWith(' ') || text.startsWith('\t');
        for (auto it = token.globalMatch(text); it.hasNext();) line.tokens << it.next().captured(0).remove('"');
        if (!line.tokens.isEmpty()) out << line;
    }
    return out;
}

QMap<QString, QString> pairs(const QStringList& tokens, int from) {
    QMap<QString, QString> m;
    for (int i = from; i < tokens.size(); ++i) {
        const int eq = tokens[i].indexOf('=');
        m.insert(tokens[i].left(eq), tokens[i].mid(eq + 1));
    }
    return m;
}

long long number(const QString& s, bool* ok) {
    if (s.size() == 3 && s.startsWith('\'') && s.endsWith('\'')) {
        *ok = true;
        return s[1].toLatin1();
    }
    if (s.startsWith("0x")) return s.mid(2).toLongLong(ok, 16);
    return s.toLongLong(ok, 10);
}

unsigned flags(const QString& s, const QStringList& names, bool* ok) {
    *ok = true;
    if (!s.isEmpty() && s[0].isDigit()) return unsigned(number(s, ok));
    unsigned bits = 0;
    for (const QString& n : s.split(',')) {
        const int bit = names.indexOf(n);
        if (bit < 0 || names[bit].isEmpty()) *ok = false;
        else bits |= 1u << bit;
    }
    return bits;
}

}  // namespace

std::vector<TextManufacturer> readDeviceText(const QString& path, QString* error) {
    std::vector<TextManufacturer> out;
    QMap<QString, QString> defaults;
    TextDevice* open = nullptr;
    bool inDefaults = false;
    for (const TextLine& line : textLines(path, error)) {
        if (line.continues) {
            if (inDefaults) defaults.insert(pairs(line.tokens, 0));
            else if (open) open->fields.insert(pairs(line.tokens, 0));
            continue;
        }
        open = nullptr;
        inDefaults = false;
        const QString& word = line.tokens[0];
        if (word == "defaults") {
            defaults = pairs(line.tokens, 1);
            inDefaults = true;
        } else if (word == "manufacturer") {
            out.push_back({line.tokens.mid(1).join(' '), {}});
        } else if (word == "device" && !out.empty()) {
            TextDevice d;
            d.where = line.where;
            d.name = line.tokens.value(1);
            d.fields = defaults;
            d.fields.insert(pairs(line.tokens, 2));
            out.back().devices.push_back(d);
            open = &out.back().devices.back();
        } else {
            *error = line.where + ": unexpected \"" + word + "\"";
            return {};
        }
    }
    return out;
}

std::array<std::uint8_t, 192> expectedRecord(const TextDevice& d, QString* error) {
    std::array<std::uint8_t, 192> r{};
    const QByteArray name = d.name.toLatin1();
    std::memcpy(r.data() + 2, name.constData(), std::min<qsizetype>(name.size(), 20));
    const int pins = d.fields.value("pins").toInt();
    auto fail = [&](const QString& key) { *error = d.where + ": cannot read " + key + "=" + d.fields.value(key); };
    auto putLe = [&](int at, unsigned long long v, int bytes) {
        for (int i = 0; i < bytes; ++i) r[at + i] = std::uint8_t(v >> (8 * i));
    };
    const QMap<QString, std::pair<int, int>> ints{
        {"alg", {0x00, 1}},    {"last", {0x26, 4}},   {"pulse", {0x2B, 2}},  {"erase", {0x2D, 2}},
        {"fw1", {0x2F, 1}},    {"pins", {0x6A, 1}},   {"maker", {0x6B, 1}},  {"dev", {0x6C, 1}},
        {"dev2", {0x6D, 1}},   {"page", {0x6E, 1}},   {"fw2", {0x6F, 1}},    {"fw3", {0x77, 1}},
        {"blank", {0x78, 1}},  {"pp", {0x79, 1}},     {"pp16", {0x79, 2}},   {"eesize", {0x7A, 2}},
        {"steps", {0xBE, 1}},  {"adapter", {0xBF, 1}}};
    const QMap<QString, int> floats{{"vdd", 0x16}, {"vmax", 0x1A}, {"vmin", 0x1E}, {"vpp", 0x22}, {"epv", 0x7D}};
    const QStringList buttons{"load", "save", "edit", "config", "blank", "read", "prog", "verify", "erase", "", "option"};
    const QStringList options{"insertion", "bittest", "idcheck", "vmaxmin", "memfill", "production", "", "serial"};

    for (auto it = d.fields.begin(); it != d.fields.end(); ++it) {
        const QString& key = it.key();
        const QString& v = it.value();
        bool ok = true;
        if (ints.contains(key)) {
            const long long n = number(v, &ok);
            putLe(ints[key].first, static_cast<unsigned long long>(n), ints[key].second);
        } else if (floats.contains(key)) {
            const float f = v.toFloat(&ok);
            std::uint32_t bits;
            std::memcpy(&bits, &f, 4);
            putLe(floats[key], bits, 4);
        } else if (key == "fam") {
            ok = v.size() == 1;
            r[1] = std::uint8_t(v.toLatin1().at(0));
        } else if (key == "fpga" || key == "mcu") {
            const QByteArray t = v.toLatin1();
            ok = t.size() <= 8;
            std::memcpy(r.data() + (key == "fpga" ? 0xA8 : 0xB0), t.constData(), std::min<qsizetype>(t.size(), 8));
        } else if (key == "buttons") {
            putLe(0xBC, flags(v, buttons, &ok), 2);
        } else if (key == "optmask" || key == "defopt") {
            r[key == "optmask" ? 0xBA : 0xB8] = std::uint8_t(flags(v, options, &ok));
        } else if (key == "cfg") {
            const QStringList bytes = v.split(',');
            r[0x97] = std::uint8_t(bytes.size());
            for (int i = 0; i < bytes.size() && i < 16; ++i) r[0x98 + i] = std::uint8_t(number(bytes[i], &ok));
        } else if (key == "power") {
            const QStringList entries = v.split(',');
            for (int i = 0; i < entries.size() && i < 12; ++i) {
                const QString& e = entries[i];
                if (e == "X") {
                    r[0x31 + i] = 0xC0;
                    continue;
                }
                const int role = QString("GVP").indexOf(e[0]);
                int pin = e.mid(1).toInt(&ok);
                if (pins < 40) pin += 20 - pins / 2;
                ok = ok && role >= 0;
                r[0x31 + i] = std::uint8_t((role << 6) | pin);
            }
        } else {
            ok = false;
        }
        if (!ok) fail(key);
    }
    return r;
}

std::vector<TextGroup> readIcText(const QString& dir, QString* error) {
    std::vector<TextGroup> out;
    const QStringList files = QDir(dir).entryList({"*.txt"}, QDir::Files, QDir::Name);
    for (const QString& file : files) {
        TextIc* ic = nullptr;
        for (const TextLine& line : textLines(QDir(dir).filePath(file), error)) {
            if (line.continues && ic) {
                if (ic->mode == "memory") {
                    const QMap<QString, QString> m = pairs(line.tokens, 0);
                    for (auto it = m.begin(); it != m.end(); ++it)
                        for (const QString& p : it.value().split(',')) ic->pinMap[it.key()] << p.toInt();
                } else {
                    ic->vectors << line.tokens[0];
                }
            } else if (line.tokens[0] == "group") {
                out.push_back({line.tokens.mid(1).join(' '), {}});
                ic = nullptr;
            } else if (line.tokens[0] == "ic" && !out.empty()) {
                const QMap<QString, QString> m = pairs(line.tokens, 2);
                TextIc t;
                t.name = line.tokens.value(1);
                t.pins = m.value("pins").toInt();
                t.gnd = m.value("gnd").toInt();
                t.vcc = m.value("vcc").toInt();
                t.mode = m.value("mode", "logic");
                out.back().ics.push_back(t);
                ic = &out.back().ics.back();
            } else {
                *error = line.where + ": unexpected \"" + line.tokens[0] + "\"";
                return {};
            }
        }
    }
    return out;
}

QMap<QString, int> readFirmwareSizes(const QString& path, QString* error) {
    QMap<QString, int> sizes;
    for (const TextLine& line : textLines(path, error)) {
        if (line.tokens.size() != 3) {
            *error = line.where + ": expected three words";
            return {};
        }
        const QString file = line.tokens[0] == "fpga" ? "usbf/" + line.tokens[1] + ".rbf"
                                                      : "usbm/" + line.tokens[1] + ".bin";
        sizes.insert(file, line.tokens[2].toInt());
    }
    return sizes;
}

}  // namespace tesmar::test
