#pragma once
// TBufferedPageStore: the pages of one index over the index file's buffer cache, whose buffers
// are TPageBuffers. The index file keeps the index's root and auxiliary pages in its header and
// allocates and frees pages on its free chain; TIndexPageFile is how the store reaches them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/buffered_file.h"
#include "engine/index_page_buffer.h"
#include "engine/index_page_store.h"

namespace dezede {

// What the store needs of the index file for one index.
class TIndexPageFile {
public:
    virtual ~TIndexPageFile() = default;
    virtual uint32_t RootPage() const = 0;
    virtual void SetRootPage(uint32_t page) = 0;
    virtual uint32_t AuxPage() const = 0;
    virtual void SetAuxPage(uint32_t page) = 0;
    // The first free page, else a new page at the end; its buffer cleared, the type set, dirty.
    virtual uint32_t AllocatePage(uint8_t type) = 0;
    // Puts a page at the head of the free chain with no entries.
    virtual void FreePage(uint32_t page) = 0;
};

class TBufferedPageStore : public TIndexPageStore {
public:
    // The file's buffers must be TPageBuffers holding whole pages of the index's page size.
    TBufferedPageStore(TBufferedFile& file, TIndexPageFile& pages, const TIndexShape& shape, std::string table,
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
    uint32_t RootPage() const override { return Pages_.RootPage(); }
    void SetRootPage(uint32_t number) override { Pages_.SetRootPage(number); }
    uint32_t AuxPage() const override { return Pages_.AuxPage(); }
    void SetAuxPage(uint32_t number) override { Pages_.SetAuxPage(number); }

private:
    TPage& Take(int32_t number);
    TPageBuffer& BufferOf(const TPage& page);
    [[noreturn]] void Corrupt() const;

    TBufferedFile& File_;
    TIndexPageFile& Pages_;
    TIndexShape Shape_;
    std::string Table_;
    int32_t Slot_;  // passed to the cache as the init value of new buffers
    std::vector<std::pair<TPage*, TPageBuffer*>> Pinned_;
};

}  // namespace dezede
