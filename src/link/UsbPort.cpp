#include "link/UsbPort.h"

#include <algorithm>
#include <thread>

namespace tesmar {

int UsbPort::waitQueue(std::uint32_t atLeast, std::chrono::microseconds maxWait, std::uint32_t& bytesWaiting) {
    const int rc = queueStatus(bytesWaiting);
    if (rc != UsbOk || bytesWaiting >= atLeast || maxWait.count() <= 0) return rc;
    std::this_thread::sleep_for(std::min(maxWait, kIdleSleep));
    return queueStatus(bytesWaiting);
}

}  // namespace tesmar
