#pragma once
// Byte layout of the index file's 512-byte header and its 32 index
// descriptors of 768 bytes (slot 0 primary, 1 to 30 secondary, 31 full-text),
// the index definition checks, the key size and key layout of an index, and
// the building of a record's key.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/data_file_format.h"
#include "engine/field_types.h"

namespace dezede {

inline constexpr size_t kIndexSlotCount = 32;
inline constexpr size_t kIndexDescriptorSize = 768;
inline constexpr size_t kIndexDescriptorAreaSize = kIndexSlotCount * kIndexDescriptorSize;  // 24576
inline constexpr uint64_t kIndexDataStart = kFileHeaderSize + kIndexDescriptorAreaSize;     // 25088
inline constexpr size_t kPrimaryIndexSlot = 0;
inline constexpr size_t kFullTextIndexSlot = 31;
inline constexpr size_t kMaxSecondaryIndexes = 30;
inline constexpr size_t kMaxIndexFields = 128;
inline constexpr uint16_t kMaxKeySize = 4106;
inline constexpr uint16_t kFullTextKeySize = 68;
inline constexpr size_t kPageHeaderSize = 13;
inline constexpr const char* kFullTextIndexName = "Sys Text";

enum TIndexCompression : uint8_t { icNone = 0, icDuplicate = 1, icTrailing = 2, icFull = 3 };

struct TIndexHeader {
    int32_t ChangeCounter = 0;
    uint8_t Version = kFormatVersion;
    TDigest Signature{};
    uint32_t FirstFreePage = 0;
    uint32_t NextPageNumber = 1;
    uint8_t SecondaryCount = 0;
    std::array<uint32_t, kIndexSlotCount> RootPages{};
    std::array<uint32_t, kIndexSlotCount> AuxPages{};
    uint8_t ChangedFlag = 0;
};

struct TIndexDescriptor {
    std::string Name;
    uint16_t KeySize = 0;
    bool Descending = false;
    bool CaseInsensitive = false;
    bool Unique = false;
    uint8_t Compression = icNone;
    uint8_t FieldCount = 0;
    std::array<bool, kMaxIndexFields> DescendingFields{};
    std::array<int16_t, kMaxIndexFields> FieldNumbers{};
    bool NoKeyStats = false;
    uint8_t RebuildMark = 0;

    bool Defined() const { return FieldCount > 0; }
    bool operator==(const TIndexDescriptor&) const = default;
};

void EncodeIndexHeader(const TIndexHeader& h, std::span<uint8_t> out512);
TIndexHeader DecodeIndexHeader(std::span<const uint8_t> in512);
void EncodeIndexDescriptor(const TIndexDescriptor& d, std::span<uint8_t> out768);
TIndexDescriptor DecodeIndexDescriptor(std::span<const uint8_t> in768);

// An index on one field (by field number); the key size is filled in when the
// table is created.
TIndexDescriptor OneFieldIndex(std::string name, int16_t fieldNumber, bool unique = false);

// The primary index of a table that has none of its own: RecordID, unique.
TIndexDescriptor DefaultPrimaryIndex();
bool IsDefaultPrimaryIndex(const TIndexDescriptor& d);
// Slot 31: "Sys Text", key size 68, full compression, no key statistics.
TIndexDescriptor FullTextIndex(const std::vector<int16_t>& fields);

// The field of a table (or pseudo field) that a key field names, or nullptr.
const TFieldDescriptor* FindKeyField(const std::vector<TFieldDescriptor>& fields, int16_t number);

// Sum of (key size + 1) over the index fields, + 4 for the RecordID suffix of
// a non-unique index; 0 when a field number names no field.
uint32_t ComputeKeySize(const TIndexDescriptor& d, const std::vector<TFieldDescriptor>& fields);

// Checks an index definition against the table's fields and page size and
// fills in its key size: DEZEDE_INVALIDINDEXNAME, DEZEDE_INVALIDIDXDESC,
// DEZEDE_SEARCHCOLREQD, DEZEDE_INVALIDKEY or DEZEDE_INDEXLIMIT, naming the
// index and the table.
void CheckIndexDefinition(TIndexDescriptor& d, bool primary, const std::vector<TFieldDescriptor>& fields,
                          uint32_t pageSize, const std::string& table);

// The verification rules of the index header and descriptors; the first
// failure raises DEZEDE_HEADERCORRUPT naming the table.
void VerifyIndexHeader(const TIndexHeader& h, const std::array<TIndexDescriptor, kIndexSlotCount>& slots,
                       const std::vector<TFieldDescriptor>& fields, uint32_t pageSize, uint64_t fileSize,
                       const std::string& table);

// The comparison layout of an index for CompareKeys.
TKeyLayout MakeKeyLayout(const TIndexDescriptor& d, bool fullText, const std::vector<TFieldDescriptor>& fields,
                         uint32_t locale);

// Builds the key of a record for an index (d.KeySize bytes into dest): each
// field's presence byte and key form, then the RecordID unless unique.
void BuildRecordKey(const TIndexDescriptor& d, const std::vector<TFieldDescriptor>& fields, uint32_t locale,
                    std::span<const uint8_t> record, std::span<uint8_t> dest);

}  // namespace dezede
