#include "engine/index_page_buffer.h"

#include <cstring>

#include "engine/buffered_file.h"
#include "engine/error_codes.h"
#include "engine/error_context.h"

namespace dezede {

TPageBuffer::TPageBuffer(TBufferedFile& owner) : TBuffer(owner) {}

TPage& TPageBuffer::Page(const TIndexShape& shape, const std::string& table) {
    if (Unpacked_ && Page_->Shape() == shape) return *Page_;
    if (Size() < shape.PageSize || Owner().DiskBufferSize() < shape.PageSize)
        RaiseError(DEZEDE_INDEXCORRUPT, {.Table = table});
    SyncImage();
    TPage fresh(shape, table);
    fresh.LoadFromImage(Data());
    fresh.Number = static_cast<uint32_t>(Number);
    if (Page_)
        *Page_ = std::move(fresh);
    else
        Page_.emplace(std::move(fresh));
    Unpacked_ = true;
    return *Page_;
}

void TPageBuffer::SyncImage() {
    if (!Unpacked_) return;
    Page_->SaveToImage(Data());
    Unpacked_ = false;
}

void TPageBuffer::Assign(const TBuffer& other) {
    TBuffer::Assign(other);
    const auto* page = dynamic_cast<const TPageBuffer*>(&other);
    Unpacked_ = page && page->Unpacked_;
    if (Unpacked_) {
        if (Page_)
            *Page_ = *page->Page_;
        else
            Page_.emplace(*page->Page_);
    }
}

void TPageBuffer::Clear(int32_t initValue) {
    TBuffer::Clear(initValue);
    Unpacked_ = false;
}

void TPageBuffer::ReadImage(const uint8_t* image) {
    TBuffer::ReadImage(image);
    Unpacked_ = false;
}

void TPageBuffer::WriteImage(uint8_t* image) const {
    if (!Unpacked_) {
        TBuffer::WriteImage(image);
        return;
    }
    Page_->SaveToImage(image);
    const uint32_t disk = Owner().DiskBufferSize();
    const uint32_t written = Page_->Shape().PageSize;
    if (disk > written) std::memset(image + written, 0, disk - written);
}

}  // namespace dezede
