#include "fileformats/HexText.h"

#include <algorithm>
#include <cstring>

namespace tesmar {
namespace {

constexpr std::size_t kWindow = std::size_t(1) << 20;

}  // namespace

QString UpperHexText(std::uint64_t value) { return QString::number(qulonglong(value), 16).toUpper(); }

// ---------------------------------------------------------------------------

FileReader::FileReader() : buf_(kWindow) { pos_ = end_ = buf_.data(); }

bool FileReader::open(const QString& fileName) {
    file_.setFileName(fileName);
    if (!file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return false;
    size_ = file_.size();
    pos_ = end_ = buf_.data();
    base_ = 0;
    eof_ = failed_ = false;
    return true;
}

void FileReader::close() { file_.close(); }

std::size_t FileReader::fill(std::size_t n) {
    std::size_t have = std::size_t(end_ - pos_);
    if (have >= n) return n;
    if (eof_ || failed_) return have;
    // Keep the unread tail at the front of the window, then top it up.
    if (pos_ != buf_.data()) {
        base_ += pos_ - buf_.data();
        std::memmove(buf_.data(), pos_, have);
        pos_ = buf_.data();
        end_ = pos_ + have;
    }
    while (have < n) {
        const qint64 got = file_.read(reinterpret_cast<char*>(end_), qint64(buf_.size() - have));
        if (got < 0) {
            failed_ = true;
            break;
        }
        if (got == 0) {
            eof_ = true;
            break;
        }
        end_ += got;
        have += std::size_t(got);
    }
    return have >= n ? n : have;
}

// ---------------------------------------------------------------------------

FileWriter::FileWriter() : buf_(kWindow) {}

FileWriter::~FileWriter() {
    if (file_.isOpen()) finish();
}

bool FileWriter::create(const QString& fileName) {
    file_.setFileName(fileName);
    used_ = 0;
    failed_ = false;
    return file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

void FileWriter::flush() {
    if (used_ == 0) return;
    if (!failed_ && file_.write(buf_.data(), qint64(used_)) != qint64(used_)) failed_ = true;
    used_ = 0;
}

void FileWriter::write(const char* data, std::size_t n) {
    while (n > 0) {
        if (used_ == buf_.size()) flush();
        const std::size_t k = std::min(n, buf_.size() - used_);
        std::memcpy(buf_.data() + used_, data, k);
        used_ += k;
        data += k;
        n -= k;
    }
}

void FileWriter::write(const char* text) { write(text, std::strlen(text)); }

bool FileWriter::finish() {
    flush();
    if (file_.isOpen()) {
        // A device such as a full disk may refuse the data only when it is pushed out.
        if (!file_.flush()) failed_ = true;
        file_.close();
        if (file_.error() != QFileDevice::NoError) failed_ = true;
    }
    return !failed_;
}

void writeIntelRecord(FileWriter& out, std::uint8_t ll, std::uint16_t address, std::uint8_t type,
                      const std::uint8_t* data, std::size_t n, const char* lineEnd) {
    char* o = out.reserve(16 + 2 * n);
    *o++ = ':';
    std::uint8_t sum = std::uint8_t(ll + (address >> 8) + (address & 0xFF) + type);
    o = putHexByte(o, ll);
    o = putHexByte(o, std::uint8_t(address >> 8));
    o = putHexByte(o, std::uint8_t(address));
    o = putHexByte(o, type);
    for (std::size_t i = 0; i < n; ++i) {
        sum = std::uint8_t(sum + data[i]);
        o = putHexByte(o, data[i]);
    }
    o = putHexByte(o, std::uint8_t(-sum));
    while (*lineEnd) *o++ = *lineEnd++;
    out.commit(o);
}

}  // namespace tesmar
