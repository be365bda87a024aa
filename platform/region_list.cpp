#include "platform/region_list.h"

#include <algorithm>

namespace dezede {

TRegionList::TRegionList() = default;

size_t TRegionList::LowerBound(uint64_t start) const {
    auto it = std::lower_bound(Regions_.begin(), Regions_.end(), start,
                               [](const TLockedRegion& r, uint64_t s) { return r.Start < s; });
    return static_cast<size_t>(it - Regions_.begin());
}

bool TRegionList::CanAdd(uint64_t offset, uint64_t length) const {
    if (length == 0 || length - 1 > UINT64_MAX - offset) return false;
    const uint64_t end = offset + (length - 1);
    const size_t i = LowerBound(offset);
    // The first region starting at or after offset, and the one before it.
    if (i < Regions_.size() && Regions_[i].Start <= end) return false;
    if (i > 0 && Regions_[i - 1].End >= offset) return false;
    return true;
}

bool TRegionList::Add(uint64_t offset, uint64_t length) {
    if (!CanAdd(offset, length)) return false;
    Regions_.insert(Regions_.begin() + static_cast<std::ptrdiff_t>(LowerBound(offset)),
                    TLockedRegion{offset, offset + (length - 1), length});
    return true;
}

bool TRegionList::Remove(uint64_t offset, uint64_t length) {
    const size_t i = LowerBound(offset);
    if (i >= Regions_.size() || Regions_[i].Start != offset || Regions_[i].Length != length) return false;
    Regions_.erase(Regions_.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
}

bool TRegionList::Contains(uint64_t offset, uint64_t length) const {
    const size_t i = LowerBound(offset);
    return i < Regions_.size() && Regions_[i].Start == offset && Regions_[i].Length == length;
}

}  // namespace dezede
