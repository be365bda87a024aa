#pragma once
// The hooks through which the component layer plugs application code into the
// engine core: text-index filtering, custom SQL functions, and the insert,
// update and delete triggers with their error events. A hook that is not
// assigned (empty std::function) is simply not called.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace dezede {

class TDataCursor;
class TDataSession;
class EDEZEDEEngineError;

// What an error event decides: fail with the error, abort silently, or retry.
enum class TDataAction : uint8_t { daFail, daAbort, daRetry };

// Where a trigger or an error event fires, with the cursor and the record
// images it works on: the new image of an insert, the old and new images of
// an update, the old image of a delete (the others empty). The images are
// valid only during the call.
struct TTriggerContext {
    TDataSession* Session = nullptr;
    std::string DatabaseName;
    std::string TableName;
    TDataCursor* Cursor = nullptr;
    std::span<const uint8_t> OldRecord;
    std::span<const uint8_t> NewRecord;
};

// A call of a custom SQL function listed in the engine's Functions. The SQL
// layer adds access to the arguments and the result.
struct TCustomFunctionCall {
    TDataSession* Session = nullptr;
    std::string DatabaseName;
    std::string FunctionName;
};

using TTextIndexFilterHook =
    std::function<void(const std::string& tableName, const std::string& fieldName, std::string& text)>;
using TTextIndexTokenFilterHook = std::function<void(const std::string& tableName, const std::string& fieldName,
                                                     const std::string& token, bool& include)>;
using TCustomFunctionHook = std::function<void(TCustomFunctionCall& call)>;
using TTriggerHook = std::function<void(TTriggerContext& context)>;
using TTriggerErrorHook =
    std::function<void(TTriggerContext& context, const EDEZEDEEngineError& error, TDataAction& action)>;

struct TEngineHooks {
    TTextIndexFilterHook OnTextIndexFilter;
    TTextIndexTokenFilterHook OnTextIndexTokenFilter;
    TCustomFunctionHook OnCustomFunction;
    TTriggerHook BeforeInsertTrigger;
    TTriggerHook AfterInsertTrigger;
    TTriggerHook BeforeUpdateTrigger;
    TTriggerHook AfterUpdateTrigger;
    TTriggerHook BeforeDeleteTrigger;
    TTriggerHook AfterDeleteTrigger;
    TTriggerErrorHook OnInsertError;
    TTriggerErrorHook OnUpdateError;
    TTriggerErrorHook OnDeleteError;
};

}  // namespace dezede
