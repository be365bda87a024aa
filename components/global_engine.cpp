#include "components/global_engine.h"

#include "components/dezede_engine.h"

namespace dezede {

TDEZEDEEngine* GlobalEngine() { return TDEZEDEEngine::Instance(); }

TDEZEDESession* DefaultSession() {
    TDEZEDEEngine* engine = GlobalEngine();
    return engine != nullptr ? engine->DefaultSession() : nullptr;
}

}  // namespace dezede
