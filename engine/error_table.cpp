#include "engine/error_table.h"

#include <algorithm>
#include <array>

#include "engine/error_context.h"

namespace dezede {

namespace {

// Remote-mode codes carry names but no texts of their own; codes 11299 to
// 11307 (server procedures and events) are not listed, so they have no name.
const TErrorCodeInfo kTable[] = {
    {8705, "DEZEDE_BOF", "Beginning of table '%s' unexpectedly encountered", {TErrorArg::Table}},
    {8706, "DEZEDE_EOF", "End of table '%s' unexpectedly encountered", {TErrorArg::Table}},
    {8708, "DEZEDE_KEYORRECDELETED", "Record has been changed or deleted by another user, session, or table cursor in the table '%s'", {TErrorArg::Table}},
    {8709, "DEZEDE_NOCURRREC", "No current record in the table '%s'", {TErrorArg::Table}},
    {8710, "DEZEDE_RECNOTFOUND", "Record not found in the table '%s'", {TErrorArg::Table}},
    {8711, "DEZEDE_ENDOFBLOB", "End of BLOB field in the table '%s' reached prematurely", {TErrorArg::Table}},
    {8961, "DEZEDE_HEADERCORRUPT", "Header information corrupt in the table '%s'", {TErrorArg::Table}},
    {8962, "DEZEDE_FILECORRUPT", "Data record buffers corrupt in the table '%s'", {TErrorArg::Table}},
    {8963, "DEZEDE_MEMOCORRUPT", "BLOB block buffers corrupt in the table '%s'", {TErrorArg::Table}},
    {8965, "DEZEDE_INDEXCORRUPT", "Index page buffers corrupt in the table '%s'", {TErrorArg::Table}},
    {9217, "DEZEDE_READERR", "Error reading from the table or backup file '%s'", {TErrorArg::Table}},
    {9218, "DEZEDE_WRITEERR", "Error writing to the table or backup file '%s'", {TErrorArg::Table}},
    {9477, "DEZEDE_RECTOOBIG", "Maximum record size exceeded in the table '%s'", {TErrorArg::Table}},
    {9479, "DEZEDE_TABLEFULL", "The table '%s' is full and cannot contain any more data", {TErrorArg::Table}},
    {9480, "DEZEDE_DATABASEFULL", "The database '%s' is full and cannot contain any more tables", {TErrorArg::Database}},
    {9482, "DEZEDE_INTERNALLIMIT", "Too many filters defined for the table '%s'", {TErrorArg::Table}},
    {9487, "DEZEDE_INDEXLIMIT", "Maximum or minimum limits on the index page size, the number of indexes, or the number of fields in an index exceeded in the table '%s'", {TErrorArg::Table}},
    {9492, "DEZEDE_FLDLIMIT", "Maximum or minimum limits on number of fields exceeded in the table '%s'", {TErrorArg::Table}},
    {9494, "DEZEDE_OPENBLOBLIMIT", "Too many BLOBs opened in the table '%s'", {TErrorArg::Table}},
    {9498, "DEZEDE_BLOBLIMIT", "Too many BLOB fields or invalid BLOB block size specified for the table '%s'", {TErrorArg::Table}},
    {9729, "DEZEDE_KEYVIOL", "Duplicate key found in the index '%s' of the table '%s'", {TErrorArg::Index, TErrorArg::Table}},
    {9730, "DEZEDE_MINVALERR", "The value for the field '%s' in the table '%s' is below the minimum allowable value", {TErrorArg::Field, TErrorArg::Table}},
    {9731, "DEZEDE_MAXVALERR", "The value for the field '%s' in the table '%s' is above the maximum allowable value", {TErrorArg::Field, TErrorArg::Table}},
    {9732, "DEZEDE_REQDERR", "A value must be provided for the field '%s' in the table '%s'", {TErrorArg::Field, TErrorArg::Table}},
    {9985, "DEZEDE_OUTOFRANGE", "Invalid field number or name '%s' specified for the table '%s'", {TErrorArg::Field, TErrorArg::Table}},
    {9993, "DEZEDE_PRIMARYKEYREDEFINE", "A primary index is already defined for the table '%s' and cannot be added again", {TErrorArg::Table}},
    {9998, "DEZEDE_INVALIDBLOBOFFSET", "Invalid BLOB offset into the table '%s' specified", {TErrorArg::Table}},
    {10000, "DEZEDE_INVALIDFLDTYPE", "Invalid field definition specified for the field '%s' in the table '%s'", {TErrorArg::Field, TErrorArg::Table}},
    {10006, "DEZEDE_INVALIDVCHKSTRUCT", "Invalid default expression or min/max constraint specified for the field '%s' in the table '%s'", {TErrorArg::Field, TErrorArg::Table}},
    {10010, "DEZEDE_INDEXNAMEREQUIRED", "The secondary index name is missing or not specified for the table '%s'", {TErrorArg::Table}},
    {10015, "DEZEDE_INVALIDPASSWORD", "Password provided for the table '%s' is invalid", {TErrorArg::Table}},
    {10022, "DEZEDE_INVALIDINDEXNAME", "Invalid secondary index name '%s' specified for the table '%s'", {TErrorArg::Index, TErrorArg::Table}},
    {10023, "DEZEDE_INVALIDIDXDESC", "Invalid field number '%s' specified in the index '%s' for the table '%s'", {TErrorArg::Field, TErrorArg::Index, TErrorArg::Table}},
    {10026, "DEZEDE_INVALIDKEY", "Invalid key size specified in the index '%s' for the table '%s'", {TErrorArg::Index, TErrorArg::Table}},
    {10027, "DEZEDE_INDEXEXISTS", "The secondary index '%s' already exists for the table '%s'", {TErrorArg::Index, TErrorArg::Table}},
    {10029, "DEZEDE_INVALIDBLOBLEN", "Invalid BLOB length in the table '%s'", {TErrorArg::Table}},
    {10030, "DEZEDE_INVALIDBLOBHANDLE", "Invalid BLOB handle for the table '%s' specified", {TErrorArg::Table}},
    {10031, "DEZEDE_TABLEOPEN", "The table '%s' is already in use", {TErrorArg::Table}},
    {10038, "DEZEDE_INVALIDFIELDNAME", "Invalid or duplicate field name '%s' specified for the table '%s'", {TErrorArg::Field, TErrorArg::Table}},
    {10050, "DEZEDE_NOSUCHFILTER", "Invalid filter handle specified for the table '%s'", {TErrorArg::Table}},
    {10051, "DEZEDE_INVALIDFILTER", "Filter error for the table '%s' - %s at line %u, column %u", {TErrorArg::Table, TErrorArg::Message, TErrorArg::Line, TErrorArg::Column}},
    {10221, "DEZEDE_LOCKREADLOCK", "Cannot read lock the lock file for the database '%s'", {TErrorArg::Database}},
    {10222, "DEZEDE_LOCKREADUNLOCK", "Cannot read unlock the lock file for the database '%s'", {TErrorArg::Database}},
    {10223, "DEZEDE_LOCKWRITELOCK", "Cannot write lock the lock file for the database '%s'", {TErrorArg::Database}},
    {10224, "DEZEDE_LOCKWRITEUNLOCK", "Cannot write unlock the lock file for the database '%s'", {TErrorArg::Database}},
    {10225, "DEZEDE_READLOCK", "Cannot read lock the table '%s'", {TErrorArg::Table}},
    {10226, "DEZEDE_READUNLOCK", "Cannot read unlock the table '%s'", {TErrorArg::Table}},
    {10227, "DEZEDE_WRITELOCK", "Cannot write lock the table '%s'", {TErrorArg::Table}},
    {10228, "DEZEDE_WRITEUNLOCK", "Cannot write unlock the table '%s'", {TErrorArg::Table}},
    {10229, "DEZEDE_TRANSLOCK", "Transaction cannot lock the database '%s'", {TErrorArg::Database}},
    {10230, "DEZEDE_TRANSUNLOCK", "Transaction cannot unlock the database '%s'", {TErrorArg::Database}},
    {10241, "DEZEDE_LOCKED", "Cannot lock the table '%s'", {TErrorArg::Table}},
    {10242, "DEZEDE_UNLOCKFAILED", "Cannot unlock the table or record in the table '%s'", {TErrorArg::Table}},
    {10253, "DEZEDE_NEEDEXCLACCESS", "The table '%s' must be opened exclusively", {TErrorArg::Table}},
    {10258, "DEZEDE_RECLOCKFAILED", "Cannot lock record in the table '%s'", {TErrorArg::Table}},
    {10498, "DEZEDE_NOTSUFFTABLERIGHTS", "Insufficient rights to the table '%s', a password is required", {TErrorArg::Table}},
    {10753, "DEZEDE_NOTABLOB", "Invalid BLOB field '%s' specified for the table '%s'", {TErrorArg::Field, TErrorArg::Table}},
    {11010, "DEZEDE_OSENOENT", "Table or backup file '%s' does not exist", {TErrorArg::Table}},
    {11012, "DEZEDE_OSEMFILE", "Too many operating system files open while attempting to open the table '%s'", {TErrorArg::Table}},
    {11013, "DEZEDE_OSEACCES", "Access denied to table or backup file '%s'", {TErrorArg::Table}},
    {11014, "DEZEDE_OSEBADF", "Invalid operating system file handle for the table '%s'", {TErrorArg::Table}},
    {11016, "DEZEDE_OSENOMEM", "There is insufficient operating system memory available for the current operation", {}},
    {11023, "DEZEDE_OSENODEV", "Access denied to logical operating system device for the table '%s'", {TErrorArg::Table}},
    {11025, "DEZEDE_OSENOTSAM", "The table or backup file '%s' has been moved", {TErrorArg::Table}},
    {11047, "DEZEDE_OSUNKNOWN", "An unknown operating system error %u occurred with the table or backup file '%s'", {TErrorArg::OSError, TErrorArg::Table}},
    {11276, "DEZEDE_REMOTECOMMLOST", nullptr, {}},
    {11277, "DEZEDE_REMOTEENCRYPTREQ", nullptr, {}},
    {11279, "DEZEDE_REMOTEUNKNOWN", nullptr, {}},
    {11280, "DEZEDE_REMOTECONNECT", nullptr, {}},
    {11281, "DEZEDE_REMOTENOLOGIN", nullptr, {}},
    {11282, "DEZEDE_REMOTEMAXCONNECT", nullptr, {}},
    {11283, "DEZEDE_REMOTEADDRESSBLOCK", nullptr, {}},
    {11284, "DEZEDE_REMOTECALLBACK", nullptr, {}},
    {11285, "DEZEDE_REMOTECALLBACKERR", nullptr, {}},
    {11286, "DEZEDE_REMOTEVERSION", nullptr, {}},
    {11287, "DEZEDE_REMOTEINVLOGIN", nullptr, {}},
    {11288, "DEZEDE_REMOTENOTAUTH", nullptr, {}},
    {11289, "DEZEDE_REMOTENOTADMIN", nullptr, {}},
    {11290, "DEZEDE_REMOTEINVUSER", nullptr, {}},
    {11291, "DEZEDE_REMOTENOUSER", nullptr, {}},
    {11292, "DEZEDE_REMOTEDUPUSER", nullptr, {}},
    {11293, "DEZEDE_REMOTEINVDB", nullptr, {}},
    {11294, "DEZEDE_REMOTENODB", nullptr, {}},
    {11295, "DEZEDE_REMOTEDUPDB", nullptr, {}},
    {11296, "DEZEDE_REMOTEINVDBUSER", nullptr, {}},
    {11297, "DEZEDE_REMOTENODBUSER", nullptr, {}},
    {11298, "DEZEDE_REMOTEDUPDBUSER", nullptr, {}},
    {11308, "DEZEDE_REMOTEINVREQUEST", nullptr, {}},
    {11309, "DEZEDE_IMPORTERROR", "An error occurred during the import into the table '%s' - %s", {TErrorArg::Table, TErrorArg::Message}},
    {11310, "DEZEDE_EXPORTERROR", "An error occurred during the export from the table '%s' - %s", {TErrorArg::Table, TErrorArg::Message}},
    {11312, "DEZEDE_LOADSTREAMERROR", "An error occurred during the loading of a stream into the table '%s' - %s", {TErrorArg::Table, TErrorArg::Message}},
    {11313, "DEZEDE_SAVESTREAMERROR", "An error occurred during the saving of the table '%s' to a stream - %s", {TErrorArg::Table, TErrorArg::Message}},
    {11314, "DEZEDE_TRIGGERERROR", "An error occurred during a trigger on the table '%s' - %s", {TErrorArg::Table, TErrorArg::Message}},
    {11949, "DEZEDE_SQLPARSE", "SQL parsing error - %s at line %u, column %u", {TErrorArg::Message, TErrorArg::Line, TErrorArg::Column}},
    {11950, "DEZEDE_SQLEXEC", "SQL execution error - %s", {TErrorArg::Message}},
    {12035, "DEZEDE_OLDVERSION", "The table '%s' is not the correct version", {TErrorArg::Table}},
    {12036, "DEZEDE_BADSIGNATURE", "The table or backup file '%s' is not valid", {TErrorArg::Table}},
    {12292, "DEZEDE_SEARCHCOLREQD", "Invalid field '%s' specified for the index '%s' in the table '%s'", {TErrorArg::Field, TErrorArg::Index, TErrorArg::Table}},
    {13060, "DEZEDE_TABLEEXISTS", "The table '%s' already exists", {TErrorArg::Table}},
    {15001, "DEZEDE_COMPRESS", "Error compressing data", {}},
    {15002, "DEZEDE_UNCOMPRESS", "Error uncompressing data", {}},
    {15878, "DEZEDE_CANNOTLOADLDDRV", "The locale support for the table '%s' is not available or installed", {TErrorArg::Table}},
};

std::string ArgText(TErrorArg arg, const TErrorContext& c, bool unsignedSlot) {
    switch (arg) {
        case TErrorArg::Table: return c.ErrorTableName;
        case TErrorArg::Database: return c.ErrorDatabaseName;
        case TErrorArg::Field: return c.ErrorFieldName;
        case TErrorArg::Index: return c.ErrorIndexName;
        case TErrorArg::Message: return c.ErrorMessage;
        case TErrorArg::Line: return std::to_string(c.ErrorLine);
        case TErrorArg::Column: return std::to_string(c.ErrorColumn);
        case TErrorArg::OSError:
            return unsignedSlot ? std::to_string(static_cast<uint32_t>(c.OSErrorCode))
                                : std::to_string(c.OSErrorCode);
    }
    return {};
}

}  // namespace

std::span<const TErrorCodeInfo> ErrorCodeTable() { return kTable; }

const TErrorCodeInfo* FindErrorCode(uint16_t code) {
    auto it = std::lower_bound(std::begin(kTable), std::end(kTable), code,
                               [](const TErrorCodeInfo& e, uint16_t c) { return e.Code < c; });
    if (it == std::end(kTable) || it->Code != code) return nullptr;
    return &*it;
}

std::string ErrorCodeName(uint16_t code) {
    if (code == 0) return "DEZEDE_NONE";
    const TErrorCodeInfo* info = FindErrorCode(code);
    return info ? info->Name : std::string();
}

std::string ErrorMessageText(uint16_t code, const TErrorContext& context) {
    const TErrorCodeInfo* info = FindErrorCode(code);
    if (!info || !info->Format) return kUnknownErrorText;
    std::string out;
    auto arg = info->Args.begin();
    for (const char* p = info->Format; *p; ++p) {
        if (p[0] == '%' && (p[1] == 's' || p[1] == 'u')) {
            if (arg != info->Args.end()) out += ArgText(*arg++, context, p[1] == 'u');
            ++p;
        } else {
            out += *p;
        }
    }
    if (out.size() > 254) out.resize(254);
    return out;
}

std::string EngineErrorMessage(uint16_t code, const TErrorContext& context) {
    return "DEZEDE Engine Error # " + std::to_string(code) + " " + ErrorMessageText(code, context);
}

}  // namespace dezede
