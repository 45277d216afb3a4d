// PLD and GAL parts end to end on the simulated programmer: geometry, the
// signature check, every operation, and the fuse map against the chip's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "families/PldGeometry.h"
#include "support/RecordImage.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

DeviceRecord pldRecord(int algorithm) { return RecordImage('P').algorithm(std::int8_t(algorithm)).build(); }

}  // namespace

// Array, UES and configuration fuses of every row cover the JEDEC fuse map
// once each (the 6001/6002 parts file their array as 8154 fuses); rows
// without a fuse array have no geometry at all.
TEST(PldGeometry, EveryRowCoversItsFuseMapOnce) {
    for (int alg = -1; alg <= kGalTableRows; ++alg) {
        SCOPED_TRACE(alg);
        const DeviceRecord rec = pldRecord(alg);
        const GalRow* g = pldGeometry(rec);
        const bool expected = (alg >= 1 && alg <= 14) || alg == 20 || alg == 21;
        ASSERT_EQ(g != nullptr, expected);
        if (!g) {
            EXPECT_EQ(PldRows(rec) + PldRowBits(rec) + PldArrayFuses(rec) + PldConfigBits(rec), 0);
            continue;
        }
        const int arrayEnd = (alg == 8 || alg == 9) ? 8154 : g->rows * g->rowBits;
        EXPECT_EQ(PldArrayFuses(rec), g->rows * g->rowBits);
        EXPECT_EQ(arrayEnd + 8 * g->uesBytes + g->configBits, g->fuses);
        ASSERT_EQ(int(g->configFuses.size()), g->configBits);
        std::set<int> seen;
        for (int f : g->configFuses) {
            EXPECT_TRUE(f >= arrayEnd && f < g->fuses) << f;
            EXPECT_FALSE(f >= g->uesFuse && f < g->uesFuse + 8 * g->uesBytes) << f;
            EXPECT_TRUE(seen.insert(f).second) << f;
        }
        EXPECT_EQ(PldFirstConfigFuse(rec), seen.empty() ? 0 : *seen.begin());
        EXPECT_EQ(pldHasUes(rec), alg != 13 && alg != 20 && alg != 21);
    }
}

// ---------------------------------------------------------------------------
// Operations on the simulated programmer

#include <QElapsedTimer>
#include <chrono>

#include "PldRig.h"
#include "families/Pld.h"

namespace {

// What each sample part's signature must lead to: the printed line and the
// values the program header carries (V, erase time / 5, pulse, W).
struct HeaderCase {
    const char* maker;
    const char* name;
    const char* line;
    int v, erase, pulse, w;
};
const HeaderCase kSampleHeaders[] = {
    {"Latvane", "GAL16V8", " 105C 0000 A11A 2301", 145, 20, 40, 145},
    {"Latvane", "GAL16V8-PLCC", " 105C 0000 A11A 2301", 145, 20, 40, 145},
    {"Latvane", "GAL16V8Z", " 1E5C 0000 A11A 1102", 157, 20, 100, 157},
    {"Latvane", "GAL18V10", " 00 125C 0000 A151 4001", 165, 20, 10, 165},
    {"Latvane", "GAL20V8", " 145C 0000 A13A 2401", 140, 20, 100, 140},
    {"Latvane", "GAL20RA10", " 00 165C 0000 A161 3201", 145, 20, 40, 145},
    {"Latvane", "GAL20XV10", " 185C 0000 A166 3301", 140, 20, 100, 140},
    {"Latvane", "GAL22V10", " 00 1A5C 2E6C A149 1503", 165, 20, 10, 165},
    {"Latvane", "GAL22V10-PLCC", " 00 1A5C 2E6C A149 1503", 165, 20, 10, 165},
    {"Latvane", "GAL26CV12", " 00 1C5C 0000 A159 3001", 165, 20, 10, 165},
    {"Latvane", "GAL6001", " 00 205C 0000 A141 2001", 157, 10, 100, 157},
    {"Latvane", "GAL6002", " 00 225C 0000 A144 2101", 157, 10, 80, 157},
    {"Norvel", "GAL16V8", " 013E 0000 8F1A 0304", 150, 20, 40, 150},
    {"Norvel", "GAL20V8", " 023E 2490 8F3A 0504", 140, 40, 20, 140},
    {"Norvel", "GAL22V10", " 00 033E 0000 8F49 0204", 150, 10, 40, 150},
    {"Stelmar", "GAL16V8", " 0171 0000 201A 0207", 165, 20, 10, 165},
    {"Stelmar", "GAL22V10", " 00 0271 2928 2049 0507", 150, 10, 70, 150},
    {"Atrion", "ATF16V8B", " 3146 3136 5638 4231", 125, 10, 1, 110},
    {"Atrion", "ATF20V8B", " 3146 3230 5638 4230", 125, 10, 1, 110},
    {"Atrion", "ATF22V10B", " 31 4632 3256 3130 4230", 125, 10, 1, 125},
    {"Atrion", "ATF22V10C", " 42 0C8C 6A4C 4C62 8C33", 125, 70, 1, 125},
    {"Sotek", "PAL16L8", " 0000 0000 0000 0000", 165, 20, 10, 165},
    {"Sotek", "PAL16R8", " 0000 0000 0000 0000", 165, 20, 10, 165},
};

}  // namespace

// Every sample part, programmed, verified, read back, blank-checked and
// erased; its signature line and the header it leads to are checked against
// what the part's signature must give.
TEST(Pld, EverySamplePartProgramsVerifiesReadsAndErases) {
    const auto samples = samplePlds();
    ASSERT_EQ(samples.size(), std::size(kSampleHeaders));
    for (const SamplePld& part : samples) {
        SCOPED_TRACE(part.label());
        PldRig r(part.rec);
        const Bytes map = holdableMap(part.rec, std::uint32_t(part.rec.Algorithm) * 7 + 1);
        r.setImage(map);
        ASSERT_TRUE(r.run('P')) << r.memo();
        EXPECT_TRUE(r.said(" Programming Completed") && r.said(" Verify Completed")) << r.memo();
        EXPECT_EQ(r.chip().fuseMap(), map);
        EXPECT_TRUE(r.chip().secureFrames().empty());
        ASSERT_EQ(r.chip().headers().size(), 1u);
        const auto& h = r.chip().headers()[0];
        const auto c = std::find_if(std::begin(kSampleHeaders), std::end(kSampleHeaders),
                                    [&](const HeaderCase& c) { return part.maker == c.maker && part.rec.Name == c.name; });
        ASSERT_NE(c, std::end(kSampleHeaders));
        EXPECT_TRUE(r.said(c->line)) << r.memo();
        EXPECT_EQ(std::vector<int>({h.vpp(), h.eraseTime(), h.pulse(), h.vcc()}),
                  std::vector<int>({c->v, c->erase, c->pulse, c->w}));
        if (part.rec.Name == "GAL16V8" && part.maker == "Latvane") {
            // Probe, signature frame, program header, byte for byte.
            const Bytes sent = r.sim.hostBytes();
            EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 20),
                      (Bytes{'T', 'O', 0, 0, 'E', 'I', 8, 58, 'E', 'P', 'a', 145, 63, 20, 60, 82, 64, 32, 40, 145}));
        }

        PldRig back(part.rec);
        back.chip().loadFuseMap(map);
        ASSERT_TRUE(back.run('R')) << back.memo();
        EXPECT_TRUE(back.said(" Read Completed"));
        EXPECT_EQ(back.image(map.size()), map);
        EXPECT_FALSE(back.run('B'));
        EXPECT_TRUE(back.said(" Not Blank"));
        if (part.rec.Buttons & (1u << BtnErase)) {
            EXPECT_TRUE(back.run('E')) << back.memo();
            EXPECT_TRUE(back.said(" Erased ") && back.said(" Blank Check Completed")) << back.memo();
            EXPECT_EQ(back.chip().fuseMap(), Bytes(map.size(), 1));
        }
        EXPECT_EQ(r.sim.protocolErrors(), std::vector<std::string>{});
        EXPECT_EQ(back.sim.protocolErrors(), std::vector<std::string>{});
    }
}

// Signatures outside the stock: each timing rule at its edge, the maker and
// device test, and replies that are silent, short or too long. Every case
// follows a good erase, so nothing of that part's values may carry over.
TEST(Pld, SignatureDecidesTheHeaderOrRefusesThePart) {
    struct Case {
        const char* name;
        const char* part;
        Bytes signature;  // as the programmer answers it (empty: nothing)
        const char* line;
        std::vector<int> header;  // V, erase time / 5, pulse, W; empty: refused
    };
    const Case cases[] = {
        // (25 << 7) / 2 = 1600 ms is more than the byte can say.
        {"coded extremes", "GAL22V10", {0x03, 0x15, 0x49, 0xA1, 0xFF, 0x01, 0x5C, 0x1A, 0x00},
         " 00 1A5C 01FF A149 1503", {50, 255, 0, 50}},
        {"maker differs, device matches", "GAL16V8", {0x01, 0x23, 0x1A, 0x77, 0, 0, 0x5C, 0x10},
         " 105C 0000 771A 2301", {145, 20, 40, 145}},
        {"maker and device differ", "GAL16V8", {0x01, 0x23, 0x1B, 0x77, 0, 0, 0x5C, 0x10},
         " ID Error  Device = 0x77 0x1B", {}},
        {"no timing for n = 7", "GAL16V8", {0x01, 0x27, 0x1A, 0xA1, 0, 0, 0x5C, 0x10}, " ID Error  Device ", {}},
        {"0x1F byte outside its set", "ATF16V8B", {0x31, 0x42, 0x38, 0x56, 0x36, 0x31, 0x46, 0x99},
         " ID Error  Device ", {}},
        {"short", "GAL16V8", {0x01, 0x23, 0x1A, 0xA1, 0, 0, 0x5C}, " Error with read", {}},
        {"silent", "GAL16V8", {}, " Error with read", {}},
        {"too long", "GAL16V8", {0x01, 0x23, 0x1A, 0xA1, 0, 0, 0x5C, 0x10, 0xEE, 0xEE, 0xEE, 0xEE},
         " 105C 0000 A11A 2301", {145, 20, 40, 145}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SamplePld part = samplePld(c.part[0] == 'A' ? "Atrion" : "Latvane", c.part);
        PldRig r(part.rec);
        ASSERT_TRUE(r.run('E')) << r.memo();
        r.sim.faults().signature = c.signature;
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(r.run('E'), !c.header.empty()) << r.memo();
        EXPECT_LT(clock.elapsed(), 15000);
        EXPECT_TRUE(r.said(c.line)) << r.memo();
        if (c.header.empty()) {
            EXPECT_EQ(r.chip().headers().size(), 1u);
            continue;
        }
        ASSERT_EQ(r.chip().headers().size(), 2u);
        const auto& h = r.chip().headers()[1];
        EXPECT_EQ(std::vector<int>({h.vpp(), h.eraseTime(), h.pulse(), h.vcc()}), c.header);
        // A reply's surplus never reaches the next operation.
        r.sim.faults().signature.reset();
        EXPECT_TRUE(r.run('R')) << r.memo();
    }
}

namespace {

// A programmer that hands the signature over in two parts, the second 30 ms
// after the first (as it reads the bytes from the part).
class PesInTwoParts : public sim::PldChip {
public:
    using PldChip::PldChip;
    bool handleFrame(const sim::Frame& f, sim::FrameContext& ctx) override {
        if (f[0] != 'E' || f[1] != 'I') return PldChip::handleFrame(f, ctx);
        struct Halves : sim::ByteSource {
            Bytes pes;
            std::size_t pos = 0;
            const std::chrono::steady_clock::time_point later =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(30);
            std::size_t produce(std::span<std::uint8_t> out) override {
                const std::size_t ready = std::chrono::steady_clock::now() < later ? 4 : pes.size();
                std::size_t n = 0;
                for (; n < out.size() && pos < ready; ++n) out[n] = pes[pos++];
                return n;
            }
            bool finished() const override { return pos >= pes.size(); }
        };
        auto halves = std::make_unique<Halves>();
        halves->pes = signature();
        ctx.startStream(std::move(halves));
        return true;
    }
};

}  // namespace

// The signature check waits for the whole reply, not for a pause in it.
TEST(Pld, SignatureInTwoPartsIsTakenWhole) {
    const SamplePld part = samplePld("Latvane", "GAL16V8");
    PldRig r(part.rec);
    r.sim.insertChip(std::make_shared<PesInTwoParts>(1, sim::PldChip::pesFor(part.rec)));
    EXPECT_TRUE(r.run('R')) << r.memo();
    EXPECT_TRUE(r.said(" 105C 0000 A11A 2301")) << r.memo();
}

// Faults of the part and the programmer, and Abort: each run ends within
// seconds with its line (a failed Program never secures the part), nothing
// goes to the programmer after an Abort, and the next operation works.
TEST(Pld, FaultsAndAbortEndTheRunAndTheNextOperationWorks) {
    const SamplePld part = samplePld("Latvane", "GAL16V8");
    struct Case {
        const char* name;
        char op;
        std::function<void(PldRig&)> setUp;
        const char* line;  // null: aborted, no line of its own
    };
    const Case cases[] = {
        {"stuck array fuse", 'P', [](PldRig& r) { r.sim.faults().stickBit(2, 0); }, " Verify Array Error"},
        {"stuck UES fuse", 'P', [](PldRig& r) { r.sim.faults().stickBit(2060, 0); }, " Verify User Error"},
        {"stuck configuration fuse", 'P', [](PldRig& r) { r.sim.faults().stickBit(2048, 0); }, " Verify Config Error"},
        {"acknowledgements stall", 'P', [](PldRig& r) { r.sim.faults().acksStallAfter = 100; }, " Error with read"},
        {"no Send for the UES", 'P', [](PldRig& r) { r.sim.faults().pldProgramSend['u'] = "Nope"; },
         " Verify User Error"},
        {"read stream stalls", 'R', [](PldRig& r) { r.sim.faults().streamStallsAfter = 100; }, " Error with read"},
        {"erase fails", 'E', [](PldRig& r) { r.sim.faults().eraseFails = true; }, " Not Blank"},
        {"abort in program", 'P', [](PldRig& r) { r.abortAtGauge(1000); }, nullptr},
        // As the array's last row is acknowledged: the user row's step would be next.
        {"abort before the user row is programmed", 'P', [](PldRig& r) { r.abortAtGauge(2048); }, nullptr},
        {"abort in read", 'R', [](PldRig& r) { r.abortAtGauge(1000); }, nullptr},
        // The gauge starts again for each area: the second and third climb
        // past 30 are the user row and the configuration fuses.
        {"abort in read's user row", 'R', [](PldRig& r) { r.abortAtGauge(30, 2); }, nullptr},
        {"abort in read's configuration", 'R', [](PldRig& r) { r.abortAtGauge(30, 3); }, nullptr},
    };
    Bytes map = holdableMap(part.rec, 5);
    for (std::size_t f : {2, 2048, 2060}) map[f] = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PldRig r(part.rec);
        r.setImage(map);
        if (c.op != 'P') r.chip().loadFuseMap(map);
        r.st.pld.PldSecureFlag = 1;
        c.setUp(r);
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(r.run(c.op) && r.st.RunFlag.load()) << r.memo();
        EXPECT_LT(clock.elapsed(), 15000);
        if (c.line) {
            EXPECT_TRUE(r.said(c.line)) << r.memo();
            // Nothing of the stream is left for the next reply to trip over.
            std::uint32_t queued = 1;
            r.sim.queueStatus(queued);
            EXPECT_EQ(queued, 0u);
        }
        EXPECT_FALSE(r.said(c.op == 'P' ? " Verify Completed" : c.op == 'R' ? " Read Completed" : " Blank Check Completed"));
        EXPECT_TRUE(r.chip().secureFrames().empty());
        if (!c.line) {
            EXPECT_EQ(r.st.ErrorFlag.get(), 0) << r.memo();  // an Abort is no failure
            EXPECT_EQ(r.sim.hostBytes().size(), r.hostBytesAtAbort);  // and not one byte more goes out
        }
        EXPECT_FALSE(r.said(" Erased ")) << r.memo();

        r.host.onGauge = nullptr;
        r.sim.faults() = {};
        r.chip().loadFuseMap(map);
        EXPECT_TRUE(r.run('R')) << r.memo();
        EXPECT_EQ(r.image(map.size()), map);
        EXPECT_EQ(r.sim.protocolErrors(), std::vector<std::string>{});
    }
}

// ---------------------------------------------------------------------------
// Through the main window

#include <QTemporaryDir>

#include "fileformats/LoadSave.h"
#include "support/MainWindowRig.h"

namespace {

class PldWindowTest : public MainWindowRig {
protected:
    sim::PldChip& chip() { return dynamic_cast<sim::PldChip&>(*sim_.chip()); }
    // A GAL16V8 file of `map` (2194 fuses) with its security field and checksum.
    QString writeJedec(const Bytes& map, int secure, const char* checksum) {
        QByteArray text = "\x02GAL16V8*QP20*QF2194*G" + QByteArray::number(secure) + "*L00000 ";
        for (std::uint8_t f : map) text += char('0' + f);
        const QString path = dir_.filePath(QString("f%1.jed").arg(files_++));
        writeFile(path, text + "*C" + checksum + "*\x03");
        return path;
    }
    void load(const QString& path) {
        st().file.FileFormat = 5;
        LoadFile(st(), path);
        UpdateChecksum(st());
    }
    void program() {
        clearLogs();
        w().SB_Prog->click();
    }
    bool said(const char* line) { return w().memoLines().contains(line); }
    std::string memo() { return w().memoLines().join('|').toStdString(); }

    QTemporaryDir dir_;
    int files_ = 0;
};

}  // namespace

// A GAL loaded from a JEDEC file and programmed from the toolbar: the file's
// security field secures it; a new selection or a file with a wrong checksum
// does not; a stuck fuse fails the Program before any secure frame.
TEST_F(PldWindowTest, ToolbarProgramsFromAJedecFileAndSecuresOnlyWhatTheFileSays) {
    const auto found = findDevice(4, "GAL16V8");
    ASSERT_TRUE(found);
    select(found->place);
    for (QToolButton* b : {w().SB_Load, w().SB_Save, w().SB_Edit, w().SB_Config, w().SB_Prog, w().SB_Verify,
                           w().SB_Read, w().SB_Lock})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();

    Bytes map = holdableMap(found->rec, 3);
    map[2] = 0;
    unsigned sum = 0;
    for (std::size_t i = 0; i < map.size(); ++i) sum += map[i] << (i % 8);
    const QByteArray good = QString::asprintf("%.4X", sum & 0xFFFF).toLatin1();

    load(writeJedec(map, 1, good));
    program();
    EXPECT_TRUE(said(" Programming Completed") && said(" Verify Completed")) << memo();
    EXPECT_EQ(chip().fuseMap(), map);
    EXPECT_TRUE(chip().isSecured());
    EXPECT_EQ(w().TotalProg->text() + w().ProgCorrect->text(), "11");

    select(found->place);  // a blank part in the socket, the image blank
    EXPECT_EQ(Bytes(st().buf.DeviceBuffer.begin(), st().buf.DeviceBuffer.end()), Bytes(st().buf.size(), 1));
    program();
    EXPECT_TRUE(said(" Verify Completed")) << memo();
    EXPECT_FALSE(chip().isSecured());

    load(writeJedec(map, 1, "1234"));
    EXPECT_TRUE(said(" Checksum Error "));
    program();
    EXPECT_FALSE(chip().isSecured());
    EXPECT_EQ(w().ProgCorrect->text(), "3");

    select(found->place);
    load(writeJedec(map, 1, good));
    sim_.faults().stickBit(2, 0);
    program();
    EXPECT_TRUE(said(" Verify Array Error")) << memo();
    EXPECT_TRUE(chip().secureFrames().empty());
    EXPECT_EQ(w().ProgFail->text(), "1");
}

// An algorithm outside the geometry table: nothing to file or edit, and every
// operation ends at the signature check without a frame to the part.
TEST_F(PldWindowTest, PartWithoutGeometryIsRefused) {
    const DeviceRecord rec = RecordImage('P').algorithm(17).lastAddress(2193).buttons(kAllButtons).build();
    w().enableFromRecord(rec);
    for (QToolButton* b : {w().SB_Load, w().SB_Save, w().SB_Edit, w().SB_Config})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    PldRig r(rec);
    EXPECT_FALSE(r.run('R'));
    EXPECT_TRUE(r.said(" ID Error  Device ")) << r.memo();
    EXPECT_EQ(r.sim.hostBytes(), word("TO\0\0"));
}
