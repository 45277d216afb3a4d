#include "devices/DeviceDataFile.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace tesmar {

bool DeviceDataFile::open(const std::string& path) {
    // The name comes from the settings store: a folder opens like a file here
    // and then fails its first read, which the stream reports by throwing.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    try {
        return load(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}));
    } catch (const std::ios_base::failure&) {
        return false;
    }
}

bool DeviceDataFile::load(std::vector<std::uint8_t> bytes) {
    bytes_ = std::move(bytes);
    return true;
}

int DeviceDataFile::manufacturerCount() const {
    if (bytes_.size() < 14) return 0;
    int m = bytes_[13];
    // Only slots that are present in full count.
    while (m > 0 && 16 + 16 * std::size_t(m) > bytes_.size()) --m;
    return m;
}

std::vector<std::string> DeviceDataFile::manufacturers() const {
    std::vector<std::string> names;
    const int m = manufacturerCount();
    for (int i = 0; i < m; ++i) {
        const std::uint8_t* slot = bytes_.data() + 16 + 16 * std::size_t(i);
        std::size_t n = 0;
        while (n < 15 && slot[1 + n] != 0) ++n;
        names.emplace_back(reinterpret_cast<const char*>(slot + 1), n);
    }
    return names;
}

bool DeviceDataFile::block(int m, std::size_t& offset, unsigned& count) const {
    if (bytes_.size() < 14 || m < 0 || m >= bytes_[13]) return false;
    std::size_t pos = 16 * (std::size_t(bytes_[13]) + 1);
    for (int j = 0;; ++j) {
        if (pos + 4 > bytes_.size()) return false;
        const unsigned n = unsigned(bytes_[pos + 2] | (bytes_[pos + 3] << 8));
        if (j == m) {
            offset = pos + 4;
            count = n;
            return true;
        }
        pos += 4 + kDeviceRecordSize * std::size_t(n);
    }
}

std::vector<std::string> DeviceDataFile::deviceNames(int m) const {
    std::vector<std::string> names;
    std::size_t off;
    unsigned n;
    if (!block(m, off, n)) return names;
    for (unsigned d = 0; d < n; ++d) {
        const std::size_t at = off + kDeviceRecordSize * d;
        if (at + kDeviceRecordSize > bytes_.size()) break;
        const std::uint8_t* p = bytes_.data() + at + 2;
        std::size_t len = 0;
        while (len < 20 && p[len] != 0) ++len;
        names.emplace_back(reinterpret_cast<const char*>(p), len);
    }
    return names;
}

std::optional<DeviceRecord> DeviceDataFile::record(int m, int d) const {
    std::size_t off;
    unsigned n;
    if (d < 0 || !block(m, off, n) || unsigned(d) >= n) return std::nullopt;
    const std::size_t at = off + kDeviceRecordSize * std::size_t(d);
    if (at + kDeviceRecordSize > bytes_.size()) return std::nullopt;
    return DeviceRecord::fromImage(bytes_.data() + at);
}

}  // namespace tesmar
