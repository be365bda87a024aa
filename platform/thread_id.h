#pragma once
// The calling thread's operating-system id (gettid).

#include <cstdint>

namespace dezede {

uint32_t CurrentThreadId();

}  // namespace dezede
