#pragma once
// Field descriptors and the encodings of field values: storage and key sizes,
// reading and writing a field in a record image, the index key form of every
// type (big-endian, sign-flipped, so that keys compare as unsigned bytes),
// key comparison with locales and descending fields, and string comparison.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/field_type.h"
#include "support/locales.h"

namespace dezede {

inline constexpr size_t kFieldDescriptorSize = 768;
inline constexpr int16_t kRecordIDField = -1;
inline constexpr int16_t kRecordHashField = -2;
inline constexpr uint16_t kRecordIDOffset = 5;
inline constexpr uint16_t kRecordHashOffset = 9;
inline constexpr uint16_t kRecordHashSize = 16;
inline constexpr uint16_t kRecordDataOffset = 25;  // first field's null-flag byte
inline constexpr size_t kMaxFieldNameLength = 60;
inline constexpr size_t kMaxFieldDescriptionLength = 100;
inline constexpr size_t kMaxLiteralLength = 100;
inline constexpr size_t kQueryInfoSize = 282;

enum TCharCase : uint8_t { ccUnchanged = 0, ccLower = 1, ccUpper = 2 };

// One field as held in memory; the 768-byte on-disk form is built and parsed
// by EncodeFieldDescriptor/DecodeFieldDescriptor (engine/data_file_format.h).
struct TFieldDescriptor {
    int16_t FieldNumber = 0;
    std::string Name;
    std::string Description;
    uint8_t Type = ftdNone;
    uint8_t SubType = fsdNone;
    uint16_t Size = 0;  // declared size
    uint8_t Scale = 0;
    uint16_t StorageSize = 0;
    uint8_t StorageScale = 0;
    uint16_t Offset = 0;  // of the null-flag byte (pseudo fields: of the value)
    bool Required = false;
    uint8_t CharCase = ccUnchanged;
    std::string MinValue;
    std::string MaxValue;
    std::string DefaultValue;
    uint8_t Compression = 0;  // zlib level of a BLOB field
    bool Computed = false;
    uint32_t ExpressionRef = 0;
    bool NoHash = false;
    std::array<uint8_t, kQueryInfoSize> QueryInfo{};

    bool IsPseudo() const { return FieldNumber < 0; }
    bool IsBlob() const { return Type == ftdBlob; }
    bool IsString() const { return Type == ftdString; }
    bool operator==(const TFieldDescriptor&) const = default;
};

// The descriptors of the two pseudo fields every record carries.
const TFieldDescriptor& RecordIDDescriptor();
const TFieldDescriptor& RecordHashDescriptor();

// A descriptor by name, type, declared size and subtype, everything else
// default: what table definitions written in code start from.
TFieldDescriptor FieldDef(std::string name, uint8_t type, uint16_t size = 0, uint8_t subType = fsdNone);

// Bytes of the value in a record, without the null-flag byte.
uint16_t StorageSize(uint8_t type, uint8_t subType, uint16_t declaredSize);
inline uint16_t StorageSize(const TFieldDescriptor& f) { return StorageSize(f.Type, f.SubType, f.Size); }
// Bytes of the encoded value in a key, without the presence byte.
uint16_t KeySize(uint8_t type, uint8_t subType, uint16_t declaredSize);
inline uint16_t KeySize(const TFieldDescriptor& f) { return KeySize(f.Type, f.SubType, f.Size); }
// Largest declared size a value of the type may need; sizes conversion buffers.
uint16_t MaxDeclaredSize(uint8_t type, uint8_t subType);

// Reads a field of a record image into value (StorageSize bytes; 4 for a BLOB
// field, the first block of its reference). Returns true when the field is
// null. Pseudo fields are never null. A field that does not fit into the
// record or value span raises DEZEDE_FILECORRUPT.
bool GetFieldValue(const TFieldDescriptor& f, std::span<const uint8_t> record, std::span<uint8_t> value);

// Writes a field into a record image. std::nullopt sets it to null. Strings
// are the text bytes (cut at the first NUL and at StorageSize - 1 characters,
// trailing blanks removed unless fixed length, the field's character case
// applied with the locale; an empty result is null). Other types take
// StorageSize bytes (a shorter value is zero-padded), a BLOB field the 4 bytes
// of its first block. Booleans other than 0 are stored as 1.
void SetFieldValue(const TFieldDescriptor& f, std::span<uint8_t> record,
                   std::optional<std::span<const uint8_t>> value, uint32_t locale = 0);

// Writes the key form of one field: a presence byte (0 for null) followed by
// KeySize(f) bytes. value holds the field's storage bytes (ignored when null).
// dest must hold 1 + KeySize(f) bytes.
void EncodeKeyValue(const TFieldDescriptor& f, std::span<const uint8_t> value, bool isNull,
                    bool caseInsensitive, uint32_t locale, std::span<uint8_t> dest);

// Key forms of plain numbers, for callers that build keys without a record.
void EncodeKeyInt32(int32_t v, std::span<uint8_t> dest4);
void EncodeKeyInt64(int64_t v, std::span<uint8_t> dest8);
void EncodeKeyDouble(double v, std::span<uint8_t> dest8);

// What CompareKeys needs to know of an index: per key field its key size, its
// descending flag and whether it is a string; the full-text index compares
// its 68-byte keys by their own rule.
struct TKeyField {
    int16_t FieldNumber = 0;
    uint8_t Type = ftdNone;
    uint16_t KeySize = 0;
    bool Descending = false;
};

struct TKeyLayout {
    uint32_t Locale = 0;
    bool FullText = false;
    std::vector<TKeyField> Fields;
};

// Compares the first length bytes of two keys: -1, 0 or 1.
int CompareKeys(const TKeyLayout& layout, std::span<const uint8_t> key1, std::span<const uint8_t> key2,
                size_t length);

// String comparison with a table's locale is CompareStrings of support/locales.h.

// Upper- or lower-cases the NUL-terminated text in place with the locale's
// case mapping (Windows-1252 for locale 0); a mapping that grows the text is
// cut at the buffer, which stays NUL-terminated when it was.
void ConvertCase(uint32_t locale, std::span<uint8_t> text, bool upper);

// The currency (a 64-bit integer scaled by 10,000) of a 34-byte BCD record,
// rounded; values beyond the 64-bit range are clamped, malformed ones are 0.
int64_t BcdRecordToCurrency(std::span<const uint8_t> bcd34);
// Writes the 34-byte record of a currency with the field's scale (zeroes when
// it does not fit).
void CurrencyToBcdRecord(int64_t currency, uint8_t scale, std::span<uint8_t> bcd34);

}  // namespace dezede
