#pragma once
// Byte layout of the data file: the 512-byte header, the 768-byte field
// descriptors, the record layout and the record slots. Pure codecs over byte
// spans; the file object (engine/data_file.h) does the reading and writing.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/field_types.h"
#include "support/md5.h"

namespace dezede {

inline constexpr size_t kFileHeaderSize = 512;
inline constexpr uint8_t kFormatVersion = 6;
inline constexpr const char* kDefaultSignature = "DEZEDE_SIG";
inline constexpr uint16_t kMaxFieldCount = 1024;
inline constexpr uint16_t kMaxBlobFieldCount = 128;
inline constexpr uint32_t kMaxRecordSize = 65534;
inline constexpr uint32_t kMinBlobBlockSize = 64;
inline constexpr uint32_t kMaxBlobBlockSize = 65536;
inline constexpr uint32_t kMinIndexPageSize = 1024;
inline constexpr uint32_t kMaxIndexPageSize = 16384;
inline constexpr double kDateTimeDelta = 693594.0;  // stored last-updated = date-time - this

using TDigest = TMD5Digest;

TDigest SignatureDigest(std::string_view signature);
// "4.00" for version 6 and the texts of the older formats; "" for others.
std::string VersionText(uint8_t version);

// Counters that wrap from 2,147,483,647 to 1.
inline int32_t NextCounter(int32_t v) { return v >= 2147483647 || v < 0 ? 1 : v + 1; }

struct TDataHeader {
    int32_t ChangeCounter = 0;
    uint8_t Version = kFormatVersion;
    TDigest Signature{};
    uint32_t FirstFreeRecord = 0;
    uint32_t NextRecordNumber = 1;
    int32_t LastRecordID = 0;
    int32_t LastAutoInc = 0;
    uint32_t RecordCount = 0;
    uint16_t RecordSize = 0;
    uint16_t FieldCount = 0;
    uint16_t BlobFieldCount = 0;
    uint32_t BlobBlockSize = 0;
    int32_t LastBlobVersion = 0;
    uint32_t IndexPageSize = 0;
    double LastUpdated = 0;  // as stored: local date-time - 693594.0
    std::string Description;
    bool Encrypted = false;
    TDigest PasswordCheck{};
    uint32_t Locale = 0;
    uint16_t UserMajor = 0;
    uint16_t UserMinor = 0;
    uint8_t ChangedFlag = 0;
};

void EncodeDataHeader(const TDataHeader& h, std::span<uint8_t> out512);
TDataHeader DecodeDataHeader(std::span<const uint8_t> in512);

void EncodeFieldDescriptor(const TFieldDescriptor& f, std::span<uint8_t> out768);
TFieldDescriptor DecodeFieldDescriptor(std::span<const uint8_t> in768);

// Recomputes storage sizes, scales and offsets of the fields in order; returns
// the record size. More than 128 BLOB fields raise DEZEDE_BLOBLIMIT, a record
// above 65534 bytes DEZEDE_RECTOOBIG, both naming the table.
struct TRecordLayout {
    uint16_t RecordSize = 0;
    uint16_t BlobFieldCount = 0;
};
TRecordLayout ComputeRecordLayout(std::vector<TFieldDescriptor>& fields, const std::string& table);

// Checks and normalises field definitions for a new table: names trimmed,
// sizes and scales set by type, fields ordered and numbered by their field
// numbers. Raises DEZEDE_FLDLIMIT, DEZEDE_INVALIDFIELDNAME,
// DEZEDE_INVALIDFLDTYPE or DEZEDE_INVALIDVCHKSTRUCT naming field and table,
// then computes the layout as above.
TRecordLayout CheckFieldDefinitions(std::vector<TFieldDescriptor>& fields, const std::string& table);

// Whether a name may name a field or index: not empty, at most 60 characters,
// first character a letter, "_" or a character from 128 to 254.
bool ValidObjectName(std::string_view name);

// The header and descriptor checks of a table verification; the first failure
// raises DEZEDE_HEADERCORRUPT (an uninstalled locale DEZEDE_CANNOTLOADLDDRV).
void VerifyDataHeader(const TDataHeader& h, const std::vector<TFieldDescriptor>& fields, uint64_t fileSize,
                      const std::string& table);

// Record slots.
inline constexpr uint8_t kRecordActive = 0;
inline constexpr uint8_t kRecordFree = 1;
inline constexpr uint8_t kRecordLinked = 3;

inline uint64_t DataStart(uint16_t fieldCount) { return kFileHeaderSize + uint64_t{768} * fieldCount; }

// The digest of the record's field area (bytes 25 to the end), with the
// null-flag and value bytes of BLOB and no-hash fields zeroed when the table
// has BLOB fields.
TDigest ComputeRecordHash(const std::vector<TFieldDescriptor>& fields, uint16_t blobFieldCount,
                          std::span<const uint8_t> record);

}  // namespace dezede
