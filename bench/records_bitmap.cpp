// Records bitmap: counting and finding the n-th set bit a word at a time,
// against the bit-by-bit walk over the same bitmap.
#include <chrono>
#include <cstdio>

#include "support/records_bitmap.h"

using namespace dezede;

namespace {

template <typename F>
double Seconds(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Report(const char* name, double ours, double other) {
    std::printf("%s: ours %.6f s, bit-by-bit %.6f s, ratio %.3f\n", name, ours, other, ours / other);
}

}  // namespace

int main() {
    constexpr uint32_t kSlots = 1'000'000;
    TRecordsBitmap b(kSlots);
    uint32_t seed = 1;
    for (uint32_t i = 0; i < kSlots / 10; ++i) {  // about 10 % of the slots pass
        seed = seed * 1103515245u + 12345u;
        b.Set((seed >> 4) % kSlots + 1);
    }
    volatile uint64_t sink = 0;
    constexpr int kRounds = 20;

    const double countOurs = Seconds([&] {
        for (int r = 0; r < kRounds; ++r) sink = sink + b.Count();
    });
    const double countNaive = Seconds([&] {
        for (int r = 0; r < kRounds; ++r) {
            uint64_t n = 0;
            for (uint32_t i = 1; i <= kSlots; ++i) n += b.Test(i);
            sink = sink + n;
        }
    });
    Report("count 1M slots", countOurs, countNaive);

    // Walk every set bit, as record-number navigation over a filter does.
    const double walkOurs = Seconds([&] {
        for (int r = 0; r < kRounds; ++r) {
            for (uint32_t i = b.FindNext(0); i != 0; i = b.FindNext(i)) sink = sink + i;
        }
    });
    const double walkNaive = Seconds([&] {
        for (int r = 0; r < kRounds; ++r) {
            for (uint32_t i = 1; i <= kSlots; ++i) {
                if (b.Test(i)) sink = sink + i;
            }
        }
    });
    Report("walk set bits", walkOurs, walkNaive);

    // Jump to the 50,000th set bit (SetToRecNo-style positioning).
    const double jumpOurs = Seconds([&] {
        for (int r = 0; r < kRounds; ++r) sink = sink + b.FindNext(0, 50'000);
    });
    const double jumpNaive = Seconds([&] {
        for (int r = 0; r < kRounds; ++r) {
            uint32_t seen = 0, i = 1;
            for (; i <= kSlots; ++i) {
                if (b.Test(i) && ++seen == 50'000) break;
            }
            sink = sink + i;
        }
    });
    Report("find 50000th set bit", jumpOurs, jumpNaive);
    return 0;
}
