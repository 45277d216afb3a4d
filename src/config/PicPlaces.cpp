#include "config/PicPlaces.h"

namespace tesmar::config {

namespace {
constexpr std::uint32_t kClassicBase = 0x4000;
constexpr std::uint32_t kEnhancedBase = 0x10000;
constexpr std::uint32_t kConfigOffset = 0x0E;
constexpr std::uint8_t kFirstEnhancedPage = 46;
constexpr std::uint32_t kPic18IdPlace = 0xF0000;
constexpr std::uint32_t kPic18ConfigPlace = 0xF0010;
constexpr int kPic18ConfigBytes = 14;
constexpr int kPic18IdBytes = 8;
constexpr int kIdWords = 4;
}  // namespace

PicPlaces picPlaces(const DeviceRecord& rec) {
    PicPlaces p;
    if (rec.Algorithm == 18) {
        p.layout = PicLayout::Pic18;
        p.idPlace = kPic18IdPlace;
        p.idCount = kPic18IdBytes;
        p.configPlace = kPic18ConfigPlace;
        p.configBytes = kPic18ConfigBytes;
        return p;
    }
    p.layout = rec.PageCode >= kFirstEnhancedPage ? PicLayout::Enhanced : PicLayout::Classic;
    const std::uint32_t base = p.layout == PicLayout::Enhanced ? kEnhancedBase : kClassicBase;
    p.idPlace = base;
    p.idCount = kIdWords;
    p.configPlace = base + kConfigOffset;
    p.configBytes = kPicConfigMaskBytes;
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
