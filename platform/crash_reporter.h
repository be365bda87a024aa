#pragma once
// The crash reporter: reports an exception that nothing handled (its type and
// message) on standard error, and through an optional dialog routine when a
// display is in use, then ends the process with kCrashExitStatus.
//
// InstallCrashReporter sets the terminate handler, so exceptions that leave
// main or a thread end up here; a program's main loop can also hand a caught
// exception to ReportUnhandledException directly.

#include <exception>
#include <functional>
#include <string>

namespace dezede {

inline constexpr int kCrashExitStatus = 70;

using TCrashDialogProc = std::function<void(const std::string& title, const std::string& text)>;

void InstallCrashReporter(std::string programName, TCrashDialogProc dialog = {});

// "<type>: <message>" for a C++ exception, or a note for an unknown one.
std::string DescribeException(std::exception_ptr e);

[[noreturn]] void ReportUnhandledException(std::exception_ptr e);

}  // namespace dezede
