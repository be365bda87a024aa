#pragma once
// The dezede tool's command table. Each command lives in its own file and
// registers itself with a static TCommandRegistration:
//
//   static TCommandRegistration reg{{"error", "CODE", "Print an error code's name and text", Help, Run}};

#include <functional>
#include <string>
#include <vector>

namespace dezede::tool {

struct TCommand {
    std::string Name;
    std::string Usage;    // the arguments, for the usage line
    std::string Summary;  // one line for `dezede --help`
    std::string Help;     // the full text for `dezede <command> --help`
    // Receives the arguments after the command name; returns the exit status.
    std::function<int(const std::vector<std::string>& args)> Run;
};

std::vector<TCommand>& Commands();

struct TCommandRegistration {
    explicit TCommandRegistration(TCommand command) { Commands().push_back(std::move(command)); }
};

// Exit statuses shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // an engine error or a failed operation
inline constexpr int kExitUsage = 2;    // bad command line

}  // namespace dezede::tool
