// Opens, creates, locks and holds files on command, so that tests can check
// what another process sees. Reads one command per line on stdin and answers
// one line on stdout:
//   open <path> shared|exclusive|readonly   -> ok | err <code>
//   create <path>                           -> ok | err <code>
//   lock <offset> <length>                  -> ok | fail
//   unlock <offset> <length>                -> ok | fail
//   close                                   -> ok
//   quit                                    (ends the program)

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "engine/engine_error.h"
#include "engine/engine_file.h"
#include "engine/file_registry.h"
#include "tests/helpers/command_loop.h"

using namespace dezede;

int main() {
    std::unique_ptr<TEngineFile> file;
    test::RunCommandLoop(
        [&](const std::string& cmd, std::istringstream& in, std::string& answer) {
            if (cmd == "open" || cmd == "create") {
                std::string path, mode;
                in >> path >> mode;
                file = std::make_unique<TEngineFile>(TFileRegistry::Instance(), path);
                file->Exclusive = mode == "exclusive";
                file->ReadOnly = mode == "readonly";
                if (cmd == "open") file->Open(); else file->Create();
            } else if (cmd == "lock" || cmd == "unlock") {
                uint64_t offset = 0, length = 0;
                in >> offset >> length;
                if (!file || !file->LockRegion(offset, length, cmd == "lock")) answer = "fail";
            } else if (cmd == "close") {
                file.reset();
            } else if (cmd == "quit") {
                return false;
            } else {
                answer = "unknown";
            }
            return true;
        },
        [&] { file.reset(); });
    return 0;
}
