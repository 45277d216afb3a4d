// Rules every PLD record of the sample database keeps: its algorithm names a
// geometry row whose fuse count and package it matches; its blank digit is
// what an erased part reads; its buttons fit the kind of part; the part the
// simulator stocks for it answers the signature worked out by hand below,
// whose rule gives the record's own voltage, pulse width and erase time.
// Together the records reach every rule of the signature check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
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

// What the signature check's rules give the signature each stock part
// answers, worked out by hand: the rule that applies (the timing table and
// its row n = byte 1 & 0x0F, signature-coded timing by maker, or a maker 0x1F
// part by reply length) and the voltage, pulse width and erase time it sets.
struct Worked {
    std::uint8_t maker;
    const char* name;
    std::vector<std::uint8_t> pes;
    const char* rule;
    double vpp;
    int pulse, erase;
};
std::vector<std::uint8_t> text(const char* s) { return std::vector<std::uint8_t>(s, s + std::strlen(s)); }
const std::vector<Worked> kWorked{
    {0xA1, "GAL16V8", {0x01, 0x23, 0x1A, 0xA1, 0x00, 0x00, 0x5C, 0x10}, "T1 n3", 14.5, 40, 100},
    {0xA1, "GAL16V8-PLCC", {0x01, 0x23, 0x1A, 0xA1, 0x00, 0x00, 0x5C, 0x10}, "T1 n3", 14.5, 40, 100},
    {0xA1, "GAL16V8Z", {0x02, 0x11, 0x1A, 0xA1, 0x00, 0x00, 0x5C, 0x1E}, "T2 n1", 15.75, 100, 100},
    {0xA1, "GAL18V10", {0x01, 0x40, 0x51, 0xA1, 0x00, 0x00, 0x5C, 0x12, 0x00}, "T2 n0", 16.5, 10, 100},
    {0xA1, "GAL20V8", {0x01, 0x24, 0x3A, 0xA1, 0x00, 0x00, 0x5C, 0x14}, "T1 n4", 14.0, 100, 100},
    {0xA1, "GAL20RA10", {0x01, 0x32, 0x61, 0xA1, 0x00, 0x00, 0x5C, 0x16, 0x00}, "T2 n2", 14.5, 40, 100},
    {0xA1, "GAL20XV10", {0x01, 0x33, 0x66, 0xA1, 0x00, 0x00, 0x5C, 0x18}, "T2 n3", 14.0, 100, 100},
    // Byte 4 0x6C: erase (25 << 3) / 2, pulse entry 3; byte 5 0x2E: (23 + 10) / 2 volts.
    {0xA1, "GAL22V10", {0x03, 0x15, 0x49, 0xA1, 0x6C, 0x2E, 0x5C, 0x1A, 0x00}, "coded A1", 16.5, 10, 100},
    {0xA1, "GAL22V10-PLCC", {0x03, 0x15, 0x49, 0xA1, 0x6C, 0x2E, 0x5C, 0x1A, 0x00}, "coded A1", 16.5, 10, 100},
    {0xA1, "GAL26CV12", {0x01, 0x30, 0x59, 0xA1, 0x00, 0x00, 0x5C, 0x1C, 0x00}, "T2 n0", 16.5, 10, 100},
    {0xA1, "GAL6001", {0x01, 0x20, 0x41, 0xA1, 0x00, 0x00, 0x5C, 0x20, 0x00}, "T1 n0", 15.75, 100, 50},
    {0xA1, "GAL6002", {0x01, 0x21, 0x44, 0xA1, 0x00, 0x00, 0x5C, 0x22, 0x00}, "T1 n1", 15.75, 80, 50},
    {0x8F, "GAL16V8", {0x04, 0x03, 0x1A, 0x8F, 0x00, 0x00, 0x3E, 0x01}, "T1 n3 8F", 15.0, 40, 100},
    // Byte 4 0x90: erase (25 << 4) / 2, pulse entry 4; byte 5 0x24: (18 + 10) / 2 volts.
    {0x8F, "GAL20V8", {0x04, 0x05, 0x3A, 0x8F, 0x90, 0x24, 0x3E, 0x02}, "coded 8F", 14.0, 20, 200},
    {0x8F, "GAL22V10", {0x04, 0x02, 0x49, 0x8F, 0x00, 0x00, 0x3E, 0x03, 0x00}, "T2 n2 8F", 15.0, 40, 50},
    {0x20, "GAL16V8", {0x07, 0x02, 0x1A, 0x20, 0x00, 0x00, 0x71, 0x01}, "T1 n2", 16.5, 10, 100},
    // Byte 4 0x28: erase (25 << 2) / 2, pulse entry 1 + 8 (byte 5 bit 0); byte 5 0x29: (20 + 10) / 2 volts.
    {0x20, "GAL22V10", {0x07, 0x05, 0x49, 0x20, 0x28, 0x29, 0x71, 0x02, 0x00}, "coded 20", 15.0, 70, 50},
    {0x1F, "ATF16V8B", text("1B8V61F1"), "1F 8", 12.5, 1, 50},
    {0x1F, "ATF20V8B", text("0B8V02F1"), "1F 8", 12.5, 1, 50},
    {0x1F, "ATF22V10B", text("0B01V22F1"), "1F 9 erase 50", 12.5, 1, 50},
    {0x1F, "ATF22V10C", {0x33, 0x8C, 0x62, 0x4C, 0x4C, 0x6A, 0x8C, 0x0C, 0x42}, "1F 9 erase 350", 12.5, 1, 350},
    // No stock signature: the simulator answers the record's maker and device, here 0 and 0.
    {0x00, "PAL16L8", {0, 0, 0, 0, 0, 0, 0, 0}, "T2 n0", 16.5, 10, 100},
    {0x00, "PAL16R8", {0, 0, 0, 0, 0, 0, 0, 0}, "T2 n0", 16.5, 10, 100},
};

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
    const auto w = std::find_if(kWorked.begin(), kWorked.end(),
                                [&](const Worked& w) { return w.maker == r.MakerId && r.Name == w.name; });
    if (w == kWorked.end()) return out.push_back("no signature worked out for this part"), out;
    // A reply of 8 bytes for rows of up to 64 bits, else 9.
    if (w->pes.size() != (row->second.bits <= 64 ? 8u : 9u) || part->signature() != w->pes)
        out.push_back("the part answers another signature than the one worked out");
    if (r.Vpp != float(w->vpp) || r.PulseWidth != w->pulse || r.EraseTime != w->erase)
        out.push_back("voltage, pulse width or erase time differ from the signature's");
    if (rule) *rule = w->rule;
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
