#include "engine/buffered_page_store.h"

#include <algorithm>

#include "engine/error_codes.h"
#include "engine/error_context.h"

namespace dezede {
namespace {

// A buffer request may report that change detection discarded the caches; asking again then
// reads the page as it now stands. Writers hold the table's write lock, so this is rare.
constexpr int MaxBufferAttempts = 3;

}  // namespace

TBufferedPageStore::TBufferedPageStore(TBufferedFile& file, TIndexPageFile& pages, const TIndexShape& shape,
                                       std::string table, int32_t slot)
    : File_(file), Pages_(pages), Shape_(shape), Table_(std::move(table)), Slot_(slot) {
    ValidateIndexShape(Shape_, Table_);
    if (File_.DiskBufferSize() != Shape_.PageSize || File_.MemoryBufferSize() < Shape_.PageSize)
        RaiseError(DEZEDE_INDEXLIMIT, {.Table = Table_});
}

TBufferedPageStore::~TBufferedPageStore() {
    for (auto& [page, buffer] : Pinned_) File_.ReleaseBuffer(buffer);
}

void TBufferedPageStore::Corrupt() const { RaiseError(DEZEDE_INDEXCORRUPT, {.Table = Table_}); }

uint32_t TBufferedPageStore::LastPageNumber() const {
    const int32_t last = File_.LastBufferNumber();
    return last > 0 ? static_cast<uint32_t>(last) : 0;
}

TPage& TBufferedPageStore::Take(int32_t number) {
    TBuffer* buffer = nullptr;
    for (int attempt = 0; attempt < MaxBufferAttempts && !buffer; ++attempt)
        File_.GetBuffer(nullptr, Slot_, &buffer, kReadAheadNone, false, number);
    if (!buffer) Corrupt();
    auto* pageBuffer = dynamic_cast<TPageBuffer*>(buffer);
    if (!pageBuffer) {
        File_.ReleaseBuffer(buffer);
        Corrupt();
    }
    try {
        TPage& page = pageBuffer->Page(Shape_, Table_);
        page.Number = static_cast<uint32_t>(number);
        Pinned_.emplace_back(&page, pageBuffer);
        return page;
    } catch (...) {
        File_.ReleaseBuffer(buffer);
        throw;
    }
}

TPage& TBufferedPageStore::Pin(uint32_t number) {
    if (number == 0 || number > LastPageNumber()) Corrupt();
    return Take(static_cast<int32_t>(number));
}

TPageBuffer& TBufferedPageStore::BufferOf(const TPage& page) {
    for (auto it = Pinned_.rbegin(); it != Pinned_.rend(); ++it)
        if (it->first == &page) return *it->second;
    Corrupt();
}

void TBufferedPageStore::Unpin(TPage& page) {
    for (auto it = Pinned_.rbegin(); it != Pinned_.rend(); ++it) {
        if (it->first == &page) {
            TPageBuffer* buffer = it->second;
            Pinned_.erase(std::next(it).base());
            File_.ReleaseBuffer(buffer);
            return;
        }
    }
}

void TBufferedPageStore::MarkDirty(TPage& page) { BufferOf(page).Dirty = true; }

TPage& TBufferedPageStore::Allocate(uint8_t type) {
    TPage& page = Pin(Pages_.AllocatePage(type));
    page.Clear(type);
    MarkDirty(page);
    return page;
}

// The file frees the page through its image; the tree's reference to the unpacked page stays
// valid (its buffer keeps the object) and is not used for the page's contents any more.
void TBufferedPageStore::Free(TPage& page) {
    BufferOf(page).SyncImage();
    Pages_.FreePage(page.Number);
}

}  // namespace dezede
