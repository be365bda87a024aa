// Feeds arbitrary text to the literal parsers (dates, times, timestamps,
// decimals, numbers, GUIDs) and checks that what they accept formats and
// parses back to the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "support/bcd.h"
#include "support/date_time.h"
#include "support/guid.h"
#include "support/literals.h"

using namespace dezede;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (std::optional<int32_t> d = ParseDate(text)) {
        if (ParseDate(FormatDate(*d)) != d) std::abort();
    }
    if (std::optional<int32_t> t = ParseTime(text)) {
        if (*t < 0 || *t >= kMSecsPerDay || ParseTime(FormatTime(*t)) != t) std::abort();
    }
    if (std::optional<double> ts = ParseTimestamp(text)) {
        // A time alone lies on day 0, whose date has no literal form.
        std::optional<TTimestampParts> parts = DecodeTimestamp(*ts);
        if (!parts || parts->Day < 0) std::abort();
        if (parts->Day >= 1 && ParseTimestamp(FormatTimestamp(*ts)) != ts) std::abort();
    }
    if (std::optional<TBcd> b = TextToBcd(text)) {
        std::optional<std::string> back = BcdToText(*b);
        if (!back || !TextToBcd(*back)) std::abort();
        (void)BcdToCurrency(*b);
        (void)BcdToDouble(*b);
    }
    if (std::optional<int64_t> c = TextToCurrency(text)) {
        if (TextToCurrency(CurrencyToText(*c)) != c) std::abort();
        if (std::optional<TBcd> b = CurrencyToBcd(*c, int(size % 33)); b && !BcdToText(*b)) std::abort();
    }
    if (std::optional<double> f = ParseFloat(text)) {
        if (ParseFloat(FormatFloat(*f)) != f) std::abort();
        (void)DoubleToBcd(*f, int(size % 8));
        (void)DoubleToCurrency(*f);
    }
    (void)ParseInteger(text);
    (void)ParseBoolean(text);
    if (std::optional<TGuid> g = TextToGuid(text)) {
        if (TextToGuid(GuidToText(*g)) != g) std::abort();
    }
    // Arbitrary bytes as a stored BCD record.
    if (size >= kBcdSize) {
        const TBcd raw = TBcd::Load(data);
        (void)BcdToText(raw);
        (void)BcdToCurrency(raw);
        (void)BcdToDouble(raw);
    }
    return 0;
}
