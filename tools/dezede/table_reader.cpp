#include "tools/dezede/table_reader.h"

#include <cstring>
#include <iostream>
#include <variant>

#include "engine/dataset_field_type.h"
#include "engine/field_value.h"
#include "support/ansi_strings.h"
#include "support/date_time.h"
#include "support/endian.h"
#include "support/literals.h"
#include "support/locales.h"

namespace dezede::tool {

namespace {

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
    if (s.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        char a = s[s.size() - suffix.size() + i], b = suffix[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

std::string Hex(const uint8_t* p, size_t n) {
    static const char* kDigits = "0123456789abcdef";
    std::string s;
    s.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        s.push_back(kDigits[p[i] >> 4]);
        s.push_back(kDigits[p[i] & 15]);
    }
    return s;
}

// One field value in a neutral form shared by the JSON and CSV renderings.
using TCell = std::variant<std::monostate, bool, int64_t, uint64_t, double, std::string>;

}  // namespace

TTableFileNames TableFileNamesFor(const std::string& path) {
    std::string base = EndsWithNoCase(path, ".dat") ? path.substr(0, path.size() - 4) : path;
    return TTableFileNames::FromBase(base);
}

TTableReader::TTableReader(const std::string& path, const std::vector<std::string>& passwords) {
    Files_ = std::make_unique<TTableFiles>(Registry_, TableFileNamesFor(path));
    Files_->Open({.Passwords = passwords});
}

std::string TTableReader::Text(std::string_view text) { return LocaleToUtf8(Locale(), UntilNul(text)); }

bool TTableReader::ReadRecord(uint32_t n, std::vector<uint8_t>& record) {
    record.assign(Header().RecordSize, 0);
    Files_->Data().ReadRecord(n, record);
    return record[0] != kRecordFree;
}

int32_t TTableReader::RecordID(const std::vector<uint8_t>& record) const {
    return LoadLE32s(record.data() + kRecordIDOffset);
}

namespace {

TCell Cell(TTableReader& reader, const TFieldDescriptor& f, const std::vector<uint8_t>& record) {
    if (f.Computed) return {};
    std::vector<uint8_t> v(std::max<size_t>(f.StorageSize, 8), 0);
    if (GetFieldValue(f, record, v)) return {};
    const uint8_t* p = v.data();
    switch (f.Type) {
    case ftdString:
        return reader.Text(std::string_view(reinterpret_cast<const char*>(p), f.StorageSize));
    case ftdBoolean:
        return LoadLE16(p) != 0;
    case ftdSmallInt:
        return int64_t{LoadLE16s(p)};
    case ftdWord:
        return uint64_t{LoadLE16(p)};
    case ftdInteger:
        return int64_t{LoadLE32s(p)};
    case ftdUInteger:
        return uint64_t{LoadLE32(p)};
    case ftdLargeInt:
        return LoadLE64s(p);
    case ftdULargeInt:
        return LoadLE64(p);
    case ftdFloat:
        return LoadLEDouble(p);
    case ftdDate:
        return FormatDate(LoadLE32s(p));
    case ftdTime:
        return FormatTime(LoadLE32s(p));
    case ftdTimestamp:
        return FormatTimestamp(LoadLEDouble(p));
    case ftdBCD:
        return FormatBcd(std::span<const uint8_t>(v), f.Scale);
    case ftdBlob: {
        TBlobFile* blob = reader.Files().Blob();
        TBlobReference ref{LoadLE32s(record.data() + f.Offset + 1), LoadLE32s(record.data() + f.Offset + 5)};
        std::vector<uint8_t> value;
        if (blob && blob->LoadBlob(ref, f.Compression, value) == TBlobLoadResult::OutOfDate) {
            std::cerr << "dezede: field '" << reader.Text(f.Name) << "' of record ID "
                      << reader.RecordID(record) << " refers to an out-of-date BLOB\n";
            return {};
        }
        if (DatasetFieldType(f.Type, f.SubType) == TDatasetFieldType::ftMemo)
            return reader.Text(std::string_view(reinterpret_cast<const char*>(value.data()), value.size()));
        return Hex(value.data(), value.size());
    }
    default:
        return Hex(p, f.StorageSize);
    }
}

}  // namespace

nlohmann::json TTableReader::JsonValue(const TFieldDescriptor& f, const std::vector<uint8_t>& record) {
    return std::visit(
        [](const auto& x) -> nlohmann::json {
            if constexpr (std::is_same_v<std::decay_t<decltype(x)>, std::monostate>)
                return nullptr;
            else
                return x;
        },
        Cell(*this, f, record));
}

std::string TTableReader::CsvText(const TFieldDescriptor& f, const std::vector<uint8_t>& record) {
    TCell c = Cell(*this, f, record);
    if (std::holds_alternative<std::monostate>(c)) return "";
    if (auto* b = std::get_if<bool>(&c)) return *b ? "true" : "false";
    if (auto* i = std::get_if<int64_t>(&c)) return std::to_string(*i);
    if (auto* u = std::get_if<uint64_t>(&c)) return std::to_string(*u);
    if (auto* d = std::get_if<double>(&c)) return FormatFloat(*d);
    return std::get<std::string>(c);
}

std::optional<TTableArgs> ParseTableArgs(const std::vector<std::string>& args) {
    TTableArgs out;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--password") {
            if (i + 1 >= args.size()) return std::nullopt;
            out.Passwords.push_back(args[++i]);
        } else if (args[i].rfind("--", 0) == 0) {
            out.Options.push_back(args[i]);
        } else if (out.Table.empty()) {
            out.Table = args[i];
        } else {
            out.Options.push_back(args[i]);
        }
    }
    if (out.Table.empty()) return std::nullopt;
    return out;
}

}  // namespace dezede::tool
