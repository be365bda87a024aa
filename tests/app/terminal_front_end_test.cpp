// The terminal front end in process, and the freebolt program as a whole
// with no display.
#include "app/terminal/terminal_front_end.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <sstream>

#include "app/core/application.h"
#include "app/core/exit_status.h"
#include "app/core/main_form.h"
#include "app/core/task_dialog.h"
#include "app/core/task_message.h"
#include "tests/platform/temp_dir.h"

namespace dezede::freebolt {
namespace {

using dezede::test::TScopedEnv;
using dezede::test::TTempDir;

struct TTerminal {
    std::istringstream In;
    std::ostringstream Out;
    TTerminalFrontEnd FrontEnd;
    TTerminal(const std::string& input, bool defaults) : In(input), FrontEnd(In, Out, defaults) {
        Application().Initialize(&FrontEnd);
        Application().Title = "Quintora Freebolt";
    }
    ~TTerminal() { Application().Initialize(nullptr); }
};

TEST(TerminalFrontEnd, ShowsTheFormAndMarksTheCurrentPhase) {
    TTerminal t("l\nc\n", false);
    TfrmVovazorad form;
    form.imgArrow->SetVisible(true);
    form.ProgressBar->SetMax(14);
    form.ProgressBar->SetPosition(7);
    // A click that moves to the second phase and repaints, as the clearing does.
    form.cmdVovazorad->OnClick = [&] {
        form.imgArrow->SetTop(23);
        form.lblLocked->SetFontBold(true);
        form.Repaint();
    };
    EXPECT_EQ(t.FrontEnd.Run(form), kExitOk);
    EXPECT_TRUE(form.Closed());
    const std::string out = t.Out.str();
    size_t first = out.find("Clear Quintora Record Locks\n  -> Checking for exclusive access\n"
                            "     Releasing records that are locked\n");
    EXPECT_NE(first, std::string::npos) << out;
    EXPECT_NE(out.find("[####################....................] 7/14"), std::string::npos) << out;
    EXPECT_NE(out.find("[L] Clear Locks, [C] Cancel (default Clear Locks)"), std::string::npos) << out;
    EXPECT_NE(out.find("     Checking for exclusive access\n  -> Releasing records that are locked\n", first),
              std::string::npos)
        << out;
}

TEST(TerminalFrontEnd, AnsweringWithDefaultsPressesTheDefaultButtonOnce) {
    TTerminal t("c\n", true);
    TfrmVovazorad form;
    int clicks = 0;
    form.cmdVovazorad->OnClick = [&] { ++clicks; };
    EXPECT_EQ(t.FrontEnd.Run(form), kExitNotCleared);  // the click left the form open
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(form.Closed());
}

TEST(TerminalFrontEnd, AnswersByKeyNameOrDefault) {
    struct Case { const char* input; bool defaults; int32_t expected; };
    const Case cases[] = {
        {"y\n", false, IDYES}, {"NO\n", false, IDNO}, {"\n", false, IDNO},  // Enter takes the default
        {"", false, IDNO},                                                  // end of input too
        {"what\nc\n", false, IDCANCEL},                                     // asked again
        {"y\n", true, IDNO},                                                // answering with defaults reads nothing
    };
    TScopedEnv os("QUINTORA_OS_MAJOR", nullptr);
    for (const Case& c : cases) {
        TTerminal t(c.input, c.defaults);
        TTaskDialog d;
        d.CommonButtons = cbYes | cbNo | cbCancel;
        d.DefaultButton = IDNO;
        EXPECT_EQ(d.Execute(), c.expected) << c.input;
    }
}

TEST(TerminalFrontEnd, MessagesShowTitleInstructionAndContentOnSeparateLines) {
    for (const char* os : {"10", "5"}) {
        TScopedEnv env("QUINTORA_OS_MAJOR", os);
        TTerminal t("", false);
        EXPECT_EQ(ShowTaskMessage("Exclusive access failed", "Unable to lock.\r\rTry later.", mtInformation, 0, mbOK),
                  mrOk);
        const std::string out = t.Out.str();
        EXPECT_NE(out.find("== Quintora Freebolt =="), std::string::npos) << out;
        EXPECT_NE(out.find("Information: Exclusive access failed"), std::string::npos) << out;
        EXPECT_NE(out.find("Unable to lock.\n\nTry later."), std::string::npos) << out;
        EXPECT_EQ(out.find('\r'), std::string::npos);
    }
}

TEST(TerminalFrontEnd, AButtonRefusedByTheCallbackAsksAgain) {
    TScopedEnv os("QUINTORA_OS_MAJOR", nullptr);
    TTerminal t("o\no\n", false);
    TTaskDialog d;
    d.CommonButtons = cbOK;
    int clicks = 0;
    d.OnDialogClose = [&](TTaskDialog&, bool& canClose) { canClose = ++clicks > 1; };
    EXPECT_EQ(d.Execute(), IDOK);
    EXPECT_EQ(clicks, 2);
}

// Runs the built program with no display and the registry in a temporary folder.
struct TRun {
    int Status = -1;
    std::string Out;
};

TRun RunFreebolt(const TTempDir& dir, const std::string& args, const std::string& input) {
    dir.Write("input", input);
    std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY QUINTORA_HKCU='" + dir.File("hkcu.ini") +
                      "' QUINTORA_HKLM='" + dir.File("hklm.ini") + "' QUINTORA_WINDIR='" + dir.Path() + "' TMPDIR='" +
                      dir.Path() + "' " + DEZEDE_BINARY_DIR + "/app/freebolt " + args + " <'" + dir.File("input") +
                      "' 2>&1";
    TRun r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.Out.append(buf.data(), n);
    int st = pclose(p);
    r.Status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

TEST(FreeboltProgram, CommandLine) {
    TTempDir dir;
    struct Case { const char* args; int status; const char* output; };
    const Case cases[] = {
        {"--help", 0, "Usage: freebolt [OPTION]..."},
        {"--version", 0, "Quintora Freebolt\nDEZEDE engine 4.30 Build 2\n"},
        {"--frobnicate", 2, "unknown option '--frobnicate'"},
        {"--data-dir", 2, "needs a directory"},
        {"extra", 2, "unexpected argument 'extra'"},
    };
    for (const Case& c : cases) {
        TRun r = RunFreebolt(dir, c.args, "");
        EXPECT_EQ(r.Status, c.status) << c.args;
        EXPECT_NE(r.Out.find(c.output), std::string::npos) << c.args << ": " << r.Out;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("hkcu.ini")));
}

TEST(FreeboltProgram, TerminalRunFindsAndWritesBackTheDataDirectory) {
    TTempDir dir;
    dir.Write("hklm.ini", "[Software\\Brindlecot\\Quintora 3\\Folders]\nQuintoraDataDir=/srv/quintora\n");
    TRun r = RunFreebolt(dir, "", "c\n");
    EXPECT_EQ(r.Status, 0) << r.Out;
    EXPECT_NE(r.Out.find("Checking for exclusive access"), std::string::npos) << r.Out;
    EXPECT_NE(dir.Read("hkcu.ini").find("QuintoraDataDir=/srv/quintora"), std::string::npos);

    TTempDir other;
    r = RunFreebolt(other, "--no-gui --data-dir /given", "c\n");
    EXPECT_EQ(r.Status, 0) << r.Out;
    EXPECT_FALSE(std::filesystem::exists(other.File("hkcu.ini")));
}

TEST(FreeboltProgram, UnhandledErrorIsReportedWithItsStatus) {
    TTempDir dir;
    std::filesystem::create_directories(dir.File("hkcu.ini"));  // the write-back cannot replace a folder
    TRun r = RunFreebolt(dir, "--yes", "");
    EXPECT_EQ(r.Status, 70) << r.Out;
    EXPECT_NE(r.Out.find("freebolt: unhandled exception dezede::ERegistryException: "), std::string::npos) << r.Out;
}

}  // namespace
}  // namespace dezede::freebolt
