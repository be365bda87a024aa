#include "platform/os_version.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace dezede {

bool GetVersionEx(TOSVersionInfo& info) {
    if (info.dwOSVersionInfoSize != 148) return false;
    info.dwMajorVersion = 10;
    info.dwMinorVersion = 0;
    info.dwBuildNumber = 19045;
    info.dwPlatformId = VER_PLATFORM_WIN32_NT;
    info.szCSDVersion.clear();
    if (const char* v = std::getenv("QUINTORA_OS_MAJOR")) {
        uint32_t major = 0;
        const char* end = v + std::strlen(v);
        auto [p, ec] = std::from_chars(v, end, major);
        if (ec == std::errc() && p == end && p != v && major <= 1000) info.dwMajorVersion = major;
    }
    return true;
}

uint32_t OSMajorVersion() {
    TOSVersionInfo info;
    GetVersionEx(info);
    return info.dwMajorVersion;
}

}  // namespace dezede
