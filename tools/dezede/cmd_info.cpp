// dezede info TABLE [--json] [--password P]... [--lock-file NAME]: a table's
// header values, its fields and its index definitions.

#include <iomanip>
#include <iostream>

#include "tools/dezede/command.h"
#include "engine/data_file.h"
#include "tools/dezede/table_access.h"

namespace dezede::tool {
namespace {

const char* const kCharCases[] = {"unchanged", "lower", "upper"};

nlohmann::json FieldJson(TTableAccess& t, const TFieldDescriptor& f) {
    return {
        {"number", f.FieldNumber},
        {"name", t.Text(f.Name)},
        {"description", t.Text(f.Description)},
        {"type", f.Type},
        {"subtype", f.SubType},
        {"size", f.Size},
        {"scale", f.Scale},
        {"storage_size", f.StorageSize},
        {"offset", f.Offset},
        {"required", f.Required},
        {"char_case", f.CharCase},
        {"min", t.Text(f.MinValue)},
        {"max", t.Text(f.MaxValue)},
        {"default", t.Text(f.DefaultValue)},
        {"compression", f.Compression},
    };
}

nlohmann::json IndexJson(TTableAccess& t, size_t slot, const TIndexDescriptor& d) {
    nlohmann::json fields = nlohmann::json::array(), descending = nlohmann::json::array();
    for (size_t i = 0; i < d.FieldCount && i < kMaxIndexFields; ++i) {
        fields.push_back(d.FieldNumbers[i]);
        descending.push_back(d.DescendingFields[i]);
    }
    return {
        {"slot", slot},
        {"name", t.Text(d.Name)},
        {"key_size", d.KeySize},
        {"unique", d.Unique},
        {"descending", d.Descending},
        {"case_insensitive", d.CaseInsensitive},
        {"compression", d.Compression},
        {"no_key_stats", d.NoKeyStats},
        {"fields", fields},
        {"descending_fields", descending},
    };
}

nlohmann::json InfoJson(TTableAccess& t) {
    const TDataHeader& h = t.Header();
    nlohmann::json fields = nlohmann::json::array(), indexes = nlohmann::json::array();
    for (const TFieldDescriptor& f : t.Fields()) fields.push_back(FieldJson(t, f));
    const auto& slots = t.IndexSlots();
    for (size_t i = 0; i < slots.size(); ++i)
        if (slots[i].Defined()) indexes.push_back(IndexJson(t, i, slots[i]));
    return {
        {"version", VersionText(h.Version)},
        {"version_byte", h.Version},
        {"change_counter", h.ChangeCounter},
        {"first_free_record", h.FirstFreeRecord},
        {"next_record", h.NextRecordNumber},
        {"last_record_id", h.LastRecordID},
        {"last_autoinc", h.LastAutoInc},
        {"records", h.RecordCount},
        {"record_size", h.RecordSize},
        {"field_count", h.FieldCount},
        {"blob_field_count", h.BlobFieldCount},
        {"blob_block_size", h.BlobBlockSize},
        {"last_blob_version", h.LastBlobVersion},
        {"index_page_size", h.IndexPageSize},
        {"description", t.Text(h.Description)},
        {"encrypted", h.Encrypted},
        {"locale", h.Locale},
        {"user_major", h.UserMajor},
        {"user_minor", h.UserMinor},
        {"fields", fields},
        {"indexes", indexes},
    };
}

void PrintText(TTableAccess& t, std::ostream& out) {
    const TDataHeader& h = t.Header();
    auto row = [&](const char* name, const auto& value) { out << std::left << std::setw(20) << name << value << "\n"; };
    row("Version", VersionText(h.Version) + " (" + std::to_string(h.Version) + ")");
    row("Description", t.Text(h.Description));
    row("Records", h.RecordCount);
    row("Record size", h.RecordSize);
    row("Next record", h.NextRecordNumber);
    row("First free record", h.FirstFreeRecord);
    row("Last RecordID", h.LastRecordID);
    row("Last auto-inc", h.LastAutoInc);
    row("Change counter", h.ChangeCounter);
    row("Fields", h.FieldCount);
    row("BLOB fields", h.BlobFieldCount);
    row("BLOB block size", h.BlobBlockSize);
    row("Last BLOB version", h.LastBlobVersion);
    row("Index page size", h.IndexPageSize);
    row("Encrypted", h.Encrypted ? "yes" : "no");
    row("Locale", h.Locale);
    row("User version", std::to_string(h.UserMajor) + "." + std::to_string(h.UserMinor));

    out << "\nFields:\n";
    for (const TFieldDescriptor& f : t.Fields()) {
        out << "  " << std::right << std::setw(4) << f.FieldNumber << "  " << std::left << std::setw(24)
            << t.Text(f.Name) << " type " << int(f.Type) << "/" << int(f.SubType) << "  size " << f.Size;
        if (f.Type == ftdBCD) out << "," << int(f.Scale);
        out << "  offset " << f.Offset << " (" << f.StorageSize << " bytes)";
        if (f.Required) out << "  required";
        if (f.CharCase > 0 && f.CharCase < 3) out << "  " << kCharCases[f.CharCase] << " case";
        if (!f.DefaultValue.empty()) out << "  default " << t.Text(f.DefaultValue);
        if (!f.MinValue.empty()) out << "  min " << t.Text(f.MinValue);
        if (!f.MaxValue.empty()) out << "  max " << t.Text(f.MaxValue);
        if (f.Compression) out << "  compression " << int(f.Compression);
        out << "\n";
    }
    out << "\nIndexes:\n";
    const auto& slots = t.IndexSlots();
    for (size_t i = 0; i < slots.size(); ++i) {
        const TIndexDescriptor& d = slots[i];
        if (!d.Defined()) continue;
        out << "  " << std::right << std::setw(2) << i << "  "
            << (i == 0 ? std::string("(primary)") : t.Text(d.Name)) << "  fields";
        for (size_t k = 0; k < d.FieldCount && k < kMaxIndexFields; ++k) {
            const TFieldDescriptor* f = FindKeyField(t.Fields(), d.FieldNumbers[k]);
            out << " " << (f ? t.Text(f->Name) : std::to_string(d.FieldNumbers[k]));
            if (d.DescendingFields[k]) out << " desc";
        }
        out << "  key " << d.KeySize << " bytes";
        if (d.Unique) out << ", unique";
        if (d.Descending) out << ", descending";
        if (d.CaseInsensitive) out << ", case-insensitive";
        out << ", compression " << int(d.Compression);
        if (d.NoKeyStats) out << ", no key statistics";
        out << "\n";
    }
}

int Run(const std::vector<std::string>& args) {
    std::optional<TTableArgs> parsed = ParseTableArgs(args);
    bool json = false;
    if (parsed)
        for (const std::string& o : parsed->Options) {
            if (o == "--json")
                json = true;
            else
                parsed.reset();
            if (!parsed) break;
        }
    if (!parsed) {
        std::cerr << "usage: dezede info TABLE [--json] [--password P]... [--lock-file NAME]\n";
        return kExitUsage;
    }
    TTableAccess table(*parsed, false);
    if (json)
        std::cout << InfoJson(table).dump() << "\n";
    else
        PrintText(table, std::cout);
    return kExitOk;
}

TCommandRegistration reg{{
    "info",
    "TABLE [--json] [--password P]... [--lock-file NAME]",
    "Show a table's header, fields and indexes",
    "TABLE is the path of the table's data file, with or without its extension\n"
    "(matched without regard to case). The table is opened as every program of\n"
    "the engine opens it, through the directory's lock file (--lock-file NAME,\n"
    "else dezede.lck, else the only *.lck file; a missing one is created).\n"
    "--json prints one JSON object instead of the text form. --password gives a\n"
    "password of an encrypted table; it may be repeated.\n",
    Run,
}};

}  // namespace
}  // namespace dezede::tool
