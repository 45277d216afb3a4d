// Damaged files of every format end in one of the load codes and never
// touch memory outside the buffer (the sanitizer build watches the latter).
#include <set>

#include "FormatFixture.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

struct Source {
    const char* name;
    RecordSpec shape;
    std::int8_t format;
};

class DamagedFiles : public FormatFixture, public ::testing::WithParamInterface<Source> {};

}  // namespace

TEST_P(DamagedFiles, EndWithAKnownCode) {
    const Source& s = GetParam();
    select(s.shape);
    put(0, randomBytes(0x400, 21));
    const QString good = path("good");
    st.file.SaveStart = 0;
    st.file.SaveStop = 0x3FF;
    if (s.format != 2) {
        st.file.FileFormat = s.format;
        ASSERT_TRUE(SaveFile(st, good));
    } else {
        ASSERT_TRUE(writeFile(good, randomBytes(0x400, 22)));
    }
    const QByteArray original = readFile(good);
    const std::set<int> known{0, 1, 2, 20, 21, 22, 23, 70};
    std::uint64_t x = 0x1234567;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    };
    const char alphabet[] = ":S0123456789ABCDEFabcdefgxyz\r\n \x00\xFF";
    for (int round = 0; round < 150; ++round) {
        QByteArray damaged = original;
        const int edits = 1 + int(next() % 6);
        for (int e = 0; e < edits; ++e) {
            const qsizetype at = qsizetype(next() % std::uint64_t(damaged.size() + 1));
            switch (next() % 3) {
            case 0:
                if (at < damaged.size()) damaged[at] = alphabet[next() % (sizeof alphabet - 1)];
                break;
            case 1: damaged.insert(at, alphabet[next() % (sizeof alphabet - 1)]); break;
            default: damaged.truncate(at); break;
            }
        }
        const QString file = write("damaged", damaged);
        st.file.FileFormat = s.format;
        st.file.SignedOffset = std::int64_t(next() % 0x40000) - 0x20000;
        st.file.FillOption = std::uint8_t(next() % 4);
        LoadFile(st, file);
        ASSERT_TRUE(known.count(st.ErrorFlag.get())) << int(st.ErrorFlag.get()) << " in round " << round;
        ASSERT_LE(st.buf.BufferViewSize, st.buf.size());
        ASSERT_LE(st.buf.HighestLoad, st.buf.BufferViewSize);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DamagedFiles,
    ::testing::Values(Source{"IntelHex", {.letter = 'E', .lastAddress = 0x7FFF}, 0},
                      Source{"SRecords", {.letter = 'E', .lastAddress = 0x7FFF}, 1},
                      Source{"Binary", {.letter = 'E', .lastAddress = 0x7FFF}, 2},
                      Source{"Inhx8m", {.letter = 'C', .lastAddress = 0x3FF, .algorithm = 18, .dataEeprom = 0xFF,
                                        .configCount = 14}, 3},
                      Source{"Inhx16", {.letter = 'C', .lastAddress = 0x3FF, .algorithm = 2, .pageCode = 10,
                                        .dataEeprom = 0x3F, .configCount = 2}, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DamagedFiles, AFolderIsNotAFile) {
    select({.letter = 'E', .lastAddress = 0x7FFF});
    load(dir.path(), 0);
    EXPECT_EQ(host.messages(), QStringList{"|File ERROR"});
    EXPECT_TRUE(st.ErrorFlag.get() == 0 || st.ErrorFlag.get() == 1);
}
