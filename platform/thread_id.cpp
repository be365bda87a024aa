#include "platform/thread_id.h"

#include <unistd.h>

namespace dezede {

uint32_t CurrentThreadId() { return static_cast<uint32_t>(gettid()); }

}  // namespace dezede
