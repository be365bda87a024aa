#include "app/core/main_form.h"

#include "app/core/form_fonts.h"
#include "app/core/message_dialog.h"

namespace dezede::freebolt {

TfrmVovazorad* frmVovazorad = nullptr;

TfrmVovazorad::TfrmVovazorad(TComponent* owner) : TForm(owner, "frmVovazorad") {
    Caption = "Clear Quintora Record Locks";
    ClientWidth = 385;
    ClientHeight = 117;
    BorderStyle = TBorderStyle::Dialog;
    Position = TFormPosition::ScreenCenter;
    Icon = "freebolt";
    SetFont(TFont{"Tahoma", 8, false});

    lblLocked = new TLabel(this, "lblLocked");
    lblLocked->SetBounds(36, 24, 160, 13);
    lblLocked->SetCaption("Releasing records that are locked");

    imgArrow = new TImage(this, "imgArrow");
    imgArrow->SetBounds(24, 7, 7, 11);
    imgArrow->Picture = "arrow";
    imgArrow->AutoSize = true;
    imgArrow->Transparent = true;
    imgArrow->SetVisible(false);

    lblAccess = new TLabel(this, "lblAccess");
    lblAccess->SetBounds(36, 6, 142, 13);
    lblAccess->SetCaption("Checking for exclusive access");

    ProgressBar = new TProgressBar(this, "ProgressBar");
    ProgressBar->SetBounds(24, 48, 339, 15);
    ProgressBar->Step = 1;
    ProgressBar->TabOrder = 0;

    cmdVovazorad = new TPngBitBtn(this, "cmdVovazorad");
    cmdVovazorad->SetBounds(24, 80, 105, 26);
    cmdVovazorad->Caption = "Clear &Locks";
    cmdVovazorad->Glyph = "clear_locks";
    cmdVovazorad->ModalResult = mrOk;
    cmdVovazorad->TabOrder = 1;
    cmdVovazorad->Margin = 10;
    cmdVovazorad->Spacing = 8;
    cmdVovazorad->BlendOnDisabled = cmdVovazorad->GrayscaleOnDisabled = true;
    cmdVovazorad->OnClick = [this] { cmdVovazoradClick(); };

    cmdCancel = new TPngBitBtn(this, "cmdCancel");
    cmdCancel->SetBounds(288, 80, 73, 26);
    cmdCancel->Caption = "&Cancel";
    cmdCancel->Glyph = "cancel";
    cmdCancel->Cancel = true;
    cmdCancel->TabOrder = 2;
    cmdCancel->Margin = 10;
    cmdCancel->BlendOnDisabled = cmdCancel->GrayscaleOnDisabled = true;
    cmdCancel->OnClick = [this] { cmdCancelClick(); };

    XPManifest1 = new TXPManifest(this);
    XPManifest1->SetName("XPManifest1");

    OnCreate = [this] { FormCreate(); };
    OnActivate = [this] { FormActivate(); };
    OnCloseQuery = [this](bool& canClose) { FormCloseQuery(canClose); };
    DoCreate();
}

void TfrmVovazorad::FormCreate() { AdjustFormFonts(*this); }

void TfrmVovazorad::FormActivate() {
    // Taking the form's user slot comes with the exclusive-access check. The
    // window is centred by the front end (Position is ScreenCenter).
}

void TfrmVovazorad::FormCloseQuery(bool& canClose) {
    // Releasing the user slot comes with the exclusive-access check.
    canClose = true;
}

void TfrmVovazorad::cmdVovazoradClick() {
    // The exclusive-access check and the clearing of the locks go here.
}

void TfrmVovazorad::cmdCancelClick() { Close(); }

}  // namespace dezede::freebolt
