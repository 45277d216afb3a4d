// Family data files damaged by seeded edits, hostile counts and noise: the
// reader returns only whole records that stand in the file where its tables
// put them, and every record it returns can be selected, sized, summed and
// sent to the programmer without anything reading or writing out of bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "Fuzz.h"
#include "devices/BufferLayout.h"
#include "devices/DeviceDataFile.h"
#include "devices/DeviceHints.h"
#include "fileformats/FileFrame.h"
#include "fileformats/LoadSave.h"
#include "link/Link.h"
#include "operations/Checksum.h"
#include "support/TestSupport.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes generated(const char* name) {
    const QByteArray b = readFile(runDir() + "/" + name);
    return Bytes(b.begin(), b.end());
}

const char* const kFamilyFiles[] = {"zrvusb_r.usb", "zrvusb_e.usb", "zrvusb_s.usb", "zrvusb_m.usb", "zrvusb_p.usb"};

// Edits aimed at the structures: the manufacturer count, block counts (up to
// 0xFFFF), record fields that size buffers, plus the plain byte mutations.
Bytes damage(const Bytes& whole, Rng& r) {
    Bytes b = whole;
    const int edits = 1 + int(r.below(4));
    for (int e = 0; e < edits; ++e) {
        switch (r.below(6)) {
        case 0:
            if (b.size() > 13) b[13] = r.chance(1, 2) ? 0xFF : std::uint8_t(b[13] + 1 + r.below(4));
            break;
        case 1: {
            // A block header's count: find one by walking the intact layout.
            if (b.size() < 14) break;
            std::size_t pos = 16 * (std::size_t(b[13]) + 1);
            const std::size_t skip = r.below(std::size_t(b[13]) + 1);
            for (std::size_t j = 0; j < skip && pos + 4 <= b.size(); ++j)
                pos += 4 + kDeviceRecordSize * std::size_t(b[pos + 2] | (b[pos + 3] << 8));
            if (pos + 4 <= b.size()) {
                const std::uint16_t n = r.chance(1, 2) ? 0xFFFF : std::uint16_t(r.next());
                b[pos + 2] = std::uint8_t(n);
                b[pos + 3] = std::uint8_t(n >> 8);
            }
            break;
        }
        case 2: {
            // A size field of some record: LastAddress, DataEepromSize or PageCode.
            if (b.size() < kDeviceRecordSize) break;
            const std::size_t at = r.below(b.size() - kDeviceRecordSize + 1);
            const std::size_t field = r.pick({std::size_t(0x26), std::size_t(0x28), std::size_t(0x7A),
                                              std::size_t(0x6E), std::size_t(0x00), std::size_t(0x01)});
            if (at + field < b.size()) b[at + field] = r.chance(1, 2) ? 0xFF : r.byte();
            break;
        }
        case 3:
            b.resize(r.below(b.size() + 1));
            break;
        default: {
            const QByteArray m = mutate(QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())), r, 3);
            b.assign(m.begin(), m.end());
            break;
        }
        }
    }
    return b;
}

// Where the tables of `bytes` put record d of manufacturer m; npos when the
// tables do not reach it or it is cut short.
std::size_t recordOffset(const Bytes& bytes, int m, unsigned d) {
    constexpr std::size_t npos = std::size_t(-1);
    if (bytes.size() < 14 || m < 0 || m >= bytes[13]) return npos;
    std::size_t pos = 16 * (std::size_t(bytes[13]) + 1);
    for (int j = 0; j <= m; ++j) {
        if (pos + 4 > bytes.size()) return npos;
        const unsigned n = bytes[pos + 2] | (bytes[pos + 3] << 8);
        if (j == m) {
            if (d >= n) return npos;
            const std::size_t at = pos + 4 + kDeviceRecordSize * std::size_t(d);
            return at + kDeviceRecordSize <= bytes.size() ? at : npos;
        }
        pos += 4 + kDeviceRecordSize * std::size_t(n);
    }
    return npos;
}

// Everything the program does with a record it selects, checked for sanity.
// Images past a megabyte are sized but not allocated, to keep the sweep quick.
void useRecord(const DeviceRecord& rec) {
    SCOPED_TRACE(std::string("family ") + rec.FamilyLetter + " last " + std::to_string(rec.LastAddress));
    if (rec.LastAddress < 0x100000) {
        ImageBuffer buf;
        allocateForSelection(buf, rec);
        prefillErased(buf, rec);
        if (rec.isPic18()) SetPic18DefaultConfig(buf, rec);
        computeChecksum(buf, &rec);
    }
    ShowDeviceHints(rec);
    deviceLabels(rec);
    buildDeviceParameterPacket(rec);
    buildFamilyTail(rec);
    for (bool oddEven : {false, true}) {
        const LoadBufferSize s = loadBufferSize(rec, oddEven);
        // The view holds the device's image and fits the 32-bit view size.
        ASSERT_GE(s.view, std::uint64_t(rec.LastAddress) + 1);
        std::uint64_t need = std::uint64_t(rec.LastAddress) + 1;
        if (rec.FamilyLetter == 'R' && oddEven) need = 2 * need;
        if (rec.FamilyLetter == 'M') need += rec.DataEepromSize;
        if (rec.FamilyLetter == 'C') need = std::max(need, picAreaMap(rec).end());
        ASSERT_GE(s.view, need);
        ASSERT_LE(s.view, s.block);
        ASSERT_LE(s.view, 0xFFFFFFFFull);
        ASSERT_LE(defaultSaveStop(rec, oddEven), s.block);
    }
}

// Reads `bytes` and checks every answer against where the tables say the records are.
void checkFile(const Bytes& bytes, Rng& r) {
    DeviceDataFile f;
    f.load(bytes);
    const int count = f.manufacturerCount();
    ASSERT_GE(count, 0);
    ASSERT_LE(count, bytes.size() > 13 ? bytes[13] : 0);
    ASSERT_LE(16 + 16 * std::size_t(count), std::max<std::size_t>(bytes.size(), 16));
    const auto makers = f.manufacturers();
    ASSERT_EQ(makers.size(), std::size_t(count));
    for (const auto& name : makers) ASSERT_LE(name.size(), 15u);

    const int claimed = bytes.size() > 13 ? bytes[13] : 0;
    for (int m = -1; m <= claimed; ++m) {
        const auto names = f.deviceNames(m);
        ASSERT_LE(names.size() * kDeviceRecordSize, bytes.size());
        for (const auto& n : names) ASSERT_LE(n.size(), 20u);
        // The first and last records, the ones just past the list, and a few others.
        std::vector<unsigned> probes{0, 1, unsigned(names.size()), unsigned(names.size()) + 1, 0xFFFF, 0x10000};
        if (!names.empty()) probes.push_back(unsigned(names.size()) - 1);
        for (int k = 0; k < 3; ++k) probes.push_back(unsigned(r.below(0x10001)));
        for (unsigned d : probes) {
            const auto rec = f.record(m, int(d));
            const std::size_t at = recordOffset(bytes, m, d);
            ASSERT_EQ(rec.has_value(), at != std::size_t(-1)) << "manufacturer " << m << " device " << d;
            if (!rec) continue;
            ASSERT_TRUE(std::equal(rec->Raw.begin(), rec->Raw.end(), bytes.begin() + std::ptrdiff_t(at)));
            if (d < names.size()) {
                ASSERT_EQ(names[d], rec->Name);
            }
            if (recordIsUsable(*rec)) useRecord(*rec);
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
    ASSERT_FALSE(f.record(0, -1).has_value());
    ASSERT_FALSE(f.record(-5, 0).has_value());
}

}  // namespace

TEST(DataFiles, DamagedFamilyFilesGiveOnlyWholeRecordsFromTheirPlaces) {
    Rng r(11);
    for (const char* name : kFamilyFiles) {
        const Bytes whole = generated(name);
        ASSERT_GT(whole.size(), 200u) << name;
        for (int round = 0; round < 40; ++round) {
            SCOPED_TRACE(std::string(name) + " round " + std::to_string(round));
            checkFile(damage(whole, r), r);
            if (HasFatalFailure()) return;
        }
    }
}

TEST(DataFiles, NoiseAndHostileHeaders) {
    Rng r(12);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Bytes b = r.vec(r.below(round < 30 ? 64 : 4096));
        if (b.size() > 13 && r.chance(1, 2)) b[13] = 0xFF;
        checkFile(b, r);
        if (HasFatalFailure()) return;
    }
    // Every block claims 0xFFFF records; the file holds a few.
    Bytes b(16 * 3 + 4 + 3 * kDeviceRecordSize, 0x41);
    b[13] = 2;
    b[48 + 2] = b[48 + 3] = 0xFF;
    checkFile(b, r);
}

TEST(DataFiles, EveryRecordOfNoiseIsSafeToSelect) {
    // Records whose every byte is noise, with the size fields pushed to their edges.
    Rng r(13);
    const char families[] = {'R', 'O', 'E', 'F', 'S', 'M', 'C', 'P', 'L', 'Y', 0, char(0xFF)};
    for (int round = 0; round < 300; ++round) {
        Bytes raw = r.vec(kDeviceRecordSize);
        raw[0x01] = std::uint8_t(r.pick(families));
        if (r.chance(1, 2)) raw[0x00] = std::uint8_t(r.pick({0, 1, 2, 3, 8, 18, 35, 0x80, 0xFF}));
        if (r.chance(1, 2)) raw[0x6E] = std::uint8_t(r.pick({0, 46, 50, 102, 203, 205, 209, 210, 0xFF}));
        // LastAddress small, at the limit of what may be selected, or anywhere.
        const std::uint32_t last = r.chance(2, 3) ? std::uint32_t(r.below(0x20000))
                                   : r.chance(1, 2) ? kMaxDeviceBytes - 1
                                                    : std::uint32_t(r.next());
        for (int i = 0; i < 4; ++i) raw[0x26 + i] = std::uint8_t(last >> (8 * i));
        const DeviceRecord rec = DeviceRecord::fromImage(raw.data());
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(recordIsUsable(rec), last < kMaxDeviceBytes);
        if (recordIsUsable(rec)) {
            useRecord(rec);
        } else {
            // Never selected, but the packet builders must still keep to their arrays.
            buildDeviceParameterPacket(rec);
            buildFamilyTail(rec);
        }
        if (HasFatalFailure()) return;
    }
}
