// PIC hex files: INHX8M (byte addresses, words low byte first) and INHX16
// (word addresses, words high byte first), with the map between the file's
// areas and the fixed ID, configuration and EEPROM places of the buffer.
#include <algorithm>

#include "devices/BufferLayout.h"
#include "fileformats/FileFrame.h"

namespace tesmar {
namespace {

// The ID and configuration records are found by their exact start address.
bool startsAt(std::uint64_t a, const PicArea& area, std::uint64_t start) { return area.present && a == start; }

// PIC18 configuration in an INHX16 file: the short word address older files
// use, besides the extended one this program writes.
constexpr std::uint64_t kPic18Inhx16ConfigWord = 0x7F00;

// The data EEPROM's records may start anywhere in its area.
bool within(std::uint64_t a, const PicArea& area, std::uint64_t start, std::uint64_t len) {
    return area.present && a >= start && a < start + std::max<std::uint64_t>(len, 1);
}

std::uint8_t sumOf(const std::uint8_t* p, std::size_t n) {
    std::uint8_t s = 0;
    for (std::size_t i = 0; i < n; ++i) s = std::uint8_t(s + p[i]);
    return s;
}

bool checksumOk(LoadFrame& f, std::uint8_t sum, std::uint8_t formatError) {
    std::uint8_t cc = 0;
    if (!f.readPairs(&cc, 1, formatError)) return false;
    if (std::uint8_t(sum + cc) != 0) {
        f.error = kChecksumError;
        return false;
    }
    return true;
}

}  // namespace

std::uint64_t PicAreaMap::end() const {
    std::uint64_t e = 0;
    for (const PicArea* a : {&id, &config, &eeprom})
        if (a->present) e = std::max<std::uint64_t>(e, std::uint64_t(a->buf) + std::max<std::uint32_t>(a->len, 2));
    return e;
}

PicAreaMap picAreaMap(const DeviceRecord& r) {
    const PicAreas a = picAreas(r);
    auto area = [](const PicFilePlace& p) { return PicArea{p.present, p.buf, p.file, p.word, p.len}; };
    PicAreaMap m;
    m.pic18 = a.row == PicFileRow::Pic18;
    m.enhanced = a.kind == PicKind::Enhanced;
    m.codeBytes = a.fileCodeBytes;
    m.id = area(a.fileId);
    m.config = area(a.fileConfig);
    m.eeprom = area(a.fileData);
    m.eepromPlace = a.fileData.present;
    m.writeEeprom = a.fileWritesData;
    m.initialMissing = a.fileId.present ? kMissingConfig | kMissingId : kMissingConfig;
    if ((a.row == PicFileRow::MidRange || a.row == PicFileRow::Pic18) && r.DataEepromSize != 0)
        m.initialMissing |= kMissingData;
    return m;
}

// ---------------------------------------------------------------------------
// INHX8M

void ReadInhx8m(LoadFrame& f) {
    const PicAreaMap& m = f.pic;
    const DeviceRecord& r = f.rec;
    const bool alg2Classic = r.Algorithm == 2 && !(r.PageCode >= 46 && r.PageCode <= 48);
    std::uint64_t ext = 0;
    bool fileOrder = false;  // PIC18 EEPROM bytes keep file order; words (code, IDs) are swapped
    bool first = true;
    std::uint8_t head[4];
    std::uint8_t data[256];
    for (;;) {
        if (!f.seekMark(':', first, kNotInhx8m, " File isn't a hex file")) return;
        if (!f.readPairs(head, 1, kNotInhx8m)) return;
        const std::uint8_t ll = head[0];
        if (!f.readPairs(head + 1, 3, kNotInhx8m)) return;
        if (ll == 0) return;  // any empty record ends the file
        const std::uint32_t address16 = (std::uint32_t(head[1]) << 8) | head[2];
        const std::uint8_t type = head[3];
        std::uint8_t sum = sumOf(head, 4);

        if (alg2Classic && address16 >= 0x4200 && address16 <= 0x435F) f.missing &= ~kMissingData;
        const std::uint64_t a = ext + address16;
        std::uint64_t place = a;
        if (!m.pic18) {
            if (startsAt(a, m.id, m.id.file)) {
                place = m.id.buf;
                f.missing &= ~kMissingId;
            } else if (startsAt(a, m.config, m.config.file)) {
                place = m.config.buf;
                f.missing &= ~kMissingConfig;
            } else if (m.eepromPlace && within(a, m.eeprom, m.eeprom.file, m.eeprom.len)) {
                place = m.eeprom.buf + (a - m.eeprom.file);
                f.missing &= ~kMissingData;
            }
        }

        switch (type) {
        case 0x01:
            return;
        case 0x02:
        case 0x04: {
            if (!f.readPairs(data, 2, kNotInhx8m)) return;
            sum = std::uint8_t(sum + data[0] + data[1]);
            const std::uint64_t value = (std::uint64_t(data[0]) << 8) | data[1];
            const std::uint64_t linear = type == 0x02 ? value << 4 : value << 16;
            ext = linear;
            fileOrder = false;
            if (m.pic18) {
                if (linear == m.id.file) {
                    ext = m.id.buf;
                    f.missing &= ~kMissingId;
                } else if (linear == m.config.file) {
                    ext = m.config.buf;
                    f.missing &= ~kMissingConfig;
                } else if (linear == m.eeprom.file) {
                    ext = m.eeprom.buf;
                    fileOrder = true;
                    f.missing &= ~kMissingData;
                }
            }
            break;
        }
        case 0x03:
        case 0x05:
            // Start addresses: nothing for the image, but the record must be whole.
            if (!f.readPairs(data, ll, kNotInhx8m)) return;
            sum = std::uint8_t(sum + sumOf(data, ll));
            break;
        default: {
            std::size_t good = 0;
            const bool whole = f.readPairs(data, ll, kNotInhx8m, &good);
            // File byte at address x is buffer byte x XOR 1 (words high byte
            // first); that also places records that start at an odd address.
            for (std::size_t i = 0; i < good; ++i) {
                const std::uint64_t at = fileOrder ? place + i : (place + i) ^ 1;
                if (!f.store(std::int64_t(at), data[i])) return;
            }
            if (!whole) return;
            f.meter.update(std::int64_t(place + ll));
            sum = std::uint8_t(sum + sumOf(data, ll));
            break;
        }
        }
        if (!checksumOk(f, sum, kNotInhx8m)) return;
    }
}

namespace {

class Inhx8mWriter {
public:
    explicit Inhx8mWriter(SaveFrame& f) : f_(f) {}

    void upper(std::uint32_t value) {
        const std::uint8_t v[2] = {std::uint8_t(value >> 8), std::uint8_t(value)};
        writeIntelRecord(f_.out, 2, 0, 0x04, v, 2, "\r\n");
        upper_ = value;
    }

    // `len` buffer bytes from `bufStart` at file address `fileStart`, 16 per record.
    void section(std::uint64_t bufStart, std::uint64_t fileStart, std::uint64_t len, bool fileOrder, bool code) {
        std::uint8_t data[16];
        std::uint64_t i = 0;
        while (i < len && !f_.out.failed()) {
            const std::uint64_t fileAddr = fileStart + i;
            if ((fileAddr >> 16) != upper_) upper(std::uint32_t(fileAddr >> 16));
            const std::uint64_t n = std::min<std::uint64_t>({16, len - i, 0x10000 - (fileAddr & 0xFFFF)});
            for (std::uint64_t k = 0; k < n; ++k) {
                const std::uint64_t at = fileOrder ? bufStart + i + k : (bufStart + i + k) ^ 1;
                data[k] = at < f_.size ? f_.buf[at] : 0xFF;
            }
            writeIntelRecord(f_.out, std::uint8_t(n), std::uint16_t(fileAddr), 0x00, data, n, "\n");
            i += n;
            if (code && fileStart + i > 0xFFDC) upper(std::uint32_t((fileStart + i) >> 16));
            f_.meter.update(std::int64_t(bufStart + i));
        }
    }

private:
    SaveFrame& f_;
    std::uint32_t upper_ = 0;
};

}  // namespace

void WriteInhx8m(SaveFrame& f) {
    const PicAreaMap& m = f.pic;
    Inhx8mWriter w(f);
    w.section(0, 0, m.codeBytes, false, true);
    // An area above 64 KiB in the file (enhanced mid-range parts, PIC18)
    // opens with its extended linear record.
    auto area = [&](const PicArea& a, bool fileOrder) {
        if (a.file > 0xFFFF) w.upper(a.file >> 16);
        w.section(a.buf, a.file, a.len, fileOrder, false);
    };
    // PIC18 EEPROM bytes keep file order; every word is written low byte first.
    if (m.writeEeprom) area(m.eeprom, m.pic18);
    if (m.id.present) area(m.id, false);
    if (m.config.present && m.config.len > 0) area(m.config, false);
    f.out.write(":00000001FF\n");
}

// ---------------------------------------------------------------------------
// INHX16

void ReadInhx16(LoadFrame& f) {
    const PicAreaMap& m = f.pic;
    std::uint64_t ext = 0;  // in words
    bool first = true;
    std::uint8_t head[4];
    std::uint8_t data[512];
    for (;;) {
        if (!f.seekMark(':', first, kNotInhx16, " File isn't a hex file")) return;
        if (!f.readPairs(head, 1, kNotInhx16)) return;
        const std::uint8_t ll = head[0];
        if (ll == 0) return;
        if (!f.readPairs(head + 1, 3, kNotInhx16)) return;
        const std::uint32_t address16 = (std::uint32_t(head[1]) << 8) | head[2];
        const std::uint8_t type = head[3];
        const std::size_t bytes = std::size_t(ll) * 2;
        std::uint8_t sum = sumOf(head, 4);
        switch (type) {
        case 0x01:
            return;
        case 0x02:
        case 0x04: {
            if (!f.readPairs(data, bytes, kNotInhx16)) return;
            const std::uint64_t value = (std::uint64_t(data[0]) << 8) | data[1];
            ext = type == 0x02 ? value << 4 : value << 16;
            sum = std::uint8_t(sum + sumOf(data, bytes));
            break;
        }
        case 0x03:
        case 0x05:
            if (!f.readPairs(data, bytes, kNotInhx16)) return;
            sum = std::uint8_t(sum + sumOf(data, bytes));
            break;
        default: {
            const std::uint64_t word = ext + address16;
            std::uint64_t place = 2 * word;
            if (startsAt(word, m.id, m.id.word)) {
                place = m.id.buf;
                f.missing &= ~kMissingId;
            } else if (startsAt(word, m.config, m.config.word) ||
                       (m.pic18 && startsAt(word, m.config, kPic18Inhx16ConfigWord))) {
                place = m.config.buf;
                f.missing &= ~kMissingConfig;
            } else if (m.eepromPlace &&
                       within(word, m.eeprom, m.eeprom.word, (m.eeprom.len + 1) / 2)) {
                place = m.eeprom.buf + 2 * (word - m.eeprom.word);
                f.missing &= ~kMissingData;
            }
            std::size_t good = 0;
            const bool whole = f.readPairs(data, bytes, kNotInhx16, &good);
            if (!f.storeRun(std::int64_t(place), data, good) || !whole) return;
            f.meter.update(std::int64_t(place + bytes));
            sum = std::uint8_t(sum + sumOf(data, bytes));
            break;
        }
        }
        if (!checksumOk(f, sum, kNotInhx16)) return;
    }
}

namespace {

class Inhx16Writer {
public:
    explicit Inhx16Writer(SaveFrame& f) : f_(f) {}

    // `len` buffer bytes from `bufStart` at word address `wordStart`, at most 8
    // words per record. An odd length takes the next buffer byte along so the
    // last word is whole.
    void section(std::uint64_t bufStart, std::uint64_t wordStart, std::uint64_t len) {
        std::uint8_t data[16];
        std::uint64_t i = 0;
        while (i < len && !f_.out.failed()) {
            const std::uint64_t word = wordStart + i / 2;
            if ((word >> 16) != upper_) {
                upper_ = std::uint32_t(word >> 16);
                const std::uint8_t v[2] = {std::uint8_t(upper_ >> 8), std::uint8_t(upper_)};
                writeIntelRecord(f_.out, 1, 0, 0x04, v, 2, "\n");
            }
            const std::uint64_t words = std::min<std::uint64_t>({8, (len - i + 1) / 2, 0x10000 - (word & 0xFFFF)});
            for (std::uint64_t k = 0; k < 2 * words; ++k) {
                const std::uint64_t at = bufStart + i + k;
                data[k] = at < f_.size ? f_.buf[at] : 0xFF;
            }
            writeIntelRecord(f_.out, std::uint8_t(words), std::uint16_t(word), 0x00, data, 2 * words, "\n");
            i += 2 * words;
            f_.meter.update(std::int64_t(bufStart + i));
        }
    }

private:
    SaveFrame& f_;
    std::uint32_t upper_ = 0;
};

}  // namespace

void WriteInhx16(SaveFrame& f) {
    const PicAreaMap& m = f.pic;
    Inhx16Writer w(f);
    w.section(0, 0, m.codeBytes);
    if (m.writeEeprom) w.section(m.eeprom.buf, m.eeprom.word, m.eeprom.len);
    if (m.id.present) w.section(m.id.buf, m.id.word, m.id.len);
    if (m.config.present && m.config.len > 0) w.section(m.config.buf, m.config.word, m.config.len);
    f.out.write(":00000001FF\n");
}

}  // namespace tesmar
