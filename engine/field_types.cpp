#include "engine/field_types.h"

#include <algorithm>
#include <cstring>

#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/format_bytes.h"
#include "support/ansi_strings.h"
#include "support/bcd.h"

namespace dezede {

namespace {

TFieldDescriptor MakePseudo(int16_t number, const char* name, uint8_t type, uint8_t subType, uint16_t size,
                            uint16_t storage, uint16_t offset) {
    TFieldDescriptor f;
    f.FieldNumber = number;
    f.Name = name;
    f.Type = type;
    f.SubType = subType;
    f.Size = size;
    f.StorageSize = storage;
    f.Offset = offset;
    return f;
}

// Big-endian with the top bit inverted: signed integers sort as unsigned bytes.
void StoreSignFlipped(std::span<uint8_t> dest, size_t o, uint64_t v, size_t width) {
    fmt::StoreBE(dest, o, v, width);
    dest[o] ^= 0x80;
}

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

int CompareBytes(const uint8_t* a, const uint8_t* b, size_t n) { return n ? Sign(std::memcmp(a, b, n)) : 0; }

}  // namespace

const TFieldDescriptor& RecordIDDescriptor() {
    static const TFieldDescriptor f = MakePseudo(kRecordIDField, "RecordID", ftdInteger, fsdNone, 0, 4, kRecordIDOffset);
    return f;
}

const TFieldDescriptor& RecordHashDescriptor() {
    static const TFieldDescriptor f =
        MakePseudo(kRecordHashField, "RecordHash", ftdBytes, fsdRecordHash, kRecordHashSize, kRecordHashSize,
                   kRecordHashOffset);
    return f;
}

TFieldDescriptor FieldDef(std::string name, uint8_t type, uint16_t size, uint8_t subType) {
    TFieldDescriptor f;
    f.Name = std::move(name);
    f.Type = type;
    f.Size = size;
    f.SubType = subType;
    return f;
}

uint16_t StorageSize(uint8_t type, uint8_t subType, uint16_t declaredSize) {
    switch (type) {
    case ftdString:
        return static_cast<uint16_t>(subType == fsdWideString ? declaredSize * 2 + 1 : declaredSize + 1);
    case ftdDate:
    case ftdInteger:
    case ftdTime:
        return 4;
    case ftdBlob:
    case ftdFloat:
    case ftdTimestamp:
    case ftdLargeInt:
        return 8;
    case ftdBoolean:
    case ftdSmallInt:
    case ftdWord:
        return 2;
    case ftdBCD:
        return 34;
    default:
        return declaredSize;
    }
}

uint16_t KeySize(uint8_t type, uint8_t subType, uint16_t declaredSize) {
    if (type == ftdBCD) return 8;
    return StorageSize(type, subType, declaredSize);
}

uint16_t MaxDeclaredSize(uint8_t type, uint8_t subType) {
    switch (type) {
    case ftdString:
        if (subType == fsdWideString) return 256;
        if (subType == fsdGuid) return 39;
        return 513;
    case ftdBlob:
    case ftdBytes:
    case ftdVarBytes:
        return 513;
    case ftdDate:
    case ftdInteger:
    case ftdTime:
    case ftdBoolean:
    case ftdSmallInt:
    case ftdWord:
    case ftdFloat:
    case ftdTimestamp:
    case ftdLargeInt:
    case ftdBCD:
        return StorageSize(type, subType, 0);
    default:
        return 0;
    }
}

namespace {

// The bytes of a field's value inside a record: [begin, begin + size).
struct TValueSpan {
    size_t Begin;
    size_t Size;
};

TValueSpan ValueSpan(const TFieldDescriptor& f, size_t recordSize) {
    size_t begin = f.IsPseudo() ? f.Offset : static_cast<size_t>(f.Offset) + 1;
    size_t size = f.StorageSize;
    if (f.IsPseudo() ? false : f.Offset < kRecordDataOffset) RaiseError(DEZEDE_FILECORRUPT, {.Field = f.Name});
    if (begin + size > recordSize) RaiseError(DEZEDE_FILECORRUPT, {.Field = f.Name});
    return {begin, size};
}

}  // namespace

bool GetFieldValue(const TFieldDescriptor& f, std::span<const uint8_t> record, std::span<uint8_t> value) {
    TValueSpan v = ValueSpan(f, record.size());
    size_t n = f.IsBlob() ? std::min<size_t>(4, v.Size) : v.Size;
    if (value.size() < n) RaiseError(DEZEDE_FILECORRUPT, {.Field = f.Name});
    std::memcpy(value.data(), record.data() + v.Begin, n);
    if (f.IsPseudo()) return false;
    return record[f.Offset] != 1;
}

void SetFieldValue(const TFieldDescriptor& f, std::span<uint8_t> record,
                   std::optional<std::span<const uint8_t>> value, uint32_t locale) {
    if (f.IsPseudo()) RaiseError(DEZEDE_INVALIDFLDTYPE, {.Field = f.Name});
    TValueSpan v = ValueSpan(f, record.size());
    uint8_t* dst = record.data() + v.Begin;
    if (!value) {
        if (!f.IsBlob()) std::memset(dst, 0, v.Size);
        record[f.Offset] = 0;
        return;
    }
    std::span<const uint8_t> src = *value;
    switch (f.Type) {
    case ftdString: {
        std::memset(dst, 0, v.Size);
        if (v.Size == 0) {
            record[f.Offset] = 0;
            return;
        }
        size_t n = 0;
        while (n < src.size() && n < v.Size - 1 && src[n] != 0) ++n;
        if (f.SubType != fsdFixedChar)
            while (n > 0 && src[n - 1] == ' ') --n;
        std::memcpy(dst, src.data(), n);
        if (f.CharCase == ccLower || f.CharCase == ccUpper)
            ConvertCase(locale, std::span<uint8_t>(dst, v.Size), f.CharCase == ccUpper);
        record[f.Offset] = dst[0] != 0 ? 1 : 0;
        return;
    }
    case ftdBoolean: {
        uint16_t b = src.size() >= 2 ? fmt::LoadLE16(src, 0) : (src.empty() ? 0 : src[0]);
        fmt::StoreLE16(std::span<uint8_t>(dst, 2), 0, b != 0 ? 1 : 0);
        record[f.Offset] = 1;
        return;
    }
    case ftdBlob: {
        size_t n = std::min<size_t>(4, v.Size);
        std::memset(dst, 0, n);
        std::memcpy(dst, src.data(), std::min(n, src.size()));
        return;
    }
    default:
        std::memset(dst, 0, v.Size);
        std::memcpy(dst, src.data(), std::min(src.size(), v.Size));
        record[f.Offset] = 1;
        return;
    }
}

void EncodeKeyInt32(int32_t v, std::span<uint8_t> dest4) { StoreSignFlipped(dest4, 0, static_cast<uint32_t>(v), 4); }
void EncodeKeyInt64(int64_t v, std::span<uint8_t> dest8) { StoreSignFlipped(dest8, 0, static_cast<uint64_t>(v), 8); }

void EncodeKeyDouble(double v, std::span<uint8_t> dest8) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    if (bits >> 63)
        bits = ~bits;
    else
        bits |= uint64_t{1} << 63;
    fmt::StoreBE(dest8, 0, bits, 8);
}

void EncodeKeyValue(const TFieldDescriptor& f, std::span<const uint8_t> value, bool isNull, bool caseInsensitive,
                    uint32_t locale, std::span<uint8_t> dest) {
    const uint16_t keySize = KeySize(f);
    const uint16_t storage = StorageSize(f);
    if (dest.size() < size_t{1} + keySize) RaiseError(DEZEDE_INVALIDKEY, {.Field = f.Name});
    dest[0] = isNull ? 0 : 1;
    std::span<uint8_t> out = dest.subspan(1, keySize);
    // A null value is encoded from all-zero data.
    std::vector<uint8_t> data(std::max<size_t>(storage, 8), 0);
    if (!isNull) std::memcpy(data.data(), value.data(), std::min<size_t>(value.size(), storage));
    std::span<const uint8_t> d(data);
    switch (f.Type) {
    case ftdDate:
    case ftdInteger:
    case ftdTime:
        StoreSignFlipped(out, 0, fmt::LoadLE32(d, 0), 4);
        break;
    case ftdSmallInt:
        StoreSignFlipped(out, 0, fmt::LoadLE16(d, 0), 2);
        break;
    case ftdBoolean:
    case ftdWord:
        fmt::StoreBE(out, 0, fmt::LoadLE16(d, 0), 2);
        break;
    case ftdLargeInt:
        StoreSignFlipped(out, 0, fmt::LoadLE64(d, 0), 8);
        break;
    case ftdFloat:
    case ftdTimestamp:
        EncodeKeyDouble(fmt::LoadLEDouble(d, 0), out);
        break;
    case ftdBCD:
        EncodeKeyInt64(isNull ? 0 : BcdRecordToCurrency(d.first(34)), out);
        break;
    case ftdString: {
        std::memset(out.data(), 0, keySize);
        size_t n = 0;
        while (n < keySize && d[n] != 0) ++n;
        std::memcpy(out.data(), d.data(), n);
        if (caseInsensitive) ConvertCase(locale, out, true);
        break;
    }
    default:
        std::memcpy(out.data(), d.data(), keySize);
        break;
    }
}

namespace {

std::string_view KeyText(std::span<const uint8_t> key, size_t offset, size_t maxLen) {
    size_t n = 0;
    while (n < maxLen && key[offset + n] != 0) ++n;
    return std::string_view(reinterpret_cast<const char*>(key.data() + offset), n);
}

int CompareFullTextKeys(uint32_t locale, std::span<const uint8_t> k1, std::span<const uint8_t> k2, size_t length) {
    size_t head = std::min<size_t>(3, length);
    if (int r = CompareBytes(k1.data(), k2.data(), head)) return r;
    if (length <= 3) return 0;
    size_t wordLen = std::min<size_t>(61, length - 3);
    if (int r = CompareStrings(locale, KeyText(k1, 3, wordLen), KeyText(k2, 3, wordLen), false,
                               static_cast<int>(wordLen)))
        return r;
    if (length <= 64) return 0;
    return CompareBytes(k1.data() + 64, k2.data() + 64, std::min<size_t>(4, length - 64));
}

}  // namespace

int CompareKeys(const TKeyLayout& layout, std::span<const uint8_t> key1, std::span<const uint8_t> key2,
                size_t length) {
    length = std::min({length, key1.size(), key2.size()});
    if (layout.FullText) return CompareFullTextKeys(layout.Locale, key1, key2, length);
    size_t pos = 0;
    for (const TKeyField& k : layout.Fields) {
        if (pos >= length) return 0;
        size_t m = std::min<size_t>(size_t{1} + k.KeySize, length - pos);
        int r;
        if (layout.Locale != 0 && k.Type == ftdString) {
            r = CompareBytes(key1.data() + pos, key2.data() + pos, 1);
            if (r == 0 && m > 1) {
                size_t maxLen = std::min<size_t>(k.KeySize, m - 1);
                r = CompareStrings(layout.Locale, KeyText(key1, pos + 1, maxLen), KeyText(key2, pos + 1, maxLen),
                                   false, static_cast<int>(maxLen));
            }
        } else {
            r = CompareBytes(key1.data() + pos, key2.data() + pos, m);
        }
        if (r != 0) return k.Descending ? -r : r;
        pos += size_t{1} + k.KeySize;
    }
    if (pos < length) return CompareBytes(key1.data() + pos, key2.data() + pos, length - pos);
    return 0;
}

void ConvertCase(uint32_t locale, std::span<uint8_t> text, bool upper) {
    size_t n = 0;
    while (n < text.size() && text[n] != 0) ++n;
    if (locale == 0) {
        for (size_t i = 0; i < n; ++i) text[i] = upper ? AnsiUpperChar(text[i]) : AnsiLowerChar(text[i]);
        return;
    }
    std::string_view in(reinterpret_cast<const char*>(text.data()), n);
    std::string mapped = upper ? UpperCase(locale, in) : LowerCase(locale, in);
    // Keep the terminating NUL inside the buffer when the text had one.
    size_t room = n < text.size() ? text.size() - 1 : text.size();
    size_t m = std::min(mapped.size(), room);
    std::memcpy(text.data(), mapped.data(), m);
    std::memset(text.data() + m, 0, n > m ? n - m : 0);
    if (m < text.size()) text[m] = 0;
}

int64_t BcdRecordToCurrency(std::span<const uint8_t> bcd34) {
    if (bcd34.size() < kBcdSize) return 0;
    TBcd bcd = TBcd::Load(bcd34.data());
    if (bcd.Precision == 0) return 0;
    if (auto c = BcdToCurrency(bcd)) return *c;
    double d = BcdToDouble(bcd);  // out of range (or malformed, which gives 0)
    if (d == 0) return 0;
    return d > 0 ? INT64_MAX : INT64_MIN;
}

void CurrencyToBcdRecord(int64_t currency, uint8_t scale, std::span<uint8_t> bcd34) {
    if (bcd34.size() < kBcdSize) return;
    std::memset(bcd34.data(), 0, kBcdSize);
    if (auto bcd = CurrencyToBcd(currency, std::min<int>(scale, 32))) bcd->Store(bcd34.data());
}

}  // namespace dezede
