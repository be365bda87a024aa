#pragma once
// TPageBuffer: the buffer kind of the index file's cache. Its contents are the page's clear
// image (the file kind's memory buffer size must be the page size). The tree unpacks it into a
// TPage when it first asks for the page with the shape of the index the page belongs to (one
// file holds the pages of every index of a table, so the shape is known only then); from
// then on the unpacked page is what counts, and writing packs it. Code that works on the raw
// image calls SyncImage first, which packs the page back and leaves the image in charge.
//
// The TPage object of a buffer, once made, keeps its address for the buffer's life, so that
// references held by pinned users stay valid when the page is unpacked again.

#include <memory>
#include <optional>
#include <string>

#include "engine/buffer.h"
#include "engine/index_page.h"

namespace dezede {

class TPageBuffer : public TBuffer {
public:
    explicit TPageBuffer(TBufferedFile& owner);

    // The page unpacked for an index; a damaged image raises DEZEDE_INDEXCORRUPT naming the table.
    TPage& Page(const TIndexShape& shape, const std::string& table);
    // Packs an unpacked page into the image, which is then in charge.
    void SyncImage();

    void Assign(const TBuffer& other) override;
    void Clear(int32_t initValue) override;

protected:
    void ReadImage(const uint8_t* image) override;
    void WriteImage(uint8_t* image) const override;

private:
    // Inside the buffer object: a walk that reaches a page it has not touched
    // lately then finds the page's fields next to the buffer's own.
    std::optional<TPage> Page_;
    bool Unpacked_ = false;
};

}  // namespace dezede
