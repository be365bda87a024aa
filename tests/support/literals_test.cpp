#include <gtest/gtest.h>

#include <clocale>

#include "support/literals.h"

namespace dezede {
namespace {

TEST(Literals, BooleansAndIntegers) {
    EXPECT_EQ(ParseBoolean("TRUE"), true);
    EXPECT_EQ(ParseBoolean(" false "), false);
    EXPECT_EQ(ParseBoolean("tRuE"), true);
    for (const char* bad : {"", "T", "1", "yes", "TRUEX"}) EXPECT_FALSE(ParseBoolean(bad).has_value()) << bad;

    const struct {
        const char* text;
        int64_t min, max;
        std::optional<int64_t> value;
    } cases[] = {
        {"42", INT64_MIN, INT64_MAX, 42},
        {"-42", INT64_MIN, INT64_MAX, -42},
        {"+7", INT64_MIN, INT64_MAX, 7},
        {" 7 ", INT64_MIN, INT64_MAX, 7},
        {"-9223372036854775808", INT64_MIN, INT64_MAX, INT64_MIN},
        {"9223372036854775808", INT64_MIN, INT64_MAX, std::nullopt},
        {"32768", -32768, 32767, std::nullopt},
        {"-32768", -32768, 32767, -32768},
        {"1.0", INT64_MIN, INT64_MAX, std::nullopt},
        {"- 1", INT64_MIN, INT64_MAX, std::nullopt},
        {"+-1", INT64_MIN, INT64_MAX, std::nullopt},
        {"", INT64_MIN, INT64_MAX, std::nullopt},
        {"1e3", INT64_MIN, INT64_MAX, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseInteger(c.text, c.min, c.max), c.value) << c.text;
    EXPECT_EQ(ParseUnsigned("18446744073709551615"), UINT64_MAX);
    EXPECT_FALSE(ParseUnsigned("-1").has_value());
    EXPECT_FALSE(ParseUnsigned("70000", 65535).has_value());
}

TEST(Literals, FloatsUseThePointWhateverTheLocale) {
    // A process locale with a decimal comma must not change the forms.
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");

    const struct {
        const char* text;
        std::optional<double> value;
    } cases[] = {
        {"12.5", 12.5}, {"-0.0001", -0.0001}, {".5", 0.5}, {"+1e3", 1000.0}, {"1E-2", 0.01}, {" 3 ", 3.0},
        {"12,5", std::nullopt}, {"1e400", std::nullopt}, {"inf", std::nullopt}, {"nan", std::nullopt},
        {"0x10", std::nullopt}, {"", std::nullopt}, {".", std::nullopt}, {"1.2.3", std::nullopt},
        {"+-1", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseFloat(c.text), c.value) << c.text;
    for (double v : {12.5, -0.0001, 0.1, 1e20, 123456789.125, -0.0, 5e-7, 1e-300, 1.7976931348623157e308}) EXPECT_EQ(ParseFloat(FormatFloat(v)), v) << v;
    EXPECT_EQ(FormatFloat(12.5), "12.5");
    EXPECT_EQ(FormatFloat(-0.0001), "-0.0001");
    EXPECT_EQ(FormatFloat(1e20), "1e+20");
    EXPECT_EQ(FormatFloat(5e-7), "5e-07");

    std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace dezede
