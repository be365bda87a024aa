// dezede dump TABLE [--format json|csv] [--index NAME] [--password P]...
// [--lock-file NAME]: every record through a cursor, in record-number order
// or in an index's order.

#include <iostream>

#include "tools/dezede/command.h"
#include "tools/dezede/table_access.h"

namespace dezede::tool {
namespace {

// RFC 4180: fields with a comma, quote or line break are quoted, quotes doubled.
std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

int Run(const std::vector<std::string>& args) {
    std::optional<TTableArgs> parsed = ParseTableArgs(args, {"--format", "--index"});
    std::string format = "json";
    std::optional<std::string> index;
    if (parsed) {
        const auto& o = parsed->Options;
        for (size_t i = 0; parsed && i < o.size(); i += 2) {
            if (o[i] == "--format" && (o[i + 1] == "json" || o[i + 1] == "csv"))
                format = o[i + 1];
            else if (o[i] == "--index")
                index = o[i + 1];
            else
                parsed.reset();
        }
    }
    if (!parsed) {
        std::cerr << "usage: dezede dump TABLE [--format json|csv] [--index NAME] [--password P]... "
                     "[--lock-file NAME]\n";
        return kExitUsage;
    }
    TTableAccess table(*parsed, false);
    TDataCursor& cursor = table.Cursor();
    if (index) cursor.SetIndexName(*index);
    const auto& fields = table.Fields();
    const bool csv = format == "csv";
    if (csv) {
        std::string header = "RecordID";
        for (const TFieldDescriptor& f : fields) header += "," + CsvField(table.Text(f.Name));
        std::cout << header << "\r\n";
    }
    std::vector<uint8_t> record(cursor.RecordSize());
    cursor.SetToBegin();
    while (cursor.GetNextRecord(record) == 0) {
        if (csv) {
            std::string line = std::to_string(table.RecordID(record));
            for (const TFieldDescriptor& f : fields) line += "," + CsvField(table.CsvText(f, record));
            std::cout << line << "\r\n";
        } else {
            nlohmann::ordered_json row;
            row["RecordID"] = table.RecordID(record);
            for (const TFieldDescriptor& f : fields) row[table.Text(f.Name)] = table.JsonValue(f, record);
            std::cout << row.dump() << "\n";
        }
    }
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "dezede: writing the records failed\n";
        return kExitFailure;
    }
    return kExitOk;
}

TCommandRegistration reg{{
    "dump",
    "TABLE [--format json|csv] [--index NAME] [--password P]... [--lock-file NAME]",
    "Print every record of a table",
    "Prints the records in record-number order, or with --index in the order of\n"
    "the index of that name (an empty name is the primary index). The table is\n"
    "read through a cursor, under the same locks as every other reader.\n"
    "json (the default): one object per line, \"RecordID\" first, then every field.\n"
    "csv: a header row of field names, then one row per record (RFC 4180);\n"
    "NULL is an empty field. Strings are converted to UTF-8; dates, times and\n"
    "timestamps are yyyy-mm-dd, hh:mm:ss.zzz and both; BCD values are decimal\n"
    "texts; bytes and binary BLOBs are lower-case hex; memos are text.\n"
    "`dezede load` reads the json form back.\n",
    Run,
}};

}  // namespace
}  // namespace dezede::tool
