#pragma once
// The INI text format shared by the registry hives and the profile (INI) files:
// "[section]" lines, "name=value" lines, blank lines and ";" or "#" comments.
// Section and value names compare without regard to ASCII case; the first
// match wins, as with the Windows profile functions. A document keeps every
// line it was read from, so rewriting a file after a change keeps comments,
// order and unrelated sections.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dezede {

class TIniDocument {
public:
    // Files larger than this are refused: a registry or profile file is small.
    static constexpr size_t kMaxFileSize = 4u << 20;

    TIniDocument() = default;
    static TIniDocument Parse(std::string_view text);

    // nullopt when the file does not exist; throws std::system_error when it
    // exists but cannot be read, std::runtime_error when it is too large.
    static std::optional<TIniDocument> Load(const std::string& path);

    // Writes the document to a sibling file, flushes it and renames it over
    // `path`, so readers see the old or the new file and never a torn one.
    // Creates the missing parent directories. Throws std::system_error.
    void SaveAtomic(const std::string& path) const;

    std::string Serialize() const;

    bool HasSection(std::string_view section) const;
    // Section names in file order (first spelling of each).
    std::vector<std::string> Sections() const;
    std::optional<std::string> Value(std::string_view section, std::string_view name) const;

    // Adds the section at the end when it is missing.
    void AddSection(std::string_view section);
    // Replaces the first matching value line, or adds one at the end of the
    // first matching section (adding the section when missing). Throws
    // std::invalid_argument for names or values that the line format cannot
    // hold (line breaks; "=" or "[" at the start of a name).
    void SetValue(std::string_view section, std::string_view name, std::string_view value);

private:
    enum class TLineKind { Other, Section, Value };
    struct TLine {
        TLineKind Kind = TLineKind::Other;
        std::string Text;     // the line as read or written
        std::string Section;  // Section: the section's name
        std::string Name;     // Value: name and decoded value
        std::string Data;
    };
    std::vector<TLine> Lines_;

    static TLine ParseLine(std::string_view line);
    static std::string EncodeValue(std::string_view value);
    // Index of the first section line matching, or npos.
    size_t FindSection(std::string_view section) const;
};

// ASCII case-insensitive equality, as the Windows registry and profile functions compare names.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

}  // namespace dezede
