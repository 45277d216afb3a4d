// The family data file reader against files that are cut short, claim more
// than they hold, or fill their text fields to the last byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "devices/DeviceDataFile.h"
#include "support/TestSupport.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

std::vector<std::uint8_t> generated(const char* name) {
    const QByteArray b = readFile(runDir() + "/" + name);
    return std::vector<std::uint8_t>(b.begin(), b.end());
}

// Where each record of an intact file lies, worked out from the layout.
struct Layout {
    std::vector<std::string> makers;
    std::vector<std::vector<std::size_t>> recordAt;  // [m][d] offset of the record
    std::set<std::size_t> boundaries;                // offsets where a structure starts
};

Layout layoutOf(const std::vector<std::uint8_t>& bytes) {
    Layout l;
    const std::size_t m = bytes.at(13);
    std::size_t pos = 16 * (m + 1);
    for (std::size_t i = 0; i < m; ++i) {
        const char* slot = reinterpret_cast<const char*>(bytes.data() + 16 * (i + 1) + 1);
        l.makers.emplace_back(slot, strnlen(slot, 15));
        l.boundaries.insert(16 * (i + 1));
    }
    for (std::size_t i = 0; i < m; ++i) {
        l.boundaries.insert(pos);
        const std::size_t n = bytes.at(pos + 2) | (bytes.at(pos + 3) << 8);
        pos += 4;
        l.recordAt.emplace_back();
        for (std::size_t d = 0; d < n; ++d, pos += kDeviceRecordSize) {
            l.recordAt.back().push_back(pos);
            l.boundaries.insert(pos);
        }
    }
    l.boundaries.insert(pos);
    EXPECT_EQ(pos, bytes.size()) << "the layout walk must end at the end of the file";
    return l;
}

// Reads the file cut to `length` bytes and checks that exactly the records
// lying wholly inside the cut come back, each byte for byte.
void checkCut(const std::vector<std::uint8_t>& whole, const Layout& l, std::size_t length) {
    SCOPED_TRACE("cut at " + std::to_string(length));
    DeviceDataFile f;
    f.load(std::vector<std::uint8_t>(whole.begin(), whole.begin() + std::ptrdiff_t(length)));
    const auto makers = f.manufacturers();
    ASSERT_LE(makers.size(), l.makers.size());
    for (std::size_t i = 0; i < makers.size(); ++i) EXPECT_EQ(makers[i], l.makers[i]);

    for (std::size_t m = 0; m < l.recordAt.size(); ++m) {
        std::size_t whole_records = 0;
        for (std::size_t d = 0; d < l.recordAt[m].size(); ++d) {
            const std::size_t at = l.recordAt[m][d];
            const bool inside = at + kDeviceRecordSize <= length;
            whole_records += inside;
            const auto rec = f.record(int(m), int(d));
            ASSERT_EQ(rec.has_value(), inside) << "manufacturer " << m << " device " << d;
            if (rec) {
                ASSERT_TRUE(std::equal(rec->Raw.begin(), rec->Raw.end(), whole.begin() + std::ptrdiff_t(at)));
            }
        }
        EXPECT_EQ(f.deviceNames(int(m)).size(), whole_records) << "manufacturer " << m;
    }
}

}  // namespace

TEST(FamilyFileReader, CutAtAnyByteYieldsOnlyWholeRecords) {
    // Every length of one file: cuts inside the manufacturer table, inside a
    // block header and inside a record all occur.
    const auto whole = generated("zrvusb_r.usb");
    ASSERT_GT(whole.size(), 1000u);
    const Layout l = layoutOf(whole);
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        checkCut(whole, l, length);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST(FamilyFileReader, CutAtEveryStructureBoundaryOfEveryFile) {
    for (const char* name : {"zrvusb_e.usb", "zrvusb_s.usb", "zrvusb_m.usb", "zrvusb_p.usb"}) {
        SCOPED_TRACE(name);
        const auto whole = generated(name);
        const Layout l = layoutOf(whole);
        for (std::size_t b : l.boundaries)
            for (std::size_t length : {b - 1, b, b + 1, b + 2, b + 3, b + 5, b + 100})
                if (length <= whole.size()) checkCut(whole, l, length);
    }
}

TEST(FamilyFileReader, ManufacturerCountLargerThanTheTableReadsNothingOutsideTheFile) {
    const auto whole = generated("zrvusb_r.usb");
    const auto contains = [&](const std::array<std::uint8_t, kDeviceRecordSize>& raw) {
        return std::search(whole.begin(), whole.end(), raw.begin(), raw.end()) != whole.end();
    };
    for (int claimed : {whole[13] + 1, whole[13] + 2, 0x40, 0xFF}) {
        SCOPED_TRACE("claimed " + std::to_string(claimed));
        auto bytes = whole;
        bytes[13] = std::uint8_t(claimed);
        DeviceDataFile f;
        f.load(bytes);
        EXPECT_LE(std::size_t(f.manufacturerCount()), (bytes.size() - 16) / 16);
        EXPECT_EQ(f.manufacturers().size(), std::size_t(f.manufacturerCount()));
        for (int m = 0; m < 0x100; ++m) {
            for (const auto& n : f.deviceNames(m)) EXPECT_LE(n.size(), 20u);
            for (int d = 0; d < 64; ++d) {
                const auto rec = f.record(m, d);
                if (rec) { ASSERT_TRUE(contains(rec->Raw)) << m << "/" << d; }
            }
        }
    }
}

TEST(FamilyFileReader, CountWithoutItsSlotsGivesOnlyTheSlotsPresent) {
    std::vector<std::uint8_t> bytes(32, 0);
    bytes[13] = 3;  // three manufacturers claimed, one slot present, no blocks
    std::memcpy(bytes.data() + 17, "Only", 4);
    DeviceDataFile f;
    f.load(bytes);
    EXPECT_EQ(f.manufacturerCount(), 1);
    ASSERT_EQ(f.manufacturers(), std::vector<std::string>{"Only"});
    EXPECT_TRUE(f.deviceNames(0).empty());
    EXPECT_FALSE(f.record(0, 0).has_value());
}

TEST(FamilyFileReader, EmptyAndMissingFiles) {
    DeviceDataFile f;
    f.load({});
    EXPECT_EQ(f.manufacturerCount(), 0);
    EXPECT_TRUE(f.manufacturers().empty());
    EXPECT_TRUE(f.deviceNames(0).empty());
    EXPECT_FALSE(f.record(0, 0).has_value());
    EXPECT_FALSE(f.record(-1, -1).has_value());

    DeviceDataFile missing;
    EXPECT_FALSE(missing.open((runDir() + "/no_such_file.usb").toStdString()));
}

TEST(FamilyFileReader, FullWidthTextFieldsEndAtTheirWidth) {
    // Every text field filled to its last byte and followed by more letters.
    std::vector<std::uint8_t> bytes(32 + 4 + kDeviceRecordSize, 'Z');
    bytes[13] = 1;
    std::memcpy(bytes.data() + 17, "Fifteen Letters", 15);  // slot bytes 1-15, then the block header
    bytes[34] = 1;                                           // one device
    bytes[35] = 0;
    std::uint8_t* r = bytes.data() + 36;
    r[1] = 'R';
    std::memcpy(r + 0x02, "TWENTY-CHARACTER-NAM", 20);  // Vdd bytes follow as 'Z'
    std::memcpy(r + 0xA8, "BITSTRM8", 8);
    std::memcpy(r + 0xB0, "FIRMWAR8", 8);  // DefaultOptions 'Z' follows

    DeviceDataFile f;
    f.load(bytes);
    ASSERT_EQ(f.manufacturers(), std::vector<std::string>{"Fifteen Letters"});
    ASSERT_EQ(f.deviceNames(0), std::vector<std::string>{"TWENTY-CHARACTER-NAM"});
    const auto rec = f.record(0, 0);
    ASSERT_TRUE(rec.has_value());
    EXPECT_EQ(rec->Name, "TWENTY-CHARACTER-NAM");
    EXPECT_EQ(rec->FpgaFile, "BITSTRM8");
    EXPECT_EQ(rec->McuFile, "FIRMWAR8");
}
