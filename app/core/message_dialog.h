#pragma once
// The standard message dialog: its types, its buttons as bits of a set, the
// modal results it returns, and the request that a front end shows.

#include <cstdint>
#include <string>

namespace dezede::freebolt {

using THandle = intptr_t;  // an opaque window handle; 0 for none

enum TMsgDlgType : int32_t { mtWarning = 0, mtError = 1, mtInformation = 2, mtConfirmation = 3, mtCustom = 4 };

using TMsgDlgButtons = uint16_t;
inline constexpr TMsgDlgButtons mbYes = 0x1;
inline constexpr TMsgDlgButtons mbNo = 0x2;
inline constexpr TMsgDlgButtons mbOK = 0x4;
inline constexpr TMsgDlgButtons mbCancel = 0x8;
inline constexpr TMsgDlgButtons mbAbort = 0x10;
inline constexpr TMsgDlgButtons mbRetry = 0x20;
inline constexpr TMsgDlgButtons mbIgnore = 0x40;
inline constexpr TMsgDlgButtons mbAll = 0x80;
inline constexpr TMsgDlgButtons mbNoToAll = 0x100;
inline constexpr TMsgDlgButtons mbYesToAll = 0x200;
inline constexpr TMsgDlgButtons mbHelp = 0x400;

// Modal results; the common task-dialog buttons return the same numbers.
inline constexpr int32_t mrNone = 0;
inline constexpr int32_t mrOk = 1;
inline constexpr int32_t mrCancel = 2;
inline constexpr int32_t mrAbort = 3;
inline constexpr int32_t mrRetry = 4;
inline constexpr int32_t mrIgnore = 5;
inline constexpr int32_t mrYes = 6;
inline constexpr int32_t mrNo = 7;
inline constexpr int32_t mrAll = 8;
inline constexpr int32_t mrNoToAll = 9;
inline constexpr int32_t mrYesToAll = 10;

struct TMessageDialogButton {
    TMsgDlgButtons Button;
    const char* Caption;  // with its access key
    int32_t ModalResult;  // mrNone for Help, which does not close the dialog
};

// The buttons in the order the dialog shows them.
inline constexpr TMessageDialogButton kMessageDialogButtons[] = {
    {mbYes, "&Yes", mrYes},         {mbNo, "&No", mrNo},          {mbOK, "OK", mrOk},
    {mbCancel, "Cancel", mrCancel}, {mbAbort, "&Abort", mrAbort}, {mbRetry, "&Retry", mrRetry},
    {mbIgnore, "&Ignore", mrIgnore}, {mbAll, "&All", mrAll},      {mbNoToAll, "N&o to All", mrNoToAll},
    {mbYesToAll, "Yes to &All", mrYesToAll}, {mbHelp, "&Help", mrNone},
};

// The button Enter presses: OK, else Yes, else Retry (0 when none of them is shown).
TMsgDlgButtons DefaultMessageButton(TMsgDlgButtons buttons);
// The result of closing the dialog without a button: Cancel, else No, else OK, else mrCancel.
int32_t CancelMessageResult(TMsgDlgButtons buttons);
// The title line that goes with a type when a dialog has no caption of its own.
const char* MessageTypeName(TMsgDlgType type);

struct TMessageDialogRequest {
    std::string Text;  // carriage returns separate its paragraphs
    TMsgDlgType Type = mtInformation;
    TMsgDlgButtons Buttons = mbOK;
    std::string Caption;
    int32_t HelpContext = 0;
    THandle Owner = 0;  // the dialog is centred on this window
};

}  // namespace dezede::freebolt
