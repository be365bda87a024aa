#pragma once
// Whether the process's standard error goes to a terminal (progress displays
// are drawn only there).

namespace dezede {

bool StandardErrorIsTerminal();

}  // namespace dezede
