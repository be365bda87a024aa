#pragma once
// TPhysicalFile: a file of the operating system, with one descriptor shared by
// all its handles and one system position that every handle shares (callers
// seek before each transfer between BeginAccess and EndAccess). Byte-range
// locks go to the kernel after the in-process region list has accepted them.

#include "engine/base_file.h"
#include "platform/os_file.h"

namespace dezede {

class TPhysicalFile : public TBaseFile {
public:
    explicit TPhysicalFile(std::string fileName);
    ~TPhysicalFile() override;

    uint64_t GetSize() override;
    int32_t CreateFile() override;
    int32_t OpenFile() override;
    void CloseFile(int32_t handle) override;
    uint16_t RenameFile(const std::string& newName) override;
    uint16_t DeleteFile() override;
    uint32_t ReadData(int32_t handle, void* buffer, uint32_t count, bool* failed = nullptr) override;
    uint32_t WriteData(int32_t handle, const void* buffer, uint32_t count, bool* failed = nullptr) override;
    bool FlushFile(int32_t handle) override;
    uint64_t SeekFile(int32_t handle, int origin, uint64_t offset) override;
    bool LockRegion(uint64_t offset, uint64_t length) override;
    bool UnlockRegion(uint64_t offset, uint64_t length) override;
    // Regions that adjoin end to end go back to the system in one call.
    std::vector<TLockRegion> UnlockRegions(std::span<const TLockRegion> regions) override;

    bool IsOpen() const { return File_.IsOpen(); }

private:
    // One read or write at the shared position, under the handle lock: `move`
    // transfers and returns the bytes moved, setting *err on failure; the
    // position advances by what was moved.
    template <typename Move>
    uint32_t Transfer(int32_t handle, bool* failed, Move move);

    TOSFile File_;
    uint64_t Position_ = 0;  // the shared system position
};

}  // namespace dezede
