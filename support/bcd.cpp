#include "support/bcd.h"

#include <charconv>
#include <cstring>

namespace dezede {

namespace {

constexpr int kWrittenPrecision = 32;

// A decimal as sign, significant integer digits and decimal digits (text of '0'..'9').
struct TDecimal {
    bool Negative = false;
    std::string Integer;   // no leading zeros; empty for 0
    std::string Decimals;  // as given, trailing zeros kept
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::optional<TDecimal> ParseDecimal(std::string_view text) {
    text = TrimBlanks(text);
    TDecimal d;
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) d.Negative = text[i++] == '-';
    const size_t intStart = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    std::string_view intPart = text.substr(intStart, i - intStart);
    std::string_view decPart;
    if (i < text.size() && text[i] == '.') {
        const size_t decStart = ++i;
        while (i < text.size() && IsDigit(text[i])) ++i;
        decPart = text.substr(decStart, i - decStart);
    }
    if (i != text.size() || (intPart.empty() && decPart.empty())) return std::nullopt;
    while (!intPart.empty() && intPart.front() == '0') intPart.remove_prefix(1);
    d.Integer = intPart;
    d.Decimals = decPart;
    return d;
}

// Rounding to nearest, ties to even: whether a number whose last kept digit
// is `lastKeptDigit` goes up by one when the digits `dropped` are cut off.
bool RoundUp(std::string_view dropped, int lastKeptDigit) {
    if (dropped.empty() || dropped[0] < '5') return false;
    if (dropped[0] > '5') return true;
    for (size_t i = 1; i < dropped.size(); ++i) {
        if (dropped[i] != '0') return true;
    }
    return (lastKeptDigit & 1) != 0;
}

// Decimal -> currency with overflow and rounding checks.
std::optional<int64_t> DecimalToCurrency(const TDecimal& d) {
    if (d.Integer.size() > 16) return std::nullopt;
    unsigned __int128 v = 0;
    for (char c : d.Integer) v = v * 10 + unsigned(c - '0');
    std::string_view dec = d.Decimals;
    for (size_t i = 0; i < 4; ++i) v = v * 10 + (i < dec.size() ? unsigned(dec[i] - '0') : 0u);
    if (dec.size() > 4 && RoundUp(dec.substr(4), int(v % 10))) ++v;
    const unsigned __int128 limit = d.Negative ? (unsigned __int128)1 << 63 : ((unsigned __int128)1 << 63) - 1;
    if (v > limit) return std::nullopt;
    return d.Negative ? static_cast<int64_t>(-static_cast<__int128>(v)) : static_cast<int64_t>(v);
}

// Places the digits (most significant first) right-aligned into a record.
std::optional<TBcd> DigitsToBcd(bool negative, std::string_view digits, int places) {
    while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
    if (places < 0 || places > kWrittenPrecision || int(digits.size()) > kWrittenPrecision) return std::nullopt;
    TBcd b;
    b.Precision = kWrittenPrecision;
    b.SignSpecialPlaces = static_cast<uint8_t>(places | (negative && !digits.empty() ? 0x80 : 0));
    const int first = kWrittenPrecision - int(digits.size());
    for (int i = 0; i < int(digits.size()); ++i) {
        const int pos = first + i;
        const uint8_t nibble = static_cast<uint8_t>(digits[i] - '0');
        b.Fraction[pos >> 1] |= (pos & 1) ? nibble : static_cast<uint8_t>(nibble << 4);
    }
    return b;
}

// Record -> decimal; nothing when malformed.
std::optional<TDecimal> BcdToDecimal(const TBcd& b) {
    TDecimal d;
    if (b.Precision == 0) return d;
    const int precision = b.Precision, places = b.Places();
    if (precision > 64 || places > precision) return std::nullopt;
    std::string digits;
    for (int i = 0; i < precision; ++i) {
        const int digit = b.Digit(i);
        if (digit > 9) return std::nullopt;
        digits += char('0' + digit);
    }
    std::string_view intPart = std::string_view(digits).substr(0, precision - places);
    while (!intPart.empty() && intPart.front() == '0') intPart.remove_prefix(1);
    d.Integer = intPart;
    d.Decimals = digits.substr(precision - places);
    d.Negative = b.IsNegative();
    return d;
}

std::string DecimalToText(const TDecimal& d) {
    std::string_view dec = d.Decimals;
    while (!dec.empty() && dec.back() == '0') dec.remove_suffix(1);
    std::string text;
    if (d.Negative && (!d.Integer.empty() || !dec.empty())) text += '-';
    text += d.Integer.empty() ? std::string("0") : d.Integer;
    if (!dec.empty()) {
        text += '.';
        text += dec;
    }
    return text;
}

}  // namespace

TBcd TBcd::Load(const uint8_t* bytes) {
    TBcd b;
    b.Precision = bytes[0];
    b.SignSpecialPlaces = bytes[1];
    std::memcpy(b.Fraction.data(), bytes + 2, b.Fraction.size());
    return b;
}

void TBcd::Store(uint8_t* bytes) const {
    bytes[0] = Precision;
    bytes[1] = SignSpecialPlaces;
    std::memcpy(bytes + 2, Fraction.data(), Fraction.size());
}

std::optional<TBcd> CurrencyToBcd(int64_t currency, int scale) {
    if (scale < 0 || scale > kWrittenPrecision) return std::nullopt;
    const bool negative = currency < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(currency) : static_cast<uint64_t>(currency);
    std::string digits;
    if (scale < 4) {
        uint64_t divisor = 1;
        for (int i = scale; i < 4; ++i) divisor *= 10;
        const uint64_t q = magnitude / divisor, r = magnitude % divisor;
        const bool up = 2 * r > divisor || (2 * r == divisor && (q & 1));
        magnitude = q + (up ? 1 : 0);
        digits = std::to_string(magnitude);
    } else {
        digits = std::to_string(magnitude) + std::string(size_t(scale - 4), '0');
    }
    return DigitsToBcd(negative, digits, scale);
}

std::optional<int64_t> BcdToCurrency(const TBcd& bcd) {
    std::optional<TDecimal> d = BcdToDecimal(bcd);
    if (!d) return std::nullopt;
    return DecimalToCurrency(*d);
}

std::optional<TBcd> TextToBcd(std::string_view text) {
    std::optional<TDecimal> d = ParseDecimal(text);
    if (!d || d->Decimals.size() > size_t(kWrittenPrecision)) return std::nullopt;
    return DigitsToBcd(d->Negative, d->Integer + d->Decimals, int(d->Decimals.size()));
}

std::optional<std::string> BcdToText(const TBcd& bcd) {
    std::optional<TDecimal> d = BcdToDecimal(bcd);
    if (!d) return std::nullopt;
    return DecimalToText(*d);
}

double BcdToDouble(const TBcd& bcd) {
    std::optional<std::string> text = BcdToText(bcd);
    if (!text) return 0.0;
    double v = 0.0;
    std::from_chars(text->data(), text->data() + text->size(), v);
    return v;
}

std::optional<TBcd> DoubleToBcd(double value, int scale) {
    if (scale < 0 || scale > kWrittenPrecision) return std::nullopt;
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, scale);
    if (ec != std::errc()) return std::nullopt;  // NaN and infinities give letters; TextToBcd refuses them too
    return TextToBcd(std::string_view(buf, size_t(end - buf)));
}

std::optional<int64_t> TextToCurrency(std::string_view text) {
    std::optional<TDecimal> d = ParseDecimal(text);
    if (!d) return std::nullopt;
    return DecimalToCurrency(*d);
}

std::string CurrencyToText(int64_t currency) {
    const bool negative = currency < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(currency) : static_cast<uint64_t>(currency);
    TDecimal d;
    d.Negative = negative;
    d.Integer = magnitude / 10000 ? std::to_string(magnitude / 10000) : std::string();
    std::string dec = std::to_string(magnitude % 10000);
    d.Decimals = std::string(4 - dec.size(), '0') + dec;
    return DecimalToText(d);
}

double CurrencyToDouble(int64_t currency) { return static_cast<double>(currency) / double(kCurrencyScale); }

std::optional<int64_t> DoubleToCurrency(double value) {
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 4);
    if (ec != std::errc()) return std::nullopt;
    return TextToCurrency(std::string_view(buf, size_t(end - buf)));
}

}  // namespace dezede
