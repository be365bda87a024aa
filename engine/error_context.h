#pragma once
// The engine's last-error context and RaiseError, through which every layer
// of the engine raises its errors.
//
//   RaiseError(DEZEDE_READERR, {.Table = file.Name()});
//
// RaiseError clears the context, stores the code, the operating-system error
// saved by the file layer and the given values (each string cut to 255
// characters), then throws EDEZEDEEngineError with that code.

#include <cstdint>
#include <mutex>
#include <string>

namespace dezede {

struct TErrorContext {
    uint16_t ErrorCode = 0;
    int32_t OSErrorCode = 0;      // DEZEDE_OS* code of the last failed system call, or 0
    int32_t SocketErrorCode = 0;  // remote kind only
    std::string ErrorRemoteName;
    std::string ErrorUserName;
    std::string ErrorDatabaseName;
    std::string ErrorTableName;
    std::string ErrorFieldName;
    std::string ErrorIndexName;
    std::string ErrorMessage;
    std::string ErrorProcedureName;
    std::string ErrorEventName;
    uint32_t ErrorLine = 0;
    uint32_t ErrorColumn = 0;
};

// The values a caller passes with a code. Designated initialisers keep call
// sites short: RaiseError(code, {.Table = t, .Database = d}).
struct TErrorArgs {
    std::string Table;
    std::string Database;
    std::string Field;
    std::string Index;
    std::string Message;
    uint32_t Line = 0;
    uint32_t Column = 0;
    std::string User;
    std::string Remote;
    std::string Procedure;
    std::string Event;
    int32_t Socket = 0;
};

// The process-wide error context (one engine per process), guarded by its own mutex.
class TErrorContextStore {
public:
    static TErrorContextStore& Instance();

    // The file layer saves the DEZEDE_OS* code of a failed system call here.
    void SetOSError(int32_t code);
    int32_t OSError() const;

    TErrorContext Record(uint16_t code, const TErrorArgs& args);
    TErrorContext Last() const;

private:
    mutable std::mutex Mutex_;
    TErrorContext Last_;
    int32_t OSError_ = 0;
};

[[noreturn]] void RaiseError(uint16_t code, const TErrorArgs& args = {});

}  // namespace dezede
