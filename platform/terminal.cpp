#include "platform/terminal.h"

#include <unistd.h>

namespace dezede {

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace dezede
