#pragma once
// Freebolt's command line.

#include <optional>
#include <string>
#include <vector>

namespace dezede::freebolt {

struct TCommandLine {
    bool Help = false;
    bool Version = false;
    bool NoGui = false;
    bool Yes = false;  // answer with default buttons; implies the terminal front end
    std::optional<std::string> DataDirectory;
    std::string Error;  // set when the arguments are not valid
};

TCommandLine ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText();
// The application title and the engine version.
std::string VersionText();

}  // namespace dezede::freebolt
