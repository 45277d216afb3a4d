// tesmar_gendata as the build runs it: good input gives a readable program
// folder, bad input a message naming the file and line and no output; and
// the sound files it makes are sound.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>

#include "devices/DeviceDataFile.h"
#include "support/TestSupport.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

QString generator() { return QDir(runDir()).filePath("../tesmar_gendata"); }

// A small data folder the generator accepts.
QMap<QString, QByteArray> goodData() {
    const QByteArray common = " pins=28 power=G14,V28 fpga=A mcu=B buttons=read,prog\n";
    return {
        {"devices/zrvusb_r.txt", "manufacturer Maker\ndevice D1 fam=R last=0x7FFF" + common},
        {"devices/zrvusb_e.txt", "manufacturer Maker\ndevice D2 fam=E last=0x7FFF" + common},
        {"devices/zrvusb_s.txt", "manufacturer Maker\ndevice D3 fam=S last=0xFF" + common},
        {"devices/zrvusb_m.txt", "manufacturer Maker\ndevice D4 fam=M last=0xFFF" + common},
        {"devices/zrvusb_p.txt", "manufacturer Maker\ndevice D5 fam=P last=2193" + common},
        {"ictest/gates.txt", "group Gates\nic 7404 pins=14 gnd=7 vcc=14\n    0H0H0HGH0H0H0V\n"},
        {"firmware.txt", "fpga A 100\nmcu B 10\nfpga IC14p 100\nfpga IC16p 100\nfpga IC18p 100\n"
                         "fpga IC20p 100\nfpga IC24p 100\nmcu ic_test 10\n"},
    };
}

struct GenRun {
    int exitCode = -1;
    QString errors;
};

GenRun generate(const QMap<QString, QByteArray>& files, const QString& out) {
    QTemporaryDir data;
    for (auto it = files.begin(); it != files.end(); ++it) {
        QDir(data.path()).mkpath(QFileInfo(it.key()).path());
        EXPECT_TRUE(writeFile(data.filePath(it.key()), it.value()));
    }
    QProcess p;
    p.start(generator(), {data.path(), out});
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardError())};
}

struct BadInput {
    const char* name;
    const char* file;
    const char* content;  // replaces the file; nullptr removes it
    const char* where;    // expected in the message
};

const BadInput kBadInputs[] = {
    {"UnknownField", "devices/zrvusb_r.txt",
     "manufacturer Maker\ndevice D1 fam=R last=0x7FFF pins=28 fpga=A mcu=B buttons=read colour=red\n",
     "zrvusb_r.txt:2:"},
    {"BadNumberOnAContinuationLine", "devices/zrvusb_r.txt",
     "manufacturer Maker\ndevice D1 fam=R pins=28 fpga=A mcu=B buttons=read\n    last=0xZZ\n", "zrvusb_r.txt:3:"},
    {"NameLongerThan20", "devices/zrvusb_r.txt",
     "manufacturer Maker\n\ndevice ABCDEFGHIJKLMNOPQRSTU fam=R last=0xFF pins=28 fpga=A mcu=B buttons=read\n",
     "zrvusb_r.txt:3:"},
    {"ManufacturerLongerThan15", "devices/zrvusb_e.txt", "manufacturer Sixteen Letters!\n", "zrvusb_e.txt:1:"},
    {"VccOnAPinNoDriverReaches", "devices/zrvusb_s.txt",
     "manufacturer Maker\ndevice D3 fam=S last=0xFF pins=28 power=G14,V27 fpga=A mcu=B buttons=read\n",
     "zrvusb_s.txt:2:"},
    {"DeviceBeforeManufacturer", "devices/zrvusb_m.txt",
     "device D4 fam=M last=0xFFF pins=28 fpga=A mcu=B buttons=read\n", "zrvusb_m.txt:1:"},
    {"SameNameTwice", "devices/zrvusb_m.txt",
     "manufacturer Maker\ndevice D4 fam=M last=0xFFF pins=28 fpga=A mcu=B buttons=read\n"
     "device D4 fam=M last=0xFFF pins=28 fpga=A mcu=B buttons=read\n",
     "zrvusb_m.txt:3:"},
    {"FamilyInTheWrongFile", "devices/zrvusb_p.txt",
     "manufacturer Maker\ndevice D5 fam=R last=0xFFF pins=28 fpga=A mcu=B buttons=read\n", "zrvusb_p.txt:2:"},
    {"ProgramParameterOverlapsDataSize", "devices/zrvusb_e.txt",
     "manufacturer Maker\ndevice D2 fam=E last=0xFFF pins=28 fpga=A mcu=B buttons=read pp16=64 eesize=2\n",
     "zrvusb_e.txt:2:"},
    {"DefaultForAForbiddenOption", "devices/zrvusb_e.txt",
     "manufacturer Maker\ndevice D2 fam=E last=0xFFF pins=28 fpga=A mcu=B buttons=read\n"
     "    optmask=insertion defopt=idcheck\n",
     "zrvusb_e.txt:3:"},
    {"UnterminatedQuote", "devices/zrvusb_r.txt", "manufacturer Maker\ndevice \"D1 fam=R\n", "zrvusb_r.txt:2:"},
    {"FirmwareNotListed", "devices/zrvusb_r.txt",
     "manufacturer Maker\ndevice D1 fam=R last=0xFF pins=28 fpga=A mcu=Q buttons=read\n", "zrvusb_r.txt:2:"},
    {"BitstreamTooLong", "firmware.txt",
     "fpga A 19898\nmcu B 10\nfpga IC14p 100\nfpga IC16p 100\nfpga IC18p 100\nfpga IC20p 100\n"
     "fpga IC24p 100\nmcu ic_test 10\n",
     "firmware.txt:1:"},
    {"TesterBitstreamNotListed", "firmware.txt",
     "fpga A 100\nmcu B 10\nfpga IC14p 100\nfpga IC16p 100\nfpga IC18p 100\nfpga IC20p 100\nmcu ic_test 10\n",
     "firmware.txt: bitstream \"IC24p\""},
    {"OptionMaskWiderThanItsByte", "devices/zrvusb_s.txt",
     "manufacturer Maker\ndevice D3 fam=S last=0xFF pins=28 fpga=A mcu=B buttons=read optmask=0x104\n",
     "zrvusb_s.txt:2:"},
    {"VectorLineTooShort", "ictest/gates.txt", "group Gates\nic 7404 pins=14 gnd=7 vcc=14\n    0H0H0HGH0H0H0\n",
     "gates.txt:3:"},
    {"VectorLineWithoutGround", "ictest/gates.txt", "group Gates\nic 7404 pins=14 gnd=7 vcc=14\n    0H0H0HXH0H0H0V\n",
     "gates.txt:3:"},
    {"PinCountWithoutTesterBitstream", "ictest/gates.txt", "group Gates\nic 4000 pins=12 gnd=6 vcc=12\n",
     "gates.txt:2:"},
    {"MissingFamilyList", "devices/zrvusb_p.txt", nullptr, "zrvusb_p.txt"},
};

}  // namespace

TEST(Generator, GoodInputGivesAProgramFolderTheReaderAccepts) {
    QTemporaryDir out;
    const GenRun run = generate(goodData(), out.path());
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    DeviceDataFile f;
    ASSERT_TRUE(f.open(out.filePath("zrvusb_p.usb").toStdString()));
    const auto rec = f.record(0, 0);
    ASSERT_TRUE(rec.has_value());
    EXPECT_EQ(rec->Name, "D5");
    EXPECT_EQ(rec->LastAddress, 2193u);
    EXPECT_EQ(QFileInfo(out.filePath("usbf/A.rbf")).size(), 100);
    EXPECT_EQ(QFileInfo(out.filePath("usbm/ic_test.bin")).size(), 10);
    for (const char* name : {"All.usb", "chimes.wav", "error.wav", "notify.wav"})
        EXPECT_TRUE(QFileInfo(out.filePath(name)).isFile()) << name;

    // The same input gives the same bytes.
    QTemporaryDir again;
    ASSERT_EQ(generate(goodData(), again.path()).exitCode, 0);
    for (const char* name : {"zrvusb_r.usb", "All.usb", "usbf/A.rbf", "chimes.wav"})
        EXPECT_EQ(readFile(out.filePath(name)), readFile(again.filePath(name))) << name;
}

class GeneratorRefuses : public ::testing::TestWithParam<BadInput> {};

TEST_P(GeneratorRefuses, NamingFileAndLineAndWritingNothing) {
    const BadInput& c = GetParam();
    auto files = goodData();
    if (c.content) files[c.file] = c.content;
    else files.remove(c.file);
    QTemporaryDir out;
    const GenRun run = generate(files, out.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(c.where)) << run.errors.toStdString();
    EXPECT_TRUE(QDir(out.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(BadInputs, GeneratorRefuses, ::testing::ValuesIn(kBadInputs),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Generator, SoundsAreShortMonoPcmTonesOfDistinctPitch) {
    std::vector<double> pitches;
    for (const char* name : {"chimes.wav", "error.wav", "notify.wav"}) {
        SCOPED_TRACE(name);
        const QByteArray w = readFile(runDir() + "/" + name);
        ASSERT_GT(w.size(), 44);
        const auto u16 = [&](int at) { return unsigned(std::uint8_t(w[at]) | (std::uint8_t(w[at + 1]) << 8)); };
        const auto u32 = [&](int at) { return u16(at) | (u16(at + 2) << 16); };
        EXPECT_EQ(w.left(4), "RIFF");
        EXPECT_EQ(u32(4), unsigned(w.size() - 8));
        EXPECT_EQ(w.mid(8, 8), "WAVEfmt ");
        EXPECT_EQ(u16(20), 1u);   // PCM
        EXPECT_EQ(u16(22), 1u);   // mono
        EXPECT_EQ(u16(34), 16u);  // bits
        const unsigned rate = u32(24);
        EXPECT_EQ(u32(28), rate * 2);
        EXPECT_EQ(w.mid(36, 4), "data");
        const unsigned samples = u32(40) / 2;
        ASSERT_EQ(u32(40), unsigned(w.size() - 44));
        const double seconds = double(samples) / rate;
        EXPECT_TRUE(seconds > 0.05 && seconds < 1.5) << seconds;
        // Pitch from the zero crossings of the sounding part.
        int crossings = 0, sounding = 0;
        std::int16_t prev = 0;
        for (unsigned i = 0; i < samples; ++i) {
            const auto s = std::int16_t(u16(44 + 2 * int(i)));
            if (std::abs(s) > 500) ++sounding;
            if ((s >= 0) != (prev >= 0)) ++crossings;
            prev = s;
        }
        ASSERT_GT(sounding, 0);
        pitches.push_back(crossings / 2.0 / seconds);
    }
    for (std::size_t i = 0; i < pitches.size(); ++i)
        for (std::size_t j = i + 1; j < pitches.size(); ++j)
            EXPECT_GT(std::abs(pitches[i] - pitches[j]), 0.1 * std::max(pitches[i], pitches[j]));
}
