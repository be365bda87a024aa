#include "platform/profile_file.h"

#include <dirent.h>
#include <sys/stat.h>

#include <exception>
#include <optional>

#include "platform/ini_document.h"
#include "platform/system_paths.h"

namespace dezede {

namespace {

// The entry of `dir` named `name`: the exact name when it exists, otherwise the
// first entry in byte order that matches ignoring ASCII case.
std::string ResolveInDirectory(const std::string& dir, const std::string& name) {
    std::string exact = dir + "/" + name;
    struct stat st {};
    if (::lstat(exact.c_str(), &st) == 0) return exact;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return exact;
    std::optional<std::string> best;
    while (dirent* e = ::readdir(d)) {
        std::string entry = e->d_name;
        if (SameNameIgnoringCase(entry, name) && (!best || entry < *best)) best = entry;
    }
    ::closedir(d);
    return best ? dir + "/" + *best : exact;
}

}  // namespace

std::string ProfileFilePath(std::string_view fileName) {
    std::string name(fileName);
    if (name.find('/') != std::string::npos) return name;
    std::string dir = WindowsDirectory();
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return ResolveInDirectory(dir, name);
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
