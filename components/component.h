#pragma once
// TComponent: the base of the components. A component has a name, an
// optional owner that frees it, the components it owns, and a loading state
// during which it stores settings without checking them; Loaded() runs when
// loading ends.

#include <string>
#include <vector>

namespace dezede {

class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr);
    // Frees the owned components, last to first, and leaves the owner's list.
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const std::string& Name() const { return Name_; }
    virtual void SetName(const std::string& name);

    TComponent* Owner() const { return Owner_; }
    const std::vector<TComponent*>& Components() const { return Components_; }

    // Loading from a stored form: set by BeginLoading, cleared by EndLoading,
    // which then calls Loaded(). Both apply to the owned components as well.
    bool Loading() const { return Loading_; }
    void BeginLoading();
    void EndLoading();

    bool Destroying() const { return Destroying_; }

protected:
    virtual void Loaded() {}
    // Subclasses call this first in their destructor so that owned
    // components are gone while the subclass is still whole.
    void DestroyComponents();

private:
    std::string Name_;
    TComponent* Owner_;
    std::vector<TComponent*> Components_;
    bool Loading_ = false;
    bool Destroying_ = false;
};

// Keeps a component in the loading state for a scope.
class TLoadingGuard {
public:
    explicit TLoadingGuard(TComponent& component) : Component_(component) { Component_.BeginLoading(); }
    ~TLoadingGuard() { Component_.EndLoading(); }
    TLoadingGuard(const TLoadingGuard&) = delete;
    TLoadingGuard& operator=(const TLoadingGuard&) = delete;

private:
    TComponent& Component_;
};

}  // namespace dezede
