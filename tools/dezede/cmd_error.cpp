// dezede error CODE: the code, its name and its message format, tab-separated.

#include <charconv>
#include <iostream>

#include "engine/error_table.h"
#include "tools/dezede/command.h"

namespace dezede::tool {
namespace {

int Run(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::cerr << "usage: dezede error CODE\n";
        return kExitUsage;
    }
    const std::string& text = args[0];
    unsigned long code = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), code);
    if (ec != std::errc() || end != text.data() + text.size() || code > 65535) {
        std::cerr << "dezede: '" << text << "' is not an error code (0 to 65535)\n";
        return kExitUsage;
    }
    const TErrorCodeInfo* info = FindErrorCode(static_cast<uint16_t>(code));
    const char* format = info && info->Format ? info->Format : kUnknownErrorText;
    std::cout << code << '\t' << ErrorCodeName(static_cast<uint16_t>(code)) << '\t' << format << '\n';
    return kExitOk;
}

TCommandRegistration reg{{
    "error",
    "CODE",
    "Print an engine error code's name and message format",
    "Prints one tab-separated line: the code, its name (empty when the code has\n"
    "none) and its message format with the %s and %u placeholders as they stand.\n"
    "A code without a text of its own shows \"An unknown error occurred\".\n",
    Run,
}};

}  // namespace
}  // namespace dezede::tool
