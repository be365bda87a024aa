#include "engine/filter.h"

#include <utility>

namespace dezede {

TFilter::TFilter(TFilterCallback callback, void* context, bool afterOthers)
    : Kind_(TFilterKind::fkCallback), AfterOthers_(afterOthers), Callback_(std::move(callback)), Context_(context) {}

bool TFilter::Judge(void* userData, std::span<const uint8_t> record, uint32_t recNo) const {
    return Callback_(Context_, userData, record, recNo);
}

}  // namespace dezede
