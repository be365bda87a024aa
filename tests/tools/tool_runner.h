#pragma once
// Runs the built dezede tool and captures its standard output and exit status.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace dezede::test {

struct ToolResult {
    int status = -1;
    std::string out;
};

inline ToolResult RunTool(const std::string& args) {
    std::string cmd = std::string(DEZEDE_BINARY_DIR) + "/tools/dezede/dezede " + args + " 2>/dev/null";
    ToolResult r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

}  // namespace dezede::test
