// Index pages from arbitrary bytes: the first byte picks the index's shape, the rest is taken
// as 1024-byte pages. A single page is loaded, walked and saved, and must load back the same;
// the pages as a whole are walked as a tree (root page 1), checked, and read as a full-text
// settings chain. Only engine errors may come out.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/engine_error.h"
#include "engine/full_text.h"
#include "engine/index_checker.h"
#include "engine/index_tree.h"
#include "engine/memory_page_store.h"

using namespace dezede;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t pick = data[0];
    const TIndexShape shape{.PageSize = 1024,
                            .KeySize = static_cast<uint16_t>((pick & 0x10) ? 68 : 9),
                            .Unique = (pick & 0x04) != 0,
                            .Compression = static_cast<uint8_t>(pick & 0x03),
                            .NoKeyStats = (pick & 0x08) != 0};
    std::vector<uint8_t> image(data + 1, data + size);
    image.resize(std::max<size_t>(1024, (image.size() + 1023) / 1024 * 1024), 0);
    if (image.size() > 64 * 1024) image.resize(64 * 1024);

    try {
        TPage page(shape, "fuzz");
        page.LoadFromImage(image.data());
        uint64_t sum = 0;
        for (int i = 0; i < page.Count(); ++i) sum += page.Key(i)[0] + page.Pointer(i) + page.PackedEntrySize(i);
        std::vector<uint8_t> saved(1024);
        if (!page.OverCapacity()) {
            page.SaveToImage(saved.data());
            TPage back(shape, "fuzz");
            back.LoadFromImage(saved.data());
            if (back.Count() != page.Count() || back.CompressedSize() != page.CompressedSize()) __builtin_trap();
            for (int i = 0; i < page.Count(); ++i)
                if (std::memcmp(back.Key(i), page.Key(i), shape.KeySize) != 0 || back.Pointer(i) != page.Pointer(i))
                    __builtin_trap();
        }
        (void)sum;
    } catch (const EDEZEDEEngineError&) {
    }

    const TKeyCompare compare = [](const uint8_t* a, const uint8_t* b, size_t n) { return std::memcmp(a, b, n); };
    TMemoryPageStore store(shape, "fuzz", 4);
    store.LoadImage(image);
    store.SetRootPage(1);
    store.SetAuxPage(1);
    TIndexTree tree(store, compare);
    try {
        TIndexPosition pos;
        for (bool more = tree.First(pos); more; more = tree.Next(pos)) {
        }
    } catch (const EDEZEDEEngineError&) {
    }
    try {
        TIndexPosition pos;
        for (bool more = tree.Last(pos); more; more = tree.Prior(pos)) {
        }
    } catch (const EDEZEDEEngineError&) {
    }
    try {
        (void)tree.KeyCount();
        const std::vector<uint8_t> probe(shape.KeySize, 0x80);
        (void)tree.KeysBefore(probe.data());
        TIndexPath path;
        (void)tree.Locate(probe.data(), path);
    } catch (const EDEZEDEEngineError&) {
    }
    (void)CheckIndex(store, compare);
    try {
        (void)ReadFullTextSettings(store);
    } catch (const EDEZEDEEngineError&) {
    }
    return 0;
}
