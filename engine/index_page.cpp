#include "engine/index_page.h"

#include <algorithm>
#include <cstring>

#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "support/endian.h"

// Packed leaf entries, with K the key size, R the 4-byte record number, D the number of leading
// bytes equal to the previous key (0 for the first entry of a page) and T the number of trailing
// zero bytes left out (counted before the 4-byte record-ID suffix of a non-unique index):
//   none            key, R                                   K + 4 bytes
//   duplicate byte  D, key[D..K-1], R                        K - D + 5
//   trailing byte   T, key[0..K-T-1], R                      K - T + 5
//   full            D, T, key[D..K-T-1], R                   K - D - T + 6
// In a non-unique index with T > 0 the T zeros are cut before the suffix, which follows the
// kept key bytes.

namespace dezede {
namespace {

constexpr uint32_t MaxRun = 254;  // D and T are each at most 254
constexpr uint32_t SuffixSize = 4;

}  // namespace

void ValidateIndexShape(const TIndexShape& shape, const std::string& table) {
    if (shape.PageSize < MinIndexPageSize || shape.PageSize > MaxIndexPageSize || shape.Compression > icFull)
        RaiseError(DEZEDE_INDEXLIMIT, {.Table = table});
    if (shape.KeySize == 0 || shape.KeySize > MaxIndexKeySize || shape.KeySize > (shape.PageSize - PageHeaderSize) / 3)
        RaiseError(DEZEDE_INVALIDKEY, {.Table = table});
}

TPage::TPage(const TIndexShape& shape, std::string table)
    : Shape_(shape), Table_(std::move(table)), Stride_(static_cast<size_t>(shape.KeySize) + 10) {}

void TPage::Corrupt() const { RaiseError(DEZEDE_INDEXCORRUPT, {.Table = Table_}); }

int TPage::InnerCapacity(const TIndexShape& shape) {
    return static_cast<int>((shape.PageSize - PageHeaderSize) / (shape.KeySize + (shape.NoKeyStats ? 4u : 8u)));
}

int TPage::LeafCapacity(const TIndexShape& shape) {
    return static_cast<int>((shape.PageSize - PageHeaderSize) / (shape.KeySize + 4u));
}

int TPage::EntryCapacity() const { return IsInner() ? InnerCapacity(Shape_) : LeafCapacity(Shape_); }

bool TPage::OverCapacity() const {
    if (Compressed()) return CompressedSize_ > BodySize();
    return Count_ > EntryCapacity();
}

void TPage::Clear(uint8_t type) {
    Type = type;
    Previous = 0;
    Next = 0;
    Count_ = 0;
    CompressedSize_ = 0;
    Data_.clear();
    if (type == ptFullText)
        Body_.assign(BodySize(), 0);
    else
        Body_.clear();
}

uint32_t TPage::Pointer(int i) const {
    uint32_t v;
    std::memcpy(&v, Entry(i) + Shape_.KeySize, 4);
    return v;
}

void TPage::SetPointer(int i, uint32_t value) { std::memcpy(Entry(i) + Shape_.KeySize, &value, 4); }

uint32_t TPage::KeyCount(int i) const {
    uint32_t v;
    std::memcpy(&v, Entry(i) + Shape_.KeySize + 4, 4);
    return v;
}

void TPage::SetKeyCount(int i, uint32_t value) { std::memcpy(Entry(i) + Shape_.KeySize + 4, &value, 4); }

uint64_t TPage::SubtreeKeyCount() const {
    if (!IsInner()) return static_cast<uint64_t>(Count_);
    uint64_t sum = 0;
    for (int i = 0; i < Count_; ++i) sum += KeyCount(i);
    return sum;
}

uint32_t TPage::EntrySize(uint8_t d, uint8_t t) const {
    const uint32_t k = Shape_.KeySize;
    switch (Shape_.Compression) {
        case icDuplicateByte: return k - d + 5;
        case icTrailingByte: return k - t + 5;
        case icFull: return k - d - t + 6;
        default: return k + 4;
    }
}

uint32_t TPage::PackedEntrySize(int i) const {
    if (!Compressed()) return IsInner() ? Shape_.KeySize + (Shape_.NoKeyStats ? 4u : 8u) : Shape_.KeySize + 4u;
    return EntrySize(Duplicate(i), Trailing(i));
}

uint32_t TPage::Recompute(int i) {
    const uint32_t k = Shape_.KeySize;
    uint8_t* e = Entry(i);
    uint32_t d = 0;
    if (i > 0 && (Shape_.Compression == icDuplicateByte || Shape_.Compression == icFull)) {
        const uint8_t* prev = Entry(i - 1);
        const uint32_t limit = std::min(k, MaxRun);
        while (d < limit && prev[d] == e[d]) ++d;
    }
    uint32_t t = 0;
    if (Shape_.Compression == icTrailingByte || Shape_.Compression == icFull) {
        uint32_t span = k - d;
        uint32_t end = k;
        if (!Shape_.Unique) {
            if (k - d < SuffixSize + 1)
                span = 0;
            else {
                span = k - d - SuffixSize;
                end = k - SuffixSize;
            }
        }
        span = std::min(span, MaxRun);
        while (t < span && e[end - 1 - t] == 0) ++t;
    }
    e[k + 8] = static_cast<uint8_t>(d);
    e[k + 9] = static_cast<uint8_t>(t);
    return EntrySize(static_cast<uint8_t>(d), static_cast<uint8_t>(t));
}

void TPage::RecomputeAll() {
    CompressedSize_ = 0;
    if (!Compressed()) {
        for (int i = 0; i < Count_; ++i) Entry(i)[Shape_.KeySize + 8] = Entry(i)[Shape_.KeySize + 9] = 0;
        return;
    }
    for (int i = 0; i < Count_; ++i) CompressedSize_ += Recompute(i);
}

void TPage::Insert(int i, const uint8_t* key, uint32_t pointer, uint32_t keyCount) {
    const bool packed = Compressed();
    if (packed && i < Count_) CompressedSize_ -= PackedEntrySize(i);
    const size_t at = static_cast<size_t>(i) * Stride_;
    Data_.insert(Data_.begin() + static_cast<std::ptrdiff_t>(at), Stride_, 0);
    ++Count_;
    uint8_t* e = Entry(i);
    std::memcpy(e, key, Shape_.KeySize);
    SetPointer(i, pointer);
    SetKeyCount(i, keyCount);
    if (packed) {
        CompressedSize_ += Recompute(i);
        if (i + 1 < Count_) CompressedSize_ += Recompute(i + 1);
    }
}

void TPage::Remove(int i) {
    const bool packed = Compressed();
    if (packed) {
        CompressedSize_ -= PackedEntrySize(i);
        if (i + 1 < Count_) CompressedSize_ -= PackedEntrySize(i + 1);
    }
    const size_t at = static_cast<size_t>(i) * Stride_;
    Data_.erase(Data_.begin() + static_cast<std::ptrdiff_t>(at), Data_.begin() + static_cast<std::ptrdiff_t>(at + Stride_));
    --Count_;
    if (packed && i < Count_) CompressedSize_ += Recompute(i);
}

void TPage::ReplaceKey(int i, const uint8_t* key) {
    const bool packed = Compressed();
    if (packed) {
        CompressedSize_ -= PackedEntrySize(i);
        if (i + 1 < Count_) CompressedSize_ -= PackedEntrySize(i + 1);
    }
    std::memcpy(Entry(i), key, Shape_.KeySize);
    if (packed) {
        CompressedSize_ += Recompute(i);
        if (i + 1 < Count_) CompressedSize_ += Recompute(i + 1);
    }
}

void TPage::MoveEntries(int from, int n, TPage& other, int at) {
    if (n <= 0) return;
    const auto first = Data_.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(from) * Stride_);
    const auto last = first + static_cast<std::ptrdiff_t>(static_cast<size_t>(n) * Stride_);
    other.Data_.insert(other.Data_.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(at) * Stride_), first, last);
    other.Count_ += n;
    Data_.erase(first, last);
    Count_ -= n;
    RecomputeAll();
    other.RecomputeAll();
}

void TPage::LoadFromImage(const uint8_t* image) {
    const uint32_t size = Shape_.PageSize;
    const uint32_t k = Shape_.KeySize;
    const uint8_t type = image[0];
    if (type > ptFullText) Corrupt();
    Clear(type);
    const int count = LoadLE16(image + 1);
    Previous = LoadLE32(image + 3);
    Next = LoadLE32(image + 7);
    const uint32_t storedSize = LoadLE16(image + 11);
    if (type == ptFullText) {
        std::memcpy(Body_.data(), image + PageHeaderSize, BodySize());
        return;
    }
    // Bound the count by the smallest possible entry before allocating anything for it.
    uint32_t minEntry = IsInner() ? k + (Shape_.NoKeyStats ? 4 : 8) : k + 4;
    if (Compressed()) {
        const uint32_t cut = Shape_.Compression == icFull ? 2 * MaxRun : MaxRun;
        const uint32_t extra = Shape_.Compression == icFull ? 6 : 5;
        minEntry = (k > cut ? k - cut : 0) + extra;
    }
    if (static_cast<uint64_t>(count) * minEntry > BodySize()) Corrupt();
    Data_.assign(static_cast<size_t>(count) * Stride_, 0);
    Count_ = count;
    const uint8_t* p = image + PageHeaderSize;
    if (!Compressed()) {
        const uint32_t entrySize = minEntry;
        for (int i = 0; i < count; ++i, p += entrySize) {
            std::memcpy(Entry(i), p, k);
            SetPointer(i, LoadLE32(p + k));
            SetKeyCount(i, IsInner() && !Shape_.NoKeyStats ? LoadLE32(p + k + 4) : 0);
        }
        return;
    }
    const uint8_t* end = image + size;
    const bool hasD = Shape_.Compression == icDuplicateByte || Shape_.Compression == icFull;
    const bool hasT = Shape_.Compression == icTrailingByte || Shape_.Compression == icFull;
    for (int i = 0; i < count; ++i) {
        uint8_t* key = Entry(i);
        const uint32_t header = (hasD ? 1 : 0) + (hasT ? 1 : 0);
        if (static_cast<size_t>(end - p) < header) Corrupt();
        const uint32_t d = hasD ? *p++ : 0;
        const uint32_t t = hasT ? *p++ : 0;
        if (d > MaxRun || t > MaxRun || d > k || (i == 0 && d != 0)) Corrupt();
        const uint32_t suffix = (!Shape_.Unique && t > 0) ? SuffixSize : 0;
        if (d + t + suffix > k) Corrupt();
        const uint32_t stored = k - d - t;
        if (static_cast<size_t>(end - p) < stored + 4) Corrupt();
        if (d > 0) std::memcpy(key, Entry(i - 1), d);
        const uint32_t body = stored - suffix;
        std::memcpy(key + d, p, body);
        std::memset(key + d + body, 0, t);
        std::memcpy(key + k - suffix, p + body, suffix);
        p += stored;
        SetPointer(i, LoadLE32(p));
        SetKeyCount(i, 0);
        p += 4;
    }
    // A freed page keeps the size field it had; with no entries there is nothing to check.
    if (count > 0 && static_cast<uint32_t>(p - (image + PageHeaderSize)) != storedSize) Corrupt();
    RecomputeAll();
}

void TPage::SaveToImage(uint8_t* image) const {
    const uint32_t k = Shape_.KeySize;
    std::memset(image, 0, Shape_.PageSize);
    image[0] = Type;
    StoreLE16(image + 1, static_cast<uint16_t>(Count_));
    StoreLE32(image + 3, Previous);
    StoreLE32(image + 7, Next);
    uint8_t* p = image + PageHeaderSize;
    if (Type == ptFullText) {
        std::memcpy(p, Body_.data(), std::min<size_t>(Body_.size(), BodySize()));
        return;
    }
    if (Count_ > 0xFFFF) Corrupt();
    if (!Compressed()) {
        if (Count_ > EntryCapacity()) Corrupt();
        const bool counts = IsInner() && !Shape_.NoKeyStats;
        for (int i = 0; i < Count_; ++i) {
            std::memcpy(p, Entry(i), k);
            StoreLE32(p + k, Pointer(i));
            p += k + 4;
            if (counts) {
                StoreLE32(p, KeyCount(i));
                p += 4;
            }
        }
        return;
    }
    if (CompressedSize_ > BodySize()) Corrupt();
    StoreLE16(image + 11, static_cast<uint16_t>(CompressedSize_));
    const bool hasD = Shape_.Compression == icDuplicateByte || Shape_.Compression == icFull;
    const bool hasT = Shape_.Compression == icTrailingByte || Shape_.Compression == icFull;
    for (int i = 0; i < Count_; ++i) {
        const uint8_t* key = Entry(i);
        const uint32_t d = Duplicate(i);
        const uint32_t t = Trailing(i);
        if (hasD) *p++ = static_cast<uint8_t>(d);
        if (hasT) *p++ = static_cast<uint8_t>(t);
        const uint32_t suffix = (!Shape_.Unique && t > 0) ? SuffixSize : 0;
        const uint32_t body = k - d - t - suffix;
        std::memcpy(p, key + d, body);
        p += body;
        std::memcpy(p, key + k - suffix, suffix);
        p += suffix;
        StoreLE32(p, Pointer(i));
        p += 4;
    }
}

}  // namespace dezede
