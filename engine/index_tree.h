#pragma once
// TIndexTree: the B+-tree operations of one index over its pages.
//
// Inner entries hold the first key of their child and, with key statistics, the number of
// keys under it; leaves hold the keys in ascending order with their record numbers and are
// linked to their neighbours on the same level, as inner pages are. A search remembers the
// page and entry of every level it passes (at most 64 levels).
//
// Every structural inconsistency met on the way (a root of the wrong type or empty, an empty
// page, a child of the wrong type or beyond the file, a path deeper than 64, a loop in the
// links) raises DEZEDE_INDEXCORRUPT naming the table.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "engine/index_page_store.h"

namespace dezede {

// Compares two keys of the index over the given number of bytes: negative, 0 or positive.
using TKeyCompare = std::function<int(const uint8_t* a, const uint8_t* b, size_t length)>;

inline constexpr int MaxIndexDepth = 64;

struct TIndexPathStep {
    uint32_t Page = 0;
    int Slot = 0;
};

// The pages and entries passed from the root (level 0) to a leaf (level Depth - 1).
struct TIndexPath {
    std::array<TIndexPathStep, MaxIndexDepth> Steps{};
    int Depth = 0;
    const TIndexPathStep& Leaf() const { return Steps[Depth - 1]; }
};

// A key position: a leaf page and an entry in it.
struct TIndexPosition {
    uint32_t Page = 0;
    int Slot = 0;
    bool operator==(const TIndexPosition&) const = default;
};

class TIndexTree {
public:
    TIndexTree(TIndexPageStore& store, TKeyCompare compare);

    const TIndexShape& Shape() const { return Store_.Shape(); }
    bool Empty() const { return Store_.RootPage() == 0; }

    // Descends to the leaf where the key is or would be. Each step's slot is the entry equal
    // to the key, else the last entry below it, else 0. Returns whether the leaf entry at the
    // end of the path equals the key. An empty index gives an empty path.
    bool Locate(const uint8_t* key, TIndexPath& path) const;
    // The same, keeping the pages of the first levels (all of them in a tree
    // of usual depth) pinned in keep.
    static constexpr int kKeptLevels = 8;
    using TPathPins = std::array<TPinnedPage, kKeptLevels>;
    bool Locate(const uint8_t* key, TIndexPath& path, TPathPins* keep) const;

    // Inserts the key with its record number; false (and nothing changed) when an equal key is
    // there already. (Keys of a non-unique index end with the record ID, so all keys differ.)
    bool Insert(const uint8_t* key, uint32_t recordNumber);
    // The same with the path of a Locate of this key that found nothing, made
    // while ChangeCount() had its present value (the descent is not repeated).
    bool Insert(const uint8_t* key, uint32_t recordNumber, const TIndexPath& located);
    // Advances with every insert and delete.
    uint64_t ChangeCount() const { return Changes_; }
    // Removes the key; false (and nothing changed) when it is not in the index.
    bool Delete(const uint8_t* key);

    // The number of keys, by the root's key counts (or by walking the leaves without them).
    uint64_t KeyCount() const;
    // The number of keys below the key, or, with inclusive, at or below it: one descent.
    uint64_t KeysBefore(const uint8_t* key, bool inclusive = false) const;
    // The number of keys from low to high inclusive, by two descents; 0 when low is above high.
    uint64_t CountKeysBetween(const uint8_t* low, const uint8_t* high) const;

    // Positions. Each returns false when there is no such key. Stepping checks the neighbour's
    // back link and that keys keep ascending across the page boundary, so that looping links
    // are reported rather than walked for ever.
    bool First(TIndexPosition& pos) const;
    bool Last(TIndexPosition& pos) const;
    bool Next(TIndexPosition& pos) const;
    bool Prior(TIndexPosition& pos) const;
    bool FindAtOrAfter(const uint8_t* key, TIndexPosition& pos) const;
    // The key with the 0-based ordinal number n in key order.
    bool GotoOrdinal(uint64_t n, TIndexPosition& pos) const;
    // The number of keys before the key at a position.
    uint64_t OrdinalOf(const TIndexPosition& pos) const;

    // The record numbers of up to out.size() entries that follow the position
    // (forward) or precede it on its leaf page, nearest first; returns how many.
    size_t LeafRecordsBeside(const TIndexPosition& pos, bool forward, std::span<uint32_t> out) const;

    // The key and record number at a position (key size bytes copied out).
    void ReadPosition(const TIndexPosition& pos, uint8_t* key, uint32_t& recordNumber) const;

private:
    int Compare(const uint8_t* a, const uint8_t* b) const { return Compare_(a, b, Shape().KeySize); }
    int FindKeyInPage(const TPage& page, const uint8_t* key) const;
    TPinnedPage PinRoot() const;
    TPinnedPage PinChild(const TPage& parent, int slot, int childLevel) const;
    TPinnedPage PinLeaf(uint32_t number) const;
    [[noreturn]] void Corrupt() const;

    void PropagateFirstKey(TIndexPath& path, int level, const uint8_t* key);
    void Split(TIndexPath& path, int level);
    void BalanceCompressedSplit(TPage& left, TPage& right);
    void RemoveChildEntry(TIndexPath& path, int level);
    void Rebalance(TIndexPath& path, int level);
    void CollapseRoot();
    void Unlink(TPage& page);
    bool Edge(bool last, TIndexPosition& pos) const;

    TIndexPageStore& Store_;
    bool InsertAt(const uint8_t* key, uint32_t recordNumber, TIndexPath& path, TPathPins* pins);

    TKeyCompare Compare_;
    bool Stats_;
    uint64_t Changes_ = 0;
};

}  // namespace dezede
