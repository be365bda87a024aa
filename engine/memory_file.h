#pragma once
// TMemoryFile: a file that lives in memory (tables of a memory database), kept
// in 64 KB chunks, with a position per handle and the region list alone
// deciding locks.

#include <memory>

#include "engine/base_file.h"

namespace dezede {

inline constexpr uint32_t kMemoryChunkSize = 65536;
// Largest size a memory file grows to (the engine's largest file size).
inline constexpr uint64_t kMaxMemoryFileSize = 128'000'000'000ULL;

class TMemoryFile : public TBaseFile {
public:
    explicit TMemoryFile(std::string fileName);
    ~TMemoryFile() override;

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

    // Always a whole number of chunks.
    uint64_t AllocatedSize() const;

private:
    bool Reserve(uint64_t size);   // grows the chunk list; false past the size limit
    uint8_t* Chunk(size_t index);  // allocates the chunk on first use
    void ShrinkTo(uint64_t size);  // frees chunks beyond the size, zeroes the tail of the last

    std::vector<std::unique_ptr<uint8_t[]>> Chunks_;
    uint64_t Size_ = 0;
};

}  // namespace dezede
