#include "engine/full_text.h"

#include <algorithm>
#include <cstring>

#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "support/endian.h"

namespace dezede {
namespace {

constexpr uint32_t SetSize = 32;

[[noreturn]] void Corrupt(const TIndexPageStore& store) { RaiseError(DEZEDE_INDEXCORRUPT, {.Table = store.Table()}); }

// Reads items from the chain, moving to the next page when an item does not fit.
class TChainReader {
public:
    TChainReader(TIndexPageStore& store, uint32_t first) : Store_(store), Page_(PinPage(store, first)) {
        if (Page_->Type != ptFullText) Corrupt(Store_);
    }

    void Read(uint8_t* out, size_t n) {
        const size_t body = Page_->BodySize();
        if (n > body) Corrupt(Store_);
        if (Offset_ + n > body) {
            const uint32_t next = Page_->Next;
            if (next == 0 || ++Pages_ > Store_.LastPageNumber()) Corrupt(Store_);
            Page_ = PinPage(Store_, next);
            if (Page_->Type != ptFullText) Corrupt(Store_);
            Offset_ = 0;
        }
        std::memcpy(out, Page_->Body().data() + Offset_, n);
        Offset_ += n;
    }
    uint32_t ReadInt() {
        uint8_t b[4];
        Read(b, 4);
        return LoadLE32(b);
    }
    std::bitset<256> ReadSet() {
        if (ReadInt() != SetSize) Corrupt(Store_);
        uint8_t b[SetSize];
        Read(b, SetSize);
        std::bitset<256> set;
        for (size_t c = 0; c < 256; ++c) set[c] = (b[c / 8] >> (c % 8)) & 1;
        return set;
    }

private:
    TIndexPageStore& Store_;
    TPinnedPage Page_;
    size_t Offset_ = 0;
    uint32_t Pages_ = 1;
};

// Writes items onto the chain, reusing its pages and extending it when needed.
class TChainWriter {
public:
    explicit TChainWriter(TIndexPageStore& store) : Store_(store) {
        if (store.AuxPage() == 0) {
            Page_ = NewPage(store, ptFullText);
            Page_.Dirty();
            store.SetAuxPage(Page_->Number);
        } else {
            Page_ = PinPage(store, store.AuxPage());
            if (Page_->Type != ptFullText) Corrupt(Store_);
            Reuse();
        }
    }

    void Write(const uint8_t* data, size_t n) {
        const size_t body = Page_->BodySize();
        if (n > body) RaiseError(DEZEDE_INVALIDKEY, {.Table = Store_.Table()});
        if (Offset_ + n > body) Advance();
        std::memcpy(Page_->Body().data() + Offset_, data, n);
        Offset_ += n;
    }
    void WriteInt(uint32_t v) {
        uint8_t b[4];
        StoreLE32(b, v);
        Write(b, 4);
    }
    void WriteSet(const std::bitset<256>& set) {
        WriteInt(SetSize);
        uint8_t b[SetSize] = {};
        for (size_t c = 0; c < 256; ++c)
            if (set[c]) b[c / 8] = static_cast<uint8_t>(b[c / 8] | (1u << (c % 8)));
        Write(b, SetSize);
    }

    // Cuts the chain after the current page and frees the rest.
    void Finish() {
        uint32_t next = Page_->Next;
        Page_->Next = 0;
        Page_.Dirty();
        for (uint32_t freed = 0; next != 0; ++freed) {
            if (freed > Store_.LastPageNumber()) Corrupt(Store_);
            TPinnedPage page = PinPage(Store_, next);
            if (page->Type != ptFullText) Corrupt(Store_);
            next = page->Next;
            Store_.Free(*page);
            page.Dirty();
        }
    }

private:
    // Clears the current page's body for rewriting, keeping its link.
    void Reuse() {
        const uint32_t next = Page_->Next;
        Page_->Clear(ptFullText);
        Page_->Next = next;
        Page_.Dirty();
        Offset_ = 0;
    }
    void Advance() {
        if (++Pages_ > Store_.LastPageNumber() + 1) Corrupt(Store_);
        if (Page_->Next != 0) {
            TPinnedPage next = PinPage(Store_, Page_->Next);
            if (next->Type != ptFullText) Corrupt(Store_);
            Page_ = std::move(next);
            Reuse();
            return;
        }
        TPinnedPage next = NewPage(Store_, ptFullText);
        Page_->Next = next->Number;
        Page_.Dirty();
        Page_ = std::move(next);
        Page_.Dirty();
        Offset_ = 0;
    }

    TIndexPageStore& Store_;
    TPinnedPage Page_;
    size_t Offset_ = 0;
    uint32_t Pages_ = 1;
};

}  // namespace

TFullTextSettings ReadFullTextSettings(TIndexPageStore& store) {
    TFullTextSettings settings;
    if (store.AuxPage() == 0) return settings;
    TChainReader reader(store, store.AuxPage());
    const auto count = static_cast<int32_t>(reader.ReadInt());
    if (count < 0) Corrupt(store);
    for (int32_t i = 0; i < count; ++i) {
        const auto length = static_cast<int32_t>(reader.ReadInt());
        if (length < 0 || static_cast<uint32_t>(length) > store.Shape().PageSize - kPageHeaderSize) Corrupt(store);
        std::string word(static_cast<size_t>(length), '\0');
        reader.Read(reinterpret_cast<uint8_t*>(word.data()), word.size());
        settings.StopWords.push_back(std::move(word));
    }
    settings.SpaceChars = reader.ReadSet();
    settings.IncludeChars = reader.ReadSet();
    return settings;
}

void WriteFullTextSettings(TIndexPageStore& store, const TFullTextSettings& settings) {
    const size_t body = store.Shape().PageSize - kPageHeaderSize;
    for (const std::string& word : settings.StopWords)
        if (word.size() > body) RaiseError(DEZEDE_INVALIDKEY, {.Table = store.Table()});
    TChainWriter writer(store);
    writer.WriteInt(static_cast<uint32_t>(settings.StopWords.size()));
    for (const std::string& word : settings.StopWords) {
        writer.WriteInt(static_cast<uint32_t>(word.size()));
        writer.Write(reinterpret_cast<const uint8_t*>(word.data()), word.size());
    }
    writer.WriteSet(settings.SpaceChars);
    writer.WriteSet(settings.IncludeChars);
    writer.Finish();
}

std::vector<std::string> SplitWords(std::string_view text, const TFullTextSettings& settings,
                                    const TUpperCase& upper, const TWordFilter& keep) {
    std::vector<std::string> stops;
    stops.reserve(settings.StopWords.size());
    for (const std::string& s : settings.StopWords) stops.push_back(upper(s));
    std::sort(stops.begin(), stops.end());

    std::vector<std::string> words;
    std::string word;
    auto finish = [&] {
        if (!word.empty()) {
            std::string w = upper(word);
            if (w.size() > FullTextWordSize) w.resize(FullTextWordSize);
            if (!std::binary_search(stops.begin(), stops.end(), w) &&
                std::find(words.begin(), words.end(), w) == words.end() && (!keep || keep(word)))
                words.push_back(std::move(w));
        }
        word.clear();
    };
    for (const char ch : text) {
        const auto c = static_cast<uint8_t>(ch);
        if (settings.SpaceChars[c])
            finish();
        else if (settings.IncludeChars[c] && word.size() < FullTextWordSize)
            word.push_back(ch);
    }
    finish();
    return words;
}

void BuildFullTextKey(uint16_t fieldNumber, std::string_view word, int32_t recordId, uint8_t* key) {
    std::memset(key, 0, kFullTextKeySize);
    key[0] = 1;
    StoreBE16(key + 1, fieldNumber);
    std::memcpy(key + 3, word.data(), std::min(word.size(), FullTextWordSize));
    StoreBE32(key + 64, static_cast<uint32_t>(recordId) ^ 0x80000000u);
}

void UpdateFullTextKeys(TIndexTree& tree, const TFullTextSettings& settings, const TUpperCase& upper,
                        uint16_t fieldNumber, int32_t recordId, uint32_t recordNumber, std::string_view oldText,
                        std::string_view newText, const TWordFilter& keep) {
    const std::vector<std::string> before = SplitWords(oldText, settings, upper, keep);
    const std::vector<std::string> after = SplitWords(newText, settings, upper, keep);
    uint8_t key[kFullTextKeySize];
    for (const std::string& word : before) {
        if (std::find(after.begin(), after.end(), word) != after.end()) continue;
        BuildFullTextKey(fieldNumber, word, recordId, key);
        tree.Delete(key);
    }
    for (const std::string& word : after) {
        if (std::find(before.begin(), before.end(), word) != before.end()) continue;
        BuildFullTextKey(fieldNumber, word, recordId, key);
        tree.Insert(key, recordNumber);
    }
}

}  // namespace dezede
