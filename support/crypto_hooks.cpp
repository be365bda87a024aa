#include "support/crypto_hooks.h"

#include <mutex>

namespace dezede {

namespace {
std::mutex gHooksMutex;
std::shared_ptr<const TCryptoHooks> gHooks;
}  // namespace

void SetCryptoHooks(std::shared_ptr<const TCryptoHooks> hooks) {
    std::lock_guard lock(gHooksMutex);
    gHooks = std::move(hooks);
}

std::shared_ptr<const TCryptoHooks> CurrentCryptoHooks() {
    std::lock_guard lock(gHooksMutex);
    return gHooks;
}

}  // namespace dezede
