#include "engine/engine_error.h"

#include "engine/error_table.h"

namespace dezede {

namespace {
TErrorContext ContextFor(uint16_t code) {
    TErrorContext c = TErrorContextStore::Instance().Last();
    if (c.ErrorCode != code) {
        // Raised without RaiseError: no context belongs to this code.
        c = TErrorContext{};
        c.ErrorCode = code;
    }
    return c;
}
}  // namespace

EDEZEDEEngineError::EDEZEDEEngineError(uint16_t code) : EDEZEDEEngineError(ContextFor(code)) {}

EDEZEDEEngineError::EDEZEDEEngineError(const TErrorContext& c)
    : EDatabaseError(EngineErrorMessage(c.ErrorCode, c)),
      ErrorCode(c.ErrorCode),
      OSErrorCode(c.OSErrorCode),
      SocketErrorCode(c.SocketErrorCode),
      ErrorRemoteName(c.ErrorRemoteName),
      ErrorUserName(c.ErrorUserName),
      ErrorDatabaseName(c.ErrorDatabaseName),
      ErrorTableName(c.ErrorTableName),
      ErrorFieldName(c.ErrorFieldName),
      ErrorIndexName(c.ErrorIndexName),
      ErrorMessage(c.ErrorMessage),
      ErrorProcedureName(c.ErrorProcedureName),
      ErrorEventName(c.ErrorEventName),
      ErrorLine(c.ErrorLine),
      ErrorColumn(c.ErrorColumn) {}

TErrorContext EDEZEDEEngineError::Context() const {
    TErrorContext c;
    c.ErrorCode = ErrorCode;
    c.OSErrorCode = OSErrorCode;
    c.SocketErrorCode = SocketErrorCode;
    c.ErrorRemoteName = ErrorRemoteName;
    c.ErrorUserName = ErrorUserName;
    c.ErrorDatabaseName = ErrorDatabaseName;
    c.ErrorTableName = ErrorTableName;
    c.ErrorFieldName = ErrorFieldName;
    c.ErrorIndexName = ErrorIndexName;
    c.ErrorMessage = ErrorMessage;
    c.ErrorProcedureName = ErrorProcedureName;
    c.ErrorEventName = ErrorEventName;
    c.ErrorLine = ErrorLine;
    c.ErrorColumn = ErrorColumn;
    return c;
}

}  // namespace dezede
