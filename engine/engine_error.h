#pragma once
// EDEZEDEEngineError: the exception that carries an engine error code, its
// context and the message "DEZEDE Engine Error # <code> <text>".

#include <cstdint>
#include <string>

#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "support/database_error.h"

namespace dezede {

class EDEZEDEEngineError : public EDatabaseError {
public:
    // Takes the code and copies the rest of the context from the engine's
    // last-error context (filled by RaiseError).
    explicit EDEZEDEEngineError(uint16_t code);
    // For callers that build a context themselves (tests, the components).
    explicit EDEZEDEEngineError(const TErrorContext& context);

    uint16_t ErrorCode;
    int32_t OSErrorCode;
    int32_t SocketErrorCode;
    std::string ErrorRemoteName;
    std::string ErrorUserName;
    std::string ErrorDatabaseName;
    std::string ErrorTableName;
    std::string ErrorFieldName;
    std::string ErrorIndexName;
    std::string ErrorMessage;
    std::string ErrorProcedureName;
    std::string ErrorEventName;
    uint32_t ErrorLine;
    uint32_t ErrorColumn;

    TErrorContext Context() const;
};

}  // namespace dezede
