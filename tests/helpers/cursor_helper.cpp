// Edits a table through a cursor in a process of its own, on command, so that
// tests can check what a cursor in another process sees. One command per line
// on stdin, one answer line on stdout: "ok" or "err <engine error code>".
//
//   open <dir>                 open the directory and a cursor on "People"
//   append <name> <code>       append a record with Name and Code
//   quit

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/cursor.h"
#include "engine/data_directory.h"
#include "engine/data_engine.h"
#include "engine/data_session.h"
#include "engine/engine_error.h"
#include "engine/field_value.h"
#include "support/endian.h"
#include "tests/helpers/command_loop.h"

using namespace dezede;

int main() {
    TDataEngine engine;
    engine.Startup("dezede.lck");
    TDataSession* session = engine.CreateSession();
    std::unique_ptr<TDataCursor> cursor;
    test::RunCommandLoop([&](const std::string& cmd, std::istringstream& in, std::string& answer) {
        if (cmd == "quit") return false;
        if (cmd == "open") {
            std::string dir;
            in >> dir;
            TDataDirectory* d = session->OpenDataDir("db", dir, false, false);
            cursor = std::make_unique<TDataCursor>(*d);
            cursor->OpenCursor("People");
        } else if (!cursor) {
            answer = "err 0";
        } else if (cmd == "append") {
            std::string name;
            int32_t code = 0;
            in >> name >> code;
            std::vector<uint8_t> r(cursor->RecordSize());
            cursor->InitRecord(r);
            SetFieldValue(*cursor->FindField("Name"), r,
                          std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(name.data()), name.size()));
            uint8_t v[4];
            StoreLE32(v, static_cast<uint32_t>(code));
            SetFieldValue(*cursor->FindField("Code"), r, std::span<const uint8_t>(v, 4));
            cursor->AppendRecord(r);
        } else {
            answer = "unknown";
        }
        return true;
    });
    cursor.reset();
    engine.FreeSession(session);
    return 0;
}
