#include "app/core/task_message.h"

#include <string>

#include "app/core/application.h"
#include "app/core/form_fonts.h"
#include "app/core/front_end.h"
#include "app/core/task_dialog.h"

namespace dezede::freebolt {

int32_t ShowTaskMessage(std::string_view instruction, std::string_view content, TMsgDlgType type,
                        int32_t helpContext, TMsgDlgButtons buttons) {
    if (helpContext > 0 && !(buttons & mbHelp)) buttons |= mbHelp;

    if (IsVistaOrLater()) {
        TTaskDialog dialog;
        dialog.Content = std::string(content);
        TTaskDialogCommonButtons common = 0;
        if (buttons & mbOK) common |= cbOK;
        if (buttons & mbYes) common |= cbYes;
        if (buttons & mbNo) common |= cbNo;
        if (buttons & mbCancel) common |= cbCancel;
        if (buttons & mbRetry) common |= cbRetry;
        if (buttons & mbAbort) common |= cbClose;
        dialog.CommonButtons = common;
        dialog.Title = Application().Title;
        switch (type) {
            case mtWarning: dialog.Icon = TTaskDialogIcon::tiWarning; break;
            case mtError: dialog.Icon = TTaskDialogIcon::tiError; break;
            case mtInformation: dialog.Icon = TTaskDialogIcon::tiInformation; break;
            case mtConfirmation: dialog.Icon = TTaskDialogIcon::tiQuestion; break;
            case mtCustom: dialog.Icon = TTaskDialogIcon::tiBlank; break;
        }
        dialog.Instruction = std::string(instruction);
        return dialog.Execute();
    }

    TMessageDialogRequest request;
    request.Text = std::string(instruction);
    if (!content.empty()) request.Text += "\r\r" + std::string(content);
    request.Type = type;
    request.Buttons = buttons;
    request.Caption = Application().Title;
    request.HelpContext = helpContext;
    request.Owner = Application().Handle();
    TFrontEnd* frontEnd = Application().FrontEnd();
    return frontEnd ? frontEnd->ShowMessageDialog(request) : mrNone;
}

}  // namespace dezede::freebolt
