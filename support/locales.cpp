#include "support/locales.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include <unicode/ucnv.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include "support/ansi_strings.h"

namespace dezede {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// A single-byte code page as two tables, built once from ICU's converter.
struct TCodePage {
    int Number = 1252;
    std::array<char16_t, 256> ToUnicode{};
    std::unordered_map<char16_t, uint8_t> FromUnicode;

    bool Encode(char16_t u, uint8_t& byte) const {
        if (u < 0x80) {  // every Windows code page agrees with ASCII
            byte = static_cast<uint8_t>(u);
            return true;
        }
        auto it = FromUnicode.find(u);
        if (it == FromUnicode.end()) return false;
        byte = it->second;
        return true;
    }
};

std::unique_ptr<TCodePage> BuildCodePage(int number) {
    auto cp = std::make_unique<TCodePage>();
    cp->Number = number;
    for (int b = 0; b < 256; ++b) cp->ToUnicode[b] = static_cast<char16_t>(b);  // Latin-1 if ICU fails
    UErrorCode status = U_ZERO_ERROR;
    const std::string name = "windows-" + std::to_string(number);
    UConverter* conv = ucnv_open(name.c_str(), &status);
    if (U_SUCCESS(status)) {
        for (int b = 1; b < 256; ++b) {
            const char in = static_cast<char>(b);
            UChar out[4];
            status = U_ZERO_ERROR;
            ucnv_reset(conv);
            const int32_t n = ucnv_toUChars(conv, out, 4, &in, 1, &status);
            cp->ToUnicode[b] = U_SUCCESS(status) && n == 1 ? static_cast<char16_t>(out[0]) : kReplacement;
        }
        ucnv_close(conv);
    }
    for (int b = 255; b >= 0; --b) {
        if (cp->ToUnicode[b] != kReplacement) cp->FromUnicode[cp->ToUnicode[b]] = static_cast<uint8_t>(b);
    }
    return cp;
}

const TCodePage& CodePage(int number) {
    // Kept for the life of the process (never destroyed: other threads may
    // still compare while the process exits).
    static std::mutex mutex;
    static auto* pages = new std::map<int, std::unique_ptr<TCodePage>>;
    std::lock_guard lock(mutex);
    std::unique_ptr<TCodePage>& page = (*pages)[number];
    if (!page) page = BuildCodePage(number);
    return *page;
}

// The ANSI code page of an ICU locale: by script for the non-Latin ones, by
// language for the Latin ones.
int CodePageForIcuLocale(const char* icuName) {
    UErrorCode status = U_ZERO_ERROR;
    char full[ULOC_FULLNAME_CAPACITY] = {};
    uloc_addLikelySubtags(icuName, full, sizeof full - 1, &status);
    if (U_FAILURE(status)) std::strncpy(full, icuName, sizeof full - 1);
    char script[ULOC_SCRIPT_CAPACITY] = {}, lang[ULOC_LANG_CAPACITY] = {};
    status = U_ZERO_ERROR;
    uloc_getScript(full, script, sizeof script - 1, &status);
    status = U_ZERO_ERROR;
    uloc_getLanguage(full, lang, sizeof lang - 1, &status);
    const std::string_view s = script, l = lang;
    if (s == "Cyrl") return 1251;
    if (s == "Grek") return 1253;
    if (s == "Hebr") return 1255;
    if (s == "Arab") return 1256;
    static const char* const kCentral[] = {"pl", "cs", "sk", "hu", "sl", "hr", "bs", "sr", "ro", "sq", "tk", "hsb", "dsb"};
    static const char* const kBaltic[] = {"et", "lv", "lt"};
    static const char* const kTurkic[] = {"tr", "az", "uz"};
    auto in = [&l](const auto& list) { return std::find(std::begin(list), std::end(list), l) != std::end(list); };
    if (in(kCentral)) return 1250;
    if (in(kBaltic)) return 1257;
    if (in(kTurkic)) return 1254;
    if (l == "vi") return 1258;
    return 1252;
}

std::string IcuLocaleForLcid(uint32_t lcid) {
    if (lcid == 0) return {};
    UErrorCode status = U_ZERO_ERROR;
    char name[ULOC_FULLNAME_CAPACITY] = {};
    const int32_t n = uloc_getLocaleForLCID(lcid, name, sizeof name - 1, &status);
    if (U_FAILURE(status) || n <= 0) return {};
    return name;
}

// Everything one non-zero locale needs; built once and kept for the process.
struct TLocaleData {
    std::string IcuName;
    const TCodePage* Page = nullptr;
    UCollator* CaseSensitive = nullptr;    // primary strength, case level on
    UCollator* CaseInsensitive = nullptr;  // primary strength

    TLocaleData() = default;
    TLocaleData(const TLocaleData&) = delete;
    TLocaleData& operator=(const TLocaleData&) = delete;
    ~TLocaleData() {
        if (CaseSensitive) ucol_close(CaseSensitive);
        if (CaseInsensitive) ucol_close(CaseInsensitive);
    }
};

UCollator* OpenCollator(const std::string& icuName, bool caseLevel) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* c = ucol_open(icuName.c_str(), &status);
    if (U_FAILURE(status)) return nullptr;
    ucol_setStrength(c, UCOL_PRIMARY);
    ucol_setAttribute(c, UCOL_CASE_LEVEL, caseLevel ? UCOL_ON : UCOL_OFF, &status);
    ucol_setAttribute(c, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);  // windows-1258 carries combining marks
    if (U_FAILURE(status)) {
        ucol_close(c);
        return nullptr;
    }
    return c;
}

// nullptr for locale 0 and for identifiers that ICU does not know.
const TLocaleData* LocaleData(uint32_t lcid) {
    if (lcid == 0) return nullptr;
    // Comparisons come in long runs on one locale: remember the last one per thread.
    thread_local uint32_t lastId = 0;
    thread_local const TLocaleData* lastData = nullptr;
    if (lcid == lastId) return lastData;
    static std::shared_mutex mutex;
    // nullptr for an unknown identifier; kept for the life of the process.
    static auto* cache = new std::unordered_map<uint32_t, std::unique_ptr<TLocaleData>>;
    {
        std::shared_lock lock(mutex);
        auto it = cache->find(lcid);
        if (it != cache->end()) {
            lastId = lcid;
            lastData = it->second.get();
            return lastData;
        }
    }
    std::unique_ptr<TLocaleData> data;
    if (std::string icu = IcuLocaleForLcid(lcid); !icu.empty()) {
        data = std::make_unique<TLocaleData>();
        data->IcuName = icu;
        data->Page = &CodePage(CodePageForIcuLocale(icu.c_str()));
        data->CaseSensitive = OpenCollator(icu, true);
        data->CaseInsensitive = OpenCollator(icu, false);
        if (!data->CaseSensitive || !data->CaseInsensitive) data.reset();
    }
    std::unique_lock lock(mutex);
    // Another thread may have built the same entry meanwhile; the first one stays.
    const TLocaleData* result = cache->try_emplace(lcid, std::move(data)).first->second.get();
    lastId = lcid;
    lastData = result;
    return result;
}

void Decode(const TCodePage& page, std::string_view text, std::u16string& out) {
    out.resize(text.size());
    for (size_t i = 0; i < text.size(); ++i) out[i] = page.ToUnicode[static_cast<uint8_t>(text[i])];
}

// Encodes all of `u` into the code page; false when a character has no place in it.
bool EncodeAll(const TCodePage& page, std::u16string_view u, std::string& out) {
    out.clear();
    out.reserve(u.size());
    for (char16_t c : u) {
        uint8_t b;
        if (!page.Encode(c, b)) return false;
        out += static_cast<char>(b);
    }
    return true;
}

using TCaseMapper = int32_t (*)(UChar*, int32_t, const UChar*, int32_t, const char*, UErrorCode*);

std::u16string MapCase(TCaseMapper mapper, std::u16string_view src, const char* locale) {
    std::u16string dest(src.size() + 8, u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t n = mapper(reinterpret_cast<UChar*>(dest.data()), static_cast<int32_t>(dest.size()),
                                 reinterpret_cast<const UChar*>(src.data()), static_cast<int32_t>(src.size()), locale,
                                 &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            dest.resize(static_cast<size_t>(n));
            continue;
        }
        if (U_FAILURE(status)) return std::u16string(src);
        dest.resize(static_cast<size_t>(n));
        return dest;
    }
    return std::u16string(src);
}

std::string ConvertCase(uint32_t locale, std::string_view text, bool upper) {
    text = UntilNul(text);
    const TLocaleData* data = LocaleData(locale);
    if (!data) return upper ? AnsiUpperCase(text) : AnsiLowerCase(text);
    const TCaseMapper mapper = upper ? u_strToUpper : u_strToLower;
    std::u16string u;
    Decode(*data->Page, text, u);
    std::string out;
    if (EncodeAll(*data->Page, MapCase(mapper, u, data->IcuName.c_str()), out)) return out;
    // Some mapping left the code page: map character by character and keep
    // the characters whose mapping does not fit.
    out.clear();
    std::string piece;
    for (size_t i = 0; i < text.size(); ++i) {
        if (EncodeAll(*data->Page, MapCase(mapper, std::u16string_view(&u[i], 1), data->IcuName.c_str()), piece)) {
            out += piece;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string EncodeUtf8(std::u16string_view u) {
    std::string out;
    out.reserve(u.size());
    for (char16_t c : u) {  // code-page characters are all in the BMP
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::vector<TLocaleInfo> BuildInstalledLocales() {
    std::map<uint32_t, std::string> found;
    const TCodePage& latin = CodePage(1252);
    const int32_t count = uloc_countAvailable();
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t lcid = uloc_getLCID(uloc_getAvailable(i));
        if (lcid < 0x400 || found.count(lcid)) continue;  // neutral (language-only) identifiers are not locales
        const std::string icu = IcuLocaleForLcid(lcid);
        if (icu.empty()) continue;
        UChar name[256];
        UErrorCode status = U_ZERO_ERROR;
        const int32_t n = uloc_getDisplayName(icu.c_str(), "en", name, 255, &status);
        if (U_FAILURE(status) || n <= 0) continue;
        std::string text;
        for (int32_t k = 0; k < n; ++k) {
            uint8_t b;
            text += latin.Encode(static_cast<char16_t>(name[k]), b) ? static_cast<char>(b) : '?';
        }
        found.emplace(lcid, std::move(text));
    }
    std::vector<TLocaleInfo> list{{kAnsiStandardLocale, "ANSI Standard"}};
    for (auto& [id, name] : found) list.push_back({id, std::move(name)});
    return list;
}

}  // namespace

const std::vector<TLocaleInfo>& InstalledLocales() {
    static const std::vector<TLocaleInfo> list = BuildInstalledLocales();
    return list;
}

bool IsLocaleInstalled(uint32_t locale) { return locale == 0 || LocaleData(locale) != nullptr; }

std::optional<uint32_t> FindLocaleByName(std::string_view name) {
    for (const TLocaleInfo& info : InstalledLocales()) {
        if (info.Name.size() == name.size() && CompareAnsiStrings(info.Name, name, true) == 0) return info.Id;
    }
    return std::nullopt;
}

int LocaleCodePage(uint32_t locale) {
    const TLocaleData* data = LocaleData(locale);
    return data ? data->Page->Number : 1252;
}

int CompareStrings(uint32_t locale, std::string_view s1, std::string_view s2, bool caseInsensitive, int maxLength) {
    const TLocaleData* data = LocaleData(locale);
    if (!data) return CompareAnsiStrings(s1, s2, caseInsensitive, maxLength);
    s1 = UntilNul(s1);
    s2 = UntilNul(s2);
    if (maxLength >= 0) {
        s1 = s1.substr(0, std::min(s1.size(), static_cast<size_t>(maxLength)));
        s2 = s2.substr(0, std::min(s2.size(), static_cast<size_t>(maxLength)));
    }
    thread_local std::u16string u1, u2;
    Decode(*data->Page, s1, u1);
    Decode(*data->Page, s2, u2);
    const UCollator* c = caseInsensitive ? data->CaseInsensitive : data->CaseSensitive;
    const UCollationResult r =
        ucol_strcoll(c, reinterpret_cast<const UChar*>(u1.data()), static_cast<int32_t>(u1.size()),
                     reinterpret_cast<const UChar*>(u2.data()), static_cast<int32_t>(u2.size()));
    return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

int CompareChars(uint32_t locale, char c1, char c2, bool caseInsensitive) {
    return CompareStrings(locale, std::string_view(&c1, 1), std::string_view(&c2, 1), caseInsensitive);
}

std::string UpperCase(uint32_t locale, std::string_view text) { return ConvertCase(locale, text, true); }
std::string LowerCase(uint32_t locale, std::string_view text) { return ConvertCase(locale, text, false); }

std::string LocaleToUtf8(uint32_t locale, std::string_view text) {
    const TLocaleData* data = LocaleData(locale);
    std::u16string u;
    Decode(data ? *data->Page : CodePage(1252), text, u);
    return EncodeUtf8(u);
}

std::string Utf8ToLocale(uint32_t locale, std::string_view utf8) {
    const TLocaleData* data = LocaleData(locale);
    const TCodePage& page = data ? *data->Page : CodePage(1252);
    std::u16string u(utf8.size() + 1, u'\0');
    int32_t n = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(u.data()), static_cast<int32_t>(u.size()), &n, utf8.data(),
                         static_cast<int32_t>(utf8.size()), kReplacement, nullptr, &status);
    if (U_FAILURE(status)) return std::string(utf8.size(), '?');
    std::string out;
    for (int32_t i = 0; i < n; ++i) {
        uint8_t b;
        out += page.Encode(u[static_cast<size_t>(i)], b) ? static_cast<char>(b) : '?';
    }
    return out;
}

}  // namespace dezede
