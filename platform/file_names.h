#pragma once
// File names on a case-sensitive file system for an engine that expects the
// Windows rules: names resolve case-insensitively inside their directory,
// rename refuses an existing target, listings match extensions ignoring case.
// Failures are Windows error numbers (windows_error.h); 0 is success.

#include <cstdint>
#include <string>
#include <vector>

namespace dezede {

// Makes the path absolute and resolves its last component inside its
// directory: the exact name when it exists, else the first entry (in byte
// order) that matches ignoring ASCII case, else the name as given.
std::string ResolveFileName(const std::string& path);

// The directory part of a path ("." when there is none) and the name part.
std::string DirectoryOf(const std::string& path);
std::string NameOf(const std::string& path);

bool OSFileExists(const std::string& path);
bool OSDirectoryExists(const std::string& path);
uint32_t OSDeleteFile(const std::string& path);
// Fails with kWinAlreadyExists when the target exists (in any letter case).
uint32_t OSRenameFile(const std::string& from, const std::string& to);
// Names (without directory) of the regular files in dir whose extension
// (".dat") matches ignoring case, in directory order.
std::vector<std::string> OSListFiles(const std::string& dir, const std::string& extension);

// ASCII case-insensitive comparison (<0, 0, >0).
int CompareNoCase(const std::string& a, const std::string& b);

}  // namespace dezede
