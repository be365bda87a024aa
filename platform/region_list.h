#pragma once
// The sorted set of locked byte regions of one open file. It gives the
// Windows semantics inside one process: a region that overlaps a listed one
// is refused, and an unlock must name a listed region exactly. Not
// synchronised: the owner holds its region lock around every call.

#include <cstddef>
#include <cstdint>
#include <map>
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
    // Removes the region with exactly this start and length; false when not listed.
    bool Remove(uint64_t offset, uint64_t length);
    bool Contains(uint64_t offset, uint64_t length) const;
    void Clear() { Regions_.clear(); }
    size_t Count() const { return Regions_.size(); }
    // The listed regions in order of their start.
    std::vector<TLockedRegion> Regions() const;

private:
    // By start. A tree: a transaction can hold a record lock on each of many
    // records, taken at falling offsets, which a sorted vector would pay for
    // by moving all of them on every insert.
    std::map<uint64_t, TLockedRegion> Regions_;
};

}  // namespace dezede
