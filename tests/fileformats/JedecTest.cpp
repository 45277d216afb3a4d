// JEDEC fuse-map files: the writer against a file written by hand, the round
// trip through the simulated chip for every sample PLD, and files the reader
// must refuse or complete.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "../families/PldRig.h"
#include "fileformats/FileFrame.h"
#include "fileformats/LoadSave.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

QByteArray ones(int n) { return QByteArray(n, '1'); }

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
        host.memoClear();
        LoadFile(st, file);
        return st.ErrorFlag.get();
    }
    std::uint8_t loadText(const QByteArray& text) {
        writeFile(path("in.jed"), text);
        return load(path("in.jed"));
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

// Hand-written files for a GAL16V8 (20 pins, 2194 fuses): what the reader
// refuses, with which line, and what it completes. A file that does not load
// never leaves the part to be secured.
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
        {"no fuse field", "\x02*QP20*QF2194*G1*C0000*\x03", kNotJedec, " Not JEDEC format", 0},
        {"other fuse count", "*QF2706*G1*" + allFuses, kReadFailed, " File NOT for Selected Device !!", 0},
        {"other package", "*QP24*G1*" + allFuses, kReadFailed, " File NOT for Selected Device !!", 0},
        {"checksum differs", "*QF2194*G1*" + allFuses + "*C10F2*", kChecksumError, " Checksum given 10F2 calculated 10F1",
         0},
        {"checksum past four digits", "*G1*" + allFuses + "*C110F1*", kReadFailed, " File Error , Aborted", 0},
        {"address past the image", "*G1*L99999999 1*", kReadFailed, " File Error , Aborted", 0},
        {"address beyond any number", "*G1*L123456789012345678901 1*", kReadFailed, " File Error , Aborted", 0},
        {"fuses stop short of QF", "*QF2194*G1*L00000 10x*", kReadFailed, " File Error , Aborted", 0},
        {"cut inside a fuse list", "*QF2194*G1*L00000 " + ones(1000), kReadFailed, " File Error , Aborted", 0},
        {"F0 fills the fuses not listed", "*QF2194*F0*L00005 1*C0020*", 0, nullptr, 0},
    };
    const SamplePld part = samplePld("Latvane", "GAL16V8");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JedecRig r(part.rec);
        r.st.pld.PldSecureFlag = 1;
        EXPECT_EQ(r.loadText(c.text), c.error) << r.memo();
        if (c.line) {
            EXPECT_TRUE(r.said(c.line)) << r.memo();
        }
        EXPECT_EQ(r.st.pld.PldSecureFlag, c.secure);
    }
    JedecRig r(part.rec);
    ASSERT_EQ(r.loadText(cases[std::size(cases) - 1].text), 0);
    Bytes want(0x10000, 1);
    std::fill_n(want.begin(), 2194, 0);
    want[5] = 1;
    EXPECT_EQ(r.image(0x10000), want);
}
