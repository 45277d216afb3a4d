#include "editors/FuseEditing.h"

#include <algorithm>

#include "families/PldGeometry.h"

namespace tesmar {

FuseView fuseEditorView(const DeviceRecord* rec, std::size_t allocated) {
    FuseView v;
    if (!rec) return v;
    const GalRow* g = pldGeometry(*rec);
    if (!g) return v;
    v.columns = std::uint32_t(g->rows);
    // Whole grid rows of the array, and only those the image holds.
    v.rows = std::uint32_t(std::min<std::size_t>(std::size_t(g->rowBits), allocated / v.columns));
    return v;
}

int fuseScrollMaximum(const FuseView& v) {
    return v.rows > std::uint32_t(kFusePageRows) ? int(v.rows) - kFusePageRows : 0;
}

std::optional<std::uint32_t> fusePageDown(const FuseView& v, std::uint32_t top) {
    if (std::uint64_t(top) + 2 * kFusePageRows <= v.rows) return top + kFusePageRows;
    return std::nullopt;
}

std::optional<std::uint32_t> fusePageUp(std::uint32_t top) {
    if (top >= std::uint32_t(kFusePageRows)) return top - kFusePageRows;
    return std::nullopt;
}

std::optional<std::uint32_t> fuseRowDown(const FuseView& v, std::uint32_t top) {
    if (std::uint64_t(top) + kFusePageRows + 1 <= v.rows) return top + 1;
    return std::nullopt;
}

std::optional<std::uint32_t> fuseRowUp(std::uint32_t top) {
    if (top > 0) return top - 1;
    return std::nullopt;
}

std::optional<std::uint32_t> fuseScrollTo(const FuseView& v, int position) {
    if (position >= 0 && std::uint32_t(position) < v.rows) return std::uint32_t(position);
    return std::nullopt;
}

void loadFusePage(const ImageBuffer& buf, const FuseView& v, std::uint32_t top, FusePage& page) {
    page.top = top;
    page.columns = v.columns;
    page.cells.assign(std::size_t(kFusePageRows) * v.columns, 1);
    const std::uint64_t first = page.firstFuse();
    const std::uint64_t end = std::min<std::uint64_t>(v.fuses(), buf.size());
    page.valid = first < end ? int(std::min<std::uint64_t>(end - first, page.cells.size())) : 0;
    for (int i = 0; i < page.valid; ++i)
        page.cells[std::size_t(i)] = pldFuseBit(buf.DeviceBuffer[std::size_t(first) + std::size_t(i)]);
}

void storeFusePage(ImageBuffer& buf, const FusePage& page) {
    const std::uint64_t first = page.firstFuse();
    if (first >= buf.size()) return;
    const std::size_t n = std::size_t(std::min<std::uint64_t>(std::uint64_t(page.valid), buf.size() - first));
    for (std::size_t i = 0; i < n; ++i) buf.DeviceBuffer[std::size_t(first) + i] = pldFuseBit(page.cells[i]);
}

QChar fuseCharacter(std::uint8_t fuse) { return pldFuseBit(fuse) ? u'-' : u'X'; }

std::optional<std::uint8_t> fuseForCharacter(QChar c) {
    if (c == u'X' || c == u'x') return 0;
    if (c == u'-') return 1;
    return std::nullopt;
}

}  // namespace tesmar
