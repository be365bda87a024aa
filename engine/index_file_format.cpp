#include "engine/index_file_format.h"

#include <algorithm>
#include <cstring>

#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/format_bytes.h"

namespace dezede {

using namespace fmt;

void EncodeIndexHeader(const TIndexHeader& h, std::span<uint8_t> out) {
    std::memset(out.data(), 0, kFileHeaderSize);
    StoreLE32(out, 0, static_cast<uint32_t>(h.ChangeCounter));
    out[8] = h.Version;
    std::memcpy(out.data() + 9, h.Signature.data(), 16);
    StoreLE32(out, 25, h.FirstFreePage);
    StoreLE32(out, 29, h.NextPageNumber);
    out[33] = h.SecondaryCount;
    for (size_t i = 0; i < kIndexSlotCount; ++i) {
        StoreLE32(out, 34 + 4 * i, h.RootPages[i]);
        StoreLE32(out, 162 + 4 * i, h.AuxPages[i]);
    }
    out[290] = h.ChangedFlag;
}

TIndexHeader DecodeIndexHeader(std::span<const uint8_t> in) {
    TIndexHeader h;
    h.ChangeCounter = LoadLEI32(in, 0);
    h.Version = in[8];
    std::memcpy(h.Signature.data(), in.data() + 9, 16);
    h.FirstFreePage = LoadLE32(in, 25);
    h.NextPageNumber = LoadLE32(in, 29);
    h.SecondaryCount = in[33];
    for (size_t i = 0; i < kIndexSlotCount; ++i) {
        h.RootPages[i] = LoadLE32(in, 34 + 4 * i);
        h.AuxPages[i] = LoadLE32(in, 162 + 4 * i);
    }
    h.ChangedFlag = 0;
    return h;
}

void EncodeIndexDescriptor(const TIndexDescriptor& d, std::span<uint8_t> out) {
    std::memset(out.data(), 0, kIndexDescriptorSize);
    StoreShortString(out, 0, 60, d.Name);
    StoreLE16(out, 61, d.KeySize);
    out[126] = d.Descending ? 1 : 0;
    out[127] = d.CaseInsensitive ? 1 : 0;
    out[128] = d.Unique ? 1 : 0;
    out[129] = d.Compression;
    out[130] = d.FieldCount;
    for (size_t i = 0; i < kMaxIndexFields; ++i) {
        out[131 + i] = d.DescendingFields[i] ? 1 : 0;
        StoreLE16(out, 259 + 2 * i, static_cast<uint16_t>(d.FieldNumbers[i]));
    }
    out[515] = d.NoKeyStats ? 1 : 0;
    out[516] = d.RebuildMark;
}

TIndexDescriptor DecodeIndexDescriptor(std::span<const uint8_t> in) {
    TIndexDescriptor d;
    d.Name = LoadShortString(in, 0, 60);
    d.KeySize = LoadLE16(in, 61);
    d.Descending = in[126] != 0;
    d.CaseInsensitive = in[127] != 0;
    d.Unique = in[128] != 0;
    d.Compression = in[129];
    d.FieldCount = in[130];
    for (size_t i = 0; i < kMaxIndexFields; ++i) {
        d.DescendingFields[i] = in[131 + i] != 0;
        d.FieldNumbers[i] = LoadLEI16(in, 259 + 2 * i);
    }
    d.NoKeyStats = in[515] != 0;
    d.RebuildMark = in[516];
    return d;
}

TIndexDescriptor OneFieldIndex(std::string name, int16_t fieldNumber, bool unique) {
    TIndexDescriptor d;
    d.Name = std::move(name);
    d.Unique = unique;
    d.FieldCount = 1;
    d.FieldNumbers[0] = fieldNumber;
    return d;
}

TIndexDescriptor DefaultPrimaryIndex() {
    TIndexDescriptor d = OneFieldIndex("", kRecordIDField, true);
    d.KeySize = 5;
    return d;
}

bool IsDefaultPrimaryIndex(const TIndexDescriptor& d) {
    return d.FieldCount == 1 && d.FieldNumbers[0] == kRecordIDField && d.Unique && !d.DescendingFields[0] &&
           !d.Descending;
}

TIndexDescriptor FullTextIndex(const std::vector<int16_t>& fields) {
    TIndexDescriptor d;
    d.Name = kFullTextIndexName;
    d.KeySize = kFullTextKeySize;
    d.Compression = icFull;
    d.NoKeyStats = true;
    d.FieldCount = static_cast<uint8_t>(std::min(fields.size(), kMaxIndexFields));
    for (size_t i = 0; i < d.FieldCount; ++i) d.FieldNumbers[i] = fields[i];
    return d;
}

const TFieldDescriptor* FindKeyField(const std::vector<TFieldDescriptor>& fields, int16_t number) {
    if (number == kRecordIDField) return &RecordIDDescriptor();
    if (number == kRecordHashField) return &RecordHashDescriptor();
    for (const TFieldDescriptor& f : fields)
        if (f.FieldNumber == number) return &f;
    return nullptr;
}

uint32_t ComputeKeySize(const TIndexDescriptor& d, const std::vector<TFieldDescriptor>& fields) {
    uint32_t size = 0;
    for (size_t i = 0; i < d.FieldCount && i < kMaxIndexFields; ++i) {
        const TFieldDescriptor* f = FindKeyField(fields, d.FieldNumbers[i]);
        if (!f) return 0;
        size += uint32_t{KeySize(*f)} + 1;
    }
    return d.Unique ? size : size + 4;
}

namespace {

uint32_t MaxKeySizeFor(uint32_t pageSize) {
    uint32_t byPage = pageSize > kPageHeaderSize ? (pageSize - kPageHeaderSize) / 3 : 0;
    return std::min<uint32_t>(kMaxKeySize, byPage);
}

bool SameIndexName(const std::string& a, const std::string& b) { return CompareStrings(0, a, b, true) == 0; }

}  // namespace

void CheckIndexDefinition(TIndexDescriptor& d, bool primary, const std::vector<TFieldDescriptor>& fields,
                          uint32_t pageSize, const std::string& table) {
    auto fail = [&](uint16_t code, const std::string& field = {}) {
        RaiseError(code, {.Table = table, .Field = field, .Index = d.Name});
    };
    if (primary) {
        d.Name.clear();
        d.Unique = true;
    } else if (!ValidObjectName(d.Name)) {
        fail(DEZEDE_INVALIDINDEXNAME);
    }
    if (d.FieldCount > kMaxIndexFields) fail(DEZEDE_INDEXLIMIT);
    if (d.FieldCount == 0) fail(DEZEDE_INVALIDIDXDESC);
    for (size_t i = 0; i < d.FieldCount; ++i) {
        const TFieldDescriptor* f = FindKeyField(fields, d.FieldNumbers[i]);
        if (!f || f->Computed) fail(DEZEDE_INVALIDIDXDESC);
        if (f->IsBlob()) fail(DEZEDE_SEARCHCOLREQD, f->Name);
    }
    for (size_t i = d.FieldCount; i < kMaxIndexFields; ++i) {
        d.FieldNumbers[i] = 0;
        d.DescendingFields[i] = false;
    }
    if (d.Compression > icFull) fail(DEZEDE_INVALIDIDXDESC);
    uint32_t size = ComputeKeySize(d, fields);
    if (size == 0 || size > MaxKeySizeFor(pageSize)) fail(DEZEDE_INVALIDKEY);
    d.KeySize = static_cast<uint16_t>(size);
    d.RebuildMark = 0;
}

void VerifyIndexHeader(const TIndexHeader& h, const std::array<TIndexDescriptor, kIndexSlotCount>& slots,
                       const std::vector<TFieldDescriptor>& fields, uint32_t pageSize, uint64_t fileSize,
                       const std::string& table) {
    auto corrupt = [&] { RaiseError(DEZEDE_HEADERCORRUPT, {.Table = table}); };
    if (pageSize < kMinIndexPageSize || pageSize > kMaxIndexPageSize) corrupt();
    if (h.SecondaryCount > kMaxSecondaryIndexes) corrupt();
    uint64_t pages = fileSize > kIndexDataStart ? (fileSize - kIndexDataStart) / pageSize : 0;
    uint64_t lastPage = h.NextPageNumber > 0 ? h.NextPageNumber - 1 : 0;
    if (lastPage > pages) corrupt();
    if (h.FirstFreePage > lastPage) corrupt();
    auto validPage = [&](uint32_t p) { return p <= lastPage; };
    for (size_t slot = 0; slot < kIndexSlotCount; ++slot) {
        const TIndexDescriptor& d = slots[slot];
        if (!validPage(h.RootPages[slot]) || !validPage(h.AuxPages[slot])) corrupt();
        if (slot == kFullTextIndexSlot) {
            if (d.Name != kFullTextIndexName || d.KeySize != kFullTextKeySize || d.Compression != icFull ||
                !d.NoKeyStats || d.FieldCount > kMaxIndexFields)
                corrupt();
            for (size_t i = 0; i < d.FieldCount; ++i) {
                const TFieldDescriptor* f = FindKeyField(fields, d.FieldNumbers[i]);
                if (!f || f->IsPseudo() || !(f->IsString() || (f->IsBlob() && f->SubType == fsdMemo))) corrupt();
            }
            continue;
        }
        if (slot == kPrimaryIndexSlot) {
            if (!d.Name.empty() || !d.Unique || d.FieldCount == 0) corrupt();
        } else {
            if (!d.Defined()) {
                if (!d.Name.empty()) corrupt();
                continue;
            }
            if (!ValidObjectName(d.Name)) corrupt();
            for (size_t other = 1; other < slot; ++other)
                if (slots[other].Defined() && SameIndexName(slots[other].Name, d.Name)) corrupt();
        }
        if (d.FieldCount > kMaxIndexFields) corrupt();
        for (size_t i = 0; i < kMaxIndexFields; ++i) {
            if (i < d.FieldCount) {
                const TFieldDescriptor* f = FindKeyField(fields, d.FieldNumbers[i]);
                if (d.FieldNumbers[i] == 0 || !f || f->IsBlob() || f->Computed) corrupt();
            } else if (d.FieldNumbers[i] != 0) {
                corrupt();
            }
        }
        uint32_t size = ComputeKeySize(d, fields);
        if (size == 0 || size > MaxKeySizeFor(pageSize) || size != d.KeySize) corrupt();
    }
}

TKeyLayout MakeKeyLayout(const TIndexDescriptor& d, bool fullText, const std::vector<TFieldDescriptor>& fields,
                         uint32_t locale) {
    TKeyLayout layout;
    layout.Locale = locale;
    layout.FullText = fullText;
    if (fullText) return layout;
    for (size_t i = 0; i < d.FieldCount && i < kMaxIndexFields; ++i) {
        const TFieldDescriptor* f = FindKeyField(fields, d.FieldNumbers[i]);
        if (!f) continue;
        layout.Fields.push_back({f->FieldNumber, f->Type, KeySize(*f), d.DescendingFields[i] || d.Descending});
    }
    return layout;
}

void BuildRecordKey(const TIndexDescriptor& d, const std::vector<TFieldDescriptor>& fields, uint32_t locale,
                    std::span<const uint8_t> record, std::span<uint8_t> dest) {
    size_t pos = 0;
    std::vector<uint8_t> value;
    for (size_t i = 0; i < d.FieldCount && i < kMaxIndexFields; ++i) {
        const TFieldDescriptor* f = FindKeyField(fields, d.FieldNumbers[i]);
        if (!f) RaiseError(DEZEDE_INVALIDIDXDESC, {.Index = d.Name});
        size_t n = size_t{1} + KeySize(*f);
        if (pos + n > dest.size()) RaiseError(DEZEDE_INVALIDKEY, {.Index = d.Name});
        value.assign(std::max<size_t>(f->StorageSize, 8), 0);
        bool isNull = GetFieldValue(*f, record, value);
        EncodeKeyValue(*f, value, isNull, d.CaseInsensitive, locale, dest.subspan(pos, n));
        pos += n;
    }
    if (!d.Unique) {
        if (pos + 4 > dest.size() || record.size() < 9) RaiseError(DEZEDE_INVALIDKEY, {.Index = d.Name});
        EncodeKeyInt32(LoadLEI32(record, kRecordIDOffset), dest.subspan(pos, 4));
        pos += 4;
    }
    std::fill(dest.begin() + static_cast<std::ptrdiff_t>(pos), dest.end(), 0);
}

}  // namespace dezede
