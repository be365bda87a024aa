// Freebolt: clears every record lock of a Quintora database when nobody else uses it.

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/core/command_line.h"
#include "app/core/exit_status.h"
#include "app/core/main_block.h"
#include "app/terminal/terminal_front_end.h"
#include "platform/crash_reporter.h"
#ifdef FREEBOLT_WITH_GUI
#include <QMessageBox>

#include "app/gui/qt_front_end.h"
#endif

namespace {

bool DisplayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* v = std::getenv(name);
        if (v && *v) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace dezede::freebolt;
    dezede::InstallCrashReporter("freebolt");

    TCommandLine cl = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!cl.Error.empty()) {
        std::cerr << "freebolt: " << cl.Error << "\nTry 'freebolt --help' for more information.\n";
        return kExitUsage;
    }
    if (cl.Help) {
        std::cout << UsageText();
        return kExitOk;
    }
    if (cl.Version) {
        std::cout << VersionText();
        return kExitOk;
    }

    try {
#ifdef FREEBOLT_WITH_GUI
        if (!cl.NoGui && !cl.Yes && DisplayAvailable()) {
            TQtApplication app(argc, argv);
            dezede::InstallCrashReporter("freebolt", [](const std::string& title, const std::string& text) {
                QMessageBox::critical(nullptr, QString::fromStdString(title), QString::fromStdString(text));
            });
            TQtFrontEnd gui;
            return RunMainBlock(gui, cl);
        }
#else
        (void)DisplayAvailable;
#endif
        TTerminalFrontEnd terminal(std::cin, std::cout, cl.Yes, ::isatty(STDOUT_FILENO) != 0);
        return RunMainBlock(terminal, cl);
    } catch (...) {
        dezede::ReportUnhandledException(std::current_exception());
    }
}
