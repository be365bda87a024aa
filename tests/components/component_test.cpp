#include "components/component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dezede {
namespace {

// Records its destruction and its Loaded() call in a shared log.
class TLogged : public TComponent {
public:
    TLogged(TComponent* owner, std::string tag, std::vector<std::string>& log)
        : TComponent(owner), Tag_(std::move(tag)), Log_(log) {}
    ~TLogged() override {
        DestroyComponents();
        Log_.push_back("free " + Tag_);
    }

protected:
    void Loaded() override { Log_.push_back("loaded " + Tag_ + (Loading() ? " (still loading)" : "")); }

private:
    std::string Tag_;
    std::vector<std::string>& Log_;
};

TEST(Component, OwnerFreesWhatItStillOwnsLastToFirst) {
    std::vector<std::string> log;
    {
        TLogged owner(nullptr, "owner", log);
        new TLogged(&owner, "a", log);
        auto* b = new TLogged(&owner, "b", log);
        new TLogged(b, "b.child", log);
        auto* c = new TLogged(&owner, "c", log);
        delete c;  // leaves its owner's list
        ASSERT_EQ(owner.Components().size(), 2u);
    }
    EXPECT_EQ(log, (std::vector<std::string>{"free c", "free b.child", "free b", "free a", "free owner"}));
}

TEST(Component, LoadingReachesOwnedComponents) {
    std::vector<std::string> log;
    TLogged owner(nullptr, "owner", log);
    auto* child = new TLogged(&owner, "child", log);
    {
        TLoadingGuard loading(owner);
        EXPECT_TRUE(child->Loading());
    }
    EXPECT_FALSE(child->Loading());
    EXPECT_EQ(log, (std::vector<std::string>{"loaded child", "loaded owner"}));
}

}  // namespace
}  // namespace dezede
