#pragma once
// TRecordsBitmap: one bit per record slot 1 ... Size() of a table, the result
// form of filters and index range scans. Bits live in 32-bit words; counting
// and searching work a word at a time. Bits beyond Size() are always clear.
//
//   TRecordsBitmap b(slotCount);
//   b.Set(recNo);
//   for (uint32_t r = b.FindNext(0); r != 0; r = b.FindNext(r)) visit(r);

#include <cstdint>
#include <vector>

namespace dezede {

class TRecordsBitmap {
public:
    TRecordsBitmap() = default;
    explicit TRecordsBitmap(uint32_t size) { SetSize(size); }

    uint32_t Size() const { return Size_; }
    // New bits (beyond the old size) start clear; bits beyond a smaller size are dropped.
    void SetSize(uint32_t size);

    // Positions are record numbers, 1-based. Test is false outside 1..Size();
    // Set grows the bitmap to cover the position; Clear ignores positions outside.
    bool Test(uint32_t recNo) const;
    void Set(uint32_t recNo);
    void Clear(uint32_t recNo);

    uint32_t Count() const;
    // Set bits among positions 1..recNo: the logical record number of a set bit.
    uint32_t CountThrough(uint32_t recNo) const;
    // The n-th set bit (n >= 1) after position `recNo` (recNo 0 starts before the
    // first slot); 0 when there is none.
    uint32_t FindNext(uint32_t recNo, uint32_t n = 1) const;
    // The n-th set bit before position `recNo` (any recNo above Size() starts after
    // the last slot); 0 when there is none.
    uint32_t FindPrior(uint32_t recNo, uint32_t n = 1) const;

    // Bits beyond the other bitmap's size count as clear in it. Intersect keeps
    // this size; Unite grows to the larger size; CopyFrom takes the other's size.
    void Intersect(const TRecordsBitmap& other);
    void Unite(const TRecordsBitmap& other);
    void CopyFrom(const TRecordsBitmap& other);
    // Inverts bits 1..Size().
    void Complement();
    void SetAll();
    void ClearAll();

    bool operator==(const TRecordsBitmap&) const = default;

private:
    void ClearTail();  // keeps the bits beyond Size_ in the last word clear

    uint32_t Size_ = 0;
    std::vector<uint32_t> Words_;  // bit (recNo - 1) % 32 of word (recNo - 1) / 32
};

}  // namespace dezede
