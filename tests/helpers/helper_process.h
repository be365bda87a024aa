#pragma once
// Starts a helper program of tests/helpers as a child process and talks to it
// line by line over pipes, every answer awaited for a bounded time.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace dezede::test {

class THelperProcess {
public:
    explicit THelperProcess(const std::string& program) {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) throw std::runtime_error("pipe");
        Pid_ = fork();
        if (Pid_ < 0) throw std::runtime_error("fork");
        if (Pid_ == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            close(toChild[0]);
            close(toChild[1]);
            close(fromChild[0]);
            close(fromChild[1]);
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        In_ = toChild[1];
        Out_ = fromChild[0];
    }
    ~THelperProcess() {
        if (In_ >= 0) close(In_);  // end of input ends the helper
        if (Out_ >= 0) close(Out_);
        if (Pid_ > 0) {
            for (int i = 0; i < 200; ++i) {
                if (waitpid(Pid_, nullptr, WNOHANG) == Pid_) return;
                usleep(10000);
            }
            kill(Pid_, SIGKILL);
            waitpid(Pid_, nullptr, 0);
        }
    }
    THelperProcess(const THelperProcess&) = delete;
    THelperProcess& operator=(const THelperProcess&) = delete;

    // Sends one command and returns the answer line ("" after 10 s of silence).
    std::string Ask(const std::string& command) {
        const std::string line = command + "\n";
        if (write(In_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return {};
        std::string answer;
        for (;;) {
            pollfd p{Out_, POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0) return {};
            char c;
            if (read(Out_, &c, 1) != 1) return answer;
            if (c == '\n') return answer;
            answer += c;
        }
    }

private:
    pid_t Pid_ = -1;
    int In_ = -1;
    int Out_ = -1;
};

}  // namespace dezede::test
