#pragma once
// One operating-system file: a descriptor opened with O_CLOEXEC, its share
// lock and its byte-range locks (open-file-description locks, which live
// exactly as long as the descriptor and are not dropped when some other
// descriptor of the file closes).
//
// Share modes: a shared open holds a read lock on the byte at kShareLockOffset,
// an exclusive open (and every create) a write lock; a conflict is a sharing
// violation. On a descriptor opened read-only the share lock and every
// byte-range lock are read locks: Linux grants write locks only to writers.
// Such locks exclude every writer's lock but not each other.
//
// Failures are reported as Windows error numbers (windows_error.h); 0 is success.

#include <cstddef>
#include <cstdint>
#include <string>

namespace dezede {

inline constexpr uint64_t kShareLockOffset = uint64_t{1} << 62;

class TOSFile {
public:
    TOSFile() = default;
    ~TOSFile();
    TOSFile(const TOSFile&) = delete;
    TOSFile& operator=(const TOSFile&) = delete;
    TOSFile(TOSFile&& other) noexcept;
    TOSFile& operator=(TOSFile&& other) noexcept;

    // Opens an existing file. A file without write bits (or on a read-only file
    // system) opens read-only and ReadOnlyOnDisk() tells so; a read-write open
    // that the system refuses is tried once more read-only.
    uint32_t Open(const std::string& path, bool readOnly, bool exclusive);
    // Creates the file, or truncates an existing one, opened read-write and
    // exclusive. An existing file is truncated only once its exclusive share
    // lock is held, so another process's open file is never cut short.
    // With newOnly an existing file is left alone and the create fails with
    // kWinAlreadyExists: of two racing creators exactly one makes the file.
    uint32_t Create(const std::string& path, bool newOnly = false);
    void Close();

    bool IsOpen() const { return Fd_ >= 0; }
    bool ReadOnly() const { return ReadOnly_; }
    bool ReadOnlyOnDisk() const { return ReadOnlyOnDisk_; }
    const std::string& Path() const { return Path_; }

    // Transfers at an offset; they return the bytes moved. A read stops early
    // only at the end of the file or on an error; on an error *error is set.
    size_t ReadAt(void* buffer, size_t count, uint64_t offset, uint32_t* error);
    size_t WriteAt(const void* buffer, size_t count, uint64_t offset, uint32_t* error);
    uint32_t Truncate(uint64_t size);
    uint32_t Sync();
    uint32_t Size(uint64_t* size) const;

    // Non-blocking byte-range lock and unlock of [offset, offset + length - 1].
    // Regions that the kernel cannot represent (beyond 2^63 - 1) fail.
    bool LockRange(uint64_t offset, uint64_t length);
    bool UnlockRange(uint64_t offset, uint64_t length);

private:
    int Fd_ = -1;
    bool ReadOnly_ = false;
    bool ReadOnlyOnDisk_ = false;
    std::string Path_;
};

}  // namespace dezede
