#include "support/PartHeaders.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QTextStream>
#include <gtest/gtest.h>

#include <mutex>

namespace tesmar::test {
namespace {

const char* const kGputilsFolder = "/usr/share/gputils";

// "16F877A TQFP44" -> "16f877a", "ATmega48/V" -> "atmega48".
std::string basePartName(const std::string& deviceName) {
    std::string out;
    for (char c : deviceName) {
        if (c == ' ' || c == '/' || c == '-') break;
        out += char(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

bool readLines(const QString& path, QStringList& lines) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    QTextStream in(&f);
    while (!in.atEnd()) lines << in.readLine();
    return true;
}

// Each part read once per program: the header checks visit a part in several
// tests, and avr-gcc costs a process per part.
template <class Part>
std::optional<Part> readOnce(const std::string& deviceName, std::optional<Part> (*read)(const std::string&)) {
    static std::mutex lock;
    static std::map<std::string, std::optional<Part>> parts;
    const std::string base = basePartName(deviceName);
    const std::lock_guard held(lock);
    auto it = parts.find(base);
    if (it == parts.end()) it = parts.emplace(base, read(base)).first;
    return it->second;
}

}  // namespace

// ---- gputils ---------------------------------------------------------------

const char* const kPic18ConfigByteNames[14] = {"1H", "1L", "2H", "2L", "3H", "3L", "4H",
                                           "4L", "5H", "5L", "6H", "6L", "7H", "7L"};

int pic18ConfigByte(const std::string& symbol) {
    for (int k = 0; k < 14; ++k) {
        const std::string suffix = std::string("_") + kPic18ConfigByteNames[k];
        if (symbol.size() > suffix.size() && symbol.compare(symbol.size() - suffix.size(), suffix.size(), suffix) == 0)
            return k;
    }
    return -1;
}

std::vector<std::uint32_t> hexNumbersIn(const std::string& text) {
    static const QRegularExpression hex(R"(\b(?:0x)?([0-9A-Fa-f]{3,4})h?\b)");
    std::vector<std::uint32_t> out;
    auto it = hex.globalMatch(QString::fromStdString(text));
    while (it.hasNext()) out.push_back(it.next().captured(1).toUInt(nullptr, 16));
    return out;
}

std::uint32_t GputilsPart::value(const std::string& symbol) const {
    const auto it = symbols.find(symbol);
    if (it == symbols.end()) {
        ADD_FAILURE() << "gputils header has no symbol " << symbol;
        return 0;
    }
    return it->second;
}

std::optional<std::vector<std::string>> GputilsPart::settingSymbols(const std::string& expr,
                                                                    std::string* missing) const {
    std::vector<std::string> out;
    for (const QString& term : QString::fromStdString(expr).split('&')) {
        bool found = false;
        for (const QString& alt : term.trimmed().split('|')) {
            if (!has(alt.toStdString())) continue;
            out.push_back(alt.toStdString());
            found = true;
            break;
        }
        if (!found) {
            if (missing) *missing = term.trimmed().toStdString();
            return std::nullopt;
        }
    }
    return out;
}

std::string GputilsPart::writeProtectFor(const std::string& caption) const {
    const auto range = hexNumbersIn(caption);
    if (range.empty()) return QString::fromStdString(caption).contains("off", Qt::CaseInsensitive) ? "_WRT_OFF" : "";
    for (const auto& [name, word] : configWord) {
        if (name.rfind("_WRT_", 0) != 0 || !comments.count(name)) continue;
        auto named = hexNumbersIn(comments.at(name));
        if (named.size() >= 2) named.resize(2);
        if (named == range) return name;
    }
    return "";
}

const GputilsPart::Page* GputilsPart::page(const std::string& name) const {
    for (const Page& p : pages)
        if (p.name == name) return &p;
    return nullptr;
}

std::uint32_t GputilsPart::programEnd() const {
    std::uint32_t end = 0;
    for (const Page& p : pages)
        if (!p.isProtected) end = std::max(end, p.end + 1);
    return end;
}

std::uint32_t GputilsPart::eepromBytes() const {
    const Page* p = page("eedata");
    return p ? p->end - p->start + 1 : 0;
}

std::uint32_t GputilsPart::fieldMask(const std::string& prefix, const std::string& suffix,
                                     std::uint32_t width) const {
    std::uint32_t mask = 0;
    for (const auto& [name, v] : symbols) {
        if (name.size() <= prefix.size() + suffix.size()) continue;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        if (name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) continue;
        mask |= ~v & width;
    }
    return mask;
}

std::set<std::uint8_t> GputilsPart::ConfigField::values() const {
    std::set<std::uint8_t> out;
    for (const auto& [setting, v] : settings) out.insert(std::uint8_t(v & mask));
    return out;
}

std::vector<GputilsPart::ConfigField> GputilsPart::configFields(const std::string& byte) const {
    const std::string suffix = "_" + byte;
    std::map<std::string, ConfigField> fields;
    for (const auto& [name, v] : symbols) {
        if (v > 0xFF || name.size() <= suffix.size() + 1 || name[0] != '_') continue;
        if (name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) continue;
        const std::string core = name.substr(1, name.size() - suffix.size() - 1);
        const auto cut = core.find('_');
        if (cut == std::string::npos) continue;
        std::string field = core.substr(0, cut), setting = core.substr(cut + 1);
        if (setting == "OSC") std::swap(field, setting);  // "_HS_OSC_1H"
        ConfigField& f = fields[field];
        f.name = field;
        f.mask |= std::uint8_t(~v);
        f.settings[setting] = std::uint8_t(v);
    }
    std::vector<ConfigField> out;
    for (auto& [name, f] : fields) out.push_back(std::move(f));
    return out;
}

std::uint8_t GputilsPart::configNamed(const std::string& byte) const {
    std::uint8_t m = 0;
    for (const ConfigField& f : configFields(byte)) m |= f.mask;
    return m;
}

std::uint8_t GputilsPart::configSettable(const std::string& byte) const {
    std::uint8_t m = 0;
    for (const ConfigField& f : configFields(byte))
        if (f.values().size() > 1) m |= f.mask;
    return m;
}

int GputilsPart::configWords() const {
    int words = 0;
    for (const auto& [name, word] : configWord) words = std::max(words, word + 1);
    return words;
}

std::uint32_t GputilsPart::implementedBits(int word, std::uint32_t width) const {
    std::uint32_t cleared = 0, set = 0;
    for (const auto& [name, w] : configWord) {
        if (w != word) continue;
        const std::uint32_t v = symbols.at(name);
        cleared |= ~v;
        set |= v;
    }
    return cleared & set & width;
}

std::uint32_t GputilsPart::codeWords() const {
    // The factory calibration word is a protected page right after the code.
    std::uint32_t end = programEnd();
    for (const Page& p : pages)
        if (p.isProtected && p.start == end && (p.name == ".oscval" || p.name == "oscval" || p.name == ".calib"))
            end = p.end + 1;
    return end;
}

bool haveGputils() { return QFileInfo(QString(kGputilsFolder) + "/header/p16f84a.inc").exists(); }

namespace {

std::optional<GputilsPart> parseGputilsPart(const std::string& baseName) {
    const QString base = QString::fromStdString(baseName);
    QStringList inc, lkr;
    if (!readLines(QString("%1/header/p%2.inc").arg(kGputilsFolder, base), inc)) return std::nullopt;
    readLines(QString("%1/lkr/%2_g.lkr").arg(kGputilsFolder, base), lkr);
    GputilsPart part;
    static const QRegularExpression equ(R"(^\s*(\w+)\s+EQU\s+H'([0-9A-Fa-f]+)'\s*(?:;\s*(.*))?$)");
    static const QRegularExpression options(R"(^;-----\s*CONFIG(\d*)\s+Options)");
    int word = -1;  // inside a configuration options section: its word
    for (const QString& line : inc) {
        if (line.startsWith(";-----")) {
            const auto o = options.match(line);
            word = o.hasMatch() ? std::max(o.captured(1).toInt(), 1) - 1 : -1;
            continue;
        }
        const auto m = equ.match(line);
        if (!m.hasMatch()) continue;
        const std::string name = m.captured(1).toStdString();
        part.symbols[name] = m.captured(2).toUInt(nullptr, 16);
        if (!m.captured(3).isEmpty()) part.comments[name] = m.captured(3).trimmed().toStdString();
        if (word >= 0) part.configWord[name] = word;
    }
    static const QRegularExpression codePage(
        R"(^\s*CODEPAGE\s+NAME=(\S+)\s+START=(0x[0-9A-Fa-f]+)\s+END=(0x[0-9A-Fa-f]+)(\s+PROTECTED)?)");
    for (const QString& line : lkr) {
        const auto m = codePage.match(line);
        if (!m.hasMatch()) continue;
        part.pages.push_back({m.captured(1).toStdString(), m.captured(2).toUInt(nullptr, 16),
                              m.captured(3).toUInt(nullptr, 16), !m.captured(4).isEmpty()});
    }
    return part;
}

}  // namespace

std::optional<GputilsPart> readGputilsPart(const std::string& deviceName) {
    return readOnce<GputilsPart>(deviceName, parseGputilsPart);
}

// ---- avr-libc ----------------------------------------------------------------

AvrLibcPart::FuseBit AvrLibcPart::fuse(const std::string& name) const {
    const auto it = fuses.find(name);
    if (it == fuses.end()) {
        ADD_FAILURE() << "avr-libc has no fuse " << name << " for " << mcu;
        return {};
    }
    return it->second;
}

long AvrLibcPart::eepromBytes() const { return e2End > 0 ? e2End + 1 : 0; }

std::array<std::uint8_t, 3> AvrLibcPart::defaultFuses() const {
    // Each default is the fuses it programs, ANDed: "(FUSE_SPIEN & FUSE_BOOTSZ1)", "(0xFF)".
    std::array<std::uint8_t, 3> out{0xFF, 0xFF, 0xFF};
    const char* const names[3][2] = {{"LFUSE_DEFAULT", "FUSE_DEFAULT"}, {"HFUSE_DEFAULT", ""}, {"EFUSE_DEFAULT", ""}};
    for (std::size_t byte = 0; byte < 3; ++byte) {
        auto it = defines.find(names[byte][0]);
        if (it == defines.end()) it = defines.find(names[byte][1]);
        if (it == defines.end()) continue;
        for (QString term : QString::fromStdString(it->second).split('&')) {
            term = term.remove('(').remove(')').trimmed();
            bool ok = false;
            const unsigned v = term.toUInt(&ok, 0);
            if (ok) {
                out[byte] &= std::uint8_t(v);
            } else if (term.startsWith("FUSE_") && hasFuse(term.mid(5).toStdString())) {
                out[byte] &= std::uint8_t(~(1u << fuse(term.mid(5).toStdString()).bit));
            } else {
                ADD_FAILURE() << "avr-libc's " << it->first << " for " << mcu << " names " << term.toStdString();
            }
        }
    }
    return out;
}

long AvrLibcPart::number(const std::string& name) const {
    const auto it = defines.find(name);
    QString text = it == defines.end() ? QString() : QString::fromStdString(it->second).trimmed();
    while (text.startsWith('(') && text.endsWith(')')) text = text.mid(1, text.size() - 2).trimmed();
    bool ok = false;
    const long v = text.toLong(&ok, 0);
    if (!ok) ADD_FAILURE() << "avr-libc has no number " << name << " for " << mcu;
    return ok ? v : -1;
}

bool haveAvrLibc() { return !QStandardPaths::findExecutable("avr-gcc").isEmpty(); }

namespace {

std::optional<AvrLibcPart> runAvrLibcPart(const std::string& mcu) {
    AvrLibcPart part;
    part.mcu = mcu;
    // The preprocessor of the tool chain resolves the header's own
    // conditions (the 328 and 328P share one file); -dD keeps the defines in
    // the header's order and -C its comments, which name the fuse bytes.
    QProcess cc;
    cc.start("avr-gcc", {"-mmcu=" + QString::fromStdString(part.mcu), "-E", "-dD", "-C", "-x", "c", "-"});
    if (!cc.waitForStarted(10000)) return std::nullopt;
    cc.write("#include <avr/io.h>\n#include <avr/lock.h>\n");
    cc.closeWriteChannel();
    if (!cc.waitForFinished(30000) || cc.exitCode() != 0) return std::nullopt;
    const QStringList lines = QString::fromLocal8Bit(cc.readAllStandardOutput()).split('\n');

    static const QRegularExpression define(R"(^#define\s+(\w+)(?:\s+(.*))?$)");
    // Most headers cast the value, a few older ones do not ("~_BV(1)").
    static const QRegularExpression fuseBit(R"(^(?:\(unsigned char\)\s*)?~\s*_BV\((\d+)\)$)");
    int byte = -1;
    for (const QString& line : lines) {
        if (line.startsWith("/*")) {
            if (line.contains("Low Fuse Byte")) byte = 0;
            else if (line.contains("High Fuse Byte")) byte = 1;
            else if (line.contains("Extended Fuse Byte")) byte = 2;
            continue;
        }
        const auto m = define.match(line);
        if (!m.hasMatch()) continue;
        const std::string name = m.captured(1).toStdString();
        const QString text = m.captured(2).trimmed();
        part.defines.emplace(name, text.toStdString());
        const auto f = fuseBit.match(text);
        if (f.hasMatch() && name.rfind("FUSE_", 0) == 0 && byte >= 0)
            part.fuses.emplace(name.substr(5), AvrLibcPart::FuseBit{byte, f.captured(1).toInt()});
    }
    auto number = [&](const char* name) -> long {
        const auto it = part.defines.find(name);
        if (it == part.defines.end()) return -1;
        bool ok = false;
        const long v = QString::fromStdString(it->second).toLong(&ok, 0);
        return ok ? v : -1;
    };
    for (int i = 0; i < 3; ++i) part.signature[i] = int(number(("SIGNATURE_" + std::to_string(i)).c_str()));
    part.flashEnd = number("FLASHEND");
    part.e2End = number("E2END");
    part.fuseBytes = int(number("FUSE_MEMORY_SIZE"));
    part.lockBits = part.defines.count("__LOCK_BITS_EXIST") != 0;
    part.bootLock0 = part.defines.count("__BOOT_LOCK_BITS_0_EXIST") != 0;
    part.bootLock1 = part.defines.count("__BOOT_LOCK_BITS_1_EXIST") != 0;
    if (part.signature[0] < 0) return std::nullopt;
    return part;
}

}  // namespace

std::optional<AvrLibcPart> readAvrLibcPart(const std::string& deviceName) {
    return readOnce<AvrLibcPart>(deviceName, runAvrLibcPart);
}

std::optional<CaptionFuse> avrFuseOfCaption(const std::string& caption) {
    // Captions that say in words what the programmed fuse does.
    static const std::map<std::string, std::string> described = {
        {"SPI Enabled", "SPIEN"},         {"BOD Enabled", "BODEN"},       {"CKOUT Enabled", "CKOUT"},
        {"SELFPRG Enabled", "SELFPRGEN"}, {"debugWIRE Enabled", "DWEN"},  {"Divided Clock by 8", "CKDIV8"},
        {"WDT always on", "WDTON"},
    };
    const QString text = QString::fromStdString(caption).trimmed();
    if (const auto it = described.find(text.toStdString()); it != described.end()) return CaptionFuse{it->second, true};
    static const QRegularExpression name(R"(^([A-Z][A-Z0-9]*)$)");
    static const QRegularExpression stated(R"(^([A-Z][A-Z0-9]*) = \S+$)");
    if (const auto m = name.match(text); m.hasMatch()) return CaptionFuse{m.captured(1).toStdString(), true};
    if (const auto m = stated.match(text); m.hasMatch()) return CaptionFuse{m.captured(1).toStdString(), false};
    return std::nullopt;
}

}  // namespace tesmar::test
