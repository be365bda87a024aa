#include "platform/region_list.h"

#include <iterator>

namespace dezede {

TRegionList::TRegionList() = default;

std::optional<TRegionList::TMap::const_iterator> TRegionList::Place(uint64_t offset, uint64_t length) const {
    if (length == 0 || length - 1 > UINT64_MAX - offset) return std::nullopt;
    const uint64_t end = offset + (length - 1);
    // Record locks of appended records come at falling offsets, each below
    // every record lock already listed: try the edges before searching.
    const auto it = Regions_.empty() || offset < Regions_.begin()->first ? Regions_.begin()
                    : offset > std::prev(Regions_.end())->first     ? Regions_.end()
                                                                    : Regions_.lower_bound(offset);
    // The first region starting at or after offset, and the one before it.
    if (it != Regions_.end() && it->second.Start <= end) return std::nullopt;
    if (it != Regions_.begin() && std::prev(it)->second.End >= offset) return std::nullopt;
    return it;
}

bool TRegionList::CanAdd(uint64_t offset, uint64_t length) const { return Place(offset, length).has_value(); }

bool TRegionList::Add(uint64_t offset, uint64_t length) {
    return AddIf(offset, length, [] { return true; });
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
