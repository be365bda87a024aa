#include "engine/full_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/error_codes.h"
#include "engine/memory_page_store.h"
#include "index_test_support.h"
#include "support/endian.h"

namespace dezede {
namespace {

constexpr TIndexShape TextShape{
    .PageSize = 1024, .KeySize = 68, .Unique = true, .Compression = icFull, .NoKeyStats = true};

std::bitset<256> Chars(std::string_view text) {
    std::bitset<256> set;
    for (const char c : text) set[static_cast<uint8_t>(c)] = true;
    return set;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}



TEST(FullTextSettings, EmptyWithoutAnAuxiliaryPage) {
    TMemoryPageStore store(TextShape, "T");
    EXPECT_EQ(ReadFullTextSettings(store), TFullTextSettings{});
}

// Items that do not fit in the rest of a page body start the next page; shrinking the settings
// frees the pages no longer needed.
TEST(FullTextSettings, StreamSpansPagesAndRoundTrips) {
    TMemoryPageStore store(TextShape, "T", 2);
    TFullTextSettings settings;
    settings.StopWords = {std::string(1000, 'w'), "the", "", "and"};
    settings.SpaceChars = Chars(" ,.;");
    settings.IncludeChars = Chars("abcdefghijklmnopqrstuvwxyz\xe9");
    WriteFullTextSettings(store, settings);
    store.Flush();
    EXPECT_EQ(ReadFullTextSettings(store), settings);

    // Page 1: count, length 1000 and the text fill 1008 of the 1011 body bytes; the next
    // length starts page 2.
    const std::vector<uint8_t>& image = store.Image();
    ASSERT_EQ(store.AuxPage(), 1u);
    EXPECT_EQ(image[0], ptFullText);
    EXPECT_EQ(LoadLE32(image.data() + 13), 4u);
    EXPECT_EQ(LoadLE32(image.data() + 17), 1000u);
    EXPECT_EQ(LoadLE32(image.data() + 7), 2u);  // next page of the chain
    const uint8_t* second = image.data() + 1024;
    EXPECT_EQ(second[0], ptFullText);
    EXPECT_EQ(LoadLE32(second + 13), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(second + 17), 3), "the");
    EXPECT_EQ(LoadLE32(second + 20), 0u);
    EXPECT_EQ(LoadLE32(second + 24), 3u);
    EXPECT_EQ(LoadLE32(second + 31), 32u);
    EXPECT_EQ(second[35 + 4], 1);                       // ' ' is 32
    EXPECT_EQ(second[35 + 5], (1 << 4) | (1 << 6));     // ',' is 44, '.' is 46
    EXPECT_EQ(LoadLE32(second + 67), 32u);
    EXPECT_EQ(second[71 + 0xe9 / 8], 1 << (0xe9 % 8));

    settings.StopWords = {"only"};
    WriteFullTextSettings(store, settings);
    EXPECT_EQ(ReadFullTextSettings(store), settings);
    EXPECT_EQ(store.FirstFreePage(), 2u);
    EXPECT_EQ(store.LastPageNumber(), 2u);
}

TEST(FullTextSettings, DamagedChainsAreIndexCorrupt) {
    struct Case {
        const char* what;
        std::vector<uint8_t> firstBody;  // body of page 1
        uint8_t type;
        uint32_t next;
    };
    const Case cases[] = {
        {"first page of another type", {0, 0, 0, 0, 32}, ptLeaf, 0},
        {"negative stop-word count", {0xFF, 0xFF, 0xFF, 0xFF}, ptFullText, 0},
        {"length beyond a page body", {1, 0, 0, 0, 0xF4, 3, 0, 0}, ptFullText, 0},
        {"chain ends early", {1, 0, 0, 0, 0xE8, 3, 0, 0}, ptFullText, 0},
        {"set size other than 32", {0, 0, 0, 0, 31, 0, 0, 0}, ptFullText, 0},
        {"chain loops", {0xFF, 0xFF, 0xFF, 0x7F}, ptFullText, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TMemoryPageStore store(TextShape, "Employee");
        {
            TPinnedPage page = NewPage(store, ptFullText);
            std::copy(c.firstBody.begin(), c.firstBody.end(), page->Body().begin());
            page->Type = c.type;
            page->Next = c.next;
        }
        store.SetAuxPage(1);
        store.Flush();
        index_test::ExpectEngineError(DEZEDE_INDEXCORRUPT, "Employee", [&] { ReadFullTextSettings(store); });
    }
}

TEST(FullTextSettings, StopWordLongerThanABodyIsRefused) {
    TMemoryPageStore store(TextShape, "T");
    TFullTextSettings settings;
    settings.StopWords = {std::string(1012, 'x')};
    index_test::ExpectEngineError(DEZEDE_INVALIDKEY, "T", [&] { WriteFullTextSettings(store, settings); });
}

TEST(FullText, SplitWords) {
    TFullTextSettings settings;
    settings.SpaceChars = Chars(" -");
    settings.IncludeChars = Chars("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
    settings.StopWords = {"the", "Of"};
    struct Case {
        std::string text;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"The end of the road", {"END", "ROAD"}},
        {"  well-known  (co.) ", {"WELL", "KNOWN", "CO"}},
        {"a A a", {"A"}},
        {std::string(70, 'x') + " y", {std::string(61, 'X'), "Y"}},
        {"", {}},
        {"?! -", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitWords(c.text, settings, Upper), c.words) << c.text;
}

TEST(FullText, KeyLayout) {
    uint8_t key[FullTextKeySize];
    BuildFullTextKey(0x0102, "WORD", -1, key);
    std::vector<uint8_t> expected(68, 0);
    expected[0] = 1;
    expected[1] = 1;
    expected[2] = 2;
    std::copy_n("WORD", 4, expected.begin() + 3);
    expected[64] = 0x7F;
    expected[65] = expected[66] = expected[67] = 0xFF;
    EXPECT_EQ(std::vector<uint8_t>(key, key + 68), expected);
    BuildFullTextKey(3, std::string(80, 'Q'), 1, key);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(key + 3), 61), std::string(61, 'Q'));
    EXPECT_EQ(key[64], 0x80);
    EXPECT_EQ(key[67], 1);
}

TEST(FullText, UpdatingATextReplacesOnlyTheChangedWords) {
    TMemoryPageStore store(TextShape, "T");
    TIndexTree tree(store, [](const uint8_t* a, const uint8_t* b, size_t n) { return std::memcmp(a, b, n); });
    TFullTextSettings settings;
    settings.SpaceChars = Chars(" ");
    settings.IncludeChars = Chars("abcdefghijklmnopqrstuvwxyz");
    UpdateFullTextKeys(tree, settings, Upper, 2, 7, 70, "", "alpha beta");
    UpdateFullTextKeys(tree, settings, Upper, 2, 8, 80, "", "beta");
    UpdateFullTextKeys(tree, settings, Upper, 2, 7, 70, "alpha beta", "beta gamma gamma");

    std::vector<std::string> words;
    TIndexPosition pos;
    uint8_t key[FullTextKeySize];
    uint32_t record = 0;
    for (bool more = tree.First(pos); more; more = tree.Next(pos)) {
        tree.ReadPosition(pos, key, record);
        words.push_back(std::string(reinterpret_cast<char*>(key + 3)) + "/" + std::to_string(record));
    }
    EXPECT_EQ(words, (std::vector<std::string>{"BETA/70", "BETA/80", "GAMMA/70"}));
}

}  // namespace
}  // namespace dezede
