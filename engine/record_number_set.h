#pragma once
// TRecordNumberSet: a set of record numbers kept as bits in blocks of 4,096
// numbers. A transaction can hold a lock on each of many records, mostly
// side by side, which a node per number would pay for in memory and time.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace dezede {

class TRecordNumberSet {
public:
    bool contains(uint32_t n) const;
    size_t count(uint32_t n) const { return contains(n) ? 1 : 0; }
    // Each returns whether the set changed.
    bool insert(uint32_t n);
    bool erase(uint32_t n);
    void clear();
    bool empty() const { return Count_ == 0; }
    size_t size() const { return Count_; }
    // The members in ascending order.
    std::vector<uint32_t> Numbers() const;
    bool operator==(const TRecordNumberSet& other) const { return Numbers() == other.Numbers(); }

private:
    static constexpr uint32_t kBlockBits = 4096;
    using TBlock = std::array<uint64_t, kBlockBits / 64>;
    struct TEntry {
        TBlock Bits{};
        uint32_t Count = 0;
    };
    TEntry* Find(uint32_t block) const;

    std::map<uint32_t, TEntry> Blocks_;
    size_t Count_ = 0;
    // The block used last: neighbouring numbers usually share it.
    mutable uint32_t LastBlock_ = UINT32_MAX;
    mutable TEntry* Last_ = nullptr;
};

}  // namespace dezede
