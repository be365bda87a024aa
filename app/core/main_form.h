#pragma once
// The program's one window: two phase labels with an arrow that marks the
// current phase, a progress bar, and the "Clear Locks" and "Cancel" buttons.

#include "app/core/controls.h"
#include "app/core/form.h"

namespace dezede::freebolt {

class TfrmVovazorad : public TForm {
public:
    explicit TfrmVovazorad(TComponent* owner = nullptr);

    TLabel* lblLocked;
    TImage* imgArrow;
    TLabel* lblAccess;
    TProgressBar* ProgressBar;
    TPngBitBtn* cmdVovazorad;
    TPngBitBtn* cmdCancel;
    TXPManifest* XPManifest1;

    void FormCreate();
    void FormActivate();
    void FormCloseQuery(bool& canClose);
    void cmdVovazoradClick();
    void cmdCancelClick();
};

// The main form, while it exists.
extern TfrmVovazorad* frmVovazorad;

}  // namespace dezede::freebolt
