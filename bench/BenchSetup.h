#pragma once
// Set-up the benchmark programs share. Each benchmark is a program of its
// own, so everything here is inline.
#include <array>
#include <cstring>
#include <ctime>
#include <memory>

#include "app/AppState.h"
#include "devices/DeviceRecord.h"
#include "fileformats/LoadSave.h"

namespace tesmar::bench {

// CPU seconds of `clock`: CLOCK_THREAD_CPUTIME_ID for the calling thread,
// CLOCK_PROCESS_CPUTIME_ID for every thread of the program.
inline double cpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Selects a flash part of `bytes` bytes that erases to 0xFF and gives the
// image its buffer.
inline void selectFlashPart(AppState& st, std::uint32_t bytes) {
    std::array<std::uint8_t, kDeviceRecordSize> raw{};
    raw[1] = 'F';
    const std::uint32_t last = bytes - 1;
    std::memcpy(raw.data() + 0x26, &last, 4);
    raw[0x78] = 0xFF;
    st.CurrentDevice = std::make_shared<DeviceRecord>(DeviceRecord::fromImage(raw.data()));
    st.buf.replace(loadBufferSize(*st.CurrentDevice, false).block);
}

}  // namespace tesmar::bench
