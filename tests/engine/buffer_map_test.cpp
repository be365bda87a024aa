#include "engine/buffer_map.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "engine/buffered_file.h"
#include "engine/file_registry.h"

namespace dezede {
namespace {

// A file kind with nothing but an owner for the buffers.
class TOwnerFile : public TBufferedFile {
public:
    explicit TOwnerFile(TFileRegistry& r) : TBufferedFile(r, "owner.tmp", true) {}
    uint32_t DiskBufferSize() const override { return 8; }
    uint32_t MemoryBufferSize() const override { return 8; }
    uint64_t DataStart() const override { return 0; }
    int32_t LastBufferNumber() const override { return 0; }
    void AdvanceLastBufferNumber() override {}
    uint32_t CacheCapacity() const override { return 1; }
    uint32_t ScanDepth() const override { return 1; }
    uint32_t GrowthStep() const override { return 1; }
    uint16_t CorruptionCode() const override { return 0; }
    std::unique_ptr<TBuffer> NewBuffer() override { return std::make_unique<TBuffer>(*this); }
    void ReadHeader() override {}
    bool WriteHeader(bool) override { return false; }
    void MarkHeaderChanged() override {}
};

// Inserts and extractions at random, with runs of consecutive numbers as a
// file's buffers have them, against a model; removals from the middle of
// probe runs are where open addressing goes wrong.
TEST(BufferMap, AgreesWithAModelThroughInsertsAndExtractions) {
    TFileRegistry registry;
    TOwnerFile owner(registry);
    TBufferMap map;
    std::map<int32_t, TBuffer*> model;
    std::mt19937 rng(5);
    for (int step = 0; step < 40000; ++step) {
        const int32_t n = static_cast<int32_t>(rng() % 3 == 0 ? rng() % 100000 + 1 : rng() % 600 + 1);
        if (model.count(n) == 0 && rng() % 3 != 0) {
            auto b = std::make_unique<TBuffer>(owner);
            b->Number = n;
            model[n] = b.get();
            map.Insert(std::move(b));
        } else {
            std::unique_ptr<TBuffer> out = map.Extract(n);
            const auto it = model.find(n);
            ASSERT_EQ(out.get(), it == model.end() ? nullptr : it->second) << "step " << step;
            if (it != model.end()) model.erase(it);
        }
        ASSERT_EQ(map.size(), model.size());
        if (step % 1000 == 0) {
            for (const auto& [number, buffer] : model) ASSERT_EQ(map.Find(number), buffer) << number;
            size_t seen = 0;
            map.ForEach([&](TBuffer* b) { seen += model.at(b->Number) == b; });
            ASSERT_EQ(seen, model.size());
        }
    }
    EXPECT_EQ(map.ExtractAll().size(), model.size());
    EXPECT_EQ(map.size(), 0u);
    EXPECT_EQ(map.Find(model.begin()->first), nullptr);
}

}  // namespace
}  // namespace dezede
