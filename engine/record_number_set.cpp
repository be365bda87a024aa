#include "engine/record_number_set.h"

#include <bit>

namespace dezede {

TRecordNumberSet::TEntry* TRecordNumberSet::Find(uint32_t block) const {
    if (block == LastBlock_) return Last_;
    const auto it = Blocks_.find(block);
    if (it == Blocks_.end()) return nullptr;
    LastBlock_ = block;
    Last_ = const_cast<TEntry*>(&it->second);
    return Last_;
}

bool TRecordNumberSet::contains(uint32_t n) const {
    const TEntry* e = Find(n / kBlockBits);
    const uint32_t bit = n % kBlockBits;
    return e && (e->Bits[bit / 64] >> (bit % 64) & 1u);
}

bool TRecordNumberSet::insert(uint32_t n) {
    const uint32_t block = n / kBlockBits;
    TEntry* e = Find(block);
    if (!e) {
        e = &Blocks_[block];
        LastBlock_ = block;
        Last_ = e;
    }
    const uint32_t bit = n % kBlockBits;
    uint64_t& word = e->Bits[bit / 64];
    const uint64_t mask = uint64_t{1} << (bit % 64);
    if (word & mask) return false;
    word |= mask;
    ++e->Count;
    ++Count_;
    return true;
}

bool TRecordNumberSet::erase(uint32_t n) {
    const uint32_t block = n / kBlockBits;
    TEntry* e = Find(block);
    const uint32_t bit = n % kBlockBits;
    const uint64_t mask = uint64_t{1} << (bit % 64);
    if (!e || !(e->Bits[bit / 64] & mask)) return false;
    e->Bits[bit / 64] &= ~mask;
    --Count_;
    if (--e->Count == 0) {
        Blocks_.erase(block);
        LastBlock_ = UINT32_MAX;
        Last_ = nullptr;
    }
    return true;
}

void TRecordNumberSet::clear() {
    Blocks_.clear();
    Count_ = 0;
    LastBlock_ = UINT32_MAX;
    Last_ = nullptr;
}

std::vector<uint32_t> TRecordNumberSet::Numbers() const {
    std::vector<uint32_t> numbers;
    numbers.reserve(Count_);
    for (const auto& [block, e] : Blocks_) {
        for (uint32_t w = 0; w < e.Bits.size(); ++w) {
            for (uint64_t word = e.Bits[w]; word != 0; word &= word - 1)
                numbers.push_back(block * kBlockBits + w * 64 + static_cast<uint32_t>(std::countr_zero(word)));
        }
    }
    return numbers;
}

}  // namespace dezede
