#pragma once
// Where the suite's data directory and the session's private directory come from.

#include <string>

namespace dezede::freebolt {

// The registry key under both hives, and the profile file, section and name.
inline constexpr const char* kFoldersKey = "Software\\Brindlecot\\Quintora 3\\Folders";
inline constexpr const char* kDataDirValue = "QuintoraDataDir";
inline constexpr const char* kTempFolderValue = "AppTempFolder";
inline constexpr const char* kProfileFile = "Vodozedo3.ini";
inline constexpr const char* kProfileSection = "Initialization";

// The first of: the current user's registry value, the local machine's, the
// profile file's entry, the program's folder + "Data". The result, as found,
// is written back to the current user's key (creating it); a failure of the
// write-back raises ERegistryException.
std::string ReadDataDirectory();

// The session's private directory: the current user's "AppTempFolder" when
// present and not empty, else the temporary-files directory, else the data directory.
std::string ChoosePrivateDirectory(const std::string& dataDirectory);

}  // namespace dezede::freebolt
