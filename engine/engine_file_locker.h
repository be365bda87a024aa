#pragma once
// The locking protocol's lock primitive on an engine file (its shared file
// object keeps the process's list of locked regions, so that sessions of one
// process exclude each other as processes do).

#include "engine/engine_file.h"
#include "engine/region_locker.h"

namespace dezede {

class TEngineFileLocker final : public TRegionLocker {
public:
    explicit TEngineFileLocker(TEngineFile& file) : File_(file) {}
    bool LockRegion(uint64_t offset, uint64_t length) override { return File_.LockRegion(offset, length, true); }
    bool UnlockRegion(uint64_t offset, uint64_t length) override { return File_.LockRegion(offset, length, false); }
    std::vector<TLockRegion> UnlockRegions(std::span<const TLockRegion> regions) override {
        return File_.UnlockRegions(regions);
    }

private:
    TEngineFile& File_;
};

}  // namespace dezede
