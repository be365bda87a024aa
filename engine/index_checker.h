#pragma once
// CheckIndex: walks a whole index level by level and reports the first fault found: a root of
// the wrong type, an empty or over-full page, a page of the wrong type for its level or
// reached twice, a child beyond the file, keys out of order within the level, a parent key
// that differs from its child's first key, key counts that do not add up, neighbour links
// that do not match the level's order, a record number out of range, a tree deeper than 64.

#include <cstdint>
#include <string>

#include "engine/index_tree.h"

namespace dezede {

struct TIndexCheckResult {
    bool Sound = true;
    std::string Problem;  // the first fault found, for the maintenance log
    uint64_t KeyCount = 0;
    int Depth = 0;
};

// maxRecordNumber 0: record numbers are not checked (beyond being non-zero).
TIndexCheckResult CheckIndex(TIndexPageStore& store, const TKeyCompare& compare, uint32_t maxRecordNumber = 0);

}  // namespace dezede
