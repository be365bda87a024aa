#include "sql/bcd_value.h"

#include <cstring>

namespace dezede {

namespace {
constexpr int kPrecision = 32;
constexpr int64_t kPow10[] = {1, 10, 100, 1000, 10000};
}  // namespace

void CurrencyToBcd(int64_t currency, uint8_t scale, uint8_t* out) {
    if (scale > 4) scale = 4;
    std::memset(out, 0, 34);
    const bool negative = currency < 0;
    // Magnitude scaled to `scale` places, rounded half away from zero.
    unsigned __int128 mag = negative ? static_cast<unsigned __int128>(-(static_cast<__int128>(currency)))
                                     : static_cast<unsigned __int128>(currency);
    const int64_t div = kPow10[4 - scale];
    mag = (mag + static_cast<unsigned>(div / 2)) / static_cast<unsigned>(div);
    out[0] = kPrecision;
    out[1] = static_cast<uint8_t>((negative && mag != 0 ? 0x80 : 0) | scale);
    for (int digit = kPrecision - 1; digit >= 0 && mag != 0; --digit) {
        uint8_t d = static_cast<uint8_t>(mag % 10);
        mag /= 10;
        out[2 + digit / 2] |= (digit % 2 == 0) ? static_cast<uint8_t>(d << 4) : d;
    }
}

bool BcdToCurrency(const uint8_t* bcd, size_t size, int64_t& currency) {
    currency = 0;
    if (size < 2 || bcd[0] == 0) return true;
    int precision = bcd[0] > 64 ? 64 : bcd[0];
    int places = bcd[1] & 0x3F;
    __int128 v = 0;
    const __int128 limit = static_cast<__int128>(INT64_MAX) * 10000;
    for (int digit = 0; digit < precision; ++digit) {
        size_t at = 2 + static_cast<size_t>(digit / 2);
        if (at >= size) break;
        uint8_t d = (digit % 2 == 0) ? (bcd[at] >> 4) : (bcd[at] & 0x0F);
        if (d > 9) return false;
        v = v * 10 + d;
        if (v > limit) return false;
    }
    // Scale to four places.
    for (; places < 4; ++places) v *= 10;
    for (; places > 4; --places) v /= 10;
    if (v > INT64_MAX) return false;
    currency = static_cast<int64_t>(v);
    if (bcd[1] & 0x80) currency = -currency;
    return true;
}

double BcdToDouble(const uint8_t* bcd, size_t size) {
    int64_t c = 0;
    BcdToCurrency(bcd, size, c);
    return static_cast<double>(c) / 10000.0;
}

std::string CurrencyToText(int64_t currency, uint8_t scale) {
    if (scale > 4) scale = 4;
    const bool negative = currency < 0;
    unsigned __int128 mag = negative ? static_cast<unsigned __int128>(-(static_cast<__int128>(currency)))
                                     : static_cast<unsigned __int128>(currency);
    const auto div = static_cast<unsigned>(kPow10[4 - scale]);
    mag = (mag + div / 2) / div;
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(mag % 10)));
        mag /= 10;
    } while (mag != 0);
    while (digits.size() <= scale) digits.insert(digits.begin(), '0');
    if (scale) digits.insert(digits.end() - scale, '.');
    if (negative && digits.find_first_not_of("0.") != std::string::npos) digits.insert(digits.begin(), '-');
    return digits;
}

}  // namespace dezede
