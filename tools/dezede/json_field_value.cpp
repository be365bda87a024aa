#include "tools/dezede/json_field_value.h"

#include <bit>
#include <limits>

#include "engine/dataset_field_type.h"
#include "support/ansi_strings.h"
#include "support/bcd.h"
#include "support/date_time.h"
#include "support/endian.h"
#include "support/locales.h"

namespace dezede::tool {

namespace {

using TBytes = std::vector<uint8_t>;

[[noreturn]] void Fail(const std::string& message) { throw EJsonValueError(message); }

// A short rendering of the offending value for messages.
std::string Shown(const nlohmann::json& v) {
    std::string s = v.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (s.size() > 60) s = s.substr(0, 57) + "...";
    return s;
}

TBytes Little(uint64_t v, size_t width) {
    TBytes out(width);
    for (size_t i = 0; i < width; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
    return out;
}

const std::string& ExpectString(const nlohmann::json& v, const char* what) {
    if (!v.is_string()) Fail(std::string("expects ") + what + ", not " + Shown(v));
    return v.get_ref<const std::string&>();
}

// UTF-8 text in the table's code page; refuses characters the code page lacks
// (the conversion would turn them into "?").
std::string CodePageText(const std::string& utf8, uint32_t locale) {
    std::string text = Utf8ToLocale(locale, utf8);
    if (LocaleToUtf8(locale, text) != utf8)
        Fail("holds characters that the table's code page cannot represent: " + Shown(utf8));
    return text;
}

TBytes SignedValue(const nlohmann::json& v, int64_t lo, int64_t hi, size_t width) {
    bool ok = false;
    int64_t n = 0;
    if (v.is_number_unsigned()) {
        const uint64_t u = v.get<uint64_t>();
        ok = u <= static_cast<uint64_t>(hi);
        n = static_cast<int64_t>(u);
    } else if (v.is_number_integer()) {
        n = v.get<int64_t>();
        ok = n >= lo && n <= hi;
    } else {
        Fail("expects an integer, not " + Shown(v));
    }
    if (!ok) Fail(Shown(v) + " is outside the range " + std::to_string(lo) + " to " + std::to_string(hi));
    return Little(static_cast<uint64_t>(n), width);
}

TBytes UnsignedValue(const nlohmann::json& v, uint64_t hi, size_t width) {
    if (!v.is_number_integer()) Fail("expects an integer, not " + Shown(v));
    if (!v.is_number_unsigned() || v.get<uint64_t>() > hi)
        Fail(Shown(v) + " is outside the range 0 to " + std::to_string(hi));
    return Little(v.get<uint64_t>(), width);
}

TBytes Hex(const std::string& text, size_t maxBytes) {
    auto nibble = [&](char c) -> uint8_t {
        if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
        if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
        if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
        Fail("expects hex digits, not " + Shown(text));
    };
    if (text.size() % 2) Fail("expects an even number of hex digits, not " + Shown(text));
    if (text.size() / 2 > maxBytes) Fail("is longer than the field's " + std::to_string(maxBytes) + " bytes");
    TBytes out(text.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<uint8_t>(nibble(text[2 * i]) << 4 | nibble(text[2 * i + 1]));
    return out;
}

TBytes StringValue(const TFieldDescriptor& f, const nlohmann::json& v, uint32_t locale) {
    std::string text = CodePageText(ExpectString(v, "a string"), locale);
    if (text.find('\0') != std::string::npos) Fail("holds a NUL character");
    const size_t room = f.StorageSize > 0 ? f.StorageSize - 1u : 0u;
    if (text.size() > room)
        Fail("is longer than the field's " + std::to_string(room) + " characters: " + Shown(v));
    return TBytes(text.begin(), text.end());
}

}  // namespace

std::optional<TBytes> DecimalToBcdRecord(std::string_view text, uint8_t scale) {
    std::string_view s = TrimSpaces(text);
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    const size_t dot = s.find('.');
    std::string_view whole = s.substr(0, dot);
    std::string_view places = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
    auto digits = [](std::string_view d) { return d.find_first_not_of("0123456789") == std::string_view::npos; };
    if ((whole.empty() && places.empty()) || !digits(whole) || !digits(places) || scale > 32) return std::nullopt;
    if (places.size() > scale) {
        if (places.substr(scale).find_first_not_of('0') != std::string_view::npos) return std::nullopt;
        places = places.substr(0, scale);
    }
    while (whole.size() > 1 && whole[0] == '0') whole.remove_prefix(1);
    const bool zero = whole.find_first_not_of('0') == std::string_view::npos &&
                      places.find_first_not_of('0') == std::string_view::npos;
    std::string normal = negative && !zero ? "-" : "";  // no negative zero
    normal.append(whole.empty() ? "0" : whole);
    if (scale) {
        normal.push_back('.');
        normal.append(places);
        normal.append(scale - places.size(), '0');
    }
    std::optional<TBcd> bcd = TextToBcd(normal);
    if (!bcd || bcd->Places() != scale) return std::nullopt;
    TBytes out(kBcdSize);
    bcd->Store(out.data());
    return out;
}

namespace {

TBytes ConvertValue(const TFieldDescriptor& f, const nlohmann::json& v, uint32_t locale) {
    switch (f.Type) {
    case ftdString:
        return StringValue(f, v, locale);
    case ftdBoolean:
        if (!v.is_boolean()) Fail("expects true or false, not " + Shown(v));
        return Little(v.get<bool>() ? 1 : 0, 2);
    case ftdSmallInt:
        return SignedValue(v, INT16_MIN, INT16_MAX, 2);
    case ftdWord:
        return UnsignedValue(v, UINT16_MAX, 2);
    case ftdInteger:
        return SignedValue(v, INT32_MIN, INT32_MAX, 4);
    case ftdUInteger:
        return UnsignedValue(v, UINT32_MAX, 4);
    case ftdLargeInt:
        return SignedValue(v, INT64_MIN, INT64_MAX, 8);
    case ftdULargeInt:
        return UnsignedValue(v, UINT64_MAX, 8);
    case ftdFloat:
        if (!v.is_number()) Fail("expects a number, not " + Shown(v));
        return Little(std::bit_cast<uint64_t>(v.get<double>()), 8);
    case ftdDate: {
        std::optional<int32_t> day = ParseDate(ExpectString(v, "a date text yyyy-mm-dd"));
        if (!day) Fail("is not a date yyyy-mm-dd: " + Shown(v));
        return Little(static_cast<uint32_t>(*day), 4);
    }
    case ftdTime: {
        std::optional<int32_t> ms = ParseTime(ExpectString(v, "a time text hh:mm:ss.zzz"));
        if (!ms) Fail("is not a time hh:mm:ss.zzz: " + Shown(v));
        return Little(static_cast<uint32_t>(*ms), 4);
    }
    case ftdTimestamp: {
        std::optional<double> ts = ParseTimestamp(ExpectString(v, "a timestamp text yyyy-mm-dd hh:mm:ss.zzz"));
        if (!ts) Fail("is not a timestamp yyyy-mm-dd hh:mm:ss.zzz: " + Shown(v));
        return Little(std::bit_cast<uint64_t>(*ts), 8);
    }
    case ftdBCD: {
        std::optional<TBytes> bcd = DecimalToBcdRecord(ExpectString(v, "a decimal text"), f.Scale);
        if (!bcd)
            Fail("is not a decimal of at most 32 digits with at most " + std::to_string(f.Scale) +
                 " places: " + Shown(v));
        return *bcd;
    }
    case ftdBlob: {
        const std::string& text = ExpectString(v, DatasetFieldType(f.Type, f.SubType) == TDatasetFieldType::ftMemo
                                                      ? "a text"
                                                      : "hex text");
        if (DatasetFieldType(f.Type, f.SubType) == TDatasetFieldType::ftMemo) {
            std::string memo = CodePageText(text, locale);
            return TBytes(memo.begin(), memo.end());
        }
        return Hex(text, std::numeric_limits<uint32_t>::max());
    }
    default:
        return Hex(ExpectString(v, "hex text"), f.StorageSize);
    }
}

}  // namespace

std::optional<TBytes> JsonToFieldValue(const TFieldDescriptor& f, const nlohmann::json& v, uint32_t locale) {
    if (v.is_null()) return std::nullopt;
    if (f.Computed) Fail("is computed and takes no value");
    TBytes bytes = ConvertValue(f, v, locale);
    // A type whose storage is narrower than its values (the unsigned integer
    // types are stored with their declared size) would lose the value.
    if (!f.IsBlob() && bytes.size() > f.StorageSize)
        Fail("does not fit the field's " + std::to_string(f.StorageSize) + " bytes of storage");
    return bytes;
}

TJsonRecordReader::TJsonRecordReader(std::vector<TFieldDescriptor> fields, uint32_t locale, size_t recordSize)
    : Fields_(std::move(fields)), Locale_(locale), RecordSize_(recordSize) {
    for (const TFieldDescriptor& f : Fields_) UpperNames_.push_back(AnsiUpperCase(UntilNul(f.Name)));
}

void TJsonRecordReader::Read(std::string_view line, TJsonRecord& out) const {
    nlohmann::json object;
    try {
        object = nlohmann::json::parse(line);
    } catch (const nlohmann::json::exception& e) {
        // The library's message, without its "[json.exception.x.n] " tag.
        std::string what = e.what();
        const size_t tag = what.find("] ");
        Fail(tag == std::string::npos ? what : what.substr(tag + 2));
    }
    if (!object.is_object()) Fail("a record must be a JSON object");
    out.Image.assign(RecordSize_, 0);
    out.Blobs.clear();
    std::vector<bool> seen(Fields_.size(), false);
    for (const auto& [key, value] : object.items()) {
        const std::string upper = AnsiUpperCase(Utf8ToLocale(Locale_, key));
        if (upper == "RECORDID") continue;
        size_t i = 0;
        while (i < Fields_.size() && UpperNames_[i] != upper) ++i;
        if (i == Fields_.size()) Fail("the table has no field " + Shown(key));
        if (seen[i]) Fail("field " + Shown(key) + " is given twice");
        seen[i] = true;
        const TFieldDescriptor& f = Fields_[i];
        std::optional<TBytes> bytes;
        try {
            bytes = JsonToFieldValue(f, value, Locale_);
        } catch (const EJsonValueError& e) {
            Fail("field " + Shown(key) + ": " + e.what());
        }
        if (!bytes) continue;
        if (f.IsBlob()) {
            if (!bytes->empty()) out.Blobs.push_back({i, std::move(*bytes)});
        } else {
            SetFieldValue(f, out.Image, std::span<const uint8_t>(*bytes), Locale_);
        }
    }
}

}  // namespace dezede::tool
