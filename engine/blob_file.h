#pragma once
// TBlobFile: a table's BLOB file over the buffer cache, whose buffers are
// TBlocks. A BLOB value occupies a chain of blocks; the record keeps a
// reference (first block, version stamp) that must match the version in the
// first block for the value to be current. Values of a field with a
// compression level are stored as one zlib stream.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/blob_file_format.h"
#include "engine/buffered_file.h"
#include "engine/error_codes.h"
#include "support/table_cipher.h"

namespace dezede {

// One block: the 18-byte head parsed into fields, the data area as contents.
class TBlock : public TBuffer {
public:
    explicit TBlock(TBufferedFile& owner) : TBuffer(owner) {}

    void Assign(const TBuffer& other) override;
    void Clear(int32_t initValue) override;

    uint32_t Previous = 0;
    uint32_t NextBlock = 0;
    uint16_t UsedBytes = 0;
    int32_t Version = 0;
    uint32_t Length = 0;

protected:
    void ReadImage(const uint8_t* image) override;
    void WriteImage(uint8_t* image) const override;
};

enum class TBlobLoadResult { Loaded, OutOfDate };

class TBlobFile : public TBufferedFile {
public:
    TBlobFile(TFileRegistry& registry, std::string fileName, bool inMemory = false);

    const std::string& TableName() const { return TableName_; }
    void SetTableName(std::string name) { TableName_ = std::move(name); }
    void SetEngineSignature(std::string signature) { Signature_ = std::move(signature); }
    // The block size of the table (from the data header); set before opening.
    void SetBlockSize(uint32_t size) { BlockSize_ = size; }
    uint32_t BlockSize() const { return BlockSize_; }
    void SetCacheBudget(const TCacheBudget& budget) { Budget_ = budget; }
    // The table's cipher when it is encrypted (header, blocks).
    void SetTableCipher(std::shared_ptr<const TTableCipher> cipher);

    // Opens the file and reads and checks its header (version, signature).
    void OpenBlobFile();
    // After Create(): a zeroed header with version 6, the engine's signature
    // and next block number 1, marked changed.
    void CreateBlobHeader();

    void ReadHeader() override;
    bool WriteHeader(bool force) override;
    void MarkHeaderChanged() override;
    bool HeaderMarkedChanged() const { return HeaderDirty_; }
    const TBlobHeader& Header() const { return Header_; }
    void EmptyFile();
    void VerifyBlobHeader();

    // The first free block, else a new one at the end; cleared and dirty.
    uint32_t AllocateBlock();
    // Copies at most the block's used bytes from offset; returns the count.
    // A count beyond the data area raises DEZEDE_INVALIDBLOBLEN.
    uint32_t ReadBlockData(uint32_t block, uint32_t offset, uint32_t count, uint8_t* dest);
    // Sets the used bytes to offset + count and copies; the same limit applies.
    void WriteBlockData(uint32_t block, uint32_t offset, uint32_t count, const uint8_t* source);

    // Reads the value a reference names. OutOfDate when the first block
    // carries another version (the record must be read again).
    TBlobLoadResult LoadBlob(const TBlobReference& ref, uint8_t compression, std::vector<uint8_t>& value);
    // Writes a value under a new version stamp, reusing the reference's chain
    // and extending it as needed; updates the reference.
    void StoreBlob(TBlobReference& ref, std::span<const uint8_t> value, uint8_t compression, int32_t newVersion);
    // Marks the chain of a reference as empty: length 0, the reference's version.
    void ClearBlob(const TBlobReference& ref);
    // Returns the chain of a deleted record's reference to the free chain and
    // gives the number of blocks released. A first block carrying another
    // version belongs to another value and is left alone; the walk stops at a
    // block that does not link back to its predecessor, so a damaged chain
    // never frees blocks of another value.
    uint32_t ReleaseChain(const TBlobReference& ref);

    uint32_t DataAreaSize() const { return BlockSize_ > kBlockHeaderSize ? BlockSize_ - kBlockHeaderSize : 0; }

    // --- Buffer cache parameters ---
    uint32_t DiskBufferSize() const override { return BlockSize_; }
    uint32_t MemoryBufferSize() const override { return DataAreaSize(); }
    uint64_t DataStart() const override { return kFileHeaderSize; }
    int32_t LastBufferNumber() const override;
    void AdvanceLastBufferNumber() override;
    uint32_t CacheCapacity() const override;
    uint32_t ScanDepth() const override { return 4; }
    uint32_t GrowthStep() const override { return 32; }
    uint16_t CorruptionCode() const override { return DEZEDE_MEMOCORRUPT; }
    std::unique_ptr<TBuffer> NewBuffer() override { return std::make_unique<TBlock>(*this); }

private:
    [[noreturn]] void Fail(uint16_t code) const;
    TBlock& Pinned(TPinnedBuffer& b) { return static_cast<TBlock&>(*b.Get()); }
    TPinnedBuffer PinBlock(uint32_t n);

    std::string TableName_;
    std::string Signature_ = kDefaultSignature;
    uint32_t BlockSize_ = 0;
    TCacheBudget Budget_{32768, 8192};
    TBlobHeader Header_;
    bool HeaderDirty_ = false;
};

}  // namespace dezede
