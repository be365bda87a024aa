#pragma once
// TFilter: one filter of a table cursor. A filter judges records one at a
// time; activating it evaluates it once into its bitmap (one bit per record
// slot), which the cursor's filter set (engine/cursor_filters.h) combines
// with the range and the other active filters.
//
// Two kinds exist: callback filters, which call a function per record, and
// expression filters, which carry a condition tree and an optimisation level
// from its analysis. Only callback filters can be created so far; the
// expression kind, its level and the reordering flag are kept here so that
// the expression side slots in without changing the filter set.
//
//   TFilter f([](void*, void*, std::span<const uint8_t> rec, uint32_t) { return rec[0] == 1; },
//             nullptr, /*afterOthers=*/false);
//   bool passes = f.Judge(userData, record, recNo);

#include <cstdint>
#include <functional>
#include <span>

#include "support/records_bitmap.h"

namespace dezede {

enum class TFilterKind : uint8_t { fkExpression, fkCallback };

// Optimisation levels of a filter or condition: 0 judged record by record,
// 1 partly answered from index key ranges, 2 answered from key ranges alone.
inline constexpr uint8_t FilterLevelUnoptimized = 0;
inline constexpr uint8_t FilterLevelPartial = 1;
inline constexpr uint8_t FilterLevelOptimized = 2;

// Called with the filter's context, the cursor's user data, the record image
// and its record number; true when the record passes.
using TFilterCallback =
    std::function<bool(void* context, void* userData, std::span<const uint8_t> record, uint32_t recNo)>;

class TFilter {
public:
    // A callback filter, inactive, at level 0. The callback must not be empty.
    TFilter(TFilterCallback callback, void* context, bool afterOthers);
    TFilter(const TFilter&) = delete;
    TFilter& operator=(const TFilter&) = delete;

    TFilterKind Kind() const { return Kind_; }
    // Always FilterLevelUnoptimized for a callback filter.
    uint8_t Level() const { return Level_; }
    // Set when the analysis of an expression moved conditions of an AND chain.
    bool Reordered() const { return Reordered_; }
    // Kept after the filters without the flag and, below level 2, evaluated
    // only on the records that passed the active filters before it.
    bool AfterOthers() const { return AfterOthers_; }

    bool Active() const { return Active_; }
    void SetActive(bool active) { Active_ = active; }

    // The filter's result: the slots that passed at its last evaluation,
    // patched for the owning cursor's own changes since.
    TRecordsBitmap& Bitmap() { return Bitmap_; }
    const TRecordsBitmap& Bitmap() const { return Bitmap_; }

    // Judges one record. Errors of the callback propagate unchanged.
    bool Judge(void* userData, std::span<const uint8_t> record, uint32_t recNo) const;

private:
    TFilterKind Kind_;
    uint8_t Level_ = FilterLevelUnoptimized;
    bool Reordered_ = false;
    bool AfterOthers_;
    bool Active_ = false;
    TFilterCallback Callback_;
    void* Context_;
    // Expression filters add their tree (owned or not) and its source text here.
    TRecordsBitmap Bitmap_;
};

}  // namespace dezede
