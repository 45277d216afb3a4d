// The program's waits sleep between polls of a silent line. Under the fuzzer
// nothing is ever on its way, so a sleep only costs time: here it returns at
// once and moves the process's monotonic clock on by what it would have
// slept. A wait bounded by a poll count or by the monotonic clock then ends
// after its bound within microseconds, while a loop with no bound still spins
// until libFuzzer's -timeout (which keeps wall-clock time) stops it.
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

namespace {

std::atomic<long long> skippedNs{0};

constexpr long long kNsPerSecond = 1000000000LL;

long long toNs(const timespec& t) { return (long long)t.tv_sec * kNsPerSecond + t.tv_nsec; }

bool monotonic(clockid_t clock) {
    return clock == CLOCK_MONOTONIC || clock == CLOCK_MONOTONIC_COARSE || clock == CLOCK_MONOTONIC_RAW ||
           clock == CLOCK_BOOTTIME;
}

void skip(long long ns) {
    if (ns > 0) skippedNs += ns;
}

}  // namespace

extern "C" int clock_gettime(clockid_t clock, timespec* ts) {
    const long rc = syscall(SYS_clock_gettime, clock, ts);
    if (rc == 0 && monotonic(clock)) {
        const long long t = toNs(*ts) + skippedNs.load();
        ts->tv_sec = time_t(t / kNsPerSecond);
        ts->tv_nsec = long(t % kNsPerSecond);
    }
    return int(rc);
}

extern "C" int nanosleep(const timespec* req, timespec* rem) {
    if (req) skip(toNs(*req));
    if (rem) *rem = timespec{};
    return 0;
}

extern "C" int clock_nanosleep(clockid_t clock, int flags, const timespec* req, timespec* rem) {
    if (req && (flags & TIMER_ABSTIME)) {
        timespec now{};
        clock_gettime(clock, &now);
        skip(toNs(*req) - toNs(now));
    } else if (req) {
        skip(toNs(*req));
    }
    if (rem) *rem = timespec{};
    return 0;
}
