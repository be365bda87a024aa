#pragma once
// Directories of the running process: the temporary-files directory and the
// current directory, each with a trailing "/".

#include <string>

namespace dezede {

// $TMPDIR when set and not empty, else /tmp.
std::string TemporaryDirectory();

// The process's current directory; "/" if it cannot be determined.
std::string CurrentDirectory();

}  // namespace dezede
