#include "engine/index_tree.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/error_codes.h"
#include "engine/error_context.h"

namespace dezede {
namespace {

uint32_t ClampCount(uint64_t n) {
    return n > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max() : static_cast<uint32_t>(n);
}

}  // namespace

TIndexTree::TIndexTree(TIndexPageStore& store, TKeyCompare compare)
    : Store_(store), Compare_(std::move(compare)), Stats_(!store.Shape().NoKeyStats) {}

void TIndexTree::Corrupt() const { RaiseError(DEZEDE_INDEXCORRUPT, {.Table = Store_.Table()}); }

// The entry equal to the key, else the last entry below it, else 0 (binary search).
int TIndexTree::FindKeyInPage(const TPage& page, const uint8_t* key) const {
    int lo = 0;
    int hi = page.Count();  // first entry above the key lies in [lo, hi]
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (Compare(page.Key(mid), key) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo > 0 ? lo - 1 : 0;
}

namespace {

// The number of entries of a page below the key (or at or below it, with inclusive).
int CountBelow(const TPage& page, const uint8_t* key, bool inclusive, const TKeyCompare& compare) {
    const size_t k = page.Shape().KeySize;
    int lo = 0;
    int hi = page.Count();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        const int c = compare(page.Key(mid), key, k);
        if (c < 0 || (inclusive && c == 0))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

}  // namespace

TPinnedPage TIndexTree::PinRoot() const {
    TPinnedPage root = PinPage(Store_, Store_.RootPage());
    if ((root->Type != ptRootInner && root->Type != ptRootLeaf) || root->Count() == 0) Corrupt();
    return root;
}

TPinnedPage TIndexTree::PinChild(const TPage& parent, int slot, int childLevel) const {
    if (childLevel >= MaxIndexDepth) Corrupt();
    const uint32_t number = parent.Pointer(slot);
    if (number == parent.Number) Corrupt();
    TPinnedPage child = PinPage(Store_, number);
    if ((child->Type != ptInner && child->Type != ptLeaf) || child->Count() == 0) Corrupt();
    return child;
}

TPinnedPage TIndexTree::PinLeaf(uint32_t number) const {
    TPinnedPage leaf = PinPage(Store_, number);
    if (!leaf->IsLeaf() || leaf->Count() == 0) Corrupt();
    return leaf;
}

bool TIndexTree::Locate(const uint8_t* key, TIndexPath& path) const { return Locate(key, path, nullptr); }

bool TIndexTree::Locate(const uint8_t* key, TIndexPath& path, TPathPins* keep) const {
    path.Depth = 0;
    if (Store_.RootPage() == 0) return false;
    TPinnedPage page = PinRoot();
    for (;;) {
        const int slot = FindKeyInPage(*page, key);
        path.Steps[path.Depth++] = {page->Number, slot};
        if (page->IsLeaf()) {
            const bool found = Compare(key, page->Key(slot)) == 0;
            if (keep && path.Depth <= kKeptLevels) (*keep)[path.Depth - 1] = std::move(page);
            return found;
        }
        TPinnedPage child = PinChild(*page, slot, path.Depth);
        if (keep && path.Depth <= kKeptLevels) (*keep)[path.Depth - 1] = std::move(page);
        page = std::move(child);
    }
}

void TIndexTree::PropagateFirstKey(TIndexPath& path, int level, const uint8_t* key) {
    const std::vector<uint8_t> first(key, key + Shape().KeySize);
    for (int l = level - 1; l >= 0; --l) {
        TPinnedPage page = PinPage(Store_, path.Steps[l].Page);
        const int slot = path.Steps[l].Slot;
        if (slot >= page->Count()) Corrupt();
        page->ReplaceKey(slot, first.data());
        page.Dirty();
        if (slot != 0) break;
    }
}

bool TIndexTree::Insert(const uint8_t* key, uint32_t recordNumber) {
    TIndexPath path;
    // The search keeps its pages pinned for the insert's updates along the path.
    TPathPins pins;
    if (Store_.RootPage() != 0 && Locate(key, path, &pins)) return false;
    return InsertAt(key, recordNumber, path, &pins);
}

bool TIndexTree::Insert(const uint8_t* key, uint32_t recordNumber, const TIndexPath& located) {
    TIndexPath path = located;
    return InsertAt(key, recordNumber, path, nullptr);
}

bool TIndexTree::InsertAt(const uint8_t* key, uint32_t recordNumber, TIndexPath& path, TPathPins* pins) {
    // The page of a path level: the pin kept by the search, else pinned afresh.
    auto pinned = [&](int level, TPinnedPage& own) -> TPinnedPage& {
        if (pins && level < kKeptLevels && (*pins)[level] && (*pins)[level]->Number == path.Steps[level].Page)
            return (*pins)[level];
        own = PinPage(Store_, path.Steps[level].Page);
        return own;
    };
    ++Changes_;
    if (Store_.RootPage() == 0) {
        TPinnedPage root = NewPage(Store_, ptRootLeaf);
        root->Insert(0, key, recordNumber, 0);
        root.Dirty();
        Store_.SetRootPage(root->Number);
        return true;
    }
    if (path.Depth == 0) Corrupt();
    const int leafLevel = path.Depth - 1;
    if (Stats_) {
        for (int l = 0; l < leafLevel; ++l) {
            TPinnedPage own;
            TPinnedPage& page = pinned(l, own);
            const int slot = path.Steps[l].Slot;
            page->SetKeyCount(slot, page->KeyCount(slot) + 1);
            page.Dirty();
        }
    }
    bool overFull;
    {
        TPinnedPage own;
        TPinnedPage& leaf = pinned(leafLevel, own);
        const int s = path.Steps[leafLevel].Slot;
        const int at = Compare(key, leaf->Key(s)) < 0 ? s : s + 1;
        leaf->Insert(at, key, recordNumber, 0);
        leaf.Dirty();
        path.Steps[leafLevel].Slot = at;
        if (at == 0) PropagateFirstKey(path, leafLevel, key);
        overFull = leaf->OverCapacity();
    }
    if (pins)
        for (TPinnedPage& p : *pins) p.Reset();
    if (overFull) Split(path, leafLevel);
    return true;
}

void TIndexTree::BalanceCompressedSplit(TPage& left, TPage& right) {
    const uint32_t body = left.BodySize();
    while (left.CompressedSize() > body && left.Count() > 1) left.MoveEntries(left.Count() - 1, 1, right, 0);
    while (right.CompressedSize() > body && right.Count() > 1) right.MoveEntries(0, 1, left, left.Count());
    if (left.OverCapacity() || right.OverCapacity()) Corrupt();
}

void TIndexTree::Split(TIndexPath& path, int level) {
    for (;;) {
        TPinnedPage left = PinPage(Store_, path.Steps[level].Page);
        const bool inner = left->IsInner();
        const bool wasRoot = left->IsRoot();
        TPinnedPage right = NewPage(Store_, inner ? ptInner : ptLeaf);
        const int n = left->Count();
        left->Type = inner ? ptInner : ptLeaf;
        left->MoveEntries(n - n / 2, n / 2, *right, 0);
        if (left->Compressed()) BalanceCompressedSplit(*left, *right);
        if (left->Count() == 0 || right->Count() == 0) Corrupt();

        right->Previous = left->Number;
        right->Next = left->Next;
        if (left->Next != 0) {
            TPinnedPage after = PinPage(Store_, left->Next);
            after->Previous = right->Number;
            after.Dirty();
        }
        left->Next = right->Number;
        left.Dirty();
        right.Dirty();

        const uint32_t leftCount = Stats_ ? ClampCount(left->SubtreeKeyCount()) : 0;
        const uint32_t rightCount = Stats_ ? ClampCount(right->SubtreeKeyCount()) : 0;
        if (wasRoot) {
            TPinnedPage root = NewPage(Store_, ptRootInner);
            root->Insert(0, left->Key(0), left->Number, leftCount);
            root->Insert(1, right->Key(0), right->Number, rightCount);
            root.Dirty();
            Store_.SetRootPage(root->Number);
            return;
        }
        TPinnedPage parent = PinPage(Store_, path.Steps[level - 1].Page);
        const int slot = path.Steps[level - 1].Slot;
        parent->SetKeyCount(slot, leftCount);
        parent->Insert(slot + 1, right->Key(0), right->Number, rightCount);
        parent.Dirty();
        if (!parent->OverCapacity()) return;
        --level;
    }
}

void TIndexTree::Unlink(TPage& page) {
    if (page.Previous == page.Number || page.Next == page.Number) Corrupt();
    if (page.Previous != 0) {
        TPinnedPage before = PinPage(Store_, page.Previous);
        before->Next = page.Next;
        before.Dirty();
    }
    if (page.Next != 0) {
        TPinnedPage after = PinPage(Store_, page.Next);
        after->Previous = page.Previous;
        after.Dirty();
    }
    page.Previous = 0;
    page.Next = 0;
}

bool TIndexTree::Delete(const uint8_t* key) {
    TIndexPath path;
    if (!Locate(key, path)) return false;
    ++Changes_;
    const int leafLevel = path.Depth - 1;
    if (Stats_) {
        for (int l = 0; l < leafLevel; ++l) {
            TPinnedPage page = PinPage(Store_, path.Steps[l].Page);
            const int slot = path.Steps[l].Slot;
            if (page->KeyCount(slot) > 0) page->SetKeyCount(slot, page->KeyCount(slot) - 1);
            page.Dirty();
        }
    }
    TPinnedPage leaf = PinPage(Store_, path.Steps[leafLevel].Page);
    const int slot = path.Steps[leafLevel].Slot;
    leaf->Remove(slot);
    leaf.Dirty();
    if (leaf->Count() > 0) {
        if (slot == 0) PropagateFirstKey(path, leafLevel, leaf->Key(0));
        return true;
    }
    if (leafLevel == 0) {
        Store_.Free(*leaf);
        Store_.SetRootPage(0);
        return true;
    }
    Unlink(*leaf);
    Store_.Free(*leaf);
    leaf.Reset();
    RemoveChildEntry(path, leafLevel - 1);
    return true;
}

void TIndexTree::RemoveChildEntry(TIndexPath& path, int level) {
    {
        TPinnedPage page = PinPage(Store_, path.Steps[level].Page);
        const int slot = path.Steps[level].Slot;
        if (slot >= page->Count()) Corrupt();
        page->Remove(slot);
        page.Dirty();
        if (slot == 0 && page->Count() > 0) PropagateFirstKey(path, level, page->Key(0));
    }
    Rebalance(path, level);
}

void TIndexTree::Rebalance(TIndexPath& path, int level) {
    if (level == 0) {
        CollapseRoot();
        return;
    }
    TPinnedPage page = PinPage(Store_, path.Steps[level].Page);
    if (page->Count() == 0) {
        Unlink(*page);
        Store_.Free(*page);
        page.Reset();
        RemoveChildEntry(path, level - 1);
        return;
    }
    const int capacity = page->EntryCapacity();
    if (page->Count() * 2 >= capacity) return;
    TPinnedPage parent = PinPage(Store_, path.Steps[level - 1].Page);
    const int slot = path.Steps[level - 1].Slot;
    if (parent->Count() < 2) return;
    const int rightSlot = slot > 0 ? slot : 1;
    TPinnedPage other = PinChild(*parent, slot > 0 ? slot - 1 : 1, level);
    if (!other->IsInner()) Corrupt();
    TPinnedPage& left = slot > 0 ? other : page;
    TPinnedPage& right = slot > 0 ? page : other;
    if (left->Count() + right->Count() <= capacity) {
        right->MoveEntries(0, right->Count(), *left, left->Count());
        if (Stats_) parent->SetKeyCount(rightSlot - 1, ClampCount(left->SubtreeKeyCount()));
        Unlink(*right);
        Store_.Free(*right);
        left.Dirty();
        right.Dirty();
        parent.Dirty();
        page.Reset();
        other.Reset();
        parent.Reset();
        path.Steps[level - 1].Slot = rightSlot;
        RemoveChildEntry(path, level - 1);
        return;
    }
    const int total = left->Count() + right->Count();
    const int leftTarget = (total + 1) / 2;
    if (left->Count() > leftTarget)
        left->MoveEntries(leftTarget, left->Count() - leftTarget, *right, 0);
    else
        right->MoveEntries(0, leftTarget - left->Count(), *left, left->Count());
    parent->ReplaceKey(rightSlot, right->Key(0));
    if (Stats_) {
        parent->SetKeyCount(rightSlot - 1, ClampCount(left->SubtreeKeyCount()));
        parent->SetKeyCount(rightSlot, ClampCount(right->SubtreeKeyCount()));
    }
    left.Dirty();
    right.Dirty();
    parent.Dirty();
}

void TIndexTree::CollapseRoot() {
    for (int guard = 0; guard < MaxIndexDepth; ++guard) {
        TPinnedPage root = PinPage(Store_, Store_.RootPage());
        if (root->Count() == 0) {
            Store_.Free(*root);
            root.Dirty();
            Store_.SetRootPage(0);
            return;
        }
        if (!root->IsInner() || root->Count() > 1) return;
        TPinnedPage child = PinChild(*root, 0, 1);
        Store_.Free(*root);
        root.Dirty();
        child->Type = child->IsLeaf() ? ptRootLeaf : ptRootInner;
        child->Previous = 0;
        child->Next = 0;
        child.Dirty();
        Store_.SetRootPage(child->Number);
    }
    Corrupt();
}

bool TIndexTree::Edge(bool last, TIndexPosition& pos) const {
    if (Store_.RootPage() == 0) return false;
    TPinnedPage page = PinRoot();
    for (int level = 1; !page->IsLeaf(); ++level) page = PinChild(*page, last ? page->Count() - 1 : 0, level);
    pos = {page->Number, last ? page->Count() - 1 : 0};
    return true;
}

bool TIndexTree::First(TIndexPosition& pos) const { return Edge(false, pos); }
bool TIndexTree::Last(TIndexPosition& pos) const { return Edge(true, pos); }

bool TIndexTree::Next(TIndexPosition& pos) const {
    TPinnedPage leaf = PinLeaf(pos.Page);
    if (pos.Slot + 1 < leaf->Count()) {
        ++pos.Slot;
        return true;
    }
    if (leaf->Next == 0) return false;
    if (leaf->Next == leaf->Number) Corrupt();
    TPinnedPage after = PinLeaf(leaf->Next);
    if (after->Previous != leaf->Number || Compare(leaf->Key(leaf->Count() - 1), after->Key(0)) >= 0) Corrupt();
    pos = {leaf->Next, 0};
    return true;
}

bool TIndexTree::Prior(TIndexPosition& pos) const {
    TPinnedPage leaf = PinLeaf(pos.Page);
    if (pos.Slot > 0) {
        pos.Slot = std::min(pos.Slot - 1, leaf->Count() - 1);
        return true;
    }
    if (leaf->Previous == 0) return false;
    if (leaf->Previous == leaf->Number) Corrupt();
    TPinnedPage before = PinLeaf(leaf->Previous);
    if (before->Next != leaf->Number || Compare(before->Key(before->Count() - 1), leaf->Key(0)) >= 0) Corrupt();
    pos = {before->Number, before->Count() - 1};
    return true;
}

bool TIndexTree::FindAtOrAfter(const uint8_t* key, TIndexPosition& pos) const {
    if (Store_.RootPage() == 0) return false;
    TPinnedPage page = PinRoot();
    for (int level = 1; !page->IsLeaf(); ++level) {
        const int below = CountBelow(*page, key, false, Compare_);
        page = PinChild(*page, below > 0 ? below - 1 : 0, level);
    }
    const int at = CountBelow(*page, key, false, Compare_);
    pos = {page->Number, at};
    if (at < page->Count()) return true;
    pos.Slot = at - 1;
    return Next(pos);
}

void TIndexTree::ReadPosition(const TIndexPosition& pos, uint8_t* key, uint32_t& recordNumber) const {
    TPinnedPage leaf = PinLeaf(pos.Page);
    if (pos.Slot < 0 || pos.Slot >= leaf->Count()) Corrupt();
    std::memcpy(key, leaf->Key(pos.Slot), Shape().KeySize);
    recordNumber = leaf->Pointer(pos.Slot);
}

size_t TIndexTree::LeafRecordsBeside(const TIndexPosition& pos, bool forward, std::span<uint32_t> out) const {
    TPinnedPage leaf = PinLeaf(pos.Page);
    if (pos.Slot < 0 || pos.Slot >= leaf->Count()) Corrupt();
    const int step = forward ? 1 : -1;
    size_t n = 0;
    for (int slot = pos.Slot + step; n < out.size() && slot >= 0 && slot < leaf->Count(); slot += step)
        out[n++] = leaf->Pointer(slot);
    return n;
}

uint64_t TIndexTree::KeyCount() const {
    if (Store_.RootPage() == 0) return 0;
    if (Stats_) return PinRoot()->SubtreeKeyCount();
    TIndexPosition pos;
    First(pos);
    uint64_t count = 0;
    const uint64_t maxPages = Store_.LastPageNumber();
    for (uint64_t pages = 1;; ++pages) {
        if (pages > maxPages) Corrupt();
        TPinnedPage leaf = PinLeaf(pos.Page);
        count += static_cast<uint64_t>(leaf->Count());
        if (leaf->Next == 0) return count;
        pos = {leaf->Next, 0};
    }
}

uint64_t TIndexTree::KeysBefore(const uint8_t* key, bool inclusive) const {
    if (Store_.RootPage() == 0) return 0;
    if (!Stats_) {
        // Without key counts: walk the leaves from the first one.
        TIndexPosition pos;
        First(pos);
        uint64_t count = 0;
        const uint64_t maxPages = Store_.LastPageNumber();
        for (uint64_t pages = 1;; ++pages) {
            if (pages > maxPages) Corrupt();
            TPinnedPage leaf = PinLeaf(pos.Page);
            const int below = CountBelow(*leaf, key, inclusive, Compare_);
            count += static_cast<uint64_t>(below);
            if (below < leaf->Count() || leaf->Next == 0) return count;
            pos = {leaf->Next, 0};
        }
    }
    uint64_t before = 0;
    TPinnedPage page = PinRoot();
    for (int level = 1; !page->IsLeaf(); ++level) {
        const int below = CountBelow(*page, key, inclusive, Compare_);
        const int slot = below > 0 ? below - 1 : 0;
        for (int i = 0; i < slot; ++i) before += page->KeyCount(i);
        page = PinChild(*page, slot, level);
    }
    return before + static_cast<uint64_t>(CountBelow(*page, key, inclusive, Compare_));
}

uint64_t TIndexTree::CountKeysBetween(const uint8_t* low, const uint8_t* high) const {
    if (Compare(low, high) > 0) return 0;
    const uint64_t first = KeysBefore(low, false);
    const uint64_t end = KeysBefore(high, true);
    return end > first ? end - first : 0;
}

bool TIndexTree::GotoOrdinal(uint64_t n, TIndexPosition& pos) const {
    if (Store_.RootPage() == 0) return false;
    if (!Stats_) {
        if (!First(pos)) return false;
        const uint64_t maxPages = Store_.LastPageNumber();
        for (uint64_t pages = 1;; ++pages) {
            if (pages > maxPages) Corrupt();
            TPinnedPage leaf = PinLeaf(pos.Page);
            if (n < static_cast<uint64_t>(leaf->Count())) {
                pos.Slot = static_cast<int>(n);
                return true;
            }
            n -= static_cast<uint64_t>(leaf->Count());
            if (leaf->Next == 0) return false;
            pos = {leaf->Next, 0};
        }
    }
    TPinnedPage page = PinRoot();
    if (page->IsLeaf() && n >= static_cast<uint64_t>(page->Count())) return false;
    for (int level = 1; !page->IsLeaf(); ++level) {
        int slot = 0;
        while (slot < page->Count() && n >= page->KeyCount(slot)) n -= page->KeyCount(slot++);
        if (slot == page->Count()) return false;
        page = PinChild(*page, slot, level);
    }
    if (n >= static_cast<uint64_t>(page->Count())) Corrupt();
    pos = {page->Number, static_cast<int>(n)};
    return true;
}

uint64_t TIndexTree::OrdinalOf(const TIndexPosition& pos) const {
    std::vector<uint8_t> key(Shape().KeySize);
    uint32_t record = 0;
    ReadPosition(pos, key.data(), record);
    return KeysBefore(key.data(), false);
}

}  // namespace dezede
