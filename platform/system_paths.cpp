#include "platform/system_paths.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace dezede {

namespace {

std::string EnvOr(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : std::string(fallback);
}

}  // namespace

std::string ProgramFolder() {
    std::vector<char> buf(4096);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) throw std::system_error(errno, std::generic_category(), "cannot read /proc/self/exe");
        if (static_cast<size_t>(n) < buf.size()) {
            std::string path(buf.data(), static_cast<size_t>(n));
            return path.substr(0, path.rfind('/') + 1);
        }
        buf.resize(buf.size() * 2);
    }
}

std::string WindowsDirectory() { return EnvOr("QUINTORA_WINDIR", "/etc"); }

}  // namespace dezede
