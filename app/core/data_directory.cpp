#include "app/core/data_directory.h"

#include "platform/process_paths.h"
#include "platform/profile_file.h"
#include "platform/registry.h"
#include "platform/system_paths.h"

namespace dezede::freebolt {

namespace {

std::string ReadValue(TRegistry& reg, THive hive, const char* name) {
    reg.RootKey = hive;
    std::string value;
    if (reg.OpenKeyReadOnly(kFoldersKey)) {
        value = reg.ReadString(name);
        reg.CloseKey();
    }
    return value;
}

}  // namespace

std::string ReadDataDirectory() {
    TRegistry reg;
    const uint32_t access = reg.Access;  // the read-only opens below change it
    std::string dir = ReadValue(reg, HKEY_CURRENT_USER, kDataDirValue);
    if (dir.empty()) dir = ReadValue(reg, HKEY_LOCAL_MACHINE, kDataDirValue);
    if (dir.empty()) dir = GetPrivateProfileString(kProfileSection, kDataDirValue, "", kProfileFile);
    if (dir.empty()) dir = ProgramFolder() + "Data";

    reg.RootKey = HKEY_CURRENT_USER;
    reg.Access = access;
    if (!reg.OpenKey(kFoldersKey, true))
        throw ERegistryException("Failed to set data for '" + std::string(kDataDirValue) + "'");
    reg.WriteString(kDataDirValue, dir);
    reg.CloseKey();
    return dir;
}

std::string ChoosePrivateDirectory(const std::string& dataDirectory) {
    TRegistry reg;
    std::string dir = ReadValue(reg, HKEY_CURRENT_USER, kTempFolderValue);
    if (dir.empty()) dir = TemporaryDirectory();
    if (dir.empty()) dir = dataDirectory;
    return dir;
}

}  // namespace dezede::freebolt
