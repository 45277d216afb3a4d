// Rules every record of the sample database keeps: its areas fit the buffer
// the program sizes for it, masks stay within their bytes, the supply pins
// reach a driver, names are unique, its files exist, and together the
// records reach every family and sub-type the program branches on.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <map>
#include <set>

#include "data/SampleText.h"
#include "devices/BufferLayout.h"
#include "config/ConfigPages.h"
#include "devices/DeviceDataFile.h"
#include "operations/Dispatch.h"
#include "support/TestSupport.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

struct Entry {
    std::string file, maker;
    DeviceRecord rec;
};

struct FamilyFileRule {
    const char* name;
    const char* letters;
};
const FamilyFileRule kFiles[] = {{"zrvusb_r.usb", "RO"}, {"zrvusb_e.usb", "EF"}, {"zrvusb_s.usb", "S"},
                                 {"zrvusb_m.usb", "MC"}, {"zrvusb_p.usb", "P"}};

const std::vector<Entry>& allRecords() {
    static const std::vector<Entry> all = [] {
        std::vector<Entry> out;
        for (const auto& f : kFiles) {
            DeviceDataFile file;
            if (!file.open((runDir() + "/" + f.name).toStdString())) continue;
            const auto makers = file.manufacturers();
            for (int m = 0; m < int(makers.size()); ++m)
                for (int d = 0;; ++d) {
                    const auto rec = file.record(m, d);
                    if (!rec) break;
                    out.push_back({f.name, makers[m], *rec});
                }
        }
        return out;
    }();
    return all;
}

std::string label(const Entry& e) { return e.file + " / " + e.maker + " / " + e.rec.Name; }

// Fuse count and package pins of each GAL parameter table row the family routine knows.
const std::map<int, std::pair<std::uint32_t, int>> kGalRows{
    {1, {2194, 20}},  {2, {3540, 20}},  {3, {2706, 24}},  {4, {3274, 24}},  {5, {1671, 24}},
    {6, {5892, 24}},  {7, {6432, 28}},  {8, {8294, 24}},  {9, {8330, 24}},  {10, {2194, 20}},
    {11, {2706, 24}}, {12, {5892, 24}}, {13, {5892, 24}}, {14, {2194, 20}}, {20, {2048, 20}},
    {21, {2048, 20}}};

const std::set<int> kPic18MaskRows{25, 26, 27, 28, 34, 35, 36, 37, 38, 41, 42, 43, 44, 45};

// The bytes of the buffer a record's areas reach, by the buffer layout of its family.
std::uint64_t areaEnd(const DeviceRecord& r) {
    const std::uint64_t code = std::uint64_t(r.LastAddress) + 1;
    switch (r.FamilyLetter) {
    case 'M': {
        std::uint64_t end = code + r.DataEepromSize + (r.Algorithm == 35 ? 32 : 0);
        if (r.MakerId == 0xBF && r.DeviceId == 0x91) end = std::max<std::uint64_t>(end, 0x12000);
        return end;
    }
    case 'C':
        if (r.Algorithm == 18) return r.DataEepromSize ? 0xF0200 + r.DataEepromSize + 1 : 0xF0010 + 14;
        if (r.PageCode >= 46) return r.DataEepromSize ? 0x10200 + 2 * (r.DataEepromSize + 1) : 0x1000E + r.ConfigMaskCount;
        return r.DataEepromSize ? 0x4200 + 2 * (r.DataEepromSize + 1) : 0x400E + r.ConfigMaskCount;
    case 'S':
        return code + (r.Name == "AT24RF08C" ? 32 : 0);
    default:
        return code;
    }
}

// Socket pin a stored supply-pin number reaches under the programmer's pin rule.
int socketPin(int stored, int pinCount) {
    if (stored == 0 || pinCount >= 40) return stored;
    const int k = 20 - pinCount / 2;
    return stored <= 20 ? stored - k : stored + k;
}

}  // namespace

TEST(SampleDatabase, EveryFamilyFileIsPresentAndHoldsOnlyItsFamilies) {
    std::set<char> seen;
    for (const Entry& e : allRecords()) {
        seen.insert(e.rec.FamilyLetter);
        for (const auto& f : kFiles)
            if (e.file == f.name) {
                EXPECT_NE(std::string(f.letters).find(e.rec.FamilyLetter), std::string::npos) << label(e);
            }
    }
    for (char letter : std::string("ROEFSMCP")) EXPECT_TRUE(seen.count(letter)) << "no device of family " << letter;
}

TEST(SampleDatabase, AreasFitTheBufferSizedAtSelection) {
    ASSERT_FALSE(allRecords().empty());
    for (const Entry& e : allRecords()) {
        const DeviceRecord& r = e.rec;
        SCOPED_TRACE(label(e));
        ASSERT_TRUE(recordIsUsable(r));
        const std::uint32_t size = selectionBufferSize(r);
        EXPECT_LE(areaEnd(r), size);
        const std::uint64_t bytes = std::uint64_t(r.LastAddress) + 1;
        switch (r.FamilyLetter) {
        case 'R': case 'O': case 'E': case 'F':
            // Verify and blank check read eight bytes at a time.
            EXPECT_EQ(bytes % 8, 0u);
            break;
        case 'S':
            EXPECT_EQ(bytes % 16, 0u);  // verify compares sixteen at a time
            EXPECT_TRUE(r.PulseWidth == 8 || r.PulseWidth == 16);
            break;
        case 'M':
            // Every transfer of this family moves four bytes per step.
            EXPECT_EQ(bytes % 4, 0u);
            EXPECT_EQ(r.DataEepromSize % 4, 0u);
            break;
        case 'C':
            EXPECT_EQ(bytes % 2, 0u);
            if (r.Algorithm == 18) {
                EXPECT_LT(r.LastAddress, 0xF0000u);
                if (r.DataEepromSize) {
                    EXPECT_EQ((r.DataEepromSize + 1) % 4, 0) << "data area read in steps of four";
                    EXPECT_LE(r.DataEepromSize + 1, 0x6000);
                }
            } else if (r.PageCode >= 46) {
                EXPECT_LT(r.LastAddress, 0x10000u);
            } else {
                EXPECT_LT(r.LastAddress, 0x4000u) << "code would run into the ID locations";
            }
            break;
        case 'P': {
            const auto row = kGalRows.find(r.Algorithm);
            ASSERT_NE(row, kGalRows.end()) << "algorithm " << int(r.Algorithm) << " is an empty GAL table row";
            EXPECT_EQ(bytes, row->second.first) << "fuse count";
            EXPECT_EQ(r.PinCount, row->second.second);
            break;
        }
        }
    }
}

TEST(SampleDatabase, FieldsStayWithinTheirMeaning) {
    for (const Entry& e : allRecords()) {
        const DeviceRecord& r = e.rec;
        SCOPED_TRACE(label(e));
        EXPECT_EQ(r.Buttons & ~0x05FFu, 0u) << "buttons";
        EXPECT_EQ(r.OptionMask & 0x40, 0) << "option bit 6 names nothing";
        EXPECT_EQ(r.DefaultOptions & ~0x0D, 0) << "defaults";
        EXPECT_EQ(r.DefaultOptions & ~r.OptionMask, 0) << "a default for an option the device forbids";
        EXPECT_EQ(r.StepMask & 0x80, 0);
        EXPECT_TRUE(r.Buttons & (1u << BtnRead)) << "every device can be read";
        EXPECT_FALSE(r.FpgaFile.empty());
        EXPECT_FALSE(r.McuFile.empty());
        EXPECT_TRUE(r.PinCount > 0 && r.PinCount <= 40 && r.PinCount % 2 == 0);

        switch (r.FamilyLetter) {
        case 'R': case 'O': {
            const bool erasable = r.Buttons & (1u << BtnErase);
            EXPECT_EQ(r.StepMask, erasable ? 0x03 : 0x00);
            break;
        }
        case 'E': case 'F':
            EXPECT_TRUE(r.PageCode == 0 || r.PageCode == 130 || r.PageCode == 131 || r.PageCode == 240);
            break;
        case 'S':
            EXPECT_TRUE(r.PageCode == 0 || (r.PageCode >= 100 && r.PageCode <= 104));
            break;
        case 'M': {
            const std::set<int> algorithms{14, 25, 26, 28, 29, 30, 32, 33, 34, 35};
            EXPECT_TRUE(algorithms.count(r.Algorithm)) << int(r.Algorithm);
            EXPECT_TRUE(r.PageCode == 0 || (r.PageCode >= 200 && r.PageCode <= 212));
            if (r.Algorithm == 28) { EXPECT_EQ(r.DataEepromSize, 2048); }
            if (r.Algorithm == 35) { EXPECT_EQ(r.DataEepromSize, 32); }
            break;
        }
        case 'C': {
            const std::set<int> algorithms{0, 1, 2, 5, 6, 11, 18};
            EXPECT_TRUE(algorithms.count(r.Algorithm)) << int(r.Algorithm);
            EXPECT_EQ(r.DataEepromSize != 0, bool(r.StepMask & 0x02)) << "step mask bit 1 = has data EEPROM";
            if (r.Algorithm == 18) {
                EXPECT_EQ(r.ConfigMaskCount, 14);
                EXPECT_TRUE(kPic18MaskRows.count(r.PageCode)) << "no configuration mask row";
                EXPECT_EQ(r.StepMask & 0x08, 0) << "PIC18 has no calibration area";
                EXPECT_EQ(r.DeviceId2 & 0x1F, 0) << "revision bits are dropped before the compare";
            } else {
                EXPECT_LE(r.PageCode, 50);
                EXPECT_TRUE(r.ConfigMaskCount == 2 || r.ConfigMaskCount == 4);
                // An erased configuration byte reads as its mask; the erased
                // high byte of a word must cover the implemented bits.
                EXPECT_EQ(r.ConfigMasks[0] & ~r.BlankByte, 0);
                if (r.DeviceId != 0) {
                    EXPECT_LE(r.DeviceId, 0x3F);
                    if (r.PageCode != 49) { EXPECT_EQ(r.DeviceId2 & 0x1F, 0); }
                }
            }
            break;
        }
        case 'P':
            EXPECT_TRUE(r.BlankByte == '0' || r.BlankByte == '1');
            break;
        }
    }
}

// The toolbar offers the buttons a record lists: each has something to do
// for the part.
TEST(SampleDatabase, EveryToolbarButtonARecordListsHasItsDialogOrRoutine) {
    constexpr unsigned kOperations =
        (1u << BtnBlank) | (1u << BtnRead) | (1u << BtnProg) | (1u << BtnVerify) | (1u << BtnErase);
    for (const Entry& e : allRecords()) {
        const DeviceRecord& r = e.rec;
        SCOPED_TRACE(label(e));
        if (r.Buttons & (1u << BtnConfig)) {
            EXPECT_TRUE(config::hasConfigDialog(r)) << "Config without a dialog, page code " << int(r.PageCode);
        }
        if (r.Buttons & kOperations) {
            EXPECT_TRUE(familyHasRoutine(r));
        }
    }
}

TEST(SampleDatabase, SupplyPinsReachTheProgrammersDrivers) {
    const std::set<int> vcc{1, 2, 10, 11, 32, 35, 36, 40};
    const std::set<int> vpp{1, 2, 4, 9, 14, 31, 32, 33, 34, 36, 37, 40};
    for (const Entry& e : allRecords()) {
        const DeviceRecord& r = e.rec;
        SCOPED_TRACE(label(e));
        int count[4] = {0, 0, 0, 0};
        for (std::uint8_t entry : r.PowerPins) {
            if (entry == 0) continue;
            const int role = entry >> 6, stored = entry & 0x3F;
            ++count[role];
            if (role == 3) continue;
            const int socket = socketPin(stored, r.PinCount);
            EXPECT_TRUE(socket >= 1 && socket <= 40) << "entry 0x" << std::hex << int(entry);
            if (role == 1) { EXPECT_TRUE(vcc.count(socket)) << "Vcc on socket pin " << socket; }
            if (role == 2) { EXPECT_TRUE(vpp.count(socket)) << "Vpp on socket pin " << socket; }
        }
        EXPECT_GE(count[0], 1) << "no ground";
        EXPECT_LE(count[0], 5);
        EXPECT_GE(count[1], 1) << "no Vcc";
        EXPECT_LE(count[1], 2);
        EXPECT_LE(count[2], 2);
    }
}

TEST(SampleDatabase, NamesAreUniqueWithinAManufacturer) {
    std::set<std::string> seen;
    for (const Entry& e : allRecords()) {
        EXPECT_FALSE(e.rec.Name.empty());
        EXPECT_TRUE(seen.insert(e.file + "/" + e.maker + "/" + e.rec.Name).second) << label(e) << " twice";
    }
}

TEST(SampleDatabase, EveryBitstreamAndFirmwareIsInTheProgramFolder) {
    for (const Entry& e : allRecords()) {
        const QFileInfo rbf(runDir() + "/usbf/" + QString::fromStdString(e.rec.FpgaFile) + ".rbf");
        const QFileInfo bin(runDir() + "/usbm/" + QString::fromStdString(e.rec.McuFile) + ".bin");
        EXPECT_TRUE(rbf.isFile()) << label(e) << ": " << rbf.filePath().toStdString();
        EXPECT_TRUE(bin.isFile()) << label(e) << ": " << bin.filePath().toStdString();
    }
    for (const char* name : {"IC14p", "IC16p", "IC18p", "IC20p", "IC24p"})
        EXPECT_TRUE(QFileInfo(runDir() + "/usbf/" + name + ".rbf").isFile()) << name;
    EXPECT_TRUE(QFileInfo(runDir() + "/usbm/ic_test.bin").isFile());
}

TEST(SampleDatabase, StandInFilesHaveTheirListedSizes) {
    QString error;
    const auto sizes = readFirmwareSizes(dataDir() + "/firmware.txt", &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    bool fullBitstream = false, shortBitstream = false;
    for (auto it = sizes.begin(); it != sizes.end(); ++it) {
        const QFileInfo f(runDir() + "/" + it.key());
        EXPECT_EQ(f.size(), it.value()) << it.key().toStdString();
        if (it.key().endsWith(".rbf")) {
            EXPECT_TRUE(it.value() >= 100 && it.value() <= 19897) << it.key().toStdString();
            fullBitstream |= it.value() == 19897;
            shortBitstream |= it.value() == 100;
        } else {
            EXPECT_TRUE(it.value() >= 1 && it.value() <= 8192) << it.key().toStdString();
        }
    }
    EXPECT_TRUE(fullBitstream);
    EXPECT_TRUE(shortBitstream);
    EXPECT_TRUE(sizes.contains("usbm/EPROM1.bin") && sizes["usbm/EPROM1.bin"] == 0x1234);
    // Stand-ins are not blank: distinct names give distinct content.
    EXPECT_NE(readFile(runDir() + "/usbf/R28.rbf"), readFile(runDir() + "/usbf/E28.rbf"));
}

// The sample data exists to reach every branch the program takes on a record;
// this keeps it that way when the lists are edited.
TEST(SampleDatabase, CoversEverySubTypeTheProgramBranchesOn) {
    std::set<std::string> have;
    auto note = [&](const std::string& s) { have.insert(s); };
    for (const Entry& e : allRecords()) {
        const DeviceRecord& r = e.rec;
        const std::string f(1, r.FamilyLetter);
        note("adapter " + std::to_string(r.AdapterCode));
        note("pins " + std::to_string(r.PinCount));
        if (r.Name.size() == 20) note("20-character name");
        if (e.maker.size() == 15) note("15-character manufacturer");
        if (r.FpgaFile.size() == 8) note("8-character bitstream name");
        if (r.McuFile.size() == 8) note("8-character firmware name");
        for (auto p : r.PowerPins) if ((p >> 6) == 3) note("power entry without role");
        if (f == "R" || f == "O") {
            note(f + (r.Buttons & (1u << BtnErase) ? " erasable" : " otp"));
            if (f == "R" && r.MakerId == 0) note("R without signature");
            if (f == "R") note("R last " + std::to_string(r.LastAddress));
        }
        if (f == "E" || f == "F") {
            note("EF page " + std::to_string(r.PageCode));
            if (r.McuFile.rfind("Fxxx", 0) == 0 && r.McuFile.size() > 4)
                note(std::string("Fxxx") + (std::string("nSRT").find(r.McuFile[4]) == std::string::npos ? " option" : " plain"));
            if (r.MakerId == 0x89) note("EF maker 89 device " + std::to_string(r.DeviceId));
            if (r.MakerId == 0x01 && r.DeviceId == 0xA4) note("EF block protection");
            if (r.LastAddress == 0xFFFF && f == "E") note("E 64 KiB");
        }
        if (f == "S") {
            note("S page " + std::to_string(r.PageCode));
            note(r.DeviceId2 ? "S three-byte id" : "S two-byte id");
            if (r.PulseWidth == 16) note("S 16-bit");
            if (r.Name == "AT24RF08C") note("S extra area");
        }
        if (f == "M") {
            note("M alg " + std::to_string(r.Algorithm));
            if (r.PageCode) note("M chip " + std::to_string(r.PageCode));
            if (r.DataEepromSize) note("M data area");
            if (r.MakerId == 0xBF && r.DeviceId == 0x91) note("M two blocks");
            if (r.DeviceId == 0x55) note("M S2 0x55");
        }
        if (f == "C") {
            if (r.Algorithm == 18) note("PIC18");
            else note("C alg " + std::to_string(r.Algorithm));
            if (r.Algorithm != 18) note("C page " + std::to_string(r.PageCode));
            note(r.DataEepromSize ? "C with data" : "C without data");
            if (r.Name.size() >= 5 && r.Name[4] == '2') note("C fifth character 2");
            if (r.StepMask & 0x08) note("C calibration word");
        }
        if (f == "P") {
            note("P alg " + std::to_string(r.Algorithm));
            note(std::string("P blank ") + char(r.BlankByte));
            if (r.MakerId == 0x1F) note("P maker 1F");
        }
    }
    std::vector<std::string> want{
        "adapter 0", "adapter 60", "pins 8", "pins 24", "pins 28", "pins 32", "pins 40",
        "20-character name", "15-character manufacturer", "8-character bitstream name",
        "8-character firmware name", "power entry without role",
        "R erasable", "R otp", "O erasable", "O otp", "R without signature", "R last 32767", "R last 2047",
        "EF page 0", "EF page 130", "EF page 131", "EF page 240", "Fxxx option", "Fxxx plain",
        "EF maker 89 device 148", "EF maker 89 device 189", "EF block protection", "E 64 KiB",
        "S page 0", "S page 100", "S page 101", "S page 102", "S page 103", "S page 104",
        "S three-byte id", "S two-byte id", "S 16-bit", "S extra area",
        "M data area", "M two blocks", "M S2 0x55", "PIC18", "C with data", "C without data",
        "C fifth character 2", "C calibration word", "C page 32", "C page 40", "C page 19",
        "P blank 1", "P maker 1F", "P alg 13"};
    for (int a : {14, 25, 26, 28, 29, 30, 32, 33, 34, 35}) want.push_back("M alg " + std::to_string(a));
    for (int c = 200; c <= 212; ++c) want.push_back("M chip " + std::to_string(c));
    for (int a : {0, 1, 2, 5, 6, 11}) want.push_back("C alg " + std::to_string(a));
    for (int p = 46; p <= 50; ++p) want.push_back("C page " + std::to_string(p));
    for (const auto& w : want) EXPECT_TRUE(have.count(w)) << "no sample device for: " << w;
}

// A PIC record's algorithm picks the area map of its hex files, its page code
// and algorithm where the family keeps the areas, its erased high byte the
// word width. Files must keep every area at the places PIC tools use for parts
// of that width and layout, and load it where the family programs it from.
TEST(SampleDatabase, PicFileAreasAreTheConventionalOnesAndTheFamilys) {
    struct Places {
        std::uint32_t id, config, data;
    };
    int pics = 0;
    for (const Entry& e : allRecords()) {
        const DeviceRecord& r = e.rec;
        if (r.FamilyLetter != 'C') continue;
        SCOPED_TRACE(label(e));
        ++pics;
        EXPECT_EQ(picAreaMismatch(r), "");
        Places want{0x4000, 0x400E, 0x4200};                            // 14-bit words
        if (r.Algorithm == 18) want = {0x200000, 0x300000, 0xF00000};   // PIC18
        else if (r.PageCode >= 46) want = {0x10000, 0x1000E, 0x1E000};  // enhanced 14-bit
        else if (r.BlankByte == 0x0F) want = {r.LastAddress + 1, 0x1FFE, 0};  // 12-bit: IDs after the code
        else EXPECT_EQ(r.BlankByte, 0x3F);
        const PicAreas a = picAreas(r);
        EXPECT_EQ(a.fileId.file, want.id);
        EXPECT_EQ(a.fileConfig.file, want.config);
        if (a.data.present) {
            EXPECT_EQ(a.fileData.file, want.data);
        }
    }
    EXPECT_GT(pics, 0);
}
