#pragma once
// TSessionLink: implemented by the components that name the session they
// work in (databases and datasets). An auto-named session hands its generated
// name to every such component of its owner.

#include <string>

namespace dezede {

class TSessionLink {
public:
    virtual ~TSessionLink() = default;
    virtual const std::string& SessionName() const = 0;
    virtual void SetSessionName(const std::string& name) = 0;
};

}  // namespace dezede
