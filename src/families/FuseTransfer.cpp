#include "families/FuseTransfer.h"

#include <algorithm>

#include "families/FamilyCommon.h"
#include "families/PldGeometry.h"
#include "link/Replies.h"
#include "link/UsbPort.h"

namespace tesmar {
namespace {

const char* const kReadError = " Error with read";

// The image holds every fuse of the transfer; otherwise the failure is counted.
bool imageHolds(AppState& st, std::uint32_t count, const FuseOrder& order) {
    const std::size_t end = order.end(count);
    return end == 0 || transferFits(st, end - 1, 1, 1);
}

// Reads and drops up to `count` bytes of a stream that is no longer wanted;
// stops at the first read that comes back short (the stream has ended).
void drain(AppState& st, std::uint32_t count) {
    std::uint8_t sink[256];
    while (count > 0) {
        const std::uint32_t want = std::min<std::uint32_t>(count, sizeof sink);
        int status = UsbOk;
        if (readBytes(st, sink, want, &status) < want || status != UsbOk) return;
        count -= want;
    }
}

}  // namespace

FuseOrder FuseOrder::deviceRows(std::uint32_t rows, std::uint32_t rowBits) {
    FuseOrder o;
    o.kind_ = Kind::Rows;
    o.a_ = rows;
    o.b_ = rowBits;
    return o;
}

FuseOrder FuseOrder::run(std::uint32_t first) {
    FuseOrder o;
    o.kind_ = Kind::Run;
    o.a_ = first;
    return o;
}

FuseOrder FuseOrder::list(std::span<const std::int32_t> fuses) {
    FuseOrder o;
    o.kind_ = Kind::List;
    o.list_ = fuses;
    return o;
}

std::size_t FuseOrder::fuse(std::uint32_t i) const {
    switch (kind_) {
    case Kind::Rows: return b_ ? std::size_t(i / b_) + std::size_t(i % b_) * a_ : 0;
    case Kind::Run: return std::size_t(a_) + i;
    case Kind::List: return i < list_.size() ? std::size_t(std::max(list_[i], 0)) : SIZE_MAX;
    }
    return SIZE_MAX;
}

std::size_t FuseOrder::end(std::uint32_t count) const {
    if (count == 0) return 0;
    switch (kind_) {
    case Kind::Rows: {
        // The highest fuse lies in the last device row or, when that one is
        // cut short, in the row before.
        std::size_t highest = 0;
        const std::uint32_t from = count > 2 * b_ ? count - 2 * b_ : 0;
        for (std::uint32_t i = from; i < count; ++i) highest = std::max(highest, fuse(i));
        return highest + 1;
    }
    case Kind::Run: return std::size_t(a_) + count;
    case Kind::List: {
        if (count > list_.size()) return SIZE_MAX;
        std::size_t highest = 0;
        for (std::uint32_t i = 0; i < count; ++i) highest = std::max(highest, fuse(i));
        return highest + 1;
    }
    }
    return SIZE_MAX;
}

FuseResult receiveFuses(AppState& st, FuseAction action, std::uint32_t count, std::uint32_t chunk,
                        const FuseOrder& order) {
    if (action != FuseAction::Discard && !imageHolds(st, count, order)) return FuseResult::Failed;
    std::vector<std::uint8_t> data(std::max<std::uint32_t>(chunk, 1));
    std::uint8_t* image = st.buf.DeviceBuffer.data();
    for (std::uint32_t done = 0; done < count;) {
        if (st.RunFlag.load() == 0) return FuseResult::Aborted;
        if (st.ErrorFlag.get() != 0) return FuseResult::Failed;
        const std::uint32_t want = std::min<std::uint32_t>(std::uint32_t(data.size()), count - done);
        int status = UsbOk;
        if (readBytes(st, data.data(), want, &status) < want || status != UsbOk) {
            failLine(st, kReadError);
            return FuseResult::Failed;
        }
        if (action != FuseAction::Discard) {
            for (std::uint32_t i = 0; i < want; ++i) {
                std::uint8_t& fuse = image[order.fuse(done + i)];  // inside: checked by imageHolds
                if (action == FuseAction::Store) {
                    fuse = pldFuseBit(data[i]);
                    continue;
                }
                const std::uint8_t expected = action == FuseAction::Compare ? pldFuseBit(fuse) : 1;
                if (data[i] != expected) {
                    drain(st, count - done - want);
                    return FuseResult::Mismatch;
                }
            }
        }
        advanceGauge(st, int(want));
        done += want;
    }
    return FuseResult::Done;
}

std::vector<std::uint8_t> gatherFuses(AppState& st, std::uint32_t count, const FuseOrder& order) {
    std::vector<std::uint8_t> out;
    if (!imageHolds(st, count, order)) return out;
    out.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) out[i] = pldFuseBit(st.buf.DeviceBuffer[order.fuse(i)]);
    return out;
}

}  // namespace tesmar
