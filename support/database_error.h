#pragma once
// The dataset framework's database error: the base of every error that the
// components and the engine raise. Component misuse raises it directly with a
// fixed text; the engine raises its subclass EDEZEDEEngineError.

#include <stdexcept>
#include <string>

namespace dezede {

class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const std::string& message) : std::runtime_error(message) {}

    // The error with the first "%s" of format replaced by arg
    // ("Session name '%s' is not valid").
    static EDatabaseError Fmt(const std::string& format, const std::string& arg) {
        std::string text = format;
        if (const auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, arg);
        return EDatabaseError(text);
    }
};

}  // namespace dezede
