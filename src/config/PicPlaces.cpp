#include "config/PicPlaces.h"

#include "devices/BufferLayout.h"

namespace tesmar::config {

PicPlaces picPlaces(const DeviceRecord& rec) {
    const PicAreas a = picAreas(rec);
    PicPlaces p;
    switch (a.kind) {
    case PicKind::Classic: p.layout = PicLayout::Classic; break;
    case PicKind::Enhanced: p.layout = PicLayout::Enhanced; break;
    case PicKind::Pic18: p.layout = PicLayout::Pic18; break;
    }
    p.idPlace = a.id.buf;
    // A mid-range ID is a word; the dialog edits its low byte.
    p.idCount = int(p.layout == PicLayout::Pic18 ? a.id.len : a.id.len / 2);
    p.configPlace = a.config.buf;
    p.configBytes = int(a.config.len);
    return p;
}

std::optional<std::size_t> PicPlaces::idByte(int n) const {
    if (n < 0 || n >= idCount) return std::nullopt;
    if (layout == PicLayout::Pic18) return idPlace + std::size_t(n ^ 1);
    return idPlace + 2 * std::size_t(n) + 1;
}

std::optional<std::size_t> PicPlaces::configByte(int k) const {
    if (k < 0 || k >= configBytes) return std::nullopt;
    return configPlace + std::size_t(k);
}

}  // namespace tesmar::config
