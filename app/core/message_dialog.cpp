#include "app/core/message_dialog.h"

namespace dezede::freebolt {

TMsgDlgButtons DefaultMessageButton(TMsgDlgButtons buttons) {
    for (TMsgDlgButtons b : {mbOK, mbYes, mbRetry})
        if (buttons & b) return b;
    return 0;
}

int32_t CancelMessageResult(TMsgDlgButtons buttons) {
    if (buttons & mbCancel) return mrCancel;
    if (buttons & mbNo) return mrNo;
    if (buttons & mbOK) return mrOk;
    return mrCancel;
}

const char* MessageTypeName(TMsgDlgType type) {
    switch (type) {
        case mtWarning: return "Warning";
        case mtError: return "Error";
        case mtInformation: return "Information";
        case mtConfirmation: return "Confirm";
        default: return "";
    }
}

}  // namespace dezede::freebolt
