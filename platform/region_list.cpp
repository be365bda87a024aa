#include "platform/region_list.h"

#include <iterator>

namespace dezede {

TRegionList::TRegionList() = default;

bool TRegionList::CanAdd(uint64_t offset, uint64_t length) const {
    if (length == 0 || length - 1 > UINT64_MAX - offset) return false;
    const uint64_t end = offset + (length - 1);
    const auto it = Regions_.lower_bound(offset);
    // The first region starting at or after offset, and the one before it.
    if (it != Regions_.end() && it->second.Start <= end) return false;
    if (it != Regions_.begin() && std::prev(it)->second.End >= offset) return false;
    return true;
}

bool TRegionList::Add(uint64_t offset, uint64_t length) {
    if (!CanAdd(offset, length)) return false;
    Regions_.emplace(offset, TLockedRegion{offset, offset + (length - 1), length});
    return true;
}

bool TRegionList::Remove(uint64_t offset, uint64_t length) {
    const auto it = Regions_.find(offset);
    if (it == Regions_.end() || it->second.Length != length) return false;
    Regions_.erase(it);
    return true;
}

bool TRegionList::Contains(uint64_t offset, uint64_t length) const {
    const auto it = Regions_.find(offset);
    return it != Regions_.end() && it->second.Length == length;
}

std::vector<TLockedRegion> TRegionList::Regions() const {
    std::vector<TLockedRegion> regions;
    regions.reserve(Regions_.size());
    for (const auto& [start, region] : Regions_) regions.push_back(region);
    return regions;
}

}  // namespace dezede
