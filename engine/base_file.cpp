#include "engine/base_file.h"

#include <algorithm>

namespace dezede {

TBaseFile::TBaseFile(std::string fileName) : FileName_(std::move(fileName)) { Handles_.reserve(64); }

TBaseFile::~TBaseFile() = default;

uint16_t TBaseFile::HandleCount() const {
    std::lock_guard lock(HandleLock_);
    return static_cast<uint16_t>(Handles_.size());
}

bool TBaseFile::HasHandle(int32_t handle) const {
    std::lock_guard lock(HandleLock_);
    return std::any_of(Handles_.begin(), Handles_.end(), [&](const THandle& h) { return h.Id == handle; });
}

std::vector<TLockRegion> TBaseFile::UnlockRegions(std::span<const TLockRegion> regions) {
    std::vector<TLockRegion> failed;
    for (const TLockRegion& r : regions)
        if (!UnlockRegion(r.Offset, r.Length)) failed.push_back(r);
    return failed;
}

size_t TBaseFile::RegionCount() const {
    std::lock_guard lock(RegionLock_);
    return Regions_.Count();
}

int32_t TBaseFile::AddHandle() {
    // Ids stay positive and unique within the file, also after the counter wraps.
    do {
        LastHandleId_ = LastHandleId_ == INT32_MAX ? 1 : LastHandleId_ + 1;
    } while (FindHandle(LastHandleId_) != nullptr);
    Handles_.push_back({LastHandleId_, 0});
    return LastHandleId_;
}

bool TBaseFile::RemoveHandle(int32_t handle) {
    auto it = std::find_if(Handles_.begin(), Handles_.end(), [&](const THandle& h) { return h.Id == handle; });
    if (it == Handles_.end()) return false;
    Handles_.erase(it);
    return true;
}

TBaseFile::THandle* TBaseFile::FindHandle(int32_t handle) {
    for (auto& h : Handles_)
        if (h.Id == handle) return &h;
    return nullptr;
}

}  // namespace dezede
