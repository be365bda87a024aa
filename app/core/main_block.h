#pragma once
// The program's start: the application object, the main form, the data
// module, and the message loop unless the database is too old.

#include "app/core/command_line.h"

namespace dezede::freebolt {

class TFrontEnd;

// Runs the program on the given front end; returns the exit status.
int RunMainBlock(TFrontEnd& frontEnd, const TCommandLine& commandLine);

}  // namespace dezede::freebolt
