#pragma once
// The open BLOB values of one cursor. A value is opened on a record image:
// its bytes are loaded from the BLOB file into a TBlobBuffer, and the first
// block number of the field's reference in the image is replaced by a
// negative handle naming that buffer. Reads and writes then go to the buffer;
// appending or modifying the record stores the modified buffers and writes
// real references (a handle is never written to the file); freeing the value
// puts the reference back into the image.
//
//   TBlobBuffers blobs(data, blob, "Reason");
//   uint32_t n = blobs.Open(memo, image, recNo, TBlobOpenMode::bmReadWrite, reread);
//   blobs.Put(memo, image, 0, 5, bytes);
//   std::vector<uint8_t> out(image.begin(), image.end());
//   blobs.StoreModified(image, out, false);   // out holds real references
//   blobs.Free(memo, image);
//
// A handle is -(1 + slot + kMaxOpenBlobs * generation): the slot gives the
// buffer at once, the generation makes a stale copy of a freed handle invalid
// instead of naming whichever buffer took the slot next.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/blob_file_format.h"
#include "engine/field_types.h"

namespace dezede {

class TBlobFile;
class TDataFile;

enum class TBlobOpenMode : uint8_t { bmRead, bmReadWrite };

inline constexpr size_t kMaxOpenBlobs = 128;

// One open BLOB value.
struct TBlobBuffer {
    bool Modified = false;
    TBlobOpenMode Mode = TBlobOpenMode::bmRead;
    TFieldDescriptor Field;
    uint32_t RecNo = 0;
    // The reference the handle stands for: first block and version stamp.
    TBlobReference Ref;
    // The null flag that goes with Ref, put back with it when the buffer is freed.
    uint8_t RefNullFlag = 0;
    std::vector<uint8_t> Value;
    // The value before the current run of edits, and the reference it was
    // stored under; taken at the first change after loading or storing.
    std::optional<std::vector<uint8_t>> Before;
    TBlobReference BeforeRef;
    uint32_t Users = 0;
    int32_t Handle = 0;
};

class TBlobBuffers {
public:
    TBlobBuffers(TDataFile& data, TBlobFile* blob, std::string tableName);
    ~TBlobBuffers();
    TBlobBuffers(const TBlobBuffers&) = delete;
    TBlobBuffers& operator=(const TBlobBuffers&) = delete;

    // Rereads record recNo after an out-of-date load; false when the slot is
    // free (the record was deleted).
    using TReread = std::function<bool(uint32_t recNo, std::vector<uint8_t>& record)>;

    // Opens field f of the image and returns the value's length. A handle of a
    // buffer this list has open for the field is used again (one user more; a
    // read-write open makes it read-write). Any other negative first block
    // raises DEZEDE_INVALIDBLOBOFFSET, a 129th buffer DEZEDE_OPENBLOBLIMIT.
    // When the reference is out of date the record is reread through reread:
    // the same record (same RecordID) gives its fresh reference to the image
    // and the load is repeated (out of date again: DEZEDE_MEMOCORRUPT); a
    // deleted or replaced record raises DEZEDE_KEYORRECDELETED.
    uint32_t Open(const TFieldDescriptor& f, std::span<uint8_t> record, uint32_t recNo, TBlobOpenMode mode,
                  const TReread& reread);

    // The calls below take an image whose field holds a handle of this list;
    // anything else raises DEZEDE_INVALIDBLOBHANDLE.

    // Copies min(count, length - offset) bytes (none at or past the end).
    uint32_t Get(const TFieldDescriptor& f, std::span<const uint8_t> record, uint32_t offset, uint32_t count,
                 uint8_t* dest);
    uint32_t Size(const TFieldDescriptor& f, std::span<const uint8_t> record);
    // Writes count bytes at offset, growing the value (a gap is zero-filled);
    // Truncate cuts the value to length. Both do nothing on a read buffer;
    // otherwise they mark it modified and set the field's null flag in the
    // image to whether the value is now empty.
    void Put(const TFieldDescriptor& f, std::span<uint8_t> record, uint32_t offset, uint32_t count,
             const uint8_t* bytes);
    void Truncate(const TFieldDescriptor& f, std::span<uint8_t> record, uint32_t length);
    // One user less; at none the buffer is dropped (unstored changes with it)
    // and the reference it stood for is put back into the image.
    void Free(const TFieldDescriptor& f, std::span<uint8_t> record);
    void FreeAll();
    size_t OpenCount() const;
    // The buffer a field of an image names, or null when it holds no handle
    // of this list.
    const TBlobBuffer* Find(const TFieldDescriptor& f, std::span<const uint8_t> record) const;

    // Before an image is written: out (a copy of record) receives real
    // references for every BLOB field that holds a handle; modified buffers are
    // stored first under a new version, reusing their chain. With newRecord
    // (an append) every non-empty value, open or not, is stored into a chain
    // of its own so that the new record never shares another record's chain;
    // an open buffer then stands for the new chain.
    void StoreModified(std::span<const uint8_t> record, std::span<uint8_t> out, bool newRecord);

    // Text of a BLOB field for the full-text index. For a handle: the current
    // value, or with asLoaded the value before the unstored edits. For a real
    // reference: the value it names, also when a buffer of this list has just
    // rewritten that chain (the old value is kept for this); otherwise read
    // from the file (an out-of-date reference raises DEZEDE_KEYORRECDELETED).
    std::string Text(const TFieldDescriptor& f, std::span<const uint8_t> record, bool asLoaded);

    // A deleted record's BLOB chains (real references) go back to the free
    // chain of the BLOB file; a chain whose first block carries another version
    // belongs to no one here and is left alone. Take the record's texts for the
    // full-text index before: the released blocks no longer hold them.
    void ReleaseRecordBlobs(std::span<const uint8_t> record);

private:
    TBlobBuffer* Lookup(int32_t handle) const;
    TBlobBuffer& Named(const TFieldDescriptor& f, std::span<const uint8_t> record) const;
    TBlobFile& Blob() const;
    void Load(TBlobBuffer& b, const TFieldDescriptor& f, std::span<uint8_t> record, const TReread& reread);
    static void Edited(TBlobBuffer& b);
    [[noreturn]] void Fail(uint16_t code, const TFieldDescriptor* f = nullptr) const;

    TDataFile& Data_;
    TBlobFile* BlobFile_;
    std::string TableName_;
    std::vector<std::unique_ptr<TBlobBuffer>> Slots_;
    std::vector<uint32_t> Generations_;
};

// The reference bytes of a BLOB field in an image (after its null-flag
// byte); DEZEDE_FILECORRUPT when the field does not fit into the image.
TBlobReference ReadBlobReference(const TFieldDescriptor& f, std::span<const uint8_t> record);
void WriteBlobReference(const TFieldDescriptor& f, std::span<uint8_t> record, const TBlobReference& ref);

}  // namespace dezede
