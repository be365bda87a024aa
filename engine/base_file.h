#pragma once
// TBaseFile: one object per distinct file per process, on which any number of
// logical handles are opened. Every handle has an id (> 0, unique within the
// file) and a position; a physical file's handles share one system position.
//
// Locks: the handle lock (recursive, so that TEngineFile can hold it across a
// seek and a transfer) guards handles, positions and size; the region lock
// guards the list of locked regions.

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "engine/lock_geometry.h"
#include "platform/region_list.h"

namespace dezede {

enum TSeekOrigin : int { kSeekFromStart = 0, kSeekFromCurrent = 1, kSeekFromEnd = 2 };

class TBaseFile {
public:
    explicit TBaseFile(std::string fileName);
    virtual ~TBaseFile();
    TBaseFile(const TBaseFile&) = delete;
    TBaseFile& operator=(const TBaseFile&) = delete;

    virtual uint64_t GetSize() = 0;
    // Both return a new handle id (position 0), or a negative engine error code.
    virtual int32_t CreateFile() = 0;
    virtual int32_t OpenFile() = 0;
    virtual void CloseFile(int32_t handle) = 0;
    // 0 or an engine error code.
    virtual uint16_t RenameFile(const std::string& newName) = 0;
    virtual uint16_t DeleteFile() = 0;
    // Transfers at the handle's position, which they advance. A failed system
    // call saves its error (SaveOSError), ends the transfer early and sets
    // *failed, which tells a failure from a read that met the end of the file.
    virtual uint32_t ReadData(int32_t handle, void* buffer, uint32_t count, bool* failed = nullptr) = 0;
    // Count 0 truncates the file at the handle's position.
    virtual uint32_t WriteData(int32_t handle, const void* buffer, uint32_t count, bool* failed = nullptr) = 0;
    virtual bool FlushFile(int32_t handle) = 0;
    // Origin 0 from the start, 1 from the current position, 2 backwards from
    // the end (new position = size - offset). Returns the new position.
    virtual uint64_t SeekFile(int32_t handle, int origin, uint64_t offset) = 0;
    virtual bool LockRegion(uint64_t offset, uint64_t length) = 0;
    virtual bool UnlockRegion(uint64_t offset, uint64_t length) = 0;
    // Unlocks each region as UnlockRegion does; returns those that failed.
    virtual std::vector<TLockRegion> UnlockRegions(std::span<const TLockRegion> regions);

    const std::string& FileName() const { return FileName_; }
    void SetFileName(const std::string& name) { FileName_ = name; }

    // Flags; set by the registry before opening.
    bool Exclusive = false;
    bool ReadOnly = false;
    bool ReadOnlyOnDisk = false;
    bool Temporary = false;
    bool Hidden = false;
    bool NewOnly = false;  // a create that fails on an existing file

    uint16_t HandleCount() const;
    bool HasHandle(int32_t handle) const;
    std::recursive_mutex& HandleLock() { return HandleLock_; }
    size_t RegionCount() const;

protected:
    struct THandle {
        int32_t Id;
        uint64_t Position;
    };
    // Under the handle lock.
    int32_t AddHandle();
    bool RemoveHandle(int32_t handle);
    THandle* FindHandle(int32_t handle);

    mutable std::recursive_mutex HandleLock_;
    mutable std::mutex RegionLock_;
    TRegionList Regions_;
    std::vector<THandle> Handles_;
    int32_t LastHandleId_ = 0;

private:
    std::string FileName_;
};

}  // namespace dezede
