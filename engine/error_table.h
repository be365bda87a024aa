#pragma once
// The engine's error code table: every code with its name, its message format
// and where each argument of the format comes from. Kept as data in one place.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

namespace dezede {

struct TErrorContext;

// Where a %s or %u of a message format takes its value from.
enum class TErrorArg : uint8_t { Table, Database, Field, Index, Message, Line, Column, OSError };

struct TErrorCodeInfo {
    uint16_t Code;
    const char* Name;    // "DEZEDE_..."
    const char* Format;  // nullptr: the code has no text of its own
    std::initializer_list<TErrorArg> Args;
};

// Every listed code, in ascending order.
std::span<const TErrorCodeInfo> ErrorCodeTable();

// The entry of a code, or nullptr for an unlisted code.
const TErrorCodeInfo* FindErrorCode(uint16_t code);

// The code's name; empty for unlisted codes and for codes without a name.
std::string ErrorCodeName(uint16_t code);

inline constexpr const char* kUnknownErrorText = "An unknown error occurred";

// The code's message text filled from the context, cut to 254 characters;
// kUnknownErrorText for a code without a format.
std::string ErrorMessageText(uint16_t code, const TErrorContext& context);

// "DEZEDE Engine Error # <code> <text>".
std::string EngineErrorMessage(uint16_t code, const TErrorContext& context);

}  // namespace dezede
