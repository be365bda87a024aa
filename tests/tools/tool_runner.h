#pragma once
// Runs the built dezede tool and captures its standard output, standard error
// and exit status. The arguments go through the shell, so they may redirect
// standard input ("load t - < file").

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace dezede::test {

struct ToolResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline ToolResult RunTool(const std::string& args) {
    static std::atomic<int> counter{0};
    const std::string errFile = "/tmp/dezede_tool_err_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    std::string cmd = std::string(DEZEDE_BINARY_DIR) + "/tools/dezede/dezede " + args + " 2>" + errFile;
    ToolResult r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::ifstream err(errFile, std::ios::binary);
    r.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    std::remove(errFile.c_str());
    return r;
}

}  // namespace dezede::test
