#include "engine/table_names.h"

#include <algorithm>

namespace dezede {
namespace {

std::string Trim(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

unsigned char Upper(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 32) : u;
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
    if (suffix.empty() || text.size() < suffix.size()) return false;
    const size_t off = text.size() - suffix.size();
    for (size_t i = 0; i < suffix.size(); ++i)
        if (Upper(text[off + i]) != Upper(suffix[i])) return false;
    return true;
}

}  // namespace

std::string NormaliseTableName(const std::string& name, const std::string& dataExtension) {
    std::string n = Trim(name);
    const size_t sep = n.find_last_of("/\\:");
    if (sep != std::string::npos) n.erase(0, sep + 1);
    if (EndsWithNoCase(n, dataExtension)) n.resize(n.size() - dataExtension.size());
    if (n.size() > kMaxTableNameLength) n.resize(kMaxTableNameLength);
    return Trim(n);
}

int CompareTableNames(const std::string& a, const std::string& b) {
    const std::string x = Trim(a), y = Trim(b);
    const size_t n = std::min(x.size(), y.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char cx = Upper(x[i]), cy = Upper(y[i]);
        if (cx != cy) return cx < cy ? -1 : 1;
    }
    return x.size() == y.size() ? 0 : (x.size() < y.size() ? -1 : 1);
}

bool SameTableName(const std::string& a, const std::string& b) { return CompareTableNames(a, b) == 0; }

std::string TableFileName(const std::string& directory, const std::string& name, const std::string& extension) {
    if (EndsWithNoCase(name, extension)) return directory + name.substr(0, name.size() - extension.size()) + extension;
    return directory + name + extension;
}

std::string NormaliseDirectoryPath(const std::string& path) {
    std::string p = Trim(path);
    std::replace(p.begin(), p.end(), '\\', '/');
    if (!p.empty() && p.back() != '/') p += '/';
    return p;
}

std::string ErrorDirectoryName(const std::string& path) {
    if (path.size() > 1 && path.back() == '/') return path.substr(0, path.size() - 1);
    return path;
}

}  // namespace dezede
