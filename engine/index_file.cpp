#include "engine/index_file.h"

#include <algorithm>
#include <cstring>

#include "engine/data_file.h"
#include "engine/error_context.h"
#include "support/endian.h"

namespace dezede {

TIndexFile::TIndexFile(TFileRegistry& registry, std::string fileName, bool inMemory)
    : TTablePartFile(registry, fileName, inMemory, TableNameOf(fileName), {65536, 8192}) {}

void TIndexFile::OpenIndexFile() {
    if (PageSize_ < kMinIndexPageSize || PageSize_ > kMaxIndexPageSize) Fail(DEZEDE_HEADERCORRUPT);
    OpenChecked([&] {
        if (Header_.SecondaryCount > kMaxSecondaryIndexes) Fail(DEZEDE_HEADERCORRUPT);
        if (Header_.NextPageNumber == 0 || Header_.NextPageNumber > INT32_MAX) Fail(DEZEDE_HEADERCORRUPT);
        ReadIndexDescriptors();
    });
}

void TIndexFile::CreateIndexHeader() {
    ResetHeader();
    Slots_ = {};
    DescriptorsDirty_ = true;
}

void TIndexFile::ReadIndexDescriptors() {
    std::vector<uint8_t> area(kIndexDescriptorAreaSize);
    ReadImageAt(kFileHeaderSize, area.data(), area.size(), true);
    for (size_t i = 0; i < kIndexSlotCount; ++i)
        Slots_[i] = DecodeIndexDescriptor(std::span<const uint8_t>(area).subspan(i * kIndexDescriptorSize,
                                                                                kIndexDescriptorSize));
    // A field count beyond the descriptor's room is damage, not an index.
    for (const TIndexDescriptor& d : Slots_)
        if (d.FieldCount > kMaxIndexFields) Fail(DEZEDE_HEADERCORRUPT);
    DescriptorsDirty_ = false;
}

bool TIndexFile::WriteIndexDescriptors() {
    if (!DescriptorsDirty_) return false;
    std::vector<uint8_t> area(kIndexDescriptorAreaSize);
    for (size_t i = 0; i < kIndexSlotCount; ++i)
        EncodeIndexDescriptor(Slots_[i],
                              std::span<uint8_t>(area).subspan(i * kIndexDescriptorSize, kIndexDescriptorSize));
    WriteImageAt(kFileHeaderSize, area.data(), area.size(), true);
    if (Table() && Table()->ForceBufferFlush()) FlushToDisk();
    if (Table()) Table()->MarkWritten();
    DescriptorsDirty_ = false;
    return true;
}

void TIndexFile::CountSecondaryIndexes() {
    uint8_t n = 0;
    for (size_t i = 1; i <= kMaxSecondaryIndexes; ++i)
        if (Slots_[i].Defined()) ++n;
    Header_.SecondaryCount = n;
    HeaderDirty_ = true;
}

void TIndexFile::SetPrimaryIndex(TIndexDescriptor d, const std::vector<TFieldDescriptor>& fields) {
    const TIndexDescriptor& current = Slots_[kPrimaryIndexSlot];
    if (current.Defined() && !IsDefaultPrimaryIndex(current)) Fail(DEZEDE_PRIMARYKEYREDEFINE);
    CheckIndexDefinition(d, true, fields, PageSize_, TableName_);
    Slots_[kPrimaryIndexSlot] = d;
    Header_.RootPages[kPrimaryIndexSlot] = 0;
    Header_.AuxPages[kPrimaryIndexSlot] = 0;
    HeaderDirty_ = true;
    DescriptorsDirty_ = true;
}

void TIndexFile::SetSecondaryIndex(size_t slot, const TIndexDescriptor& d) {
    if (slot == kPrimaryIndexSlot || slot >= kIndexSlotCount) Fail(DEZEDE_INDEXLIMIT);
    TIndexDescriptor& s = Slots_[slot];
    s = d;
    s.RebuildMark = 0;
    Header_.RootPages[slot] = 0;
    CountSecondaryIndexes();
    DescriptorsDirty_ = true;
}

void TIndexFile::RenameIndex(size_t slot, const TIndexDescriptor& d) {
    TIndexDescriptor& s = Slots_.at(slot);
    s.Name = d.Name;
    s.FieldNumbers = d.FieldNumbers;
    s.DescendingFields = d.DescendingFields;
    DescriptorsDirty_ = true;
}

void TIndexFile::SetRootPage(size_t slot, uint32_t page) {
    Header_.RootPages.at(slot) = page;
    HeaderDirty_ = true;
}

void TIndexFile::SetAuxPage(size_t slot, uint32_t page) {
    Header_.AuxPages.at(slot) = page;
    HeaderDirty_ = true;
}

int32_t TIndexFile::LastBufferNumber() const { return LastNumberBefore(Header_.NextPageNumber); }

void TIndexFile::AdvanceLastBufferNumber() {
    ++Header_.NextPageNumber;
    HeaderDirty_ = true;
}

uint32_t TIndexFile::CacheCapacity() const {
    return CacheCapacityFor(Budget_, PageSize_ > kPageHeaderSize ? PageSize_ - kPageHeaderSize : 0, 56);
}

TPinnedBuffer TIndexFile::PinPage(uint32_t page) {
    if (page == 0 || page > static_cast<uint32_t>(LastBufferNumber()) + 1) Fail(DEZEDE_INDEXCORRUPT);
    TPinnedBuffer pinned = PinNumber(page, kReadAheadNone, false);
    static_cast<TPageBuffer*>(pinned.Get())->SyncImage();
    return pinned;
}

uint32_t TIndexFile::AllocatePage(uint8_t type) {
    const uint32_t last = static_cast<uint32_t>(LastBufferNumber());
    uint32_t n;
    if (Header_.FirstFreePage != 0) {
        n = Header_.FirstFreePage;
        if (n > last) Fail(DEZEDE_INDEXCORRUPT);
        TPinnedBuffer b = PinPage(n);
        UnlinkFreeHead(Header_.FirstFreePage, LoadLE32(b->Data() + kPageNextOffset), last);
    } else {
        n = last + 1;
    }
    TPinnedBuffer b = PinPage(n);
    b->Clear(0);
    b->Data()[kPageTypeOffset] = type;
    b->Dirty = true;
    return n;
}

void TIndexFile::FreePage(uint32_t page) {
    if (page == 0 || page > static_cast<uint32_t>(LastBufferNumber()) || page == Header_.FirstFreePage)
        Fail(DEZEDE_INDEXCORRUPT);
    TPinnedBuffer b = PinPage(page);
    StoreLE32(b->Data() + kPageNextOffset, Header_.FirstFreePage);
    StoreLE16(b->Data() + kPageCountOffset, 0);
    b->Dirty = true;
    Header_.FirstFreePage = page;
    HeaderDirty_ = true;
}

void TIndexFile::EmptyFile() {
    EmptyFileAndHeader();
    Header_.NextPageNumber = 1;
    Header_.FirstFreePage = 0;
    Header_.RootPages = {};
    Header_.AuxPages = {};
}

void TIndexFile::VerifyIndexHeader(const std::vector<TFieldDescriptor>& fields) {
    dezede::VerifyIndexHeader(Header_, Slots_, fields, PageSize_, GetFileSize(), TableName_);
}

}  // namespace dezede
