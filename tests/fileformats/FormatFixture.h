#pragma once
// Shared set-up of the file-format tests: a device record built from raw
// bytes, an AppState with a recording host and a progress recorder, a temp
// folder, and srec_cat as the independent reader and writer.
#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "app/AppState.h"
#include "fileformats/FileProgress.h"
#include "fileformats/LoadSave.h"
#include "support/RecordImage.h"
#include "support/TestSupport.h"

namespace tesmar::test {

// Every file-format record is named, as the sample data's are.
inline std::shared_ptr<const DeviceRecord> makeDevice(const RecordSpec& s) { return s.image().name("TESTDEV").shared(); }

// Records what the progress window was asked to show.
class ProgressRecorder : public FileProgress {
public:
    void setCaption(const QString& c) override { captions << c; }
    void setPosition(int p) override { positions.push_back(p); }
    void close() override { ++closes; }
    QStringList captions;
    std::vector<int> positions;
    int closes = 0;
};

// Reproducible noise, eight bytes per step so a 16 MB image costs little.
inline QByteArray randomBytes(std::size_t n, unsigned seed) {
    std::uint64_t x = 0x9E3779B97F4A7C15ull ^ (std::uint64_t(seed) * 0xBF58476D1CE4E5B9ull);
    QByteArray b(qsizetype(n), Qt::Uninitialized);
    char* p = b.data();
    for (std::size_t i = 0; i < n; i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        std::memcpy(p + i, &x, std::min<std::size_t>(8, n - i));
    }
    return b;
}

// Runs a tool to completion; returns its exit code (-1 when it did not run).
inline int runTool(const QString& program, const QStringList& args, QString* errors = nullptr,
                   QString* output = nullptr) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000)) return -1;
    if (errors) *errors = QString::fromLocal8Bit(p.readAllStandardError());
    if (output) *output = QString::fromLocal8Bit(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// A range of addresses of a file: [from, from + n).
struct SrecRange {
    std::uint64_t from, n;
};

// srec_cat's reading of `ranges` of `file` (in `format`, e.g. {"-Intel"}),
// one after the other, written through the file `scratch`: the bytes, 0 where
// the file holds none. With `held`, which of them the file holds: a reading
// with holes filled with 0xFF agrees with the first there only.
inline QByteArray srecRead(const QString& file, const QStringList& format, const std::vector<SrecRange>& ranges,
                           const QString& scratch, std::vector<bool>* held = nullptr) {
    std::uint64_t total = 0;
    for (const SrecRange& r : ranges) total += r.n;
    auto read = [&](bool fill) {
        QStringList args;
        std::uint64_t at = 0;
        for (const SrecRange& r : ranges) {
            const QString begin = QString::number(r.from), end = QString::number(r.from + r.n);
            args << file << format;
            if (fill) args << "-fill" << "0xFF" << begin << end;
            args << "-crop" << begin << end << "-offset"
                 << (at >= r.from ? QString::number(at - r.from) : QString("-%1").arg(r.from - at));
            at += r.n;
        }
        args << "-o" << scratch << "-binary";
        QString err;
        EXPECT_EQ(runTool("srec_cat", args, &err), 0) << err.toStdString();
        QByteArray b = readFile(scratch);
        b.resize(qsizetype(total), '\0');
        return b;
    };
    const QByteArray bytes = read(false);
    if (held) {
        const QByteArray filled = read(true);
        held->assign(std::size_t(total), false);
        for (std::size_t i = 0; i < std::size_t(total); ++i) (*held)[i] = bytes[qsizetype(i)] == filled[qsizetype(i)];
    }
    return bytes;
}

// srec_cat's reading of `file` at [from, from + n).
inline QByteArray srecRead(const QString& file, const QStringList& format, std::uint64_t from, std::uint64_t n,
                           const QString& scratch) {
    return srecRead(file, format, {{from, n}}, scratch);
}

// Whether `got` holds every byte `want` holds, with the same value, as
// srec_cmp compares them; of a byte `masks` names only the bits of its mask
// count. srec_cmp's account of what differs goes to `report`.
inline bool srecHolds(const QString& want, const QStringList& wantFormat, const QString& got,
                      const QStringList& gotFormat, const std::map<std::uint32_t, std::uint8_t>& masks,
                      QString* report) {
    // Each side one group: the file without the masked bytes, then each of
    // them ANDed with its mask; `got` cropped to what `want` holds.
    auto side = [&](const QString& file, const QStringList& format, bool cropped) {
        QStringList within{"-crop", "-within", want};
        within << wantFormat;
        QStringList args{"(", file};
        args << format;
        for (const auto& [at, mask] : masks)
            if (mask != 0xFF) args << "-exclude" << QString::number(at) << QString::number(at + 1);
        if (cropped) args << within;
        for (const auto& [at, mask] : masks) {
            if (mask == 0xFF) continue;
            args << file << format << "-crop" << QString::number(at) << QString::number(at + 1) << "-and"
                 << QString::number(mask);
            if (cropped) args << within;
        }
        return args << ")";
    };
    QStringList args = side(want, wantFormat, false);
    args << side(got, gotFormat, true) << "-verbose";
    QString out, err;
    const int code = runTool("srec_cmp", args, &err, &out);
    if (report) *report = out + err;
    return code == 0;
}

// A range of a flash part's image to save and load again.
struct SaveRange {
    const char* name;
    std::uint32_t lastAddress;
    std::uint32_t start, stop;
};

// A file srec_cat writes: its output options, where the data sits and how much.
struct SrecCatInput {
    const char* name;
    QStringList options;
    std::uint32_t at, size;
};

class FormatFixture : public ::testing::Test {
protected:
    void SetUp() override {
        st.host = &host;
        st.ProgrammerState = 1;
        st.settings.SoundOn = 1;
        st.openFileProgress = [this] {
            auto p = std::make_shared<ProgressRecorder>();
            progress.push_back(p);
            return std::shared_ptr<FileProgress>(p);
        };
    }

    void select(const RecordSpec& shape) {
        st.CurrentDevice = makeDevice(shape);
        st.buf.replace(loadBufferSize(*st.CurrentDevice, st.OddEvenMode).block);
        st.buf.BufferLastAddress = shape.lastAddress;
    }

    QString path(const QString& name) const { return dir.filePath(name); }

    QString write(const QString& name, const QByteArray& content) {
        const QString p = path(name);
        EXPECT_TRUE(writeFile(p, content));
        return p;
    }

    void load(const QString& file, std::int8_t format, std::int64_t offset = 0, std::uint8_t fill = 1) {
        st.file.FileFormat = format;
        st.file.SignedOffset = offset;
        st.file.FillOption = fill;
        LoadFile(st, file);
    }

    bool save(const QString& file, std::int8_t format, std::uint32_t start, std::uint32_t stop) {
        st.file.FileFormat = format;
        st.file.SaveStart = start;
        st.file.SaveStop = stop;
        return SaveFile(st, file);
    }

    QByteArray image(std::size_t from, std::size_t n) const {
        return QByteArray(reinterpret_cast<const char*>(st.buf.DeviceBuffer.data() + from), qsizetype(n));
    }

    void put(std::size_t at, const QByteArray& bytes) {
        ASSERT_LE(at + std::size_t(bytes.size()), st.buf.DeviceBuffer.size());
        std::memcpy(st.buf.DeviceBuffer.data() + at, bytes.constData(), std::size_t(bytes.size()));
    }

    // srec_cat's reading of a file as a plain image starting at `from`.
    QByteArray srecImage(const QString& file, const QStringList& inputFormat, std::size_t from, std::size_t n) {
        return srecRead(file, inputFormat, from, n, path("srec_cat_image.bin"));
    }

    // srec_cat's writing of `bytes`, placed at `at`, as `out` in `outFormat`.
    void srecCatWrite(const QByteArray& bytes, std::uint32_t at, const QString& out, const QStringList& outFormat) {
        QStringList args{write("in.bin", bytes), "-binary", "-offset", QString::number(at), "-o", out};
        args << outFormat;
        QString err;
        ASSERT_EQ(runTool("srec_cat", args, &err), 0) << err.toStdString();
    }

    // Loads `text` as `name` in `format` into a 32 KiB EEPROM's image; the
    // load ends with `code` and the log shows `lines` ("TBD" stands for the
    // line naming the file). Returns the file's path.
    QString expectLoadEnds(const QString& name, const char* text, std::int8_t format, std::uint8_t code,
                           const QStringList& lines) {
        select({.letter = 'E', .lastAddress = 0x7FFF});
        const QString file = write(name, text);
        load(file, format);
        QStringList expected = lines;
        expected.replaceInStrings("TBD", " File " + file + " Loaded");
        EXPECT_EQ(st.ErrorFlag.get(), code);
        EXPECT_EQ(host.lines(), expected);
        return file;
    }

    // Saves the range of a noise image (from `seed`) as `file` in `format`;
    // srec_cat (reading `srecFormat`) and our reader must both give back
    // exactly the saved bytes at their buffer offsets.
    void expectSaveReloads(const SaveRange& r, std::int8_t format, const QString& file, const QStringList& srecFormat,
                           unsigned seed) {
        select({.letter = 'F', .lastAddress = r.lastAddress});
        const std::size_t n = std::size_t(r.stop) - r.start + 1;
        const QByteArray bytes = randomBytes(st.buf.size(), seed);
        put(0, bytes);
        const QString out = path(file);
        ASSERT_TRUE(save(out, format, r.start, r.stop));
        EXPECT_EQ(srecImage(out, srecFormat, r.start, n), bytes.mid(r.start, qsizetype(n)));

        load(out, format, 0, 2);
        ASSERT_EQ(st.ErrorFlag.get(), 0) << host.lines().join("\n").toStdString();
        EXPECT_EQ(image(r.start, n), bytes.mid(r.start, qsizetype(n)));
        EXPECT_EQ(st.buf.LowestLoad, r.start);
        EXPECT_EQ(st.buf.HighestLoad, r.stop);
    }

    AppState st;
    RecorderHost host;
    QTemporaryDir dir;
    std::vector<std::shared_ptr<ProgressRecorder>> progress;
};

}  // namespace tesmar::test
