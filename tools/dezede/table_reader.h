#pragma once
// Reading a table's files for the info and dump commands: the path given on
// the command line (with or without the data extension, in any letter case),
// the opened files, and each field value as JSON and as CSV text.

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/file_registry.h"
#include "engine/table_files.h"

namespace dezede::tool {

// The three file names of the table a command-line path names.
TTableFileNames TableFileNamesFor(const std::string& path);

// The table's files opened for reading, without locks.
class TTableReader {
public:
    TTableReader(const std::string& path, const std::vector<std::string>& passwords);

    TTableFiles& Files() { return *Files_; }
    const TDataHeader& Header() { return Files_->Data().Header(); }
    const std::vector<TFieldDescriptor>& Fields() { return Files_->Data().Fields(); }
    uint32_t Locale() { return Header().Locale; }

    // Single-byte text of the table's code page as UTF-8.
    std::string Text(std::string_view text);

    // Reads record slot n; false when the slot is free.
    bool ReadRecord(uint32_t n, std::vector<uint8_t>& record);
    int32_t RecordID(const std::vector<uint8_t>& record) const;
    // A field of the record: JSON null for NULL, else the value in its JSON form.
    nlohmann::json JsonValue(const TFieldDescriptor& f, const std::vector<uint8_t>& record);
    // The CSV text of a value: empty for NULL.
    std::string CsvText(const TFieldDescriptor& f, const std::vector<uint8_t>& record);

private:
    TFileRegistry Registry_;
    std::unique_ptr<TTableFiles> Files_;
};

// Splits "TABLE [--flag] [--password P]..." style arguments: the table path,
// the passwords, and the remaining options in order. Returns nothing on a
// missing table or a --password without a value.
struct TTableArgs {
    std::string Table;
    std::vector<std::string> Passwords;
    std::vector<std::string> Options;
};
std::optional<TTableArgs> ParseTableArgs(const std::vector<std::string>& args);

}  // namespace dezede::tool
