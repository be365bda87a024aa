#include "engine/cursor_filters.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "engine/engine_error.h"
#include "engine/error_codes.h"
#include "engine/error_context.h"

namespace dezede {

namespace {

// A record that vanishes or changes while it is judged drops out of the
// filter; every other error ends the evaluation.
bool VanishedWhileJudged(const EDEZEDEEngineError& e) { return e.ErrorCode == DEZEDE_KEYORRECDELETED; }

}  // namespace

TCursorFilters::TCursorFilters(TFilterHost& host) : Host_(host) {}

TCursorFilters::~TCursorFilters() = default;

TFilter* TCursorFilters::AddCallbackFilter(TFilterCallback callback, void* context, bool afterOthers) {
    if (!callback) RaiseError(DEZEDE_INVALIDFILTER, {.Table = Host_.TableName()});
    if (Filters_.size() >= MaxFilters) RaiseError(DEZEDE_INTERNALLIMIT, {.Table = Host_.TableName()});
    auto filter = std::make_unique<TFilter>(std::move(callback), context, afterOthers);
    TFilter* result = filter.get();
    auto at = afterOthers ? Filters_.end()
                          : std::find_if(Filters_.begin(), Filters_.end(),
                                         [](const std::unique_ptr<TFilter>& f) { return f->AfterOthers(); });
    Filters_.insert(at, std::move(filter));
    return result;
}

TFilter* TCursorFilters::Find(TFilter* filter) const {
    for (const auto& f : Filters_)
        if (f.get() == filter) return filter;
    RaiseError(DEZEDE_NOSUCHFILTER, {.Table = Host_.TableName()});
}

bool TCursorFilters::InUse() const {
    return std::any_of(Filters_.begin(), Filters_.end(), [](const std::unique_ptr<TFilter>& f) { return f->Active(); });
}

void TCursorFilters::Activate(TFilter* filter) {
    TFilter* only = filter ? Find(filter) : nullptr;
    std::vector<TFilter*> activated;
    for (const auto& f : Filters_) {
        if ((only && f.get() != only) || f->Active()) continue;
        f->SetActive(true);
        activated.push_back(f.get());
    }
    const auto start = std::chrono::steady_clock::now();
    try {
        Evaluate(only);
    } catch (...) {
        for (TFilter* f : activated) {
            f->SetActive(false);
            f->Bitmap().SetSize(0);
        }
        KeepConsistentAfterFailure();
        throw;
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    LastActivationSeconds_ = static_cast<double>(ms) / 1000.0;
    Recount();
}

void TCursorFilters::Deactivate(TFilter* filter) {
    TFilter* only = filter ? Find(filter) : nullptr;
    for (const auto& f : Filters_) {
        if (only && f.get() != only) continue;
        f->SetActive(false);
        f->Bitmap().SetSize(0);
    }
    Recount();
}

void TCursorFilters::Drop(TFilter* filter) {
    if (!filter) return DropAll();
    Find(filter);
    std::erase_if(Filters_, [filter](const std::unique_ptr<TFilter>& f) { return f.get() == filter; });
    Recount();
}

void TCursorFilters::DropAll() {
    Filters_.clear();
    Recount();
}

void TCursorFilters::Reevaluate() {
    if (InUse()) {
        try {
            Evaluate(nullptr);
        } catch (...) {
            KeepConsistentAfterFailure();
            throw;
        }
    } else {
        RangeUsed_ = false;
    }
    Recount();
}

void TCursorFilters::Recount() {
    Combine();
    BuildKeyList();
}

void TCursorFilters::KeepConsistentAfterFailure() {
    ClearKeyList();
    try {
        Combine();
    } catch (...) {
        // The evaluation's own error is the one the caller sees.
    }
}

void TCursorFilters::BuildRange(uint32_t slots) {
    Range_.SetSize(slots);
    Range_.ClearAll();
    Host_.ScanRange(Range_);
    Range_.SetSize(slots);
    RangeUsed_ = true;
}

void TCursorFilters::Evaluate(TFilter* only) {
    const uint32_t slots = Host_.RecordSlots();
    SizeBitmaps(slots);
    RangeUsed_ = false;
    Range_.SetSize(0);
    if (Host_.RangeSet()) BuildRange(slots);
    for (size_t i = 0; i < Filters_.size(); ++i) {
        TFilter& f = *Filters_[i];
        if (!f.Active() || (only && &f != only)) continue;
        TRecordsBitmap candidates(slots);
        if (RangeUsed_)
            candidates.CopyFrom(Range_);
        else
            candidates.SetAll();
        if (f.AfterOthers() && f.Level() != FilterLevelOptimized) {
            for (size_t j = 0; j < i; ++j)
                if (Filters_[j]->Active()) candidates.Intersect(Filters_[j]->Bitmap());
        }
        // Evaluated aside: a failed evaluation leaves the filter's last result in place.
        EvaluateCallback(f, candidates);
        f.Bitmap() = std::move(candidates);
    }
}

void TCursorFilters::EvaluateCallback(const TFilter& filter, TRecordsBitmap& bits) {
    const uint32_t toVisit = bits.Count();
    const uint32_t openings = std::max<uint32_t>(1, Host_.MaxReadLockCount());
    const uint32_t every = std::max<uint32_t>(1, toVisit / openings);
    void* userData = Host_.UserData();
    uint32_t visited = 0;
    for (uint32_t recNo = bits.FindNext(0); recNo != 0; recNo = bits.FindNext(recNo)) {
        bool keep = false;
        try {
            keep = Host_.ReadSlot(recNo, Record_) && filter.Judge(userData, Record_, recNo);
        } catch (const EDEZEDEEngineError& e) {
            if (!VanishedWhileJudged(e)) throw;
        }
        if (!keep) bits.Clear(recNo);
        if (++visited % every == 0 && visited < toVisit) Host_.PauseReadLock();
    }
}

bool TCursorFilters::JudgeRecord(const TFilter& filter, std::span<const uint8_t> record, uint32_t recNo) {
    try {
        return filter.Judge(Host_.UserData(), record, recNo);
    } catch (const EDEZEDEEngineError& e) {
        if (!VanishedWhileJudged(e)) throw;
        return false;
    }
}

void TCursorFilters::SizeBitmaps(uint32_t slots) {
    if (Combined_.Size() != slots) Combined_.SetSize(slots);
    if (RangeUsed_ && Range_.Size() != slots) Range_.SetSize(slots);
    for (const auto& f : Filters_)
        if (f->Active() && f->Bitmap().Size() != slots) f->Bitmap().SetSize(slots);
}

void TCursorFilters::Combine() {
    const uint32_t slots = Host_.RecordSlots();
    Combined_.SetSize(slots);
    if (!InUse()) {
        Combined_.SetAll();
        CombinedBits_ = slots;
    } else {
        if (!Host_.RangeSet()) {
            RangeUsed_ = false;
            Range_.SetSize(0);
            Combined_.SetAll();
        } else {
            if (!RangeUsed_) BuildRange(slots);
            Range_.SetSize(slots);
            Combined_.CopyFrom(Range_);
        }
        for (const auto& f : Filters_)
            if (f->Active()) Combined_.Intersect(f->Bitmap());
        CombinedBits_ = Combined_.Count();
    }
    UpdateCount();
}

uint32_t TCursorFilters::FilteredCount() const { return InUse() ? FilteredCount_ : Host_.ActiveRecordCount(); }

void TCursorFilters::UpdateCount() {
    if (!InUse())
        FilteredCount_ = Host_.ActiveRecordCount();
    else if (RangeUsed_)
        FilteredCount_ = std::min(CombinedBits_, Host_.ActiveRecordCount());
    else
        FilteredCount_ = CombinedBits_;
}

void TCursorFilters::SetCombinedBit(uint32_t recNo, bool pass) {
    if (Combined_.Test(recNo) == pass) return;
    if (pass) {
        Combined_.Set(recNo);
        ++CombinedBits_;
    } else {
        Combined_.Clear(recNo);
        --CombinedBits_;
    }
}

void TCursorFilters::DropRecordBits(uint32_t recNo) {
    if (RangeUsed_) Range_.Clear(recNo);
    for (const auto& f : Filters_)
        if (f->Active()) f->Bitmap().Clear(recNo);
    SetCombinedBit(recNo, false);
    RemoveKey(recNo);
}

void TCursorFilters::ClearKeyList() {
    KeyList_.clear();
    HasKeyList_ = false;
    KeyListIndex_ = -1;
}

void TCursorFilters::BuildKeyList() {
    ClearKeyList();
    if (!InUse() || !Host_.IndexOrder() || Host_.RangeSet() || FilteredCount_ == 0) return;
    const uint64_t slots = Host_.RecordSlots();
    if (static_cast<uint64_t>(FilteredCount_) * 100 > static_cast<uint64_t>(Host_.FilterIndexThreshold()) * slots)
        return;
    const size_t keySize = Host_.KeySize();
    std::vector<TSortedKey> list;
    list.reserve(FilteredCount_);
    std::vector<uint32_t> vanished;
    for (uint32_t recNo = Combined_.FindNext(0); recNo != 0; recNo = Combined_.FindNext(recNo)) {
        bool present = false;
        try {
            present = Host_.ReadSlot(recNo, Record_);
        } catch (const EDEZEDEEngineError& e) {
            if (!VanishedWhileJudged(e)) throw;
        }
        if (!present) {
            vanished.push_back(recNo);
            continue;
        }
        TSortedKey entry{std::vector<uint8_t>(keySize), recNo};
        Host_.BuildKey(Record_, entry.Key);
        list.push_back(std::move(entry));
    }
    std::sort(list.begin(), list.end(), [this](const TSortedKey& a, const TSortedKey& b) { return KeyLess(a, b); });
    for (uint32_t recNo : vanished) DropRecordBits(recNo);
    if (!vanished.empty()) UpdateCount();
    KeyList_ = std::move(list);
    HasKeyList_ = true;
    KeyListIndex_ = Host_.CurrentIndex();
}

bool TCursorFilters::KeyLess(const TSortedKey& a, const TSortedKey& b) const {
    const int c = Host_.CompareKeys(a.Key.data(), b.Key.data());
    return c != 0 ? c < 0 : a.RecNo < b.RecNo;
}

const std::vector<TSortedKey>* TCursorFilters::KeyList() const {
    if (!HasKeyList_ || !Host_.IndexOrder() || Host_.CurrentIndex() != KeyListIndex_) return nullptr;
    return &KeyList_;
}

size_t TCursorFilters::KeyListLowerBound(std::span<const uint8_t> key) const {
    auto it = std::lower_bound(KeyList_.begin(), KeyList_.end(), key, [this](const TSortedKey& e, auto k) {
        return Host_.CompareKeys(e.Key.data(), k.data()) < 0;
    });
    return static_cast<size_t>(it - KeyList_.begin());
}

void TCursorFilters::RemoveKey(uint32_t recNo) {
    if (!HasKeyList_) return;
    auto it = std::find_if(KeyList_.begin(), KeyList_.end(), [recNo](const TSortedKey& e) { return e.RecNo == recNo; });
    if (it != KeyList_.end()) KeyList_.erase(it);
}

void TCursorFilters::InsertKey(uint32_t recNo, std::span<const uint8_t> record) {
    if (!HasKeyList_) return;
    if (!Host_.IndexOrder() || Host_.CurrentIndex() != KeyListIndex_) {
        // Built for another index: no longer of use to navigation.
        ClearKeyList();
        return;
    }
    TSortedKey entry{std::vector<uint8_t>(Host_.KeySize()), recNo};
    Host_.BuildKey(record, entry.Key);
    auto at = std::upper_bound(KeyList_.begin(), KeyList_.end(), entry,
                               [this](const TSortedKey& a, const TSortedKey& b) { return KeyLess(a, b); });
    KeyList_.insert(at, std::move(entry));
}

bool TCursorFilters::TestRecord(uint32_t recNo, std::span<const uint8_t> record, bool deleted) {
    if (deleted) {
        if (InUse()) {
            DropRecordBits(recNo);
            UpdateCount();
        }
        return false;
    }
    const bool inRange = !Host_.RangeSet() || Host_.KeyInRange(record);
    if (!InUse()) return inRange;
    SizeBitmaps(Host_.RecordSlots());
    if (RangeUsed_) {
        if (inRange)
            Range_.Set(recNo);
        else
            Range_.Clear(recNo);
    }
    bool pass = inRange;
    for (const auto& f : Filters_) {
        if (!f->Active()) continue;
        const bool passes = JudgeRecord(*f, record, recNo);
        if (passes)
            f->Bitmap().Set(recNo);
        else
            f->Bitmap().Clear(recNo);
        pass = pass && passes;
    }
    SetCombinedBit(recNo, pass);
    if (!pass) RemoveKey(recNo);
    UpdateCount();
    return pass;
}

void TCursorFilters::AfterWrite(uint32_t recNo, std::span<const uint8_t> record) {
    if (!InUse()) {
        // Every slot stays a candidate; slots the table grew by join the combined bitmap.
        const uint32_t old = Combined_.Size();
        const uint32_t slots = std::max(Host_.RecordSlots(), recNo);
        Combined_.SetSize(slots);
        for (uint32_t r = old + 1; r <= slots; ++r) Combined_.Set(r);
        CombinedBits_ = slots;
        UpdateCount();
        return;
    }
    const bool pass = TestRecord(recNo, record, false);
    RemoveKey(recNo);
    if (pass) InsertKey(recNo, record);
}

void TCursorFilters::AfterDelete(uint32_t recNo) {
    if (InUse()) DropRecordBits(recNo);
    UpdateCount();
}

}  // namespace dezede
