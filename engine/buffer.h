#pragma once
// TBuffer: one cached unit of a TBufferedFile (a record, an index page, a BLOB
// block). The contents are the owner's in-memory buffer size, zero-filled when
// allocated; the file image is the owner's disk buffer size.
//
// File kinds derive their buffer class and override Assign and Clear, and the
// image layout through ReadImage/WriteImage: LoadFromImage deciphers the image
// (when the table is enciphered) before ReadImage parses it, and SaveToImage
// enciphers what WriteImage produced.

#include <cstdint>
#include <memory>

namespace dezede {

class TBufferedFile;

class TBuffer {
public:
    explicit TBuffer(TBufferedFile& owner);
    virtual ~TBuffer();
    TBuffer(const TBuffer&) = delete;
    TBuffer& operator=(const TBuffer&) = delete;

    // Copies dirty flag, number and contents (up to the smaller size).
    virtual void Assign(const TBuffer& other);
    // Copies contents in (at most Size bytes) and marks the buffer dirty.
    virtual void SetData(const void* data, uint32_t count);
    virtual void GetData(void* data, uint32_t count) const;
    // Zero-fills and marks clean; initValue is for the file kinds.
    virtual void Clear(int32_t initValue);
    // image: one disk buffer; deciphered in place, then parsed; marks clean.
    // It sets all of the contents: a reused buffer is not cleared before it.
    virtual void LoadFromImage(uint8_t* image);
    // image: one disk buffer, not initialised; written whole, then enciphered
    // in place; marks clean.
    virtual void SaveToImage(uint8_t* image);
    bool SameAs(const TBuffer& other) const;
    bool SameAsData(const void* data) const;

    TBufferedFile& Owner() const { return Owner_; }
    uint8_t* Data() { return Data_.get(); }
    const uint8_t* Data() const { return Data_.get(); }
    uint32_t Size() const { return Size_; }

    bool Dirty = false;
    uint16_t PinCount = 0;
    int32_t Number = 0;
    // Links of the recently-used list (owned by the TBufferedFile).
    TBuffer* Next = nullptr;
    TBuffer* Previous = nullptr;
    // On the owner's parked list rather than its main recently-used list.
    bool Parked = false;

protected:
    // The clear image to contents (all of them); the default copies
    // min(disk, memory size) bytes and zero-fills the rest of the contents.
    virtual void ReadImage(const uint8_t* image);
    // Contents to the clear image; the default copies min(disk, memory size)
    // bytes and zero-fills the rest of the image.
    virtual void WriteImage(uint8_t* image) const;

private:
    TBufferedFile& Owner_;
    std::unique_ptr<uint8_t[]> Data_;
    uint32_t Size_;
};

}  // namespace dezede
