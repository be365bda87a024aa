#include "platform/os_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

#include "platform/fault_injection.h"
#include "platform/windows_error.h"

namespace dezede {

namespace {

constexpr uint64_t kOffsetMax = static_cast<uint64_t>(INT64_MAX);

bool HasWriteBits(mode_t mode) { return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0; }

// One non-blocking open-file-description lock call.
bool OfdLock(int fd, short type, uint64_t offset, uint64_t length) {
    if (length == 0 || offset > kOffsetMax || length - 1 > kOffsetMax - offset) return false;
    struct flock fl{};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0;
    int rc;
    do {
        rc = fcntl(fd, F_OFD_SETLK, &fl);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

}  // namespace

TOSFile::~TOSFile() { Close(); }

TOSFile::TOSFile(TOSFile&& other) noexcept
    : Fd_(std::exchange(other.Fd_, -1)),
      ReadOnly_(other.ReadOnly_),
      ReadOnlyOnDisk_(other.ReadOnlyOnDisk_),
      Path_(std::move(other.Path_)) {}

TOSFile& TOSFile::operator=(TOSFile&& other) noexcept {
    if (this != &other) {
        Close();
        Fd_ = std::exchange(other.Fd_, -1);
        ReadOnly_ = other.ReadOnly_;
        ReadOnlyOnDisk_ = other.ReadOnlyOnDisk_;
        Path_ = std::move(other.Path_);
    }
    return *this;
}

void TOSFile::Close() {
    if (Fd_ >= 0) ::close(Fd_);
    Fd_ = -1;
}

uint32_t TOSFile::Open(const std::string& path, bool readOnly, bool exclusive) {
    Close();
    Path_ = path;
    ReadOnlyOnDisk_ = false;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return WindowsErrorFromErrno(errno);
    if (S_ISDIR(st.st_mode)) return kWinAccessDenied;
    if (!HasWriteBits(st.st_mode)) {
        readOnly = true;
        ReadOnlyOnDisk_ = true;
    }
    int fd = -1;
    if (!readOnly) {
        if (TFaultInjector::Fire(TFault::RefuseReadWriteOpen, path)) {
            errno = EACCES;
        } else {
            fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        }
        if (fd < 0) {
            const int err = errno;
            if (err == EROFS) ReadOnlyOnDisk_ = true;
            // A refused read-write open is tried once more read-only.
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                ReadOnlyOnDisk_ = false;
                return WindowsErrorFromErrno(err);
            }
            readOnly = true;
        }
    } else {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            ReadOnlyOnDisk_ = false;
            return WindowsErrorFromErrno(errno);
        }
    }
    const short shareType = (exclusive && !readOnly) ? F_WRLCK : F_RDLCK;
    if (!OfdLock(fd, shareType, kShareLockOffset, 1)) {
        ::close(fd);
        ReadOnlyOnDisk_ = false;
        return kWinSharingViolation;
    }
    Fd_ = fd;
    ReadOnly_ = readOnly;
    return 0;
}

uint32_t TOSFile::Create(const std::string& path, bool newOnly) {
    Close();
    Path_ = path;
    ReadOnly_ = false;
    ReadOnlyOnDisk_ = false;
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode) || !HasWriteBits(st.st_mode)) return kWinAccessDenied;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (newOnly ? O_EXCL : 0), 0666);
    if (fd < 0) return WindowsErrorFromErrno(errno);
    if (!OfdLock(fd, F_WRLCK, kShareLockOffset, 1)) {
        ::close(fd);
        return kWinSharingViolation;
    }
    if (::ftruncate(fd, 0) != 0) {
        const int err = errno;
        ::close(fd);
        return WindowsErrorFromErrno(err);
    }
    Fd_ = fd;
    return 0;
}

size_t TOSFile::ReadAt(void* buffer, size_t count, uint64_t offset, uint32_t* error) {
    if (error) *error = 0;
    if (Fd_ < 0) {
        if (error) *error = kWinInvalidHandle;
        return 0;
    }
    if (count > 0 && TFaultInjector::Fire(TFault::FailedRead, Path_)) {
        if (error) *error = WindowsErrorFromErrno(EIO);
        return 0;
    }
    if (count > 0 && TFaultInjector::Fire(TFault::ShortRead, Path_)) count /= 2;
    auto* p = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        if (offset + done > kOffsetMax) break;
        const ssize_t n = ::pread(Fd_, p + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (error) *error = WindowsErrorFromErrno(errno);
            break;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

size_t TOSFile::WriteAt(const void* buffer, size_t count, uint64_t offset, uint32_t* error) {
    if (error) *error = 0;
    if (Fd_ < 0 || ReadOnly_) {
        if (error) *error = Fd_ < 0 ? kWinInvalidHandle : kWinAccessDenied;
        return 0;
    }
    if (count > 0 && TFaultInjector::Fire(TFault::FailedWrite, Path_)) {
        if (error) *error = WindowsErrorFromErrno(EIO);
        return 0;
    }
    size_t limit = count;
    bool full = false;
    if (count > 0 && TFaultInjector::Fire(TFault::DiskFull, Path_)) {
        limit = count / 2;
        full = true;
    }
    const auto* p = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < limit) {
        if (offset + done > kOffsetMax) {
            if (error) *error = WindowsErrorFromErrno(EFBIG);
            return done;
        }
        const ssize_t n = ::pwrite(Fd_, p + done, limit - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (error) *error = WindowsErrorFromErrno(errno);
            return done;
        }
        done += static_cast<size_t>(n);
    }
    if (full && error) *error = WindowsErrorFromErrno(ENOSPC);
    return done;
}

uint32_t TOSFile::Truncate(uint64_t size) {
    if (Fd_ < 0) return kWinInvalidHandle;
    if (ReadOnly_) return kWinAccessDenied;
    if (TFaultInjector::Fire(TFault::FailedTruncate, Path_)) return WindowsErrorFromErrno(EIO);
    if (size > kOffsetMax) return WindowsErrorFromErrno(EFBIG);
    if (::ftruncate(Fd_, static_cast<off_t>(size)) != 0) return WindowsErrorFromErrno(errno);
    return 0;
}

uint32_t TOSFile::Sync() {
    if (Fd_ < 0) return kWinInvalidHandle;
    if (TFaultInjector::Fire(TFault::FailedSync, Path_)) return WindowsErrorFromErrno(EIO);
    if (::fdatasync(Fd_) != 0) return WindowsErrorFromErrno(errno);
    return 0;
}

uint32_t TOSFile::Size(uint64_t* size) const {
    *size = 0;
    if (Fd_ < 0) return kWinInvalidHandle;
    struct stat st{};
    if (::fstat(Fd_, &st) != 0) return WindowsErrorFromErrno(errno);
    *size = static_cast<uint64_t>(st.st_size);
    return 0;
}

bool TOSFile::LockRange(uint64_t offset, uint64_t length) {
    if (Fd_ < 0) return false;
    if (TFaultInjector::Fire(TFault::FailedLock, Path_)) return false;
    return OfdLock(Fd_, ReadOnly_ ? F_RDLCK : F_WRLCK, offset, length);
}

bool TOSFile::UnlockRange(uint64_t offset, uint64_t length) {
    if (Fd_ < 0) return false;
    return OfdLock(Fd_, F_UNLCK, offset, length);
}

}  // namespace dezede
