#include "engine/memory_file.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/error_codes.h"
#include "engine/os_error.h"
#include "platform/windows_error.h"

namespace dezede {

TMemoryFile::TMemoryFile(std::string fileName) : TBaseFile(std::move(fileName)) {}

TMemoryFile::~TMemoryFile() = default;

uint64_t TMemoryFile::GetSize() {
    std::lock_guard lock(HandleLock_);
    return Size_;
}

uint64_t TMemoryFile::AllocatedSize() const {
    std::lock_guard lock(HandleLock_);
    return static_cast<uint64_t>(Chunks_.size()) * kMemoryChunkSize;
}

int32_t TMemoryFile::CreateFile() {
    std::lock_guard lock(HandleLock_);
    if (!Handles_.empty()) return -static_cast<int32_t>(SaveOSError(kWinSharingViolation));
    Chunks_.clear();
    Size_ = 0;
    ReadOnly = false;
    ReadOnlyOnDisk = false;
    return AddHandle();
}

int32_t TMemoryFile::OpenFile() {
    std::lock_guard lock(HandleLock_);
    ReadOnlyOnDisk = false;
    return AddHandle();
}

void TMemoryFile::CloseFile(int32_t handle) {
    std::lock_guard lock(HandleLock_);
    RemoveHandle(handle);
}

uint16_t TMemoryFile::RenameFile(const std::string& newName) {
    std::lock_guard lock(HandleLock_);
    if (!Handles_.empty()) return SaveOSError(kWinSharingViolation);
    SetFileName(newName);
    return 0;
}

uint16_t TMemoryFile::DeleteFile() {
    std::lock_guard lock(HandleLock_);
    if (!Handles_.empty()) return SaveOSError(kWinSharingViolation);
    Chunks_.clear();
    Size_ = 0;
    return 0;
}

bool TMemoryFile::Reserve(uint64_t size) {
    if (size > kMaxMemoryFileSize) return false;
    // Chunk slots only; a chunk's memory comes with its first write, so a hole reads as zeros.
    const uint64_t chunks = (size + kMemoryChunkSize - 1) / kMemoryChunkSize;
    try {
        if (Chunks_.size() < chunks) Chunks_.resize(static_cast<size_t>(chunks));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

uint8_t* TMemoryFile::Chunk(size_t index) {
    if (!Chunks_[index]) Chunks_[index] = std::make_unique<uint8_t[]>(kMemoryChunkSize);
    return Chunks_[index].get();
}

void TMemoryFile::ShrinkTo(uint64_t size) {
    const uint64_t chunks = (size + kMemoryChunkSize - 1) / kMemoryChunkSize;
    if (Chunks_.size() > chunks) Chunks_.resize(static_cast<size_t>(chunks));
    // Bytes past the end read as zero when the file grows again.
    const uint64_t tail = size % kMemoryChunkSize;
    if (tail != 0 && !Chunks_.empty() && Chunks_.back()) std::memset(Chunks_.back().get() + tail, 0, kMemoryChunkSize - tail);
    Size_ = size;
}

uint32_t TMemoryFile::ReadData(int32_t handle, void* buffer, uint32_t count, bool* failed) {
    if (failed) *failed = false;
    std::lock_guard lock(HandleLock_);
    THandle* h = FindHandle(handle);
    if (!h) {
        SaveOSError(kWinInvalidHandle);
        if (failed) *failed = true;
        return 0;
    }
    if (h->Position >= Size_) return 0;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, Size_ - h->Position));
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < n) {
        const uint64_t pos = h->Position + done;
        const size_t chunk = static_cast<size_t>(pos / kMemoryChunkSize);
        const uint32_t within = static_cast<uint32_t>(pos % kMemoryChunkSize);
        const uint32_t piece = std::min(n - done, kMemoryChunkSize - within);
        if (Chunks_[chunk]) {
            std::memcpy(out + done, Chunks_[chunk].get() + within, piece);
        } else {
            std::memset(out + done, 0, piece);
        }
        done += piece;
    }
    h->Position += n;
    return n;
}

uint32_t TMemoryFile::WriteData(int32_t handle, const void* buffer, uint32_t count, bool* failed) {
    if (failed) *failed = false;
    std::lock_guard lock(HandleLock_);
    THandle* h = FindHandle(handle);
    if (!h) {
        SaveOSError(kWinInvalidHandle);
        if (failed) *failed = true;
        return 0;
    }
    if (count == 0) {
        if (h->Position < Size_) {
            ShrinkTo(h->Position);
        } else if (!Reserve(h->Position)) {
            SaveOSError(kWinNotEnoughMemory);
            if (failed) *failed = true;
        } else {
            Size_ = h->Position;
        }
        return 0;
    }
    if (h->Position > UINT64_MAX - count) {
        SaveOSError(kWinNotEnoughMemory);
        if (failed) *failed = true;
        return 0;
    }
    const uint64_t end = h->Position + count;
    if (!Reserve(end)) {
        SaveOSError(kWinNotEnoughMemory);
        if (failed) *failed = true;
        return 0;
    }
    const auto* in = static_cast<const uint8_t*>(buffer);
    try {
        for (uint64_t c = h->Position / kMemoryChunkSize; c <= (end - 1) / kMemoryChunkSize; ++c)
            Chunk(static_cast<size_t>(c));
    } catch (const std::bad_alloc&) {
        SaveOSError(kWinNotEnoughMemory);
        if (failed) *failed = true;
        return 0;
    }
    uint32_t done = 0;
    while (done < count) {
        const uint64_t pos = h->Position + done;
        const size_t chunk = static_cast<size_t>(pos / kMemoryChunkSize);
        const uint32_t within = static_cast<uint32_t>(pos % kMemoryChunkSize);
        const uint32_t piece = std::min(count - done, kMemoryChunkSize - within);
        std::memcpy(Chunks_[chunk].get() + within, in + done, piece);
        done += piece;
    }
    h->Position = end;
    if (end > Size_) Size_ = end;
    return count;
}

bool TMemoryFile::FlushFile(int32_t handle) { return HasHandle(handle); }

uint64_t TMemoryFile::SeekFile(int32_t handle, int origin, uint64_t offset) {
    std::lock_guard lock(HandleLock_);
    THandle* h = FindHandle(handle);
    if (!h) return 0;
    switch (origin) {
        case kSeekFromStart: h->Position = offset; break;
        case kSeekFromCurrent: h->Position += offset; break;
        case kSeekFromEnd: h->Position = Size_ - offset; break;
        default: break;
    }
    return h->Position;
}

bool TMemoryFile::LockRegion(uint64_t offset, uint64_t length) {
    std::lock_guard lock(RegionLock_);
    return Regions_.Add(offset, length);
}

bool TMemoryFile::UnlockRegion(uint64_t offset, uint64_t length) {
    std::lock_guard lock(RegionLock_);
    return Regions_.Remove(offset, length);
}

}  // namespace dezede
