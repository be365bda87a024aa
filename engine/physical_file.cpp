#include "engine/physical_file.h"

#include <algorithm>

#include "engine/os_error.h"
#include "platform/file_names.h"
#include "platform/windows_error.h"

namespace dezede {

namespace {

// Saves the system error of a failed call and tells a caller who asked.
void ReportFailure(uint32_t err, bool* failed) {
    SaveOSError(err);
    if (failed) *failed = true;
}

}  // namespace

TPhysicalFile::TPhysicalFile(std::string fileName) : TBaseFile(std::move(fileName)) {}

TPhysicalFile::~TPhysicalFile() = default;

uint64_t TPhysicalFile::GetSize() {
    std::lock_guard lock(HandleLock_);
    uint64_t size = 0;
    if (const uint32_t err = File_.Size(&size)) SaveOSError(err);
    return size;
}

int32_t TPhysicalFile::CreateFile() {
    std::lock_guard lock(HandleLock_);
    if (!Handles_.empty()) return -static_cast<int32_t>(SaveOSError(kWinSharingViolation));
    if (const uint32_t err = File_.Create(FileName(), NewOnly)) return -static_cast<int32_t>(SaveOSError(err));
    ReadOnly = false;
    ReadOnlyOnDisk = false;
    Position_ = 0;
    return AddHandle();
}

int32_t TPhysicalFile::OpenFile() {
    std::lock_guard lock(HandleLock_);
    if (Handles_.empty()) {
        ReadOnlyOnDisk = false;
        if (const uint32_t err = File_.Open(FileName(), ReadOnly, Exclusive))
            return -static_cast<int32_t>(SaveOSError(err));
        ReadOnly = File_.ReadOnly();
        ReadOnlyOnDisk = File_.ReadOnlyOnDisk();
        Position_ = 0;
    }
    return AddHandle();
}

void TPhysicalFile::CloseFile(int32_t handle) {
    std::lock_guard lock(HandleLock_);
    if (!RemoveHandle(handle) || !Handles_.empty()) return;
    if (Temporary) OSDeleteFile(FileName());
    File_.Close();
    // The kernel dropped every lock of the descriptor with it.
    std::lock_guard regions(RegionLock_);
    Regions_.Clear();
}

uint16_t TPhysicalFile::RenameFile(const std::string& newName) {
    std::lock_guard lock(HandleLock_);
    if (!Handles_.empty()) return SaveOSError(kWinSharingViolation);
    if (const uint32_t err = OSRenameFile(FileName(), newName)) return SaveOSError(err);
    SetFileName(newName);
    return 0;
}

uint16_t TPhysicalFile::DeleteFile() {
    std::lock_guard lock(HandleLock_);
    if (!Handles_.empty()) return SaveOSError(kWinSharingViolation);
    if (const uint32_t err = OSDeleteFile(FileName())) return SaveOSError(err);
    return 0;
}

template <typename Move>
uint32_t TPhysicalFile::Transfer(int32_t handle, bool* failed, Move move) {
    if (failed) *failed = false;
    std::lock_guard lock(HandleLock_);
    if (!FindHandle(handle)) {
        ReportFailure(kWinInvalidHandle, failed);
        return 0;
    }
    uint32_t err = 0;
    const size_t n = move(&err);
    if (err) ReportFailure(err, failed);
    Position_ += n;
    return static_cast<uint32_t>(n);
}

uint32_t TPhysicalFile::ReadData(int32_t handle, void* buffer, uint32_t count, bool* failed) {
    return Transfer(handle, failed, [&](uint32_t* err) { return File_.ReadAt(buffer, count, Position_, err); });
}

uint32_t TPhysicalFile::WriteData(int32_t handle, const void* buffer, uint32_t count, bool* failed) {
    return Transfer(handle, failed, [&](uint32_t* err) -> size_t {
        // Writing nothing cuts the file at the position.
        if (count == 0) {
            *err = File_.Truncate(Position_);
            return 0;
        }
        return File_.WriteAt(buffer, count, Position_, err);
    });
}

bool TPhysicalFile::FlushFile(int32_t handle) {
    std::lock_guard lock(HandleLock_);
    if (!FindHandle(handle)) return false;
    if (const uint32_t err = File_.Sync()) {
        SaveOSError(err);
        return false;
    }
    return true;
}

uint64_t TPhysicalFile::SeekFile(int32_t handle, int origin, uint64_t offset) {
    std::lock_guard lock(HandleLock_);
    if (!FindHandle(handle)) return Position_;
    switch (origin) {
        case kSeekFromStart: Position_ = offset; break;
        case kSeekFromCurrent: Position_ += offset; break;
        case kSeekFromEnd: {
            uint64_t size = 0;
            File_.Size(&size);
            Position_ = size - offset;
            break;
        }
        default: break;
    }
    return Position_;
}

bool TPhysicalFile::LockRegion(uint64_t offset, uint64_t length) {
    std::lock_guard lock(RegionLock_);
    // A region of this process that overlaps is refused without asking the kernel.
    return Regions_.AddIf(offset, length, [&] { return File_.LockRange(offset, length); });
}

bool TPhysicalFile::UnlockRegion(uint64_t offset, uint64_t length) {
    std::lock_guard lock(RegionLock_);
    if (!Regions_.Contains(offset, length)) return false;
    if (!File_.UnlockRange(offset, length)) return false;
    Regions_.Remove(offset, length);
    return true;
}

std::vector<TLockRegion> TPhysicalFile::UnlockRegions(std::span<const TLockRegion> regions) {
    std::vector<TLockRegion> sorted(regions.begin(), regions.end());
    const auto byOffset = [](const TLockRegion& a, const TLockRegion& b) { return a.Offset < b.Offset; };
    // Record bytes come in ascending record order, which is falling offsets.
    if (std::is_sorted(sorted.rbegin(), sorted.rend(), byOffset))
        std::reverse(sorted.begin(), sorted.end());
    else
        std::sort(sorted.begin(), sorted.end(), byOffset);
    std::vector<TLockRegion> failed;
    std::lock_guard lock(RegionLock_);
    auto listed = [&](const TLockRegion& r) { return Regions_.Contains(r.Offset, r.Length); };
    for (size_t i = 0; i < sorted.size();) {
        if (!listed(sorted[i])) {
            failed.push_back(sorted[i++]);
            continue;
        }
        // A run of listed regions, each starting where the one before ends:
        // no other region of this process lies inside it.
        size_t j = i + 1;
        while (j < sorted.size() && sorted[j].Offset == sorted[j - 1].Offset + sorted[j - 1].Length && listed(sorted[j]))
            ++j;
        const uint64_t start = sorted[i].Offset;
        const uint64_t length = sorted[j - 1].Offset + sorted[j - 1].Length - start;
        const bool unlocked = File_.UnlockRange(start, length);
        for (size_t k = i; k < j; ++k) {
            if (unlocked)
                Regions_.Remove(sorted[k].Offset, sorted[k].Length);
            else
                failed.push_back(sorted[k]);
        }
        i = j;
    }
    return failed;
}

}  // namespace dezede
