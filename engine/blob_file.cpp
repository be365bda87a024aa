#include "engine/blob_file.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "engine/data_file.h"
#include "engine/error_context.h"
#include "support/compression.h"

namespace dezede {

namespace {
// Bytes reserved up front for a value: its stored length is not trusted
// beyond this before the chain has delivered the bytes.
constexpr size_t kMaxReserve = size_t{16} << 20;
}  // namespace

// --- TBlock ---

void TBlock::Assign(const TBuffer& other) {
    TBuffer::Assign(other);
    if (const auto* b = dynamic_cast<const TBlock*>(&other)) {
        Previous = b->Previous;
        NextBlock = b->NextBlock;
        UsedBytes = b->UsedBytes;
        Version = b->Version;
        Length = b->Length;
    }
}

void TBlock::Clear(int32_t initValue) {
    TBuffer::Clear(initValue);
    Previous = NextBlock = 0;
    UsedBytes = 0;
    Version = 0;
    Length = 0;
}

void TBlock::ReadImage(const uint8_t* image) {
    TBlockHeader h = DecodeBlockHeader(std::span<const uint8_t>(image, kBlockHeaderSize));
    Previous = h.Previous;
    NextBlock = h.Next;
    UsedBytes = h.UsedBytes;
    Version = h.Version;
    Length = h.Length;
    const uint32_t disk = Owner().DiskBufferSize();
    const uint32_t n = std::min<uint32_t>(Size(), disk > kBlockHeaderSize ? disk - kBlockHeaderSize : 0);
    std::memcpy(Data(), image + kBlockHeaderSize, n);
    std::memset(Data() + n, 0, Size() - n);
}

void TBlock::WriteImage(uint8_t* image) const {
    const uint32_t disk = Owner().DiskBufferSize();
    std::memset(image, 0, disk);
    EncodeBlockHeader({Previous, NextBlock, UsedBytes, Version, Length}, std::span<uint8_t>(image, kBlockHeaderSize));
    const uint32_t n = std::min<uint32_t>(Size(), disk > kBlockHeaderSize ? disk - kBlockHeaderSize : 0);
    std::memcpy(image + kBlockHeaderSize, Data(), n);
}

// --- TBlobFile ---

TBlobFile::TBlobFile(TFileRegistry& registry, std::string fileName, bool inMemory)
    : TBufferedFile(registry, fileName, inMemory), TableName_(TableNameOf(fileName)) {}

void TBlobFile::Fail(uint16_t code) const { RaiseError(code, {.Table = TableName_}); }

void TBlobFile::SetTableCipher(std::shared_ptr<const TTableCipher> cipher) {
    if (!cipher) {
        SetCipher({});
        return;
    }
    SetCipher({[cipher](uint8_t* p, size_t n) { cipher->Encrypt(p, n); },
               [cipher](uint8_t* p, size_t n) { cipher->Decrypt(p, n); }});
}

void TBlobFile::OpenBlobFile() {
    if (BlockSize_ < kMinBlobBlockSize || BlockSize_ > kMaxBlobBlockSize) Fail(DEZEDE_HEADERCORRUPT);
    Open();
    try {
        ReadHeader();
        if (Header_.Version != kFormatVersion)
            Fail(Header_.Version < 7 ? DEZEDE_OLDVERSION : DEZEDE_BADSIGNATURE);
        if (Header_.Signature != SignatureDigest(Signature_) &&
            Header_.Signature != SignatureDigest(kDefaultSignature))
            Fail(DEZEDE_BADSIGNATURE);
        if (Header_.NextBlockNumber == 0 || Header_.NextBlockNumber > INT32_MAX) Fail(DEZEDE_HEADERCORRUPT);
        ResetStatistics();
    } catch (...) {
        Close();
        throw;
    }
}

void TBlobFile::CreateBlobHeader() {
    Header_ = {};
    Header_.Signature = SignatureDigest(Signature_);
    HeaderDirty_ = true;
}

void TBlobFile::ReadHeader() {
    uint8_t image[kFileHeaderSize];
    ReadHeaderImage(image, sizeof image, true);
    Header_ = DecodeBlobHeader(image);
    HeaderDirty_ = false;
}

bool TBlobFile::WriteHeader(bool force) {
    if (!HeaderDirty_ && !force) return false;
    Header_.ChangeCounter = NextChangeCounter(Header_.ChangeCounter);
    Header_.ChangedFlag = HeaderDirty_ ? 1 : 0;
    uint8_t image[kFileHeaderSize];
    EncodeBlobHeader(Header_, image);
    WriteHeaderImage(image, sizeof image, true);
    HeaderDirty_ = false;
    return true;
}

void TBlobFile::MarkHeaderChanged() {
    Header_.ChangeCounter = NextChangeCounter(Header_.ChangeCounter);
    HeaderDirty_ = true;
}

void TBlobFile::EmptyFile() {
    TBufferedFile::EmptyFile();
    Header_.Version = kFormatVersion;
    Header_.ChangeCounter = 0;
    Header_.NextBlockNumber = 1;
    Header_.FirstFreeBlock = 0;
    HeaderDirty_ = true;
}

void TBlobFile::VerifyBlobHeader() { dezede::VerifyBlobHeader(Header_, BlockSize_, GetFileSize(), TableName_); }

int32_t TBlobFile::LastBufferNumber() const {
    return static_cast<int32_t>(std::min<uint32_t>(std::max<uint32_t>(Header_.NextBlockNumber, 1), INT32_MAX) - 1);
}

void TBlobFile::AdvanceLastBufferNumber() {
    ++Header_.NextBlockNumber;
    HeaderDirty_ = true;
}

uint32_t TBlobFile::CacheCapacity() const { return CacheCapacityFor(Budget_, DataAreaSize(), 56); }

TPinnedBuffer TBlobFile::PinBlock(uint32_t n) {
    if (n == 0 || n > static_cast<uint32_t>(LastBufferNumber()) + 1) Fail(DEZEDE_MEMOCORRUPT);
    TCursorHints hints;
    for (int attempt = 0; attempt < 8; ++attempt) {
        TBuffer* buffer = nullptr;
        if (GetBuffer(&hints, 0, &buffer, kReadAheadForward, true, static_cast<int32_t>(n)))
            return TPinnedBuffer(*this, buffer);
    }
    Fail(DEZEDE_KEYORRECDELETED);
}

uint32_t TBlobFile::AllocateBlock() {
    const uint32_t last = static_cast<uint32_t>(LastBufferNumber());
    if (Header_.FirstFreeBlock != 0) {
        const uint32_t n = Header_.FirstFreeBlock;
        if (n > last) Fail(DEZEDE_MEMOCORRUPT);
        TPinnedBuffer b = PinBlock(n);
        TBlock& block = Pinned(b);
        if (block.NextBlock > last || block.NextBlock == n) Fail(DEZEDE_MEMOCORRUPT);
        Header_.FirstFreeBlock = block.NextBlock;
        HeaderDirty_ = true;
        block.Clear(0);
        block.Dirty = true;
        return n;
    }
    const uint32_t n = last + 1;
    TPinnedBuffer b = PinBlock(n);  // appends a cleared, dirty block
    return n;
}

uint32_t TBlobFile::ReadBlockData(uint32_t blockNumber, uint32_t offset, uint32_t count, uint8_t* dest) {
    const uint32_t area = DataAreaSize();
    if (count > area || offset > area - count) Fail(DEZEDE_INVALIDBLOBLEN);
    if (blockNumber == 0 || blockNumber > static_cast<uint32_t>(LastBufferNumber())) Fail(DEZEDE_MEMOCORRUPT);
    TPinnedBuffer b = PinBlock(blockNumber);
    TBlock& block = Pinned(b);
    if (block.UsedBytes > area) Fail(DEZEDE_INVALIDBLOBLEN);
    const uint32_t available = block.UsedBytes > offset ? block.UsedBytes - offset : 0;
    const uint32_t n = std::min(count, available);
    std::memcpy(dest, block.Data() + offset, n);
    return n;
}

void TBlobFile::WriteBlockData(uint32_t blockNumber, uint32_t offset, uint32_t count, const uint8_t* source) {
    const uint32_t area = DataAreaSize();
    if (count > area || offset > area - count) Fail(DEZEDE_INVALIDBLOBLEN);
    if (blockNumber == 0 || blockNumber > static_cast<uint32_t>(LastBufferNumber())) Fail(DEZEDE_MEMOCORRUPT);
    TPinnedBuffer b = PinBlock(blockNumber);
    TBlock& block = Pinned(b);
    block.UsedBytes = static_cast<uint16_t>(offset + count);
    std::memcpy(block.Data() + offset, source, count);
    block.Dirty = true;
}

TBlobLoadResult TBlobFile::LoadBlob(const TBlobReference& ref, uint8_t compression, std::vector<uint8_t>& value) {
    value.clear();
    if (ref.FirstBlock == 0) return TBlobLoadResult::Loaded;
    const uint32_t last = static_cast<uint32_t>(LastBufferNumber());
    if (ref.FirstBlock < 0 || static_cast<uint32_t>(ref.FirstBlock) > last) Fail(DEZEDE_MEMOCORRUPT);
    uint32_t current = static_cast<uint32_t>(ref.FirstBlock);
    uint32_t length;
    {
        TPinnedBuffer b = PinBlock(current);
        TBlock& first = Pinned(b);
        if (first.Version != ref.Version) return TBlobLoadResult::OutOfDate;
        length = first.Length;
    }
    const uint32_t area = DataAreaSize();
    std::vector<uint8_t> stored;
    stored.reserve(std::min<size_t>(length, kMaxReserve));
    std::unordered_set<uint32_t> visited{current};
    uint64_t missing = length;
    while (missing > 0) {
        const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(area, missing));
        const size_t at = stored.size();
        stored.resize(at + want);
        const uint32_t got = ReadBlockData(current, 0, want, stored.data() + at);
        stored.resize(at + got);
        missing -= got;
        if (missing == 0) break;
        uint32_t next;
        {
            TPinnedBuffer b = PinBlock(current);
            next = Pinned(b).NextBlock;
        }
        if (next == 0) break;
        if (next > last || !visited.insert(next).second) Fail(DEZEDE_MEMOCORRUPT);
        current = next;
    }
    if (missing > 0) Fail(DEZEDE_ENDOFBLOB);
    if (compression != 0 && length > 0) {
        if (!DecompressBuffer(stored.data(), stored.size(), value)) Fail(DEZEDE_UNCOMPRESS);
    } else {
        value = std::move(stored);
    }
    return TBlobLoadResult::Loaded;
}

void TBlobFile::StoreBlob(TBlobReference& ref, std::span<const uint8_t> value, uint8_t compression,
                          int32_t newVersion) {
    std::vector<uint8_t> compressed;
    std::span<const uint8_t> stored = value;
    if (compression != 0 && !value.empty()) {
        if (!CompressBuffer(value.data(), value.size(), compression, compressed)) Fail(DEZEDE_COMPRESS);
        stored = compressed;
    }
    if (stored.size() > UINT32_MAX) Fail(DEZEDE_INVALIDBLOBLEN);
    const uint32_t last = static_cast<uint32_t>(LastBufferNumber());
    if (ref.FirstBlock < 0 || static_cast<uint32_t>(ref.FirstBlock) > last) Fail(DEZEDE_MEMOCORRUPT);
    if (stored.empty()) {
        // An empty value writes no block; an existing chain is marked empty.
        if (ref.FirstBlock != 0) {
            TPinnedBuffer b = PinBlock(static_cast<uint32_t>(ref.FirstBlock));
            Pinned(b).Length = 0;
            Pinned(b).Version = newVersion;
            b->Dirty = true;
        }
        ref.Version = newVersion;
        return;
    }
    if (ref.FirstBlock == 0) ref.FirstBlock = static_cast<int32_t>(AllocateBlock());
    uint32_t current = static_cast<uint32_t>(ref.FirstBlock);
    {
        TPinnedBuffer b = PinBlock(current);
        TBlock& first = Pinned(b);
        first.Previous = 0;
        first.Version = newVersion;
        first.Length = static_cast<uint32_t>(stored.size());
        first.Dirty = true;
    }
    const uint32_t area = DataAreaSize();
    std::unordered_set<uint32_t> visited{current};
    size_t pos = 0;
    while (true) {
        const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(area, stored.size() - pos));
        WriteBlockData(current, 0, piece, stored.data() + pos);
        pos += piece;
        if (pos == stored.size()) break;
        uint32_t next;
        {
            TPinnedBuffer b = PinBlock(current);
            next = Pinned(b).NextBlock;
        }
        if (next != 0) {
            if (next > static_cast<uint32_t>(LastBufferNumber()) || !visited.insert(next).second)
                Fail(DEZEDE_MEMOCORRUPT);
        } else {
            next = AllocateBlock();
            // A free chain that leads into this value's own chain is damage.
            if (!visited.insert(next).second) Fail(DEZEDE_MEMOCORRUPT);
            TPinnedBuffer b = PinBlock(current);
            Pinned(b).NextBlock = next;
            b->Dirty = true;
            TPinnedBuffer n = PinBlock(next);
            Pinned(n).Previous = current;
            Pinned(n).Version = 0;
            Pinned(n).Length = 0;
            n->Dirty = true;
        }
        current = next;
    }
    ref.Version = newVersion;
}

void TBlobFile::ClearBlob(const TBlobReference& ref) {
    if (ref.FirstBlock == 0) return;
    if (ref.FirstBlock < 0 || ref.FirstBlock > LastBufferNumber()) Fail(DEZEDE_MEMOCORRUPT);
    TPinnedBuffer b = PinBlock(static_cast<uint32_t>(ref.FirstBlock));
    Pinned(b).Length = 0;
    Pinned(b).Version = ref.Version;
    b->Dirty = true;
}

uint32_t TBlobFile::ReleaseChain(const TBlobReference& ref) {
    // Version 0 is never stamped on a stored value; free blocks carry it.
    if (ref.FirstBlock == 0 || ref.Version == 0) return 0;
    const uint32_t last = static_cast<uint32_t>(LastBufferNumber());
    if (ref.FirstBlock < 0 || static_cast<uint32_t>(ref.FirstBlock) > last) Fail(DEZEDE_MEMOCORRUPT);
    std::vector<uint32_t> chain{static_cast<uint32_t>(ref.FirstBlock)};
    uint32_t next;
    {
        TPinnedBuffer b = PinBlock(chain[0]);
        if (Pinned(b).Version != ref.Version) return 0;
        next = Pinned(b).NextBlock;
    }
    std::unordered_set<uint32_t> visited{chain[0]};
    while (next != 0 && next <= last && visited.insert(next).second) {
        TPinnedBuffer b = PinBlock(next);
        const TBlock& block = Pinned(b);
        if (block.Previous != chain.back() || block.Version != 0) break;
        chain.push_back(next);
        next = block.NextBlock;
    }
    for (size_t i = 0; i < chain.size(); ++i) {
        TPinnedBuffer b = PinBlock(chain[i]);
        TBlock& block = Pinned(b);
        block.Clear(0);
        block.NextBlock = i + 1 < chain.size() ? chain[i + 1] : Header_.FirstFreeBlock;
        block.Dirty = true;
    }
    Header_.FirstFreeBlock = chain[0];
    HeaderDirty_ = true;
    return static_cast<uint32_t>(chain.size());
}

}  // namespace dezede
