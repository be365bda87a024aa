#include "components/dezede_functions.h"

#include "components/same_text.h"

namespace dezede {

TDEZEDEFunction& TDEZEDEFunctions::Add() {
    Items_.push_back(std::make_unique<TDEZEDEFunction>());
    return *Items_.back();
}

void TDEZEDEFunctions::Delete(size_t index) {
    if (index < Items_.size()) Items_.erase(Items_.begin() + static_cast<std::ptrdiff_t>(index));
}

const TDEZEDEFunction* TDEZEDEFunctions::Find(const std::string& name) const {
    for (const auto& f : Items_)
        if (SameText(f->Name(), name)) return f.get();
    return nullptr;
}

}  // namespace dezede
