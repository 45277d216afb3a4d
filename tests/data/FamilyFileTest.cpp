// The generated family data files, read through the program's own reader,
// hold exactly what the readable device lists say.
#include <gtest/gtest.h>

#include <cstring>

#include "data/SampleText.h"
#include "devices/DeviceDataFile.h"
#include "support/TestSupport.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

const char* const kFamilyFiles[] = {"zrvusb_r", "zrvusb_e", "zrvusb_s", "zrvusb_m", "zrvusb_p"};

long long textNumber(const QString& s) {
    if (s.size() == 3 && s.startsWith('\'')) return s[1].toLatin1();
    bool ok = false;
    return s.startsWith("0x") ? s.mid(2).toLongLong(&ok, 16) : s.toLongLong(&ok, 10);
}

// Each decoded field against the text's value; returns the differences.
QStringList fieldDifferences(const DeviceRecord& rec, const TextDevice& d) {
    QStringList diffs;
    const auto num = [&](const char* key, long long got) {
        const long long want = d.fields.contains(key) ? textNumber(d.fields.value(key)) : 0;
        if (want != got) diffs << QString("%1: record %2, text %3").arg(key).arg(got).arg(want);
    };
    const auto volts = [&](const char* key, float got) {
        const float want = d.fields.value(key, "0").toFloat();
        if (want != got) diffs << QString("%1: record %2, text %3").arg(key).arg(got).arg(want);
    };
    const auto text = [&](const char* key, const std::string& got) {
        if (d.fields.value(key).toStdString() != got) diffs << QString("%1: record \"%2\"").arg(key, got.c_str());
    };
    if (rec.Name != d.name.toStdString()) diffs << "name: record \"" + QString::fromStdString(rec.Name) + "\"";
    if (QString(QChar(rec.FamilyLetter)) != d.fields.value("fam")) diffs << "fam";
    num("alg", rec.Algorithm < 0 && textNumber(d.fields.value("alg")) > 127 ? rec.Algorithm + 256 : rec.Algorithm);
    volts("vdd", rec.Vdd);
    volts("vmax", rec.VddMax);
    volts("vmin", rec.VddMin);
    volts("vpp", rec.Vpp);
    volts("epv", rec.EpromVoltage);
    num("last", rec.LastAddress);
    num("pulse", rec.PulseWidth);
    num("erase", rec.EraseTime);
    num("fw1", rec.FirmwareParam1);
    num("fw2", rec.FirmwareParam2);
    num("fw3", rec.FirmwareParam3);
    num("pins", rec.PinCount);
    num("maker", rec.MakerId);
    num("dev", rec.DeviceId);
    num("dev2", rec.DeviceId2);
    num("page", rec.PageCode);
    num("blank", rec.BlankByte);
    num("steps", rec.StepMask);
    num("adapter", rec.AdapterCode);
    if (d.fields.contains("pp16")) {
        num("pp16", rec.ProgramParam16());
    } else {
        num("pp", rec.ProgramParam);
        num("eesize", rec.DataEepromSize);
    }
    text("fpga", rec.FpgaFile);
    text("mcu", rec.McuFile);
    const QStringList masks = d.fields.contains("cfg") ? d.fields.value("cfg").split(',') : QStringList();
    if (rec.ConfigMaskCount != masks.size()) diffs << "cfg count";
    for (int i = 0; i < masks.size() && i < 16; ++i)
        if (rec.ConfigMasks[i] != textNumber(masks[i])) diffs << QString("cfg byte %1").arg(i);
    return diffs;
}

}  // namespace

class GeneratedFamilyFile : public ::testing::TestWithParam<const char*> {};

TEST_P(GeneratedFamilyFile, HoldsEveryRecordOfItsDeviceList) {
    const QString base = GetParam();
    QString error;
    const auto text = readDeviceText(dataDir() + "/devices/" + base + ".txt", &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_FALSE(text.empty());

    DeviceDataFile file;
    ASSERT_TRUE(file.open((runDir() + "/" + base + ".usb").toStdString()));
    const auto makers = file.manufacturers();
    ASSERT_EQ(makers.size(), text.size());
    for (std::size_t m = 0; m < text.size(); ++m) {
        SCOPED_TRACE(text[m].name.toStdString());
        EXPECT_EQ(makers[m], text[m].name.toStdString());
        const auto names = file.deviceNames(int(m));
        ASSERT_EQ(names.size(), text[m].devices.size());
        for (std::size_t d = 0; d < names.size(); ++d) {
            const TextDevice& td = text[m].devices[d];
            SCOPED_TRACE(td.where.toStdString());
            EXPECT_EQ(names[d], td.name.toStdString());
            const auto rec = file.record(int(m), int(d));
            ASSERT_TRUE(rec.has_value());

            const auto want = expectedRecord(td, &error);
            ASSERT_TRUE(error.isEmpty()) << error.toStdString();
            for (std::size_t i = 0; i < kDeviceRecordSize; ++i)
                ASSERT_EQ(rec->Raw[i], want[i]) << "record byte 0x" << std::hex << i;
            EXPECT_EQ(fieldDifferences(*rec, td).join("; ").toStdString(), "");
        }
        EXPECT_FALSE(file.record(int(m), int(names.size())).has_value());
    }
    EXPECT_FALSE(file.record(int(text.size()), 0).has_value());
}

INSTANTIATE_TEST_SUITE_P(AllFamilies, GeneratedFamilyFile, ::testing::ValuesIn(kFamilyFiles),
                         [](const auto& info) { return std::string(info.param); });

// The records must leave the bytes no field claims at zero: a program that
// reads a field at a wrong offset then finds nothing there.
TEST(GeneratedFamilyFile, ReservedBytesStayZero) {
    const std::vector<std::pair<int, int>> reserved{{0x2A, 1},  {0x30, 1},  {0x3D, 45}, {0x70, 7},
                                                    {0x7C, 1},  {0x81, 22}, {0xB9, 1},  {0xBB, 1}};
    for (const char* base : kFamilyFiles) {
        DeviceDataFile file;
        ASSERT_TRUE(file.open((runDir() + "/" + base + ".usb").toStdString()));
        for (int m = 0; m < file.manufacturerCount(); ++m)
            for (int d = 0;; ++d) {
                const auto rec = file.record(m, d);
                if (!rec) break;
                for (auto [at, n] : reserved)
                    for (int i = at; i < at + n; ++i)
                        EXPECT_EQ(rec->Raw[i], 0) << base << " " << rec->Name << " byte 0x" << std::hex << i;
            }
    }
}

TEST(GeneratedFamilyFile, FirstDefaultDeviceIsAnErasableEpromWithSignature) {
    // Fresh settings select manufacturer 0, device 0 of zrvusb_r.usb.
    DeviceDataFile file;
    ASSERT_TRUE(file.open((runDir() + "/zrvusb_r.usb").toStdString()));
    const auto rec = file.record(0, 0);
    ASSERT_TRUE(rec.has_value());
    EXPECT_EQ(rec->FamilyLetter, 'R');
    EXPECT_TRUE(rec->Buttons & (1u << BtnErase));
    EXPECT_NE(rec->MakerId, 0);
    EXPECT_NE(rec->DeviceId, 0);
}
