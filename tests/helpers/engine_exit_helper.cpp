// Leaves the engine active, with sessions and an in-memory file, and returns
// from main: the component unit then shuts the engine down during process
// exit. Exit status 0 when that went through cleanly.

#include <cstdio>

#include "components/dezede_engine.h"
#include "components/dezede_session.h"
#include "components/global_engine.h"
#include "engine/data_engine.h"

int main() {
    using namespace dezede;
    auto* session = new TDEZEDESession();  // freed by the engine at exit
    session->SetSessionName("Leftover");
    session->SetActive(true);
    TFileOpenResult file = GlobalEngine()->DataEngine().FileRegistry().Create({.Name = "leftover.dat", .InMemory = true});
    if (file.File == nullptr) return 2;
    GlobalEngine()->DataEngine().FileRegistry().Close(file.File, file.Handle);
    std::puts(GlobalEngine()->Active() && DefaultSession()->Active() ? "active" : "inactive");
    return 0;
}
