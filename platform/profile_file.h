#pragma once
// Profile (INI) files, read the way the Windows profile functions read them.
// A file name without a directory is looked up in the Windows directory
// (WindowsDirectory(), system_paths.h); the name is matched without regard to
// case there, as a file copied from Windows may be spelt differently.

#include <string>
#include <string_view>

namespace dezede {

// The full path that a profile file name stands for.
std::string ProfileFilePath(std::string_view fileName);

// The value of `name` in `section`, or `defaultValue` when the file, the
// section or the value is missing or the file cannot be read.
std::string GetPrivateProfileString(std::string_view section, std::string_view name,
                                    std::string_view defaultValue, std::string_view fileName);

}  // namespace dezede
