#pragma once
// TIndexFile: a table's index file over the buffer cache: the header with the
// root and auxiliary page of every index slot, the 32 index descriptors, and
// page allocation with the free-page chain. The buffers are TPageBuffers: page
// images of page size bytes, which the tree operations unpack into TPages.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/buffered_file.h"
#include "engine/error_codes.h"
#include "engine/index_file_format.h"
#include "engine/index_page_buffer.h"
#include "engine/table_part_file.h"

namespace dezede {

// Page header fields in a page image.
inline constexpr size_t kPageTypeOffset = 0;
inline constexpr size_t kPageCountOffset = 1;
inline constexpr size_t kPagePreviousOffset = 3;
inline constexpr size_t kPageNextOffset = 7;
inline constexpr size_t kPageCompressedSizeOffset = 11;

class TIndexFile : public TTablePartFile<TIndexHeader, DecodeIndexHeader, EncodeIndexHeader> {
public:
    TIndexFile(TFileRegistry& registry, std::string fileName, bool inMemory = false);

    // The index page size of the table (from the data header); set before opening.
    void SetPageSize(uint32_t size) { PageSize_ = size; }
    uint32_t PageSize() const { return PageSize_; }

    // Opens the file, reads and checks the header (version, signature, at
    // most 30 secondary indexes) and reads the descriptor area.
    void OpenIndexFile();
    // After Create(): zeroed header and descriptors, version 6, the engine's
    // signature, next page number 1, marked changed.
    void CreateIndexHeader();

    void ReadIndexDescriptors();
    bool WriteIndexDescriptors();
    bool DescriptorsMarkedChanged() const { return DescriptorsDirty_; }

    const TIndexDescriptor& Index(size_t slot) const { return Slots_.at(slot); }
    const std::array<TIndexDescriptor, kIndexSlotCount>& Indexes() const { return Slots_; }
    // Slot 0. Only while it is undefined or the default RecordID index
    // (else DEZEDE_PRIMARYKEYREDEFINE); the definition is checked against the fields.
    void SetPrimaryIndex(TIndexDescriptor d, const std::vector<TFieldDescriptor>& fields);
    // Slots 1 to 31 (31 is the full-text index); the descriptor is taken as checked.
    void SetSecondaryIndex(size_t slot, const TIndexDescriptor& d);
    // Replaces name, field numbers and descending flags only.
    void RenameIndex(size_t slot, const TIndexDescriptor& d);
    uint32_t RootPage(size_t slot) const { return Header_.RootPages.at(slot); }
    void SetRootPage(size_t slot, uint32_t page);
    uint32_t AuxPage(size_t slot) const { return Header_.AuxPages.at(slot); }
    void SetAuxPage(size_t slot, uint32_t page);

    // The first free page, else a new page at the end; cleared to the type, dirty.
    uint32_t AllocatePage(uint8_t type);
    // Puts a page on the free chain.
    void FreePage(uint32_t page);
    // Page n pinned (1 to the last page); DEZEDE_INDEXCORRUPT otherwise. Its raw
    // image is current (an unpacked page is packed back first).
    TPinnedBuffer PinPage(uint32_t page);

    void EmptyFile();
    void VerifyIndexHeader(const std::vector<TFieldDescriptor>& fields);

    // --- Buffer cache parameters ---
    uint32_t DiskBufferSize() const override { return PageSize_; }
    uint32_t MemoryBufferSize() const override { return PageSize_; }
    uint64_t DataStart() const override { return kIndexDataStart; }
    int32_t LastBufferNumber() const override;
    void AdvanceLastBufferNumber() override;
    uint32_t CacheCapacity() const override;
    uint32_t ScanDepth() const override { return 2; }
    uint32_t GrowthStep() const override { return 4; }
    uint16_t CorruptionCode() const override { return DEZEDE_INDEXCORRUPT; }
    std::unique_ptr<TBuffer> NewBuffer() override { return std::make_unique<TPageBuffer>(*this); }

private:
    void CountSecondaryIndexes();

    uint32_t PageSize_ = 0;
    std::array<TIndexDescriptor, kIndexSlotCount> Slots_{};
    bool DescriptorsDirty_ = false;
};

}  // namespace dezede
