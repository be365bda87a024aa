#pragma once
// The full-text index: its settings (stop words, space characters, include characters), the
// splitting of text into words, and the 68-byte keys.
//
// The settings are stored as a stream of items on a chain of type-4 pages that starts at the
// index's auxiliary page and continues through each page's next-page field. Each page body is
// filled from offset 0; an item that does not fit in the rest of a body starts at offset 0 of
// the next page. Items (integers little-endian): the number of stop words (4 bytes); per stop
// word its length L (4 bytes) and L bytes of text; 32 (4 bytes) and the space characters as a
// 256-bit set (character c is bit c mod 8 of byte c div 8); 32 and the include characters.
//
// A key: presence byte 1, the field number (2 bytes, big-endian), the word upper-cased and
// NUL-padded to 61 bytes, the record ID (4 bytes, big-endian with the sign bit inverted).

#include <bitset>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/index_page_store.h"
#include "engine/index_tree.h"

namespace dezede {

inline constexpr size_t FullTextWordSize = 61;

struct TFullTextSettings {
    std::vector<std::string> StopWords;
    std::bitset<256> SpaceChars;
    std::bitset<256> IncludeChars;
    bool operator==(const TFullTextSettings&) const = default;
};

// Reads the settings from the chain at the store's auxiliary page (empty settings when it is 0).
// A first page that is not of type 4, a negative stop-word count, a length beyond a page body,
// a set size other than 32, or a chain that ends early, leaves its type or loops raises
// DEZEDE_INDEXCORRUPT.
TFullTextSettings ReadFullTextSettings(TIndexPageStore& store);

// Writes the settings onto the chain, reusing its pages, allocating and linking pages as needed
// (the first one becomes the auxiliary page) and freeing the pages it no longer needs. A stop
// word longer than a page body raises DEZEDE_INVALIDKEY.
void WriteFullTextSettings(TIndexPageStore& store, const TFullTextSettings& settings);

// Maps a word to upper case with the table's locale.
using TUpperCase = std::function<std::string(std::string_view)>;

// Decides whether a word (as it stands in the text, before upper-casing) is indexed.
using TWordFilter = std::function<bool(const std::string& word)>;

// The words of a text: split at the space characters, keeping only the include characters,
// each cut to 61 characters and upper-cased; empty words, stop words (compared upper-cased),
// repeats of a word already returned and words the filter (when given) refuses are left out.
std::vector<std::string> SplitWords(std::string_view text, const TFullTextSettings& settings,
                                    const TUpperCase& upper, const TWordFilter& keep = {});

// Builds the 68-byte key of an upper-cased word (cut to 61 characters).
void BuildFullTextKey(uint16_t fieldNumber, std::string_view word, int32_t recordId, uint8_t* key);

// Brings a record's full-text keys of one field from its old text to its new one: the keys of
// words that are gone are deleted and those of new words inserted; words in both stay.
void UpdateFullTextKeys(TIndexTree& tree, const TFullTextSettings& settings, const TUpperCase& upper,
                        uint16_t fieldNumber, int32_t recordId, uint32_t recordNumber, std::string_view oldText,
                        std::string_view newText, const TWordFilter& keep = {});

}  // namespace dezede
