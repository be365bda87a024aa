#pragma once
// TEngineFile: the per-table-file object the rest of the engine holds. It opens
// and creates its file through the file registry, turns short transfers into
// engine errors and offers the whole-file copies used by backup and restore.
//
// Stored copies: a copy is either the plain bytes, or compressed: a 17-byte
// prefix (kCompressedCopyMarker, then the nonzero compression level) followed
// by one piece per 64 KB of the source, each a 32-bit little-endian length and
// that many bytes of one complete zlib stream.

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "engine/base_file.h"

namespace dezede {

class TFileRegistry;

inline constexpr uint32_t kCopyPieceSize = 65536;
// MD5 digest of the text "DEZEDE_COMP".
inline constexpr std::array<uint8_t, 16> kCompressedCopyMarker = {
    0x20, 0x82, 0x9c, 0x04, 0xcc, 0x0f, 0x75, 0xb0,
    0xf6, 0xfb, 0xb3, 0xb7, 0xf5, 0x23, 0x2c, 0xf9};
inline constexpr uint32_t kCompressedCopyPrefixSize = 17;

// Progress of a copy: the file name and a percentage, 0 first and 100 last.
using TCopyProgress = std::function<void(const std::string& fileName, int percent)>;

struct TCopyOptions {
    int CompressionLevel = 0;   // 0: plain copy; 1-9: compressed stored form
    TCopyProgress Progress;     // may be empty
    int ProgressStep = 1;       // least advance in percent between two reports
};

class TEngineFile {
public:
    TEngineFile(TFileRegistry& registry, std::string fileName, bool inMemory = false);
    virtual ~TEngineFile();
    TEngineFile(const TEngineFile&) = delete;
    TEngineFile& operator=(const TEngineFile&) = delete;

    virtual std::string GetFileName() const { return FileName_; }
    void SetFileName(const std::string& name) { FileName_ = name; }

    // Raise the mapped system error with the file name, DEZEDE_OSENOENT when
    // the file does not exist, DEZEDE_OSEACCES on a sharing conflict.
    virtual void Open();
    virtual void Close();
    virtual void Create();
    virtual void Delete();
    virtual void Rename(const std::string& newName);

    // Copies this (open) file from its start into a new file named target.
    virtual void CopyToFile(const std::string& target, const TCopyOptions& options);
    // Replaces the contents of this (open) file with the stored copy in source.
    virtual void CopyFromFile(const std::string& source, const TCopyOptions& options);
    // Copies this file from its start into target at target's current position.
    virtual void CopyToOpenFile(TEngineFile& target, const TCopyOptions& options);
    // Restores length decompressed bytes from source's current position into
    // this file (from its start, truncated after them); source is left just
    // after the stored copy.
    virtual void CopyFromOpenFile(TEngineFile& source, uint64_t length, const TCopyOptions& options);
    // Skips the stored copy of length decompressed bytes at source's current
    // position without writing; returns its stored size in bytes.
    virtual uint64_t MeasureStoredCopy(TEngineFile& source, uint64_t length);

    // DEZEDE_READERR naming the file when fewer bytes arrive, unless allowShort.
    virtual uint32_t Read(void* buffer, uint32_t count, bool allowShort = false);
    // DEZEDE_WRITEERR naming the file when fewer bytes are written. Count 0
    // truncates at the current position.
    virtual void Write(const void* buffer, uint32_t count);
    // Writes the system's file buffers to the disk; DEZEDE_WRITEERR on failure.
    virtual void FlushToDisk();

    uint64_t Seek(int origin, uint64_t offset);
    uint64_t GetFileSize();
    bool LockRegion(uint64_t offset, uint64_t length, bool lock);
    // Unlocks each region; returns those that failed (all of them without a file).
    std::vector<TLockRegion> UnlockRegions(std::span<const TLockRegion> regions);
    // Hold the shared file's handle lock around a seek and its transfer.
    void BeginAccess();
    void EndAccess();

    bool IsOpen() const { return File_ != nullptr; }
    bool InMemory() const { return InMemory_; }
    TBaseFile* BaseFile() const { return File_; }
    TFileRegistry& Registry() const { return Registry_; }

    // Requested flags (before Open/Create).
    bool Exclusive = false;
    bool ReadOnly = false;
    bool Temporary = false;
    bool Hidden = false;
    // Create only a file that does not exist yet.
    bool NewOnly = false;
    // Results of opening.
    bool EffectiveReadOnly() const { return EffectiveReadOnly_; }
    bool ReadOnlyOnDisk() const { return ReadOnlyOnDisk_; }

protected:
    // The name errors carry (the file name).
    virtual std::string ErrorName() const { return FileName_; }

private:
    void OpenOrCreate(bool create);
    void WriteStoredCopy(TEngineFile& target, const TCopyOptions& options);
    void ReadStoredCopy(TEngineFile& source, uint64_t length, bool toEnd, TEngineFile* target,
                        const TCopyOptions& options, uint64_t* storedSize);

    TFileRegistry& Registry_;
    std::string FileName_;
    bool InMemory_;
    TBaseFile* File_ = nullptr;
    int32_t Handle_ = 0;
    bool EffectiveReadOnly_ = false;
    bool ReadOnlyOnDisk_ = false;
};

// Holds a file's handle lock for a seek and its transfer.
class TFileAccess {
public:
    explicit TFileAccess(TEngineFile& file) : File_(file) { File_.BeginAccess(); }
    ~TFileAccess() { File_.EndAccess(); }
    TFileAccess(const TFileAccess&) = delete;
    TFileAccess& operator=(const TFileAccess&) = delete;

private:
    TEngineFile& File_;
};

}  // namespace dezede
