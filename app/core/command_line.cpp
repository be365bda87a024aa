#include "app/core/command_line.h"

#include "components/dezede_engine.h"

namespace dezede::freebolt {

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    TCommandLine cl;
    for (size_t i = 0; i < args.size() && cl.Error.empty(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            cl.Help = true;
        } else if (a == "--version") {
            cl.Version = true;
        } else if (a == "--no-gui") {
            cl.NoGui = true;
        } else if (a == "--yes" || a == "-y") {
            cl.Yes = true;
        } else if (a == "--data-dir" || a.rfind("--data-dir=", 0) == 0) {
            std::string dir;
            if (a == "--data-dir") {
                if (i + 1 >= args.size()) {
                    cl.Error = "option '--data-dir' needs a directory";
                    break;
                }
                dir = args[++i];
            } else {
                dir = a.substr(11);
            }
            if (dir.empty()) cl.Error = "option '--data-dir' needs a directory";
            cl.DataDirectory = dir;
        } else {
            cl.Error = (a.rfind("-", 0) == 0 ? "unknown option '" : "unexpected argument '") + a + "'";
        }
    }
    return cl;
}

std::string UsageText() {
    return "Usage: freebolt [OPTION]...\n"
           "Clear every record lock of the Quintora database, when nobody else is using it.\n"
           "\n"
           "  --data-dir DIR  use DIR as the data directory; the registry and the INI file\n"
           "                  are not consulted and nothing is written back\n"
           "  --no-gui        use the terminal even when a display is available\n"
           "  --yes           answer the question and every message with its default\n"
           "                  button, for scripts (implies --no-gui)\n"
           "  --help          show this help and exit\n"
           "  --version       show the program and engine version and exit\n"
           "\n"
           "Without a display (DISPLAY and WAYLAND_DISPLAY unset) the terminal is used.\n"
           "\n"
           "Exit status:\n"
           "  0   the program ended normally (locks cleared, or cancelled by the user)\n"
           "  1   run with --yes, the locks were not cleared\n"
           "  2   bad command line\n"
           "  70  an unhandled error ended the program\n";
}

std::string VersionText() { return std::string("Quintora Freebolt\nDEZEDE engine ") + kEngineVersion + "\n"; }

}  // namespace dezede::freebolt
