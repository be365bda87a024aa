#include "platform/process_paths.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace dezede {

namespace {
std::string WithSeparator(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}
}  // namespace

std::string TemporaryDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    return WithSeparator(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
}

std::string CurrentDirectory() {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() >= (1u << 20)) return "/";
        buffer.resize(buffer.size() * 2);
    }
    return WithSeparator(buffer.data());
}

}  // namespace dezede
