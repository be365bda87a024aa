#pragma once
// The one primitive the locking protocol needs of a file: a non-blocking
// byte-range lock and unlock, true on success. An unlock must name a region
// exactly as it was locked. TEngineFileLocker puts it on an engine file; the
// retry loops below are the protocol's two ways of waiting for a lock.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "engine/lock_geometry.h"

namespace dezede {

class TEngineFile;

class TRegionLocker {
public:
    virtual ~TRegionLocker() = default;
    virtual bool LockRegion(uint64_t offset, uint64_t length) = 0;
    virtual bool UnlockRegion(uint64_t offset, uint64_t length) = 0;

    bool Lock(const TLockRegion& r) { return LockRegion(r.Offset, r.Length); }
    bool Unlock(const TLockRegion& r) { return UnlockRegion(r.Offset, r.Length); }
    // Unlocks each region as Unlock does; a locker may give back regions that
    // adjoin with one call. Returns the regions that could not be unlocked.
    virtual std::vector<TLockRegion> UnlockRegions(std::span<const TLockRegion> regions);
};

// Draws a uniform number from 0 to upper inclusive (the engine's random source).
using TRandomSource = std::function<uint32_t(uint32_t upper)>;
// A process-wide generator, seeded once, for callers without an engine.
uint32_t DefaultRandom(uint32_t upper);

// Sleeps waitMs milliseconds between two attempts (0: no sleep).
void LockRetrySleep(uint32_t waitMs);

// Tries the region at most retries + 1 times, sleeping waitMs between two
// attempts; retries 0 means one attempt and no sleep.
bool LockWithRetries(TRegionLocker& locker, const TLockRegion& region, uint32_t retries, uint32_t waitMs);

// Locks one byte at start + s - 1 with s drawn afresh from 1 ... 65,534 for
// every attempt, under the same retry rule. Returns the s that succeeded (the
// unlock must name the same byte) or 0 when every attempt failed.
uint32_t LockRandomByteWithRetries(TRegionLocker& locker, uint64_t start, uint32_t retries, uint32_t waitMs,
                                   const TRandomSource& random);

}  // namespace dezede
