// dezede dump TABLE [--format json|csv] [--password P]...: every active record
// in record-number order, read without locks.

#include <iostream>

#include "tools/dezede/command.h"
#include "tools/dezede/table_reader.h"

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
    std::optional<TTableArgs> parsed = ParseTableArgs(args);
    std::string format = "json";
    if (parsed) {
        const auto& o = parsed->Options;
        for (size_t i = 0; parsed && i < o.size(); ++i) {
            if (o[i] == "--format" && i + 1 < o.size() && (o[i + 1] == "json" || o[i + 1] == "csv"))
                format = o[++i];
            else
                parsed.reset();
        }
    }
    if (!parsed) {
        std::cerr << "usage: dezede dump TABLE [--format json|csv] [--password P]...\n";
        return kExitUsage;
    }
    TTableReader table(parsed->Table, parsed->Passwords);
    const auto& fields = table.Fields();
    const bool csv = format == "csv";
    if (csv) {
        std::string header = "RecordID";
        for (const TFieldDescriptor& f : fields) header += "," + CsvField(table.Text(f.Name));
        std::cout << header << "\r\n";
    }
    std::vector<uint8_t> record;
    const uint32_t last = table.Header().NextRecordNumber - 1;
    for (uint32_t n = 1; n <= last; ++n) {
        if (!table.ReadRecord(n, record)) continue;
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
    return kExitOk;
}

TCommandRegistration reg{{
    "dump",
    "TABLE [--format json|csv] [--password P]...",
    "Print every record of a table",
    "Prints the active records in record-number order, read without locks.\n"
    "json (the default): one object per line, \"RecordID\" first, then every field.\n"
    "csv: a header row of field names, then one row per record (RFC 4180);\n"
    "NULL is an empty field. Strings are converted to UTF-8; dates, times and\n"
    "timestamps are yyyy-mm-dd, hh:mm:ss.zzz and both; BCD values are decimal\n"
    "texts; bytes and binary BLOBs are lower-case hex; memos are text.\n",
    Run,
}};

}  // namespace
}  // namespace dezede::tool
