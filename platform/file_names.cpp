#include "platform/file_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/windows_error.h"

namespace dezede {

namespace {

unsigned char LowerAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

bool EqualNoCase(const std::string& a, const std::string& b) { return CompareNoCase(a, b) == 0; }

struct TDirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};
using TDirPtr = std::unique_ptr<DIR, TDirCloser>;

std::string CurrentDirectory() {
    std::string buf(4096, '\0');
    if (::getcwd(buf.data(), buf.size()) == nullptr) return "/";
    buf.resize(std::char_traits<char>::length(buf.c_str()));
    return buf;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

// The entry of dir that matches name ignoring case, first in byte order; empty when none.
std::string FindNoCase(const std::string& dir, const std::string& name) {
    TDirPtr d(::opendir(dir.c_str()));
    if (!d) return {};
    std::string best;
    while (dirent* e = ::readdir(d.get())) {
        const std::string entry = e->d_name;
        if (entry == "." || entry == "..") continue;
        if (EqualNoCase(entry, name) && (best.empty() || entry < best)) best = entry;
    }
    return best;
}

}  // namespace

int CompareNoCase(const std::string& a, const std::string& b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = LowerAscii(static_cast<unsigned char>(a[i]));
        const unsigned char y = LowerAscii(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ResolveFileName(const std::string& path) {
    if (path.empty()) return path;
    std::string full = path[0] == '/' ? path : JoinPath(CurrentDirectory(), path);
    struct stat st{};
    if (::lstat(full.c_str(), &st) == 0) return full;
    const std::string name = NameOf(full);
    if (name.empty()) return full;
    const std::string dir = DirectoryOf(full);
    const std::string match = FindNoCase(dir, name);
    return match.empty() ? full : JoinPath(dir, match);
}

bool OSFileExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool OSDirectoryExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

uint32_t OSDeleteFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0) return WindowsErrorFromErrno(errno);
    return 0;
}

uint32_t OSRenameFile(const std::string& from, const std::string& to) {
    // A case-insensitive match of the target counts as an existing target,
    // unless it is the source itself (a change of letter case only).
    const std::string resolvedTo = ResolveFileName(to);
    struct stat st{};
    if (::lstat(resolvedTo.c_str(), &st) == 0 && ResolveFileName(from) != resolvedTo) return kWinAlreadyExists;
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    const int err = errno;
    if (err == EINVAL || err == ENOSYS) {
        // File systems without RENAME_NOREPLACE: link then unlink refuses an existing target too.
        if (::link(from.c_str(), to.c_str()) != 0) return WindowsErrorFromErrno(errno);
        ::unlink(from.c_str());
        return 0;
    }
    return WindowsErrorFromErrno(err);
}

std::vector<std::string> OSListFiles(const std::string& dir, const std::string& extension) {
    std::vector<std::string> names;
    TDirPtr d(::opendir(dir.empty() ? "." : dir.c_str()));
    if (!d) return names;
    while (dirent* e = ::readdir(d.get())) {
        const std::string entry = e->d_name;
        if (entry.size() < extension.size()) continue;
        if (!EqualNoCase(entry.substr(entry.size() - extension.size()), extension)) continue;
        struct stat st{};
        if (::stat(JoinPath(dir, entry).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        names.push_back(entry);
    }
    return names;
}

}  // namespace dezede
