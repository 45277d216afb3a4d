// A family data file read whole: the manufacturer table, every block, every
// record the tables reach, and what a selection does with a record the sanity
// test lets through (image size and fill, checksum, labels and hints, the
// device parameters, the PIC area map, the configuration pages).
//
// Input: the file.
#include <cstdint>
#include <vector>

#include "common/FuzzRig.h"
#include "config/ConfigPages.h"
#include "devices/BufferLayout.h"
#include "devices/DeviceDataFile.h"
#include "devices/DeviceHints.h"
#include "families/Pic.h"
#include "fileformats/FileFrame.h"
#include "fileformats/LoadSave.h"
#include "link/Link.h"
#include "operations/Checksum.h"
#include "operations/Dispatch.h"

using namespace tesmar;
using namespace tesmar::fuzz;

namespace {

// Images up to this size are allocated, filled and summed; larger ones (up
// to the 64 MiB a record may ask for) only sized, to keep one input quick.
constexpr std::uint32_t kAllocateUpTo = 8u << 20;
// Records selected whole per input; the rest are sized and decoded.
constexpr int kSelectionsPerInput = 2;

void select(const DeviceRecord& rec, bool whole) {
    ShowDeviceHints(rec);
    deviceLabels(rec);
    buildDeviceParameterPacket(rec);
    buildFamilyTail(rec);
    familyHasRoutine(rec);
    config::sheetsForPageCode(rec.PageCode);
    config::hasConfigDialog(rec);
    for (bool oddEven : {false, true}) {
        const LoadBufferSize s = loadBufferSize(rec, oddEven);
        if (s.view > s.block || s.view > 0xFFFFFFFFull) fail("a load view does not fit its block");
        defaultSaveStop(rec, oddEven);
    }
    if (rec.FamilyLetter == 'C') {
        picAreaMap(rec);
        picAreas(rec);
        picAreaMismatch(rec);
    }
    if (!whole || rec.LastAddress >= kAllocateUpTo) return;
    ImageBuffer buf;
    selectionImage(buf, rec);
    computeChecksum(buf, &rec);
    if (rec.FamilyLetter == 'R') {
        allocateOddEven(buf, rec);
        computeChecksum(buf, &rec);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    startQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DeviceDataFile f;
    f.load(std::vector<std::uint8_t>(data, data + size));
    f.manufacturers();
    int selections = 0;
    // One past each end as well: the selection dialog's indexes come from the settings store.
    for (int m = -1; m <= f.manufacturerCount(); ++m) {
        const int n = int(f.deviceNames(m).size());
        for (int d = -1; d <= n; ++d) {
            const auto rec = f.record(m, d);
            if (!rec) continue;
            if (d < 0 || d >= n) fail("a record outside the manufacturer's block");
            if (recordIsUsable(*rec)) select(*rec, selections++ < kSelectionsPerInput);
        }
    }
    return 0;
}
