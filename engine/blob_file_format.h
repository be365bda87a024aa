#pragma once
// Byte layout of the BLOB file: the 512-byte header, the 18-byte head of
// every block and the 8-byte reference a BLOB field keeps in its record.

#include <cstdint>
#include <span>

#include "engine/data_file_format.h"

namespace dezede {

inline constexpr size_t kBlockHeaderSize = 18;

struct TBlobHeader {
    int32_t ChangeCounter = 0;
    uint8_t Version = kFormatVersion;
    TDigest Signature{};
    uint32_t FirstFreeBlock = 0;
    uint32_t NextBlockNumber = 1;
    uint8_t ChangedFlag = 0;
};

struct TBlockHeader {
    uint32_t Previous = 0;
    uint32_t Next = 0;
    uint16_t UsedBytes = 0;
    int32_t Version = 0;  // first block only
    uint32_t Length = 0;  // first block only: total stored length
};

// The storage bytes of a BLOB field: first block (0 = never stored) and version stamp.
struct TBlobReference {
    int32_t FirstBlock = 0;
    int32_t Version = 0;
};

void EncodeBlobHeader(const TBlobHeader& h, std::span<uint8_t> out512);
TBlobHeader DecodeBlobHeader(std::span<const uint8_t> in512);
void EncodeBlockHeader(const TBlockHeader& h, std::span<uint8_t> out18);
TBlockHeader DecodeBlockHeader(std::span<const uint8_t> in18);
void EncodeBlobReference(const TBlobReference& r, std::span<uint8_t> out8);
TBlobReference DecodeBlobReference(std::span<const uint8_t> in8);

// Verification of the header against the file size: DEZEDE_HEADERCORRUPT.
void VerifyBlobHeader(const TBlobHeader& h, uint32_t blockSize, uint64_t fileSize, const std::string& table);

}  // namespace dezede
