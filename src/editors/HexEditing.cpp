#include "editors/HexEditing.h"

#include <QList>
#include <algorithm>
#include <vector>

namespace tesmar {
namespace {

int hexDigit(QChar ch) {
    const char16_t c = ch.unicode();
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

}  // namespace

std::uint32_t hexEditorViewSize(const DeviceRecord* rec, bool oddEvenMode, std::size_t allocated) {
    std::uint64_t size = kMinHexView;
    if (rec) {
        size = std::uint64_t(rec->LastAddress) + 1;
        if (rec->FamilyLetter == 'M' && rec->DataEepromSize != 0) size += rec->DataEepromSize;
        if (oddEvenMode) size *= 2;
        if (rec->FamilyLetter == 'C') {
            if (rec->Algorithm == 18)
                size = 0x100000;
            else if (rec->PageCode >= 46)
                size = 0x20000;
            else
                size = 0x10000;
        }
        size = std::max<std::uint64_t>(size, kMinHexView);
    }
    // A record may promise more than a load or an odd/even switch allocated.
    size = std::min<std::uint64_t>(size, allocated);
    return std::uint32_t(std::min<std::uint64_t>(size, 0xFFFFFFFFu));
}

std::uint32_t lastFullPage(std::uint32_t view) { return view >= kPageBytes ? view - kPageBytes : 0; }

int scrollMaximum(std::uint32_t view) {
    const std::int64_t m = std::int64_t(view / kRowBytes) - 16;
    return int(std::max<std::int64_t>(m, 0));
}

CellPlace placeOffset(std::uint32_t p, std::uint32_t view) {
    CellPlace c;
    if (view >= kPageBytes && p < view - kPageBytes) {
        c.page = p & ~(kRowBytes - 1);
        c.row = 0;
        c.col = int(p % kRowBytes);
        return c;
    }
    c.page = lastFullPage(view);
    const std::uint32_t rel = p >= c.page ? p - c.page : 0;
    c.row = int(std::min<std::uint32_t>(rel / kRowBytes, 15));
    c.col = int(rel % kRowBytes);
    return c;
}

std::uint32_t wrapToView(std::uint64_t typed, std::uint32_t view) {
    if (view == 0) return 0;
    return std::uint32_t(typed % view) & ~(kRowBytes - 1);
}

CellPlace goToPlace(std::uint32_t address, std::uint32_t view) {
    if (view >= kPageBytes && address <= view - kPageBytes) return CellPlace{address, 0, 0};
    CellPlace c;
    c.page = lastFullPage(view);
    const std::uint32_t rel = address >= c.page ? address - c.page : 0;
    // The row that holds the address, so the selected cell is the one typed.
    c.row = int(std::min<std::uint32_t>(rel / kRowBytes, 15));
    c.col = 0;
    return c;
}

std::optional<std::uint32_t> findPattern(const ImageBuffer& buf, std::uint32_t view, std::uint64_t from,
                                         const QByteArray& pattern) {
    const std::uint64_t limit = std::min<std::uint64_t>(view, buf.size());
    const std::uint64_t len = std::uint64_t(pattern.size());
    if (len == 0 || len > limit || from > limit - len) return std::nullopt;
    const auto* base = buf.DeviceBuffer.data();
    const auto* first = base + from;
    const auto* last = base + limit;
    const auto* pat = reinterpret_cast<const std::uint8_t*>(pattern.constData());
    const auto* hit = std::search(first, last, pat, pat + len);
    if (hit == last) return std::nullopt;
    return std::uint32_t(hit - base);
}

bool rangesOverlap(std::uint64_t begin, std::uint64_t count, std::uint64_t to) {
    return !(begin + count <= to || to + count <= begin);
}

std::uint64_t copyBlock(ImageBuffer& buf, std::uint32_t view, std::uint64_t begin, std::uint64_t count,
                        std::uint64_t to, std::optional<std::uint8_t> replace) {
    const std::uint64_t limit = std::min<std::uint64_t>(view, buf.size());
    if (begin >= limit) return 0;
    count = std::min(count, limit - begin);
    auto* p = buf.DeviceBuffer.data();
    std::vector<std::uint8_t> temp(p + begin, p + begin + count);
    if (replace) std::fill(p + begin, p + begin + count, *replace);
    if (to < limit) {
        const std::uint64_t n = std::min(count, limit - to);
        std::copy(temp.begin(), temp.begin() + std::ptrdiff_t(n), p + to);
    }
    return count;
}

std::uint64_t fillRange(ImageBuffer& buf, std::uint32_t view, std::uint64_t from, std::uint64_t to,
                        std::uint16_t data, bool wordMode) {
    const std::uint64_t limit = std::min<std::uint64_t>(view, buf.size());
    if (from > to || from >= limit) return 0;
    const std::uint64_t end = std::min(to + 1, limit);
    auto* p = buf.DeviceBuffer.data();
    const std::uint8_t hi = std::uint8_t(data >> 8), lo = std::uint8_t(data);
    if (!wordMode) {
        std::fill(p + from, p + end, lo);
    } else {
        for (std::uint64_t i = from; i < end; ++i) p[i] = ((i - from) & 1) ? lo : hi;
    }
    return end - from;
}

std::optional<std::uint32_t> parseHexField(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    std::uint64_t v = 0;
    for (QChar ch : t) {
        const int d = hexDigit(ch);
        if (d < 0) return std::nullopt;
        v = v * 16 + std::uint64_t(d);
        if (v > 0xFFFFFFFFull) return std::nullopt;
    }
    return std::uint32_t(v);
}

std::optional<QByteArray> parseHexPattern(const QString& text) {
    QByteArray out;
    for (qsizetype i = 0; i + 1 < text.size(); i += 2) {
        const QString pair = text.mid(i, 2);
        if (pair.trimmed().size() != 2) return std::nullopt;
        const auto v = parseHexField(pair);
        if (!v) return std::nullopt;
        out.append(char(*v));
    }
    return out;
}

std::optional<QByteArray> characterBytes(const QString& text, QString* refused) {
    QByteArray out;
    out.reserve(text.size());
    for (const char32_t code : text.toUcs4()) {
        if (code > 0xFF) {
            if (refused) *refused = QString::fromUcs4(&code, 1);
            return std::nullopt;
        }
        out.append(char(code));
    }
    return out;
}

QString characterNotStorable(const QString& character) {
    const QList<uint> codes = character.toUcs4();
    const uint code = codes.isEmpty() ? 0 : codes.front();
    return QString("The character '%1' (U+%2) cannot be stored: a byte holds only the characters 00 to FF.")
        .arg(character, QString::number(code, 16).toUpper().rightJustified(4, u'0'));
}

QChar byteCharacter(std::uint8_t b) { return (b >= 32 && b <= 122) ? QChar(char16_t(b)) : QChar(u'.'); }

QString hex2(std::uint32_t v) { return QString::asprintf("%.2X", v); }
QString hex8(std::uint32_t v) { return QString::asprintf("%.8X", v); }

}  // namespace tesmar
