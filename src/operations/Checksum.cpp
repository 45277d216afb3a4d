#include "operations/Checksum.h"

#include <algorithm>

#include "devices/BufferLayout.h"
#include "families/PldGeometry.h"
#include "operations/Host.h"

namespace tesmar {
namespace {

// A PIC word from two bytes, both sign-extended, ORed on 32 bits.
std::uint32_t picWord(std::uint8_t h, std::uint8_t l) {
    const std::int32_t hs = std::int8_t(h), ls = std::int8_t(l);
    return std::uint32_t((hs * 256) | ls);
}

}  // namespace

std::uint32_t computeChecksum(const ImageBuffer& buf, const DeviceRecord* rec, std::size_t* cursorAfter) {
    std::size_t cursor = 0;
    std::uint32_t sum = 0;
    if (rec) {
        const std::uint8_t* p = buf.DeviceBuffer.data();
        const std::size_t size = buf.size();
        std::size_t n = std::size_t(buf.BufferLastAddress) + 1;
        auto at = [&](std::size_t i) -> std::uint8_t { return i < size ? p[i] : 0; };
        switch (rec->FamilyLetter) {
        case 'C': {
            std::size_t k = 0;
            // An odd n takes one byte more; a word cut off by the buffer end is not read.
            for (; k < n && k + 1 < size; k += 2) sum += picWord(p[k], p[k + 1]);
            cursor = k;
            const std::uint32_t m = std::uint32_t(rec->ConfigMasks[0]) * 256 + rec->ConfigMasks[1];
            // The configuration words the sum takes: PIC18 its first two bytes,
            // page code 46 (and only 46) both enhanced words, every other part
            // the first word of the mid-range place.
            const PicAreas areas = picAreas(*rec);
            const std::size_t cfg = areas.config.buf;
            std::uint32_t term;
            if (areas.kind == PicKind::Pic18)
                term = m & picWord(at(cfg), at(cfg + 1));
            else if (rec->PageCode == kPicFirstEnhancedPage)
                term = m & picWord(at(cfg), at(cfg + 1)) & picWord(at(cfg + 2), at(cfg + 3));
            else
                term = m & picWord(at(kPicClassicBase + kPicConfigOffset), at(kPicClassicBase + kPicConfigOffset + 1));
            sum += term;
            break;
        }
        case 'P': {
            n = std::min(n, size);
            sum = pldFuseSum(p, size, n);
            cursor = n;
            break;
        }
        case 'S': {
            const std::size_t bytes = std::min(rec->PulseWidth == 16 ? 2 * n : n, size);
            for (std::size_t i = 0; i < bytes; ++i) sum += std::uint32_t(std::int32_t(std::int8_t(p[i])));
            cursor = bytes;
            break;
        }
        case 'M':
            if (rec->DataEepromSize != 0) n += rec->DataEepromSize;
            [[fallthrough]];
        case 'E': case 'F': case 'L': case 'R': {
            n = std::min(n, size);
            for (std::size_t i = 0; i < n; ++i) sum += p[i];
            cursor = n;
            break;
        }
        case 'O': case 'Y': {
            n = std::min(n, size);
            std::size_t k = 0;
            for (; k + 1 < n; k += 2) sum += p[k] + 256u * p[k + 1];
            if (k < n) sum += p[k++];  // an odd count: the last byte has no partner
            cursor = k;
            break;
        }
        default:
            break;
        }
    }
    if (cursorAfter) *cursorAfter = cursor;
    return sum;
}

std::uint32_t UpdateChecksum(AppState& st) {
    std::size_t cursor = 0;
    const std::uint32_t sum = computeChecksum(st.buf, st.dev(), &cursor);
    st.buf.BufferChecksum = sum;
    st.buf.BufferCursor = cursor;
    if (st.host) st.host->showChecksum(QString::asprintf("0x%.4X", unsigned(sum & 0xFFFF)));
    return sum;
}

}  // namespace tesmar
