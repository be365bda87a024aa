#include "platform/ini_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace dezede {

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// Closes a descriptor and, unless released, removes the half-written file.
struct TTempFile {
    int Fd = -1;
    std::string Path;
    bool Keep = false;
    ~TTempFile() {
        if (Fd >= 0) ::close(Fd);
        if (!Keep && !Path.empty()) ::unlink(Path.c_str());
    }
};

}  // namespace

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

TIniDocument::TLine TIniDocument::ParseLine(std::string_view raw) {
    TLine line;
    line.Text = std::string(raw);
    std::string_view s = Trim(raw);
    if (s.empty() || s[0] == ';' || s[0] == '#') return line;
    if (s[0] == '[') {
        size_t close = s.find(']');
        if (close == std::string_view::npos) return line;
        line.Kind = TLineKind::Section;
        line.Section = std::string(Trim(s.substr(1, close - 1)));
        return line;
    }
    size_t eq = s.find('=');
    if (eq == std::string_view::npos) return line;
    line.Kind = TLineKind::Value;
    line.Name = std::string(Trim(s.substr(0, eq)));
    std::string_view v = Trim(s.substr(eq + 1));
    // One pair of enclosing double quotes is removed; it lets a value keep
    // leading or trailing blanks.
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    line.Data = std::string(v);
    return line;
}

TIniDocument TIniDocument::Parse(std::string_view text) {
    TIniDocument doc;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string_view raw = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        doc.Lines_.push_back(ParseLine(raw));
        if (nl == std::string_view::npos) break;
        pos = nl + 1;
    }
    return doc;
}

std::optional<TIniDocument> TIniDocument::Load(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        ThrowErrno("cannot open " + path);
    }
    TTempFile guard{fd, {}, true};
    struct stat st {};
    if (::fstat(fd, &st) != 0) ThrowErrno("cannot read " + path);
    if (!S_ISREG(st.st_mode)) throw std::runtime_error(path + " is not a regular file");
    std::string text;
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno("cannot read " + path);
        }
        if (n == 0) break;
        if (text.size() + static_cast<size_t>(n) > kMaxFileSize)
            throw std::runtime_error(path + " is larger than " + std::to_string(kMaxFileSize) + " bytes");
        text.append(buf, static_cast<size_t>(n));
    }
    return Parse(text);
}

std::string TIniDocument::Serialize() const {
    std::string out;
    for (const TLine& l : Lines_) {
        out += l.Text;
        out += '\n';
    }
    return out;
}

void TIniDocument::SaveAtomic(const std::string& path) const {
    std::filesystem::path target(path);
    if (target.has_parent_path()) {
        std::error_code ec;
        std::filesystem::create_directories(target.parent_path(), ec);
        if (ec) throw std::system_error(ec, "cannot create the folder of " + path);
    }
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;

    TTempFile tmp;
    tmp.Path = path + ".XXXXXX";
    tmp.Fd = ::mkstemp(tmp.Path.data());
    if (tmp.Fd < 0) {
        tmp.Path.clear();
        ThrowErrno("cannot write " + path);
    }
    const std::string text = Serialize();
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(tmp.Fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno("cannot write " + path);
        }
        done += static_cast<size_t>(n);
    }
    if (::fchmod(tmp.Fd, mode) != 0 || ::fsync(tmp.Fd) != 0) ThrowErrno("cannot write " + path);
    if (::rename(tmp.Path.c_str(), path.c_str()) != 0) ThrowErrno("cannot replace " + path);
    tmp.Keep = true;
    // Make the rename itself durable.
    std::string dir = target.has_parent_path() ? target.parent_path().string() : ".";
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

size_t TIniDocument::FindSection(std::string_view section) const {
    for (size_t i = 0; i < Lines_.size(); ++i)
        if (Lines_[i].Kind == TLineKind::Section && SameNameIgnoringCase(Lines_[i].Section, section)) return i;
    return std::string::npos;
}

bool TIniDocument::HasSection(std::string_view section) const {
    return FindSection(section) != std::string::npos;
}

std::vector<std::string> TIniDocument::Sections() const {
    std::vector<std::string> out;
    for (const TLine& l : Lines_) {
        if (l.Kind != TLineKind::Section) continue;
        bool seen = false;
        for (const std::string& s : out) seen = seen || SameNameIgnoringCase(s, l.Section);
        if (!seen) out.push_back(l.Section);
    }
    return out;
}

std::optional<std::string> TIniDocument::Value(std::string_view section, std::string_view name) const {
    size_t i = FindSection(section);
    if (i == std::string::npos) return std::nullopt;
    for (++i; i < Lines_.size() && Lines_[i].Kind != TLineKind::Section; ++i)
        if (Lines_[i].Kind == TLineKind::Value && SameNameIgnoringCase(Lines_[i].Name, name)) return Lines_[i].Data;
    return std::nullopt;
}

void TIniDocument::AddSection(std::string_view section) {
    if (section.find_first_of("\r\n]") != std::string_view::npos || Trim(section) != section)
        throw std::invalid_argument("section name cannot be stored: " + std::string(section));
    if (HasSection(section)) return;
    if (!Lines_.empty() && !Trim(Lines_.back().Text).empty()) Lines_.push_back(ParseLine(""));
    Lines_.push_back(ParseLine("[" + std::string(section) + "]"));
}

std::string TIniDocument::EncodeValue(std::string_view value) {
    bool quote = !value.empty() && (Trim(value) != value || (value.front() == '"' && value.back() == '"'));
    return quote ? "\"" + std::string(value) + "\"" : std::string(value);
}

void TIniDocument::SetValue(std::string_view section, std::string_view name, std::string_view value) {
    if (name.empty() || Trim(name) != name || name.find_first_of("=\r\n") != std::string_view::npos ||
        name[0] == '[' || name[0] == ';' || name[0] == '#')
        throw std::invalid_argument("value name cannot be stored: " + std::string(name));
    if (value.find_first_of("\r\n") != std::string_view::npos)
        throw std::invalid_argument("a value with a line break cannot be stored under " + std::string(name));
    AddSection(section);
    TLine line = ParseLine(std::string(name) + "=" + EncodeValue(value));
    size_t i = FindSection(section);
    size_t insertAt = i + 1;
    for (size_t j = i + 1; j < Lines_.size() && Lines_[j].Kind != TLineKind::Section; ++j) {
        if (Lines_[j].Kind != TLineKind::Value) continue;
        if (SameNameIgnoringCase(Lines_[j].Name, name)) {
            // The name keeps the spelling already in the file.
            Lines_[j] = ParseLine(Lines_[j].Name + "=" + EncodeValue(value));
            return;
        }
        insertAt = j + 1;
    }
    Lines_.insert(Lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(line));
}

}  // namespace dezede
