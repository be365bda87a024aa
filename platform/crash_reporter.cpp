#include "platform/crash_reporter.h"

#include <cxxabi.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace dezede {

namespace {

struct TReporterState {
    std::string ProgramName = "program";
    TCrashDialogProc Dialog;
};

TReporterState& State() {
    static TReporterState state;
    return state;
}

std::string Demangle(const char* name) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> out(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    return (status == 0 && out) ? std::string(out.get()) : std::string(name);
}

void OnTerminate() {
    std::exception_ptr e = std::current_exception();
    if (!e) {
        std::fprintf(stderr, "%s: terminated without an exception\n", State().ProgramName.c_str());
        std::fflush(stderr);
        ::_exit(kCrashExitStatus);
    }
    ReportUnhandledException(e);
}

}  // namespace

void InstallCrashReporter(std::string programName, TCrashDialogProc dialog) {
    State().ProgramName = std::move(programName);
    State().Dialog = std::move(dialog);
    std::set_terminate(OnTerminate);
}

std::string DescribeException(std::exception_ptr e) {
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& ex) {
        return Demangle(typeid(ex).name()) + ": " + ex.what();
    } catch (...) {
        const std::type_info* t = abi::__cxa_current_exception_type();
        return t ? Demangle(t->name()) + ": (no message)" : std::string("unknown exception");
    }
}

void ReportUnhandledException(std::exception_ptr e) {
    // A second failure while reporting must not recurse.
    static std::atomic<bool> reporting{false};
    if (reporting.exchange(true)) ::_exit(kCrashExitStatus);
    std::string text = DescribeException(e);
    std::fprintf(stderr, "%s: unhandled exception %s\n", State().ProgramName.c_str(), text.c_str());
    std::fflush(stderr);
    if (State().Dialog) {
        try {
            State().Dialog(State().ProgramName, "An unhandled error ended the program.\n\n" + text);
        } catch (...) {
        }
    }
    std::fflush(stdout);
    ::_exit(kCrashExitStatus);
}

}  // namespace dezede
