#pragma once
// TTaskDialog: a component that describes a task dialog through its
// properties and shows it with Execute, which builds the configuration record
// for TaskDialogIndirect and turns the dialog's notifications into events.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "components/component.h"
#include "app/core/task_dialog_config.h"

namespace dezede::freebolt {

using TTaskDialogCommonButtons = uint32_t;
inline constexpr TTaskDialogCommonButtons cbOK = 0x1;
inline constexpr TTaskDialogCommonButtons cbYes = 0x2;
inline constexpr TTaskDialogCommonButtons cbNo = 0x4;
inline constexpr TTaskDialogCommonButtons cbCancel = 0x8;
inline constexpr TTaskDialogCommonButtons cbRetry = 0x10;
inline constexpr TTaskDialogCommonButtons cbClose = 0x20;

using TTaskDialogOptions = uint32_t;
inline constexpr TTaskDialogOptions doHyperlinks = 0x1;
inline constexpr TTaskDialogOptions doCommandLinks = 0x2;
inline constexpr TTaskDialogOptions doCommandLinksNoIcon = 0x4;
inline constexpr TTaskDialogOptions doExpandedDefault = 0x8;
inline constexpr TTaskDialogOptions doExpandedFooter = 0x10;
inline constexpr TTaskDialogOptions doAllowMinimize = 0x20;
inline constexpr TTaskDialogOptions doVerifyChecked = 0x40;
inline constexpr TTaskDialogOptions doProgressBar = 0x80;
inline constexpr TTaskDialogOptions doProgressBarMarquee = 0x100;
inline constexpr TTaskDialogOptions doTimer = 0x200;

enum class TTaskDialogIcon { tiBlank, tiInformation, tiWarning, tiQuestion, tiError, tiShield };
enum class TTaskDialogFooterIcon { tfiBlank, tfiWarning, tfiQuestion, tfiError };
enum class TTaskDialogProgressState { psNormal, psError, psPaused };

// Every text handed to the dialog fits a buffer of this many UTF-16 units,
// terminator included; longer texts are cut.
inline constexpr size_t kTaskDialogTextBuffer = 512;

class TTaskDialog : public TComponent {
public:
    explicit TTaskDialog(TComponent* owner = nullptr);

    std::vector<std::string> CustomButtons;
    std::vector<std::string> RadioButtons;
    TTaskDialogCommonButtons CommonButtons = 0;
    int32_t DefaultButton = 0;
    int32_t DefaultRadioButton = 0;
    std::string ExpandedText;
    std::string Footer;
    TTaskDialogFooterIcon FooterIcon = TTaskDialogFooterIcon::tfiBlank;
    TTaskDialogIcon Icon = TTaskDialogIcon::tiBlank;
    std::string Title;
    std::string Instruction;
    std::string Content;
    std::string ExpandControlText;
    std::string CollapsControlText;
    TTaskDialogOptions Options = 0;
    std::string VerificationText;
    int32_t ProgressBarMin = 0;
    int32_t ProgressBarMax = 100;

    std::function<void(TTaskDialog& sender)> OnDialogCreated;
    std::function<void(TTaskDialog& sender, bool& canClose)> OnDialogClose;
    std::function<void(TTaskDialog& sender, int32_t buttonID)> OnDialogButtonClick;
    std::function<void(TTaskDialog& sender, int32_t buttonID)> OnDialogRadioClick;
    std::function<void(TTaskDialog& sender, const std::string& href)> OnDialogHyperlinkClick;
    std::function<void(TTaskDialog& sender)> OnDialogTimer;
    std::function<void(TTaskDialog& sender, bool checked)> OnDialogVerifyClick;
    std::function<void(TTaskDialog& sender, int32_t& pos, TTaskDialogProgressState& state)> OnDialogProgress;

    // Shows the dialog; returns the identifier of the button that closed it,
    // or -1 when no task dialog can be shown.
    int32_t Execute();

    // Results of the last Execute.
    int32_t RadioButton() const { return RadioButton_; }
    bool VerificationChecked() const { return VerificationChecked_; }
    // The open dialog (null when none is open), for the events.
    TTaskDialogWindow* Handle() const { return Handle_; }

    // The notification handler that Execute passes as the callback, with the
    // component as its reference data.
    static HRESULT Callback(TTaskDialogWindow* hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam,
                            intptr_t lpRefData);

private:
    HRESULT Notify(TTaskDialogWindow* hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam);

    int32_t RadioButton_ = 0;
    bool VerificationChecked_ = false;
    TTaskDialogWindow* Handle_ = nullptr;
};

// The text as the dialog receives it: converted to UTF-16 and cut to 511 units.
std::u16string TaskDialogText(const std::string& text);

}  // namespace dezede::freebolt
