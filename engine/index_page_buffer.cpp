#include "engine/index_page_buffer.h"

#include <algorithm>
#include <cstring>

#include "engine/buffered_file.h"
#include "engine/error_codes.h"
#include "engine/error_context.h"

namespace dezede {

TPageBuffer::TPageBuffer(TBufferedFile& owner) : TBuffer(owner), Image_(owner.DiskBufferSize(), 0) {}

TPage& TPageBuffer::Page(const TIndexShape& shape, const std::string& table) {
    if (Page_ && Page_->Shape() == shape) return *Page_;
    if (Page_) Page_->SaveToImage(Image_.data());
    Page_.reset();
    auto page = std::make_unique<TPage>(shape, table);
    if (Image_.size() < shape.PageSize) RaiseError(DEZEDE_INDEXCORRUPT, {.Table = table});
    page->LoadFromImage(Image_.data());
    page->Number = static_cast<uint32_t>(Number);
    Page_ = std::move(page);
    return *Page_;
}

void TPageBuffer::Assign(const TBuffer& other) {
    TBuffer::Assign(other);
    if (const auto* page = dynamic_cast<const TPageBuffer*>(&other)) {
        Image_ = page->Image_;
        Page_ = page->Page_ ? std::make_unique<TPage>(*page->Page_) : nullptr;
    }
}

void TPageBuffer::Clear(int32_t initValue) {
    TBuffer::Clear(initValue);
    std::fill(Image_.begin(), Image_.end(), 0);
    Page_.reset();
}

void TPageBuffer::ReadImage(const uint8_t* image) {
    std::memcpy(Image_.data(), image, Image_.size());
    Page_.reset();
}

void TPageBuffer::WriteImage(uint8_t* image) const {
    if (!Page_) {
        std::memcpy(image, Image_.data(), Image_.size());
        return;
    }
    Page_->SaveToImage(image);
    const size_t written = std::min<size_t>(Page_->Shape().PageSize, Image_.size());
    std::memset(image + written, 0, Image_.size() - written);
}

}  // namespace dezede
