#include <gtest/gtest.h>

#include <thread>

#include "support/ansi_strings.h"
#include "support/locales.h"

namespace dezede {
namespace {

constexpr uint32_t kGerman = 0x0407;
constexpr uint32_t kTurkish = 0x041F;
constexpr uint32_t kCzech = 0x0405;
constexpr uint32_t kRussian = 0x0419;

TEST(AnsiStrings, Windows1252CaseTables) {
    int upperMapped = 0;
    for (int c = 0; c < 256; ++c) {
        const uint8_t u = AnsiUpperChar(uint8_t(c));
        if (u != c) {
            ++upperMapped;
            EXPECT_EQ(AnsiLowerChar(u), c) << c;  // lower case is the inverse
        }
    }
    EXPECT_EQ(upperMapped, 26 + 30 + 4);
    EXPECT_EQ(AnsiUpperChar(0xE9), 0xC9);
    EXPECT_EQ(AnsiUpperChar(0xF7), 0xF7);  // division sign
    EXPECT_EQ(AnsiUpperChar(0xDF), 0xDF);  // sharp s has no capital here
    EXPECT_EQ(AnsiUpperChar(0xFF), 0x9F);
    EXPECT_EQ(AnsiUpperChar(0x9A), 0x8A);
    EXPECT_EQ(AnsiLowerChar(0xD7), 0xD7);  // multiplication sign
    EXPECT_EQ(AnsiUpperCase("abc\xe9\xff"), "ABC\xc9\x9f");
}

TEST(AnsiStrings, SameTextAndTrim) {
    EXPECT_TRUE(AnsiSameText("Reason", "REASON"));
    EXPECT_TRUE(AnsiSameText("\xe9t\xe9", "\xc9T\xc9"));
    EXPECT_FALSE(AnsiSameText("Reason", "Reasons"));
    EXPECT_FALSE(AnsiSameText("a", "\xe1"));
    EXPECT_EQ(Trim(" \t name\r\n"), "name");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a \x01"), "  a");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim("\xa0x\xa0"), "\xa0x\xa0");  // no-break space is not trimmed
    // The narrower trims keep what they do not name.
    EXPECT_EQ(TrimSpaces(" \ta b\n "), "\ta b\n");
    EXPECT_EQ(TrimSpaces("   "), "");
    EXPECT_EQ(TrimWhitespace(" \t\r\na b\x01\n"), "a b\x01");
    EXPECT_EQ(TrimWhitespace("\t\n"), "");
}

TEST(AnsiStrings, ByteOrderComparison) {
    const struct {
        const char* a;
        const char* b;
        bool ci;
        int max;
        int expected;
    } cases[] = {
        {"abc", "abc", false, -1, 0},  {"abc", "abd", false, -1, -1}, {"abc", "ab", false, -1, 1},
        {"ab", "abc", false, -1, -1},  {"B", "a", false, -1, -1},     {"B", "a", true, -1, 1},
        {"abc", "ABC", true, -1, 0},   {"\xe9", "\xc9", true, -1, 0}, {"\xe9", "z", false, -1, 1},
        {"abcX", "abcY", false, 3, 0}, {"ab", "abc", false, 2, 0},    {"ab", "abc", false, 3, -1},
        {"", "", false, -1, 0},        {"", "a", false, -1, -1},      {"a", "b", false, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompareAnsiStrings(c.a, c.b, c.ci, c.max), c.expected) << c.a << " " << c.b;
        EXPECT_EQ(CompareStrings(0, c.a, c.b, c.ci, c.max), c.expected) << c.a << " " << c.b;
    }
    // Field values are NUL-padded: the padding does not take part.
    EXPECT_EQ(CompareAnsiStrings(std::string_view("ab\0zz", 5), "ab", false), 0);
}

// A collating locale and locale 0 order the same strings differently.
TEST(Locales, IcuCollationDiffersFromByteOrder) {
    const struct {
        uint32_t locale;
        const char* a;
        const char* b;
        bool ci;
        int expected;
    } cases[] = {
        {0, "apple", "Banana", false, 1},          // 'a' 0x61 > 'B' 0x42
        {kGerman, "apple", "Banana", false, -1},   // alphabetical
        {0, "\xe4pfel", "zebra", false, 1},        // a-umlaut 0xE4 above every ASCII letter
        {kGerman, "\xe4pfel", "zebra", false, -1},
        {kGerman, "\xe4", "a", false, 0},          // accents ignored (primary strength)
        {kGerman, "a", "A", false, -1},            // case level: lower first
        {kGerman, "a", "A", true, 0},
        {kGerman, "Stra\xdf" "e", "STRASSE", true, 0},
        {kGerman, "co-op", "coop", false, -1},     // punctuation counts (ignored it would be 0)
        {kCzech, "chata", "hrad", false, 1},       // ch sorts after h in Czech
        {kCzech, "\x9a" "ach", "sad", false, 1},   // s caron (windows-1250 0x9A) after s
        {kRussian, "\xe1", "\xe0", false, 1},      // Cyrillic be after a (windows-1251)
        {kGerman, "abcX", "abcY", false, 0},
    };
    for (const auto& c : cases) {
        const int max = std::string_view(c.a) == "abcX" ? 3 : -1;
        EXPECT_EQ(CompareStrings(c.locale, c.a, c.b, c.ci, max), c.expected)
            << std::hex << c.locale << " " << c.a << " " << c.b;
    }
    EXPECT_EQ(CompareChars(kGerman, 'b', 'C', false), -1);
    EXPECT_EQ(CompareChars(0, 'b', 'C', false), 1);
}

TEST(Locales, LinguisticCaseMapping) {
    EXPECT_EQ(UpperCase(kTurkish, "istanbul"), "\xddSTANBUL");  // dotted capital I, windows-1254 0xDD
    EXPECT_EQ(LowerCase(kTurkish, "I"), "\xfd");                 // dotless i
    EXPECT_EQ(UpperCase(kGerman, "stra\xdf" "e"), "STRASSE");
    EXPECT_EQ(UpperCase(kGerman, "\xb5"), "\xb5");               // micro sign: capital is not in the code page
    EXPECT_EQ(UpperCase(kRussian, "\xe0\xe1"), "\xc0\xc1");
    EXPECT_EQ(UpperCase(0, "istanbul\xe9"), "ISTANBUL\xc9");
    EXPECT_EQ(UpperCase(kGerman, std::string_view("ab\0cd", 5)), "AB");
}

TEST(Locales, InstalledListAndCodePages) {
    const std::vector<TLocaleInfo>& list = InstalledLocales();
    ASSERT_GT(list.size(), 50u);
    EXPECT_EQ(list[0].Id, 0u);
    EXPECT_EQ(list[0].Name, "ANSI Standard");
    EXPECT_EQ(FindLocaleByName("german (germany)"), kGerman);
    EXPECT_EQ(FindLocaleByName("ansi standard"), 0u);
    EXPECT_FALSE(FindLocaleByName("Klingon (Qo'noS)").has_value());
    for (const TLocaleInfo& info : list) EXPECT_TRUE(IsLocaleInstalled(info.Id)) << info.Id;
    EXPECT_FALSE(IsLocaleInstalled(0x7FFF));

    const struct {
        uint32_t locale;
        int codePage;
    } pages[] = {{0, 1252},      {0x0409, 1252}, {kGerman, 1252}, {kCzech, 1250},  {0x0415, 1250},
                 {kRussian, 1251}, {0x0C1A, 1251}, {0x081A, 1250}, {0x0408, 1253},  {kTurkish, 1254},
                 {0x040D, 1255}, {0x0401, 1256}, {0x0426, 1257}, {0x042A, 1258}};
    for (const auto& p : pages) EXPECT_EQ(LocaleCodePage(p.locale), p.codePage) << std::hex << p.locale;
}

TEST(Locales, CodePageToUtf8AndBack) {
    EXPECT_EQ(LocaleToUtf8(0, "caf\xe9 \x80"), "caf\xc3\xa9 \xe2\x82\xac");
    EXPECT_EQ(LocaleToUtf8(kRussian, "\xc4\xe0"), "\xd0\x94\xd0\xb0");
    EXPECT_EQ(Utf8ToLocale(kRussian, "\xd0\x94\xd0\xb0"), "\xc4\xe0");
    EXPECT_EQ(Utf8ToLocale(0, "caf\xc3\xa9 \xe2\x82\xac \xd0\x94"), "caf\xe9 \x80 ?");
    EXPECT_EQ(Utf8ToLocale(0, "bad \xff"), "bad ?");
}

TEST(Locales, ConcurrentComparisonsShareTheCache) {
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&wrong] {
            for (int i = 0; i < 500; ++i) {
                if (CompareStrings(0x040C, "\xe9t\xe9", "ete", true) != 0) ++wrong;    // French
                if (CompareStrings(0x0410, "b", "A", false) != 1) ++wrong;             // Italian
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace dezede
