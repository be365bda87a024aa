#include "tools/dezede/table_access.h"

#include <algorithm>
#include <cstring>
#include <variant>

#include "engine/data_directory.h"
#include "engine/data_file.h"
#include "engine/data_session.h"
#include "engine/data_table.h"
#include "engine/dataset_field_type.h"
#include "engine/field_value.h"
#include "platform/file_names.h"
#include "support/ansi_strings.h"
#include "support/date_time.h"
#include "support/endian.h"
#include "support/literals.h"
#include "support/locales.h"

namespace dezede::tool {

namespace {

constexpr const char* kStandardLockFile = "dezede.lck";

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && CompareNoCase(s.substr(s.size() - suffix.size()), suffix) == 0;
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

std::optional<TTableArgs> ParseTableArgs(const std::vector<std::string>& args,
                                         std::initializer_list<std::string_view> withValue) {
    TTableArgs out;
    bool haveTable = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool valued = a == "--password" || a == "--lock-file" ||
                            std::find(withValue.begin(), withValue.end(), a) != withValue.end();
        if (valued && i + 1 >= args.size()) return std::nullopt;
        if (a == "--password") {
            out.Passwords.push_back(args[++i]);
        } else if (a == "--lock-file") {
            out.LockFile = args[++i];
        } else if (valued) {
            out.Options.push_back(a);
            out.Options.push_back(args[++i]);
        } else if (a.rfind("--", 0) == 0 || haveTable) {
            out.Options.push_back(a);
        } else {
            out.Table = a;
            haveTable = true;
        }
    }
    if (out.Table.empty()) return std::nullopt;
    return out;
}

std::optional<std::string> FindLockFile(const std::string& dir, const std::string& asked) {
    if (!asked.empty()) return ResolveFileName(dir + "/" + asked);
    const std::string standard = ResolveFileName(dir + "/" + kStandardLockFile);
    if (OSFileExists(standard)) return standard;
    const std::vector<std::string> found = OSListFiles(dir, ".lck");
    if (found.size() == 1) return dir + "/" + found[0];
    return std::nullopt;
}

TTableAccess::TTableAccess(const TTableArgs& args, bool forWriting) {
    const std::string dir = DirectoryOf(args.Table);
    std::string name = NameOf(args.Table);
    if (EndsWithNoCase(name, Engine_.TableDataExtension()))
        name.resize(name.size() - Engine_.TableDataExtension().size());
    // A directory without a lock file gets the standard one, as the engine's
    // other clients would create it.
    const std::optional<std::string> lockFile = FindLockFile(dir, args.LockFile);
    Engine_.Startup(lockFile ? NameOf(*lockFile) : kStandardLockFile);
    Session_ = Engine_.CreateSession();
    for (const std::string& p : args.Passwords) Session_->AddPassword(p);
    Directory_ = Session_->OpenDataDir("dezede", dir, false, false);
    Cursor_ = std::make_unique<TDataCursor>(*Directory_);
    Cursor_->OpenCursor(name, name, {.ReadOnly = !forWriting, .RecordNumberOrder = true});
    Name_ = Cursor_->Table()->Name();
}

TTableAccess::~TTableAccess() {
    Cursor_.reset();
    if (Directory_) Session_->CloseDataDir(Directory_);
}

const TDataHeader& TTableAccess::Header() const { return Cursor_->Table()->DataFile()->Header(); }

const std::array<TIndexDescriptor, kIndexSlotCount>& TTableAccess::IndexSlots() const {
    return Cursor_->Table()->IndexFile()->Indexes();
}

std::string TTableAccess::Text(std::string_view text) const { return LocaleToUtf8(Locale(), UntilNul(text)); }

int32_t TTableAccess::RecordID(const std::vector<uint8_t>& record) const {
    return LoadLE32s(record.data() + kRecordIDOffset);
}

namespace {

std::vector<uint8_t> BlobValue(TDataCursor& cursor, const TFieldDescriptor& f, std::vector<uint8_t>& record) {
    if (record[f.Offset] != 1) return {};
    const uint32_t length = cursor.OpenBlob(f.FieldNumber, record, TCursorBlobMode::bmRead);
    std::vector<uint8_t> value(length);
    try {
        value.resize(cursor.GetBlob(f.FieldNumber, record, 0, length, value.data()));
    } catch (...) {
        cursor.FreeBlob(f.FieldNumber, record);
        throw;
    }
    cursor.FreeBlob(f.FieldNumber, record);
    return value;
}

TCell Cell(TTableAccess& table, const TFieldDescriptor& f, std::vector<uint8_t>& record) {
    if (f.Computed) return {};
    if (f.IsBlob()) {
        if (record[f.Offset] != 1) return {};
        std::vector<uint8_t> value = BlobValue(table.Cursor(), f, record);
        if (DatasetFieldType(f.Type, f.SubType) == TDatasetFieldType::ftMemo)
            return table.Text(std::string_view(reinterpret_cast<const char*>(value.data()), value.size()));
        return Hex(value.data(), value.size());
    }
    std::vector<uint8_t> v(std::max<size_t>(f.StorageSize, 8), 0);
    if (GetFieldValue(f, record, v)) return {};
    const uint8_t* p = v.data();
    switch (f.Type) {
    case ftdString:
        return table.Text(std::string_view(reinterpret_cast<const char*>(p), f.StorageSize));
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
    default:
        return Hex(p, f.StorageSize);
    }
}

}  // namespace

nlohmann::json TTableAccess::JsonValue(const TFieldDescriptor& f, std::vector<uint8_t>& record) {
    return std::visit(
        [](const auto& x) -> nlohmann::json {
            if constexpr (std::is_same_v<std::decay_t<decltype(x)>, std::monostate>)
                return nullptr;
            else
                return x;
        },
        Cell(*this, f, record));
}

std::string TTableAccess::CsvText(const TFieldDescriptor& f, std::vector<uint8_t>& record) {
    TCell c = Cell(*this, f, record);
    if (std::holds_alternative<std::monostate>(c)) return "";
    if (auto* b = std::get_if<bool>(&c)) return *b ? "true" : "false";
    if (auto* i = std::get_if<int64_t>(&c)) return std::to_string(*i);
    if (auto* u = std::get_if<uint64_t>(&c)) return std::to_string(*u);
    if (auto* d = std::get_if<double>(&c)) return FormatFloat(*d);
    return std::get<std::string>(c);
}

}  // namespace dezede::tool
