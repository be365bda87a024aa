// dezede load TABLE FILE [--progress] [--batch N] [--password P]...
// [--lock-file NAME]: appends JSON-lines records in the dump's value forms
// through a cursor, inside a transaction committed every batch.

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "engine/data_directory.h"
#include "engine/engine_error.h"
#include "platform/terminal.h"
#include "tools/dezede/command.h"
#include "tools/dezede/json_field_value.h"
#include "tools/dezede/progress_bar.h"
#include "tools/dezede/table_access.h"

namespace dezede::tool {
namespace {

constexpr uint64_t kDefaultBatch = 5000;

// Rolls back whatever the transaction has not committed when the load ends
// early, also by an exception.
class TTransactionGuard {
public:
    TTransactionGuard(TDataDirectory& directory, const std::string& table) : Directory_(directory) {
        Directory_.StartTransaction({table});
    }
    ~TTransactionGuard() {
        if (!Directory_.InTransaction()) return;
        try {
            Directory_.Rollback();
        } catch (const std::exception& e) {
            std::cerr << "dezede: rolling back failed: " << e.what() << "\n";
        }
    }
    TTransactionGuard(const TTransactionGuard&) = delete;
    TTransactionGuard& operator=(const TTransactionGuard&) = delete;

    void Commit(bool end) { Directory_.Commit(false, end); }
    void Rollback() { Directory_.Rollback(); }

private:
    TDataDirectory& Directory_;
};

// Appends one record with its BLOB values; the cursor's BLOB buffers are
// freed again whatever happens.
void Append(TDataCursor& cursor, const std::vector<TFieldDescriptor>& fields, TJsonRecord& record) {
    struct TFreeBlobs {
        TDataCursor& Cursor;
        ~TFreeBlobs() { Cursor.FreeAllBlobs(); }
    } freeBlobs{cursor};
    for (const TJsonRecord::TBlobValue& b : record.Blobs) {
        const int16_t number = fields[b.Field].FieldNumber;
        cursor.OpenBlob(number, record.Image, TCursorBlobMode::bmReadWrite);
        cursor.PutBlob(number, record.Image, 0, static_cast<uint32_t>(b.Bytes.size()), b.Bytes.data());
    }
    cursor.AppendRecord(record.Image, false);
}

int Usage() {
    std::cerr << "usage: dezede load TABLE FILE|- [--progress] [--batch N] [--password P]... "
                 "[--lock-file NAME]\n";
    return kExitUsage;
}

int Run(const std::vector<std::string>& args) {
    std::optional<TTableArgs> parsed = ParseTableArgs(args, {"--batch"});
    if (!parsed) return Usage();
    std::string file;
    bool haveFile = false, progress = false;
    uint64_t batch = kDefaultBatch;
    const auto& o = parsed->Options;
    for (size_t i = 0; i < o.size(); ++i) {
        if (o[i] == "--progress") {
            progress = true;
        } else if (o[i] == "--batch") {
            const std::string& v = o[++i];
            auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), batch);
            if (ec != std::errc() || end != v.data() + v.size() || batch == 0) return Usage();
        } else if (!haveFile && (o[i] == "-" || o[i].rfind("--", 0) != 0)) {
            file = o[i];
            haveFile = true;
        } else {
            return Usage();
        }
    }
    if (!haveFile || file.empty()) return Usage();

    std::ifstream fileStream;
    std::istream* in = &std::cin;
    uint64_t total = 0;
    if (file != "-") {
        fileStream.open(file, std::ios::binary);
        if (!fileStream) {
            std::cerr << "dezede: cannot open " << file << "\n";
            return kExitFailure;
        }
        in = &fileStream;
        std::error_code ec;
        if (std::filesystem::is_regular_file(file, ec)) total = std::filesystem::file_size(file, ec);
        if (ec) total = 0;
    }
    // The bar needs a known size: a regular file, and a terminal to draw on.
    std::optional<TProgressBar> bar;
    if (progress && total > 0 && StandardErrorIsTerminal()) bar.emplace(std::cerr, total, "records");

    TTableAccess table(*parsed, true);
    TDataCursor& cursor = table.Cursor();
    const TJsonRecordReader reader(table.Fields(), table.Locale(), cursor.RecordSize());
    TJsonRecord record;
    uint64_t lineNo = 0, bytes = 0, appended = 0, committed = 0;
    std::string line;
    TTransactionGuard transaction(table.Directory(), table.TableName());
    while (std::getline(*in, line)) {
        ++lineNo;
        bytes += line.size() + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        try {
            reader.Read(line, record);
            Append(cursor, reader.Fields(), record);
        } catch (const std::exception& e) {
            if (bar) bar->Finish();
            transaction.Rollback();
            std::cerr << "dezede: line " << lineNo << ": " << e.what() << "\n"
                      << "dezede: " << committed << " records committed before it, "
                      << appended - committed << " rolled back\n";
            return kExitFailure;
        }
        ++appended;
        if (appended % batch == 0) {
            try {
                transaction.Commit(false);
            } catch (const std::exception& e) {
                if (bar) bar->Finish();
                std::cerr << "dezede: committing the records up to line " << lineNo << " failed: " << e.what()
                          << "\n";
                return kExitFailure;  // the guard rolls back what is left
            }
            committed = appended;
        }
        if (bar) bar->Update(bytes, appended);
    }
    if (in->bad()) {
        if (bar) bar->Finish();
        std::cerr << "dezede: reading " << (file == "-" ? "standard input" : file) << " failed after line "
                  << lineNo << "\n";
        return kExitFailure;  // the guard rolls back the open batch
    }
    transaction.Commit(true);
    if (bar) {
        bar->Update(total, appended);
        bar->Finish();
    }
    std::cout << appended << " records loaded into " << table.TableName() << "\n";
    return kExitOk;
}

TCommandRegistration reg{{
    "load",
    "TABLE FILE|- [--progress] [--batch N] [--password P]... [--lock-file NAME]",
    "Append JSON-lines records to a table",
    "Reads one JSON object per line from FILE (- for standard input) in the\n"
    "value forms that `dezede dump` writes, and appends each as a new record\n"
    "through a cursor, keeping every index, BLOB and constraint. Keys are field\n"
    "names (any letter case); a missing key or null is NULL; \"RecordID\" is\n"
    "ignored, as the table numbers its records itself; an unknown key is an\n"
    "error. Blank lines are skipped.\n"
    "The records go in inside a transaction that is committed every N records\n"
    "(--batch, default 5000) and at the end. At the first bad record, the load\n"
    "rolls back what is not committed yet, names the line and the error, and\n"
    "exits with status 1.\n"
    "--progress draws a progress bar on standard error when it is a terminal\n"
    "and FILE is a regular file.\n",
    Run,
}};

}  // namespace
}  // namespace dezede::tool
