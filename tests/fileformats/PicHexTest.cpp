// INHX8M and INHX16: the PIC area map, missing-area warnings, byte order,
// and round trips against srec_cat (-byte-swap 2, -Intel_HeXadecimal_16).
#include "FormatFixture.h"
#include "fileformats/FileFrame.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

const RecordSpec kClassic{.letter = 'C', .lastAddress = 0x1FFF, .algorithm = 1, .pageCode = 10, .blank = 0x3F,
                          .dataEeprom = 0x3F, .configCount = 2};
const RecordSpec kClassicNoEeprom{.letter = 'C', .lastAddress = 0x7FF, .algorithm = 4, .pageCode = 12, .blank = 0x3F,
                                  .configCount = 2};
const RecordSpec kEnhanced{.letter = 'C', .lastAddress = 0x3FFF, .algorithm = 1, .pageCode = 46, .blank = 0x3F,
                           .dataEeprom = 0xFF, .configCount = 4};
const RecordSpec kPic18{.letter = 'C', .lastAddress = 0x7FFF, .algorithm = 18, .pageCode = 20, .blank = 0xFF,
                        .dataEeprom = 0xFF, .configCount = 14,
                        .masks = {0x00, 0x27, 0x1F, 0x0F, 0x00, 0x83, 0x85, 0x00, 0x00, 0x0F, 0xC0, 0x0F, 0x00, 0x40}};
RecordSpec large(RecordSpec s, std::uint32_t last) {
    s.lastAddress = last;
    return s;
}
const RecordSpec kAlg3{.letter = 'C', .lastAddress = 0x1FFF, .algorithm = 3, .pageCode = 5, .blank = 0x3F,
                       .configCount = 2};
const RecordSpec kBaseline{.letter = 'C', .lastAddress = 0x3FF, .algorithm = 0, .pageCode = 1, .blank = 0x0F,
                           .configCount = 2};

// One record; `ll` defaults to the byte count (INHX16 gives words).
QByteArray record(std::uint8_t type, std::uint16_t address, const QByteArray& data, int ll = -1) {
    QByteArray bytes;
    bytes.append(char(ll < 0 ? data.size() : ll));
    bytes.append(char(address >> 8));
    bytes.append(char(address & 0xFF));
    bytes.append(char(type));
    bytes.append(data);
    std::uint8_t sum = 0;
    for (char c : bytes) sum = std::uint8_t(sum + std::uint8_t(c));
    bytes.append(char(std::uint8_t(-sum)));
    return ":" + bytes.toHex().toUpper() + "\n";
}

QByteArray upper(std::uint16_t value) { return record(4, 0, QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(4, '0'))); }

const QByteArray kEnd = ":00000001FF\n";

QStringList warnings(const QStringList& lines) {
    QStringList w;
    for (const QString& l : lines)
        if (l.startsWith(" WARNING not present in file : ")) w << l.section(": ", 1);
    return w;
}

}  // namespace

class PicHex : public FormatFixture {
protected:
    QByteArray swapped(const QByteArray& b) {
        QByteArray s = b;
        for (qsizetype i = 0; i + 1 < s.size(); i += 2) std::swap(s[i], s[i + 1]);
        return s;
    }
};

TEST_F(PicHex, Inhx8mWordsAreStoredHighByteFirst) {
    select(kClassic);
    load(write("a.hex", record(0, 0, QByteArray::fromHex("2800FF3F")) + kEnd), 3);
    ASSERT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_EQ(image(0, 4), QByteArray::fromHex("00283FFF"));
}

TEST_F(PicHex, Inhx8mOddAddressLandsInTheRightByte) {
    select(kClassic);
    // File byte 1 is the high byte of word 0; bytes 2-3 are word 1, low byte first.
    load(write("odd.hex", record(0, 1, QByteArray::fromHex("12AB34")) + kEnd), 3);
    ASSERT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_EQ(image(0, 4), QByteArray::fromHex("12FF34AB"));
}

TEST_F(PicHex, CodeOnlyFileWarnsOfTheMissingAreas) {
    struct Case {
        RecordSpec shape;
        QStringList missing;
    };
    for (const Case& c : {Case{kClassic, {"DATA", "CONFIG", "ID"}}, Case{kClassicNoEeprom, {"CONFIG", "ID"}},
                          Case{kPic18, {"DATA", "CONFIG", "ID"}}, Case{kAlg3, {"CONFIG"}}}) {
        host.memoClear();
        select(c.shape);
        const QString file = write("code.hex", record(0, 0, QByteArray::fromHex("2800FF3F")) + kEnd);
        load(file, 3);
        ASSERT_EQ(st.ErrorFlag.get(), 0);
        EXPECT_EQ(warnings(host.lines()), c.missing) << int(c.shape.algorithm);
        EXPECT_EQ(host.lines().mid(0, 2), (QStringList{" ", " File " + file + " Loaded"}));
    }
}

TEST_F(PicHex, ClassicAreasClearTheirWarningsAndStayInPlace) {
    select(kClassic);
    const QByteArray file = record(0, 0, QByteArray::fromHex("2800")) + record(0, 0x4000, QByteArray::fromHex("01000200")) +
                            record(0, 0x400E, QByteArray::fromHex("723F")) +
                            record(0, 0x4200, QByteArray::fromHex("55006600")) + kEnd;
    load(write("all.hex", file), 3);
    ASSERT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_TRUE(warnings(host.lines()).isEmpty()) << host.lines().join("|").toStdString();
    EXPECT_EQ(image(0x4000, 4), QByteArray::fromHex("00010002"));
    EXPECT_EQ(image(0x400E, 2), QByteArray::fromHex("3F72"));
    EXPECT_EQ(image(0x4200, 4), QByteArray::fromHex("00550066"));
}

TEST_F(PicHex, OnlyARecordStartingAtTheConfigurationAddressIsConfiguration) {
    // 8K words under the 12-bit map: its configuration word 0xFFF lies inside the code.
    select({.letter = 'C', .lastAddress = 0x3FFF, .algorithm = 0, .pageCode = 1, .blank = 0x3F, .configCount = 4});
    load(write("c.hex", record(0, 0x2000, QByteArray::fromHex("11223344")) + kEnd), 3);
    ASSERT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_EQ(image(0x2000, 4), QByteArray::fromHex("22114433"));
    EXPECT_EQ(image(0x400E, 4), QByteArray::fromHex("3FFF3FFF"));
}

TEST_F(PicHex, EnhancedEepromMovesToItsBufferPlace) {
    select(kEnhanced);
    const QByteArray file = upper(0x0001) + record(0, 0xE000, QByteArray::fromHex("AA00BB00")) +
                            record(0, 0x0000, QByteArray::fromHex("11002200")) +
                            record(0, 0x000E, QByteArray::fromHex("E4FF1F3F")) + kEnd;
    load(write("enh.hex", file), 3);
    ASSERT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_EQ(image(0x10200, 4), QByteArray::fromHex("00AA00BB"));
    EXPECT_EQ(image(0x10000, 4), QByteArray::fromHex("00110022"));
    EXPECT_EQ(image(0x1000E, 4), QByteArray::fromHex("FFE43F1F"));
    EXPECT_TRUE(warnings(host.lines()).isEmpty());
}

TEST_F(PicHex, Pic18AreasFollowTheirExtendedRecords) {
    select(kPic18);
    const QByteArray file = record(0, 0, QByteArray::fromHex("1234")) + upper(0x00F0) +
                            record(0, 0, QByteArray::fromHex("0102")) + upper(0x0020) +
                            record(0, 0, QByteArray::fromHex("A1A2")) + upper(0x0030) +
                            record(0, 1, QByteArray::fromHex("C8")) + kEnd;
    load(write("p18.hex", file), 3);
    ASSERT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_EQ(image(0, 2), QByteArray::fromHex("3412"));
    EXPECT_EQ(image(0xF0200, 2), QByteArray::fromHex("0102"));
    EXPECT_EQ(st.buf.DeviceBuffer[0xF0010], 0xC8);  // CONFIG1H
    EXPECT_EQ(st.buf.DeviceBuffer[0xF0011], 0x27);  // CONFIG1L keeps its default
    EXPECT_TRUE(warnings(host.lines()).isEmpty());
}

TEST_F(PicHex, Inhx8mRecordRules) {
    struct Case {
        const char* name;
        QByteArray file;
        std::uint8_t code;
    };
    QByteArray badStart = record(5, 0, QByteArray::fromHex("00001234"));
    badStart[badStart.size() - 2] = 'F';
    QByteArray badExt = upper(0x0001);
    badExt[badExt.size() - 2] = '0';
    const Case cases[] = {
        {"SegmentRecord", record(2, 0, QByteArray::fromHex("0100")) + record(0, 0, QByteArray::fromHex("AA55")) + kEnd, 0},
        {"StartRecordsSkipped", record(5, 0, QByteArray::fromHex("00001234")) + record(3, 0, QByteArray::fromHex("00001234")) + kEnd, 0},
        {"StartRecordChecksum", badStart + kEnd, 2},
        {"ExtendedChecksum", badExt + kEnd, 2},
        {"EmptyRecordEnds", QByteArray(":00000000\n"), 0},
        {"NoEnd", record(0, 0, QByteArray::fromHex("AA55")), 22},
        {"StrayText", " " + kEnd, 22},
        {"OutsideBuffer", upper(0x0100) + record(0, 0, QByteArray::fromHex("AA55")) + kEnd, 70},
    };
    for (const Case& c : cases) {
        select(kClassic);
        host.memoClear();
        load(write("r.hex", c.file), 3);
        EXPECT_EQ(st.ErrorFlag.get(), c.code) << c.name;
    }
    select(kClassic);
    load(write("seg.hex", record(2, 0, QByteArray::fromHex("0100")) + record(0, 0, QByteArray::fromHex("AA55")) + kEnd), 3);
    EXPECT_EQ(image(0x1000, 2), QByteArray::fromHex("55AA"));
}

TEST_F(PicHex, RecordsAtTheTopOfTheViewStayInsideAndBeyondItDoNotFit) {
    select(kClassic);
    load(write("top.hex", upper(0x0001) + record(0, 0xFFFF, QByteArray::fromHex("AA")) + kEnd), 3);
    EXPECT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_EQ(st.buf.BufferViewSize, 0x20000u);
    EXPECT_EQ(st.buf.DeviceBuffer[0x1FFFE], 0xAA);
    load(write("over.hex", upper(0x0002) + record(0, 0x0000, QByteArray::fromHex("AA55")) + kEnd), 3);
    EXPECT_EQ(st.ErrorFlag.get(), 70);
}

TEST_F(PicHex, ClassicSaveWritesTheSectionsInOrder) {
    select(kClassic);
    st.buf.DeviceBuffer[0x400E] = 0x3F;
    st.buf.DeviceBuffer[0x400F] = 0xFF;
    const QString file = path("save.hex");
    ASSERT_TRUE(save(file, 3, 0, 0));
    QStringList addresses;
    for (const QByteArray& line : readFile(file).split('\n'))
        if (line.size() >= 9) addresses << QString::fromLatin1(line.mid(3, 4) + "/" + line.mid(7, 2));
    ASSERT_EQ(addresses.size(), 0x2000 / 16 + 8 + 1 + 1 + 1);
    EXPECT_EQ(addresses[0], "0000/00");
    EXPECT_EQ(addresses[0x200], "4200/00");
    EXPECT_EQ(addresses[0x207], "4270/00");
    EXPECT_EQ(addresses[0x208], "4000/00");
    EXPECT_EQ(addresses[0x209], "400E/00");
    EXPECT_EQ(addresses[0x20A], "0000/01");
    EXPECT_TRUE(readFile(file).contains(record(0, 0x400E, QByteArray::fromHex("FF3F"))));
}

TEST_F(PicHex, FillWithFFGivesZeroFFPairs) {
    select(kClassic);
    load(write("e.hex", kEnd), 3, 0, 3);
    EXPECT_EQ(image(0, 4), QByteArray::fromHex("00FF00FF"));
    load(write("e.hex", kEnd), 3, 0, 1);
    EXPECT_EQ(image(0, 4), QByteArray::fromHex("3FFF3FFF"));
}

TEST_F(PicHex, Pic18FillPutsTheDefaultConfiguration) {
    select(kPic18);
    load(write("e.hex", kEnd), 3, 0, 2);
    EXPECT_EQ(image(0xF0010, 14), QByteArray(reinterpret_cast<const char*>(kPic18.masks.data()), 14));
    EXPECT_EQ(st.buf.DeviceBuffer[0], 0);
}

// ---------------------------------------------------------------------------
// Round trips

namespace {

struct PicCase {
    const char* name;
    RecordSpec shape;
};

class PicRoundTrip : public PicHex, public ::testing::WithParamInterface<PicCase> {
protected:
    // Noise in every area the writers save.
    void fillAreas(unsigned seed) {
        const PicAreaMap m = picAreaMap(*st.CurrentDevice);
        const QByteArray code = randomBytes(m.codeBytes, seed);
        put(0, code);
        for (const PicArea* a : {&m.id, &m.config, &m.eeprom})
            if (a->present && a->len) put(a->buf, randomBytes(a->len, seed + a->buf));
    }
    // Saves noise in every area as `file` in `format`; srec_cat (reading
    // `srecFormat`, words swapped) must find the code, and our reader must
    // give back every area without a warning.
    void expectRoundTrip(std::int8_t format, unsigned seed, const QString& file, const QString& srecFormat) {
        select(GetParam().shape);
        fillAreas(seed);
        const QByteArray before = image(0, st.buf.size());
        const QString out = path(file);
        ASSERT_TRUE(save(out, format, 0, 0));
        const PicAreaMap m = picAreaMap(*st.CurrentDevice);
        EXPECT_EQ(srecImage(out, {srecFormat, "-byte-swap", "2"}, 0, m.codeBytes), before.left(m.codeBytes));
        load(out, format, 0, 2);
        ASSERT_EQ(st.ErrorFlag.get(), 0) << host.lines().join("|").toStdString();
        EXPECT_TRUE(warnings(host.lines()).isEmpty()) << host.lines().join("|").toStdString();
        expectSameAreas(before);
    }
    void expectSameAreas(const QByteArray& before) {
        const PicAreaMap m = picAreaMap(*st.CurrentDevice);
        EXPECT_EQ(image(0, m.codeBytes), before.left(m.codeBytes));
        for (const PicArea* a : {&m.id, &m.config, &m.eeprom}) {
            if (a->present && (a != &m.eeprom || m.writeEeprom)) {
                EXPECT_EQ(image(a->buf, a->len), before.mid(a->buf, a->len)) << "area at " << a->buf;
            }
        }
    }
};

}  // namespace

TEST_P(PicRoundTrip, Inhx8mReloadsAndMatchesSrecCatByteSwapped) { expectRoundTrip(3, 11, "rt8.hex", "-intel"); }

TEST_P(PicRoundTrip, Inhx16ReloadsAndMatchesSrecCat) { expectRoundTrip(4, 12, "rt16.hex", "-Intel_HeXadecimal_16"); }

TEST_P(PicRoundTrip, FilesMadeBySrecCatLoad) {
    select(GetParam().shape);
    const PicAreaMap m = picAreaMap(*st.CurrentDevice);
    const QByteArray code = randomBytes(m.codeBytes, 13);
    const QString bin = write("code.bin", code);
    const QString h8 = path("c8.hex"), h16 = path("c16.hex");
    ASSERT_EQ(runTool("srec_cat", {bin, "-binary", "-byte-swap", "2", "-o", h8, "-intel"}), 0);
    ASSERT_EQ(runTool("srec_cat", {bin, "-binary", "-byte-swap", "2", "-o", h16, "-Intel_HeXadecimal_16"}), 0);
    load(h8, 3, 0, 2);
    ASSERT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_EQ(image(0, m.codeBytes), code);
    load(h16, 4, 0, 2);
    ASSERT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_EQ(image(0, m.codeBytes), code);
    EXPECT_EQ(st.buf.DeviceBuffer[m.codeBytes], 0);
}

INSTANTIATE_TEST_SUITE_P(Devices, PicRoundTrip,
                         ::testing::Values(PicCase{"Classic", kClassic}, PicCase{"ClassicNoEeprom", kClassicNoEeprom},
                                           PicCase{"Enhanced", kEnhanced}, PicCase{"Pic18", kPic18},
                                           PicCase{"Pic18Above64K", large(kPic18, 0x1FFFF)},
                                           PicCase{"Alg3", kAlg3}, PicCase{"Baseline", kBaseline}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PicHex, Inhx16AreasByWordAddress) {
    select(kClassic);
    QByteArray file;
    auto words = [](std::uint16_t address, const QByteArray& data) { return record(0, address, data, int(data.size() / 2)); };
    file += words(0x0000, QByteArray::fromHex("2800"));
    file += words(0x2000, QByteArray::fromHex("00010002"));
    file += words(0x2007, QByteArray::fromHex("3F72"));
    file += words(0x2100, QByteArray::fromHex("00550066"));
    file += kEnd;
    load(write("w.hex", file), 4);
    ASSERT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_TRUE(warnings(host.lines()).isEmpty()) << host.lines().join("|").toStdString();
    EXPECT_EQ(image(0, 2), QByteArray::fromHex("2800"));
    EXPECT_EQ(image(0x4000, 4), QByteArray::fromHex("00010002"));
    EXPECT_EQ(image(0x400E, 2), QByteArray::fromHex("3F72"));
    EXPECT_EQ(image(0x4200, 4), QByteArray::fromHex("00550066"));
}

TEST_F(PicHex, Inhx16Pic18ConfigurationAtTheShortWordAddress) {
    select(kPic18);
    QByteArray file;
    file += record(0, 0x0000, QByteArray::fromHex("0EFF"), 1);
    file += record(0, 0x7F00, QByteArray::fromHex("2200"), 1);
    file += kEnd;
    load(write("w18.hex", file), 4);
    ASSERT_EQ(st.ErrorFlag.get(), 0);
    EXPECT_FALSE(host.lines().join("|").contains("CONFIG")) << host.lines().join("|").toStdString();
    EXPECT_EQ(image(0xF0010, 2), QByteArray::fromHex("2200"));
}
