#include "engine/buffer.h"

#include <algorithm>
#include <cstring>

#include "engine/buffered_file.h"

namespace dezede {

TBuffer::TBuffer(TBufferedFile& owner)
    : Owner_(owner), Data_(std::make_unique<uint8_t[]>(owner.MemoryBufferSize())), Size_(owner.MemoryBufferSize()) {}

TBuffer::~TBuffer() = default;

void TBuffer::Assign(const TBuffer& other) {
    Dirty = other.Dirty;
    Number = other.Number;
    std::memcpy(Data_.get(), other.Data_.get(), std::min(Size_, other.Size_));
}

void TBuffer::SetData(const void* data, uint32_t count) {
    std::memcpy(Data_.get(), data, std::min(count, Size_));
    Dirty = true;
}

void TBuffer::GetData(void* data, uint32_t count) const { std::memcpy(data, Data_.get(), std::min(count, Size_)); }

void TBuffer::Clear(int32_t /*initValue*/) {
    std::memset(Data_.get(), 0, Size_);
    Dirty = false;
}

void TBuffer::LoadFromImage(uint8_t* image) {
    Owner_.DecryptImage(image, Owner_.DiskBufferSize());
    ReadImage(image);
    Dirty = false;
}

void TBuffer::SaveToImage(uint8_t* image) {
    WriteImage(image);
    Owner_.EncryptImage(image, Owner_.DiskBufferSize());
    Dirty = false;
}

bool TBuffer::SameAs(const TBuffer& other) const {
    return Size_ == other.Size_ && std::memcmp(Data_.get(), other.Data_.get(), Size_) == 0;
}

bool TBuffer::SameAsData(const void* data) const { return std::memcmp(Data_.get(), data, Size_) == 0; }

void TBuffer::ReadImage(const uint8_t* image) {
    const uint32_t n = std::min(Size_, Owner_.DiskBufferSize());
    std::memcpy(Data_.get(), image, n);
    std::memset(Data_.get() + n, 0, Size_ - n);
}

void TBuffer::WriteImage(uint8_t* image) const {
    const uint32_t disk = Owner_.DiskBufferSize();
    const uint32_t n = std::min(Size_, disk);
    std::memcpy(image, Data_.get(), n);
    std::memset(image + n, 0, disk - n);
}

}  // namespace dezede
