// The edit operations of TDataCursor: append, modify, delete and cancel,
// with their triggers, error events and retries.

#include <algorithm>
#include <cstring>

#include "engine/blob_buffer.h"
#include "engine/cursor.h"
#include "engine/cursor_filters.h"
#include "engine/cursor_scopes.h"
#include "engine/data_directory.h"
#include "engine/data_engine.h"
#include "engine/data_file.h"
#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/field_value.h"
#include "engine/record_builder.h"
#include "engine/table_indexes.h"
#include "support/ansi_strings.h"
#include "support/endian.h"

namespace dezede {

// --- Editing ---

void TDataCursor::FireTrigger(const TTriggerHook& hook, std::span<const uint8_t> oldRecord,
                              std::span<const uint8_t> newRecord) {
    if (Options_.Internal || !hook) return;
    TTriggerContext context{&Session(), Directory_ ? Directory_->Name() : std::string(), ErrorTable_, this,
                            oldRecord, newRecord};
    TCallbackScope scope(Session());
    hook(context);
}

// The error event's decision on a failed edit: retry, abort, or fail (false
// with action fail). Retries are bounded so that a handler that always asks
// again cannot hang the caller.
TDataAction TDataCursor::AskErrorEvent(const TTriggerErrorHook& hook, const EDEZEDEEngineError& error,
                                       std::span<const uint8_t> oldRecord, std::span<const uint8_t> newRecord,
                                       int attempt) {
    if (Options_.Internal || !hook || attempt >= kMaxEditRetries) return TDataAction::daFail;
    TTriggerContext context{&Session(), Directory_ ? Directory_->Name() : std::string(), ErrorTable_, this,
                            oldRecord, newRecord};
    TDataAction action = TDataAction::daFail;
    TCallbackScope scope(Session());
    hook(context, error, action);
    return action;
}

TDataCursor::TBlobTextOf TDataCursor::TextOf() {
    if (!Indexes_->HasFullText()) return {};
    return [this](const TFieldDescriptor& f, std::span<const uint8_t> record) -> std::string {
        if (f.IsBlob()) return Blobs_->Text(f, record, false);
        std::vector<uint8_t> value(std::max<uint16_t>(f.StorageSize, 1));
        if (GetFieldValue(f, record, value)) return {};
        return std::string(UntilNul({reinterpret_cast<const char*>(value.data()), value.size()}));
    };
}

// Runs the writes of an edit and writes the table's changes; on failure the
// partial writes are undone before the error goes on.
template <typename Writes>
void TDataCursor::WriteEdit(Writes writes) {
    try {
        writes();
        Table_->NoteEdit();
        FlushBuffers();
    } catch (...) {
        UndoPartialWrite();
        throw;
    }
}

// Outside a transaction a failure half way through the writes of an edit
// leaves changed buffers that must never reach the files: they are dropped
// and the headers read again, so the table stays as it was.
void TDataCursor::UndoPartialWrite() {
    Table_->NoteEdit();
    PosCache_->Valid = false;
    if (Table_->InTransaction()) return;
    try {
        Table_->DiscardCaches();
        Table_->ReadHeaders(false);
        TakeCounters();
    } catch (const EDEZEDEEngineError&) {
        // The original error is what the caller must see.
    }
}

void TDataCursor::AppendRecord(std::span<const uint8_t> record, bool reposition, bool skipUniqueChecks) {
    CheckWritable();
    if (record.size() < Data().Header().RecordSize) Raise(DEZEDE_INVALIDKEY);
    const TEngineHooks& hooks = Session().Engine().Hooks;
    for (int attempt = 0;; ++attempt) {
        try {
            DoAppend(record, reposition, skipUniqueChecks);
            return;
        } catch (const EDEZEDEEngineError& e) {
            const TDataAction action = AskErrorEvent(hooks.OnInsertError, e, {}, record, attempt);
            if (action == TDataAction::daAbort) return;
            if (action != TDataAction::daRetry) throw;
        }
    }
}

void TDataCursor::DoAppend(std::span<const uint8_t> record, bool reposition, bool skipUniqueChecks) {
    const TEngineHooks& hooks = Session().Engine().Hooks;
    std::fill(Edit_.begin(), Edit_.end(), 0);
    Editing_ = false;
    FireTrigger(hooks.BeforeInsertTrigger, {}, record);
    uint32_t recNo = 0;
    {
        TWriteScope write(*this);
        TDataFile& data = Data();
        recNo = data.FreeSlotChoice();
        if (recNo == 0 || recNo > data.Limits().MaxRecordNumber) Raise(DEZEDE_TABLEFULL);
        TRecordLockScope lock(*this, recNo);
        std::copy(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(Work_.size()), Work_.begin());
        const int32_t autoInc = FillAutoIncFields(data, Work_);
        const int32_t recordId = NextCounter(data.Header().LastRecordID);
        FinishRecordImage(data, Work_, recNo, recordId, ErrorTable_);
        if (!skipUniqueChecks) Indexes_->CheckUniqueKeys(Work_, nullptr);
        std::vector<uint8_t> image = Work_;  // BLOB handles become references in it
        WriteEdit([&] {
            Blobs_->StoreModified(Work_, image, true);
            if (data.InsertRecord(image) != recNo) Raise(DEZEDE_FILECORRUPT);
            Indexes_->InsertKeys(image, recNo, TextOf(), !skipUniqueChecks);
            if (recordId > data.Header().LastRecordID || data.Header().LastRecordID == INT32_MAX)
                data.SetLastRecordID(recordId);
            if (autoInc != data.Header().LastAutoInc) data.SetLastAutoInc(autoInc);
        });
        if (FiltersInUse()) Filters_->AfterWrite(recNo, image);
        if (reposition) RepositionOn(recNo, image);
    }
    FireTrigger(hooks.AfterInsertTrigger, {}, record);
}

// Stands on a record just written (or the nearest passing one).
void TDataCursor::RepositionOn(uint32_t recNo, const std::vector<uint8_t>& image) {
    Current_ = image;
    CurDeleted_ = false;
    if (IndexOrder()) {
        Key_ = BuildKey(image);
        PosCache_->Valid = false;
        RecNo_ = recNo;
    } else {
        Candidate(recNo, nullptr, nullptr);
    }
    Bof_ = Eof_ = false;
    if (Acceptable()) return;
    std::vector<uint8_t> key = IndexOrder() ? Key_ : std::vector<uint8_t>(4);
    if (!IndexOrder()) StoreLE32(key.data(), recNo);
    SeekNearest(key);
}

// Under the write lock: the current record as it is now must be the one the
// caller read (same hash) and not deleted.
void TDataCursor::CheckUnchanged(std::span<const uint8_t> asRead) {
    RefreshCurrentRecord();
    if (Exclusive_) return;
    if (CurDeleted_ || !SameRecordHash(asRead, Current_)) Raise(DEZEDE_KEYORRECDELETED);
}

void TDataCursor::ModifyRecord(std::span<const uint8_t> record, bool unlockAfter, bool skipUniqueChecks,
                               bool reposition) {
    CheckWritable();
    if (record.size() < Data().Header().RecordSize) Raise(DEZEDE_INVALIDKEY);
    const TEngineHooks& hooks = Session().Engine().Hooks;
    for (int attempt = 0;; ++attempt) {
        try {
            DoModify(record, unlockAfter, skipUniqueChecks, reposition);
            return;
        } catch (const EDEZEDEEngineError& e) {
            const TDataAction action = AskErrorEvent(hooks.OnUpdateError, e, Current_, record, attempt);
            if (action == TDataAction::daAbort) return;
            if (action != TDataAction::daRetry) throw;
        }
    }
}

void TDataCursor::DoModify(std::span<const uint8_t> record, bool unlockAfter, bool skipUniqueChecks,
                           bool reposition) {
    const TEngineHooks& hooks = Session().Engine().Hooks;
    if (Bof_ || Eof_ || RecNo_ == 0) Raise(DEZEDE_NOCURRREC);
    // Without an edit begun for this record, the record as last read is the one to replace.
    if (!Editing_ || EditLockedRecNo_ != RecNo_) {
        Edit_ = Current_;
        EditLockedRecNo_ = RecNo_;
        EditLocked_ = false;
    }
    const std::vector<uint8_t> before = Current_;
    FireTrigger(hooks.BeforeUpdateTrigger, before, record);
    const uint32_t recNo = RecNo_;
    {
        TWriteScope write(*this);
        const bool pessimistic = Session().LockProtocol() == lpPessimistic;
        // The record stays locked from the start of a pessimistic edit; any other
        // way it is locked here and released at the end.
        TRecordLockScope lock(*this, recNo);
        CheckUnchanged(Edit_);
        TDataFile& data = Data();
        std::copy(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(Work_.size()), Work_.begin());
        FinishRecordImage(data, Work_, recNo, RecordIdOf(Current_), ErrorTable_);
        if (!skipUniqueChecks) Indexes_->CheckUniqueKeys(Work_, Current_.data());
        std::vector<uint8_t> image = Work_;  // BLOB handles become references in it
        WriteEdit([&] {
            Blobs_->StoreModified(Work_, image, false);
            data.WriteRecord(recNo, image);
            const TBlobTextOf text = TextOf();
            Indexes_->UpdateKeys(Current_, image, recNo, text, text);
        });
        if (FiltersInUse()) Filters_->AfterWrite(recNo, image);
        Current_ = image;
        Work_ = image;
        CurDeleted_ = false;
        if (pessimistic && !unlockAfter && lock.Took()) {
            lock.Keep();  // stays locked for the caller
            EditLocked_ = true;
        } else if (pessimistic && unlockAfter && !lock.Took() && EditLocked_) {
            Table_->UnlockRecord(recNo);
            EditLocked_ = false;
        }
        Editing_ = false;
        if (reposition) {
            RepositionOn(recNo, image);
        } else if (IndexOrder()) {
            // The cursor keeps its place in the order: between the neighbours of the old key.
            PosCache_->Valid = false;
        }
    }
    FireTrigger(hooks.AfterUpdateTrigger, before, Current_);
}

void TDataCursor::DeleteRecord(std::span<uint8_t> record, bool reposition) {
    CheckWritable();
    const TEngineHooks& hooks = Session().Engine().Hooks;
    for (int attempt = 0;; ++attempt) {
        try {
            DoDelete(record, reposition);
            return;
        } catch (const EDEZEDEEngineError& e) {
            const TDataAction action = AskErrorEvent(hooks.OnDeleteError, e, Current_, {}, attempt);
            if (action == TDataAction::daAbort) return;
            if (action != TDataAction::daRetry) throw;
        }
    }
}

void TDataCursor::DoDelete(std::span<uint8_t> record, bool reposition) {
    const TEngineHooks& hooks = Session().Engine().Hooks;
    Edit_ = Current_;
    const std::vector<uint8_t> before = Current_;
    FireTrigger(hooks.BeforeDeleteTrigger, before, {});
    {
        TWriteScope write(*this);
        if (Bof_ || Eof_ || RecNo_ == 0) {
            std::fill(record.begin(), record.end(), 0);
            Raise(DEZEDE_NOCURRREC);
        }
        const uint32_t recNo = RecNo_;
        TRecordLockScope lock(*this, recNo);
        if (!Exclusive_) {
            RefreshCurrentRecord();
            if (CurDeleted_ || !SameRecordHash(record, Current_)) Raise(DEZEDE_KEYORRECDELETED);
        }
        WriteEdit([&] {
            Indexes_->DeleteKeys(Current_, recNo, TextOf());
            Blobs_->ReleaseRecordBlobs(Current_);
            Data().DeleteRecord(recNo);
        });
        if (FiltersInUse()) Filters_->AfterDelete(recNo);
        // A pessimistic edit's lock goes with the record.
        if (!lock.Took() && EditLocked_ && EditLockedRecNo_ == recNo && !NoLocks()) {
            try {
                Table_->UnlockRecord(recNo);
            } catch (const EDEZEDEEngineError&) {
            }
        }
        EditLocked_ = false;
        Editing_ = false;
        CurDeleted_ = true;
        PosCache_->Valid = false;
        if (reposition) {
            std::vector<uint8_t> key = IndexOrder() ? Key_ : std::vector<uint8_t>(4);
            if (!IndexOrder()) StoreLE32(key.data(), recNo);
            SeekNearest(key);
        }
    }
    FireTrigger(hooks.AfterDeleteTrigger, before, {});
}

void TDataCursor::CancelRecord() {
    CheckOpen();
    const bool locked = EditLocked_ && !NoLocks() && Table_->Locking().RecordLocks().count(EditLockedRecNo_);
    EditLocked_ = false;
    Editing_ = false;
    std::fill(Edit_.begin(), Edit_.end(), 0);
    if (locked) Table_->UnlockRecord(EditLockedRecNo_);
}

}  // namespace dezede
