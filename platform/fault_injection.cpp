#include "platform/fault_injection.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace dezede {

namespace {

struct TFaultState {
    std::mutex Mutex;
    std::vector<TFaultRule> Rules;
    std::atomic<bool> Armed{false};
};

TFaultState& State() {
    static TFaultState state;
    return state;
}

}  // namespace

void TFaultInjector::Arm(const TFaultRule& rule) {
    auto& s = State();
    std::lock_guard lock(s.Mutex);
    s.Rules.push_back(rule);
    s.Armed.store(true, std::memory_order_release);
}

void TFaultInjector::Reset() {
    auto& s = State();
    std::lock_guard lock(s.Mutex);
    s.Rules.clear();
    s.Armed.store(false, std::memory_order_release);
}

bool TFaultInjector::Fire(TFault kind, const std::string& path) {
    auto& s = State();
    if (!s.Armed.load(std::memory_order_relaxed)) return false;
    std::lock_guard lock(s.Mutex);
    for (auto it = s.Rules.begin(); it != s.Rules.end(); ++it) {
        if (it->Kind != kind) continue;
        if (!it->PathPart.empty() && path.find(it->PathPart) == std::string::npos) continue;
        if (it->Skip > 0) {
            --it->Skip;
            return false;
        }
        if (it->Times > 0 && --it->Times == 0) s.Rules.erase(it);
        return true;
    }
    return false;
}

}  // namespace dezede
