#pragma once
// TBufferedFile: a table file with a cache of fixed-size buffers. Buffer n
// lies at DataStart() + (n - 1) * DiskBufferSize(). The cache reads in batches
// (read-ahead), evicts the least recently used clean unpinned buffer, grows
// by the growth step rather than fail when everything is dirty or pinned,
// writes dirty buffers back in runs of consecutive numbers with one write per
// run, and never writes inside a transaction.
//
// A file kind derives from it and answers the per-kind parameters (sizes,
// data start, last buffer number, capacity, read-ahead limit, scan depth,
// growth step, corruption code, buffer class) and the header operations.
// The owning table is reached through TBufferTable; cursors pass TCursorHints.
//
// Not synchronised: the table and cursor layers serialise access to a cache.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/buffer.h"
#include "engine/buffer_map.h"
#include "engine/engine_file.h"

namespace dezede {

// What the cache needs of the table that owns the file.
class TBufferTable {
public:
    virtual ~TBufferTable() = default;
    virtual std::string TableName() const = 0;
    virtual bool InTransaction() const = 0;
    // The table has been written since it was opened or locked.
    virtual bool WrittenSinceOpened() const = 0;
    virtual void MarkWritten() = 0;
    // The session forces buffer flushes to disk.
    virtual bool ForceBufferFlush() const = 0;
    virtual bool StrictChangeDetection() const = 0;
    // Checks for changes by other users (rereads headers, discards caches);
    // true when something changed, so that the caller starts its operation again.
    virtual bool CheckForChanges() = 0;
};

// Engine-wide size limits (fixed when the engine starts).
struct TFileLimits {
    uint64_t MaxFileSize = 4'000'000'000ULL;
    uint32_t MaxRecordNumber = 200'000'000;
    static TFileLimits Standard() { return {}; }
    static TFileLimits Large() { return {128'000'000'000ULL, 1'000'000'000}; }
};

// A file kind's byte budget and count limit of its cache (engine settings).
struct TCacheBudget {
    uint32_t MaxBufferSize = 32768;    // bytes
    uint32_t MaxBufferCount = 8192;
};

// max(1, min(count limit, byte budget / (buffer bytes + allowance))).
uint32_t CacheCapacityFor(const TCacheBudget& budget, uint32_t bufferBytes, uint32_t allowance);

enum TReadAheadDirection : uint8_t { kReadAheadNone = 0, kReadAheadForward = 1, kReadAheadBackward = 2 };

// What the requesting cursor tells the cache.
struct TCursorHints {
    bool OpenedExclusively = false;  // no change detection on a miss
    uint32_t ReadAheadCount = 0;     // buffers the cursor proposes to read ahead
};

// Enciphers and deciphers transfers in place (only whole 8-byte blocks; the
// tail stays clear). Empty functions: the table is not enciphered.
struct TCipherHook {
    std::function<void(uint8_t*, size_t)> Encrypt;
    std::function<void(uint8_t*, size_t)> Decrypt;
    explicit operator bool() const { return Encrypt && Decrypt; }
};

struct TCacheStatistics {
    uint64_t BufferRequests = 0;
    uint64_t BatchReads = 0;
    uint64_t ReadCalls = 0;
    uint64_t BytesRead = 0;
    uint64_t WriteCalls = 0;
};

class TBufferedFile : public TEngineFile {
public:
    TBufferedFile(TFileRegistry& registry, std::string fileName, bool inMemory = false);
    ~TBufferedFile() override;

    // --- Per-kind parameters ---
    virtual uint32_t DiskBufferSize() const = 0;
    virtual uint32_t MemoryBufferSize() const = 0;
    virtual uint64_t DataStart() const = 0;
    virtual int32_t LastBufferNumber() const = 0;
    // Advances the kind's next buffer number by one (marks its header changed).
    virtual void AdvanceLastBufferNumber() = 0;
    virtual uint32_t CacheCapacity() const = 0;
    virtual uint32_t ReadAheadLimit() const { return 1; }
    virtual uint32_t ScanDepth() const = 0;
    virtual uint32_t GrowthStep() const = 0;
    virtual uint16_t CorruptionCode() const = 0;
    // The data file also limits the record number on append.
    virtual bool LimitsRecordNumber() const { return false; }
    virtual std::unique_ptr<TBuffer> NewBuffer() = 0;

    // --- Header operations of the kinds ---
    virtual void ReadHeader() = 0;
    // Writes the header when it is marked changed or force is set; bumps its
    // change counter; true when it wrote.
    virtual bool WriteHeader(bool force) = 0;
    virtual void MarkHeaderChanged() = 0;

    // --- Table, limits, cipher ---
    void SetTable(TBufferTable* table) { Table_ = table; }
    TBufferTable* Table() const { return Table_; }
    void SetLimits(const TFileLimits& limits) { Limits_ = limits; }
    const TFileLimits& Limits() const { return Limits_; }
    void SetCipher(TCipherHook cipher) { Cipher_ = std::move(cipher); }
    bool Enciphered() const { return static_cast<bool>(Cipher_); }
    void EncryptImage(uint8_t* image, size_t count) const;
    void DecryptImage(uint8_t* image, size_t count) const;

    // --- Opening (once per table) ---
    void Open() override;    // does nothing when open; resets the statistics
    void Create() override;
    void Close() override;   // discards every buffer without writing

    // --- The cache ---
    // Returns buffer `number` pinned, or false with *buffer null when change
    // detection found a change (the caller starts its operation again).
    // number = last + 1 appends a new buffer (Cleared with initValue, dirty).
    bool GetBuffer(const TCursorHints* cursor, int32_t initValue, TBuffer** buffer,
                   TReadAheadDirection direction, bool readAheadAllowed, int32_t number);
    void ReleaseBuffer(TBuffer* buffer);
    // Brings into the cache those of the buffers that are not there, after one
    // change check for all of them; runs of consecutive numbers share one read.
    // Numbers outside the file are skipped. False, with nothing read, when the
    // check found a change (the caches were discarded).
    bool Prefetch(const TCursorHints* cursor, int32_t initValue, std::span<const int32_t> numbers);
    bool FlushBuffers(bool evicting);
    void DiscardBuffers();
    void TrimBuffers();
    void ResetStatistics();
    void EmptyFile();

    const TCacheStatistics& Statistics() const { return Stats_; }
    size_t BufferCount() const { return Cache_.size(); }
    uint32_t CacheListCapacity() const { return CacheListCapacity_; }
    uint32_t ReadAheadLimitInForce() const { return ReadAheadLimit_; }
    // The cached buffer with this number, or null (no pin, no statistics).
    TBuffer* CachedBuffer(int32_t number) const;
    // Numbers in recently-used order, most recent first (for tests and tools).
    std::vector<int32_t> RecentlyUsedNumbers() const;

protected:
    // The file kind's corruption error, naming the table (or the file without one).
    [[noreturn]] void RaiseCorruption() const;

    // An image of `count` bytes at `offset` outside the buffers (header,
    // descriptors). Reading deciphers it and writing enciphers it in place
    // when `enciphered` is set.
    void ReadImageAt(uint64_t offset, uint8_t* image, size_t count, bool enciphered);
    void WriteImageAt(uint64_t offset, uint8_t* image, size_t count, bool enciphered);
    // The header image at the start of the file; writing it also tells the
    // owning table that it has been written.
    void ReadHeaderImage(uint8_t* image, size_t count, bool enciphered) { ReadImageAt(0, image, count, enciphered); }
    void WriteHeaderImage(uint8_t* image, size_t count, bool enciphered);
    // A header change counter advanced by one (wrapping).
    static int32_t NextChangeCounter(int32_t counter) {
        return static_cast<int32_t>(static_cast<uint32_t>(counter) + 1);
    }

private:
    bool InTransaction() const { return Table_ && Table_->InTransaction(); }
    // Recently-used list: the main list followed by the parked list.
    void LinkAtHead(TBuffer* buffer);
    void Unlink(TBuffer* buffer);
    void MoveToHead(TBuffer* buffer);
    void Park(TBuffer* buffer);
    void UnparkThrough(TBuffer* last);
    void UnparkAll();
    // Cache list.
    void InsertCached(std::unique_ptr<TBuffer> buffer);
    std::unique_ptr<TBuffer> ExtractCached(TBuffer* buffer);
    TBuffer* FindVictim();
    // A buffer for a new number: new while the cache is below its capacity, else
    // the least recently used clean unpinned one; Cleared unless `forLoad`
    // (LoadFromImage then sets all of its contents).
    std::unique_ptr<TBuffer> ObtainBuffer(int32_t initValue, bool forLoad = false);
    // Reads buffers first .. first + count - 1 in one call; returns `wanted` pinned, or null.
    TBuffer* BatchRead(int32_t initValue, int32_t first, uint32_t count, int32_t wanted);
    void WriteRun(const std::vector<TBuffer*>& run, size_t from, size_t to);
    void CheckAppend();
    bool InReadWindow(int32_t number) const;

    TBufferTable* Table_ = nullptr;
    TFileLimits Limits_;
    TCipherHook Cipher_;
    TBuffer* Head_ = nullptr;
    TBuffer* Tail_ = nullptr;
    // Dirty or pinned buffers the victim search has passed, oldest at the
    // tail; all of them are older than every buffer on the main list.
    TBuffer* ParkedHead_ = nullptr;
    TBuffer* ParkedTail_ = nullptr;
    // By number. Hashed: reads in index order insert and evict at random
    // numbers, and every miss of the short recently-used scan looks up here;
    // the flush sorts what it writes.
    TBufferMap Cache_;
    std::vector<std::unique_ptr<TBuffer>> Detached_;   // discarded while pinned
    uint32_t CacheListCapacity_ = 0;
    uint32_t ReadAheadLimit_ = 1;
    uint64_t WindowStart_ = 0;
    uint64_t WindowLength_ = 0;
    TCacheStatistics Stats_;
};

// Holds one pinned buffer and releases it when it goes out of scope.
class TPinnedBuffer {
public:
    TPinnedBuffer() = default;
    TPinnedBuffer(TBufferedFile& file, TBuffer* buffer) : File_(&file), Buffer_(buffer) {}
    ~TPinnedBuffer() { Release(); }
    TPinnedBuffer(TPinnedBuffer&& other) noexcept : File_(other.File_), Buffer_(other.Buffer_) {
        other.Buffer_ = nullptr;
    }
    TPinnedBuffer& operator=(TPinnedBuffer&& other) noexcept {
        if (this != &other) {
            Release();
            File_ = other.File_;
            Buffer_ = other.Buffer_;
            other.Buffer_ = nullptr;
        }
        return *this;
    }
    TPinnedBuffer(const TPinnedBuffer&) = delete;
    TPinnedBuffer& operator=(const TPinnedBuffer&) = delete;

    TBuffer* Get() const { return Buffer_; }
    TBuffer* operator->() const { return Buffer_; }
    explicit operator bool() const { return Buffer_ != nullptr; }
    void Release() {
        if (Buffer_) File_->ReleaseBuffer(Buffer_);
        Buffer_ = nullptr;
    }

private:
    TBufferedFile* File_ = nullptr;
    TBuffer* Buffer_ = nullptr;
};

}  // namespace dezede
