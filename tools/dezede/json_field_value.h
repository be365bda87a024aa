#pragma once
// JSON values in the forms `dezede dump` writes, converted back into field
// values: the inverse of the dump's value forms, for `dezede load`.
//
//   string                 JSON string (UTF-8, converted to the table's code page)
//   boolean                true / false
//   integer types          JSON integer within the type's range
//   float                  JSON number
//   date, time, timestamp  "yyyy-mm-dd", "hh:mm:ss.zzz", "yyyy-mm-dd hh:mm:ss.zzz"
//   BCD                    decimal text ("-12.50"), at most the field's places
//   memo BLOB              JSON string
//   binary BLOB, bytes     hex text (either case)
//
// null is NULL. A value that its field cannot hold exactly (a text too long
// or with characters outside the code page, a number out of range, decimals
// beyond the field's places) is an error, never cut silently. The input is
// untrusted: every failure is an EJsonValueError with a readable message.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/field_types.h"

namespace dezede::tool {

class EJsonValueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The value of field f converted from its JSON form: nothing for null; for a
// non-BLOB field the storage bytes that SetFieldValue takes; for a BLOB field
// the whole value (a memo's text in the code page of locale). A computed
// field takes only null.
std::optional<std::vector<uint8_t>> JsonToFieldValue(const TFieldDescriptor& f, const nlohmann::json& value,
                                                     uint32_t locale);

// The 34-byte BCD record of a decimal text with exactly `scale` places;
// digits beyond the scale must be zeros. Nothing for any other text.
std::optional<std::vector<uint8_t>> DecimalToBcdRecord(std::string_view text, uint8_t scale);

// One record line of a load: the image to append (every non-BLOB field set,
// BLOB fields null) and the non-empty BLOB values to write through the cursor.
struct TJsonRecord {
    struct TBlobValue {
        size_t Field;  // index into the reader's fields
        std::vector<uint8_t> Bytes;
    };
    std::vector<uint8_t> Image;
    std::vector<TBlobValue> Blobs;
};

// Turns record lines (one JSON object each, keys the field names as dump
// writes them, matched without regard to case) into record images. A missing
// key or null is NULL, a "RecordID" key is ignored (the table gives the ID),
// an unknown or repeated key is an error.
class TJsonRecordReader {
public:
    TJsonRecordReader(std::vector<TFieldDescriptor> fields, uint32_t locale, size_t recordSize);

    const std::vector<TFieldDescriptor>& Fields() const { return Fields_; }
    // Parses one line into out; raises EJsonValueError.
    void Read(std::string_view line, TJsonRecord& out) const;

private:
    std::vector<TFieldDescriptor> Fields_;
    std::vector<std::string> UpperNames_;  // in the code page, for matching keys
    uint32_t Locale_;
    size_t RecordSize_;
};

}  // namespace dezede::tool
