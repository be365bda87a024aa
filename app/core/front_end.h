#pragma once
// What the program needs of a front end (the Qt one or the terminal one):
// the screen's fonts, the task dialog, the standard message dialog, and a
// message loop that shows the main form until it closes.

#include <cstdint>

#include "app/core/message_dialog.h"
#include "app/core/screen_fonts.h"
#include "app/core/task_dialog_config.h"

namespace dezede::freebolt {

class TForm;

class TFrontEnd {
public:
    virtual ~TFrontEnd() = default;

    virtual const TScreenFonts& ScreenFonts() const = 0;

    // Whether TaskDialogIndirect is available.
    virtual bool HasTaskDialog() const = 0;
    // Shows the task dialog the record describes and waits for it to close.
    // pnButton, pnRadioButton and pfVerificationFlagChecked may be null.
    virtual HRESULT TaskDialogIndirect(const TTaskDialogConfig* config, int32_t* pnButton, int32_t* pnRadioButton,
                                       int32_t* pfVerificationFlagChecked) = 0;

    // Shows the standard message dialog modally; returns its modal result.
    virtual int32_t ShowMessageDialog(const TMessageDialogRequest& request) = 0;

    // The main window's handle (0 while none is shown).
    virtual THandle MainWindowHandle() const = 0;

    // Shows the main form and runs the message loop until the form closes or
    // the application is asked to terminate. Returns the process's exit status.
    virtual int Run(TForm& mainForm) = 0;
    // The application asked to end: leave the message loop when it runs.
    virtual void Terminate() {}
};

}  // namespace dezede::freebolt
