#pragma once
// Builds small All.usb images for the tester tests: groups of ICs with their
// vector texts, laid out as the database generator lays them out (group
// blocks back to back after the records, then the texts).
#include <QByteArray>
#include <cstdint>
#include <string>
#include <vector>

namespace tesmar::test {

struct DbIc {
    std::string name;
    int pins = 14;
    int gnd = 7;   // package pins
    int vcc = 14;
    std::uint8_t mode = ' ';
    std::string text;  // the vector lines (or pin map) without the 0 byte
};

struct DbGroup {
    std::string name;
    std::vector<DbIc> ics;
};

// Where the pieces landed, for tests that damage them.
struct DbLayout {
    std::vector<int> blockAt;                // per group
    std::vector<std::vector<int>> entryAt;   // per group, per IC
    std::vector<std::vector<int>> textAt;    // marker of each vector text
};

inline QByteArray buildAllUsb(const std::vector<DbGroup>& groups, DbLayout* layout = nullptr) {
    auto put16 = [](QByteArray& b, int at, int v) {
        b[at] = char(v & 0xFF);
        b[at + 1] = char((v >> 8) & 0xFF);
    };
    const int g = int(groups.size());
    QByteArray db(16 * (g + 1), '\0');
    db.replace(0, 10, "Tesmar ICs");
    put16(db, 12, g);
    DbLayout l;
    for (int i = 0; i < g; ++i) {
        const int block = int(db.size());
        l.blockAt.push_back(block);
        put16(db, 16 * (i + 1), block);
        const std::string& name = groups[size_t(i)].name;
        for (size_t c = 0; c < name.size() && c < 14; ++c) db[16 * (i + 1) + 2 + int(c)] = name[c];
        QByteArray header(16, '\0');
        header[0] = char(0x98);
        put16(header, 1, int(groups[size_t(i)].ics.size()));
        db += header;
        l.entryAt.emplace_back();
        for (const DbIc& ic : groups[size_t(i)].ics) {
            l.entryAt.back().push_back(int(db.size()));
            QByteArray e(16, '\0');
            for (size_t c = 0; c < ic.name.size() && c < 8; ++c) e[2 + int(c)] = ic.name[c];
            const int k = (40 - ic.pins) / 2;
            e[10] = char(ic.pins);
            e[11] = char(ic.gnd + k);
            e[12] = char(0x40 | ((ic.vcc + k) & 0x3F));
            e[15] = char(ic.mode);
            db += e;
        }
    }
    for (int i = 0; i < g; ++i) {
        l.textAt.emplace_back();
        for (size_t c = 0; c < groups[size_t(i)].ics.size(); ++c) {
            const int at = int(db.size());
            l.textAt.back().push_back(at);
            put16(db, l.entryAt[size_t(i)][c], at);
            db += char(0x98);
            db += QByteArray::fromStdString(groups[size_t(i)].ics[c].text);
            db += '\0';
        }
    }
    if (layout) *layout = l;
    return db;
}

}  // namespace tesmar::test
