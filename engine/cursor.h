#pragma once
// TDataCursor: one user's handle on one table. It has a current index (or
// record-number order), a position, a current record, an optional range and
// filters, and open BLOB buffers; every reading and writing of a table's
// records goes through a cursor.
//
// Cursors of one session on the same table share the directory's TDataTable
// and coordinate with other sessions and processes through the table's locks
// and change counters only: a reader holds no lock between calls, a writer
// holds the table write lock for one edit call and the record lock for the
// edit. Every call that reads first checks the change counters (under the
// read lock with the session's StrictChangeDetection) and, when they moved,
// resynchronises: range, filters, position and current record.
//
//   TDataCursor c(*directory);
//   c.OpenCursor("Orders");
//   c.SetIndexName("ByCustomer");
//   std::vector<uint8_t> rec(c.RecordSize());
//   c.SetToBegin();
//   while (c.GetNextRecord(rec) == 0) use(rec);
//
// Cursors are checked objects like directories: they carry "DEZEDE_SIG" from
// construction to destruction (IsLive). A cursor registers itself in its
// directory's cursor list when created and leaves it when freed; a directory
// that is freed first closes its cursors and detaches them.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_hooks.h"
#include "engine/field_types.h"
#include "engine/index_file_format.h"
#include "engine/index_tree.h"

namespace dezede {

class TBlobBuffers;
class TCursorFilters;
struct TCursorHints;
class TDataDirectory;
class TDataFile;
class TDataSession;
class TDataTable;
class TFilter;
class TTableIndexes;

// How a cursor opens its table.
struct TCursorOpenOptions {
    bool Exclusive = false;
    bool ReadOnly = false;
    bool Temporary = false;
    // A cursor the engine uses for itself: no triggers and no error events.
    bool Internal = false;
    // Maintenance: open without reading the descriptors, without counting as
    // a user, staying out of a running transaction.
    bool NoDescriptors = false;
    bool NoUserCount = false;
    bool OutsideTransaction = false;
    // Start in record-number order instead of the primary index.
    bool RecordNumberOrder = false;
};

// The current index of a cursor in record-number order.
inline constexpr int kNoIndex = 255;

// A record judged by a callback filter: true when it passes.
using TCursorFilterCallback =
    std::function<bool(void* context, void* userData, std::span<const uint8_t> record, uint32_t recNo)>;

enum class TCursorBlobMode : uint8_t { bmRead, bmReadWrite };

class TDataCursor {
public:
    static constexpr std::array<char, 10> kLiveMark = {'D', 'E', 'Z', 'E', 'D', 'E', '_', 'S', 'I', 'G'};

    // Registers the cursor in the directory's cursor list.
    explicit TDataCursor(TDataDirectory& directory);
    // Closes the cursor when open and leaves the directory's list.
    virtual ~TDataCursor();
    TDataCursor(const TDataCursor&) = delete;
    TDataCursor& operator=(const TDataCursor&) = delete;

    virtual bool IsLive() const { return Mark_ == kLiveMark; }

    // --- Opening and closing ---
    // Opens the table through the directory (name normalised there); a
    // recreated index file is rebuilt under the table write lock. Does
    // nothing when open. A failure leaves the cursor closed.
    void OpenCursor(const std::string& tableName, const std::string& displayName = {},
                    const TCursorOpenOptions& options = {});
    void CloseCursor();
    bool IsOpen() const { return Table_ != nullptr; }
    // Null once the directory was freed before the cursor.
    TDataDirectory* Directory() const { return Directory_; }
    TDataTable* Table() const { return Table_; }
    TDataSession& Session() const;
    // The table's display name (as errors name it).
    const std::string& TableName() const { return ErrorTable_; }
    bool ReadOnly() const { return ReadOnly_; }
    bool Exclusive() const { return Exclusive_; }
    bool Internal() const { return Options_.Internal; }

    // --- Record layout ---
    uint16_t RecordSize() const;
    const std::vector<TFieldDescriptor>& Fields() const;
    // -1 and -2 give the pseudo fields; null when there is no such field.
    const TFieldDescriptor* FindField(std::string_view name) const;
    const TFieldDescriptor* FindField(int32_t number) const;
    uint32_t Locale() const;
    // A new record image: zeroed, with every field's default value.
    void InitRecord(std::span<uint8_t> record) const;

    // --- Indexes ---
    // 0 the primary index, 1 ... IndexCount() - 1 the secondary ones.
    int IndexCount() const;
    const TIndexDescriptor& IndexDescriptor(int indexNo) const;
    // 0 ... IndexCount() - 1, or kNoIndex in record-number order.
    int CurrentIndex() const { return Index_; }
    // The current index's name; "" for the primary index and record-number order.
    std::string IndexName() const;
    // DEZEDE_INVALIDINDEXNAME when the table has no index of that name ("" is
    // the primary index). Resets the range and re-finds the current record.
    void SetIndexName(const std::string& name);
    // Selects an index by number, or kNoIndex for record-number order.
    void SetIndexNo(int indexNo);
    uint16_t KeySize() const;
    // The key of a record image for the current index (KeySize bytes).
    std::vector<uint8_t> BuildKey(std::span<const uint8_t> record) const;

    // --- Moving ---
    void SetToBegin();
    void SetToEnd();
    // 0 or DEZEDE_EOF (the buffer cleared). An error inside a step is raised
    // again as a std::runtime_error whose message names the step.
    uint16_t GetNextRecord(std::span<uint8_t> buffer);
    // 0 or DEZEDE_BOF (the buffer cleared).
    uint16_t GetPriorRecord(std::span<uint8_t> buffer);
    // 0, or DEZEDE_NOCURRREC / DEZEDE_BOF / DEZEDE_EOF with the buffer
    // cleared. forEdit begins an edit: with the pessimistic lock protocol the
    // record is locked until ModifyRecord, CancelRecord or UnlockRecord; the
    // record hash in the buffer must match the current record's, else
    // DEZEDE_KEYORRECDELETED.
    uint16_t GetCurRecord(std::span<uint8_t> buffer, bool forEdit = false);
    // Goes to the n-th record of the order (within range and filters); true
    // when that position was reached exactly.
    bool SetToRecNo(uint32_t n);
    // In index order the key of the current position (KeySize bytes), in
    // record-number order the 4-byte record number.
    std::vector<uint8_t> GetBookmark() const;
    size_t BookmarkSize() const;
    bool SetToBookmark(std::span<const uint8_t> bookmark, bool nearest = false);
    // Negative, 0 or positive, in the current order.
    int CompareBookmarks(std::span<const uint8_t> a, std::span<const uint8_t> b) const;
    // Goes to the record that another cursor on the same table stands on.
    void SetToCursor(const TDataCursor& other);
    // The strict change check, whatever the session's setting.
    void Refresh();
    // Rereads the record at the current position.
    void RefreshCurrentRecord();
    bool AtBeginning() const { return Bof_; }
    bool AtEnd() const { return Eof_; }
    // The record number of the current record, 0 when there is none.
    uint32_t CurrentRecordNumber() const { return (Bof_ || Eof_) ? 0 : RecNo_; }

    // --- Counting ---
    // Records in the current order, range and filters.
    uint32_t RecordCount();
    // The 1-based number of the current record in that order (0 when none).
    uint32_t LogicalRecordNumber();

    // --- Ranges and searches ---
    // The start and end are record images (keys built for the current index)
    // or, with asKeys, ready keys; a field count of 0 or above the index's
    // count means all fields. Empty spans are the lowest key.
    void SetRange(std::span<const uint8_t> start, int startFields, std::span<const uint8_t> end, int endFields,
                  bool asKeys = false);
    void ResetRange();
    bool RangeSet() const { return RangeSet_; }
    // Searches the current index for a record image (or, with asKey, a key)
    // over fieldCount fields (0 all) and the first partialLength characters of
    // the next field (0 none). The cursor goes to the first record at or after
    // the key; without nearest, when nothing matches, it stays where it was.
    // Copies the current record to result when given.
    bool Find(std::span<const uint8_t> keyOrRecord, bool asKey, int fieldCount, bool nearest, int partialLength = 0,
              std::span<uint8_t> result = {});
    // The first record whose fields equal the values (a record image), by an
    // index that leads with those fields when there is one, else by a scan of
    // the cursor's order. Nothing found leaves the cursor where it was.
    bool Locate(std::span<const int16_t> fieldNumbers, std::span<const uint8_t> values, bool caseInsensitive,
                int partialLength = 0, std::span<uint8_t> result = {});

    // --- Editing ---
    // Appends a record image (RecordID, hash and empty auto-increment fields
    // are filled in); reposition makes it the current record. Edits that
    // fail after they began to change the table leave it as it was (outside
    // a transaction); an error event may ask for at most 100 retries.
    void AppendRecord(std::span<const uint8_t> record, bool reposition = true, bool skipUniqueChecks = false);
    // Replaces the current record with the image; the record as read when the
    // edit began (or, without an edit begun, as last read) must be unchanged
    // (DEZEDE_KEYORRECDELETED otherwise). The record is locked for the call
    // unless a pessimistic edit holds it already; with unlockAfter off a
    // pessimistic edit keeps it. reposition follows the record to its new
    // place in the order; without it the cursor stays between the neighbours
    // of the old key.
    void ModifyRecord(std::span<const uint8_t> record, bool unlockAfter = true, bool skipUniqueChecks = false,
                      bool reposition = true);
    // Deletes the current record; record is the image as the caller read it.
    // reposition moves to the record that followed it (else the one before);
    // without it the cursor stays where the record was, and the next step
    // goes on from there.
    void DeleteRecord(std::span<uint8_t> record, bool reposition = true);
    void CancelRecord();

    // --- Locks ---
    void LockRecord(uint32_t recNo);
    void UnlockRecord(uint32_t recNo);
    void LockTable();
    void UnlockTable();
    bool LockSemaphore(int32_t n);
    bool UnlockSemaphore(int32_t n);

    // --- Writing ---
    // Writes the table's changes and remembers the new change counters.
    void FlushBuffers(bool flushToDisk = false);
    void FlushOSBuffers();
    // The total size in bytes of the table's files.
    uint64_t TableSize() const;

    // While on, the change check does nothing (an UPDATE's walk of its table).
    void SetStatementUpdateMode(bool on) { StatementUpdate_ = on; }
    bool StatementUpdateMode() const { return StatementUpdate_; }
    // Takes the table's current change counters as seen, without resynchronising.
    void RememberCounters();

    // --- Filters ---
    void SetUserData(void* userData) { UserData_ = userData; }
    TFilter* AddCallbackFilter(TCursorFilterCallback callback, void* context, bool afterOthers = false);
    // A null filter means every filter; one the cursor does not hold raises
    // DEZEDE_NOSUCHFILTER.
    void ActivateFilter(TFilter* filter);
    void DeactivateFilter(TFilter* filter);
    void DropFilter(TFilter* filter);
    bool Filtered() const;

    // --- BLOB values ---
    // While open, the field's first-block number in the record image is a
    // negative handle naming the buffer.
    uint32_t OpenBlob(int16_t fieldNumber, std::span<uint8_t> record, TCursorBlobMode mode);
    uint32_t GetBlob(int16_t fieldNumber, std::span<const uint8_t> record, uint32_t offset, uint32_t count,
                     uint8_t* dest);
    void PutBlob(int16_t fieldNumber, std::span<uint8_t> record, uint32_t offset, uint32_t count,
                 const uint8_t* bytes);
    void TruncateBlob(int16_t fieldNumber, std::span<uint8_t> record, uint32_t length);
    uint32_t GetBlobSize(int16_t fieldNumber, std::span<const uint8_t> record);
    void FreeBlob(int16_t fieldNumber, std::span<uint8_t> record);
    void FreeAllBlobs();

    // Called by the directory that is freed before the cursor.
    void DetachFromDirectory();

private:
    class TFilterHostImpl;
    friend class TFilterHostImpl;
    class TReadScope;
    class TWriteScope;
    class TRecordLockScope;
    struct TPositionCache;
    using TBlobTextOf = std::function<std::string(const TFieldDescriptor&, std::span<const uint8_t> record)>;
    // An error event may ask for a retry this many times in one call.
    static constexpr int kMaxEditRetries = 100;

    [[noreturn]] void Raise(uint16_t code, std::string_view field = {}, std::string_view index = {}) const;
    void CheckOpen() const;
    void CheckWritable() const;
    TDataFile& Data() const;
    bool NoLocks() const;
    const TFieldDescriptor& BlobField(int16_t fieldNumber) const;

    // Change detection.
    void CheckForChangeDetection(bool strict);
    void EndReadLock();
    bool LockRecordOnly(uint32_t recNo);
    void PauseReadLock();
    bool CountersMoved() const;
    void Resynchronise();
    void TakeCounters();

    // Positions: a candidate is a key (or slot) the order offers; it becomes
    // the current record when it passes the range and the filters.
    bool IndexOrder() const { return Index_ != kNoIndex; }
    bool FiltersInUse() const;
    bool UsesKeyList() const;
    bool InRange(const uint8_t* key) const;
    uint32_t SlotCount() const;
    bool ReadRecordAt(uint32_t recNo, std::vector<uint8_t>& record);
    void ReadAheadInIndexOrder(uint32_t recNo, const TCursorHints& hints);
    bool Acceptable();
    void Candidate(uint32_t recNo, const uint8_t* key, const TIndexPosition* pos);
    bool TreeWalk(TIndexPosition pos, bool ok, bool forward);
    bool ListCandidate(size_t i);
    bool SlotCandidate(uint32_t recNo);
    bool CandidateFirst(bool forward);
    bool CandidateAtOrAfter(std::span<const uint8_t> key);
    bool CandidateStep(bool forward);
    bool VerifyCurrentRecord(bool forward);
    bool Land(bool found, bool forward);
    void SeekNearest(std::span<const uint8_t> key);
    uint16_t DeliverCurrent(std::span<uint8_t> buffer, uint16_t endCode);
    uint64_t RangeFirstOrdinal();
    uint64_t RangeEndOrdinal();

    // Searches.
    struct TSavedPosition {
        bool Bof, Eof, Deleted;
        uint32_t RecNo;
        std::vector<uint8_t> Key, Current;
    };
    TSavedPosition SavePosition() const;
    void RestorePosition(const TSavedPosition& p);
    std::vector<uint8_t> SearchKey(std::span<const uint8_t> keyOrRecord, bool asKey) const;
    size_t GivenLength(int fieldCount, int partialLength) const;
    bool FindInCurrent(std::vector<uint8_t> key, int fieldCount, int partialLength);
    void AfterRangeChange();
    void AfterFilterChange();

    // Editing.
    void FireTrigger(const TTriggerHook& hook, std::span<const uint8_t> oldRecord, std::span<const uint8_t> newRecord);
    TDataAction AskErrorEvent(const TTriggerErrorHook& hook, const EDEZEDEEngineError& error,
                              std::span<const uint8_t> oldRecord, std::span<const uint8_t> newRecord, int attempt);
    TBlobTextOf TextOf();
    template <typename Writes>
    void WriteEdit(Writes writes);
    void UndoPartialWrite();
    void RepositionOn(uint32_t recNo, const std::vector<uint8_t>& image);
    void CheckUnchanged(std::span<const uint8_t> asRead);
    void DoAppend(std::span<const uint8_t> record, bool reposition, bool skipUniqueChecks);
    void DoModify(std::span<const uint8_t> record, bool unlockAfter, bool skipUniqueChecks, bool reposition);
    void DoDelete(std::span<uint8_t> record, bool reposition);

    std::array<char, 10> Mark_ = kLiveMark;
    TDataDirectory* Directory_;
    TDataSession* Session_;
    TDataTable* Table_ = nullptr;
    TCursorOpenOptions Options_;
    std::string Name_;
    std::string DisplayName_;
    std::string ErrorTable_;
    std::string ErrorDatabase_;
    bool ReadOnly_ = false;
    bool NoLocks_ = false;
    bool Exclusive_ = false;
    bool StatementUpdate_ = false;
    bool ReadHeld_ = false;
    bool Walking_ = false;  // stepping record by record, so record reads may read ahead
    bool Forward_ = true;
    uint32_t LastRead_ = 0;
    void* UserData_ = nullptr;

    std::unique_ptr<TTableIndexes> Indexes_;
    std::unique_ptr<TBlobBuffers> Blobs_;
    std::unique_ptr<TFilterHostImpl> Host_;
    std::unique_ptr<TCursorFilters> Filters_;

    int Index_ = 0;
    bool Bof_ = true;
    bool Eof_ = false;
    uint32_t RecNo_ = 0;
    bool CurDeleted_ = false;  // the current record's slot was freed, or its key changed, by others
    std::vector<uint8_t> Key_;
    std::unique_ptr<TPositionCache> PosCache_;
    std::vector<uint8_t> Scratch_;
    std::vector<uint8_t> Current_;
    std::vector<uint8_t> Edit_;
    bool Editing_ = false;
    bool EditLocked_ = false;  // the edit's record lock, taken when the edit began
    uint32_t EditLockedRecNo_ = 0;
    std::vector<uint8_t> Work_;
    std::array<int32_t, 3> Counters_{};

    bool RangeSet_ = false;
    std::vector<uint8_t> RangeLow_;
    std::vector<uint8_t> RangeHigh_;
};

}  // namespace dezede
