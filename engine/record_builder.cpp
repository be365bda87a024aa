#include "engine/record_builder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/data_file.h"
#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/field_value.h"
#include "support/endian.h"

namespace dezede {
namespace {

bool IsAutoInc(const TFieldDescriptor& f) { return f.Type == ftdInteger && f.SubType == fsdAutoInc; }

}  // namespace

int32_t FillAutoIncFields(const TDataFile& data, std::span<uint8_t> image) {
    const int32_t last = data.Header().LastAutoInc;
    int32_t raised = last;
    bool generated = false;
    const int32_t next = NextCounter(last);
    for (const TFieldDescriptor& f : data.Fields()) {
        if (!IsAutoInc(f)) continue;
        uint8_t value[4] = {};
        if (GetFieldValue(f, image, value)) {
            StoreLE32(value, static_cast<uint32_t>(next));
            SetFieldValue(f, image, std::span<const uint8_t>(value, 4));
            generated = true;
        } else {
            raised = std::max(raised, static_cast<int32_t>(LoadLE32(value)));
        }
    }
    // After the wrap the generated value is below the last one and still becomes the last.
    if (generated) raised = next > last ? std::max(raised, next) : next;
    return raised;
}

void FinishRecordImage(const TDataFile& data, std::span<uint8_t> image, uint32_t recNo, int32_t recordId,
                       const std::string& table) {
    if (image.size() < kRecordDataOffset) RaiseError(DEZEDE_INVALIDKEY, {.Table = table});
    image[0] = kRecordActive;
    StoreLE32(image.data() + 1, recNo);
    StoreLE32(image.data() + kRecordIDOffset, static_cast<uint32_t>(recordId));
    CheckConstraints(data.Fields(), image, data.Header().Locale, table);
    const TDigest hash = ComputeRecordHash(data.Fields(), data.Header().BlobFieldCount, image);
    std::memcpy(image.data() + kRecordHashOffset, hash.data(), kRecordHashSize);
}

int32_t RecordIdOf(std::span<const uint8_t> image) {
    return image.size() >= kRecordIDOffset + 4 ? static_cast<int32_t>(LoadLE32(image.data() + kRecordIDOffset)) : 0;
}

bool SameRecordHash(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    if (a.size() < kRecordDataOffset || b.size() < kRecordDataOffset) return false;
    return std::memcmp(a.data() + kRecordHashOffset, b.data() + kRecordHashOffset, kRecordHashSize) == 0;
}

}  // namespace dezede
