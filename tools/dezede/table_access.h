#pragma once
// A table opened for a command the way every engine client opens one: an
// engine with the directory's lock file, a session holding the passwords,
// the table's directory and a cursor on the table. Reads and writes go
// through the cursor and so take the table's locks like any other program
// does. Also the field values of a record in the JSON and CSV forms of the
// dump.

#include <nlohmann/json.hpp>

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/cursor.h"
#include "engine/data_engine.h"
#include "engine/index_file.h"

namespace dezede {
class TDataDirectory;
class TDataSession;
struct TDataHeader;
}  // namespace dezede

namespace dezede::tool {

// Splits "TABLE [--flag] [--option VALUE] [--password P]... [--lock-file NAME]"
// style arguments: the table path, the passwords, the lock file name, and the
// remaining arguments in order (the options named in withValue each followed
// by its value, which may be empty). Nothing on a missing table or an option
// without its value.
struct TTableArgs {
    std::string Table;
    std::vector<std::string> Passwords;
    std::string LockFile;
    std::vector<std::string> Options;
};
std::optional<TTableArgs> ParseTableArgs(const std::vector<std::string>& args,
                                         std::initializer_list<std::string_view> withValue = {});

// The lock file of a data directory: the name asked for, else "dezede.lck",
// else the only *.lck file there. Nothing when none of these exists.
std::optional<std::string> FindLockFile(const std::string& dir, const std::string& asked);

class TTableAccess {
public:
    // TABLE is the data file's path with or without its extension, in any
    // letter case. The cursor starts in record-number order.
    TTableAccess(const TTableArgs& args, bool forWriting);
    ~TTableAccess();
    TTableAccess(const TTableAccess&) = delete;
    TTableAccess& operator=(const TTableAccess&) = delete;

    TDataCursor& Cursor() { return *Cursor_; }
    TDataDirectory& Directory() { return *Directory_; }
    // The table's name as its directory knows it (for transactions).
    const std::string& TableName() const { return Name_; }
    const std::vector<TFieldDescriptor>& Fields() const { return Cursor_->Fields(); }
    uint32_t Locale() const { return Cursor_->Locale(); }
    // The headers as the table read them at open.
    const TDataHeader& Header() const;
    const std::array<TIndexDescriptor, kIndexSlotCount>& IndexSlots() const;

    // Single-byte text of the table's code page as UTF-8.
    std::string Text(std::string_view text) const;

    int32_t RecordID(const std::vector<uint8_t>& record) const;
    // A field of the record: JSON null for NULL, else the value in its JSON
    // form. BLOB values are read through the cursor (the image is handed back
    // unchanged).
    nlohmann::json JsonValue(const TFieldDescriptor& f, std::vector<uint8_t>& record);
    // The CSV text of a value: empty for NULL.
    std::string CsvText(const TFieldDescriptor& f, std::vector<uint8_t>& record);

private:
    TDataEngine Engine_;  // first: destroyed last
    TDataSession* Session_ = nullptr;
    TDataDirectory* Directory_ = nullptr;
    std::unique_ptr<TDataCursor> Cursor_;
    std::string Name_;
};

}  // namespace dezede::tool
