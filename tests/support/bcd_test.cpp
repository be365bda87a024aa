#include <gtest/gtest.h>

#include "support/bcd.h"
#include "test_hex.h"

namespace dezede {
namespace {

std::string RecordHex(const TBcd& b) {
    uint8_t bytes[kBcdSize];
    b.Store(bytes);
    return test::ToHex(std::vector<uint8_t>(bytes, bytes + kBcdSize));
}

// Precision 32, the value right-aligned in 32 digits, unused bytes zero.
std::string Expected(const char* signPlaces, const char* digits32) {
    return std::string("20") + signPlaces + digits32 + std::string(32, '0');
}

TEST(Bcd, CurrencyToRecordLayout) {
    const struct {
        int64_t currency;
        int scale;
        std::string record;
    } cases[] = {
        {125000, 1, Expected("01", "00000000000000000000000000000125")},
        {125000, 4, Expected("04", "00000000000000000000000000125000")},
        {-1, 4, Expected("84", "00000000000000000000000000000001")},
        {0, 2, Expected("02", "00000000000000000000000000000000")},
        {125000, 0, Expected("00", "00000000000000000000000000000012")},   // 12.5 -> 12 (ties to even)
        {135000, 0, Expected("00", "00000000000000000000000000000014")},   // 13.5 -> 14
        {-1, 0, Expected("00", "00000000000000000000000000000000")},       // -0.0001 -> 0, no sign
        {125000, 6, Expected("06", "00000000000000000000000012500000")},
        {INT64_MIN, 4, Expected("84", "00000000000009223372036854775808")},
    };
    for (const auto& c : cases) {
        const std::optional<TBcd> b = CurrencyToBcd(c.currency, c.scale);
        ASSERT_TRUE(b.has_value()) << c.currency;
        EXPECT_EQ(RecordHex(*b), c.record) << c.currency << " scale " << c.scale;
    }
    EXPECT_FALSE(CurrencyToBcd(INT64_MAX, 32).has_value());  // 19 digits + 28 zeros do not fit
    EXPECT_FALSE(CurrencyToBcd(1, 33).has_value());
}

TEST(Bcd, RoundTripsThroughCurrencyTextAndDouble) {
    const struct {
        const char* text;
        int64_t currency;
        double value;
    } cases[] = {
        {"12.5", 125000, 12.5},
        {"-0.0001", -1, -0.0001},
        {"0", 0, 0.0},
        {"922337203685477.5807", INT64_MAX, 922337203685477.5807},
        {"-922337203685477.5808", INT64_MIN, -922337203685477.5808},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextToCurrency(c.text), c.currency) << c.text;
        EXPECT_EQ(CurrencyToText(c.currency), c.text);
        const std::optional<TBcd> b = TextToBcd(c.text);
        ASSERT_TRUE(b.has_value()) << c.text;
        EXPECT_EQ(BcdToText(*b), c.text);
        EXPECT_EQ(BcdToCurrency(*b), c.currency) << c.text;
        EXPECT_EQ(BcdToDouble(*b), c.value) << c.text;
        EXPECT_EQ(BcdToCurrency(*CurrencyToBcd(c.currency, 4)), c.currency) << c.text;
    }
}

TEST(Bcd, ThirtyTwoDigitsAndLimits) {
    const char* const digits32 = "12345678901234567890123456789012";
    std::optional<TBcd> b = TextToBcd(digits32);
    ASSERT_TRUE(b.has_value());
    EXPECT_EQ(RecordHex(*b), Expected("00", digits32));
    EXPECT_EQ(BcdToText(*b), digits32);
    EXPECT_FALSE(BcdToCurrency(*b).has_value());  // beyond 64 bits

    b = TextToBcd("-0.1234567890123456789012345678901");
    ASSERT_TRUE(b.has_value());
    EXPECT_EQ(b->Places(), 31);
    EXPECT_EQ(BcdToText(*b), "-0.1234567890123456789012345678901");
    EXPECT_EQ(BcdToCurrency(*b), -1235);

    EXPECT_FALSE(TextToBcd("123456789012345678901234567890123").has_value());
    EXPECT_TRUE(TextToBcd("000000000000000000000000000000000001").has_value());  // leading zeros are free
}

TEST(Bcd, ReadsAnyAlignmentAndRejectsMalformedRecords) {
    TBcd left;  // "12.5" packed from the left with precision 3
    left.Precision = 3;
    left.SignSpecialPlaces = 0x81;
    left.Fraction[0] = 0x12;
    left.Fraction[1] = 0x50;
    EXPECT_EQ(BcdToText(left), "-12.5");
    EXPECT_EQ(BcdToCurrency(left), -125000);

    TBcd zero;  // precision 0 reads as 0 whatever follows
    zero.SignSpecialPlaces = 0x84;
    zero.Fraction[0] = 0x99;
    EXPECT_EQ(BcdToCurrency(zero), 0);
    EXPECT_EQ(BcdToText(zero), "0");

    TBcd badDigit = left;
    badDigit.Fraction[0] = 0x1A;
    TBcd badPlaces = left;
    badPlaces.SignSpecialPlaces = 4;
    TBcd badPrecision = left;
    badPrecision.Precision = 65;
    for (const TBcd* bad : {&badDigit, &badPlaces, &badPrecision}) {
        EXPECT_FALSE(BcdToCurrency(*bad).has_value());
        EXPECT_FALSE(BcdToText(*bad).has_value());
        EXPECT_EQ(BcdToDouble(*bad), 0.0);
    }
}

TEST(Bcd, DecimalTextAndDoubleConversions) {
    const struct {
        const char* text;
        std::optional<int64_t> currency;
    } cases[] = {
        {" +12.5 ", 125000}, {".5", 5000}, {"5.", 50000}, {"1.00005", 10000}, {"1.00015", 10002},
        {"1.000051", 10001}, {"-1.00005", -10000}, {"922337203685477.5808", std::nullopt},
        {"1,5", std::nullopt}, {"1e3", std::nullopt}, {"", std::nullopt}, {"-", std::nullopt}, {".", std::nullopt},
        {"--1", std::nullopt}, {"1.2.3", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(TextToCurrency(c.text), c.currency) << c.text;

    EXPECT_EQ(DoubleToCurrency(12.5), 125000);
    EXPECT_EQ(DoubleToCurrency(0.1), 1000);
    EXPECT_EQ(DoubleToCurrency(-0.0001), -1);
    EXPECT_FALSE(DoubleToCurrency(1e300).has_value());
    EXPECT_FALSE(DoubleToCurrency(std::numeric_limits<double>::quiet_NaN()).has_value());
    EXPECT_EQ(CurrencyToDouble(125000), 12.5);

    EXPECT_EQ(BcdToText(*DoubleToBcd(12.5, 2)), "12.5");
    EXPECT_EQ(DoubleToBcd(12.5, 2)->Places(), 2);
    EXPECT_EQ(BcdToText(*DoubleToBcd(-0.0001, 4)), "-0.0001");
    EXPECT_EQ(BcdToText(*DoubleToBcd(-0.0001, 2)), "0");
    EXPECT_FALSE(DoubleToBcd(1e40, 0).has_value());
    EXPECT_FALSE(DoubleToBcd(std::numeric_limits<double>::infinity(), 0).has_value());
}

}  // namespace
}  // namespace dezede
