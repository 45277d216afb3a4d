#pragma once
// Shared set-up of the file-format tests: a device record built from raw
// bytes, an AppState with a recording host and a progress recorder, a temp
// folder, and srec_cat as the independent reader and writer.
#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <algorithm>
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
inline int runTool(const QString& program, const QStringList& args, QString* errors = nullptr) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000)) return -1;
    if (errors) *errors = QString::fromLocal8Bit(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

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

    void select(const RecordSpec& spec) {
        st.CurrentDevice = makeDevice(spec);
        st.buf.replace(loadBufferSize(*st.CurrentDevice, st.OddEvenMode).block);
        st.buf.BufferLastAddress = spec.lastAddress;
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
        const QString out = path("srec_cat_image.bin");
        QStringList args{file};
        args << inputFormat;
        args << "-crop" << QString::number(from) << QString::number(from + n);
        args << "-offset" << QString("-%1").arg(from) << "-o" << out << "-binary";
        QString err;
        EXPECT_EQ(runTool("srec_cat", args, &err), 0) << err.toStdString();
        QByteArray b = readFile(out);
        b.resize(qsizetype(n), '\0');
        return b;
    }

    AppState st;
    RecorderHost host;
    QTemporaryDir dir;
    std::vector<std::shared_ptr<ProgressRecorder>> progress;
};

}  // namespace tesmar::test
