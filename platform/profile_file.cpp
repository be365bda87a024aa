#include "platform/profile_file.h"

#include <exception>
#include <optional>

#include "platform/file_names.h"
#include "platform/ini_document.h"
#include "platform/system_paths.h"

namespace dezede {


std::string ProfileFilePath(std::string_view fileName) {
    std::string name(fileName);
    if (name.find('/') != std::string::npos) return name;
    std::string dir = WindowsDirectory();
    if (dir.empty() || dir.back() != '/') dir += '/';
    return ResolveFileName(dir + name);
}

std::string GetPrivateProfileString(std::string_view section, std::string_view name,
                                    std::string_view defaultValue, std::string_view fileName) {
    try {
        std::optional<TIniDocument> doc = TIniDocument::Load(ProfileFilePath(fileName));
        if (doc) {
            if (std::optional<std::string> v = doc->Value(section, name)) return *v;
        }
    } catch (const std::exception&) {
        // An unreadable file reads like a missing one.
    }
    return std::string(defaultValue);
}

}  // namespace dezede
