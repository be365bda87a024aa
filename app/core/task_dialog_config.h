#pragma once
// The task dialog's configuration record, its flags, its notifications and the
// messages a callback may send to the open dialog. A front end's
// TaskDialogIndirect takes this record. Texts are UTF-16 and NUL-terminated;
// icons are integer resource identifiers.

#include <cstdint>

#include "app/core/message_dialog.h"

namespace dezede::freebolt {

using HRESULT = int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_INVALIDARG = static_cast<int32_t>(0x80070057u);

// The open dialog as its callback sees it: the target of the TDM_ messages.
class TTaskDialogWindow {
public:
    virtual ~TTaskDialogWindow() = default;
    virtual intptr_t SendMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
};

using TTaskDialogCallback = HRESULT (*)(TTaskDialogWindow* hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam,
                                       intptr_t lpRefData);

struct TTaskDialogButton {
    int32_t nButtonID = 0;
    const char16_t* pszButtonText = nullptr;
};

// The record's size as the dialog checks it.
inline constexpr uint32_t kTaskDialogConfigSize = 96;

struct TTaskDialogConfig {
    uint32_t cbSize = 0;
    THandle hwndParent = 0;
    THandle hInstance = 0;
    uint32_t dwFlags = 0;
    uint32_t dwCommonButtons = 0;
    const char16_t* pszWindowTitle = nullptr;
    intptr_t pszMainIcon = 0;  // integer resource identifier, 0 for none
    const char16_t* pszMainInstruction = nullptr;
    const char16_t* pszContent = nullptr;
    uint32_t cButtons = 0;
    const TTaskDialogButton* pButtons = nullptr;
    int32_t nDefaultButton = 0;
    uint32_t cRadioButtons = 0;
    const TTaskDialogButton* pRadioButtons = nullptr;
    int32_t nDefaultRadioButton = 0;
    const char16_t* pszVerificationText = nullptr;
    const char16_t* pszExpandedInformation = nullptr;
    const char16_t* pszExpandedControlText = nullptr;
    const char16_t* pszCollapsedControlText = nullptr;
    intptr_t pszFooterIcon = 0;
    const char16_t* pszFooter = nullptr;
    TTaskDialogCallback pfCallback = nullptr;
    intptr_t lpCallbackData = 0;
    uint32_t cxWidth = 0;
};

// dwFlags
inline constexpr uint32_t TDF_ENABLE_HYPERLINKS = 0x0001;
inline constexpr uint32_t TDF_USE_HICON_MAIN = 0x0002;
inline constexpr uint32_t TDF_USE_HICON_FOOTER = 0x0004;
inline constexpr uint32_t TDF_ALLOW_DIALOG_CANCELLATION = 0x0008;
inline constexpr uint32_t TDF_USE_COMMAND_LINKS = 0x0010;
inline constexpr uint32_t TDF_USE_COMMAND_LINKS_NO_ICON = 0x0020;
inline constexpr uint32_t TDF_EXPAND_FOOTER_AREA = 0x0040;
inline constexpr uint32_t TDF_EXPANDED_BY_DEFAULT = 0x0080;
inline constexpr uint32_t TDF_VERIFICATION_FLAG_CHECKED = 0x0100;
inline constexpr uint32_t TDF_SHOW_PROGRESS_BAR = 0x0200;
inline constexpr uint32_t TDF_SHOW_MARQUEE_PROGRESS_BAR = 0x0400;
inline constexpr uint32_t TDF_CALLBACK_TIMER = 0x0800;
inline constexpr uint32_t TDF_POSITION_RELATIVE_TO_WINDOW = 0x1000;
inline constexpr uint32_t TDF_RTL_LAYOUT = 0x2000;
inline constexpr uint32_t TDF_NO_DEFAULT_RADIO_BUTTON = 0x4000;
inline constexpr uint32_t TDF_CAN_BE_MINIMIZED = 0x8000;

// dwCommonButtons
inline constexpr uint32_t TDCBF_OK_BUTTON = 0x01;
inline constexpr uint32_t TDCBF_YES_BUTTON = 0x02;
inline constexpr uint32_t TDCBF_NO_BUTTON = 0x04;
inline constexpr uint32_t TDCBF_CANCEL_BUTTON = 0x08;
inline constexpr uint32_t TDCBF_RETRY_BUTTON = 0x10;
inline constexpr uint32_t TDCBF_CLOSE_BUTTON = 0x20;

// Identifiers of the common buttons, as the dialog returns them.
inline constexpr int32_t IDOK = 1;
inline constexpr int32_t IDCANCEL = 2;
inline constexpr int32_t IDRETRY = 4;
inline constexpr int32_t IDYES = 6;
inline constexpr int32_t IDNO = 7;
inline constexpr int32_t IDCLOSE = 8;

// Icon resource identifiers.
inline constexpr intptr_t kIconInformation = 81;
inline constexpr intptr_t kIconWarning = 84;
inline constexpr intptr_t kIconQuestion = 99;
inline constexpr intptr_t kIconError = 98;

// Notifications (the callback's msg).
inline constexpr uint32_t TDN_CREATED = 0;
inline constexpr uint32_t TDN_NAVIGATED = 1;
inline constexpr uint32_t TDN_BUTTON_CLICKED = 2;
inline constexpr uint32_t TDN_HYPERLINK_CLICKED = 3;  // lParam: const char16_t* link
inline constexpr uint32_t TDN_TIMER = 4;              // wParam: milliseconds since creation or last reset
inline constexpr uint32_t TDN_DESTROYED = 5;
inline constexpr uint32_t TDN_RADIO_BUTTON_CLICKED = 6;
inline constexpr uint32_t TDN_DIALOG_CONSTRUCTED = 7;
inline constexpr uint32_t TDN_VERIFICATION_CLICKED = 8;
inline constexpr uint32_t TDN_HELP = 9;
inline constexpr uint32_t TDN_EXPANDO_BUTTON_CLICKED = 10;

// Messages to the open dialog.
inline constexpr uint32_t TDM_CLICK_BUTTON = 0x466;             // wParam: button identifier
inline constexpr uint32_t TDM_SET_MARQUEE_PROGRESS_BAR = 0x467;  // wParam: marquee on
inline constexpr uint32_t TDM_SET_PROGRESS_BAR_STATE = 0x468;    // wParam: PBST_*
inline constexpr uint32_t TDM_SET_PROGRESS_BAR_RANGE = 0x469;    // lParam: low word min, high word max
inline constexpr uint32_t TDM_SET_PROGRESS_BAR_POS = 0x46A;      // wParam: position; returns the old one
inline constexpr uint32_t TDM_SET_PROGRESS_BAR_MARQUEE = 0x46B;  // wParam: running
inline constexpr uint32_t TDM_CLICK_RADIO_BUTTON = 0x46E;        // wParam: radio identifier
inline constexpr uint32_t TDM_CLICK_VERIFICATION = 0x471;        // wParam: checked

inline constexpr uintptr_t PBST_NORMAL = 1;
inline constexpr uintptr_t PBST_ERROR = 2;
inline constexpr uintptr_t PBST_PAUSED = 3;

inline constexpr intptr_t MakeLParam(uint32_t low, uint32_t high) {
    return static_cast<intptr_t>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}

}  // namespace dezede::freebolt
