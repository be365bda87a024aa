#pragma once
// TIndexSlot: one index of a table's index file, ready for the tree operations: the shape
// copied from its descriptor, the key comparison of its fields in the table's locale, and its
// pages through the file's buffer cache (root and auxiliary page in the file's header, pages
// allocated and freed on the file's free chain).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/buffered_page_store.h"
#include "engine/field_types.h"
#include "engine/full_text.h"
#include "engine/index_file.h"
#include "engine/index_tree.h"

namespace dezede {

// The shape of an index as its pages need it.
TIndexShape IndexShapeOf(const TIndexDescriptor& descriptor, uint32_t pageSize);

// The key comparison of an index (CompareKeys over its layout).
TKeyCompare KeyCompareOf(TKeyLayout layout);

// Upper-casing of full-text words with a table's locale.
TUpperCase FullTextUpperCase(uint32_t locale);

class TIndexSlot : private TIndexPageFile {
public:
    // The slot's descriptor must be defined; a key size the page cannot hold raises
    // DEZEDE_INVALIDKEY, a page size out of range DEZEDE_INDEXLIMIT.
    TIndexSlot(TIndexFile& file, size_t slot, const std::vector<TFieldDescriptor>& fields, uint32_t locale);

    TIndexTree& Tree() { return Tree_; }
    TIndexPageStore& Pages() { return Store_; }
    const TKeyCompare& Compare() const { return Compare_; }

private:
    uint32_t RootPage() const override { return File_.RootPage(Slot_); }
    void SetRootPage(uint32_t page) override { File_.SetRootPage(Slot_, page); }
    uint32_t AuxPage() const override { return File_.AuxPage(Slot_); }
    void SetAuxPage(uint32_t page) override { File_.SetAuxPage(Slot_, page); }
    uint32_t AllocatePage(uint8_t type) override { return File_.AllocatePage(type); }
    void FreePage(uint32_t page) override { File_.FreePage(page); }

    TIndexFile& File_;
    size_t Slot_;
    TKeyCompare Compare_;
    TBufferedPageStore Store_;
    TIndexTree Tree_;
};

}  // namespace dezede
