#include "engine/blob_buffer.h"

#include <algorithm>
#include <cstring>

#include "engine/blob_file.h"
#include "engine/data_file.h"
#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "support/endian.h"

namespace dezede {

namespace {

// Generations per slot so that every handle fits into a negative int32.
constexpr uint32_t kGenerations = (static_cast<uint32_t>(INT32_MAX) - kMaxOpenBlobs) / kMaxOpenBlobs;

int32_t MakeHandle(size_t slot, uint32_t generation) {
    return -static_cast<int32_t>(1 + slot + kMaxOpenBlobs * generation);
}

bool SameRef(const TBlobReference& a, const TBlobReference& b) {
    return a.FirstBlock == b.FirstBlock && a.Version == b.Version;
}

int32_t RecordIDOf(std::span<const uint8_t> record) {
    if (record.size() < kRecordIDOffset + 4u) RaiseError(DEZEDE_FILECORRUPT);
    return LoadLE32s(record.data() + kRecordIDOffset);
}

uint8_t NullFlagFor(const std::vector<uint8_t>& value) { return value.empty() ? 0 : 1; }

}  // namespace

TBlobReference ReadBlobReference(const TFieldDescriptor& f, std::span<const uint8_t> record) {
    if (size_t{f.Offset} + 9 > record.size()) RaiseError(DEZEDE_FILECORRUPT, {.Field = f.Name});
    return DecodeBlobReference(record.subspan(f.Offset + 1u, 8));
}

void WriteBlobReference(const TFieldDescriptor& f, std::span<uint8_t> record, const TBlobReference& ref) {
    if (size_t{f.Offset} + 9 > record.size()) RaiseError(DEZEDE_FILECORRUPT, {.Field = f.Name});
    EncodeBlobReference(ref, record.subspan(f.Offset + 1u, 8));
}

TBlobBuffers::TBlobBuffers(TDataFile& data, TBlobFile* blob, std::string tableName)
    : Data_(data), BlobFile_(blob), TableName_(std::move(tableName)), Slots_(kMaxOpenBlobs),
      Generations_(kMaxOpenBlobs, 0) {}

TBlobBuffers::~TBlobBuffers() = default;

void TBlobBuffers::Fail(uint16_t code, const TFieldDescriptor* f) const {
    RaiseError(code, {.Table = TableName_, .Field = f ? f->Name : std::string()});
}

TBlobFile& TBlobBuffers::Blob() const {
    if (!BlobFile_) Fail(DEZEDE_NOTABLOB);
    return *BlobFile_;
}

TBlobBuffer* TBlobBuffers::Lookup(int32_t handle) const {
    if (handle >= 0) return nullptr;
    const uint64_t m = static_cast<uint64_t>(-static_cast<int64_t>(handle)) - 1;
    const size_t slot = m % kMaxOpenBlobs;
    TBlobBuffer* b = Slots_[slot].get();
    return b && b->Handle == handle ? b : nullptr;
}

TBlobBuffer& TBlobBuffers::Named(const TFieldDescriptor& f, std::span<const uint8_t> record) const {
    TBlobBuffer* b = Lookup(ReadBlobReference(f, record).FirstBlock);
    if (!b || b->Field.FieldNumber != f.FieldNumber) Fail(DEZEDE_INVALIDBLOBHANDLE, &f);
    return *b;
}

const TBlobBuffer* TBlobBuffers::Find(const TFieldDescriptor& f, std::span<const uint8_t> record) const {
    const TBlobBuffer* b = Lookup(ReadBlobReference(f, record).FirstBlock);
    return b && b->Field.FieldNumber == f.FieldNumber ? b : nullptr;
}

size_t TBlobBuffers::OpenCount() const {
    return static_cast<size_t>(std::count_if(Slots_.begin(), Slots_.end(), [](const auto& b) { return b != nullptr; }));
}

uint32_t TBlobBuffers::Open(const TFieldDescriptor& f, std::span<uint8_t> record, uint32_t recNo, TBlobOpenMode mode,
                            const TReread& reread) {
    if (!f.IsBlob()) Fail(DEZEDE_NOTABLOB, &f);
    const TBlobReference ref = ReadBlobReference(f, record);
    if (ref.FirstBlock < 0) {
        TBlobBuffer* b = Lookup(ref.FirstBlock);
        if (!b || b->Field.FieldNumber != f.FieldNumber) Fail(DEZEDE_INVALIDBLOBOFFSET, &f);
        ++b->Users;
        if (mode == TBlobOpenMode::bmReadWrite) b->Mode = mode;
        return static_cast<uint32_t>(b->Value.size());
    }
    const auto freeSlot = std::find(Slots_.begin(), Slots_.end(), nullptr);
    if (freeSlot == Slots_.end()) Fail(DEZEDE_OPENBLOBLIMIT);
    auto b = std::make_unique<TBlobBuffer>();
    b->Field = f;
    b->RecNo = recNo;
    b->Mode = mode;
    b->Ref = ref;
    Load(*b, f, record, reread);
    const size_t slot = static_cast<size_t>(freeSlot - Slots_.begin());
    b->Users = 1;
    b->Handle = MakeHandle(slot, Generations_[slot]);
    b->RefNullFlag = record[f.Offset];
    WriteBlobReference(f, record, {b->Handle, b->Ref.Version});
    *freeSlot = std::move(b);
    return static_cast<uint32_t>((*freeSlot)->Value.size());
}

void TBlobBuffers::Load(TBlobBuffer& b, const TFieldDescriptor& f, std::span<uint8_t> record, const TReread& reread) {
    TBlobFile& file = Blob();
    if (file.LoadBlob(b.Ref, f.Compression, b.Value) == TBlobLoadResult::Loaded) return;
    // The image is older than the value's chain: take the record's current
    // reference when it is still the same record.
    if (!reread || b.RecNo == 0) Fail(DEZEDE_MEMOCORRUPT, &f);
    std::vector<uint8_t> fresh;
    if (!reread(b.RecNo, fresh) || fresh.size() != record.size() || RecordIDOf(fresh) != RecordIDOf(record))
        Fail(DEZEDE_KEYORRECDELETED);
    const TBlobReference ref = ReadBlobReference(f, fresh);
    if (ref.FirstBlock < 0) Fail(DEZEDE_MEMOCORRUPT, &f);
    // The field's null flag and reference together: they describe one value.
    std::memcpy(record.data() + f.Offset, fresh.data() + f.Offset, 9);
    b.Ref = ref;
    if (file.LoadBlob(b.Ref, f.Compression, b.Value) != TBlobLoadResult::Loaded) Fail(DEZEDE_MEMOCORRUPT, &f);
}

uint32_t TBlobBuffers::Get(const TFieldDescriptor& f, std::span<const uint8_t> record, uint32_t offset, uint32_t count,
                           uint8_t* dest) {
    const TBlobBuffer& b = Named(f, record);
    if (offset >= b.Value.size()) return 0;
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(count, b.Value.size() - offset));
    if (n) std::memcpy(dest, b.Value.data() + offset, n);
    return n;
}

uint32_t TBlobBuffers::Size(const TFieldDescriptor& f, std::span<const uint8_t> record) {
    return static_cast<uint32_t>(Named(f, record).Value.size());
}

void TBlobBuffers::Edited(TBlobBuffer& b) {
    if (!b.Modified) {
        b.Before = b.Value;
        b.BeforeRef = b.Ref;
        b.Modified = true;
    }
}

void TBlobBuffers::Put(const TFieldDescriptor& f, std::span<uint8_t> record, uint32_t offset, uint32_t count,
                       const uint8_t* bytes) {
    TBlobBuffer& b = Named(f, record);
    if (b.Mode != TBlobOpenMode::bmReadWrite) return;
    const uint64_t end = uint64_t{offset} + count;
    if (end > UINT32_MAX) Fail(DEZEDE_INVALIDBLOBLEN, &f);
    Edited(b);
    if (end > b.Value.size()) b.Value.resize(end);
    if (count) std::memcpy(b.Value.data() + offset, bytes, count);
    record[f.Offset] = NullFlagFor(b.Value);
}

void TBlobBuffers::Truncate(const TFieldDescriptor& f, std::span<uint8_t> record, uint32_t length) {
    TBlobBuffer& b = Named(f, record);
    if (b.Mode != TBlobOpenMode::bmReadWrite) return;
    Edited(b);
    if (length < b.Value.size()) b.Value.resize(length);
    record[f.Offset] = NullFlagFor(b.Value);
}

void TBlobBuffers::Free(const TFieldDescriptor& f, std::span<uint8_t> record) {
    TBlobBuffer& b = Named(f, record);
    if (--b.Users > 0) return;
    WriteBlobReference(f, record, b.Ref);
    record[f.Offset] = b.RefNullFlag;
    const size_t slot = (static_cast<uint64_t>(-static_cast<int64_t>(b.Handle)) - 1) % kMaxOpenBlobs;
    Slots_[slot].reset();
    Generations_[slot] = (Generations_[slot] + 1) % kGenerations;
}

void TBlobBuffers::FreeAll() {
    for (size_t slot = 0; slot < Slots_.size(); ++slot) {
        if (!Slots_[slot]) continue;
        Slots_[slot].reset();
        Generations_[slot] = (Generations_[slot] + 1) % kGenerations;
    }
}

void TBlobBuffers::StoreModified(std::span<const uint8_t> record, std::span<uint8_t> out, bool newRecord) {
    if (out.size() != record.size()) Fail(DEZEDE_FILECORRUPT);
    for (const TFieldDescriptor& f : Data_.Fields()) {
        if (!f.IsBlob()) continue;
        const TBlobReference ref = ReadBlobReference(f, record);
        if (ref.FirstBlock < 0) {
            TBlobBuffer& b = Named(f, record);
            if (newRecord) {
                // A chain of its own: the buffer may have been loaded from
                // another record, whose chain must stay that record's.
                TBlobReference fresh;
                if (!b.Value.empty()) Blob().StoreBlob(fresh, b.Value, f.Compression, Data_.NextBlobVersion());
                b.Ref = fresh;
                b.Modified = false;
            } else if (b.Modified) {
                TBlobReference stored = b.Ref;
                Blob().StoreBlob(stored, b.Value, f.Compression, Data_.NextBlobVersion());
                b.Ref = stored;
                b.Modified = false;
            }
            b.RefNullFlag = NullFlagFor(b.Value);
            WriteBlobReference(f, out, b.Ref);
            out[f.Offset] = b.RefNullFlag;
        } else if (newRecord && ref.FirstBlock > 0) {
            std::vector<uint8_t> value;
            if (Blob().LoadBlob(ref, f.Compression, value) != TBlobLoadResult::Loaded)
                Fail(DEZEDE_KEYORRECDELETED);
            TBlobReference fresh;
            if (!value.empty()) Blob().StoreBlob(fresh, value, f.Compression, Data_.NextBlobVersion());
            WriteBlobReference(f, out, fresh);
            out[f.Offset] = NullFlagFor(value);
        } else {
            std::memcpy(out.data() + f.Offset, record.data() + f.Offset, 9);
        }
    }
}

std::string TBlobBuffers::Text(const TFieldDescriptor& f, std::span<const uint8_t> record, bool asLoaded) {
    auto text = [](const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); };
    const TBlobReference ref = ReadBlobReference(f, record);
    if (ref.FirstBlock < 0) {
        const TBlobBuffer& b = Named(f, record);
        return text(asLoaded && b.Modified && b.Before ? *b.Before : b.Value);
    }
    if (ref.FirstBlock == 0) return {};
    for (const auto& b : Slots_) {
        if (!b || b->Field.FieldNumber != f.FieldNumber) continue;
        if (b->Before && SameRef(b->BeforeRef, ref)) return text(*b->Before);
        if (!b->Modified && SameRef(b->Ref, ref)) return text(b->Value);
    }
    std::vector<uint8_t> value;
    if (Blob().LoadBlob(ref, f.Compression, value) != TBlobLoadResult::Loaded) Fail(DEZEDE_KEYORRECDELETED);
    return text(value);
}

void TBlobBuffers::ReleaseRecordBlobs(std::span<const uint8_t> record) {
    for (const TFieldDescriptor& f : Data_.Fields()) {
        if (!f.IsBlob()) continue;
        TBlobReference ref = ReadBlobReference(f, record);
        if (ref.FirstBlock < 0) ref = Named(f, record).Ref;
        if (ref.FirstBlock == 0) continue;
        Blob().ReleaseChain(ref);
        // Buffers still open on the chain keep their bytes but no longer
        // stand for it: the blocks may go to another value.
        for (const auto& b : Slots_) {
            if (!b || b->Field.FieldNumber != f.FieldNumber) continue;
            if (SameRef(b->Ref, ref)) {
                b->Ref = {};
                b->RefNullFlag = 0;
            }
            if (b->Before && SameRef(b->BeforeRef, ref)) b->BeforeRef = {};
        }
    }
}

}  // namespace dezede
