// JEDEC fuse-map files: the writer against a file written by hand, the round
// trip through the simulated chip for every sample PLD, and files the reader
// must refuse or complete.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <map>

#include "../families/PldRig.h"
#include "fileformats/FileFrame.h"
#include "fileformats/LoadSave.h"
#include "operations/Checksum.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

QByteArray ones(int n) { return QByteArray(n, '1'); }

// A fuse map of `n` random fuses.
Bytes randomFuses(std::size_t n, std::uint32_t seed) {
    Bytes m = pattern(n, seed);
    for (auto& b : m) b &= 1;
    return m;
}

QByteArray digits(const Bytes& fuses) {
    QByteArray t;
    for (std::uint8_t f : fuses) t += char('0' + (f & 1));
    return t;
}

// The fuse checksum as the JEDEC format defines it: the fuses in 8-bit words,
// the first fuse of a word its least significant bit, the words summed.
QByteArray fuseSum(const Bytes& fuses) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < fuses.size(); ++i) sum += unsigned(fuses[i] & 1) << (i % 8);
    return QString::asprintf("%.4X", sum & 0xFFFF).toLatin1();
}

// A file as another tool writes it: STX, fields closed by '*', 64 fuses an L
// field, the fuse checksum, ETX and the transmission checksum after it.
QByteArray standardFile(const Bytes& fuses, int pins) {
    QByteArray t = "\x02\r\nmade elsewhere\r\n*QP" + QByteArray::number(pins) + "*QF" +
                   QByteArray::number(qsizetype(fuses.size())) + "*G0*F0*\r\n";
    for (std::size_t i = 0; i < fuses.size(); i += 64) {
        const Bytes line(fuses.begin() + std::ptrdiff_t(i), fuses.begin() + std::ptrdiff_t(std::min(i + 64, fuses.size())));
        t += QString::asprintf("L%05d ", int(i)).toLatin1() + digits(line) + "*\r\n";
    }
    t += "C" + fuseSum(fuses) + "*\r\n\x03";
    unsigned xmit = 0;
    for (char c : t) xmit += std::uint8_t(c);
    return t + QString::asprintf("%.4X", xmit & 0xFFFF).toLatin1();
}

struct JedecRig : PldRig {
    QTemporaryDir dir;
    explicit JedecRig(const DeviceRecord& rec) : PldRig(rec) { st.file.FileFormat = 5; }
    QString path(const char* name) const { return dir.filePath(name); }
    QByteArray save(const char* name) {
        EXPECT_TRUE(SaveFile(st, path(name)));
        return readFile(path(name));
    }
    // A load the way the Load button makes it, after a fresh selection.
    std::uint8_t load(const QString& file) {
        const DeviceRecord rec = dev();  // select() replaces the record dev() refers to
        select(rec);
        return loadOver(file);
    }
    // A load over the image in place.
    std::uint8_t loadOver(const QString& file) {
        host.memoClear();
        LoadFile(st, file);
        UpdateChecksum(st);
        return st.ErrorFlag.get();
    }
    std::uint8_t loadText(const QByteArray& text, bool fresh = true) {
        writeFile(path("in.jed"), text);
        return fresh ? load(path("in.jed")) : loadOver(path("in.jed"));
    }
    // The log's lines about fuses that are never moved.
    QStringList fuseNotes() const {
        QStringList out;
        for (const QString& l : host.lines())
            if (l.startsWith(" Fuses ")) out << l;
        return out;
    }
    bool loaded() const {
        const QStringList lines = host.lines();
        return std::any_of(lines.begin(), lines.end(),
                           [](const QString& l) { return l.startsWith(" File ") && l.endsWith(" Loaded"); });
    }
};

}  // namespace

// A GAL16V8 map with a UES that holds a '*': the file as the format lays it
// out, written here by hand; it loads back into the same map and checksum.
TEST(Jedec, WriterLaysOutTheMapAndItLoadsBack) {
    JedecRig r(samplePld("Latvane", "GAL16V8").rec);
    const QByteArray uesBits = "10000010" "01000010" "01010100" "11000010"  // 'A' 'B' '*' 'C'
                               "00000000" "00100110" "10100110" "11111110";  // 00 'd' 'e' 7F
    Bytes map(2194, 1);
    map[0] = map[33] = map[2050] = map[2193] = 0;
    for (int i = 0; i < 64; ++i) map[std::size_t(2056 + i)] = std::uint8_t(uesBits[i] - '0');
    r.setImage(map);
    r.st.pld.PldSignature = {0x01, 0x23, 0x1A, 0xA1, 0x00, 0x00, 0x5C, 0x10};

    QByteArray want("\x02\r\nJedec File for GAL16V8", 25);
    want += QByteArray(12, '\0') + "\r\n*QP20\r\n*QF2194\r\n*QV0\r\n*F0\r\n*G0\r\n*X0\r\n";
    for (int line = 0; line < 64; ++line) {
        QByteArray fuses = ones(32);
        if (line == 0) fuses[0] = '0';
        if (line == 1) fuses[1] = '0';
        want += QString::asprintf("*L%05d ", 32 * line).toLatin1() + fuses + "\r\n";
    }
    want += "*L02048 11011111\r\n";
    want += "*N UES \"AB\" 2A  \"C\" 00  \"de\" 7F \r\n";
    want += "*L02056 " + uesBits + "\r\n";
    want += "*L02120 " + ones(73) + "0\r\n";
    want += "*N PES 01 23 1A A1 00 00 5C 10\r\n*C0B28\r\n";
    EXPECT_EQ(r.save("out.jed"), want);

    r.st.pld.PldSecureFlag = 1;
    EXPECT_EQ(r.load(r.path("out.jed")), 0) << r.memo();
    EXPECT_EQ(r.image(0x10000), map + Bytes(0x10000 - map.size(), 1));
    EXPECT_EQ(r.host.checksum(), "0x0B28");
    EXPECT_EQ(r.st.pld.PldSecureFlag, 0);
}

// Every sample part: the chip read into the image, saved, and loaded into a
// fresh image gives the same image, and the file's checksum is the one the
// main window shows. A file saved right after a selection loads back blank.
TEST(Jedec, ReadSaveLoadGivesTheSameImageForEverySamplePart) {
    for (const SamplePld& part : samplePlds()) {
        SCOPED_TRACE(part.label());
        JedecRig r(part.rec);
        const QByteArray blankFile = r.save("blank.jed");
        EXPECT_EQ(r.load(r.path("blank.jed")), 0) << r.memo();
        EXPECT_EQ(r.image(0x10000), Bytes(0x10000, 1));

        r.chip().loadFuseMap(holdableMap(part.rec, 11 + std::uint32_t(part.rec.Algorithm)));
        ASSERT_TRUE(r.run('R')) << r.memo();
        const Bytes read = r.image(0x10000);
        const QString shown = r.host.checksum();
        const QByteArray file = r.save("read.jed");
        EXPECT_TRUE(file.endsWith("*C" + shown.mid(2).toLatin1() + "\r\n")) << shown.toStdString();
        EXPECT_EQ(r.load(r.path("read.jed")), 0) << r.memo();
        EXPECT_EQ(r.image(0x10000), read);
        EXPECT_EQ(r.host.checksum(), shown);
    }
}

// Hand-written files for a GAL16V8 (20 pins, 2194 fuses), each loaded over
// the image of a good file with its security field set: what the reader
// refuses, with which line, and what it completes. A refused file leaves
// the image, its checksum and the security field as they were.
TEST(Jedec, ReaderChecksSizesRangesAndChecksum) {
    const QByteArray allFuses = "*L00000 " + ones(2194) + "\r\n";
    struct Case {
        const char* name;
        QByteArray text;
        std::uint8_t error;
        const char* line;
        std::uint8_t secure;
    };
    const Case cases[] = {
        {"complete, secured", "\x02 x*QP20*QF2194*G1*" + allFuses + "*C10F1*\x03" "0000", 0, nullptr, 1},
        {"ends with ETX, no C field", "\x02*QF2194*G0*" + allFuses + "*\r\n\x03", 0, nullptr, 0},
        {"no fuse field", "\x02*QP20*QF2194*G0*C0000*\x03", kNotJedec, " Not JEDEC format", 0},
        {"other fuse count", "*QF2706*G0*" + allFuses, kReadFailed, " File NOT for Selected Device !!", 0},
        {"other package", "*QP24*G0*" + allFuses, kReadFailed, " File NOT for Selected Device !!", 0},
        {"checksum differs", "*QF2194*G0*" + allFuses + "*C10F2*", kChecksumError, " Checksum given 10F2 calculated 10F1",
         0},
        {"checksum past four digits", "*G0*" + allFuses + "*C110F1*", kReadFailed, " File Error , Aborted", 0},
        {"address past the image", "*G0*L99999999 1*\x03", kReadFailed, " File Error , Aborted", 0},
        {"address beyond any number", "*G0*L123456789012345678901 1*\x03", kReadFailed, " File Error , Aborted", 0},
        {"fuse past the image", "*G0*L131071 11*\x03", kReadFailed, " File Error , Aborted", 0},
        {"fuse at the fuse count", "*QF2194*G0*L02194 0*\x03", kReadFailed, " File Error , Aborted", 0},
        {"fuses run past the fuse count", "*QF2194*G0*L02193 00*\x03", kReadFailed, " File Error , Aborted", 0},
        {"fuses stop short of QF", "*QF2194*G0*L00000 10x*", kReadFailed, " File Error , Aborted", 0},
        {"cut inside a fuse list", "*QF2194*G0*L00000 " + ones(1000), kReadFailed, " File Error , Aborted", 0},
        {"cut after a field", "\x02*QP20*QF2194*G0*" + allFuses + "*\r\n", kReadFailed,
         " File incomplete: it ends before its C field or ETX", 0},
        {"F0 fills the fuses not listed", "*QF2194*F0*L00005 1*C0020*", 0, nullptr, 0},
    };
    const SamplePld part = samplePld("Latvane", "GAL16V8");
    Bytes before = randomFuses(2194, 9);
    const QByteArray good = "\x02*QP20*QF2194*G1*L00000 " + digits(before) + "*C" + fuseSum(before) + "*\x03";
    before.resize(0x10000, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JedecRig r(part.rec);
        ASSERT_EQ(r.loadText(good), 0) << r.memo();
        const QString shown = r.host.checksum();
        EXPECT_EQ(r.loadText(c.text, false), c.error) << r.memo();
        if (c.line) {
            EXPECT_TRUE(r.said(c.line)) << r.memo();
        }
        EXPECT_EQ(r.loaded(), c.error == 0) << r.memo();
        if (c.error != 0) {
            EXPECT_EQ(r.image(0x10000), before);
            EXPECT_EQ(r.host.checksum(), shown);
            EXPECT_EQ(r.st.pld.PldSecureFlag, 1);
        } else {
            EXPECT_EQ(r.st.pld.PldSecureFlag, c.secure);
        }
    }
    JedecRig r(part.rec);
    ASSERT_EQ(r.loadText(cases[std::size(cases) - 1].text), 0);
    Bytes want(0x10000, 1);
    std::fill_n(want.begin(), 2194, 0);
    want[5] = 1;
    EXPECT_EQ(r.image(0x10000), want);
}

namespace {

// The fuses of a file that no transfer of the part moves, as the geometry
// table gives them: the 6001/6002 array is filed as 8154 fuses but moved as
// 78 x 75 cells, and the algorithm-13 part's user row is never moved.
struct Untransferred {
    int first, last;
    QStringList note;
};
const std::map<std::string, Untransferred> kUntransferred{
    {"GAL6001", {5850, 8153, {" Fuses 5850-8153 are not read, programmed or verified"}}},
    {"GAL6002", {5850, 8153, {" Fuses 5850-8153 are not read, programmed or verified"}}},
    {"ATF22V10C", {5828, 5891, {" Fuses 5828-5891 are not read, programmed or verified"}}},
};

}  // namespace

// Every sample part, end to end through files: a file of another tool loads;
// saving and loading it again gives the same image; a saved file cut at any
// line end is refused and leaves the loaded image and checksum alone, while
// the whole file loads; Program then puts the file on the part except the
// fuses the log names as never moved, and a Read names them again.
TEST(Jedec, EverySamplePartTakesWholeFilesOnly) {
    for (const SamplePld& part : samplePlds()) {
        SCOPED_TRACE(part.label());
        JedecRig r(part.rec);
        const std::size_t fuses = r.chip().fuseMap().size();
        const Bytes a = randomFuses(fuses, 3 + std::uint32_t(part.rec.Algorithm)),
                    b = randomFuses(fuses, 50 + std::uint32_t(part.rec.Algorithm));
        const auto padded = [](Bytes m) { return m + Bytes(0x10000 - m.size(), 1); };
        const auto it = kUntransferred.find(part.rec.Name);
        const Untransferred never = it == kUntransferred.end() ? Untransferred{-1, -1, {}} : it->second;

        ASSERT_EQ(r.loadText(standardFile(a, part.rec.PinCount)), 0) << r.memo();
        EXPECT_EQ(r.image(0x10000), padded(a));
        EXPECT_EQ(r.fuseNotes(), never.note);
        const QString shown = r.host.checksum();
        r.save("a.jed");
        ASSERT_EQ(r.load(r.path("a.jed")), 0) << r.memo();
        EXPECT_EQ(r.image(0x10000), padded(a));
        EXPECT_EQ(r.host.checksum(), shown);

        r.setImage(b);
        const QByteArray whole = r.save("b.jed");
        ASSERT_EQ(r.loadOver(r.path("a.jed")), 0);
        int cuts = 0;
        for (qsizetype end = whole.indexOf('\n'); end >= 0 && end + 1 < whole.size(); end = whole.indexOf('\n', end + 1)) {
            SCOPED_TRACE(whole.mid(end - 20, 21).toStdString());
            EXPECT_NE(r.loadText(whole.left(end + 1), false), 0);
            EXPECT_FALSE(r.loaded()) << r.memo();
            ++cuts;
        }
        EXPECT_EQ(cuts, whole.count('\n') - 1);
        EXPECT_EQ(r.image(0x10000), padded(a));
        EXPECT_EQ(r.host.checksum(), shown);
        ASSERT_EQ(r.loadOver(r.path("b.jed")), 0) << r.memo();
        EXPECT_EQ(r.image(0x10000), padded(b));

        ASSERT_TRUE(r.run('P')) << r.memo();
        EXPECT_TRUE(r.said(" Verify Completed")) << r.memo();
        EXPECT_EQ(r.fuseNotes(), never.note);
        // Every fuse that did not reach the part lies in the range the log names.
        const Bytes onPart = r.chip().fuseMap();
        int differ = 0;
        for (std::size_t i = 0; i < fuses; ++i)
            if (onPart[i] != b[i]) {
                ++differ;
                EXPECT_TRUE(int(i) >= never.first && int(i) <= never.last) << i;
            }
        EXPECT_EQ(differ > 0, !never.note.empty());
        // A Read names them too, and leaves them as the image holds them.
        ASSERT_TRUE(r.run('R')) << r.memo();
        EXPECT_EQ(r.fuseNotes(), never.note);
        EXPECT_EQ(r.image(0x10000), padded(b));
    }
}
