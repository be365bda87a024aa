#include "app/core/component.h"

#include <algorithm>

namespace dezede::freebolt {

TComponent::TComponent(TComponent* owner, std::string name) : Name(std::move(name)), Owner_(owner) {
    if (Owner_) Owner_->Components_.push_back(this);
}

TComponent::~TComponent() {
    while (!Components_.empty()) delete Components_.back();  // each removes itself
    if (Owner_) {
        auto& list = Owner_->Components_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

}  // namespace dezede::freebolt
