#pragma once
// The operating-system version query. The system reports major version 10, so
// the branches written for newer Windows versions are the normal ones;
// $QUINTORA_OS_MAJOR (a decimal number) overrides the major version so that the
// branches for older versions can be run.

#include <cstdint>
#include <string>

namespace dezede {

struct TOSVersionInfo {
    uint32_t dwOSVersionInfoSize = 148;  // the size of the ANSI query's structure
    uint32_t dwMajorVersion = 0;
    uint32_t dwMinorVersion = 0;
    uint32_t dwBuildNumber = 0;
    uint32_t dwPlatformId = 0;
    std::string szCSDVersion;
};

inline constexpr uint32_t VER_PLATFORM_WIN32_NT = 2;

// Fills the version fields; false when dwOSVersionInfoSize is not 148.
bool GetVersionEx(TOSVersionInfo& info);

// The major version alone.
uint32_t OSMajorVersion();

}  // namespace dezede
