#include "engine/error_context.h"

#include "engine/engine_error.h"

namespace dezede {

namespace {
std::string Cut255(const std::string& s) { return s.size() > 255 ? s.substr(0, 255) : s; }
}  // namespace

TErrorContextStore& TErrorContextStore::Instance() {
    static TErrorContextStore store;
    return store;
}

void TErrorContextStore::SetOSError(int32_t code) {
    std::lock_guard lock(Mutex_);
    OSError_ = code;
}

int32_t TErrorContextStore::OSError() const {
    std::lock_guard lock(Mutex_);
    return OSError_;
}

TErrorContext TErrorContextStore::Record(uint16_t code, const TErrorArgs& a) {
    std::lock_guard lock(Mutex_);
    Last_ = TErrorContext{};
    Last_.ErrorCode = code;
    Last_.OSErrorCode = OSError_;
    Last_.SocketErrorCode = a.Socket;
    Last_.ErrorRemoteName = Cut255(a.Remote);
    Last_.ErrorUserName = Cut255(a.User);
    Last_.ErrorDatabaseName = Cut255(a.Database);
    Last_.ErrorTableName = Cut255(a.Table);
    Last_.ErrorFieldName = Cut255(a.Field);
    Last_.ErrorIndexName = Cut255(a.Index);
    Last_.ErrorMessage = Cut255(a.Message);
    Last_.ErrorProcedureName = Cut255(a.Procedure);
    Last_.ErrorEventName = Cut255(a.Event);
    Last_.ErrorLine = a.Line;
    Last_.ErrorColumn = a.Column;
    return Last_;
}

TErrorContext TErrorContextStore::Last() const {
    std::lock_guard lock(Mutex_);
    return Last_;
}

void RaiseError(uint16_t code, const TErrorArgs& args) {
    TErrorContextStore::Instance().Record(code, args);
    throw EDEZEDEEngineError(code);
}

}  // namespace dezede
