#pragma once
// Shared pieces of every image file format: a file reader and writer that
// move the file in large pieces, the hexadecimal pair routines and the
// Intel-style record line that Intel HEX, INHX8M and INHX16 share.
#include <QFile>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tesmar {

namespace detail {
constexpr std::array<std::int8_t, 256> makeDigitTable() {
    std::array<std::int8_t, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = -1;
    for (int i = 0; i < 10; ++i) t['0' + i] = std::int8_t(i);
    for (int i = 0; i < 6; ++i) t['A' + i] = t['a' + i] = std::int8_t(10 + i);
    return t;
}
constexpr std::array<std::array<char, 2>, 256> makePairTable() {
    std::array<std::array<char, 2>, 256> t{};
    const char* d = "0123456789ABCDEF";
    for (int i = 0; i < 256; ++i) t[i] = {d[i >> 4], d[i & 15]};
    return t;
}
}  // namespace detail

// Value of an ASCII hexadecimal digit (either case), -1 for any other byte.
inline constexpr std::array<std::int8_t, 256> kHexDigitValue = detail::makeDigitTable();
// The two upper-case digits of every byte value.
inline constexpr std::array<std::array<char, 2>, 256> kHexPairText = detail::makePairTable();

// The byte of two hexadecimal digits, or -1 when either is not a digit.
inline int hexPairValue(const unsigned char* p) {
    const int hi = kHexDigitValue[p[0]], lo = kHexDigitValue[p[1]];
    return (hi | lo) < 0 ? -1 : (hi << 4) | lo;
}

inline char* putHexByte(char* out, std::uint8_t b) {
    out[0] = kHexPairText[b][0];
    out[1] = kHexPairText[b][1];
    return out + 2;
}

// Upper-case hexadecimal without leading zeros or prefix, as the report lines show it.
QString UpperHexText(std::uint64_t value);

// Reads a file front to back through a window of about a megabyte.
class FileReader {
public:
    FileReader();
    bool open(const QString& fileName);  // read-only; false when it cannot be opened
    void close();
    qint64 size() const { return size_; }

    // Makes up to n bytes from the current position contiguous in the window and
    // returns how many are there: fewer than n only at the end of the file or
    // after a read failure. n must stay well below the window size.
    std::size_t need(std::size_t n) {
        const std::size_t have = std::size_t(end_ - pos_);
        return have >= n ? n : fill(n);
    }
    const unsigned char* cur() const { return pos_; }
    void skip(std::size_t n) { pos_ += n; }
    // The next byte, or -1 at the end of the file (or after a read failure).
    int get() {
        if (pos_ == end_ && fill(1) == 0) return -1;
        return *pos_++;
    }
    // Everything left in the window (refilled when empty); empty at the end.
    std::size_t available() { return pos_ == end_ ? fill(1) : std::size_t(end_ - pos_); }
    bool readFailed() const { return failed_; }
    // Bytes consumed so far.
    qint64 consumed() const { return base_ + (pos_ - buf_.data()); }

private:
    std::size_t fill(std::size_t n);

    QFile file_;
    std::vector<unsigned char> buf_;
    unsigned char* pos_ = nullptr;
    unsigned char* end_ = nullptr;
    qint64 base_ = 0;  // file position of buf_[0]
    qint64 size_ = 0;
    bool eof_ = false;
    bool failed_ = false;
};

// Writes a file through a buffer of about a megabyte and remembers whether
// any write failed (a full disk, a vanished device).
class FileWriter {
public:
    FileWriter();
    ~FileWriter();
    bool create(const QString& fileName);  // create or truncate; false when impossible
    // Room for n more bytes (n well below the buffer size); write through the
    // returned pointer and hand the end back to commit().
    char* reserve(std::size_t n) {
        if (std::size_t(buf_.size() - used_) < n) flush();
        return buf_.data() + used_;
    }
    void commit(char* end) { used_ = std::size_t(end - buf_.data()); }
    void write(const char* data, std::size_t n);
    void write(const char* text);
    // Flushes and closes; true when every byte reached the file.
    bool finish();
    bool failed() const { return failed_; }

private:
    void flush();

    QFile file_;
    std::vector<char> buf_;
    std::size_t used_ = 0;
    bool failed_ = false;
};

// Writes one Intel-style record: ':', LL, the 16-bit address, the type, the
// data bytes, the checksum (two's complement of the sum) and the line end.
// LL is given apart because INHX16 counts words, not bytes.
void writeIntelRecord(FileWriter& out, std::uint8_t ll, std::uint16_t address, std::uint8_t type,
                      const std::uint8_t* data, std::size_t n, const char* lineEnd);

}  // namespace tesmar
