// dezede: the command-line tool for the engine's users.

#include <algorithm>
#include <exception>
#include <iostream>

#include "engine/engine_error.h"
#include "tools/dezede/command.h"

namespace dezede::tool {

std::vector<TCommand>& Commands() {
    static std::vector<TCommand> commands;
    return commands;
}

namespace {

void PrintUsage(std::ostream& out) {
    out << "usage: dezede <command> [arguments]\n"
           "       dezede <command> --help\n\n"
           "Commands:\n";
    auto commands = Commands();
    std::sort(commands.begin(), commands.end(),
              [](const TCommand& a, const TCommand& b) { return a.Name < b.Name; });
    for (const TCommand& c : commands) {
        out << "  " << c.Name;
        for (size_t i = c.Name.size(); i < 10; ++i) out << ' ';
        out << c.Summary << "\n";
    }
}

}  // namespace

int Main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintUsage(std::cerr);
        return kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintUsage(std::cout);
        return kExitOk;
    }
    for (const TCommand& c : Commands()) {
        if (c.Name != args[0]) continue;
        std::vector<std::string> rest(args.begin() + 1, args.end());
        if (std::find(rest.begin(), rest.end(), "--help") != rest.end()) {
            std::cout << "usage: dezede " << c.Name << " " << c.Usage << "\n\n" << c.Help;
            if (!c.Help.empty() && c.Help.back() != '\n') std::cout << "\n";
            return kExitOk;
        }
        try {
            return c.Run(rest);
        } catch (const EDEZEDEEngineError& e) {
            std::cerr << "dezede: " << e.what() << "\n";
            return kExitFailure;
        } catch (const std::exception& e) {
            std::cerr << "dezede: " << e.what() << "\n";
            return kExitFailure;
        }
    }
    std::cerr << "dezede: unknown command '" << args[0] << "' (see dezede --help)\n";
    return kExitUsage;
}

}  // namespace dezede::tool

int main(int argc, char** argv) { return dezede::tool::Main(argc, argv); }
