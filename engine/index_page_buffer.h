#pragma once
// TPageBuffer: the buffer kind of the index file's cache. It keeps the page's clear image as
// read and unpacks it into a TPage when the tree first asks for it with the shape of the index
// the page belongs to (one file holds the pages of every index of a table, so the shape is
// known only then). A page asked for with another shape (freed by one index, reused by
// another) is packed back into its image and unpacked again. Writing packs the unpacked page,
// or copies the image as read when nobody unpacked it.

#include <memory>
#include <string>
#include <vector>

#include "engine/buffer.h"
#include "engine/index_page.h"

namespace dezede {

class TPageBuffer : public TBuffer {
public:
    explicit TPageBuffer(TBufferedFile& owner);

    // The page unpacked for an index; a damaged image raises DEZEDE_INDEXCORRUPT naming the table.
    TPage& Page(const TIndexShape& shape, const std::string& table);

    void Assign(const TBuffer& other) override;
    void Clear(int32_t initValue) override;

protected:
    void ReadImage(const uint8_t* image) override;
    void WriteImage(uint8_t* image) const override;

private:
    std::vector<uint8_t> Image_;
    std::unique_ptr<TPage> Page_;
};

}  // namespace dezede
