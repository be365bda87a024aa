#pragma once
// TMemoryPageStore: the pages of one index held in memory as a page-file image (page n at
// (n - 1) x page size) with a cache of unpacked pages in front of it. A small cache makes every
// page go through its image often, which is what tests want; an unlimited one is a plain
// in-memory index.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/index_page_store.h"

namespace dezede {

class TMemoryPageStore : public TIndexPageStore {
public:
    // cacheLimit 0: keep every page unpacked.
    TMemoryPageStore(const TIndexShape& shape, std::string table, size_t cacheLimit = 0);

    const TIndexShape& Shape() const override { return Shape_; }
    const std::string& Table() const override { return Table_; }
    TPage& Pin(uint32_t number) override;
    void Unpin(TPage& page) override;
    void MarkDirty(TPage& page) override;
    TPage& Allocate(uint8_t type) override;
    void Free(TPage& page) override;
    uint32_t LastPageNumber() const override { return static_cast<uint32_t>(Slots_.size()); }
    uint32_t RootPage() const override { return Root_; }
    void SetRootPage(uint32_t number) override { Root_ = number; }
    uint32_t AuxPage() const override { return Aux_; }
    void SetAuxPage(uint32_t number) override { Aux_ = number; }

    uint32_t FirstFreePage() const { return FirstFree_; }
    void SetFirstFreePage(uint32_t number) { FirstFree_ = number; }

    // Writes every dirty unpinned page to the image and drops the unpinned pages from the
    // cache, so that the next access loads them from their images.
    void Flush();
    // The page-file image; after Flush it holds every page as stored. Changing it (tests
    // damage pages this way) takes effect for pages loaded afterwards.
    std::vector<uint8_t>& Image() { return Image_; }
    // Replaces the pages with an image (whole pages only; a partial last page is dropped).
    void LoadImage(const std::vector<uint8_t>& image);

private:
    struct TSlot {
        std::unique_ptr<TPage> Page;
        int Pins = 0;
        bool Dirty = false;
    };
    TSlot& SlotOf(const TPage& page);
    void Evict();
    void Save(uint32_t number);

    TIndexShape Shape_;
    std::string Table_;
    size_t CacheLimit_;
    size_t Cached_ = 0;
    size_t Hand_ = 0;
    std::vector<TSlot> Slots_;  // slot n - 1 for page n
    std::vector<uint8_t> Image_;
    uint32_t Root_ = 0;
    uint32_t Aux_ = 0;
    uint32_t FirstFree_ = 0;
};

}  // namespace dezede
