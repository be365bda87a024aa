#include "engine/data_table.h"

#include "engine/blob_file.h"
#include "engine/data_directory.h"
#include "engine/data_engine.h"
#include "engine/data_file.h"
#include "engine/data_session.h"
#include "engine/engine_error.h"
#include "engine/error_codes.h"
#include "engine/file_registry.h"
#include "engine/index_file.h"
#include "engine/table_locks.h"
#include "engine/table_names.h"

namespace dezede {
namespace {

// Releases a table read lock taken here when the scope ends, also on failure.
class TReadLockScope {
public:
    explicit TReadLockScope(TDataTableLocks* locks) : Locks_(locks && locks->ReadLock() ? locks : nullptr) {}
    ~TReadLockScope() {
        if (!Locks_) return;
        try {
            Locks_->ReadUnlock();
        } catch (const EDEZEDEEngineError&) {
            // The lock goes with the file handle at the latest.
        }
    }
    TReadLockScope(const TReadLockScope&) = delete;
    TReadLockScope& operator=(const TReadLockScope&) = delete;
    // Gives the lock back now, raising if that fails.
    void Release() {
        TDataTableLocks* locks = Locks_;
        Locks_ = nullptr;
        if (locks) locks->ReadUnlock();
    }

private:
    TDataTableLocks* Locks_;
};

}  // namespace

TDataTable::TDataTable(TDataDirectory& directory, std::string name, std::string displayName, bool exclusive,
                       bool temporary)
    : Directory_(directory),
      Name_(std::move(name)),
      DisplayName_(std::move(displayName)),
      Exclusive_(exclusive),
      Temporary_(temporary),
      Locking_(TTableLockConfig{}) {
    TTableLockConfig& c = Locking_.Config();
    const TDataEngine& engine = directory.Engine();
    c.Geometry = engine.LockGeometry();
    TDataSession& session = directory.Session();
    c.Session = [&session] {
        return TRecordLockSettings{session.LockRetryCount(), session.LockWaitTime(), session.StrictChangeDetection()};
    };
    c.CheckForChanges = [this] { return RefreshCaches(); };
    c.ErrorTable = TableName();
    c.ErrorDatabase = directory.ErrorName();
}

TDataTable::~TDataTable() {
    Locking_.ReleaseAll();
    CloseFiles();
}

void TDataTable::SetOpenKind(bool exclusive, bool temporary) {
    if (Open_) return;
    Exclusive_ = exclusive;
    Temporary_ = temporary;
}

std::string TDataTable::DataFileName() const {
    const TDataEngine& e = Directory_.Engine();
    return TableFileName(Directory_.Path(), Name_, Temporary_ ? e.TableDataTempExtension() : e.TableDataExtension());
}

std::string TDataTable::IndexFileName() const {
    const TDataEngine& e = Directory_.Engine();
    return TableFileName(Directory_.Path(), Name_, Temporary_ ? e.TableIndexTempExtension() : e.TableIndexExtension());
}

std::string TDataTable::BlobFileName() const {
    const TDataEngine& e = Directory_.Engine();
    return TableFileName(Directory_.Path(), Name_, Temporary_ ? e.TableBlobTempExtension() : e.TableBlobExtension());
}

bool TDataTable::ForceBufferFlush() const { return Directory_.Session().ForceBufferFlush(); }

bool TDataTable::StrictChangeDetection() const { return Directory_.Session().StrictChangeDetection(); }

// --- Opening and closing ---

void TDataTable::Open(bool fullOpen, bool countUser) {
    if (countUser) ++UserCount_;
    if (Open_) return;
    try {
        OpenFiles(fullOpen);
    } catch (...) {
        Locking_.ReleaseAll();
        Locking_.SetTableLocks(nullptr);
        CloseFiles();
        if (countUser && UserCount_ > 0) --UserCount_;
        throw;
    }
    Open_ = true;
}

void TDataTable::OpenFiles(bool fullOpen) {
    const TDataEngine& engine = Directory_.Engine();
    TDataSession& session = Directory_.Session();
    TFileRegistry& registry = Directory_.Registry();
    const bool inMemory = Directory_.InMemory();

    Data_ = std::make_unique<TDataFile>(registry, DataFileName(), inMemory);
    Data_->Exclusive = Exclusive_;
    Data_->Temporary = false;
    Data_->SetTable(this);
    Data_->SetTableName(TableName());
    Data_->SetEngineSignature(engine.EngineSignature());
    Data_->SetCacheBudget(engine.DataCacheBudget());
    Data_->SetLimits(engine.FileLimits());
    TPasswordSource passwords;
    passwords.Passwords = session.PasswordTexts();
    passwords.Ask = [&session]() -> std::optional<std::string> {
        // The handler adds a password to the session and asks to try again.
        if (!session.PasswordCallback || !session.PasswordCallback()) return std::nullopt;
        const std::vector<std::string> texts = session.PasswordTexts();
        if (texts.empty()) return std::nullopt;
        return texts.back();
    };
    Data_->OpenDataFile(passwords);
    const TDataHeader& h = Data_->Header();

    Index_ = std::make_unique<TIndexFile>(registry, IndexFileName(), inMemory);
    Index_->Exclusive = Exclusive_;
    Index_->SetTable(this);
    Index_->SetTableName(TableName());
    Index_->SetEngineSignature(engine.EngineSignature());
    Index_->SetPageSize(h.IndexPageSize);
    Index_->SetTableCipher(Data_->Cipher());
    Index_->SetCacheBudget(engine.IndexCacheBudget());
    Index_->SetLimits(engine.FileLimits());
    try {
        Index_->OpenIndexFile();
    } catch (const EDEZEDEEngineError& e) {
        if (e.ErrorCode != DEZEDE_OSENOENT && e.ErrorCode != DEZEDE_READERR) throw;
        RecreateIndexFile();
    }

    if (h.BlobFieldCount > 0) {
        Blob_ = std::make_unique<TBlobFile>(registry, BlobFileName(), inMemory);
        Blob_->Exclusive = Exclusive_;
        Blob_->SetTable(this);
        Blob_->SetTableName(TableName());
        Blob_->SetEngineSignature(engine.EngineSignature());
        Blob_->SetBlockSize(h.BlobBlockSize);
        Blob_->SetTableCipher(Data_->Cipher());
        Blob_->SetCacheBudget(engine.BlobCacheBudget());
        Blob_->SetLimits(engine.FileLimits());
        Blob_->OpenBlobFile();
    }

    ReadOnlyStorage_ = Data_->ReadOnlyOnDisk() || Index_->ReadOnlyOnDisk() || (Blob_ && Blob_->ReadOnlyOnDisk());
    ReadOnly_ = ReadOnlyStorage_ || Data_->EffectiveReadOnly() || Index_->EffectiveReadOnly() ||
                (Blob_ && Blob_->EffectiveReadOnly());

    DataLocker_ = std::make_unique<TEngineFileLocker>(*Data_);
    Locking_.Config().DataFile = DataLocker_.get();
    if (!Exclusive_ && !ReadOnlyStorage_ && Directory_.Locks())
        Locking_.SetTableLocks(&Directory_.Locks()->GetTableLocks(Name_));

    // The headers read while opening are read again under the read lock, so
    // that a writer elsewhere is never seen half way.
    if (TableLocks()) {
        TReadLockScope read(TableLocks());
        ReadHeaders(fullOpen);
        read.Release();
    }
}

void TDataTable::RecreateIndexFile() {
    if (Index_->IsOpen()) Index_->Close();
    Index_->Create();
    Index_->CreateIndexHeader();
    Index_->WriteHeader(true);
    Index_->WriteIndexDescriptors();
    Index_->Close();
    Index_->OpenIndexFile();
    IndexRecreated_ = true;
}

void TDataTable::CloseFiles() {
    Locking_.Config().DataFile = nullptr;
    DataLocker_.reset();
    if (Index_ && Index_->IsOpen()) Index_->Close();
    if (Blob_ && Blob_->IsOpen()) Blob_->Close();
    if (Data_ && Data_->IsOpen()) Data_->Close();
    Index_.reset();
    Blob_.reset();
    Data_.reset();
    IndexRecreated_ = false;
    Open_ = false;
}

bool TDataTable::Close(bool countUser, bool discardTemporary) {
    if (countUser && UserCount_ > 0) --UserCount_;
    if (UserCount_ > 0 || InTransaction()) return false;
    if (Open_ && Exclusive_ && !ReadOnly_) {
        if (Temporary_ && discardTemporary)
            DiscardCaches();
        else
            WriteChanges();
    }
    Locking_.ReleaseAll();
    if (Directory_.KeepTablesOpen() && !Exclusive_) return false;
    Locking_.SetTableLocks(nullptr);
    CloseFiles();
    return true;
}

// --- Files ---

void TDataTable::WriteChanges(bool forceHeader, bool flushToDisk) {
    if (!Open_ || ReadOnly_) return;
    if (InTransaction()) {
        // Nothing is written before commit; the data header's counter moves
        // with the commit's write.
        Data_->MarkHeaderChanged();
        return;
    }
    const bool flush = flushToDisk || ForceBufferFlush();
    bool dataWritten = Data_->FlushBuffers(false);
    const bool dataHeader = Data_->WriteHeader(forceHeader || dataWritten);
    dataWritten = Data_->WriteFieldDescriptors() || dataHeader || dataWritten;
    if (dataWritten && flush) Data_->FlushToDisk();
    Data_->TrimBuffers();

    bool indexWritten = Index_->FlushBuffers(false);
    const bool indexHeader = Index_->WriteHeader(indexWritten);
    indexWritten = Index_->WriteIndexDescriptors() || indexHeader || indexWritten;
    if (indexWritten && flush) Index_->FlushToDisk();
    Index_->TrimBuffers();

    bool blobHeader = false;
    if (Blob_ && Blob_->IsOpen()) {
        bool blobWritten = Blob_->FlushBuffers(false);
        blobHeader = Blob_->WriteHeader(blobWritten);
        blobWritten = blobHeader || blobWritten;
        if (blobWritten && flush) Blob_->FlushToDisk();
        Blob_->TrimBuffers();
    }

    if (!dataHeader && (indexHeader || blobHeader)) {
        Data_->WriteHeader(true);
        if (flush) Data_->FlushToDisk();
    }
}

void TDataTable::FlushToDisk() {
    if (!Open_ || ReadOnly_ || ForceBufferFlush()) return;
    Data_->FlushToDisk();
    Index_->FlushToDisk();
    if (Blob_ && Blob_->IsOpen()) Blob_->FlushToDisk();
}

void TDataTable::DiscardCaches() {
    ++EditStamp_;
    if (Data_) Data_->DiscardBuffers();
    if (Index_) Index_->DiscardBuffers();
    if (Blob_) Blob_->DiscardBuffers();
}

void TDataTable::ReadHeaders(bool withDescriptors) {
    Data_->ReadHeader();
    if (withDescriptors) Data_->ReadFieldDescriptors();
    Index_->ReadHeader();
    if (withDescriptors && !IndexRecreated_) Index_->ReadIndexDescriptors();
    if (Blob_ && Blob_->IsOpen()) Blob_->ReadHeader();
}

bool TDataTable::RefreshCaches() {
    if (!Open_ || !Data_->HeaderChanged()) return false;
    ++EditStamp_;
    Data_->DiscardBuffers();
    Index_->ReadHeader();
    Index_->DiscardBuffers();
    if (Blob_ && Blob_->IsOpen()) {
        Blob_->ReadHeader();
        Blob_->DiscardBuffers();
    }
    return true;
}

bool TDataTable::CheckForChanges() {
    TDataTableLocks* locks = TableLocks();
    if (!locks || Exclusive_ || locks->Flags() != 0 || Locking_.LockedWhole()) return false;
    TReadLockScope read(locks);
    const bool refreshed = RefreshCaches();
    read.Release();
    return refreshed;
}

// --- Transactions ---

void TDataTable::StartTransaction(bool restricted) {
    if (!Open_ || ReadOnly_ || InTransaction()) return;
    if (Exclusive_) WriteChanges();
    if (TDataTableLocks* locks = TableLocks()) {
        if (restricted) {
            if (locks->TransLock()) RefreshCaches();
        } else {
            locks->SetHeld(TDataTableLocks::kTransLocked, true);  // covered by the all-slots region
            RefreshCaches();
        }
    }
    Locking_.InTransaction = true;
}

void TDataTable::Commit(bool forceFlush, bool end, bool restricted) {
    if (!InTransaction()) return;
    Locking_.InTransaction = false;
    try {
        TDataTableLocks* locks = restricted ? TableLocks() : nullptr;
        if (locks) {
            locks->WriteLock(false);
            try {
                WriteChanges(false, forceFlush);
            } catch (...) {
                try {
                    locks->WriteUnlock(false);
                } catch (const EDEZEDEEngineError&) {
                }
                throw;
            }
            locks->WriteUnlock(false);
            if (end) locks->TransUnlock();
        } else {
            WriteChanges(false, forceFlush);
        }
    } catch (...) {
        if (!end) Locking_.InTransaction = true;
        try {
            Locking_.UnlockAllRecords(true);
        } catch (const EDEZEDEEngineError&) {
        }
        throw;
    }
    if (!end) Locking_.InTransaction = true;
    Locking_.UnlockAllRecords(true);
}

void TDataTable::Rollback(bool restricted) {
    if (!InTransaction()) return;
    Locking_.InTransaction = false;
    if (Open_) {
        DiscardCaches();  // moves the edit stamp
        ReadHeaders(false);
    }
    Locking_.UnlockAllRecords(true);
    if (restricted) {
        if (TDataTableLocks* locks = TableLocks()) locks->TransUnlock();
    }
}

}  // namespace dezede
