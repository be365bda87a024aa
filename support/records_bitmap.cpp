#include "support/records_bitmap.h"

#include <algorithm>
#include <bit>

namespace dezede {

namespace {

size_t WordsFor(uint32_t size) { return (size_t(size) + 31) / 32; }

// Index (0..31) of the n-th (1-based) set bit of w, counting from bit 0; w has at least n bits.
uint32_t SelectLow(uint32_t w, uint32_t n) {
    while (--n) w &= w - 1;
    return static_cast<uint32_t>(std::countr_zero(w));
}

// Index of the n-th set bit of w counting down from bit 31.
uint32_t SelectHigh(uint32_t w, uint32_t n) {
    for (;;) {
        const uint32_t bit = 31 - static_cast<uint32_t>(std::countl_zero(w));
        if (--n == 0) return bit;
        w &= ~(1u << bit);
    }
}

}  // namespace

void TRecordsBitmap::SetSize(uint32_t size) {
    Words_.resize(WordsFor(size), 0);
    Size_ = size;
    ClearTail();
}

void TRecordsBitmap::ClearTail() {
    if (Size_ % 32 != 0) Words_.back() &= (1u << (Size_ % 32)) - 1;
}

bool TRecordsBitmap::Test(uint32_t recNo) const {
    if (recNo == 0 || recNo > Size_) return false;
    const uint32_t i = recNo - 1;
    return (Words_[i / 32] >> (i % 32)) & 1u;
}

void TRecordsBitmap::Set(uint32_t recNo) {
    if (recNo == 0) return;
    if (recNo > Size_) SetSize(recNo);
    const uint32_t i = recNo - 1;
    Words_[i / 32] |= 1u << (i % 32);
}

void TRecordsBitmap::Clear(uint32_t recNo) {
    if (recNo == 0 || recNo > Size_) return;
    const uint32_t i = recNo - 1;
    Words_[i / 32] &= ~(1u << (i % 32));
}

uint32_t TRecordsBitmap::Count() const {
    uint32_t n = 0;
    for (uint32_t w : Words_) n += static_cast<uint32_t>(std::popcount(w));
    return n;
}

uint32_t TRecordsBitmap::CountThrough(uint32_t recNo) const {
    recNo = std::min(recNo, Size_);
    const size_t whole = recNo / 32;
    uint32_t n = 0;
    for (size_t i = 0; i < whole; ++i) n += static_cast<uint32_t>(std::popcount(Words_[i]));
    if (recNo % 32 != 0) n += static_cast<uint32_t>(std::popcount(Words_[whole] & ((1u << (recNo % 32)) - 1)));
    return n;
}

uint32_t TRecordsBitmap::FindNext(uint32_t recNo, uint32_t n) const {
    if (n == 0 || recNo >= Size_) return 0;
    // recNo is the 0-based index of the first bit to look at.
    size_t word = recNo / 32;
    uint32_t w = Words_[word] & (~0u << (recNo % 32));
    for (;;) {
        const uint32_t c = static_cast<uint32_t>(std::popcount(w));
        if (c >= n) return static_cast<uint32_t>(word * 32 + SelectLow(w, n) + 1);
        n -= c;
        if (++word == Words_.size()) return 0;
        w = Words_[word];
    }
}

uint32_t TRecordsBitmap::FindPrior(uint32_t recNo, uint32_t n) const {
    if (n == 0 || recNo <= 1 || Size_ == 0) return 0;
    // Bits at 0-based indexes below `limit` are candidates.
    const uint32_t limit = std::min(recNo - 1, Size_);
    size_t word = (limit - 1) / 32;
    const uint32_t used = (limit - 1) % 32 + 1;  // bits of the first word to look at
    uint32_t w = Words_[word] & (used == 32 ? ~0u : (1u << used) - 1);
    for (;;) {
        const uint32_t c = static_cast<uint32_t>(std::popcount(w));
        if (c >= n) return static_cast<uint32_t>(word * 32 + SelectHigh(w, n) + 1);
        n -= c;
        if (word == 0) return 0;
        w = Words_[--word];
    }
}

void TRecordsBitmap::Intersect(const TRecordsBitmap& other) {
    const size_t common = std::min(Words_.size(), other.Words_.size());
    for (size_t i = 0; i < common; ++i) Words_[i] &= other.Words_[i];
    std::fill(Words_.begin() + common, Words_.end(), 0u);
}

void TRecordsBitmap::Unite(const TRecordsBitmap& other) {
    if (other.Size_ > Size_) SetSize(other.Size_);
    for (size_t i = 0; i < other.Words_.size(); ++i) Words_[i] |= other.Words_[i];
}

void TRecordsBitmap::CopyFrom(const TRecordsBitmap& other) {
    Size_ = other.Size_;
    Words_ = other.Words_;
}

void TRecordsBitmap::Complement() {
    for (uint32_t& w : Words_) w = ~w;
    ClearTail();
}

void TRecordsBitmap::SetAll() {
    std::fill(Words_.begin(), Words_.end(), ~0u);
    ClearTail();
}

void TRecordsBitmap::ClearAll() { std::fill(Words_.begin(), Words_.end(), 0u); }

}  // namespace dezede
