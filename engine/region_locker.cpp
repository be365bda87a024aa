#include "engine/region_locker.h"
#include "platform/clock.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>

namespace dezede {

uint32_t DefaultRandom(uint32_t upper) {
    static std::mutex mutex;
    static std::mt19937 generator{static_cast<uint32_t>(RandomSeed())};
    std::lock_guard lock(mutex);
    return std::uniform_int_distribution<uint32_t>(0, upper)(generator);
}

std::vector<TLockRegion> TRegionLocker::UnlockRegions(std::span<const TLockRegion> regions) {
    std::vector<TLockRegion> failed;
    for (const TLockRegion& r : regions)
        if (!Unlock(r)) failed.push_back(r);
    return failed;
}

void LockRetrySleep(uint32_t waitMs) {
    SleepMs(waitMs);
}

// The attempt counters are wider than the retry counts, so that the largest
// count (65,535) still ends the loop instead of wrapping around.
bool LockWithRetries(TRegionLocker& locker, const TLockRegion& region, uint32_t retries, uint32_t waitMs) {
    for (uint32_t failed = 0;;) {
        if (locker.Lock(region)) return true;
        if (++failed > retries) return false;
        LockRetrySleep(waitMs);
    }
}

uint32_t LockRandomByteWithRetries(TRegionLocker& locker, uint64_t start, uint32_t retries, uint32_t waitMs,
                                   const TRandomSource& random) {
    for (uint32_t failed = 0;;) {
        const uint32_t drawn = random ? random(TLockGeometry::kRandomSpan) : DefaultRandom(TLockGeometry::kRandomSpan);
        const uint32_t s = std::clamp<uint32_t>(drawn, 1, TLockGeometry::kRandomSpan);
        if (locker.LockRegion(start + s - 1, 1)) return s;
        if (++failed > retries) return 0;
        LockRetrySleep(waitMs);
    }
}

}  // namespace dezede
