#include "engine/index_checker.h"

#include <cstring>
#include <vector>

#include "engine/engine_error.h"

namespace dezede {
namespace {

// What a parent says of a child: its page number, its key and its key count.
struct TChildRef {
    uint32_t Page;
    std::vector<uint8_t> Key;
    uint32_t Count;
};

class TChecker {
public:
    TChecker(TIndexPageStore& store, const TKeyCompare& compare, uint32_t maxRecord)
        : Store_(store), Compare_(compare), MaxRecord_(maxRecord), K_(store.Shape().KeySize),
          Stats_(!store.Shape().NoKeyStats), Seen_(static_cast<size_t>(store.LastPageNumber()) + 1, false) {}

    TIndexCheckResult Run() {
        if (Store_.RootPage() == 0) return Result_;
        std::vector<TChildRef> level{{Store_.RootPage(), {}, 0}};
        while (!level.empty()) {
            if (Result_.Depth == MaxIndexDepth) return Fail("the tree is deeper than 64 levels");
            std::vector<TChildRef> below;
            if (!CheckLevel(level, below)) return Result_;
            ++Result_.Depth;
            level = std::move(below);
        }
        return Result_;
    }

private:
    TIndexCheckResult Fail(const std::string& problem) {
        Result_.Sound = false;
        Result_.Problem = problem;
        return Result_;
    }
    bool FailPage(uint32_t page, const std::string& problem) {
        Fail("page " + std::to_string(page) + ": " + problem);
        return false;
    }
    int Compare(const uint8_t* a, const uint8_t* b) const { return Compare_(a, b, K_); }

    bool CheckLevel(const std::vector<TChildRef>& level, std::vector<TChildRef>& below) {
        const bool root = Result_.Depth == 0;
        std::vector<uint8_t> lastKey;
        bool leafLevel = false;
        for (const TChildRef& ref : level) {
            if (ref.Page == 0 || ref.Page >= Seen_.size()) return FailPage(ref.Page, "beyond the file");
            if (Seen_[ref.Page]) return FailPage(ref.Page, "reached twice");
            Seen_[ref.Page] = true;
        }
        for (size_t i = 0; i < level.size(); ++i) {
            const TChildRef& ref = level[i];
            TPinnedPage page;
            try {
                page = PinPage(Store_, ref.Page);
            } catch (const EDEZEDEEngineError&) {
                return FailPage(ref.Page, "cannot be read");
            }
            const TPage& p = *page;
            if (i == 0) leafLevel = p.IsLeaf();
            if (root ? (p.Type != ptRootInner && p.Type != ptRootLeaf) : (p.Type != ptInner && p.Type != ptLeaf))
                return FailPage(ref.Page, "wrong page type " + std::to_string(p.Type));
            if (p.IsLeaf() != leafLevel) return FailPage(ref.Page, "leaves and inner pages on one level");
            if (p.Count() == 0) return FailPage(ref.Page, "empty");
            if (p.OverCapacity()) return FailPage(ref.Page, "over-full");
            const uint32_t wantPrevious = i == 0 ? 0 : level[i - 1].Page;
            const uint32_t wantNext = i + 1 == level.size() ? 0 : level[i + 1].Page;
            if (p.Previous != wantPrevious || p.Next != wantNext) return FailPage(ref.Page, "neighbour links wrong");
            if (!root) {
                if (std::memcmp(ref.Key.data(), p.Key(0), K_) != 0)
                    return FailPage(ref.Page, "first key differs from the parent's key");
                if (Stats_ && p.SubtreeKeyCount() != ref.Count)
                    return FailPage(ref.Page, "key count differs from the parent's count");
            }
            for (int e = 0; e < p.Count(); ++e) {
                const uint8_t* key = p.Key(e);
                const uint8_t* before = e > 0 ? p.Key(e - 1) : (lastKey.empty() ? nullptr : lastKey.data());
                if (before && Compare(before, key) >= 0) return FailPage(ref.Page, "keys out of order");
                if (p.IsInner()) {
                    below.push_back({p.Pointer(e), std::vector<uint8_t>(key, key + K_), p.KeyCount(e)});
                } else if (p.Pointer(e) == 0 || (MaxRecord_ != 0 && p.Pointer(e) > MaxRecord_)) {
                    return FailPage(ref.Page, "record number out of range");
                }
            }
            lastKey.assign(p.Key(p.Count() - 1), p.Key(p.Count() - 1) + K_);
            if (p.IsLeaf()) Result_.KeyCount += static_cast<uint64_t>(p.Count());
        }
        return true;
    }

    TIndexPageStore& Store_;
    const TKeyCompare& Compare_;
    uint32_t MaxRecord_;
    size_t K_;
    bool Stats_;
    std::vector<bool> Seen_;
    TIndexCheckResult Result_;
};

}  // namespace

TIndexCheckResult CheckIndex(TIndexPageStore& store, const TKeyCompare& compare, uint32_t maxRecordNumber) {
    return TChecker(store, compare, maxRecordNumber).Run();
}

}  // namespace dezede
