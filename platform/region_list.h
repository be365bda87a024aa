#pragma once
// The sorted set of locked byte regions of one open file. It gives the
// Windows semantics inside one process: a region that overlaps a listed one
// is refused, and an unlock must name a listed region exactly. Not
// synchronised: the owner holds its region lock around every call.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace dezede {

struct TLockedRegion {
    uint64_t Start = 0;
    uint64_t End = 0;     // inclusive
    uint64_t Length = 0;
};

class TRegionList {
public:
    TRegionList();

    // False when the region is empty, runs past 2^64 - 1 or overlaps a listed region.
    bool CanAdd(uint64_t offset, uint64_t length) const;
    bool Add(uint64_t offset, uint64_t length);
    // Adds the region when it overlaps none and acquire() (taking the system
    // lock) succeeds; one search of the list serves both steps.
    template <class TAcquire>
    bool AddIf(uint64_t offset, uint64_t length, TAcquire&& acquire) {
        const auto at = Place(offset, length);
        if (!at || !acquire()) return false;
        Regions_.emplace_hint(*at, offset, TLockedRegion{offset, offset + (length - 1), length});
        return true;
    }
    // Removes the region with exactly this start and length; false when not listed.
    bool Remove(uint64_t offset, uint64_t length);
    bool Contains(uint64_t offset, uint64_t length) const;
    void Clear() { Regions_.clear(); }
    size_t Count() const { return Regions_.size(); }
    // The listed regions in order of their start.
    std::vector<TLockedRegion> Regions() const;

private:
    using TMap = std::map<uint64_t, TLockedRegion>;
    // The first region starting at or after offset when the region fits
    // before it, else nothing.
    std::optional<TMap::const_iterator> Place(uint64_t offset, uint64_t length) const;

    // By start. A tree: a transaction can hold a record lock on each of many
    // records, taken at falling offsets, which a sorted vector would pay for
    // by moving all of them on every insert.
    TMap Regions_;
};

}  // namespace dezede
