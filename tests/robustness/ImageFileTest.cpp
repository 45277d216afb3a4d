// Image files of every format, damaged, invented record by record or pure
// noise, loaded on devices of every buffer shape. Whatever the file holds, a
// load ends with one of the load codes, keeps the buffer the device needs,
// touches no byte outside the extent it reports, and says "Loaded" only when
// it succeeded.
#include <set>
#include <stdexcept>

#include "Fuzz.h"
#include "fileformats/FileFrame.h"
#include "fileformats/FormatFixture.h"
#include "operations/Host.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

enum Format : std::int8_t { kIntel = 0, kSRec = 1, kBinary = 2, kInhx8m = 3, kInhx16 = 4 };

struct Shape {
    const char* name;
    RecordSpec record;
    bool oddEven;
    std::uint64_t need;  // bytes the image of the device spans, worked out by hand
};

const std::vector<std::uint8_t> kPic18Masks = {0x00, 0x27, 0x0F, 0x0F, 0x00, 0x01, 0x85,
                                               0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};

const Shape kShapes[] = {
    {"Eeprom32K", {.letter = 'E', .lastAddress = 0x7FFF}, false, 0x8000},
    {"Flash512K", {.letter = 'F', .lastAddress = 0x7FFFF}, false, 0x80000},
    {"Eprom128K", {.letter = 'R', .lastAddress = 0x1FFFF}, false, 0x20000},
    {"EpromOddEven", {.letter = 'R', .lastAddress = 0x7FFF}, true, 0x10000},
    {"Word16", {.letter = 'O', .lastAddress = 0xFFF}, false, 0x1000},
    {"Serial16Bit", {.letter = 'S', .lastAddress = 0xFFF, .pulseWidth = 16}, false, 0x2000},
    {"McuDataArea", {.letter = 'M', .lastAddress = 0x7FFF, .pageCode = 203, .dataEeprom = 0x1FF}, false, 0x81FF},
    {"McuBf91", {.letter = 'M', .lastAddress = 0xFFFF, .maker = 0xBF, .deviceId = 0x91}, false, 0x12000},
    {"McuAlgorithm35", {.letter = 'M', .lastAddress = 0x1FFF, .algorithm = 35}, false, 0x2020},
    {"PicClassic",
     {.letter = 'C', .lastAddress = 0x7FF, .algorithm = 2, .pageCode = 10, .dataEeprom = 0x3F, .configCount = 2},
     false, 0x4200 + 2 * 0x40},
    {"PicEnhanced",
     {.letter = 'C', .lastAddress = 0x7FF, .algorithm = 1, .pageCode = 46, .dataEeprom = 0xFF, .configCount = 4},
     false, 0x10200 + 2 * 0x100},
    {"PicConfigOnly", {.letter = 'C', .lastAddress = 0x1FF, .algorithm = 3, .configCount = 2}, false, 0x4010},
    {"PicOther", {.letter = 'C', .lastAddress = 0x3FF, .algorithm = 6, .configCount = 2}, false, 0x4010},
    {"Pic18",
     {.letter = 'C', .lastAddress = 0x3FF, .algorithm = 18, .dataEeprom = 0xFF, .configCount = 14,
      .masks = kPic18Masks},
     false, 0xF0200 + 0x100},
};

const Shape& shapeNamed(const char* name) {
    for (const Shape& s : kShapes)
        if (std::string(s.name) == name) return s;
    throw std::invalid_argument(name);
}

const std::set<int> kCodesOf[] = {
    {kLoaded, kReadFailed, kChecksumError, kNotIntelHex, kOutsideBuffer},
    {kLoaded, kReadFailed, kChecksumError, kNotMotorola, kOutsideBuffer},
    {kLoaded, kReadFailed, kOutsideBuffer},
    {kLoaded, kReadFailed, kChecksumError, kNotInhx8m, kOutsideBuffer},
    {kLoaded, kReadFailed, kChecksumError, kNotInhx16, kOutsideBuffer},
};

QString errorLineOf(int code) {
    switch (code) {
    case kChecksumError: return " Checksum Error ";
    case kNotIntelHex: return " Not Intel Hex Format";
    case kNotMotorola: return " Not Motorola S-record format";
    case kNotInhx8m: return " Not INH8M format";
    case kNotInhx16: return " Not INX16 format";
    case kOutsideBuffer: return " File doesn't fit in allocated buffer";
    default: return QString();
    }
}

// ---- records written from scratch, checksum right unless told otherwise ----

QByteArray hexPair(std::uint8_t b) { return QByteArray::number(b, 16).rightJustified(2, '0').toUpper(); }

QByteArray intelLine(std::uint8_t llField, std::uint16_t address, std::uint8_t type,
                     const std::vector<std::uint8_t>& data, bool sumRight, const char* end) {
    QByteArray line = ":" + hexPair(llField) + hexPair(std::uint8_t(address >> 8)) + hexPair(std::uint8_t(address)) +
                      hexPair(type);
    std::uint8_t sum = std::uint8_t(llField + (address >> 8) + address + type);
    for (std::uint8_t b : data) {
        line += hexPair(b);
        sum = std::uint8_t(sum + b);
    }
    line += hexPair(std::uint8_t(-sum + (sumRight ? 0 : 1)));
    return line + end;
}

const char* const kLineEnds[] = {"\r\n", "\n", "\r\n", "", "\n\n"};

// Intel-style records (Intel HEX, INHX8M; `words`: INHX16, where the count is in words).
QByteArray inventIntelFile(Rng& r, bool words, int maxRecords = 12) {
    static const std::uint16_t addresses[] = {0x0000, 0x0010, 0xFFFF, 0xFFF0, 0x4000, 0x400E, 0x4200,
                                              0x2000, 0x2007, 0x2100, 0xFE00, 0x8000, 0xF000, 0x7FFF};
    static const std::uint16_t uppers[] = {0x0000, 0x0001, 0x000F, 0x0010, 0x0020, 0x0030, 0x00F0,
                                           0x0007, 0x0008, 0x0018, 0x0078, 0xFFFF};
    static const std::uint16_t segments[] = {0x0000, 0x1000, 0x7FFF, 0xF000, 0xFFFF};
    static const std::uint8_t counts[] = {0, 1, 2, 3, 8, 16, 16, 16, 32, 64, 65, 128, 255};
    QByteArray file;
    if (r.chance(1, 20)) file += r.bytes(r.below(8));
    const int records = 1 + int(r.below(std::uint64_t(maxRecords)));
    for (int i = 0; i < records; ++i) {
        const std::uint16_t address = r.chance(1, 4)   ? std::uint16_t(r.next())
                                      : r.chance(1, 2) ? std::uint16_t(r.below(0x1000))
                                                       : r.pick(addresses);
        std::uint8_t type = 0x00;
        switch (r.below(10)) {
        case 5: type = 0x04; break;
        case 6: type = 0x02; break;
        case 7: type = r.chance(1, 3) ? 0x01 : r.chance(1, 2) ? 0x03 : 0x05; break;
        case 8: type = r.chance(1, 3) ? r.byte() : 0x00; break;
        default: break;
        }
        std::uint8_t ll = r.chance(1, 10) ? r.byte() : r.pick(counts);
        // Intel HEX refuses counts above 64: now and then, not in most records.
        if (!words && ll > 64 && !r.chance(1, 8)) ll &= 0x3F;
        std::vector<std::uint8_t> data;
        if (type == 0x02 || type == 0x04) {
            const std::uint16_t v = r.chance(1, 5) ? std::uint16_t(r.next()) : type == 4 ? r.pick(uppers) : r.pick(segments);
            ll = r.chance(9, 10) ? (words ? 1 : 2) : ll;
            data = {std::uint8_t(v >> 8), std::uint8_t(v)};
            if (words) data.resize(2 * std::max<std::size_t>(ll, 1), 0);
        } else {
            data = r.vec(words ? 2u * ll : ll);
        }
        if (r.chance(1, 20)) data.resize(r.below(data.size() + 1));  // a record shorter than its count
        file += intelLine(ll, address, type, data, r.chance(19, 20), r.pick(kLineEnds));
    }
    if (maxRecords > 1 && r.chance(1, 2)) file += ":00000001FF\r\n";
    return file;
}

QByteArray inventSRecordFile(Rng& r, int maxRecords = 12) {
    QByteArray file;
    if (r.chance(1, 10)) file += ":";
    const int records = 1 + int(r.below(std::uint64_t(maxRecords)));
    for (int i = 0; i < records; ++i) {
        char type = char('0' + r.below(10));
        if (r.chance(2, 3)) type = char('1' + r.below(3));
        if (r.chance(1, 20)) type = char(r.byte());
        const std::size_t addressBytes = type >= '1' && type <= '3' ? std::size_t(type - '1') + 2 : 2;
        std::vector<std::uint8_t> address(addressBytes);
        for (auto& b : address) b = r.chance(1, 5) ? 0xFF : r.chance(2, 3) ? 0x00 : r.byte();
        std::vector<std::uint8_t> data = r.vec(r.chance(1, 8) ? r.below(256) : r.below(33));
        std::size_t count = addressBytes + data.size() + 1;
        if (r.chance(1, 10)) count = r.chance(1, 2) ? r.below(addressBytes + 1) : r.byte();
        if (count > 0xFF) data.resize(0xFF - addressBytes - 1), count = 0xFF;
        QByteArray line = "S";
        line += type;
        line += hexPair(std::uint8_t(count));
        std::uint8_t sum = std::uint8_t(count);
        for (std::uint8_t b : address) line += hexPair(b), sum = std::uint8_t(sum + b);
        for (std::uint8_t b : data) line += hexPair(b), sum = std::uint8_t(sum + b);
        line += hexPair(std::uint8_t(~sum + (r.chance(19, 20) ? 0 : 1)));
        file += line + r.pick(kLineEnds);
    }
    if (maxRecords > 1 && r.chance(1, 2)) file += "S9030000FC\n";
    return file;
}

// A record line's bytes after its lead (":" or "S" and the type) and before
// the checksum; empty when the line is not whole hexadecimal.
std::vector<std::uint8_t> lineBytes(const QByteArray& line, int lead) {
    const QByteArray hex = line.trimmed().mid(lead);
    const QByteArray raw = QByteArray::fromHex(hex);
    if (hex.size() < 4 || hex.size() % 2 || raw.size() * 2 != hex.size()) return {};
    return std::vector<std::uint8_t>(raw.begin(), raw.end() - 1);
}

// Edits of a valid file that keep every record well formed: a record
// replaced by an invented one, records swapped, dropped or repeated, a
// record moved to another address or given another count.
QByteArray recordEdit(const QByteArray& valid, Rng& r, bool srec, bool words) {
    QList<QByteArray> lines = valid.split('\n');
    if (lines.size() < 2) return valid;
    const int edits = 1 + int(r.below(3));
    for (int e = 0; e < edits; ++e) {
        const qsizetype i = qsizetype(r.below(std::uint64_t(lines.size())));
        const qsizetype j = qsizetype(r.below(std::uint64_t(lines.size())));
        switch (r.below(6)) {
        case 0:
            lines[i] = (srec ? inventSRecordFile(r, 1) : inventIntelFile(r, words, 1)).trimmed() + "\r";
            break;
        case 1: std::swap(lines[i], lines[j]); break;
        case 2: lines.removeAt(i); break;
        case 3: lines.insert(j, lines[i]); break;
        default: {
            const int lead = srec ? 2 : 1;
            std::vector<std::uint8_t> b = lineBytes(lines[i], lead);
            if (b.size() < 3) break;
            if (r.chance(1, 2)) {
                // Another address: near the old one, or anywhere.
                const std::size_t k = 1 + r.below(srec ? b.size() - 1 : 2);
                b[k] = r.chance(1, 2) ? std::uint8_t(b[k] + 1 - r.below(3)) : r.byte();
            } else {
                // Another count, the data cut or grown to match it, or not.
                const std::uint8_t count = r.chance(1, 2) ? std::uint8_t(b[0] + r.below(5) - 2) : r.byte();
                const std::size_t head = srec ? 1 : 4;
                const std::size_t unit = words ? 2 : 1;
                if (r.chance(3, 4)) {
                    const std::size_t want = srec ? std::size_t(count) : head + unit * count;
                    b.resize(std::max(want, head), 0xA5);
                }
                b[0] = count;
            }
            std::uint8_t sum = 0;
            for (std::uint8_t x : b) sum = std::uint8_t(sum + x);
            QByteArray line = srec ? lines[i].left(2) : QByteArray(":");
            line += QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())).toHex().toUpper();
            line += hexPair(srec ? std::uint8_t(~sum) : std::uint8_t(-sum));
            lines[i] = line + "\r";
            break;
        }
        }
        if (lines.isEmpty()) break;
    }
    return lines.join('\n');
}

class ImageFiles : public FormatFixture {
protected:
    void selectShape(const Shape& s) {
        st.OddEvenMode = s.oddEven ? 1 : 0;
        select(s.record);
        shape = &s;
        // What a load with fill 0x00 leaves when it stores nothing.
        const QString empty = write("empty.bin", QByteArray());
        load(empty, kBinary, 0, 2);
        ASSERT_EQ(st.ErrorFlag.get(), 0);
        baseline = st.buf.DeviceBuffer;
    }

    // A valid file of the format for the selected device: the top of its
    // image (data area included) or, for the PIC formats, all of its areas.
    QByteArray validFile(Format format, unsigned seed) {
        put(0, randomBytes(std::min<std::size_t>(st.buf.size(), 0x20000), seed));
        const DeviceRecord& rec = *st.CurrentDevice;
        const std::uint64_t stop = std::min<std::uint64_t>(defaultSaveStop(rec, st.OddEvenMode), st.buf.size() - 1);
        st.file.SaveStart = std::uint32_t(stop > 0x5FF ? stop - 0x5FF : 0);
        st.file.SaveStop = std::uint32_t(stop);
        st.file.FileFormat = format;
        const QString p = path("valid");
        EXPECT_TRUE(SaveFile(st, p));
        QByteArray b = readFile(p);
        // The PIC formats write the whole code area; its start and its end
        // (the ID, configuration and EEPROM records) are enough to damage.
        if (b.size() > 0x6000) b = b.left(b.indexOf('\n', 0x2000) + 1) + b.mid(b.indexOf('\n', b.size() - 0x2000) + 1);
        return b;
    }

    // Loads `content` and checks everything a load must hold to, whatever it read.
    void loadAndCheck(const QByteArray& content, Format format, std::int64_t offset, std::uint8_t fill,
                      const std::string& where) {
        SCOPED_TRACE(where);
        RecorderHost h;
        st.host = &h;
        st.settings.SoundOn = 1;
        progress.clear();
        const QString file = write("round", content);
        load(file, format, offset, fill);
        st.host = &host;

        const DeviceRecord& rec = *st.CurrentDevice;
        const int code = st.ErrorFlag.get();
        ASSERT_TRUE(kCodesOf[format].count(code)) << "code " << code;

        // The buffer: what the device needs, the view inside the block.
        const LoadBufferSize size = loadBufferSize(rec, st.OddEvenMode);
        ASSERT_EQ(st.buf.size(), size.block);
        ASSERT_EQ(st.buf.BufferViewSize, size.view);
        ASSERT_GE(std::uint64_t(st.buf.BufferViewSize), shape->need);
        ASSERT_LE(st.buf.BufferViewSize, st.buf.size());
        // The extent stored, or with nothing stored Highest 0 and Lowest the offset's size.
        const std::size_t lo = st.buf.LowestLoad, hi = st.buf.HighestLoad;
        const bool storedNothing = lo > hi;
        if (storedNothing) {
            ASSERT_EQ(hi, 0u);
            ASSERT_EQ(lo, std::size_t(offset < 0 ? -offset : offset));
        }
        ASSERT_LT(hi, st.buf.BufferViewSize);

        // Nothing changed outside the extent the load reports.
        if (fill == 2 && storedNothing) {
            ASSERT_EQ(st.buf.DeviceBuffer, baseline);
        } else if (fill == 2) {
            const std::uint8_t* now = st.buf.DeviceBuffer.data();
            ASSERT_EQ(std::memcmp(now, baseline.data(), lo), 0) << "a byte below the reported extent changed";
            ASSERT_EQ(std::memcmp(now + hi + 1, baseline.data() + hi + 1, baseline.size() - hi - 1), 0)
                << "a byte above the reported extent changed";
        }

        // The log: "Loaded" only after success, the code's line after a failure.
        const QStringList lines = h.lines();
        const QString loaded = " File " + file + " Loaded";
        if (code == kLoaded) {
            ASSERT_EQ(lines.count(loaded), 1) << lines.join("|").toStdString();
            ASSERT_TRUE(h.sounds().empty());
            for (int c : {2, 20, 21, 22, 23, 70}) ASSERT_FALSE(lines.contains(errorLineOf(c)));
        } else {
            for (const QString& l : lines) ASSERT_FALSE(l.contains("Loaded")) << l.toStdString();
            if (code == kReadFailed)
                ASSERT_EQ(h.messages(), QStringList{"|File ERROR"});
            else
                ASSERT_EQ(lines.last(), errorLineOf(code));
            ASSERT_EQ(h.sounds(), std::vector<Sound>{Sound::Error});
        }
        // One progress window, closed once, never past 100 %.
        ASSERT_EQ(progress.size(), 1u);
        ASSERT_EQ(progress[0]->closes, 1);
        for (int p : progress[0]->positions) ASSERT_TRUE(p >= 0 && p <= 100) << p;
    }

    // One round of the sweep: a damaged valid file, an invented one or noise.
    void sweep(Format format, unsigned seed, int rounds) {
        for (const Shape& s : kShapes) {
            selectShape(s);
            if (HasFatalFailure()) return;
            const QByteArray valid = validFile(format, seed);
            Rng r(seed * 131 + std::uint64_t(&s - kShapes));
            // A PIC18 image is a megabyte: fewer rounds keep the sweep quick.
            const int n = s.record.algorithm == 18 ? rounds / 3 : rounds;
            for (int round = 0; round < n; ++round) {
                QByteArray content;
                const auto kind = r.below(10);
                if (kind < 4 || (kind < 9 && format == kBinary))
                    content = mutate(valid, r);
                else if (kind < 6)
                    content = recordEdit(valid, r, format == kSRec, format == kInhx16);
                else if (kind < 9)
                    content = format == kSRec ? inventSRecordFile(r) : inventIntelFile(r, format == kInhx16);
                else
                    content = r.bytes(r.below(2048));
                std::int64_t offset = 0;
                if (r.chance(1, 4)) offset = std::int64_t(r.below(0x40000)) - 0x20000;
                if (r.chance(1, 20)) offset = r.chance(1, 2) ? 0xFFFFFFFFll : -0xFFFFFFFFll;
                const std::uint8_t fill = r.chance(4, 5) ? 2 : std::uint8_t(r.below(4));
                loadAndCheck(content, format, offset, fill,
                             std::string(s.name) + " seed " + std::to_string(seed) + " round " + std::to_string(round));
                if (HasFatalFailure()) return;
            }
        }
    }

    const Shape* shape = nullptr;
    std::vector<std::uint8_t> baseline;
};

}  // namespace

TEST_F(ImageFiles, IntelHexOnEveryBufferShape) { sweep(kIntel, 1, 16); }
TEST_F(ImageFiles, SRecordsOnEveryBufferShape) { sweep(kSRec, 2, 16); }
TEST_F(ImageFiles, BinaryOnEveryBufferShape) { sweep(kBinary, 3, 8); }
TEST_F(ImageFiles, Inhx8mOnEveryBufferShape) { sweep(kInhx8m, 4, 16); }
TEST_F(ImageFiles, Inhx16OnEveryBufferShape) { sweep(kInhx16, 5, 16); }

TEST_F(ImageFiles, EveryRecordTypeOfTheIntelStyleFormats) {
    // One record of each type (two data bytes, four for type 05, whose data
    // is a start address), then an end record. Intel HEX meets all 256 types;
    // the PIC formats, on a PIC, every type they tell apart and a spread of the rest.
    std::vector<int> sampled;
    for (int t = 0; t < 16; ++t) sampled.push_back(t);
    for (int t : {0x20, 0x3F, 0x40, 0x7F, 0x80, 0xC0, 0xFE, 0xFF}) sampled.push_back(t);
    std::vector<int> all(256);
    for (int t = 0; t < 256; ++t) all[std::size_t(t)] = t;
    for (const Format format : {kIntel, kInhx8m, kInhx16}) {
        selectShape(shapeNamed(format == kIntel ? "Eeprom32K" : "PicClassic"));
        for (int type : format == kIntel ? all : sampled) {
            const std::vector<std::uint8_t> data =
                type == 5 ? std::vector<std::uint8_t>{0xAB, 0xCD, 0x12, 0x34} : std::vector<std::uint8_t>{0xAB, 0xCD};
            const std::uint8_t ll = std::uint8_t(format == kInhx16 ? data.size() / 2 : data.size());
            const QByteArray file = intelLine(ll, 0x0010, std::uint8_t(type), data, true, "\r\n") + ":00000001FF\r\n";
            const std::string where = "format " + std::to_string(format) + " type " + std::to_string(type);
            loadAndCheck(file, format, 0, 2, where);
            if (HasFatalFailure()) return;
            // Intel HEX knows types 00-05 only; the PIC readers store any type
            // they do not know as data.
            const bool known = type <= 5;
            const int want = format == kIntel && !known ? kNotIntelHex : kLoaded;
            ASSERT_EQ(st.ErrorFlag.get(), want) << where;
            const bool data_record = format == kIntel ? type == 0 : type == 0 || type > 5;
            if (data_record) {
                // Intel HEX byte addresses; INHX8M words low byte first; INHX16 word addresses.
                const std::size_t at = format == kInhx16 ? 0x20 : 0x10;
                const QByteArray want_bytes = format == kInhx8m ? QByteArray("\xCD\xAB", 2) : QByteArray("\xAB\xCD", 2);
                ASSERT_EQ(image(at, 2), want_bytes) << where;
                ASSERT_EQ(st.buf.LowestLoad, at) << where;
                ASSERT_EQ(st.buf.HighestLoad, at + 1) << where;
            } else {
                ASSERT_EQ(st.buf.DeviceBuffer, baseline) << where;
            }
        }
    }
}

TEST_F(ImageFiles, EveryRecordTypeOfSRecords) {
    // "S" and any byte, then the same count, address and data: S1 reads a
    // 16-bit address, S2 a 24-bit one that takes a data byte, S3 a 32-bit one
    // that leaves no data; S7-S9 end the file; every other type is skipped.
    selectShape(shapeNamed("Eeprom32K"));
    for (int type = 0; type < 256; ++type) {
        if (type == 'S') continue;  // a second mark: the next record's
        QByteArray file = "S";
        file += char(type);
        file += "05" "0010" "ABCD";
        file += hexPair(std::uint8_t(~(0x05 + 0x00 + 0x10 + 0xAB + 0xCD)));
        file += "\nS9030000FC\n";
        const std::string where = "type " + std::to_string(type);
        loadAndCheck(file, kSRec, 0, 2, where);
        if (HasFatalFailure()) return;
        ASSERT_EQ(st.ErrorFlag.get(), 0) << where;
        if (type == '1') {
            ASSERT_EQ(image(0x10, 2), QByteArray("\xAB\xCD", 2));
        } else if (type == '2') {
            ASSERT_EQ(image(0x10AB, 1), QByteArray("\xCD", 1));
        } else {
            ASSERT_EQ(st.buf.DeviceBuffer, baseline) << where;
        }
    }
}

TEST_F(ImageFiles, HugeCountsAddressesAndOffsets) {
    struct Row {
        const char* name;
        const char* shape;
        Format format;
        QByteArray content;
        std::int64_t offset;
        int code;
        std::int64_t highest;  // -1: not checked
    };
    const auto data = [](int n, std::uint8_t b = 0x5A) { return std::vector<std::uint8_t>(std::size_t(n), b); };
    const auto end = QByteArray(":00000001FF\r\n");
    const QByteArray bigBinary(0x20001, '\x11');
    const Row rows[] = {
        {"count above 64", "Eeprom32K", kIntel, intelLine(0xFF, 0, 0, data(255), true, "\r\n") + end, 0, kNotIntelHex, -1},
        {"count of 64", "Eeprom32K", kIntel, intelLine(64, 0, 0, data(64), true, "\r\n") + end, 0, kLoaded, 63},
        {"last byte of the view", "Eeprom32K", kIntel,
         intelLine(2, 0, 4, {0x00, 0x01}, true, "\r\n") + intelLine(1, 0xFFFF, 0, data(1), true, "\r\n") + end, 0,
         kLoaded, 0x1FFFF},
        {"one byte past the view", "Eeprom32K", kIntel,
         intelLine(2, 0, 4, {0x00, 0x01}, true, "\r\n") + intelLine(2, 0xFFFF, 0, data(2), true, "\r\n") + end, 0,
         kOutsideBuffer, 0x1FFFF},
        {"linear FFFF", "Eeprom32K", kIntel,
         intelLine(2, 0, 4, {0xFF, 0xFF}, true, "\r\n") + intelLine(16, 0xFFF0, 0, data(16), true, "\r\n") + end, 0,
         kOutsideBuffer, -1},
        {"segment FFFF", "Eeprom32K", kIntel,
         intelLine(2, 0, 2, {0xFF, 0xFF}, true, "\r\n") + intelLine(16, 0xFFF0, 0, data(16), true, "\r\n") + end, 0,
         kOutsideBuffer, -1},
        {"offset below zero", "Eeprom32K", kIntel, intelLine(4, 0, 0, data(4), true, "\r\n") + end, -1, kOutsideBuffer, -1},
        {"largest offset", "Eeprom32K", kIntel, intelLine(4, 0, 0, data(4), true, "\r\n") + end, 0xFFFFFFFFll, kOutsideBuffer, -1},
        {"offset brings it back", "Eeprom32K", kIntel,
         intelLine(2, 0, 4, {0x00, 0x10}, true, "\r\n") + intelLine(4, 0, 0, data(4), true, "\r\n") + end, -0x100000,
         kLoaded, 3},
        {"S3 at FFFFFFFF", "Eeprom32K", kSRec, "S306FFFFFFFF5A" + hexPair(std::uint8_t(~(6 + 4 * 0xFF + 0x5A))) + "\n", 0,
         kOutsideBuffer, -1},
        {"S1 count FF, file ends", "Eeprom32K", kSRec, "S1FF00005A5A5A", 0, kReadFailed, 2},
        {"S1 count below its address", "Eeprom32K", kSRec, "S1020000FD\nS9030000FC\n", 0, kNotMotorola, -1},
        {"binary bigger than the view", "Eeprom32K", kBinary, bigBinary, 0, kOutsideBuffer, 0x1FFFF},
        {"binary at the largest offset", "Eeprom32K", kBinary, QByteArray(16, 'x'), 0xFFFFFFFFll, kOutsideBuffer, -1},
        {"binary at the lowest offset", "Eeprom32K", kBinary, QByteArray(16, 'x'), -0xFFFFFFFFll, kOutsideBuffer, -1},
        {"INHX8M 255 bytes of PIC18 EEPROM", "Pic18", kInhx8m,
         intelLine(2, 0, 4, {0x00, 0xF0}, true, "\n") + intelLine(0xFF, 0, 0, data(255), true, "\n") + end, 0, kLoaded,
         0xF0200 + 254},
        {"INHX8M linear FFFF", "Pic18", kInhx8m,
         intelLine(2, 0, 4, {0xFF, 0xFF}, true, "\n") + intelLine(0x10, 0xFFF0, 0, data(16), true, "\n") + end, 0,
         kOutsideBuffer, -1},
        {"INHX16 255 words", "PicClassic", kInhx16, intelLine(0xFF, 0, 0, data(510), true, "\n") + end, 0, kLoaded, 509},
        {"INHX16 linear FFFF", "PicClassic", kInhx16,
         intelLine(1, 0, 4, {0xFF, 0xFF}, true, "\n") + intelLine(8, 0xFFF0, 0, data(16), true, "\n") + end, 0,
         kOutsideBuffer, -1},
    };
    for (const Row& row : rows) {
        selectShape(shapeNamed(row.shape));
        loadAndCheck(row.content, row.format, row.offset, 2, row.name);
        if (HasFatalFailure()) return;
        EXPECT_EQ(st.ErrorFlag.get(), row.code) << row.name;
        if (row.highest >= 0) {
            EXPECT_EQ(std::int64_t(st.buf.HighestLoad), row.highest) << row.name;
        }
    }
}

TEST_F(ImageFiles, RecordsAcrossTheEdgeOfTheReadWindow) {
    // The reader holds about a megabyte of the file at a time; a record that
    // straddles the end of that window must read the same as any other.
    constexpr qsizetype kWindow = qsizetype(1) << 20;
    selectShape(shapeNamed("Eeprom32K"));
    const std::vector<std::uint8_t> bytes = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87,
                                             0x98, 0xA9, 0xBA, 0xCB, 0xDC, 0xED, 0xFE, 0x0F};
    for (const Format format : {kIntel, kSRec, kInhx16}) {
        QByteArray first, record, end;
        if (format == kSRec) {
            first = "S1040000AA51\n";
            QByteArray hex = "S113" "0100";
            std::uint8_t sum = 0x13 + 0x01;
            for (std::uint8_t b : bytes) hex += hexPair(b), sum = std::uint8_t(sum + b);
            record = hex + hexPair(std::uint8_t(~sum)) + "\n";
            end = "S9030000FC\n";
        } else {
            first = intelLine(format == kInhx16 ? 1 : 2, 0, 0, {0xAA, 0xAA}, true, "\n");
            record = intelLine(format == kInhx16 ? 8 : 16, format == kInhx16 ? 0x80 : 0x100, 0, bytes, true, "\n");
            end = ":00000001FF\n";
        }
        for (qsizetype shift : {0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 20, 33, 40, 41, 42, 43, 44, 45, 46}) {
            if (shift > record.size()) continue;
            // The record starts `shift` bytes before the first window ends.
            const QByteArray file = first + QByteArray(kWindow - shift - first.size(), '\n') + record + end;
            const std::string where = "format " + std::to_string(format) + " shift " + std::to_string(shift);
            loadAndCheck(file, format, 0, 2, where);
            if (HasFatalFailure()) return;
            ASSERT_EQ(st.ErrorFlag.get(), 0) << where;
            ASSERT_EQ(image(0x100, 16), QByteArray(reinterpret_cast<const char*>(bytes.data()), 16)) << where;
            ASSERT_EQ(st.buf.HighestLoad, 0x10Fu) << where;
        }
    }
}

TEST_F(ImageFiles, BinaryLargerThanTheReadWindow) {
    static const Shape big{"Flash2M", {.letter = 'F', .lastAddress = 0x1FFFFF}, false, 0x200000};
    selectShape(big);
    const QByteArray content = randomBytes((std::size_t(1) << 20) + 0x1234, 51);
    loadAndCheck(content, kBinary, 0x10, 2, "binary");
    ASSERT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_EQ(image(0x10, std::size_t(content.size())), content);
    EXPECT_EQ(st.buf.LowestLoad, 0x10u);
    EXPECT_EQ(st.buf.HighestLoad, std::size_t(content.size()) + 0xF);
}
