#include "app/core/task_dialog.h"

#include <memory>

#include "app/core/ansi_text.h"
#include "app/core/application.h"
#include "app/core/front_end.h"
#include "platform/os_version.h"

namespace dezede::freebolt {

std::u16string TaskDialogText(const std::string& text) {
    std::u16string wide = AnsiToWide(text);
    if (wide.size() > kTaskDialogTextBuffer - 1) wide.resize(kTaskDialogTextBuffer - 1);
    return wide;
}

TTaskDialog::TTaskDialog(TComponent* owner) : TComponent(owner) {}

int32_t TTaskDialog::Execute() {
    if (OSMajorVersion() < 6) return -1;
    TFrontEnd* frontEnd = Application().FrontEnd();
    if (!frontEnd || !frontEnd->HasTaskDialog()) return -1;

    TTaskDialogConfig config{};
    config.cbSize = kTaskDialogConfigSize;
    config.hwndParent = Application().Handle();
    config.hInstance = 0;

    // Buffers that outlive the call: every text, and the button arrays.
    std::vector<std::u16string> customTexts, radioTexts;
    std::vector<TTaskDialogButton> customButtons, radioButtons;
    customTexts.reserve(CustomButtons.size());
    for (size_t i = 0; i < CustomButtons.size(); ++i) {
        customTexts.push_back(TaskDialogText(CustomButtons[i]));
        customButtons.push_back({static_cast<int32_t>(100 + i), customTexts.back().c_str()});
    }
    if (!customButtons.empty()) {
        config.cButtons = static_cast<uint32_t>(customButtons.size());
        config.pButtons = customButtons.data();
    }
    radioTexts.reserve(RadioButtons.size());
    for (size_t i = 0; i < RadioButtons.size(); ++i) {
        radioTexts.push_back(TaskDialogText(RadioButtons[i]));
        radioButtons.push_back({static_cast<int32_t>(200 + i), radioTexts.back().c_str()});
    }
    if (!radioButtons.empty()) {
        config.cRadioButtons = static_cast<uint32_t>(radioButtons.size());
        config.pRadioButtons = radioButtons.data();
    }

    struct TText {
        const std::string& Source;
        const char16_t** Field;
        std::u16string Buffer;
    };
    TText texts[] = {
        {Title, &config.pszWindowTitle, {}},
        {Instruction, &config.pszMainInstruction, {}},
        {Content, &config.pszContent, {}},
        {Footer, &config.pszFooter, {}},
        {ExpandedText, &config.pszExpandedInformation, {}},
        {ExpandControlText, &config.pszExpandedControlText, {}},
        {CollapsControlText, &config.pszCollapsedControlText, {}},
        {VerificationText, &config.pszVerificationText, {}},
    };
    for (TText& t : texts) {
        if (t.Source.empty()) continue;
        t.Buffer = TaskDialogText(t.Source);
        *t.Field = t.Buffer.c_str();
    }

    uint32_t common = 0;
    if (CommonButtons & cbOK) common |= TDCBF_OK_BUTTON;
    if (CommonButtons & cbYes) common |= TDCBF_YES_BUTTON;
    if (CommonButtons & cbNo) common |= TDCBF_NO_BUTTON;
    if (CommonButtons & cbCancel) common |= TDCBF_CANCEL_BUTTON;
    if (CommonButtons & cbRetry) common |= TDCBF_RETRY_BUTTON;
    if (CommonButtons & cbClose) common |= TDCBF_CLOSE_BUTTON;
    config.dwCommonButtons = common;

    uint32_t flags = 0;
    if (Options & doCommandLinks) flags = TDF_USE_COMMAND_LINKS;
    if (Options & doCommandLinksNoIcon) flags = TDF_USE_COMMAND_LINKS_NO_ICON;
    if (Options & doHyperlinks) flags |= TDF_ENABLE_HYPERLINKS;
    if (Options & doExpandedDefault) flags |= TDF_EXPANDED_BY_DEFAULT;
    if (Options & doExpandedFooter) flags |= TDF_EXPAND_FOOTER_AREA;
    if (Options & doAllowMinimize) flags |= TDF_CAN_BE_MINIMIZED;
    if (Options & doVerifyChecked) flags |= TDF_VERIFICATION_FLAG_CHECKED;
    if (Options & doProgressBar) flags |= TDF_SHOW_PROGRESS_BAR;
    if (Options & doProgressBarMarquee) flags |= TDF_SHOW_MARQUEE_PROGRESS_BAR;
    if (Options & (doTimer | doProgressBar | doProgressBarMarquee)) flags |= TDF_CALLBACK_TIMER;
    flags |= TDF_POSITION_RELATIVE_TO_WINDOW;
    config.dwFlags = flags;

    switch (Icon) {
        case TTaskDialogIcon::tiInformation: config.pszMainIcon = kIconInformation; break;
        case TTaskDialogIcon::tiWarning: config.pszMainIcon = kIconWarning; break;
        case TTaskDialogIcon::tiQuestion: config.pszMainIcon = kIconQuestion; break;
        case TTaskDialogIcon::tiError: config.pszMainIcon = kIconError; break;
        case TTaskDialogIcon::tiBlank:
        case TTaskDialogIcon::tiShield: break;
    }
    switch (FooterIcon) {
        case TTaskDialogFooterIcon::tfiWarning: config.pszFooterIcon = kIconWarning; break;
        case TTaskDialogFooterIcon::tfiQuestion: config.pszFooterIcon = kIconQuestion; break;
        case TTaskDialogFooterIcon::tfiError: config.pszFooterIcon = kIconError; break;
        case TTaskDialogFooterIcon::tfiBlank: break;
    }

    config.pfCallback = &TTaskDialog::Callback;
    config.lpCallbackData = reinterpret_cast<intptr_t>(this);
    config.nDefaultButton = DefaultButton;
    config.nDefaultRadioButton = DefaultRadioButton;

    int32_t button = 0, radio = 0, verify = 0;
    frontEnd->TaskDialogIndirect(&config, &button, &radio, &verify);
    Handle_ = nullptr;
    RadioButton_ = radio;
    VerificationChecked_ = verify != 0;
    return button;
}

HRESULT TTaskDialog::Callback(TTaskDialogWindow* hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam,
                              intptr_t lpRefData) {
    auto* self = reinterpret_cast<TTaskDialog*>(lpRefData);
    return self ? self->Notify(hwnd, msg, wParam, lParam) : S_OK;
}

HRESULT TTaskDialog::Notify(TTaskDialogWindow* hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    Handle_ = hwnd;
    switch (msg) {
        case TDN_CREATED:
            if (OnDialogCreated) OnDialogCreated(*this);
            // The range is set whenever the dialog has a progress bar, so that
            // ProgressBarMin and ProgressBarMax always take effect.
            if ((Options & doProgressBar) && hwnd)
                hwnd->SendMessage(TDM_SET_PROGRESS_BAR_RANGE, 0,
                                  MakeLParam(static_cast<uint32_t>(ProgressBarMin),
                                             static_cast<uint32_t>(ProgressBarMax)));
            return S_OK;
        case TDN_BUTTON_CLICKED: {
            if (OnDialogButtonClick) OnDialogButtonClick(*this, static_cast<int32_t>(wParam));
            if (OnDialogClose) {
                bool canClose = true;
                OnDialogClose(*this, canClose);
                return canClose ? S_OK : S_FALSE;
            }
            return S_OK;
        }
        case TDN_HYPERLINK_CLICKED:
            if (OnDialogHyperlinkClick) {
                const auto* link = reinterpret_cast<const char16_t*>(lParam);
                OnDialogHyperlinkClick(*this, link ? WideToAnsi(link) : std::string());
            }
            return S_OK;
        case TDN_TIMER:
            if (OnDialogTimer) OnDialogTimer(*this);
            if (OnDialogProgress) {
                int32_t pos = 0;
                TTaskDialogProgressState state = TTaskDialogProgressState::psNormal;
                OnDialogProgress(*this, pos, state);
                if (hwnd) {
                    hwnd->SendMessage(TDM_SET_PROGRESS_BAR_POS, static_cast<uintptr_t>(pos), 0);
                    uintptr_t st = state == TTaskDialogProgressState::psError    ? PBST_ERROR
                                   : state == TTaskDialogProgressState::psPaused ? PBST_PAUSED
                                                                                 : PBST_NORMAL;
                    hwnd->SendMessage(TDM_SET_PROGRESS_BAR_STATE, st, 0);
                }
            }
            return S_OK;
        case TDN_RADIO_BUTTON_CLICKED:
            if (OnDialogRadioClick) OnDialogRadioClick(*this, static_cast<int32_t>(wParam));
            return S_OK;
        case TDN_VERIFICATION_CLICKED:
            if (OnDialogVerifyClick) OnDialogVerifyClick(*this, wParam != 0);
            return S_OK;
        default:
            return S_OK;
    }
}

}  // namespace dezede::freebolt
