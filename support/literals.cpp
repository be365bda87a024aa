#include "support/literals.h"

#include <charconv>
#include <cmath>

namespace dezede {

namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char c = a[i] >= 'a' && a[i] <= 'z' ? char(a[i] - 32) : a[i];
        if (c != b[i]) return false;
    }
    return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<bool> ParseBoolean(std::string_view text) {
    text = TrimBlanks(text);
    if (EqualsNoCase(text, "TRUE")) return true;
    if (EqualsNoCase(text, "FALSE")) return false;
    return std::nullopt;
}

std::optional<int64_t> ParseInteger(std::string_view text, int64_t min, int64_t max) {
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    uint64_t magnitude = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    int64_t value;
    if (negative) {
        if (magnitude > uint64_t(INT64_MAX) + 1) return std::nullopt;
        value = static_cast<int64_t>(0 - magnitude);
    } else {
        if (magnitude > uint64_t(INT64_MAX)) return std::nullopt;
        value = static_cast<int64_t>(magnitude);
    }
    if (value < min || value > max) return std::nullopt;
    return value;
}

std::optional<uint64_t> ParseUnsigned(std::string_view text, uint64_t max) {
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
    return value;
}

std::optional<double> ParseFloat(std::string_view text) {
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) return std::nullopt;
    }
    // from_chars also reads "inf", "nan" and hexadecimal-free forms; allow only
    // digits, one ".", and an exponent.
    bool digits = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (IsDigit(c)) {
            digits = true;
        } else if (c != '.' && c != 'e' && c != 'E' && c != '-' && c != '+') {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string FormatFloat(double value) {
    // Plain digits for the everyday range, the exponent form outside it; the
    // shortest digits that read back as the same value either way.
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0 || (magnitude >= 1e-5 && magnitude < 1e15);
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value,
                                   plain ? std::chars_format::fixed : std::chars_format::scientific);
    if (ec != std::errc()) return {};
    return std::string(buf, end);
}

}  // namespace dezede
