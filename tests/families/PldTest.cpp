// PLD and GAL parts end to end on the simulated programmer: geometry, the
// signature check, every operation, and the fuse map against the chip's own.
#include <gtest/gtest.h>

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
