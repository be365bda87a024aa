#include "engine/blob_file_format.h"

#include <cstring>

#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/format_bytes.h"

namespace dezede {

using namespace fmt;

void EncodeBlobHeader(const TBlobHeader& h, std::span<uint8_t> out) {
    std::memset(out.data(), 0, kFileHeaderSize);
    StoreLE32(out, 0, static_cast<uint32_t>(h.ChangeCounter));
    out[8] = h.Version;
    std::memcpy(out.data() + 9, h.Signature.data(), 16);
    StoreLE32(out, 25, h.FirstFreeBlock);
    StoreLE32(out, 29, h.NextBlockNumber);
    out[33] = h.ChangedFlag;
}

TBlobHeader DecodeBlobHeader(std::span<const uint8_t> in) {
    TBlobHeader h;
    h.ChangeCounter = LoadLEI32(in, 0);
    h.Version = in[8];
    std::memcpy(h.Signature.data(), in.data() + 9, 16);
    h.FirstFreeBlock = LoadLE32(in, 25);
    h.NextBlockNumber = LoadLE32(in, 29);
    h.ChangedFlag = 0;
    return h;
}

void EncodeBlockHeader(const TBlockHeader& h, std::span<uint8_t> out) {
    StoreLE32(out, 0, h.Previous);
    StoreLE32(out, 4, h.Next);
    StoreLE16(out, 8, h.UsedBytes);
    StoreLE32(out, 10, static_cast<uint32_t>(h.Version));
    StoreLE32(out, 14, h.Length);
}

TBlockHeader DecodeBlockHeader(std::span<const uint8_t> in) {
    return {LoadLE32(in, 0), LoadLE32(in, 4), LoadLE16(in, 8), LoadLEI32(in, 10), LoadLE32(in, 14)};
}

void EncodeBlobReference(const TBlobReference& r, std::span<uint8_t> out) {
    StoreLE32(out, 0, static_cast<uint32_t>(r.FirstBlock));
    StoreLE32(out, 4, static_cast<uint32_t>(r.Version));
}

TBlobReference DecodeBlobReference(std::span<const uint8_t> in) { return {LoadLEI32(in, 0), LoadLEI32(in, 4)}; }

void VerifyBlobHeader(const TBlobHeader& h, uint32_t blockSize, uint64_t fileSize, const std::string& table) {
    uint64_t blocks = fileSize > kFileHeaderSize && blockSize ? (fileSize - kFileHeaderSize) / blockSize : 0;
    uint64_t last = h.NextBlockNumber > 0 ? h.NextBlockNumber - 1 : 0;
    if (last > blocks || h.FirstFreeBlock > last) RaiseError(DEZEDE_HEADERCORRUPT, {.Table = table});
}

}  // namespace dezede
