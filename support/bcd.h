#pragma once
// The 34-byte BCD record of BCD fields and the currency form of decimals.
//
// Record layout: byte 0 precision (number of digits), byte 1 sign and places
// (bit 7 set for a negative value, bit 6 unused, low 6 bits the number of
// decimal places), bytes 2..33 packed decimal digits, two per byte, high
// nibble first. The first `precision` digits hold the value; the last
// `places` of them are the decimals. A record whose precision is 0 reads as 0.
//
// Records are written the way the engine always wrote them: precision 32,
// the value right-aligned in the 32 digits (leading zeros), the unused bytes
// zero. Readers accept any precision up to 64 and any alignment.
//
// Currency: a 64-bit integer scaled by 10,000 (4 decimal places). Where a
// value must lose decimals it is rounded to nearest, ties to even.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dezede {

inline constexpr size_t kBcdSize = 34;
inline constexpr int64_t kCurrencyScale = 10'000;

struct TBcd {
    uint8_t Precision = 0;
    uint8_t SignSpecialPlaces = 0;
    std::array<uint8_t, 32> Fraction{};

    bool IsNegative() const { return (SignSpecialPlaces & 0x80) != 0; }
    int Places() const { return SignSpecialPlaces & 0x3F; }
    // Digit i (0-based from the left) of the packed digits.
    int Digit(int i) const { return (i & 1) ? Fraction[i >> 1] & 0x0F : Fraction[i >> 1] >> 4; }

    static TBcd Load(const uint8_t* bytes);  // from 34 record bytes
    void Store(uint8_t* bytes) const;         // to 34 record bytes
    bool operator==(const TBcd&) const = default;
};

// Currency -> record with precision 32 and `scale` places (0 to 32); nothing
// when the scaled value does not fit in 32 digits.
std::optional<TBcd> CurrencyToBcd(int64_t currency, int scale);
// Record -> currency; nothing when out of the 64-bit range or malformed
// (a digit above 9, places above precision).
std::optional<int64_t> BcdToCurrency(const TBcd& bcd);

// Decimal text "[+|-]digits[.digits]" (at least one digit, blanks around it
// allowed, "." whatever the system's locale) -> record with precision 32 and
// as many places as the text has decimals; nothing beyond 32 digits.
std::optional<TBcd> TextToBcd(std::string_view text);
// Record -> shortest decimal text: "12.5", "-0.0001", "0". Nothing when malformed.
std::optional<std::string> BcdToText(const TBcd& bcd);

double BcdToDouble(const TBcd& bcd);  // 0 when malformed
// Double -> record with `scale` places (rounded); nothing for NaN, infinities
// and values beyond 32 digits.
std::optional<TBcd> DoubleToBcd(double value, int scale);

// Currency in the same decimal text form.
std::optional<int64_t> TextToCurrency(std::string_view text);
std::string CurrencyToText(int64_t currency);
double CurrencyToDouble(int64_t currency);
std::optional<int64_t> DoubleToCurrency(double value);  // rounded; nothing when out of range

}  // namespace dezede
