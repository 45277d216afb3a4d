#pragma once
// A PLD on the bench: the sample records of the generated family file, the
// simulated chip in the socket, and operations run the way the toolbar runs
// them (reset, receive queue purged, then the worker's dispatch).
#include <string>
#include <vector>

#include "FamilyRig.h"
#include "devices/DeviceDataFile.h"
#include "link/UsbPort.h"
#include "operations/Dispatch.h"
#include "sim/PldChip.h"

namespace tesmar::test {

struct SamplePld {
    std::string maker;
    DeviceRecord rec;
    std::string label() const { return maker + " " + rec.Name; }
};

inline std::vector<SamplePld> samplePlds() {
    std::vector<SamplePld> out;
    DeviceDataFile file;
    if (!file.open((runDir() + "/zrvusb_p.usb").toStdString())) return out;
    const auto makers = file.manufacturers();
    for (int m = 0; m < file.manufacturerCount(); ++m)
        for (int d = 0; auto rec = file.record(m, d); ++d) out.push_back({makers[std::size_t(m)], *rec});
    return out;
}

inline SamplePld samplePld(const std::string& maker, const std::string& name) {
    for (const SamplePld& p : samplePlds())
        if (p.maker == maker && p.rec.Name == name) return p;
    ADD_FAILURE() << "no sample PLD " << maker << " " << name;
    return {};
}

struct PldRig : FamilyRig {
    explicit PldRig(const DeviceRecord& rec) : FamilyRig(rec) { st.pause = [](int) {}; }
    sim::PldChip& chip() { return dynamic_cast<sim::PldChip&>(*sim.chip()); }

    // One operation; the log and the memo then hold only its traffic and lines.
    bool run(char op) {
        sim.reset();
        sim.purge(PurgeRx);
        sim.clearLog();
        host.memoClear();
        startRun(op);
        ExecuteOperation(st);
        return st.ErrorFlag.get() == 0;
    }
    bool said(const char* line) const { return host.lines().contains(line); }
    std::string memo() const { return host.lines().join('|').toStdString(); }

    void setImage(const Bytes& fuses) { std::copy(fuses.begin(), fuses.end(), st.buf.DeviceBuffer.begin()); }
    Bytes image(std::size_t n) const { return FamilyRig::image(0, n); }
};

// A fuse map the part in the socket can hold, as its own fuseMap() shows it:
// random cells wherever the part has one. The UES of the algorithm-13 part is
// left blank (it is never programmed).
inline Bytes holdableMap(const DeviceRecord& rec, std::uint32_t seed) {
    auto chip = sim::PldChip::blankFor(rec);
    const std::size_t n = chip->fuseMap().size();
    Bytes map = pattern(n, seed);
    for (auto& b : map) b &= 1;
    if (rec.Algorithm == 13) std::fill_n(map.begin() + 5828, 64, 1);
    chip->loadFuseMap(map);
    return chip->fuseMap();
}

}  // namespace tesmar::test
