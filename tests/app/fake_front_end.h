#pragma once
// A front end that records what the program asks it to show: a copy of each
// task-dialog record and each message-dialog request, answered by a script.

#include <functional>
#include <string>
#include <vector>

#include "app/core/application.h"
#include "app/core/front_end.h"

namespace dezede::freebolt::test {

struct TRecordedButton {
    int32_t Id;
    std::u16string Text;
    bool operator==(const TRecordedButton&) const = default;
};

// The record with its texts copied out (null texts stay distinguishable).
struct TRecordedConfig {
    TTaskDialogConfig Raw;
    std::u16string Title, Instruction, Content, Footer, Expanded, ExpandText, CollapseText, Verification;
    bool HasTitle = false, HasInstruction = false, HasContent = false, HasFooter = false, HasExpanded = false,
         HasExpandText = false, HasCollapseText = false, HasVerification = false;
    std::vector<TRecordedButton> Buttons, Radios;
};

class TFakeFrontEnd : public TFrontEnd {
public:
    class TFonts : public TScreenFonts {
    public:
        std::vector<std::string> List;
        std::vector<std::string> Families() const override { return List; }
    } Fonts;
    bool TaskDialogAvailable = true;
    THandle Handle = 0x1234;
    std::vector<TRecordedConfig> Configs;
    std::vector<TMessageDialogRequest> Requests;
    int32_t ButtonAnswer = IDOK, RadioAnswer = 0, VerifyAnswer = 0;
    int32_t MessageAnswer = mrOk;
    // Runs while the task dialog is "open", with the record and the dialog window.
    std::function<void(const TTaskDialogConfig&, TTaskDialogWindow&)> Script;
    // Messages the callback sent to the dialog: (msg, wParam, lParam).
    struct TSent { uint32_t Msg; uintptr_t WParam; intptr_t LParam; };
    std::vector<TSent> Sent;

    const TScreenFonts& ScreenFonts() const override { return Fonts; }
    bool HasTaskDialog() const override { return TaskDialogAvailable; }
    THandle MainWindowHandle() const override { return Handle; }
    int Run(TForm&) override { return 0; }

    HRESULT TaskDialogIndirect(const TTaskDialogConfig* c, int32_t* button, int32_t* radio, int32_t* verify) override {
        TRecordedConfig r;
        r.Raw = *c;
        auto copy = [](const char16_t* p, std::u16string& out, bool& has) {
            has = p != nullptr;
            if (p) out = p;
        };
        copy(c->pszWindowTitle, r.Title, r.HasTitle);
        copy(c->pszMainInstruction, r.Instruction, r.HasInstruction);
        copy(c->pszContent, r.Content, r.HasContent);
        copy(c->pszFooter, r.Footer, r.HasFooter);
        copy(c->pszExpandedInformation, r.Expanded, r.HasExpanded);
        copy(c->pszExpandedControlText, r.ExpandText, r.HasExpandText);
        copy(c->pszCollapsedControlText, r.CollapseText, r.HasCollapseText);
        copy(c->pszVerificationText, r.Verification, r.HasVerification);
        for (uint32_t i = 0; i < c->cButtons; ++i) r.Buttons.push_back({c->pButtons[i].nButtonID, c->pButtons[i].pszButtonText});
        for (uint32_t i = 0; i < c->cRadioButtons; ++i)
            r.Radios.push_back({c->pRadioButtons[i].nButtonID, c->pRadioButtons[i].pszButtonText});
        Configs.push_back(r);
        if (Script) {
            TWindow w(*this);
            Script(*c, w);
        }
        if (button) *button = ButtonAnswer;
        if (radio) *radio = RadioAnswer;
        if (verify) *verify = VerifyAnswer;
        return S_OK;
    }

    int32_t ShowMessageDialog(const TMessageDialogRequest& request) override {
        Requests.push_back(request);
        return MessageAnswer;
    }

private:
    class TWindow : public TTaskDialogWindow {
    public:
        explicit TWindow(TFakeFrontEnd& owner) : Owner_(owner) {}
        intptr_t SendMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
            Owner_.Sent.push_back({msg, wParam, lParam});
            return 0;
        }

    private:
        TFakeFrontEnd& Owner_;
    };
};

// Installs a fake front end as the application's for the life of the object.
struct TFakeApplication {
    TFakeFrontEnd FrontEnd;
    TFakeApplication() {
        Application().Initialize(&FrontEnd);
        Application().Title = "Quintora Freebolt";
    }
    ~TFakeApplication() { Application().Initialize(nullptr); }
};

}  // namespace dezede::freebolt::test
