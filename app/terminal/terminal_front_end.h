#pragma once
// The terminal front end: the main form as text (the phase lines with a
// marker at the current phase, a progress bar), its buttons and every dialog
// as a question answered on the input stream. Answering with defaults (for
// scripts) takes each dialog's default button without reading, and presses
// the form's default button once.

#include <iosfwd>
#include <string>
#include <vector>

#include "app/core/form.h"
#include "app/core/front_end.h"

namespace dezede::freebolt {

class TTerminalFrontEnd : public TFrontEnd, private TFormView {
public:
    // `ansi`: mark bold text with terminal escape sequences.
    TTerminalFrontEnd(std::istream& in, std::ostream& out, bool answerWithDefaults, bool ansi = false);

    const TScreenFonts& ScreenFonts() const override;
    bool HasTaskDialog() const override { return true; }
    HRESULT TaskDialogIndirect(const TTaskDialogConfig* config, int32_t* pnButton, int32_t* pnRadioButton,
                               int32_t* pfVerificationFlagChecked) override;
    int32_t ShowMessageDialog(const TMessageDialogRequest& request) override;
    THandle MainWindowHandle() const override { return 0; }
    int Run(TForm& mainForm) override;

    struct TChoice {
        std::string Caption;  // as shown, access-key marks removed
        char Key;             // the letter that picks it, or 0
        int32_t Result;
    };
    // Shows the choices and reads one; the default when reading gives nothing.
    int32_t Ask(const std::vector<TChoice>& choices, int32_t defaultResult);

private:
    void FormChanged() override;
    void Repaint() override;
    void FormClosed() override {}
    void PrintForm();
    void PrintProgress();
    std::string Bold(const std::string& text) const;

    std::istream& In_;
    std::ostream& Out_;
    bool Defaults_;
    bool Ansi_;
    TForm* Form_ = nullptr;
    int LastPosition_ = -1;
};

}  // namespace dezede::freebolt
