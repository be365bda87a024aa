#pragma once
// The engine's mapping of a Windows error number (platform/windows_error.h)
// to its own DEZEDE_OS* codes.

#include <cstdint>

namespace dezede {

uint16_t EngineErrorFromWindows(uint32_t windowsError);

// Maps the error, saves it as the last operating-system error of the error
// context and returns the engine code.
uint16_t SaveOSError(uint32_t windowsError);

}  // namespace dezede
