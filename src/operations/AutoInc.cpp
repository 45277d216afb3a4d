#include "operations/AutoInc.h"

namespace tesmar {

bool IncrementSerialNumber(AppState& st) {
    const std::size_t limit = std::min<std::size_t>(st.buf.BufferViewSize, st.buf.size());
    for (std::uint32_t a : st.AutoIncAddress)
        if (a >= limit) return false;
    std::uint8_t* p = st.buf.DeviceBuffer.data();
    const auto& at = st.AutoIncAddress;
    std::uint32_t n = std::uint32_t(p[at[0]]) | std::uint32_t(p[at[1]]) << 8 | std::uint32_t(p[at[2]]) << 16 |
                      std::uint32_t(p[at[3]]) << 24;
    ++n;
    for (int i = 0; i < 4; ++i) p[at[i]] = std::uint8_t(n >> (8 * i));
    return true;
}

}  // namespace tesmar
