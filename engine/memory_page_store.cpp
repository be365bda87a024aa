#include "engine/memory_page_store.h"

#include "engine/error_codes.h"
#include "engine/error_context.h"

namespace dezede {

TMemoryPageStore::TMemoryPageStore(const TIndexShape& shape, std::string table, size_t cacheLimit)
    : Shape_(shape), Table_(std::move(table)), CacheLimit_(cacheLimit) {
    ValidateIndexShape(Shape_, Table_);
}

TMemoryPageStore::TSlot& TMemoryPageStore::SlotOf(const TPage& page) {
    if (page.Number == 0 || page.Number > Slots_.size() || Slots_[page.Number - 1].Page.get() != &page)
        RaiseError(DEZEDE_INDEXCORRUPT, {.Table = Table_});
    return Slots_[page.Number - 1];
}

TPage& TMemoryPageStore::Pin(uint32_t number) {
    if (number == 0 || number > Slots_.size()) RaiseError(DEZEDE_INDEXCORRUPT, {.Table = Table_});
    TSlot& slot = Slots_[number - 1];
    if (!slot.Page) {
        auto page = std::make_unique<TPage>(Shape_, Table_);
        page->LoadFromImage(Image_.data() + static_cast<size_t>(number - 1) * Shape_.PageSize);
        page->Number = number;
        slot.Page = std::move(page);
        slot.Dirty = false;
        ++Cached_;
    }
    ++slot.Pins;
    return *slot.Page;
}

void TMemoryPageStore::Unpin(TPage& page) {
    TSlot& slot = SlotOf(page);
    if (slot.Pins > 0) --slot.Pins;
    if (CacheLimit_ != 0 && Cached_ > CacheLimit_) Evict();
}

void TMemoryPageStore::MarkDirty(TPage& page) { SlotOf(page).Dirty = true; }

void TMemoryPageStore::Save(uint32_t number) {
    TSlot& slot = Slots_[number - 1];
    slot.Page->SaveToImage(Image_.data() + static_cast<size_t>(number - 1) * Shape_.PageSize);
    slot.Dirty = false;
}

void TMemoryPageStore::Evict() {
    // Clock sweep over the cached pages; pinned pages stay, so the cache may stay above its
    // limit while many pages are pinned.
    for (size_t seen = 0; Cached_ > CacheLimit_ && seen < Slots_.size(); ++seen) {
        Hand_ = (Hand_ + 1) % Slots_.size();
        TSlot& slot = Slots_[Hand_];
        if (!slot.Page || slot.Pins > 0) continue;
        if (slot.Dirty) Save(static_cast<uint32_t>(Hand_ + 1));
        slot.Page.reset();
        --Cached_;
    }
}

TPage& TMemoryPageStore::Allocate(uint8_t type) {
    if (FirstFree_ != 0) {
        const uint32_t number = FirstFree_;
        TPage& page = Pin(number);
        if (page.Next == number) {
            Unpin(page);
            RaiseError(DEZEDE_INDEXCORRUPT, {.Table = Table_});
        }
        FirstFree_ = page.Next;
        page.Clear(type);
        Slots_[number - 1].Dirty = true;
        return page;
    }
    Image_.resize(Image_.size() + Shape_.PageSize, 0);
    Slots_.emplace_back();
    TSlot& slot = Slots_.back();
    slot.Page = std::make_unique<TPage>(Shape_, Table_);
    slot.Page->Clear(type);
    slot.Page->Number = static_cast<uint32_t>(Slots_.size());
    slot.Pins = 1;
    slot.Dirty = true;
    ++Cached_;
    return *slot.Page;
}

void TMemoryPageStore::Free(TPage& page) {
    TSlot& slot = SlotOf(page);
    page.Clear(page.Type);
    page.Next = FirstFree_;
    FirstFree_ = page.Number;
    slot.Dirty = true;
}

void TMemoryPageStore::Flush() {
    for (size_t i = 0; i < Slots_.size(); ++i) {
        TSlot& slot = Slots_[i];
        if (!slot.Page) continue;
        if (slot.Dirty) Save(static_cast<uint32_t>(i + 1));
        if (slot.Pins == 0) {
            slot.Page.reset();
            --Cached_;
        }
    }
}

void TMemoryPageStore::LoadImage(const std::vector<uint8_t>& image) {
    const size_t pages = image.size() / Shape_.PageSize;
    Image_.assign(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(pages * Shape_.PageSize));
    Slots_.clear();
    Slots_.resize(pages);
    Cached_ = 0;
    Hand_ = 0;
}

}  // namespace dezede
