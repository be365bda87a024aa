#include "app/core/main_block.h"

#include <memory>

#include "app/core/application.h"
#include "app/core/data_module.h"
#include "app/core/exit_status.h"
#include "app/core/form_fonts.h"
#include "app/core/front_end.h"
#include "app/core/main_form.h"

namespace dezede::freebolt {

namespace {

// Clears a program-wide pointer when its object goes.
template <class T>
struct TGlobalReset {
    T*& Global;
    ~TGlobalReset() { Global = nullptr; }
};

}  // namespace

int RunMainBlock(TFrontEnd& frontEnd, const TCommandLine& commandLine) {
    Application().Initialize(&frontEnd);
    Application().Title = "Quintora Freebolt";
    InitDefaultFont(frontEnd.ScreenFonts());
    DatabaseTooOld = false;

    // The form exists before the data module, and goes after it.
    auto form = std::make_unique<TfrmVovazorad>();
    frmVovazorad = form.get();
    TGlobalReset<TfrmVovazorad> formReset{frmVovazorad};
    auto dataModule = std::make_unique<TZurodoriVaroVev>(nullptr, commandLine.DataDirectory);

    int status = kExitOk;
    if (!DatabaseTooOld) status = frontEnd.Run(*form);
    dataModule.reset();
    return status;
}

}  // namespace dezede::freebolt
