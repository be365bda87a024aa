#pragma once
// The component base: a named object that may own other components. An owner
// frees what it owns (last created first) when it is freed; a component freed
// on its own leaves its owner's list. Forms and data modules walk their list
// in creation order.

#include <string>
#include <vector>

namespace dezede::freebolt {

class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr, std::string name = {});
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    std::string Name;
    TComponent* Owner() const { return Owner_; }
    // Owned components in creation order.
    const std::vector<TComponent*>& Components() const { return Components_; }

private:
    TComponent* Owner_;
    std::vector<TComponent*> Components_;
};

}  // namespace dezede::freebolt
