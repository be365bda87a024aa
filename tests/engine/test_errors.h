#pragma once
// The engine error code an action raises, or 0 when it raises none.

#include <cstdint>
#include <functional>

#include "engine/engine_error.h"

namespace dezede::test {

inline uint16_t ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EDEZEDEEngineError& e) {
        return e.ErrorCode;
    }
    return 0;
}

}  // namespace dezede::test
