#include "components/component.h"

#include <algorithm>

namespace dezede {

TComponent::TComponent(TComponent* owner) : Owner_(owner) {
    if (Owner_ != nullptr) Owner_->Components_.push_back(this);
}

TComponent::~TComponent() {
    DestroyComponents();
    if (Owner_ != nullptr) {
        auto& list = Owner_->Components_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

void TComponent::DestroyComponents() {
    Destroying_ = true;
    while (!Components_.empty()) delete Components_.back();  // each child leaves the list itself
}

void TComponent::SetName(const std::string& name) { Name_ = name; }

void TComponent::BeginLoading() {
    Loading_ = true;
    for (TComponent* c : Components_) c->BeginLoading();
}

void TComponent::EndLoading() {
    if (!Loading_) return;
    Loading_ = false;
    // Copy: Loaded() may create or free components of this owner.
    const std::vector<TComponent*> children = Components_;
    for (TComponent* c : children)
        if (std::find(Components_.begin(), Components_.end(), c) != Components_.end()) c->EndLoading();
    Loaded();
}

}  // namespace dezede
