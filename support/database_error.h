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
};

}  // namespace dezede
