#pragma once
// The 34-byte BCD record of expression values: precision byte, sign-and-places
// byte (bit 7 negative, low 6 bits decimal places), 32 bytes of packed digits
// (two per byte, high nibble first). Values are built from currency (a 64-bit
// integer scaled by 10,000) with precision 32.

#include <cstddef>
#include <cstdint>
#include <string>

namespace dezede {

void CurrencyToBcd(int64_t currency, uint8_t scale, uint8_t* out34);
// False when the record holds more than fits a currency value; a precision of 0 reads as 0.
bool BcdToCurrency(const uint8_t* bcd, size_t size, int64_t& currency);
double BcdToDouble(const uint8_t* bcd, size_t size);
// Decimal text with exactly `scale` places ("-12.50").
std::string CurrencyToText(int64_t currency, uint8_t scale);

}  // namespace dezede
