// Rules every PLD record of the sample database keeps: its algorithm names a
// geometry row whose fuse count and package it matches; its blank digit is
// what an erased part reads; its buttons fit the kind of part; the part the
// simulator stocks for it answers a signature the program accepts, which
// yields the record's own voltage, pulse width and erase time. Together the
// records reach every rule of the signature check.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <optional>
#include <set>

#include "devices/DeviceDataFile.h"
#include "sim/PldChip.h"
#include "support/RecordImage.h"
#include "support/TestSupport.h"

using namespace tesmar;
using tesmar::test::RecordImage;

namespace {

struct Row {
    std::uint32_t fuses;
    int pins, bits;
    bool fuseArray;  // no UES, no configuration fuses, no erase
};
const std::map<int, Row> kRows{
    {1, {2194, 20, 64, false}},  {2, {3540, 20, 96, false}},  {3, {2706, 24, 64, false}},
    {4, {3274, 24, 80, false}},  {5, {1671, 24, 40, false}},  {6, {5892, 24, 132, false}},
    {7, {6432, 28, 122, false}}, {8, {8294, 24, 75, false}},  {9, {8330, 24, 75, false}},
    {10, {2194, 20, 64, false}}, {11, {2706, 24, 64, false}}, {12, {5892, 24, 132, false}},
    {13, {5892, 24, 132, false}}, {14, {2194, 20, 64, false}}, {20, {2048, 20, 64, true}},
    {21, {2048, 20, 64, true}}};

// Accepted signature bytes of maker 0x1F parts by reply length (0x00 and 0xFF always pass).
const std::map<std::size_t, std::vector<std::set<int>>> kAtmelAccepted{
    {8, {{0x8C, 0x30, 0x31}, {0x62, 0x42}, {0x4C, 0x38}, {0x0C, 0x56}, {0x6A, 0x30, 0x36}, {0x1C, 0x32, 0x31},
         {0x42, 0x46}, {0x0C, 0x31}}},
    {9, {{0x30, 0x33}, {0x8C, 0x42, 0x43}, {0x62, 0x30}, {0x4C, 0x31}, {0x4C, 0x56}, {0x6A, 0x32}, {0x8C, 0x32},
         {0x0C, 0x46}, {0x42, 0x31}}}};
const int kPulses[16] = {1, 2, 5, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 200, 0, 0};

struct Timing {
    double vpp;
    int pulse, erase;
    std::string rule;
};

// What the signature check makes of a part's signature; none when it refuses it.
std::optional<Timing> timing(const DeviceRecord& r, const std::vector<std::uint8_t>& s, std::size_t length) {
    if (s.size() != length) return std::nullopt;
    if (r.MakerId == 0x1F) {
        for (std::size_t i = 0; i < length; ++i)
            if (s[i] != 0 && s[i] != 0xFF && !kAtmelAccepted.at(length)[i].count(s[i])) return std::nullopt;
        if (length == 8) return Timing{12.5, 1, 50, "1F 8"};
        const bool fast = s[8] == '1' && s[7] == 'F';
        return Timing{12.5, 1, fast ? 50 : 350, fast ? "1F 9 erase 50" : "1F 9 erase 350"};
    }
    if (r.MakerId != s[3] && r.DeviceId != s[2]) return std::nullopt;
    const int n = s[1] & 0x0F;
    const bool m8F = s[3] == 0x8F;
    char maker[8];
    std::snprintf(maker, sizeof maker, "%02X", s[3]);
    if (n == 5 && (s[3] == 0xA1 || m8F || s[3] == 0x20))
        return Timing{(((s[5] >> 1) & 0x1F) + 10) * 0.5, kPulses[(s[4] >> 5) | ((s[5] & 1) << 3)],
                      (25 << ((s[4] >> 2) & 7)) / 2, std::string("coded ") + maker};
    const bool t1 = r.Algorithm == 1 || r.Algorithm == 3 || r.Algorithm == 8 || r.Algorithm == 9;
    const int erase = (r.Algorithm == 1 || r.Algorithm == 3) ? 100 : t1 ? 50 : m8F ? 50 : 100;
    const std::string rule = std::string(t1 ? "T1 n" : "T2 n") + std::to_string(n);
    const std::vector<std::pair<double, int>> table =
        t1 ? std::vector<std::pair<double, int>>{{15.75, 100}, {15.75, 80}, {16.5, 10}, {m8F ? 15.0 : 14.5, 40}, {14.0, 100}}
           : std::vector<std::pair<double, int>>{{16.5, 10}, {15.75, 100}, {m8F ? 15.0 : 14.5, 40}, {14.0, 100}};
    if (n >= int(table.size())) return std::nullopt;  // the program refuses a part no rule covers
    const bool makerMatters = (t1 && n == 3) || (!t1 && n == 2);
    return Timing{table[n].first, table[n].second, erase, rule + (makerMatters && m8F ? " 8F" : "")};
}

// Everything wrong with a PLD record, and the signature rule its part reaches.
std::vector<std::string> complaints(const DeviceRecord& r, std::string* rule = nullptr) {
    std::vector<std::string> out;
    const auto row = kRows.find(r.Algorithm);
    if (row == kRows.end()) return {"algorithm " + std::to_string(r.Algorithm) + " has no geometry"};
    if (std::uint64_t(r.LastAddress) + 1 != row->second.fuses) out.push_back("fuse count");
    if (r.PinCount != row->second.pins) out.push_back("pin count");
    if (r.BlankByte != '1') out.push_back("an erased fuse reads 1");
    const bool erase = r.Buttons & (1u << BtnErase), config = r.Buttons & (1u << BtnConfig);
    if (erase == row->second.fuseArray || config == row->second.fuseArray) out.push_back("buttons");
    auto part = sim::PldChip::blankFor(r);
    if (!part) return out.push_back("no simulated part"), out;
    const auto t = timing(r, part->signature(), row->second.bits <= 64 ? 8 : 9);
    if (!t) return out.push_back("signature refused"), out;
    if (r.Vpp != float(t->vpp) || r.PulseWidth != t->pulse || r.EraseTime != t->erase)
        out.push_back("voltage, pulse width or erase time differ from the signature's");
    if (rule) *rule = t->rule;
    return out;
}

}  // namespace

TEST(PldRecords, EveryRecordAgreesWithItsGeometryAndItsPartsSignature) {
    DeviceDataFile file;
    ASSERT_TRUE(file.open((tesmar::test::runDir() + "/zrvusb_p.usb").toStdString()));
    std::set<std::string> reached;
    for (int m = 0; m < file.manufacturerCount(); ++m)
        for (int d = 0; auto rec = file.record(m, d); ++d) {
            SCOPED_TRACE(file.manufacturers()[std::size_t(m)] + " " + rec->Name);
            std::string rule;
            EXPECT_EQ(complaints(*rec, &rule), std::vector<std::string>{});
            reached.insert({rule, "alg " + std::to_string(rec->Algorithm)});
        }
    std::vector<std::string> want{"1F 8", "1F 9 erase 50", "1F 9 erase 350", "coded A1", "coded 8F", "coded 20",
                                  "T1 n3 8F", "T2 n2 8F"};
    for (int n = 0; n <= 4; ++n) want.push_back("T1 n" + std::to_string(n));
    for (int n = 0; n <= 3; ++n) want.push_back("T2 n" + std::to_string(n));
    for (const auto& row : kRows) want.push_back("alg " + std::to_string(row.first));
    for (const auto& w : want) EXPECT_TRUE(reached.count(w)) << "no sample PLD reaches " << w;
}

TEST(PldRecords, CheckRefusesRecordsThatDisagree) {
    const auto gal = [] {
        return RecordImage('P').algorithm(1).name("GAL16V8").lastAddress(2193).pinCount(20).blankByte('1')
            .signature(0xA1, 0x1A).vpp(14.5f).pulseWidth(40).eraseTime(100).buttons(0x5FF);
    };
    struct Case {
        const char* what;
        DeviceRecord rec;
    };
    const Case cases[] = {
        {"empty row", gal().algorithm(0).build()},
        {"past the table", gal().algorithm(22).build()},
        {"fuse count", gal().lastAddress(2047).build()},
        {"pins", gal().pinCount(24).build()},
        {"blank digit", gal().blankByte('0').build()},
        {"fuse array with erase", gal().algorithm(20).lastAddress(2047).build()},
        {"pulse width", gal().pulseWidth(10).build()},
        {"values its signature does not give", gal().name("GAL16V8X").signature(0x53, 0x16).build()},
    };
    EXPECT_EQ(complaints(gal().build()), std::vector<std::string>{});
    for (const Case& c : cases) EXPECT_FALSE(complaints(c.rec).empty()) << c.what;
}
