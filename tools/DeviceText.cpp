#include "DeviceText.h"

#include <cctype>
#include <cstring>
#include <functional>
#include <map>
#include <set>

namespace gendata {

int storedPin(int packagePin, int pinCount) {
    if (pinCount >= 40) return packagePin;
    return packagePin + (20 - pinCount / 2);
}

int socketPin(int packagePin, int pinCount) {
    if (pinCount >= 40) return packagePin;
    const int k = 20 - pinCount / 2;
    const int r = storedPin(packagePin, pinCount);
    return r <= 20 ? r - k : r + k;
}

bool isVccDriverPin(int socket) {
    static const std::set<int> pins{1, 2, 10, 11, 32, 35, 36, 40};
    return pins.count(socket) != 0;
}

bool isVppDriverPin(int socket) {
    static const std::set<int> pins{1, 2, 4, 9, 14, 31, 32, 33, 34, 36, 37, 40};
    return pins.count(socket) != 0;
}

namespace {

const std::map<std::string, unsigned> kButtonNames{
    {"load", 0}, {"save", 1},   {"edit", 2},   {"config", 3}, {"blank", 4},
    {"read", 5}, {"prog", 6},   {"verify", 7}, {"erase", 8},  {"option", 10}};
const std::map<std::string, unsigned> kOptionNames{
    {"insertion", 0}, {"bittest", 1},    {"idcheck", 2}, {"vmaxmin", 3},
    {"memfill", 4},   {"production", 5}, {"serial", 7}};
const std::map<std::string, unsigned> kDefaultNames{{"insertion", 0}, {"idcheck", 2}, {"vmaxmin", 3}};

constexpr unsigned kButtonBits = 0x05FF;
constexpr unsigned kOptionBits = 0xBF;
constexpr unsigned kDefaultBits = 0x0D;

using Record = std::array<std::uint8_t, kRecordSize>;

void put16(Record& r, std::size_t at, unsigned v) {
    r[at] = std::uint8_t(v);
    r[at + 1] = std::uint8_t(v >> 8);
}

void put32(Record& r, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) r[at + i] = std::uint8_t(v >> (8 * i));
}

void putFloat(Record& r, std::size_t at, float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    put32(r, at, bits);
}

bool isFileName(const std::string& s) {
    if (s.empty() || s.size() > 8) return false;
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
    return true;
}

// Supply pins: G<pin> ground, V<pin> Vcc, P<pin> Vpp, X an entry without role.
void encodePower(const Location& at, const std::string& text, int pinCount, Record& r) {
    const auto items = splitList(text);
    if (items.size() > 12) at.fail("power: at most 12 entries");
    int count[3] = {0, 0, 0};
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string& item = items[i];
        if (item == "X") {
            r[0x31 + i] = 0xC0;
            continue;
        }
        const std::string roles = "GVP";
        const auto role = item.empty() ? std::string::npos : roles.find(item[0]);
        if (role == std::string::npos || item.size() < 2)
            at.fail("power: \"" + item + "\" is not G<pin>, V<pin>, P<pin> or X");
        const int pin = int(parseInteger(at, "power", item.substr(1), 1, pinCount));
        const int stored = storedPin(pin, pinCount);
        if (stored > 63) at.fail("power: pin " + item.substr(1) + " does not fit six bits");
        const int socket = socketPin(pin, pinCount);
        if (role == 1 && !isVccDriverPin(socket))
            at.fail("power: no Vcc driver reaches package pin " + item.substr(1));
        if (role == 2 && !isVppDriverPin(socket))
            at.fail("power: no Vpp driver reaches package pin " + item.substr(1));
        ++count[role];
        r[0x31 + i] = std::uint8_t((role << 6) | stored);
    }
    // The packet has five ground, two Vcc and two Vpp slots.
    if (count[0] > 5 || count[1] > 2 || count[2] > 2)
        at.fail("power: at most 5 ground, 2 Vcc and 2 Vpp entries");
}

void encodeConfig(const Location& at, const std::string& text, Record& r) {
    const auto items = splitList(text);
    if (items.size() > 16) at.fail("cfg: at most 16 bytes");
    for (std::size_t i = 0; i < items.size(); ++i)
        r[0x98 + i] = std::uint8_t(parseInteger(at, "cfg", items[i], 0, 0xFF));
    r[0x97] = std::uint8_t(items.size());
}

Device buildDevice(const Location& at, const std::string& name, const Fields& defaults, const Fields& own) {
    Device d;
    d.where = at;
    d.name = name;
    if (name.empty() || name.size() > 20 || !isPrintableAscii(name))
        at.fail("device name \"" + name + "\" must be 1 to 20 printable characters");
    Record& r = d.image;
    std::memcpy(r.data() + 0x02, name.data(), name.size());

    // Own values replace defaults of the same key.
    std::map<std::string, Field> values;
    for (const auto& f : defaults) values[f.key] = f;
    for (const auto& f : own) values[f.key] = f;

    for (const char* required : {"fam", "last", "pins", "fpga", "mcu", "buttons"})
        if (!values.count(required)) at.fail("device " + name + ": \"" + required + "\" is missing");

    const Field& pinField = values["pins"];
    const int pins = int(parseInteger(pinField.where, "pins", pinField.value, 1, 127));
    if (pins % 2) pinField.where.fail("pins: an even pin count is expected");

    const auto u8 = [&](const Field& f, std::size_t off) {
        r[off] = std::uint8_t(parseInteger(f.where, f.key, f.value, 0, 0xFF));
    };
    const auto u16 = [&](const Field& f, std::size_t off) {
        put16(r, off, unsigned(parseInteger(f.where, f.key, f.value, 0, 0xFFFF)));
    };
    const auto f32 = [&](const Field& f, std::size_t off) { putFloat(r, off, parseFloat(f.where, f.key, f.value)); };
    const auto fileName = [&](const Field& f, std::size_t off, std::string& keep) {
        if (!isFileName(f.value))
            f.where.fail(f.key + ": \"" + f.value + "\" must be 1 to 8 letters, digits, '_' or '-'");
        std::memcpy(r.data() + off, f.value.data(), f.value.size());
        keep = f.value;
    };

    using Setter = std::function<void(const Field&)>;
    const std::map<std::string, Setter> setters{
        {"fam", [&](const Field& f) {
             if (f.value.size() != 1 || std::string("ROEFSMCPLY").find(f.value[0]) == std::string::npos)
                 f.where.fail("fam: \"" + f.value + "\" is not a family letter");
             r[0x01] = std::uint8_t(f.value[0]);
             d.family = f.value[0];
         }},
        {"alg", [&](const Field& f) { r[0x00] = std::uint8_t(parseInteger(f.where, f.key, f.value, -128, 255)); }},
        {"vdd", [&](const Field& f) { f32(f, 0x16); }},
        {"vmax", [&](const Field& f) { f32(f, 0x1A); }},
        {"vmin", [&](const Field& f) { f32(f, 0x1E); }},
        {"vpp", [&](const Field& f) { f32(f, 0x22); }},
        {"last", [&](const Field& f) { put32(r, 0x26, std::uint32_t(parseInteger(f.where, f.key, f.value, 0, 0x3FFFFFF))); }},
        {"pulse", [&](const Field& f) { u16(f, 0x2B); }},
        {"erase", [&](const Field& f) { u16(f, 0x2D); }},
        {"fw1", [&](const Field& f) { u8(f, 0x2F); }},
        {"power", [&](const Field& f) { encodePower(f.where, f.value, pins, r); }},
        {"pins", [&](const Field&) { r[0x6A] = std::uint8_t(pins); }},
        {"maker", [&](const Field& f) { u8(f, 0x6B); }},
        {"dev", [&](const Field& f) { u8(f, 0x6C); }},
        {"dev2", [&](const Field& f) { u8(f, 0x6D); }},
        {"page", [&](const Field& f) { u8(f, 0x6E); }},
        {"fw2", [&](const Field& f) { u8(f, 0x6F); }},
        {"fw3", [&](const Field& f) { u8(f, 0x77); }},
        {"blank", [&](const Field& f) { u8(f, 0x78); }},
        {"pp", [&](const Field& f) { u8(f, 0x79); }},
        {"pp16", [&](const Field& f) { u16(f, 0x79); }},
        {"eesize", [&](const Field& f) { u16(f, 0x7A); }},
        {"epv", [&](const Field& f) { f32(f, 0x7D); }},
        {"cfg", [&](const Field& f) { encodeConfig(f.where, f.value, r); }},
        {"fpga", [&](const Field& f) { fileName(f, 0xA8, d.fpgaFile); }},
        {"mcu", [&](const Field& f) { fileName(f, 0xB0, d.mcuFile); }},
        {"defopt", [&](const Field& f) { r[0xB8] = std::uint8_t(parseFlags(f.where, f.key, f.value, kDefaultNames, 0xFF)); }},
        {"optmask", [&](const Field& f) { r[0xBA] = std::uint8_t(parseFlags(f.where, f.key, f.value, kOptionNames, 0xFF)); }},
        {"buttons", [&](const Field& f) { put16(r, 0xBC, parseFlags(f.where, f.key, f.value, kButtonNames, 0xFFFF)); }},
        {"steps", [&](const Field& f) { r[0xBE] = std::uint8_t(parseInteger(f.where, f.key, f.value, 0, 0x7F)); }},
        {"adapter", [&](const Field& f) { u8(f, 0xBF); }},
    };

    for (const auto& [key, field] : values) {
        const auto it = setters.find(key);
        if (it == setters.end()) field.where.fail("unknown field \"" + key + "\"");
        it->second(field);
    }

    // 'E'/'F' read 0x79-0x7A as one program parameter; it shares its bytes
    // with the single-byte parameter and the data-area size.
    if (values.count("pp16") && (values.count("pp") || values.count("eesize")))
        values["pp16"].where.fail("pp16 overlaps pp and eesize; give one or the other");
    if (values.count("cfg") && d.family != 'C')
        values["cfg"].where.fail("cfg: configuration masks belong to 'C' devices");
    const unsigned buttons = unsigned(r[0xBC] | (r[0xBD] << 8));
    if (buttons & ~kButtonBits) values["buttons"].where.fail("buttons: bits outside the toolbar buttons are set");
    if (r[0xBA] & ~kOptionBits) values["optmask"].where.fail("optmask: bit 6 names no option");
    if (r[0xB8] & ~kDefaultBits) values["defopt"].where.fail("defopt: only insertion, idcheck and vmaxmin have defaults");
    if (r[0xB8] & ~r[0xBA])
        values["defopt"].where.fail("defopt: a default is switched on for an option the device does not allow");
    return d;
}

}  // namespace

FamilyText readFamilyText(const std::string& path) {
    FamilyText family;
    family.path = path;
    Fields defaults;

    const auto lines = readLines(path);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        const std::string& word = line.tokens[0];
        if (line.indented) line.where.fail("a continuation line without a device above it");
        if (word == "defaults") {
            defaults = parsePairs(line, 1);
            while (i + 1 < lines.size() && lines[i + 1].indented) {
                Fields more = parsePairs(lines[++i], 0, defaults);
                defaults.insert(defaults.end(), more.begin(), more.end());
            }
        } else if (word == "manufacturer") {
            Manufacturer m;
            m.where = line.where;
            m.name = line.rest(1);
            if (m.name.empty() || m.name.size() > 15 || !isPrintableAscii(m.name))
                line.where.fail("manufacturer name \"" + m.name + "\" must be 1 to 15 printable characters");
            for (const auto& other : family.manufacturers)
                if (other.name == m.name) line.where.fail("manufacturer \"" + m.name + "\" is listed twice");
            family.manufacturers.push_back(std::move(m));
        } else if (word == "device") {
            if (family.manufacturers.empty()) line.where.fail("a device before the first manufacturer");
            if (line.tokens.size() < 2) line.where.fail("device: the name is missing");
            Fields own = parsePairs(line, 2);
            while (i + 1 < lines.size() && lines[i + 1].indented) {
                ++i;
                Fields more = parsePairs(lines[i], 0, own);
                own.insert(own.end(), more.begin(), more.end());
            }
            Manufacturer& m = family.manufacturers.back();
            Device d = buildDevice(line.where, line.tokens[1], defaults, own);
            for (const auto& other : m.devices)
                if (other.name == d.name)
                    line.where.fail("device \"" + d.name + "\" is listed twice for " + m.name);
            m.devices.push_back(std::move(d));
            if (m.devices.size() > 0xFFFF) line.where.fail("more than 65535 devices for one manufacturer");
        } else {
            line.where.fail("expected manufacturer, device or defaults, found \"" + word + "\"");
        }
    }
    if (family.manufacturers.empty()) throw InputError(path + ": no manufacturer");
    if (family.manufacturers.size() > 255) throw InputError(path + ": more than 255 manufacturers");
    for (const auto& m : family.manufacturers)
        if (m.devices.empty()) m.where.fail("manufacturer \"" + m.name + "\" has no device");
    return family;
}

std::vector<std::uint8_t> encodeFamilyFile(const FamilyText& family) {
    const std::size_t count = family.manufacturers.size();
    std::vector<std::uint8_t> out(16 * (count + 1), 0);
    const char tag[] = "Tesmar data";  // bytes 0-12 are not read by the program
    std::memcpy(out.data(), tag, sizeof tag - 1);
    out[13] = std::uint8_t(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& name = family.manufacturers[i].name;
        std::memcpy(out.data() + 16 * (i + 1) + 1, name.data(), name.size());
    }
    for (const auto& m : family.manufacturers) {
        const std::size_t n = m.devices.size();
        out.push_back(0);
        out.push_back(0);
        out.push_back(std::uint8_t(n));
        out.push_back(std::uint8_t(n >> 8));
        for (const auto& d : m.devices) out.insert(out.end(), d.image.begin(), d.image.end());
    }
    return out;
}

}  // namespace gendata
