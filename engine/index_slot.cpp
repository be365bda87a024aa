#include "engine/index_slot.h"

#include <algorithm>
#include <cstring>

#include "support/locales.h"

namespace dezede {

TIndexShape IndexShapeOf(const TIndexDescriptor& descriptor, uint32_t pageSize) {
    return {.PageSize = pageSize,
            .KeySize = descriptor.KeySize,
            .Unique = descriptor.Unique,
            .Compression = descriptor.Compression,
            .NoKeyStats = descriptor.NoKeyStats};
}

TKeyCompare KeyCompareOf(TKeyLayout layout) {
    // Without descending fields and locale-ordered strings every field compares
    // bytewise, and so does the whole key: one memcmp gives the same order.
    const bool bytewise = !layout.FullText && std::none_of(layout.Fields.begin(), layout.Fields.end(), [&](const TKeyField& f) {
        return f.Descending || (layout.Locale != 0 && f.Type == ftdString);
    });
    if (bytewise)
        return [](const uint8_t* a, const uint8_t* b, size_t length) {
            const int r = std::memcmp(a, b, length);
            return (r > 0) - (r < 0);
        };
    return [layout = std::move(layout)](const uint8_t* a, const uint8_t* b, size_t length) {
        return CompareKeys(layout, {a, length}, {b, length}, length);
    };
}

TUpperCase FullTextUpperCase(uint32_t locale) {
    return [locale](std::string_view word) { return UpperCase(locale, word); };
}

TIndexSlot::TIndexSlot(TIndexFile& file, size_t slot, const std::vector<TFieldDescriptor>& fields, uint32_t locale)
    : File_(file),
      Slot_(slot),
      Compare_(KeyCompareOf(MakeKeyLayout(file.Index(slot), slot == kFullTextIndexSlot, fields, locale))),
      Store_(file, *this, IndexShapeOf(file.Index(slot), file.PageSize()), file.TableName(), static_cast<int32_t>(slot)),
      Tree_(Store_, Compare_) {}

}  // namespace dezede
