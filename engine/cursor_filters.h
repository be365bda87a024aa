#pragma once
// TCursorFilters: the filters of one table cursor and what they produce for
// navigation: the combined bitmap of the records that pass the range and
// every active filter, the filtered count, and, when few records pass, a
// list of their keys in the current index sorted in index order.
//
// The filter set knows the cursor only through TFilterHost. The cursor keeps
// the orchestration: change check and read lock around each call, range
// positions, and repositioning afterwards. The filter set reads records,
// judges them, and keeps its bitmaps in step with the cursor's own changes.
//
//   TCursorFilters filters(host);
//   TFilter* f = filters.AddCallbackFilter(cb, ctx, false);
//   filters.Activate(f);                     // evaluates, recounts, builds the key list
//   if (const auto* keys = filters.KeyList()) { walk keys } else { skip clear bits }

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/filter.h"
#include "support/records_bitmap.h"

namespace dezede {

// What the filters need from their cursor (TDataCursor implements it).
class TFilterHost {
public:
    virtual ~TFilterHost() = default;

    // S: the table's record slots (next record number - 1, deleted slots included).
    virtual uint32_t RecordSlots() = 0;
    virtual uint32_t ActiveRecordCount() = 0;
    // Reads slot recNo into `record` (rereading when the caches were just
    // discarded); false when the slot is free or deleted. May raise
    // DEZEDE_KEYORRECDELETED when the record vanishes while read.
    virtual bool ReadSlot(uint32_t recNo, std::vector<uint8_t>& record) = 0;
    // The cursor's user data, handed to callbacks.
    virtual void* UserData() = 0;

    virtual bool RangeSet() = 0;
    // Sets the bit of every record whose key in the current index lies in the
    // range (the bitmap arrives sized to S and clear).
    virtual void ScanRange(TRecordsBitmap& bitmap) = 0;
    // Whether a record's key in the current index lies in the range.
    virtual bool KeyInRange(std::span<const uint8_t> record) = 0;

    // False in record-number order.
    virtual bool IndexOrder() = 0;
    virtual int CurrentIndex() = 0;
    virtual size_t KeySize() = 0;
    // The record's key in the current index (KeySize() bytes).
    virtual void BuildKey(std::span<const uint8_t> record, std::span<uint8_t> key) = 0;
    // <0, 0, >0 in the current index's order.
    virtual int CompareKeys(const uint8_t* a, const uint8_t* b) = 0;

    // Gives writers an opening during a long walk: releases the table read
    // lock; the next read takes it again.
    virtual void PauseReadLock() = 0;
    // The engine's TableFilterIndexThreshhold (percent) and TableMaxReadLockCount.
    virtual uint8_t FilterIndexThreshold() = 0;
    virtual uint16_t MaxReadLockCount() = 0;
    virtual const std::string& TableName() = 0;
};

// One entry of the sorted key list: a passing record's key in the list's index.
struct TSortedKey {
    std::vector<uint8_t> Key;
    uint32_t RecNo = 0;
};

class TCursorFilters {
public:
    static constexpr size_t MaxFilters = 64;

    explicit TCursorFilters(TFilterHost& host);
    TCursorFilters(const TCursorFilters&) = delete;
    TCursorFilters& operator=(const TCursorFilters&) = delete;
    ~TCursorFilters();

    // A new inactive callback filter. Without afterOthers it goes before the
    // first filter that has the flag, with it at the end. A 65th filter:
    // DEZEDE_INTERNALLIMIT; an empty callback: DEZEDE_INVALIDFILTER.
    TFilter* AddCallbackFilter(TFilterCallback callback, void* context, bool afterOthers);

    // Activates and evaluates one filter (null: every filter), then recounts
    // and rebuilds the key list. A filter this set does not hold:
    // DEZEDE_NOSUCHFILTER. When an evaluation fails the error propagates and
    // the filters it activated are inactive again.
    void Activate(TFilter* filter);
    // Deactivate / Drop one filter (null: all), then recount and rebuild the
    // key list. Drop frees the filter. Unknown filter: DEZEDE_NOSUCHFILTER.
    void Deactivate(TFilter* filter);
    void Drop(TFilter* filter);
    void DropAll();
    // After changes by others, or a new range: every active filter evaluated
    // afresh, recount, key list.
    void Reevaluate();
    // Combines the bitmaps, counts, and rebuilds the key list (also after the
    // cursor changed its index).
    void Recount();

    // Any filter active.
    bool InUse() const;
    const std::vector<std::unique_ptr<TFilter>>& Filters() const { return Filters_; }
    const TRecordsBitmap& Combined() const { return Combined_; }
    // The records passing range and filters; the table's active record count
    // when no filter is active.
    uint32_t FilteredCount() const;
    double LastActivationSeconds() const { return LastActivationSeconds_; }

    // The sorted key list when one exists for the host's current index, else null.
    const std::vector<TSortedKey>* KeyList() const;
    // Position of the first entry whose key is >= key (KeySize() bytes).
    size_t KeyListLowerBound(std::span<const uint8_t> key) const;

    // The test of a record a cursor lands on in an index order: in the range
    // and passing every active filter. A deleted record fails and loses its
    // bits; otherwise the record's bits are set anew from the test.
    bool TestRecord(uint32_t recNo, std::span<const uint8_t> record, bool deleted);
    // Upkeep after this cursor appended or modified record recNo (its new
    // image): the record is tested, the count patched, its key list entry
    // moved to the new key's place or removed.
    void AfterWrite(uint32_t recNo, std::span<const uint8_t> record);
    // Upkeep after this cursor deleted record recNo: its bits cleared, the
    // count patched and its key list entry removed; nothing is re-evaluated.
    void AfterDelete(uint32_t recNo);

private:
    TFilter* Find(TFilter* filter) const;  // raises DEZEDE_NOSUCHFILTER
    void Evaluate(TFilter* only);
    void EvaluateCallback(const TFilter& filter, TRecordsBitmap& bits);
    bool JudgeRecord(const TFilter& filter, std::span<const uint8_t> record, uint32_t recNo);
    void KeepConsistentAfterFailure();
    void BuildRange(uint32_t slots);
    void SizeBitmaps(uint32_t slots);
    void Combine();
    void UpdateCount();
    void SetCombinedBit(uint32_t recNo, bool pass);
    void DropRecordBits(uint32_t recNo);
    void ClearKeyList();
    void BuildKeyList();
    bool KeyLess(const TSortedKey& a, const TSortedKey& b) const;
    void RemoveKey(uint32_t recNo);
    void InsertKey(uint32_t recNo, std::span<const uint8_t> record);

    TFilterHost& Host_;
    std::vector<std::unique_ptr<TFilter>> Filters_;
    TRecordsBitmap Combined_;
    TRecordsBitmap Range_;
    bool RangeUsed_ = false;       // Range_ is built for the current range and part of Combined_
    uint32_t CombinedBits_ = 0;    // set bits of Combined_
    uint32_t FilteredCount_ = 0;
    std::vector<TSortedKey> KeyList_;
    bool HasKeyList_ = false;
    int KeyListIndex_ = -1;
    double LastActivationSeconds_ = 0;
    std::vector<uint8_t> Record_;  // reused read buffer
};

}  // namespace dezede
