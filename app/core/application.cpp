#include "app/core/application.h"

#include "app/core/front_end.h"

namespace dezede::freebolt {

void TApplication::Initialize(TFrontEnd* frontEnd) {
    FrontEnd_ = frontEnd;
    Terminated_ = false;
}

void TApplication::Terminate() {
    Terminated_ = true;
    if (FrontEnd_) FrontEnd_->Terminate();
}

THandle TApplication::Handle() const { return FrontEnd_ ? FrontEnd_->MainWindowHandle() : 0; }

TApplication& Application() {
    static TApplication app;
    return app;
}

}  // namespace dezede::freebolt
