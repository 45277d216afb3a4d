// The PLD chip model and its family frames, driven straight through the
// driver interface with the bytes the host sends, and checked against the
// geometry table as the product documents it.
#include <gtest/gtest.h>

#include <algorithm>

#include "devices/DeviceDataFile.h"
#include "sim/PldChip.h"
#include "sim/SimTestUtil.h"
#include "support/RecordImage.h"
#include "support/TestSupport.h"

using namespace tesmar;
using namespace tesmar::sim;
using namespace tesmar::sim::test;
using tesmar::test::RecordImage;

namespace {

struct Row {
    int alg, fuses, pins, rows, bits, uesRow, uesFuse, uesBytes, eraseRow, pesRow, configRow, configBits;
};
const Row kRows[] = {
    {1, 2194, 20, 32, 64, 32, 2056, 8, 63, 58, 60, 82},   {2, 3540, 20, 36, 96, 44, 3476, 8, 61, 58, 16, 20},
    {3, 2706, 24, 40, 64, 40, 2568, 8, 63, 58, 60, 82},   {4, 3274, 24, 40, 80, 40, 3210, 8, 61, 58, 16, 10},
    {5, 1671, 24, 40, 40, 44, 1631, 5, 61, 58, 16, 31},   {6, 5892, 24, 44, 132, 44, 5828, 8, 61, 58, 16, 20},
    {7, 6432, 28, 52, 122, 52, 6368, 8, 61, 58, 16, 24},  {8, 8294, 24, 78, 75, 97, 8222, 9, 63, 96, 8, 68},
    {9, 8330, 24, 78, 75, 97, 8258, 9, 63, 96, 8, 104},   {10, 2194, 20, 32, 64, 32, 2056, 8, 63, 58, 60, 82},
    {11, 2706, 24, 40, 64, 40, 2568, 8, 63, 58, 60, 82},  {12, 5892, 24, 44, 132, 44, 5828, 8, 61, 58, 16, 20},
    {13, 5892, 24, 44, 132, 44, 5828, 8, 61, 58, 16, 20}, {14, 2194, 20, 32, 64, 32, 2056, 8, 63, 58, 60, 82},
    {20, 2048, 20, 32, 64, 0, 0, 0, 0, 0, 0, 0},          {21, 2048, 20, 32, 64, 0, 0, 0, 0, 0, 0, 0}};

const Row& rowOf(int alg) {
    for (const Row& r : kRows)
        if (r.alg == alg) return r;
    throw std::out_of_range("no row");
}

bool hasUes(const Row& g) { return g.uesBytes > 0 && g.alg != 13; }

Bytes header(char op, const Row& g, std::uint8_t v = 165, std::uint8_t w = 165) {
    return {'E', std::uint8_t(op), 'a', v, std::uint8_t(g.eraseRow), 20, std::uint8_t(g.configRow),
            std::uint8_t(g.configBits), std::uint8_t(g.bits), std::uint8_t(g.rows), 10, w};
}

struct PldSim : OpenSim {
    Row g;
    std::shared_ptr<PldChip> chip;
    explicit PldSim(const DeviceRecord& rec) : g(rowOf(rec.Algorithm)) {
        sim.insertBlankChipFor(rec);
        chip = std::dynamic_pointer_cast<PldChip>(sim.chip());
    }
    explicit PldSim(int alg, std::uint8_t maker = 0, std::uint8_t device = 0)
        : PldSim(RecordImage('P').algorithm(std::int8_t(alg)).signature(maker, device).build()) {}
    // A read frame, its two size bytes, and the stream it starts.
    Bytes read(Bytes frame, Bytes sizes) {
        send(sim, frame);
        send(sim, sizes);
        return drain(sim);
    }
    Bytes readArray() { return read({'E', 'R', 'a', std::uint8_t(g.rows)}, {std::uint8_t(g.bits), 0}); }
    Bytes readUes() { return read({'E', 'R', 0, 1}, {std::uint8_t(g.bits), std::uint8_t(g.uesRow)}); }
    Bytes readConfig() {
        return read({'E', 'R', 'c', 1}, {std::uint8_t(g.configBits), std::uint8_t(g.configRow)});
    }
    // The array rows of a fuse map, device row after device row.
    Bytes arrayRows(const Bytes& map) const {
        Bytes out;
        for (int r = 0; r < g.rows; ++r)
            for (int k = 0; k < g.bits; ++k) out.push_back(map[std::size_t(r + k * g.rows)]);
        return out;
    }
    Bytes uesRow(const Bytes& map) const { return Bytes(map.begin() + g.uesFuse, map.begin() + g.uesFuse + g.bits); }
    Bytes configCells(const Bytes& map) const {
        Bytes out;
        for (int f : chip->geometry().configFuses) out.push_back(map[std::size_t(f)]);
        return out;
    }
    // Program the way the host does; returns every byte the programmer answered.
    Bytes program(const Bytes& map) {
        send(sim, header('P', g));
        Bytes got = readN(sim, 4);
        const Bytes rows = arrayRows(map);
        for (std::size_t i = 0; i < rows.size(); i += std::size_t(g.bits))
            send(sim, Bytes(rows.begin() + std::ptrdiff_t(i), rows.begin() + std::ptrdiff_t(i) + g.bits));
        got = got + readN(sim, std::uint32_t(rows.size()));
        if (hasUes(g)) {
            send(sim, {'E', 'P', 'u', 0});
            got = got + readN(sim, 4);
            send(sim, uesRow(map));
            got = got + readN(sim, std::uint32_t(g.bits));
        }
        send(sim, {'E', 'P', 'c', 0});
        got = got + readN(sim, 4);
        send(sim, configCells(map));
        return got + drain(sim);
    }
};

// A fuse map with room for a UES row that runs past the fuse count.
Bytes randomMap(const Row& g, std::uint32_t seed) {
    Bytes map = pattern(std::size_t(g.fuses) + 200, seed);
    for (auto& b : map) b &= 1;
    return map;
}

}  // namespace

TEST(SimPld, GeometryTableHoldsEveryRowAndConfigurationList) {
    for (const Row& r : kRows) {
        SCOPED_TRACE(r.alg);
        const PldGeometry* g = pldGeometry(r.alg);
        ASSERT_TRUE(g);
        const std::vector<int> got{g->fuses,    g->pins,     g->rows,   g->bits,      g->uesRow,      g->uesFuse,
                                   g->uesBytes, g->eraseRow, g->pesRow, g->configRow, g->configBits()};
        EXPECT_EQ(got, (std::vector<int>{r.fuses, r.pins, r.rows, r.bits, r.uesRow, r.uesFuse, r.uesBytes,
                                         r.eraseRow, r.pesRow, r.configRow, r.configBits}));
        // Every fuse number belongs to one cell at most, and all lie below the fuse count.
        std::vector<int> uses(std::size_t(r.fuses), 0);
        for (int c = 0; c < r.rows * r.bits; ++c) ++uses.at(std::size_t(g->arrayFuse(c / r.bits, c % r.bits)));
        for (int k = 0; k < 8 * r.uesBytes; ++k) ++uses.at(std::size_t(r.uesFuse + k));
        for (int f : g->configFuses) ++uses.at(std::size_t(f));
        EXPECT_EQ(*std::max_element(uses.begin(), uses.end()), 1);
        // Only the two large parts leave fuses without a cell (between array and configuration).
        EXPECT_EQ(std::count(uses.begin(), uses.end(), 0), r.alg == 8 || r.alg == 9 ? 8154 - 5850 : 0);
    }
    for (int alg : {-1, 0, 15, 19, 22, 127}) EXPECT_FALSE(pldGeometry(alg)) << alg;
    EXPECT_EQ(pldGeometry(14)->type, 1);
    // Entries of the configuration lists at the places their descriptions name.
    const std::vector<std::array<int, 3>> entries{
        {1, 4, 2193},   {1, 9, 2128},   {1, 72, 2191},  {1, 73, 2124},  {1, 77, 2192},  {1, 81, 2055},
        {14, 0, 2128},  {14, 32, 2048}, {14, 36, 2193}, {14, 37, 2120}, {14, 45, 2192}, {14, 50, 2160},
        {2, 0, 3457},   {2, 19, 3474},  {3, 4, 2705},   {3, 77, 2704},  {4, 9, 3209},   {6, 0, 5809},
        {7, 23, 6366},  {8, 0, 8221},   {8, 2, 8179},   {8, 12, 8214},  {8, 22, 8216},  {8, 41, 8181},
        {8, 42, 8156},  {8, 50, 8154},  {8, 58, 8176},  {8, 59, 8173},  {8, 65, 8155},  {8, 67, 8219},
        {9, 0, 8257},   {9, 41, 8181},  {9, 42, 8255},  {9, 59, 8238},  {9, 60, 8220},  {9, 78, 8156},
        {9, 101, 8155}, {9, 103, 8219}};
    for (const auto& [alg, i, fuse] : entries) EXPECT_EQ(pldGeometry(alg)->configFuses.at(std::size_t(i)), fuse);
    const std::vector<int> listE{1630, 1628, 1629, 1620, 1621, 1622, 1610, 1611, 1612, 1613, 1614,
                                 1600, 1601, 1602, 1603, 1604, 1627, 1626, 1623, 1624, 1625, 1619,
                                 1618, 1617, 1616, 1615, 1609, 1608, 1607, 1606, 1605};
    EXPECT_EQ(pldGeometry(5)->configFuses, listE);
}

TEST(SimPld, EverySampleRecordGetsAPartThatTakesTheFramesOfItsGeometry) {
    DeviceDataFile file;
    ASSERT_TRUE(file.open((tesmar::test::runDir() + "/zrvusb_p.usb").toStdString()));
    int parts = 0;
    for (int m = 0; m < file.manufacturerCount(); ++m)
        for (int d = 0; auto rec = file.record(m, d); ++d, ++parts) {
            SCOPED_TRACE(rec->Name);
            PldSim s(*rec);
            ASSERT_TRUE(s.chip);
            const Row& g = s.g;
            EXPECT_EQ(s.chip->hasUes(), hasUes(g));
            EXPECT_EQ(s.chip->fuseMap(), Bytes(std::size_t(g.fuses), 1));

            send(s.sim, {'E', 'I', std::uint8_t(g.bits / 8), std::uint8_t(g.pesRow)});
            EXPECT_EQ(drain(s.sim).size(), g.bits <= 64 ? 8u : 9u);

            const Bytes map = randomMap(g, std::uint32_t(parts + 1));
            const Bytes config = s.configCells(map);
            Bytes want = bytes("Send") + s.arrayRows(map);
            if (hasUes(g)) want = want + bytes("Send") + s.uesRow(map);
            EXPECT_EQ(s.program(map), want + bytes("Send") + config);

            Bytes fuses(std::size_t(g.fuses), 1);
            for (int r = 0; r < g.rows; ++r)
                for (int k = 0; k < g.bits; ++k) fuses[std::size_t(r + k * g.rows)] = map[std::size_t(r + k * g.rows)];
            if (hasUes(g)) std::copy_n(map.begin() + g.uesFuse, 8 * g.uesBytes, fuses.begin() + g.uesFuse);
            for (int f : s.chip->geometry().configFuses) fuses[std::size_t(f)] = map[std::size_t(f)];
            EXPECT_EQ(s.chip->fuseMap(), fuses);

            EXPECT_EQ(s.readArray(), s.arrayRows(map));
            if (hasUes(g)) { EXPECT_EQ(s.readUes(), s.uesRow(map)); }
            EXPECT_EQ(s.readConfig(), config);

            send(s.sim, header('E', g));
            EXPECT_EQ(readN(s.sim, 4), bytes("Done"));
            EXPECT_EQ(s.chip->fuseMap(), s.chip->isErasable() ? Bytes(std::size_t(g.fuses), 1) : fuses);
            send(s.sim, {'E', 'S', 165, 10});
            EXPECT_EQ(readN(s.sim, 4), bytes("Done"));
            EXPECT_EQ(s.readArray(), Bytes(std::size_t(g.rows * g.bits), 0));
            EXPECT_EQ(s.sim.protocolErrors(), std::vector<std::string>{});
        }
    EXPECT_GE(parts, 16);
}

TEST(SimPld, FramesThatDisagreeWithThePartAreNoted) {
    struct Case {
        int alg;
        Bytes frames;
        const char* note;
    };
    const Row& g1 = rowOf(1);
    Bytes wrongErase = header('E', g1), wrongRows = header('P', g1);
    wrongErase[4] = 61;
    wrongRows[9] = 40;
    const Case cases[] = {
        {1, {'E', 'I', 8, 59}, "signature frame"},
        {1, {'E', 'R', 'a', 31, 64, 0}, "array read"},
        {1, {'E', 'R', 0, 1, 64, 33}, "UES read"},
        {1, {'E', 'R', 'c', 1, 80, 60}, "configuration read"},
        {1, wrongErase, "erase header erase row 61"},
        {1, wrongRows, "program header rows 40"},
        {1, header('E', g1, 0), "with V 0"},
        {1, {'E', 'P', 'u', 0}, "without a program header"},
        {1, header('P', g1) + Bytes{0x31}, "byte 49 at row 0 cell 0 is not 0 or 1"},
        {13, {'E', 'R', 0, 1, 132, 44}, "without a UES row"},
        {20, {'E', 'P', 'u', 0}, "without a UES row"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.note);
        PldSim s(c.alg);
        send(s.sim, c.frames);
        const auto notes = s.sim.protocolErrors();
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_NE(notes[0].find(c.note), std::string::npos) << notes[0];
    }
}

TEST(SimPld, ProgrammingOnlyClearsCellsAndTheProgramHeaderErasesFirst) {
    const Bytes a = randomMap(rowOf(1), 7), b = randomMap(rowOf(1), 8);
    for (int alg : {1, 20}) {
        SCOPED_TRACE(alg);
        PldSim s(alg);
        s.program(a);
        s.program(b);
        Bytes want = s.arrayRows(b);
        if (alg == 20) {  // a fuse array keeps what the first pass cleared
            const Bytes first = s.arrayRows(a);
            for (std::size_t i = 0; i < want.size(); ++i) want[i] &= first[i];
        }
        EXPECT_EQ(s.readArray(), want);
    }
    // A stuck fuse stays 1, in the acknowledgement and in the part.
    PldSim s(1);
    s.sim.faults().stickBit(2 + 5 * 32, 0);  // row 2, cell 5
    const Bytes zeros(3000, 0);
    Bytes acks = s.program(zeros);
    EXPECT_EQ(acks[4 + 2 * 64 + 5], 1);
    EXPECT_EQ(s.chip->fuseMap()[2 + 5 * 32], 1);
    EXPECT_EQ(std::count(acks.begin() + 4, acks.end(), 1), 1);
}

TEST(SimPld, SecuredPartReadsZeroKeepsItsSignatureAndErasesOpen) {
    PldSim s(6, 0xA1, 0x49);
    s.chip->setSecured(true);
    EXPECT_EQ(s.readArray(), Bytes(44 * 132, 0));
    EXPECT_EQ(s.readUes(), Bytes(132, 0));
    EXPECT_EQ(s.readConfig(), Bytes(20, 0));
    send(s.sim, {'E', 'I', 16, 58});
    EXPECT_EQ(drain(s.sim), Bytes({0, 0, 0x49, 0xA1, 0, 0, 0, 0, 0}));
    send(s.sim, header('E', s.g));
    EXPECT_EQ(readN(s.sim, 4), bytes("Done"));
    EXPECT_FALSE(s.chip->isSecured());
    EXPECT_EQ(s.readConfig(), Bytes(20, 1));
    // A fuse array cannot be erased: it stays secured.
    PldSim pal(21);
    pal.chip->setSecured(true);
    send(pal.sim, header('E', pal.g));
    EXPECT_EQ(readN(pal.sim, 4), bytes("Done"));
    EXPECT_TRUE(pal.chip->isSecured());
}

TEST(SimPld, FaultsReachTheHost) {
    const Bytes map = randomMap(rowOf(1), 3);
    {  // signature bytes as the plan gives them, short or over-long
        PldSim s(1);
        for (std::size_t n : {5u, 12u}) {
            s.sim.faults().signature = pattern(n, 9);
            send(s.sim, {'E', 'I', 8, 58});
            EXPECT_EQ(drain(s.sim), pattern(n, 9));
        }
    }
    {  // no "Done"; a failing erase leaves the cells
        PldSim s(1);
        s.program(map);
        s.sim.faults().wrongReply[Reply::EraseDone] = "";
        send(s.sim, header('E', s.g));
        EXPECT_EQ(drain(s.sim), Bytes{});
        EXPECT_EQ(s.chip->fuseMap(), Bytes(2194, 1));
        s.program(map);
        s.sim.faults().eraseFails = true;
        send(s.sim, header('E', s.g));
        EXPECT_EQ(drain(s.sim), bytes("Fail"));
        EXPECT_EQ(s.readArray(), s.arrayRows(map));
    }
    for (char step : {'a', 'u', 'c'}) {  // no "Send": the step takes no data
        SCOPED_TRACE(step);
        PldSim s(1);
        s.sim.faults().pldProgramSend[step] = "";
        s.program(map);
        EXPECT_FALSE(s.sim.protocolErrors().empty());  // the data came in as frames
        s.sim.reset();
        EXPECT_EQ(s.readConfig(), step == 'c' || step == 'a' ? Bytes(82, 1) : s.configCells(map));
    }
    {  // acknowledgements and streams that stall
        PldSim s(1);
        s.sim.faults().acksStallAfter = 100;
        send(s.sim, header('P', s.g));
        send(s.sim, Bytes(2048, 0));
        EXPECT_EQ(drain(s.sim).size(), 4u + 100u);
        s.sim.faults().streamStallsAfter = 70;
        EXPECT_EQ(s.readArray().size(), 70u);
        send(s.sim, bytes("Stop"));
        EXPECT_EQ(drain(s.sim), Bytes{});
    }
}
