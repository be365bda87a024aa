#pragma once
// The folders that the program asks the system for.

#include <string>

namespace dezede {

// The directory of the running executable (/proc/self/exe), with a trailing "/".
// Throws std::system_error when the link cannot be read.
std::string ProgramFolder();

// The folder where profile files named without a directory live: $QUINTORA_WINDIR, else /etc.
std::string WindowsDirectory();

}  // namespace dezede
