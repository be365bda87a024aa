// The buffer cache against the physical limit of the page cache:
//  - a forward scan of every buffer of a 200 MB file through GetBuffer with
//    read-ahead, against pread of the same bytes in 64 KB pieces (warm cache);
//  - a cache hit (GetBuffer/ReleaseBuffer of a cached buffer), against pread of
//    one buffer, which is what each request would cost without the cache.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/buffered_file.h"
#include "engine/error_codes.h"
#include "engine/file_registry.h"

using namespace dezede;

namespace {

constexpr uint64_t kFileBytes = 200ull << 20;
constexpr uint32_t kRecordSize = 1024;
constexpr uint64_t kDataStart = 512;

class TBenchFile : public TBufferedFile {
public:
    TBenchFile(const std::string& name, TCacheBudget budget)
        : TBufferedFile(TFileRegistry::Instance(), name), Budget(budget) {}
    ~TBenchFile() override { Close(); }
    uint32_t DiskBufferSize() const override { return kRecordSize; }
    uint32_t MemoryBufferSize() const override { return kRecordSize; }
    uint64_t DataStart() const override { return kDataStart; }
    int32_t LastBufferNumber() const override { return Last; }
    void AdvanceLastBufferNumber() override { ++Last; }
    uint32_t CacheCapacity() const override { return CacheCapacityFor(Budget, kRecordSize, 36); }
    uint32_t ReadAheadLimit() const override { return std::max(1u, CacheCapacity() / 2); }
    uint32_t ScanDepth() const override { return 4; }
    uint32_t GrowthStep() const override { return 64; }
    uint16_t CorruptionCode() const override { return DEZEDE_FILECORRUPT; }
    bool LimitsRecordNumber() const override { return true; }
    std::unique_ptr<TBuffer> NewBuffer() override { return std::make_unique<TBuffer>(*this); }
    void ReadHeader() override {}
    bool WriteHeader(bool) override { return false; }
    void MarkHeaderChanged() override {}
    TCacheBudget Budget;
    int32_t Last = 0;
};

double Seconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <typename F>
double Best(int rounds, F&& f) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) best = std::min(best, f());
    return best;
}

void Line(const char* name, double ours, const char* otherName, double other) {
    std::printf("%s: ours %.6g s, %s %.6g s, ratio %.3g\n", name, ours, otherName, other, ours / other);
}

}  // namespace

int main() {
    const char* tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/dezede_bench_buffer_cache_" +
                             std::to_string(getpid()) + ".dat";
    {
        std::vector<uint8_t> chunk(1 << 20);
        for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i * 31);
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return 1;
        std::fwrite(chunk.data(), 1, kDataStart, f);
        for (uint64_t done = 0; done < kFileBytes; done += chunk.size()) std::fwrite(chunk.data(), 1, chunk.size(), f);
        std::fclose(f);
    }
    const int32_t buffers = static_cast<int32_t>(kFileBytes / kRecordSize);
    std::vector<uint8_t> piece(65536);
    uint64_t sink = 0;

    auto plainScan = [&] {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const auto start = std::chrono::steady_clock::now();
        for (uint64_t off = 0; off < kFileBytes; off += piece.size()) {
            const ssize_t n = pread(fd, piece.data(), piece.size(), static_cast<off_t>(kDataStart + off));
            if (n > 0) sink += piece[0];
        }
        const double t = Seconds(start);
        close(fd);
        return t;
    };
    plainScan();  // warm the page cache
    const double plain = Best(3, plainScan);

    const struct {
        const char* Name;
        TCacheBudget Budget;
    } scans[] = {
        {"forward scan 200 MB, 1 KB buffers, default data budget (30 buffers)", {}},
        {"forward scan 200 MB, 1 KB buffers, 132.5 KB budget (read-ahead 64 buffers)", {.MaxBufferSize = 128 * 1060}},
        {"forward scan 200 MB, 1 KB buffers, 4 MB budget (read-ahead 1978 buffers)", {.MaxBufferSize = 4u << 20}},
    };
    for (const auto& s : scans) {
        const double ours = Best(3, [&] {
            TBenchFile file(path, s.Budget);
            file.Open();
            file.Last = buffers;
            TCursorHints hints{.OpenedExclusively = true, .ReadAheadCount = file.ReadAheadLimit()};
            const auto start = std::chrono::steady_clock::now();
            for (int32_t n = 1; n <= buffers; ++n) {
                TBuffer* b = nullptr;
                file.GetBuffer(&hints, 0, &b, kReadAheadForward, true, n);
                sink += b->Data()[0];
                file.ReleaseBuffer(b);
            }
            return Seconds(start);
        });
        Line(s.Name, ours, "pread 64 KB", plain);
    }

    {
        constexpr int kHits = 2'000'000;
        TBenchFile file(path, {});
        file.Open();
        file.Last = buffers;
        TCursorHints hints{.OpenedExclusively = true};
        for (int32_t n = 1; n <= 8; ++n) {
            TBuffer* b = nullptr;
            file.GetBuffer(&hints, 0, &b, kReadAheadNone, false, n);
            file.ReleaseBuffer(b);
        }
        const double ours = Best(3, [&] {
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < kHits; ++i) {
                TBuffer* b = nullptr;
                file.GetBuffer(&hints, 0, &b, kReadAheadNone, false, 1 + (i % 8));  // beyond the scan depth
                sink += b->Number;
                file.ReleaseBuffer(b);
            }
            return Seconds(start) / kHits;
        });
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const double other = Best(3, [&] {
            constexpr int kReads = 200'000;
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < kReads; ++i)
                sink += pread(fd, piece.data(), kRecordSize, static_cast<off_t>(kDataStart + (i % 8) * kRecordSize));
            return Seconds(start) / kReads;
        });
        close(fd);
        Line("cache hit (GetBuffer/ReleaseBuffer pair, per call)", ours, "pread of one 1 KB buffer", other);
    }
    unlink(path.c_str());
    return sink == 42 ? 1 : 0;
}
