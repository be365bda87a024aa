#include "engine/os_error.h"

#include "engine/error_codes.h"
#include "engine/error_context.h"

namespace dezede {

uint16_t EngineErrorFromWindows(uint32_t windowsError) {
    switch (windowsError) {
        case 2:
        case 3: return DEZEDE_OSENOENT;
        case 4: return DEZEDE_OSEMFILE;
        case 5:
        case 32:
        case 65:
        case 183: return DEZEDE_OSEACCES;
        case 6: return DEZEDE_OSEBADF;
        case 8:
        case 14: return DEZEDE_OSENOMEM;
        case 15: return DEZEDE_OSENODEV;
        case 17: return DEZEDE_OSENOTSAM;
        default: return DEZEDE_OSUNKNOWN;
    }
}

uint16_t SaveOSError(uint32_t windowsError) {
    const uint16_t code = EngineErrorFromWindows(windowsError);
    TErrorContextStore::Instance().SetOSError(code);
    return code;
}

}  // namespace dezede
