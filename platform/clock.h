#pragma once
// The system clock, sleeping and random seeds: the operating-system services
// that the engine and the SQL layer use for CURRENT_DATE and the like, lock
// retries and random numbers.

#include <cstdint>

namespace dezede {

struct TLocalClock {
    int Year = 1;
    int Month = 1;   // 1..12
    int Day = 1;     // 1..31
    int Hour = 0;    // 0..23
    int Minute = 0;  // 0..59
    int Second = 0;  // 0..59 (a leap second reads as 59)
    int Millisecond = 0;
};

// The current local date and time.
TLocalClock LocalClockNow();

// A seed for random generators from the system's entropy source.
uint64_t RandomSeed();

// Sleeps for that many milliseconds (Sleep).
void SleepMs(uint32_t milliseconds);

}  // namespace dezede
