#include "platform/clock.h"

#include <time.h>

#include <algorithm>
#include <random>

namespace dezede {

TLocalClock LocalClockNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const time_t secs = ts.tv_sec;
    tm local{};
    localtime_r(&secs, &local);
    TLocalClock c;
    c.Year = local.tm_year + 1900;
    c.Month = local.tm_mon + 1;
    c.Day = local.tm_mday;
    c.Hour = local.tm_hour;
    c.Minute = local.tm_min;
    c.Second = std::min(local.tm_sec, 59);
    c.Millisecond = static_cast<int>(ts.tv_nsec / 1000000);
    return c;
}

uint64_t RandomSeed() {
    std::random_device device;
    return (static_cast<uint64_t>(device()) << 32) ^ device();
}

void SleepMs(uint32_t milliseconds) {
    if (milliseconds == 0) return;
    timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

}  // namespace dezede
