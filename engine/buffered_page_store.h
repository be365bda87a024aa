#pragma once
// TBufferedPageStore: the pages of one index over the index file's buffer cache, whose buffers
// are TPageBuffers. The file's header keeps the index's root and auxiliary pages and the
// head of the free-page chain; TIndexHeaderPages is how the store reaches them.
//
// Allocation takes the first free page (its next-page field becomes the new head) or appends a
// page to the file; freeing puts a page at the head of the chain with no entries.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/buffered_file.h"
#include "engine/index_page_buffer.h"
#include "engine/index_page_store.h"

namespace dezede {

// The header fields the tree changes; setting one marks the header changed.
class TIndexHeaderPages {
public:
    virtual ~TIndexHeaderPages() = default;
    virtual uint32_t RootPage() const = 0;
    virtual void SetRootPage(uint32_t page) = 0;
    virtual uint32_t AuxPage() const = 0;
    virtual void SetAuxPage(uint32_t page) = 0;
    virtual uint32_t FirstFreePage() const = 0;
    virtual void SetFirstFreePage(uint32_t page) = 0;
};

class TBufferedPageStore : public TIndexPageStore {
public:
    // The file's buffers must be TPageBuffers of the index's page size.
    TBufferedPageStore(TBufferedFile& file, TIndexHeaderPages& header, const TIndexShape& shape, std::string table,
                       int32_t slot);
    ~TBufferedPageStore() override;

    const TIndexShape& Shape() const override { return Shape_; }
    const std::string& Table() const override { return Table_; }
    TPage& Pin(uint32_t number) override;
    void Unpin(TPage& page) override;
    void MarkDirty(TPage& page) override;
    TPage& Allocate(uint8_t type) override;
    void Free(TPage& page) override;
    uint32_t LastPageNumber() const override;
    uint32_t RootPage() const override { return Header_.RootPage(); }
    void SetRootPage(uint32_t number) override { Header_.SetRootPage(number); }
    uint32_t AuxPage() const override { return Header_.AuxPage(); }
    void SetAuxPage(uint32_t number) override { Header_.SetAuxPage(number); }

private:
    TPage& Take(int32_t number);
    TPageBuffer& BufferOf(const TPage& page);
    [[noreturn]] void Corrupt() const;

    TBufferedFile& File_;
    TIndexHeaderPages& Header_;
    TIndexShape Shape_;
    std::string Table_;
    int32_t Slot_;  // passed to the cache as the init value of new buffers
    std::vector<std::pair<TPage*, TPageBuffer*>> Pinned_;
};

}  // namespace dezede
