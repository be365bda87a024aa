#pragma once
// The protocol of the helper programs: one command per line on standard input,
// one answer line on standard output. The handler gets the command word, the
// rest of the line to read its arguments from, and the answer (preset to
// "ok"); it returns false to end the loop without answering. An engine error
// answers "err <code>" after onError has run.

#include <iostream>
#include <sstream>
#include <string>

#include "engine/engine_error.h"

namespace dezede::test {

template <class THandler, class TOnError>
void RunCommandLoop(THandler&& handle, TOnError&& onError) {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string cmd;
        in >> cmd;
        std::string answer = "ok";
        try {
            if (!handle(cmd, in, answer)) return;
        } catch (const EDEZEDEEngineError& e) {
            onError();
            answer = "err " + std::to_string(e.ErrorCode);
        }
        std::cout << answer << std::endl;
    }
}

template <class THandler>
void RunCommandLoop(THandler&& handle) {
    RunCommandLoop(std::forward<THandler>(handle), [] {});
}

}  // namespace dezede::test
