#pragma once
// TIndexPageStore: the pages of one index as the tree operations see them. The index file
// supplies it over its buffer cache; tests and benchmarks use TMemoryPageStore.
//
// Pages are pinned while in use and released by TPinnedPage; a page that is changed is marked
// dirty through its pin before it is released.

#include <cstdint>
#include <string>
#include <utility>

#include "engine/index_page.h"

namespace dezede {

class TIndexPageStore {
public:
    virtual ~TIndexPageStore() = default;

    virtual const TIndexShape& Shape() const = 0;
    virtual const std::string& Table() const = 0;

    // Page n, pinned. Page 0 or a number beyond the last page raises DEZEDE_INDEXCORRUPT.
    virtual TPage& Pin(uint32_t number) = 0;
    virtual void Unpin(TPage& page) = 0;
    virtual void MarkDirty(TPage& page) = 0;
    // A page for this index (the first free page, else a new one), cleared to the type,
    // pinned and dirty.
    virtual TPage& Allocate(uint8_t type) = 0;
    // Puts a pinned page on the free chain (the caller still releases its pin).
    virtual void Free(TPage& page) = 0;
    virtual uint32_t LastPageNumber() const = 0;

    // The index's root page (0 when empty) and its auxiliary page (the first full-text
    // settings page).
    virtual uint32_t RootPage() const = 0;
    virtual void SetRootPage(uint32_t number) = 0;
    virtual uint32_t AuxPage() const = 0;
    virtual void SetAuxPage(uint32_t number) = 0;
};

// A pinned page, released when the holder goes.
class TPinnedPage {
public:
    TPinnedPage() = default;
    TPinnedPage(TIndexPageStore& store, TPage& page) : Store_(&store), Page_(&page) {}
    TPinnedPage(const TPinnedPage&) = delete;
    TPinnedPage& operator=(const TPinnedPage&) = delete;
    TPinnedPage(TPinnedPage&& other) noexcept
        : Store_(std::exchange(other.Store_, nullptr)), Page_(std::exchange(other.Page_, nullptr)) {}
    TPinnedPage& operator=(TPinnedPage&& other) noexcept {
        if (this != &other) {
            Reset();
            Store_ = std::exchange(other.Store_, nullptr);
            Page_ = std::exchange(other.Page_, nullptr);
        }
        return *this;
    }
    ~TPinnedPage() { Reset(); }

    void Reset() {
        if (Page_) Store_->Unpin(*Page_);
        Page_ = nullptr;
        Store_ = nullptr;
    }
    void Dirty() { Store_->MarkDirty(*Page_); }
    TPage* operator->() const { return Page_; }
    TPage& operator*() const { return *Page_; }
    explicit operator bool() const { return Page_ != nullptr; }

private:
    TIndexPageStore* Store_ = nullptr;
    TPage* Page_ = nullptr;
};

inline TPinnedPage PinPage(TIndexPageStore& store, uint32_t number) { return {store, store.Pin(number)}; }
inline TPinnedPage NewPage(TIndexPageStore& store, uint8_t type) { return {store, store.Allocate(type)}; }

}  // namespace dezede
