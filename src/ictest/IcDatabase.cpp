#include "ictest/IcDatabase.h"

#include <QFile>
#include <QFileInfo>

namespace tesmar::ictest {

namespace {

constexpr std::size_t kGroupCountAt = 12;
// Offsets are 16 bits wide, so nothing past the last entry that an offset can
// name plus the longest text the work area takes is ever read.
constexpr std::size_t kReachableBytes = 0x10000 + kRecordSize + kTesterBufferSize + 1;

}  // namespace

bool IcDatabase::load(const std::string& path) {
    bytes_.clear();
    const QString name = QFile::decodeName(path.c_str());
    if (!QFileInfo(name).isFile()) return false;
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray data = f.read(qint64(kReachableBytes));
    bytes_.assign(data.begin(), data.end());
    return true;
}

bool IcDatabase::u8(std::size_t at, std::uint8_t& v) const {
    if (at >= bytes_.size()) return false;
    v = bytes_[at];
    return true;
}

bool IcDatabase::u16(std::size_t at, std::uint16_t& v) const {
    if (at >= bytes_.size() || bytes_.size() - at < 2) return false;
    v = std::uint16_t(bytes_[at] | (bytes_[at + 1] << 8));
    return true;
}

QString IcDatabase::text(std::size_t at, std::size_t width) const {
    QString s;
    for (std::size_t i = 0; i < width && at + i < bytes_.size() && bytes_[at + i] != 0; ++i)
        s += QChar::fromLatin1(char(bytes_[at + i]));
    return s;
}

unsigned IcDatabase::groupCount() const {
    std::uint16_t g = 0;
    return u16(kGroupCountAt, g) ? g : 0;
}

std::vector<QString> IcDatabase::groupNames(bool* complete) const {
    std::vector<QString> names;
    const unsigned g = groupCount();
    bool whole = bytes_.size() >= kRecordSize;
    for (unsigned i = 0; i < g; ++i) {
        const std::size_t record = kRecordSize * (i + 1);
        if (record + kRecordSize > bytes_.size()) {
            whole = false;
            break;
        }
        names.push_back(text(record + 2, kGroupNameLength));
    }
    if (complete) *complete = whole;
    return names;
}

std::vector<QString> IcDatabase::icNames(int groupIndex, bool* complete) const {
    std::vector<QString> names;
    if (complete) *complete = false;
    const unsigned g = groupCount();
    if (groupIndex < 0 || unsigned(groupIndex) >= g) return names;

    // The blocks are walked, not looked up: each is the 16-byte header and
    // its entries, and the next one follows directly.
    std::size_t block = kRecordSize * (std::size_t(g) + 1);
    std::uint16_t count = 0;
    for (int i = 0;; ++i) {
        if (!u16(block + 1, count) || block + kRecordSize > bytes_.size()) return names;
        if (i == groupIndex) break;
        block += kRecordSize + kRecordSize * std::size_t(count);
    }
    for (std::size_t c = 0; c < count; ++c) {
        const std::size_t entry = block + kRecordSize * (c + 1);
        if (entry + kRecordSize > bytes_.size()) return names;
        names.push_back(text(entry + 2, kIcNameLength));
    }
    if (complete) *complete = true;
    return names;
}

EntryLookup IcDatabase::findEntry(int groupNumber, int icIndex) const {
    EntryLookup r;
    if (groupNumber < 1 || unsigned(groupNumber) > groupCount() || icIndex < 0) return r;
    std::uint16_t block = 0, count = 0;
    std::uint8_t marker = 0;
    if (!u16(kRecordSize * std::size_t(groupNumber), block)) return r;
    if (std::size_t(block) + kRecordSize > bytes_.size()) return r;
    u8(block, marker);
    u16(std::size_t(block) + 1, count);
    r.markerOk = marker == kBlockMarker;
    if (unsigned(icIndex) >= count) return r;
    const std::size_t at = std::size_t(block) + kRecordSize * (std::size_t(icIndex) + 1);
    if (at + kRecordSize > bytes_.size()) return r;

    IcEntry& e = r.entry;
    u16(at, e.vectorOffset);
    e.name = text(at + 2, kIcNameLength);
    e.pinCount = bytes_[at + 10];
    e.groundPin = bytes_[at + 11];
    e.supplyPin = bytes_[at + 12];
    e.mode = bytes_[at + 15];
    r.found = true;
    return r;
}

VectorText IcDatabase::vectorText(std::uint16_t offset, std::size_t capacity) const {
    VectorText v;
    std::uint8_t marker = 0;
    if (!u8(offset, marker)) return v;
    v.markerOk = marker == kBlockMarker;
    const std::size_t start = std::size_t(offset) + 1;
    for (std::size_t at = start; at < bytes_.size(); ++at) {
        if (at - start + 1 > capacity) {
            v.problem = VectorText::TooLong;
            return v;
        }
        if (bytes_[at] == 0) {
            v.text.assign(bytes_.begin() + std::ptrdiff_t(start), bytes_.begin() + std::ptrdiff_t(at) + 1);
            v.problem = VectorText::None;
            return v;
        }
    }
    v.problem = VectorText::NoTerminator;
    return v;
}

}  // namespace tesmar::ictest
