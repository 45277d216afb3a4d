#include "config/PldFuseView.h"

#include "families/PldGeometry.h"

namespace tesmar::config {

PldFuseRows pldFuseRows(const DeviceRecord& rec, std::size_t imageSize) {
    PldFuseRows r;
    const GalRow* g = pldGeometry(rec);
    if (!g) return r;
    const std::uint64_t rowBits = std::uint64_t(PldRowBits(rec));
    const std::uint64_t ues = std::uint64_t(PldUesFuse(rec));
    // A part without UES bytes has no user row: its "first UES fuse" would
    // name the array.
    r.userShown = pldHasUes(rec);
    if (r.userShown)
        for (std::uint64_t f = ues; f < ues + rowBits && f < imageSize; ++f) r.user.push_back(std::uint32_t(f));

    const std::int32_t bits = PldConfigBits(rec);
    std::uint64_t f = std::uint64_t(PldFirstConfigFuse(rec));
    for (std::int32_t i = 0; i < bits; ++i, ++f) {
        if (g->uesBytes > 0 && f == ues) f += rowBits;
        if (f >= imageSize) break;
        r.config.push_back(std::uint32_t(f));
    }
    return r;
}

}  // namespace tesmar::config
