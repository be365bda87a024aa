#include "engine/cursor.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <stdexcept>

#include "engine/blob_buffer.h"
#include "engine/blob_file.h"
#include "engine/cursor_filters.h"
#include "engine/cursor_scopes.h"
#include "engine/data_directory.h"
#include "engine/data_engine.h"
#include "engine/data_file.h"
#include "engine/data_session.h"
#include "engine/data_table.h"
#include "engine/engine_error.h"
#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/field_value.h"
#include "engine/index_file.h"
#include "engine/table_indexes.h"
#include "engine/record_builder.h"
#include "engine/table_locks.h"
#include "support/ansi_strings.h"
#include "support/endian.h"
#include "support/locales.h"

namespace dezede {

// The cursor as its filters see it.
class TDataCursor::TFilterHostImpl : public TFilterHost {
public:
    explicit TFilterHostImpl(TDataCursor& c) : C_(c) {}
    uint32_t RecordSlots() override { return C_.SlotCount(); }
    uint32_t ActiveRecordCount() override { return C_.Data().Header().RecordCount; }
    bool ReadSlot(uint32_t recNo, std::vector<uint8_t>& record) override { return C_.ReadRecordAt(recNo, record); }
    void* UserData() override { return C_.UserData_; }
    bool RangeSet() override { return C_.RangeSet_ && C_.IndexOrder(); }
    void ScanRange(TRecordsBitmap& bitmap) override {
        if (!RangeSet()) return;
        TIndexTree& tree = C_.Indexes_->Tree(C_.Index_);
        std::vector<uint8_t> key(C_.KeySize());
        TIndexPosition pos;
        for (bool ok = tree.FindAtOrAfter(C_.RangeLow_.data(), pos); ok; ok = tree.Next(pos)) {
            uint32_t recNo = 0;
            tree.ReadPosition(pos, key.data(), recNo);
            if (C_.Indexes_->Compare(C_.Index_, key.data(), C_.RangeHigh_.data(), key.size()) > 0) break;
            bitmap.Set(recNo);
        }
    }
    bool KeyInRange(std::span<const uint8_t> record) override {
        const std::vector<uint8_t> key = C_.BuildKey(record);
        return C_.InRange(key.data());
    }
    bool IndexOrder() override { return C_.IndexOrder(); }
    int CurrentIndex() override { return C_.Index_; }
    size_t KeySize() override { return C_.KeySize(); }
    void BuildKey(std::span<const uint8_t> record, std::span<uint8_t> key) override {
        C_.Indexes_->BuildKey(C_.Index_, record, key);
    }
    int CompareKeys(const uint8_t* a, const uint8_t* b) override {
        return C_.Indexes_->Compare(C_.Index_, a, b, C_.KeySize());
    }
    void PauseReadLock() override { C_.PauseReadLock(); }
    uint8_t FilterIndexThreshold() override { return C_.Session().Engine().TableFilterIndexThreshhold(); }
    uint16_t MaxReadLockCount() override { return C_.Session().Engine().TableMaxReadLockCount(); }
    const std::string& TableName() override { return C_.ErrorTable_; }

private:
    TDataCursor& C_;
};

namespace {

uint32_t ReadLE32(const uint8_t* p) { return LoadLE32(p); }
void WriteLE32(uint8_t* p, uint32_t v) { StoreLE32(p, v); }

}  // namespace

// --- Life cycle ---

TDataCursor::TDataCursor(TDataDirectory& directory)
    : Directory_(&directory), Session_(&directory.Session()), PosCache_(std::make_unique<TPositionCache>()) {
    directory.RegisterCursor(this);
}

TDataCursor::~TDataCursor() {
    try {
        CloseCursor();
    } catch (...) {
        // Freeing never fails; the table's locks go with its files.
    }
    if (Directory_) Directory_->UnregisterCursor(this);
    Mark_.fill(0);
}

void TDataCursor::DetachFromDirectory() {
    try {
        CloseCursor();
    } catch (...) {
    }
    Directory_ = nullptr;
}

TDataSession& TDataCursor::Session() const { return *Session_; }

void TDataCursor::Raise(uint16_t code, std::string_view field, std::string_view index) const {
    RaiseError(code, {.Table = ErrorTable_,
                      .Database = ErrorDatabase_,
                      .Field = std::string(field),
                      .Index = std::string(index)});
}

void TDataCursor::CheckOpen() const {
    if (!Table_) Raise(DEZEDE_TABLEOPEN);
}

void TDataCursor::CheckWritable() const {
    CheckOpen();
    if (ReadOnly_) Raise(DEZEDE_OSEACCES);
}

TDataFile& TDataCursor::Data() const { return *Table_->DataFile(); }

bool TDataCursor::NoLocks() const { return Exclusive_ || NoLocks_ || !Table_->TableLocks(); }

void TDataCursor::OpenCursor(const std::string& tableName, const std::string& displayName,
                             const TCursorOpenOptions& options) {
    if (Table_) return;
    if (!Directory_) RaiseError(DEZEDE_OSENOENT, {.Table = tableName});
    Options_ = options;
    ErrorTable_ = displayName.empty() ? tableName : displayName;
    ErrorDatabase_ = Directory_->ErrorName();
    TDataTable* table = Directory_->OpenTable(tableName, displayName, !options.NoDescriptors, options.Exclusive,
                                              options.Temporary, !options.NoUserCount, !options.OutsideTransaction);
    Table_ = table;
    try {
        Name_ = table->Name();
        DisplayName_ = table->DisplayName();
        ErrorTable_ = table->TableName();
        Exclusive_ = table->Exclusive();
        NoLocks_ = table->ReadOnlyStorage();
        ReadOnly_ = options.ReadOnly || table->ReadOnly();
        if (table->IndexRecreated()) {
            TWriteScope write(*this);
            RebuildRecreatedIndex(Data(), *table->IndexFile());
            table->NoteEdit();
            table->WriteChanges();
            table->IndexRebuilt();
        }
        Indexes_ = std::make_unique<TTableIndexes>(Data(), *table->IndexFile(), &Session().Engine().Hooks);
        Blobs_ = std::make_unique<TBlobBuffers>(Data(), table->BlobFile(), ErrorTable_);
        Host_ = std::make_unique<TFilterHostImpl>(*this);
        Filters_ = std::make_unique<TCursorFilters>(*Host_);
        const size_t size = Data().Header().RecordSize;
        Current_.assign(size, 0);
        Edit_.assign(size, 0);
        Work_.assign(size, 0);
        Editing_ = false;
        RangeSet_ = false;
        RangeLow_.clear();
        RangeHigh_.clear();
        TakeCounters();
        Index_ = options.RecordNumberOrder ? kNoIndex : 0;
        Key_.clear();
        RecNo_ = 0;
        Bof_ = true;
        Eof_ = false;
        CurDeleted_ = false;
        PosCache_->Valid = false;
    } catch (...) {
        CloseCursor();
        throw;
    }
}

void TDataCursor::CloseCursor() {
    if (!Table_) return;
    TDataTable* table = Table_;
    // Every step runs, whatever fails before it; the first failure is raised
    // at the end, with the cursor closed and the table given back.
    std::exception_ptr failure;
    auto step = [&failure](const std::function<void()>& f) {
        try {
            f();
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    };
    step([&] { EndReadLock(); });
    step([&] {
        if (Blobs_) Blobs_->FreeAll();
    });
    step([&] {
        if (Filters_) Filters_->DropAll();
    });
    step([&] {
        if (EditLocked_ && !NoLocks() && table->Locking().RecordLocks().count(EditLockedRecNo_))
            table->UnlockRecord(EditLockedRecNo_);
    });
    Table_ = nullptr;
    Filters_.reset();
    Host_.reset();
    Blobs_.reset();
    Indexes_.reset();
    Current_.clear();
    Edit_.clear();
    Work_.clear();
    Key_.clear();
    RangeSet_ = false;
    RangeLow_.clear();
    RangeHigh_.clear();
    RecNo_ = 0;
    Bof_ = true;
    Eof_ = false;
    Editing_ = false;
    EditLocked_ = false;
    ReadHeld_ = false;
    PosCache_->Valid = false;
    step([&] {
        if (Directory_) Directory_->CloseTable(table, !Options_.NoUserCount);
    });
    if (failure) std::rethrow_exception(failure);
}

// --- Record layout ---

uint16_t TDataCursor::RecordSize() const {
    CheckOpen();
    return Data().Header().RecordSize;
}

const std::vector<TFieldDescriptor>& TDataCursor::Fields() const {
    CheckOpen();
    return Data().Fields();
}

const TFieldDescriptor* TDataCursor::FindField(std::string_view name) const {
    CheckOpen();
    return Data().FindField(name);
}

const TFieldDescriptor* TDataCursor::FindField(int32_t number) const {
    CheckOpen();
    return Data().FindField(number);
}

uint32_t TDataCursor::Locale() const {
    CheckOpen();
    return Data().Header().Locale;
}

void TDataCursor::InitRecord(std::span<uint8_t> record) const {
    CheckOpen();
    InitRecordDefaults(Data().Fields(), record, Locale());
}

// --- Indexes ---

int TDataCursor::IndexCount() const {
    CheckOpen();
    return Indexes_->Count();
}

const TIndexDescriptor& TDataCursor::IndexDescriptor(int indexNo) const {
    CheckOpen();
    return Indexes_->Descriptor(indexNo);
}

std::string TDataCursor::IndexName() const {
    if (!Table_ || !IndexOrder()) return {};
    return Indexes_->Descriptor(Index_).Name;
}

uint16_t TDataCursor::KeySize() const {
    CheckOpen();
    return IndexOrder() ? Indexes_->KeySize(Index_) : 4;
}

std::vector<uint8_t> TDataCursor::BuildKey(std::span<const uint8_t> record) const {
    std::vector<uint8_t> key(KeySize());
    if (IndexOrder()) Indexes_->BuildKey(Index_, record, key);
    return key;
}

void TDataCursor::SetIndexName(const std::string& name) {
    CheckOpen();
    if (IndexOrder() && AnsiSameText(Indexes_->Descriptor(Index_).Name, name)) return;
    const int found = Indexes_->FindIndex(name);
    if (found < 0) Raise(DEZEDE_INVALIDINDEXNAME, {}, name);
    SetIndexNo(found);
}

void TDataCursor::SetIndexNo(int indexNo) {
    CheckOpen();
    if (indexNo != kNoIndex && (indexNo < 0 || indexNo >= Indexes_->Count()))
        Raise(DEZEDE_INVALIDINDEXNAME, {}, std::to_string(indexNo));
    TReadScope read(*this);
    RangeSet_ = false;
    RangeLow_.clear();
    RangeHigh_.clear();
    const bool positioned = !Bof_ && !Eof_ && RecNo_ != 0 && !CurDeleted_;
    Index_ = indexNo;
    PosCache_->Valid = false;
    if (Filters_->InUse()) Filters_->Reevaluate();
    if (!positioned) {
        Key_.clear();
        RecNo_ = 0;
        Bof_ = true;
        Eof_ = false;
        return;
    }
    if (IndexOrder()) {
        SeekNearest(BuildKey(Current_));
    } else {
        std::vector<uint8_t> rec(4);
        WriteLE32(rec.data(), RecNo_);
        SeekNearest(rec);
    }
}

// --- Change detection ---

void TDataCursor::TakeCounters() {
    Counters_[0] = Data().Header().ChangeCounter;
    Counters_[1] = Table_->IndexFile()->Header().ChangeCounter;
    Counters_[2] = Table_->BlobFile() ? Table_->BlobFile()->Header().ChangeCounter : 0;
}

bool TDataCursor::CountersMoved() const {
    const int32_t blob = Table_->BlobFile() ? Table_->BlobFile()->Header().ChangeCounter : 0;
    return Counters_[0] != Data().Header().ChangeCounter ||
           Counters_[1] != Table_->IndexFile()->Header().ChangeCounter || Counters_[2] != blob;
}

void TDataCursor::CheckForChangeDetection(bool strict) {
    CheckOpen();
    if (Exclusive_ || NoLocks_ || StatementUpdate_) return;
    bool refreshed = false;
    if (strict || Session().StrictChangeDetection()) {
        TDataTableLocks* locks = Table_->TableLocks();
        const bool willTake = locks && !Table_->Locking().LockedWhole() && locks->Flags() == 0;
        // Marked first, so that a refresh failing after the lock was taken
        // still gives it back (the read scope ends it).
        if (willTake) ReadHeld_ = true;
        refreshed = Table_->BeginRead();
    }
    if (refreshed || CountersMoved()) Resynchronise();
}

// Locks a record. Outside strict change detection the lock operation takes
// the table read lock to check for changes; it is given back here, as no
// lock but the record's stays between calls.
bool TDataCursor::LockRecordOnly(uint32_t recNo) {
    TDataTableLocks* locks = Table_->TableLocks();
    const bool readBefore = locks && locks->Holds(TDataTableLocks::kReadLocked);
    const bool refreshed = Table_->LockRecord(recNo);
    if (locks && !readBefore && locks->Holds(TDataTableLocks::kReadLocked)) {
        try {
            Table_->EndRead();
        } catch (const EDEZEDEEngineError&) {
            // The lock goes with the file handle at the latest.
        }
    }
    return refreshed;
}

void TDataCursor::EndReadLock() {
    if (!ReadHeld_) return;
    ReadHeld_ = false;
    try {
        Table_->EndRead();
    } catch (const EDEZEDEEngineError&) {
        // The lock goes with the file handle at the latest.
    }
}

void TDataCursor::PauseReadLock() { EndReadLock(); }

void TDataCursor::Resynchronise() {
    TakeCounters();
    PosCache_->Valid = false;
    if (Filters_ && Filters_->InUse()) Filters_->Reevaluate();
    if (Bof_ || Eof_ || RecNo_ == 0) return;
    // The current record is read again; when it is gone, or its key in the
    // current index changed, the cursor stands between its neighbours: the
    // next step goes on from the key it had.
    std::vector<uint8_t> record;
    if (!ReadRecordAt(RecNo_, record)) {
        CurDeleted_ = true;
        return;
    }
    if (IndexOrder() && BuildKey(record) != Key_) {
        CurDeleted_ = true;
        return;
    }
    Current_ = std::move(record);
    CurDeleted_ = false;
}

void TDataCursor::Refresh() {
    CheckOpen();
    TReadScope read(*this, true);
    if (!Bof_ && !Eof_ && RecNo_ != 0) RefreshCurrentRecord();
}

void TDataCursor::RememberCounters() {
    CheckOpen();
    TakeCounters();
}

// --- Reading records ---

uint32_t TDataCursor::SlotCount() const { return Data().Header().NextRecordNumber - 1; }

bool TDataCursor::ReadRecordAt(uint32_t recNo, std::vector<uint8_t>& record) {
    record.resize(Data().Header().RecordSize);
    if (recNo == 0 || recNo > SlotCount()) return false;
    // A walk that meets the records in their file order (record-number order,
    // or an index that follows it) reads ahead in its direction; any other
    // read takes the one record it needs.
    TCursorHints hints;
    hints.OpenedExclusively = Exclusive_;
    const bool sequential = Forward_ ? recNo == LastRead_ + 1 : recNo + 1 == LastRead_;
    hints.ReadAheadCount = Walking_ && sequential ? UINT32_MAX : 1;
    LastRead_ = recNo;
    if (Walking_ && !sequential && IndexOrder() && recNo == RecNo_) ReadAheadInIndexOrder(recNo, hints);
    Data().ReadRecord(recNo, record, &hints, Forward_ ? kReadAheadForward : kReadAheadBackward);
    return record[0] == kRecordActive;
}

// A walk in index order meets its records scattered over the data file. When
// the next one is not cached, the records of the following keys on the same
// leaf page are read with it, after a single change check, instead of one
// check for every record.
void TDataCursor::ReadAheadInIndexOrder(uint32_t recNo, const TCursorHints& hints) {
    constexpr size_t kMaxRecords = 32;
    TDataFile& data = Data();
    if (data.CachedBuffer(static_cast<int32_t>(recNo))) return;
    if (!PosCache_->Valid || PosCache_->Index != Index_ || PosCache_->Stamp != Table_->EditStamp()) return;
    const size_t room = std::min<size_t>(kMaxRecords, data.CacheCapacity() / 4);
    if (room < 2) return;
    std::array<uint32_t, kMaxRecords> beside{};
    const size_t found =
        Indexes_->Tree(Index_).LeafRecordsBeside(PosCache_->Pos, Forward_, std::span(beside.data(), room - 1));
    std::array<int32_t, kMaxRecords> numbers{};
    size_t n = 0;
    numbers[n++] = static_cast<int32_t>(recNo);
    const bool bitmap = FiltersInUse();
    for (size_t i = 0; i < found; ++i)
        if (!bitmap || Filters_->Combined().Test(beside[i])) numbers[n++] = static_cast<int32_t>(beside[i]);
    if (n > 1) data.Prefetch(&hints, 0, std::span(numbers.data(), n));
}

void TDataCursor::RefreshCurrentRecord() {
    CheckOpen();
    if (RecNo_ == 0) {
        std::fill(Current_.begin(), Current_.end(), 0);
        CurDeleted_ = true;
        return;
    }
    CurDeleted_ = !ReadRecordAt(RecNo_, Current_);
}

// --- Positions ---

bool TDataCursor::FiltersInUse() const { return Filters_ && Filters_->InUse(); }

bool TDataCursor::UsesKeyList() const { return IndexOrder() && FiltersInUse() && Filters_->KeyList() != nullptr; }

bool TDataCursor::InRange(const uint8_t* key) const {
    if (!RangeSet_ || !IndexOrder()) return true;
    const size_t n = Indexes_->KeySize(Index_);
    return Indexes_->Compare(Index_, key, RangeLow_.data(), n) >= 0 &&
           Indexes_->Compare(Index_, key, RangeHigh_.data(), n) <= 0;
}

bool TDataCursor::Acceptable() {
    if (CurDeleted_) {
        if (FiltersInUse() && IndexOrder()) Filters_->TestRecord(RecNo_, Current_, true);
        return false;
    }
    if (IndexOrder()) {
        if (FiltersInUse()) return Filters_->TestRecord(RecNo_, Current_, false);
        return InRange(Key_.data());
    }
    return !FiltersInUse() || Filters_->Combined().Test(RecNo_);
}

void TDataCursor::Candidate(uint32_t recNo, const uint8_t* key, const TIndexPosition* pos) {
    RecNo_ = recNo;
    if (key) Key_.assign(key, key + Indexes_->KeySize(Index_));
    if (pos) {
        PosCache_->Valid = true;
        PosCache_->Index = Index_;
        PosCache_->Stamp = Table_->EditStamp();
        PosCache_->Pos = *pos;
    } else {
        PosCache_->Valid = false;
    }
}

// Walks the index from pos (valid when ok) in the direction until a key in
// range whose record may pass; makes it the candidate.
bool TDataCursor::TreeWalk(TIndexPosition pos, bool ok, bool forward) {
    TIndexTree& tree = Indexes_->Tree(Index_);
    const size_t n = Indexes_->KeySize(Index_);
    Scratch_.resize(n);
    const bool bitmap = FiltersInUse();
    for (; ok; ok = forward ? tree.Next(pos) : tree.Prior(pos)) {
        uint32_t recNo = 0;
        tree.ReadPosition(pos, Scratch_.data(), recNo);
        if (RangeSet_) {
            if (forward && Indexes_->Compare(Index_, Scratch_.data(), RangeHigh_.data(), n) > 0) return false;
            if (!forward && Indexes_->Compare(Index_, Scratch_.data(), RangeLow_.data(), n) < 0) return false;
        }
        if (bitmap && !Filters_->Combined().Test(recNo)) continue;
        Candidate(recNo, Scratch_.data(), &pos);
        return true;
    }
    return false;
}

bool TDataCursor::ListCandidate(size_t i) {
    const std::vector<TSortedKey>& list = *Filters_->KeyList();
    if (i >= list.size()) return false;
    Candidate(list[i].RecNo, list[i].Key.data(), nullptr);
    return true;
}

bool TDataCursor::SlotCandidate(uint32_t recNo) {
    if (recNo == 0 || recNo > SlotCount()) return false;
    Candidate(recNo, nullptr, nullptr);
    return true;
}

bool TDataCursor::CandidateFirst(bool forward) {
    Walking_ = true;
    Forward_ = forward;
    if (!IndexOrder()) {
        const uint32_t slots = SlotCount();
        if (FiltersInUse())
            return SlotCandidate(forward ? Filters_->Combined().FindNext(0) : Filters_->Combined().FindPrior(slots + 1));
        return SlotCandidate(forward ? 1 : slots);
    }
    if (UsesKeyList()) {
        const size_t size = Filters_->KeyList()->size();
        return size > 0 && ListCandidate(forward ? 0 : size - 1);
    }
    TIndexTree& tree = Indexes_->Tree(Index_);
    TIndexPosition pos;
    if (!RangeSet_) return TreeWalk(pos, forward ? tree.First(pos) : tree.Last(pos), forward);
    if (forward) return TreeWalk(pos, tree.FindAtOrAfter(RangeLow_.data(), pos), true);
    // The last key at or below the range's high key.
    bool ok = tree.FindAtOrAfter(RangeHigh_.data(), pos);
    if (ok) {
        Scratch_.resize(Indexes_->KeySize(Index_));
        uint32_t recNo = 0;
        tree.ReadPosition(pos, Scratch_.data(), recNo);
        if (Indexes_->Compare(Index_, Scratch_.data(), RangeHigh_.data(), Scratch_.size()) > 0) ok = tree.Prior(pos);
    } else {
        ok = tree.Last(pos);
    }
    return TreeWalk(pos, ok, false);
}

// The first candidate at or after the key (in record-number order a 4-byte record number).
bool TDataCursor::CandidateAtOrAfter(std::span<const uint8_t> key) {
    Walking_ = false;
    Forward_ = true;
    if (!IndexOrder()) {
        uint32_t recNo = key.size() >= 4 ? ReadLE32(key.data()) : 1;
        if (recNo == 0) recNo = 1;
        if (FiltersInUse()) {
            if (!Filters_->Combined().Test(recNo)) recNo = Filters_->Combined().FindNext(recNo);
        }
        return SlotCandidate(recNo);
    }
    if (UsesKeyList()) return ListCandidate(Filters_->KeyListLowerBound(key));
    TIndexTree& tree = Indexes_->Tree(Index_);
    const uint8_t* from = key.data();
    if (RangeSet_ && Indexes_->Compare(Index_, from, RangeLow_.data(), RangeLow_.size()) < 0) from = RangeLow_.data();
    TIndexPosition pos;
    return TreeWalk(pos, tree.FindAtOrAfter(from, pos), true);
}

bool TDataCursor::CandidateStep(bool forward) {
    Walking_ = true;
    Forward_ = forward;
    if (!IndexOrder()) {
        if (FiltersInUse())
            return SlotCandidate(forward ? Filters_->Combined().FindNext(RecNo_) : Filters_->Combined().FindPrior(RecNo_));
        return SlotCandidate(forward ? RecNo_ + 1 : RecNo_ - 1);
    }
    if (UsesKeyList()) {
        const std::vector<TSortedKey>& list = *Filters_->KeyList();
        size_t i = Filters_->KeyListLowerBound(Key_);
        if (forward) {
            if (i < list.size() && list[i].RecNo == RecNo_ && list[i].Key == Key_) ++i;
            return ListCandidate(i);
        }
        return i > 0 && ListCandidate(i - 1);
    }
    TIndexTree& tree = Indexes_->Tree(Index_);
    TIndexPosition pos;
    bool exact = false;
    bool ok = false;
    if (PosCache_->Valid && PosCache_->Index == Index_ && PosCache_->Stamp == Table_->EditStamp()) {
        pos = PosCache_->Pos;
        ok = exact = true;
    } else {
        ok = tree.FindAtOrAfter(Key_.data(), pos);
        if (ok) {
            Scratch_.resize(Key_.size());
            uint32_t recNo = 0;
            tree.ReadPosition(pos, Scratch_.data(), recNo);
            exact = Indexes_->Compare(Index_, Scratch_.data(), Key_.data(), Key_.size()) == 0;
        }
    }
    if (forward) {
        if (ok && exact) ok = tree.Next(pos);
        return TreeWalk(pos, ok, true);
    }
    ok = ok ? tree.Prior(pos) : tree.Last(pos);
    return TreeWalk(pos, ok, false);
}

// Tests the candidate and steps on until one passes; at the end the cursor
// stands at the end (forwards) or the beginning (backwards).
bool TDataCursor::VerifyCurrentRecord(bool forward) {
    for (;;) {
        if (Acceptable()) {
            Bof_ = Eof_ = false;
            return true;
        }
        if (!CandidateStep(forward)) break;
        RefreshCurrentRecord();
    }
    if (forward)
        Eof_ = true;
    else
        Bof_ = true;
    return false;
}

// From the candidate or its absence: read, verify in the direction; true when a record passed.
bool TDataCursor::Land(bool found, bool forward) {
    if (!found) {
        if (forward)
            Eof_ = true;
        else
            Bof_ = true;
        return false;
    }
    RefreshCurrentRecord();
    return VerifyCurrentRecord(forward);
}

// Goes to the first record at or after the key, else the last one before it;
// both flags when there is none.
void TDataCursor::SeekNearest(std::span<const uint8_t> key) {
    Bof_ = Eof_ = false;
    if (Land(CandidateAtOrAfter(key), true)) return;
    Eof_ = false;
    if (Land(CandidateFirst(false), false)) {
        Eof_ = true;  // stands on the last record with the end flag set
        Bof_ = false;
        return;
    }
    Bof_ = Eof_ = true;
}

void TDataCursor::SetToBegin() {
    TReadScope read(*this);
    Bof_ = Eof_ = false;
    const bool any = Land(CandidateFirst(true), true);
    Bof_ = true;
    Eof_ = !any;
}

void TDataCursor::SetToEnd() {
    TReadScope read(*this);
    Bof_ = Eof_ = false;
    const bool any = Land(CandidateFirst(false), false);
    Eof_ = true;
    Bof_ = !any;
}

uint16_t TDataCursor::DeliverCurrent(std::span<uint8_t> buffer, uint16_t endCode) {
    if ((endCode == DEZEDE_EOF && Eof_) || (endCode == DEZEDE_BOF && Bof_)) {
        std::fill(buffer.begin(), buffer.end(), 0);
        return endCode;
    }
    std::memcpy(buffer.data(), Current_.data(), std::min(buffer.size(), Current_.size()));
    return 0;
}

uint16_t TDataCursor::GetNextRecord(std::span<uint8_t> buffer) {
    CheckOpen();
    const char* step = "GetNextRecord exception in CheckForChangeDetection";
    try {
        TReadScope read(*this);
        if (!Eof_) {
            bool found = false;
            if (Bof_) {
                step = "GetNextRecord exception in GotoFirstIndexPosition";
                Bof_ = false;
                found = CandidateFirst(true);
            } else {
                step = "GetNextRecord exception in SkipIndexKeys(1)";
                found = CandidateStep(true);
            }
            if (found) {
                step = "GetNextRecord exception in RefreshCurrentRecord";
                RefreshCurrentRecord();
                step = "GetNextRecord exception in VerifyCurrentRecord";
                VerifyCurrentRecord(true);
            } else {
                Eof_ = true;
            }
        }
        return DeliverCurrent(buffer, DEZEDE_EOF);
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string(step) + " \r\n\r\n" + e.what());
    }
}

uint16_t TDataCursor::GetPriorRecord(std::span<uint8_t> buffer) {
    CheckOpen();
    TReadScope read(*this);
    if (!Bof_) {
        bool found = false;
        if (Eof_) {
            Eof_ = false;
            found = CandidateFirst(false);
        } else {
            found = CandidateStep(false);
        }
        Land(found, false);
    }
    return DeliverCurrent(buffer, DEZEDE_BOF);
}

uint16_t TDataCursor::GetCurRecord(std::span<uint8_t> buffer, bool forEdit) {
    CheckOpen();
    TReadScope read(*this);
    const bool onRecord = !Bof_ && !Eof_ && RecNo_ != 0;
    if (forEdit && onRecord) {
        bool lockedHere = false;
        if (Session().LockProtocol() == lpPessimistic && !NoLocks()) {
            if (!Table_->Locking().RecordLocks().count(RecNo_)) {
                LockRecordOnly(RecNo_);
                lockedHere = true;
            }
            RefreshCurrentRecord();  // the record as it is now that nobody else can change it
        }
        if (!Exclusive_ && (CurDeleted_ || buffer.size() < kRecordDataOffset ||
                            std::memcmp(buffer.data() + kRecordHashOffset, Current_.data() + kRecordHashOffset,
                                        kRecordHashSize) != 0)) {
            if (lockedHere) Table_->UnlockRecord(RecNo_);
            Raise(DEZEDE_KEYORRECDELETED);
        }
        Edit_ = Current_;
        Editing_ = true;
        EditLocked_ = lockedHere || (EditLocked_ && EditLockedRecNo_ == RecNo_);
        EditLockedRecNo_ = RecNo_;
    }
    if (!onRecord || (Bof_ && Eof_)) {
        std::fill(buffer.begin(), buffer.end(), 0);
        if (Bof_ && Eof_) return DEZEDE_NOCURRREC;
        if (Bof_) return DEZEDE_BOF;
        if (Eof_) return DEZEDE_EOF;
        return DEZEDE_NOCURRREC;
    }
    std::memcpy(buffer.data(), Current_.data(), std::min(buffer.size(), Current_.size()));
    return 0;
}

// --- Counting ---

uint64_t TDataCursor::RangeFirstOrdinal() {
    return RangeSet_ ? Indexes_->Tree(Index_).KeysBefore(RangeLow_.data(), false) : 0;
}

uint64_t TDataCursor::RangeEndOrdinal() {
    TIndexTree& tree = Indexes_->Tree(Index_);
    return RangeSet_ ? tree.KeysBefore(RangeHigh_.data(), true) : tree.KeyCount();
}

uint32_t TDataCursor::RecordCount() {
    CheckOpen();
    TReadScope read(*this);
    if (FiltersInUse()) return Filters_->FilteredCount();
    if (!IndexOrder()) return Data().Header().RecordCount;
    const uint64_t first = RangeFirstOrdinal();
    const uint64_t end = RangeEndOrdinal();
    return end > first ? static_cast<uint32_t>(std::min<uint64_t>(end - first, UINT32_MAX)) : 0;
}

uint32_t TDataCursor::LogicalRecordNumber() {
    CheckOpen();
    TReadScope read(*this);
    if (Bof_ || Eof_ || RecNo_ == 0) return 0;
    if (!IndexOrder()) return FiltersInUse() ? Filters_->Combined().CountThrough(RecNo_) : RecNo_;
    if (UsesKeyList()) return static_cast<uint32_t>(Filters_->KeyListLowerBound(Key_) + 1);
    TIndexTree& tree = Indexes_->Tree(Index_);
    if (FiltersInUse()) {
        // Passing keys from the range's start up to the current one.
        uint32_t n = 0;
        TIndexPosition pos;
        const uint8_t* low = RangeSet_ ? RangeLow_.data() : nullptr;
        bool ok = low ? tree.FindAtOrAfter(low, pos) : tree.First(pos);
        Scratch_.resize(Key_.size());
        for (; ok; ok = tree.Next(pos)) {
            uint32_t recNo = 0;
            tree.ReadPosition(pos, Scratch_.data(), recNo);
            if (Indexes_->Compare(Index_, Scratch_.data(), Key_.data(), Key_.size()) > 0) break;
            if (Filters_->Combined().Test(recNo)) ++n;
        }
        return n;
    }
    const uint64_t before = tree.KeysBefore(Key_.data(), false);
    const uint64_t first = RangeFirstOrdinal();
    return before >= first ? static_cast<uint32_t>(std::min<uint64_t>(before - first + 1, UINT32_MAX)) : 0;
}

bool TDataCursor::SetToRecNo(uint32_t n) {
    CheckOpen();
    {
        TReadScope read(*this);
        Bof_ = Eof_ = false;
        bool found = false;
        if (n == 0) {
            found = false;
        } else if (!IndexOrder()) {
            found = FiltersInUse() ? SlotCandidate(Filters_->Combined().FindNext(0, n)) : SlotCandidate(n);
        } else if (UsesKeyList()) {
            found = ListCandidate(n - 1);
        } else if (FiltersInUse()) {
            found = CandidateFirst(true);
            for (uint32_t i = 1; found && i < n; ++i) found = CandidateStep(true);
        } else {
            TIndexTree& tree = Indexes_->Tree(Index_);
            TIndexPosition pos;
            const uint64_t ordinal = RangeFirstOrdinal() + n - 1;
            found = ordinal < RangeEndOrdinal() && tree.GotoOrdinal(ordinal, pos) && TreeWalk(pos, true, true);
        }
        if (!Land(found, true)) return false;
    }
    return LogicalRecordNumber() == n;
}

// --- Bookmarks ---

size_t TDataCursor::BookmarkSize() const { return KeySize(); }

std::vector<uint8_t> TDataCursor::GetBookmark() const {
    CheckOpen();
    std::vector<uint8_t> b(KeySize(), 0);
    if (RecNo_ == 0 || (Bof_ && Eof_)) return b;
    if (IndexOrder()) {
        if (Key_.size() == b.size()) b = Key_;
    } else {
        WriteLE32(b.data(), RecNo_);
    }
    return b;
}

int TDataCursor::CompareBookmarks(std::span<const uint8_t> a, std::span<const uint8_t> b) const {
    CheckOpen();
    if (a.size() < KeySize() || b.size() < KeySize()) Raise(DEZEDE_INVALIDKEY);
    if (IndexOrder()) return Indexes_->Compare(Index_, a.data(), b.data(), KeySize());
    const uint32_t x = ReadLE32(a.data()), y = ReadLE32(b.data());
    return x < y ? -1 : x > y ? 1 : 0;
}

bool TDataCursor::SetToBookmark(std::span<const uint8_t> bookmark, bool nearest) {
    CheckOpen();
    if (bookmark.size() < KeySize()) Raise(DEZEDE_INVALIDKEY);
    TReadScope read(*this);
    if (!IndexOrder()) {
        const int32_t given = static_cast<int32_t>(ReadLE32(bookmark.data()));
        if (given == 0) return nearest || (RecNo_ == 0);
        const uint32_t slots = SlotCount();
        uint32_t n = given < 0 ? 1 : std::min<uint32_t>(static_cast<uint32_t>(given), std::max<uint32_t>(slots, 1));
        std::vector<uint8_t> key(4);
        WriteLE32(key.data(), n);
        SeekNearest(key);
    } else {
        SeekNearest(bookmark.subspan(0, KeySize()));
    }
    if (nearest) return true;
    const std::vector<uint8_t> now = GetBookmark();
    return !Bof_ && !Eof_ && std::equal(now.begin(), now.end(), bookmark.begin());
}

void TDataCursor::SetToCursor(const TDataCursor& other) {
    CheckOpen();
    if (!other.Table_ || other.Table_->DataFile() != Table_->DataFile()) Raise(DEZEDE_NOCURRREC);
    TReadScope read(*this);
    if (other.Bof_ || other.Eof_ || other.RecNo_ == 0) {
        Bof_ = other.Bof_;
        Eof_ = other.Eof_;
        RecNo_ = 0;
        Key_.clear();
        if (!Bof_ && !Eof_) Bof_ = true;
        return;
    }
    if (IndexOrder()) {
        SeekNearest(BuildKey(other.Current_));
    } else {
        std::vector<uint8_t> key(4);
        WriteLE32(key.data(), other.RecNo_);
        SeekNearest(key);
    }
}

// --- Ranges and searches ---

TDataCursor::TSavedPosition TDataCursor::SavePosition() const {
    return {Bof_, Eof_, CurDeleted_, RecNo_, Key_, Current_};
}

void TDataCursor::RestorePosition(const TSavedPosition& p) {
    Bof_ = p.Bof;
    Eof_ = p.Eof;
    CurDeleted_ = p.Deleted;
    RecNo_ = p.RecNo;
    Key_ = p.Key;
    Current_ = p.Current;
    PosCache_->Valid = false;
}

// A whole key for the current index from a record image or a given key; an
// empty input is the lowest key (all zero bytes).
std::vector<uint8_t> TDataCursor::SearchKey(std::span<const uint8_t> keyOrRecord, bool asKey) const {
    std::vector<uint8_t> key(Indexes_->KeySize(Index_), 0);
    if (keyOrRecord.empty()) return key;
    if (asKey) {
        std::memcpy(key.data(), keyOrRecord.data(), std::min(key.size(), keyOrRecord.size()));
    } else {
        if (keyOrRecord.size() < Data().Header().RecordSize) Raise(DEZEDE_INVALIDKEY);
        Indexes_->BuildKey(Index_, keyOrRecord, key);
    }
    return key;
}

// The length of the given part of a key: fieldCount whole fields (0 or all:
// the whole key of a unique index, the key without its record-ID suffix of
// another), then partialLength characters of the next field.
size_t TDataCursor::GivenLength(int fieldCount, int partialLength) const {
    const int fields = Indexes_->FieldCount(Index_);
    if (fieldCount <= 0 || fieldCount > fields) fieldCount = fields;
    if (partialLength > 0 && fieldCount >= fields) fieldCount = fields - 1;
    // All fields of a non-unique index: the key without its 4-byte record-ID suffix.
    size_t length = fieldCount >= fields
                        ? Indexes_->KeySize(Index_) - (Indexes_->Unique(Index_) ? 0u : 4u)
                        : Indexes_->PrefixLength(Index_, fieldCount);
    if (partialLength > 0) length += static_cast<size_t>(partialLength) + 1;
    return std::min<size_t>(length, Indexes_->KeySize(Index_));
}

void TDataCursor::SetRange(std::span<const uint8_t> start, int startFields, std::span<const uint8_t> end,
                           int endFields, bool asKeys) {
    CheckOpen();
    if (!IndexOrder()) Raise(DEZEDE_INVALIDINDEXNAME);
    TReadScope read(*this);
    std::vector<uint8_t> low = SearchKey(start, asKeys);
    std::vector<uint8_t> high = SearchKey(end, asKeys);
    const bool unique = Indexes_->Unique(Index_);
    const int fields = Indexes_->FieldCount(Index_);
    auto fill = [&](std::vector<uint8_t>& key, int count, bool highest, bool given) {
        if (!given) return;  // a missing key stays the lowest key
        if (!unique || (count > 0 && count < fields)) Indexes_->FillKey(Index_, key, GivenLength(count, 0), highest);
    };
    fill(low, startFields, false, !start.empty());
    fill(high, endFields, true, !end.empty());
    RangeLow_ = std::move(low);
    RangeHigh_ = std::move(high);
    RangeSet_ = true;
    AfterRangeChange();
}

void TDataCursor::ResetRange() {
    CheckOpen();
    if (!RangeSet_) return;
    TReadScope read(*this);
    RangeSet_ = false;
    RangeLow_.clear();
    RangeHigh_.clear();
    AfterRangeChange();
}

// Filters afresh for the new range, then the current record or the nearest one inside.
void TDataCursor::AfterRangeChange() {
    PosCache_->Valid = false;
    if (FiltersInUse()) Filters_->Reevaluate();
    if (Bof_ || Eof_ || RecNo_ == 0) {
        Bof_ = true;
        Eof_ = false;
        RecNo_ = 0;
        Key_.clear();
        return;
    }
    SeekNearest(std::vector<uint8_t>(Key_));
}

bool TDataCursor::Find(std::span<const uint8_t> keyOrRecord, bool asKey, int fieldCount, bool nearest,
                       int partialLength, std::span<uint8_t> result) {
    CheckOpen();
    if (!IndexOrder()) Raise(DEZEDE_INVALIDINDEXNAME);
    TReadScope read(*this);
    const TSavedPosition saved = SavePosition();
    const bool found = FindInCurrent(SearchKey(keyOrRecord, asKey), fieldCount, partialLength);
    if (!found && !nearest) RestorePosition(saved);
    if (!result.empty()) {
        if (!Bof_ && !Eof_ && RecNo_ != 0)
            std::memcpy(result.data(), Current_.data(), std::min(result.size(), Current_.size()));
        else
            std::fill(result.begin(), result.end(), 0);
    }
    return found;
}

bool TDataCursor::FindInCurrent(std::vector<uint8_t> key, int fieldCount, int partialLength) {
    const int fields = Indexes_->FieldCount(Index_);
    const bool unique = Indexes_->Unique(Index_);
    const bool partKey = (fieldCount > 0 && fieldCount < fields) || !unique || partialLength > 0;
    const size_t compareLength = partKey ? GivenLength(fieldCount, partialLength) : key.size();
    if (partKey) Indexes_->FillKey(Index_, key, compareLength, false);
    const std::vector<uint8_t> search = key;
    SeekNearest(key);
    // Found when the record the cursor finally stands on matches the given
    // part of the key (with nearest the cursor stays on the nearest record).
    if (Bof_ || Eof_ || RecNo_ == 0) return false;
    return Indexes_->Compare(Index_, Key_.data(), search.data(), compareLength) == 0;
}

namespace {

// Whether a record's field holds the value of the same field in another image:
// both null, or equal values; strings in the locale, without regard to case
// when asked, and over the first partialLength characters when given.
bool SameFieldValue(const TFieldDescriptor& f, std::span<const uint8_t> record, std::span<const uint8_t> values,
                    bool caseInsensitive, int partialLength, uint32_t locale) {
    std::vector<uint8_t> a(std::max<size_t>(f.StorageSize, 4)), b(a.size());
    const bool nullA = GetFieldValue(f, record, a);
    const bool nullB = GetFieldValue(f, values, b);
    if (f.IsString()) {
        std::string_view sa = nullA ? std::string_view() : UntilNul({reinterpret_cast<const char*>(a.data()), a.size()});
        std::string_view sb = nullB ? std::string_view() : UntilNul({reinterpret_cast<const char*>(b.data()), b.size()});
        if (partialLength > 0) {
            sa = sa.substr(0, static_cast<size_t>(partialLength));
            sb = sb.substr(0, static_cast<size_t>(partialLength));
        }
        return CompareStrings(locale, sa, sb, caseInsensitive) == 0;
    }
    if (nullA || nullB) return nullA == nullB;
    return a == b;
}

}  // namespace

bool TDataCursor::Locate(std::span<const int16_t> fieldNumbers, std::span<const uint8_t> values, bool caseInsensitive,
                         int partialLength, std::span<uint8_t> result) {
    CheckOpen();
    if (fieldNumbers.empty() || values.size() < Data().Header().RecordSize) Raise(DEZEDE_INVALIDKEY);
    std::vector<const TFieldDescriptor*> fields;
    for (int16_t number : fieldNumbers) {
        const TFieldDescriptor* f = Data().FindField(number);
        if (!f) Raise(DEZEDE_INVALIDFIELDNAME, std::to_string(number));
        fields.push_back(f);
    }
    const int n = static_cast<int>(fields.size());
    auto matches = [&](std::span<const uint8_t> record) {
        for (int i = 0; i < n; ++i) {
            const int partial = (i == n - 1 && fields[i]->IsString()) ? partialLength : 0;
            if (!SameFieldValue(*fields[i], record, values, caseInsensitive, partial, Locale())) return false;
        }
        return true;
    };

    TReadScope read(*this);
    const TSavedPosition saved = SavePosition();
    auto restore = [&] { RestorePosition(saved); };

    // An index that leads with exactly these fields, of the matching case rule.
    int use = -1;
    for (int i = 0; i < Indexes_->Count() && use < 0; ++i) {
        const TIndexDescriptor& d = Indexes_->Descriptor(i);
        if (Indexes_->FieldCount(i) < n) continue;
        bool ok = true;
        bool anyString = false;
        for (int k = 0; k < n && ok; ++k) {
            ok = d.FieldNumbers[static_cast<size_t>(k)] == fields[static_cast<size_t>(k)]->FieldNumber;
            anyString = anyString || fields[static_cast<size_t>(k)]->IsString();
        }
        if (ok && anyString && d.CaseInsensitive != caseInsensitive) ok = false;
        if (ok && RangeSet_ && i != Index_) ok = false;
        if (ok) use = i;
    }

    bool found = false;
    if (use >= 0) {
        const int own = Index_;
        const bool ownRange = RangeSet_;
        Index_ = use;
        PosCache_->Valid = false;
        try {
            std::vector<uint8_t> key(Indexes_->KeySize(use));
            Indexes_->BuildKey(use, values, key);
            found = FindInCurrent(std::move(key), partialLength > 0 ? n - 1 : n, partialLength) &&
                    matches(Current_);
        } catch (...) {
            Index_ = own;
            RangeSet_ = ownRange;
            restore();
            throw;
        }
        Index_ = own;
        PosCache_->Valid = false;
        if (found && IndexOrder()) Key_ = BuildKey(Current_);
    } else {
        // A walk of the cursor's own order.
        Bof_ = Eof_ = false;
        bool ok = Land(CandidateFirst(true), true);
        while (ok && !(found = matches(Current_))) ok = Land(CandidateStep(true), true);
    }
    if (!found) {
        restore();
    } else {
        Bof_ = Eof_ = false;
        CurDeleted_ = false;
        if (!result.empty()) std::memcpy(result.data(), Current_.data(), std::min(result.size(), Current_.size()));
    }
    return found;
}

// --- Locks ---

void TDataCursor::LockRecord(uint32_t recNo) {
    CheckOpen();
    if (NoLocks()) return;
    if (LockRecordOnly(recNo) && !StatementUpdate_) Resynchronise();
}

void TDataCursor::UnlockRecord(uint32_t recNo) {
    CheckOpen();
    if (NoLocks()) return;
    Table_->UnlockRecord(recNo);
    if (EditLocked_ && EditLockedRecNo_ == recNo) EditLocked_ = false;
}

void TDataCursor::LockTable() {
    CheckOpen();
    if (NoLocks()) return;
    if (Table_->LockTable() && !StatementUpdate_) Resynchronise();
}

void TDataCursor::UnlockTable() {
    CheckOpen();
    if (NoLocks()) return;
    Table_->UnlockTable();
}

bool TDataCursor::LockSemaphore(int32_t n) {
    CheckOpen();
    return Table_->LockSemaphore(n);
}

bool TDataCursor::UnlockSemaphore(int32_t n) {
    CheckOpen();
    return Table_->UnlockSemaphore(n);
}

// --- Writing ---

void TDataCursor::FlushBuffers(bool flushToDisk) {
    CheckOpen();
    Table_->WriteChanges(false, flushToDisk);
    TakeCounters();
}

void TDataCursor::FlushOSBuffers() {
    CheckOpen();
    Table_->FlushToDisk();
}

uint64_t TDataCursor::TableSize() const {
    CheckOpen();
    uint64_t size = Table_->DataFile()->GetFileSize() + Table_->IndexFile()->GetFileSize();
    if (Table_->BlobFile()) size += Table_->BlobFile()->GetFileSize();
    return size;
}

// --- Filters ---

TFilter* TDataCursor::AddCallbackFilter(TCursorFilterCallback callback, void* context, bool afterOthers) {
    CheckOpen();
    return Filters_->AddCallbackFilter(std::move(callback), context, afterOthers);
}

void TDataCursor::ActivateFilter(TFilter* filter) {
    CheckOpen();
    TReadScope read(*this);
    Filters_->Activate(filter);
    AfterFilterChange();
}

void TDataCursor::DeactivateFilter(TFilter* filter) {
    CheckOpen();
    TReadScope read(*this);
    Filters_->Deactivate(filter);
    AfterFilterChange();
}

void TDataCursor::DropFilter(TFilter* filter) {
    CheckOpen();
    TReadScope read(*this);
    Filters_->Drop(filter);
    AfterFilterChange();
}

bool TDataCursor::Filtered() const { return FiltersInUse(); }

// The cursor stays on its record when it still passes, else on the nearest one that does.
void TDataCursor::AfterFilterChange() {
    PosCache_->Valid = false;
    if (Bof_ || Eof_ || RecNo_ == 0) {
        Bof_ = true;
        Eof_ = false;
        return;
    }
    std::vector<uint8_t> key = IndexOrder() ? Key_ : std::vector<uint8_t>(4);
    if (!IndexOrder()) WriteLE32(key.data(), RecNo_);
    SeekNearest(key);
}

// --- BLOB values ---

const TFieldDescriptor& TDataCursor::BlobField(int16_t fieldNumber) const {
    CheckOpen();
    const TFieldDescriptor* f = Data().FindField(fieldNumber);
    if (!f) Raise(DEZEDE_INVALIDFIELDNAME, std::to_string(fieldNumber));
    if (!f->IsBlob()) Raise(DEZEDE_NOTABLOB, f->Name);
    return *f;
}

uint32_t TDataCursor::OpenBlob(int16_t fieldNumber, std::span<uint8_t> record, TCursorBlobMode mode) {
    const TFieldDescriptor& f = BlobField(fieldNumber);
    TReadScope read(*this);
    const uint32_t recNo = record.size() >= 5 ? ReadLE32(record.data() + 1) : 0;
    auto reread = [this](uint32_t n, std::vector<uint8_t>& image) { return ReadRecordAt(n, image); };
    return Blobs_->Open(f, record, recNo,
                        mode == TCursorBlobMode::bmReadWrite ? TBlobOpenMode::bmReadWrite : TBlobOpenMode::bmRead,
                        reread);
}

uint32_t TDataCursor::GetBlob(int16_t fieldNumber, std::span<const uint8_t> record, uint32_t offset, uint32_t count,
                              uint8_t* dest) {
    return Blobs_->Get(BlobField(fieldNumber), record, offset, count, dest);
}

void TDataCursor::PutBlob(int16_t fieldNumber, std::span<uint8_t> record, uint32_t offset, uint32_t count,
                          const uint8_t* bytes) {
    Blobs_->Put(BlobField(fieldNumber), record, offset, count, bytes);
}

void TDataCursor::TruncateBlob(int16_t fieldNumber, std::span<uint8_t> record, uint32_t length) {
    Blobs_->Truncate(BlobField(fieldNumber), record, length);
}

uint32_t TDataCursor::GetBlobSize(int16_t fieldNumber, std::span<const uint8_t> record) {
    return Blobs_->Size(BlobField(fieldNumber), record);
}

void TDataCursor::FreeBlob(int16_t fieldNumber, std::span<uint8_t> record) {
    Blobs_->Free(BlobField(fieldNumber), record);
}

void TDataCursor::FreeAllBlobs() {
    CheckOpen();
    Blobs_->FreeAll();
}

}  // namespace dezede
