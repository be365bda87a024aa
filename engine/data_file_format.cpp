#include "engine/data_file_format.h"

#include <algorithm>
#include <cstring>

#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/field_value.h"
#include "engine/format_bytes.h"
#include "support/locales.h"

namespace dezede {

using namespace fmt;

TDigest SignatureDigest(std::string_view signature) { return MD5Digest(signature); }

std::string VersionText(uint8_t version) {
    static const char* const kTexts[] = {"1.00", "1.02", "1.04", "1.08", "2.00", "3.00", "4.00"};
    return version < std::size(kTexts) ? kTexts[version] : "";
}

void EncodeDataHeader(const TDataHeader& h, std::span<uint8_t> out) {
    std::memset(out.data(), 0, kFileHeaderSize);
    StoreLE32(out, 0, static_cast<uint32_t>(h.ChangeCounter));
    out[8] = h.Version;
    std::memcpy(out.data() + 9, h.Signature.data(), 16);
    StoreLE32(out, 25, h.FirstFreeRecord);
    StoreLE32(out, 29, h.NextRecordNumber);
    StoreLE32(out, 33, static_cast<uint32_t>(h.LastRecordID));
    StoreLE32(out, 37, static_cast<uint32_t>(h.LastAutoInc));
    StoreLE32(out, 41, h.RecordCount);
    StoreLE16(out, 45, h.RecordSize);
    StoreLE16(out, 47, h.FieldCount);
    StoreLE16(out, 49, h.BlobFieldCount);
    StoreLE32(out, 51, h.BlobBlockSize);
    StoreLE32(out, 55, static_cast<uint32_t>(h.LastBlobVersion));
    StoreLE32(out, 59, h.IndexPageSize);
    StoreLEDouble(out, 63, h.LastUpdated);
    StoreShortString(out, 71, 100, h.Description);
    out[172] = h.Encrypted ? 1 : 0;
    std::memcpy(out.data() + 173, h.PasswordCheck.data(), 16);
    StoreLE32(out, 189, h.Locale);
    StoreLE16(out, 193, h.UserMajor);
    StoreLE16(out, 195, h.UserMinor);
    out[197] = h.ChangedFlag;
}

TDataHeader DecodeDataHeader(std::span<const uint8_t> in) {
    TDataHeader h;
    h.ChangeCounter = LoadLEI32(in, 0);
    h.Version = in[8];
    std::memcpy(h.Signature.data(), in.data() + 9, 16);
    h.FirstFreeRecord = LoadLE32(in, 25);
    h.NextRecordNumber = LoadLE32(in, 29);
    h.LastRecordID = LoadLEI32(in, 33);
    h.LastAutoInc = LoadLEI32(in, 37);
    h.RecordCount = LoadLE32(in, 41);
    h.RecordSize = LoadLE16(in, 45);
    h.FieldCount = LoadLE16(in, 47);
    h.BlobFieldCount = LoadLE16(in, 49);
    h.BlobBlockSize = LoadLE32(in, 51);
    h.LastBlobVersion = LoadLEI32(in, 55);
    h.IndexPageSize = LoadLE32(in, 59);
    h.LastUpdated = LoadLEDouble(in, 63);
    h.Description = LoadShortString(in, 71, 100);
    h.Encrypted = in[172] != 0;
    std::memcpy(h.PasswordCheck.data(), in.data() + 173, 16);
    h.Locale = LoadLE32(in, 189);
    h.UserMajor = LoadLE16(in, 193);
    h.UserMinor = LoadLE16(in, 195);
    h.ChangedFlag = 0;  // the writer's mark; ignored when read
    return h;
}

void EncodeFieldDescriptor(const TFieldDescriptor& f, std::span<uint8_t> out) {
    std::memset(out.data(), 0, 768);
    StoreLE16(out, 0, static_cast<uint16_t>(f.FieldNumber));
    StoreShortString(out, 2, 60, f.Name);
    StoreShortString(out, 63, 100, f.Description);
    out[164] = f.Type;
    out[165] = f.SubType;
    StoreLE16(out, 166, f.Size);
    out[168] = f.Scale;
    StoreLE16(out, 169, f.StorageSize);
    out[171] = f.StorageScale;
    StoreLE16(out, 172, f.Offset);
    out[174] = f.Required ? 1 : 0;
    out[175] = f.CharCase;
    StoreShortString(out, 176, 100, f.MinValue);
    StoreShortString(out, 277, 100, f.MaxValue);
    StoreShortString(out, 378, 100, f.DefaultValue);
    out[479] = f.Compression;
    out[480] = f.Computed ? 1 : 0;
    StoreLE32(out, 481, f.ExpressionRef);
    out[485] = f.NoHash ? 1 : 0;
    std::memcpy(out.data() + 486, f.QueryInfo.data(), kQueryInfoSize);
}

TFieldDescriptor DecodeFieldDescriptor(std::span<const uint8_t> in) {
    TFieldDescriptor f;
    f.FieldNumber = LoadLEI16(in, 0);
    f.Name = LoadShortString(in, 2, 60);
    f.Description = LoadShortString(in, 63, 100);
    f.Type = in[164];
    f.SubType = in[165];
    f.Size = LoadLE16(in, 166);
    f.Scale = in[168];
    f.StorageSize = LoadLE16(in, 169);
    f.StorageScale = in[171];
    f.Offset = LoadLE16(in, 172);
    f.Required = in[174] != 0;
    f.CharCase = in[175];
    f.MinValue = LoadShortString(in, 176, 100);
    f.MaxValue = LoadShortString(in, 277, 100);
    f.DefaultValue = LoadShortString(in, 378, 100);
    f.Compression = in[479];
    f.Computed = in[480] != 0;
    f.ExpressionRef = 0;  // meaningful only while a query result is open
    f.NoHash = in[485] != 0;
    std::memcpy(f.QueryInfo.data(), in.data() + 486, kQueryInfoSize);
    return f;
}

TRecordLayout ComputeRecordLayout(std::vector<TFieldDescriptor>& fields, const std::string& table) {
    uint32_t offset = kRecordDataOffset;
    uint32_t blobs = 0;
    for (TFieldDescriptor& f : fields) {
        f.StorageSize = StorageSize(f);
        f.StorageScale = f.Scale;
        if (f.IsBlob() && ++blobs > kMaxBlobFieldCount) RaiseError(DEZEDE_BLOBLIMIT, {.Table = table});
        if (f.Computed) {
            f.Offset = 0;
            continue;
        }
        // Offsets are 16-bit on disk: stop before they could wrap.
        if (offset > kMaxRecordSize) RaiseError(DEZEDE_RECTOOBIG, {.Table = table});
        f.Offset = static_cast<uint16_t>(offset);
        offset += uint32_t{f.StorageSize} + 1;
    }
    uint32_t size = (offset + 7) / 8 * 8;
    if (size > kMaxRecordSize) RaiseError(DEZEDE_RECTOOBIG, {.Table = table});
    return {static_cast<uint16_t>(size), static_cast<uint16_t>(blobs)};
}

bool ValidObjectName(std::string_view name) {
    if (name.empty() || name.size() > kMaxFieldNameLength) return false;
    uint8_t c = static_cast<uint8_t>(name[0]);
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 128 && c <= 254);
}

namespace {

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<uint8_t>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<uint8_t>(s[e - 1]) <= ' ') --e;
    return std::string(s.substr(b, e - b));
}

bool SameName(std::string_view a, std::string_view b) {
    return CompareStrings(0, Trim(a), Trim(b), true) == 0;
}

bool SizedType(uint8_t type) { return type == ftdString || type == ftdBytes || type == ftdVarBytes; }

uint16_t MaxSize(const TFieldDescriptor& f) {
    return f.Type == ftdString && f.SubType == fsdWideString ? 256 : 512;
}

}  // namespace

TRecordLayout CheckFieldDefinitions(std::vector<TFieldDescriptor>& fields, const std::string& table) {
    if (fields.empty() || fields.size() > kMaxFieldCount) RaiseError(DEZEDE_FLDLIMIT, {.Table = table});
    for (size_t i = 0; i < fields.size(); ++i) {
        TFieldDescriptor& f = fields[i];
        f.Name = Trim(f.Name);
        auto fail = [&](uint16_t code) { RaiseError(code, {.Table = table, .Field = f.Name}); };
        if (!ValidObjectName(f.Name) || SameName(f.Name, "RecordID") || SameName(f.Name, "RecordHash"))
            fail(DEZEDE_INVALIDFIELDNAME);
        for (size_t j = 0; j < i; ++j) {
            if (SameName(fields[j].Name, f.Name)) fail(DEZEDE_INVALIDFIELDNAME);
            if (f.FieldNumber != 0 && fields[j].FieldNumber == f.FieldNumber) fail(DEZEDE_INVALIDFLDTYPE);
        }
        if (f.Type == ftdNone || f.FieldNumber < 0) fail(DEZEDE_INVALIDFLDTYPE);
        if (SizedType(f.Type)) {
            if (f.Size < 1 || f.Size > MaxSize(f)) fail(DEZEDE_INVALIDFLDTYPE);
        } else {
            f.Size = 0;
        }
        if (f.Type != ftdBCD) f.Scale = 0;
        if (f.Scale > 32) fail(DEZEDE_INVALIDFLDTYPE);
        if (f.Compression > (f.IsBlob() ? 9 : 0)) fail(DEZEDE_INVALIDFLDTYPE);
        if (f.CharCase > ccUpper) fail(DEZEDE_INVALIDFLDTYPE);
        if (f.Name.size() > kMaxFieldNameLength || f.Description.size() > kMaxFieldDescriptionLength ||
            f.MinValue.size() > kMaxLiteralLength || f.MaxValue.size() > kMaxLiteralLength ||
            f.DefaultValue.size() > kMaxLiteralLength)
            fail(DEZEDE_INVALIDVCHKSTRUCT);
        if (!ValidateLiteral(f.DefaultValue, f.Type) || !ValidateLiteral(f.MinValue, f.Type) ||
            !ValidateLiteral(f.MaxValue, f.Type))
            fail(DEZEDE_INVALIDVCHKSTRUCT);
    }
    // Fields without a number keep their place; numbered fields are ordered by number.
    std::stable_sort(fields.begin(), fields.end(), [](const TFieldDescriptor& a, const TFieldDescriptor& b) {
        return a.FieldNumber != 0 && b.FieldNumber != 0 && a.FieldNumber < b.FieldNumber;
    });
    for (size_t i = 0; i < fields.size(); ++i) fields[i].FieldNumber = static_cast<int16_t>(i + 1);
    return ComputeRecordLayout(fields, table);
}

void VerifyDataHeader(const TDataHeader& h, const std::vector<TFieldDescriptor>& fields, uint64_t fileSize,
                      const std::string& table) {
    auto corrupt = [&] { RaiseError(DEZEDE_HEADERCORRUPT, {.Table = table}); };
    if (h.Locale != 0 && !IsLocaleInstalled(h.Locale)) RaiseError(DEZEDE_CANNOTLOADLDDRV, {.Table = table});
    if (h.FieldCount == 0 || h.FieldCount > kMaxFieldCount || fields.size() != h.FieldCount) corrupt();
    uint32_t offset = kRecordDataOffset;
    for (size_t i = 0; i < fields.size(); ++i) {
        const TFieldDescriptor& f = fields[i];
        if (!ValidObjectName(f.Name)) corrupt();
        for (size_t j = 0; j < i; ++j)
            if (fields[j].FieldNumber == f.FieldNumber || SameName(fields[j].Name, f.Name)) corrupt();
        if (f.Type == ftdNone) corrupt();
        if (SizedType(f.Type) ? f.Size > MaxSize(f) : f.Size != 0) corrupt();
        if (!ValidateLiteral(f.DefaultValue, f.Type) || !ValidateLiteral(f.MinValue, f.Type) ||
            !ValidateLiteral(f.MaxValue, f.Type))
            corrupt();
        if (f.Scale != 0 && f.Type != ftdBCD) corrupt();
        if (f.FieldNumber != static_cast<int32_t>(i + 1)) corrupt();
        if (f.Computed) continue;
        if (f.Offset != offset || f.StorageSize != StorageSize(f)) corrupt();
        offset += uint32_t{f.StorageSize} + 1;
    }
    if (h.RecordSize != (offset + 7) / 8 * 8 || h.RecordSize == 0) corrupt();
    uint64_t start = DataStart(h.FieldCount);
    uint64_t slots = 0;
    if (fileSize > start) {
        uint64_t rest = fileSize - start;
        if (rest % h.RecordSize != 0) corrupt();
        slots = rest / h.RecordSize;
        if (slots + 1 != h.NextRecordNumber) corrupt();
    }
    if (h.FirstFreeRecord > slots) corrupt();
}

TDigest ComputeRecordHash(const std::vector<TFieldDescriptor>& fields, uint16_t blobFieldCount,
                          std::span<const uint8_t> record) {
    if (record.size() <= kRecordDataOffset) return MD5Digest("", 0);
    if (blobFieldCount == 0) return MD5Digest(record.data() + kRecordDataOffset, record.size() - kRecordDataOffset);
    std::vector<uint8_t> copy(record.begin() + kRecordDataOffset, record.end());
    for (const TFieldDescriptor& f : fields) {
        if (f.Computed || !(f.IsBlob() || f.NoHash) || f.Offset < kRecordDataOffset) continue;
        size_t begin = f.Offset - kRecordDataOffset;
        size_t end = std::min(copy.size(), begin + 1 + f.StorageSize);
        if (begin < end) std::memset(copy.data() + begin, 0, end - begin);
    }
    return MD5Digest(copy.data(), copy.size());
}

}  // namespace dezede
