#include "IcText.h"

#include <cstring>
#include <map>

#include "DeviceText.h"

namespace gendata {
namespace {

constexpr std::uint8_t kUnusedPin = 0xC0;  // pin-map slot without a pin (above 40)
constexpr char kVectorChars[] = "01VGXHLCcK";

bool isTesterPinCount(int pins) { return pins == 14 || pins == 16 || pins == 18 || pins == 20 || pins == 24; }

void checkVectorLine(const IcEntry& ic, const Line& line) {
    const std::string& v = line.tokens[0];
    if (line.tokens.size() != 1 || int(v.size()) != ic.pins)
        line.where.fail("a vector line of " + ic.name + " must be exactly " + std::to_string(ic.pins) +
                        " characters");
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (std::strchr(kVectorChars, v[i]) == nullptr)
            line.where.fail(std::string("vector character '") + v[i] + "' is none of " + kVectorChars);
    }
    // The supply and ground pins are driven by the tester; the line must say so.
    if (v[ic.groundPin - 1] != 'G') line.where.fail("the ground pin must read 'G' in every vector line");
    if (v[ic.supplyPin - 1] != 'V') line.where.fail("the supply pin must read 'V' in every vector line");
}

// Memory ICs carry a pin map instead of vectors: 20 address slots, 8 data
// slots, then the control pins; every pin stored as the tester's pin rule
// expects it.
void addPinMap(IcEntry& ic, const Fields& fields) {
    std::map<std::string, std::vector<int>> lists;
    for (const Field& f : fields) {
        if (f.key != "addr" && f.key != "data" && f.key != "ctrl")
            f.where.fail("unknown pin list \"" + f.key + "\" (addr, data, ctrl)");
        for (const std::string& item : splitList(f.value))
            lists[f.key].push_back(int(parseInteger(f.where, f.key, item, 1, ic.pins)));
    }
    const auto& addr = lists["addr"];
    const auto& data = lists["data"];
    const auto& ctrl = lists["ctrl"];
    if (addr.empty() || addr.size() > 20) ic.where.fail("a memory IC needs 1 to 20 address pins");
    if (data.empty() || data.size() > 8) ic.where.fail("a memory IC needs 1 to 8 data pins");
    if (ctrl.empty() || ctrl.size() > 8) ic.where.fail("a memory IC needs 1 to 8 control pins");
    ic.text.clear();
    for (int i = 0; i < 20; ++i)
        ic.text += char(i < int(addr.size()) ? storedPin(addr[i], ic.pins) : kUnusedPin);
    for (int i = 0; i < 8; ++i)
        ic.text += char(i < int(data.size()) ? storedPin(data[i], ic.pins) : kUnusedPin);
    for (int p : ctrl) ic.text += char(storedPin(p, ic.pins));
}

IcEntry startIc(const Line& line) {
    IcEntry ic;
    ic.where = line.where;
    if (line.tokens.size() < 2) line.where.fail("ic: the name is missing");
    ic.name = line.tokens[1];
    if (ic.name.empty() || ic.name.size() > 8 || !isPrintableAscii(ic.name))
        line.where.fail("IC name \"" + ic.name + "\" must be 1 to 8 printable characters");
    std::map<std::string, Field> values;
    for (const Field& f : parsePairs(line, 2)) values[f.key] = f;
    for (const char* required : {"pins", "gnd", "vcc"})
        if (!values.count(required)) line.where.fail(std::string("ic ") + ic.name + ": \"" + required + "\" is missing");
    for (const auto& [key, f] : values) {
        if (key == "pins") {
            ic.pins = int(parseInteger(f.where, key, f.value, 1, 40));
            if (!isTesterPinCount(ic.pins)) f.where.fail("the tester takes ICs of 14, 16, 18, 20 or 24 pins");
        } else if (key == "mode") {
            const std::map<std::string, std::uint8_t> modes{
                {"logic", ' '}, {"1", 1}, {"2", 2}, {"3", 3}, {"memory", 'R'}};
            const auto it = modes.find(f.value);
            if (it == modes.end()) f.where.fail("mode: \"" + f.value + "\" is none of logic, 1, 2, 3, memory");
            ic.mode = it->second;
        } else if (key != "gnd" && key != "vcc") {
            f.where.fail("unknown IC field \"" + key + "\"");
        }
    }
    ic.groundPin = int(parseInteger(values["gnd"].where, "gnd", values["gnd"].value, 1, ic.pins));
    ic.supplyPin = int(parseInteger(values["vcc"].where, "vcc", values["vcc"].value, 1, ic.pins));
    if (!isVccDriverPin(socketPin(ic.supplyPin, ic.pins)))
        values["vcc"].where.fail("no supply driver reaches package pin " + values["vcc"].value);
    return ic;
}

void put16(std::vector<std::uint8_t>& out, std::size_t at, std::size_t v) {
    out[at] = std::uint8_t(v);
    out[at + 1] = std::uint8_t(v >> 8);
}

}  // namespace

std::vector<IcGroup> readIcText(const std::string& path) {
    std::vector<IcGroup> groups;
    const auto lines = readLines(path);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.indented) line.where.fail("a vector line without an IC above it");
        const std::string& word = line.tokens[0];
        if (word == "group") {
            IcGroup g;
            g.where = line.where;
            g.name = line.rest(1);
            if (g.name.empty() || g.name.size() > 14 || !isPrintableAscii(g.name))
                line.where.fail("group name \"" + g.name + "\" must be 1 to 14 printable characters");
            groups.push_back(std::move(g));
        } else if (word == "ic") {
            if (groups.empty()) line.where.fail("an IC before the first group");
            IcEntry ic = startIc(line);
            Fields pinMap;
            while (i + 1 < lines.size() && lines[i + 1].indented) {
                const Line& body = lines[++i];
                if (ic.mode == 'R') {
                    Fields more = parsePairs(body, 0, pinMap);
                    pinMap.insert(pinMap.end(), more.begin(), more.end());
                } else {
                    checkVectorLine(ic, body);
                    ic.text += body.tokens[0];
                }
            }
            if (ic.mode == 'R') addPinMap(ic, pinMap);
            if (ic.text.empty()) line.where.fail("IC " + ic.name + " has no vector lines");
            for (const auto& other : groups.back().ics)
                if (other.name == ic.name) line.where.fail("IC " + ic.name + " is listed twice in its group");
            groups.back().ics.push_back(std::move(ic));
        } else {
            line.where.fail("expected group or ic, found \"" + word + "\"");
        }
    }
    for (const auto& g : groups)
        if (g.ics.empty()) g.where.fail("group \"" + g.name + "\" has no IC");
    return groups;
}

std::vector<std::uint8_t> encodeIcDatabase(const std::vector<IcGroup>& groups) {
    if (groups.empty()) throw InputError("IC database: no group");
    const std::size_t g = groups.size();
    std::vector<std::uint8_t> out(16 * (g + 1), 0);
    const char tag[] = "Tesmar ICs";  // header bytes other than 12-13 are not read
    std::memcpy(out.data(), tag, sizeof tag - 1);
    put16(out, 12, g);

    // Group blocks back to back; entry offsets are filled in once the texts are placed.
    std::vector<std::size_t> entryAt;
    for (std::size_t i = 0; i < g; ++i) {
        const IcGroup& group = groups[i];
        if (out.size() + 16 * (group.ics.size() + 1) > 0xFFFF)
            group.where.fail("All.usb grows past 64 KiB; offsets no longer fit 16 bits");
        put16(out, 16 * (i + 1), out.size());
        std::memcpy(out.data() + 16 * (i + 1) + 2, group.name.data(), group.name.size());
        std::vector<std::uint8_t> header(16, 0);
        header[0] = kIcMarker;
        put16(header, 1, group.ics.size());
        out.insert(out.end(), header.begin(), header.end());
        for (const IcEntry& ic : group.ics) {
            std::vector<std::uint8_t> e(16, 0);
            std::memcpy(e.data() + 2, ic.name.data(), ic.name.size());
            e[10] = std::uint8_t(ic.pins);
            e[11] = std::uint8_t(storedPin(ic.groundPin, ic.pins));
            // Role bits 01 (supply) above the six-bit pin number.
            e[12] = std::uint8_t(0x40 | storedPin(ic.supplyPin, ic.pins));
            e[15] = ic.mode;
            entryAt.push_back(out.size());
            out.insert(out.end(), e.begin(), e.end());
        }
    }
    std::size_t n = 0;
    for (const IcGroup& group : groups) {
        for (const IcEntry& ic : group.ics) {
            if (out.size() > 0xFFFF) ic.where.fail("All.usb grows past 64 KiB; offsets no longer fit 16 bits");
            put16(out, entryAt[n++], out.size());
            out.push_back(kIcMarker);
            out.insert(out.end(), ic.text.begin(), ic.text.end());
            out.push_back(0);
        }
    }
    if (out.size() > 0x10000) throw InputError("IC database: All.usb grows past 64 KiB");
    return out;
}

}  // namespace gendata
