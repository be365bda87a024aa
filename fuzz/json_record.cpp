// Feeds arbitrary text to `dezede load`'s record reader as one record line of
// a table with a field of every type, and to the decimal conversion, which
// must read back what it writes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/data_file_format.h"
#include "engine/engine_error.h"
#include "engine/field_value.h"
#include "tools/dezede/json_field_value.h"

using namespace dezede;

namespace {

const tool::TJsonRecordReader& Reader() {
    static const tool::TJsonRecordReader reader = [] {
        std::vector<TFieldDescriptor> fields = {
            FieldDef("S", ftdString, 8),      FieldDef("B", ftdBoolean),          FieldDef("I16", ftdSmallInt),
            FieldDef("W", ftdWord),           FieldDef("I", ftdInteger),          FieldDef("U", ftdUInteger),
            FieldDef("L", ftdLargeInt),       FieldDef("UL", ftdULargeInt),       FieldDef("F", ftdFloat),
            FieldDef("D", ftdDate),           FieldDef("T", ftdTime),             FieldDef("TS", ftdTimestamp),
            FieldDef("N", ftdBCD),            FieldDef("Y", ftdBytes, 4),         FieldDef("V", ftdVarBytes, 6),
            FieldDef("M", ftdBlob, 0, fsdMemo), FieldDef("G", ftdBlob, 0, fsdGraphic), FieldDef("X", ftdBlob),
            FieldDef("Up", ftdString, 4, fsdNone),
        };
        fields[12].Scale = 3;
        fields.back().CharCase = ccUpper;
        for (size_t i = 0; i < fields.size(); ++i) fields[i].FieldNumber = static_cast<int16_t>(i + 1);
        const TRecordLayout layout = ComputeRecordLayout(fields, "fuzz");
        return tool::TJsonRecordReader(fields, 1031, layout.RecordSize);  // a German locale
    }();
    return reader;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tool::TJsonRecord record;
    try {
        Reader().Read(text, record);
        if (record.Image.empty()) std::abort();
    } catch (const tool::EJsonValueError&) {
    } catch (const EDEZEDEEngineError&) {
    }
    const uint8_t scale = static_cast<uint8_t>(size % 34);
    if (std::optional<std::vector<uint8_t>> bcd = tool::DecimalToBcdRecord(text, scale)) {
        if (tool::DecimalToBcdRecord(FormatBcd(*bcd, scale), scale) != bcd) std::abort();
    }
    return 0;
}
