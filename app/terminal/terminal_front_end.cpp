#include "app/terminal/terminal_front_end.h"

#include <algorithm>
#include <cctype>
#include <istream>
#include <ostream>

#include "app/core/ansi_text.h"
#include "app/core/application.h"
#include "app/core/exit_status.h"

namespace dezede::freebolt {

namespace {

class TNoFonts : public TScreenFonts {
public:
    std::vector<std::string> Families() const override { return {}; }
};

std::string Text(const char16_t* wide) {
    return wide ? CarriageReturnsToLineBreaks(WideToAnsi(wide)) : std::string();
}

const char* IconWord(intptr_t icon) {
    switch (icon) {
        case kIconInformation: return "Information";
        case kIconWarning: return "Warning";
        case kIconQuestion: return "Question";
        case kIconError: return "Error";
        default: return nullptr;
    }
}

// Removes the access-key marks and returns the access key (lower case) or 0.
char SplitCaption(const std::string& caption, std::string& plain) {
    char key = 0;
    plain.clear();
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) {
            if (caption[i + 1] != '&' && !key) key = static_cast<char>(std::tolower(static_cast<unsigned char>(caption[i + 1])));
            ++i;
        }
        plain += caption[i];
    }
    return key;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The open task dialog as its callback sees it. Nothing is drawn between
// questions, so the progress messages only keep their values.
class TTerminalTaskWindow : public TTaskDialogWindow {
public:
    intptr_t SendMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
        switch (msg) {
            case TDM_CLICK_BUTTON: PendingClick = static_cast<int32_t>(wParam); return 0;
            case TDM_SET_PROGRESS_BAR_RANGE: Min = lParam & 0xFFFF, Max = (lParam >> 16) & 0xFFFF; return 1;
            case TDM_SET_PROGRESS_BAR_POS: { intptr_t old = Pos; Pos = static_cast<intptr_t>(wParam); return old; }
            case TDM_SET_PROGRESS_BAR_STATE: State = wParam; return 1;
            case TDM_CLICK_RADIO_BUTTON: Radio = static_cast<int32_t>(wParam); return 0;
            case TDM_CLICK_VERIFICATION: Verified = wParam != 0; return 0;
            default: return 0;
        }
    }
    int32_t PendingClick = 0;
    intptr_t Min = 0, Max = 100, Pos = 0;
    uintptr_t State = PBST_NORMAL;
    int32_t Radio = 0;
    bool Verified = false;
};

}  // namespace

TTerminalFrontEnd::TTerminalFrontEnd(std::istream& in, std::ostream& out, bool answerWithDefaults, bool ansi)
    : In_(in), Out_(out), Defaults_(answerWithDefaults), Ansi_(ansi) {}

const TScreenFonts& TTerminalFrontEnd::ScreenFonts() const {
    static TNoFonts none;
    return none;
}

std::string TTerminalFrontEnd::Bold(const std::string& text) const {
    return Ansi_ ? "\x1b[1m" + text + "\x1b[0m" : text;
}

int32_t TTerminalFrontEnd::Ask(const std::vector<TChoice>& choices, int32_t defaultResult) {
    if (choices.empty()) return defaultResult;
    std::string prompt;
    std::string defaultCaption;
    for (size_t i = 0; i < choices.size(); ++i) {
        if (i) prompt += ", ";
        char key = choices[i].Key ? choices[i].Key : static_cast<char>('1' + std::min<size_t>(i, 8));
        prompt += "[" + std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(key)))) + "] " +
                  choices[i].Caption;
        if (choices[i].Result == defaultResult) defaultCaption = choices[i].Caption;
    }
    if (defaultCaption.empty()) defaultCaption = choices.front().Caption, defaultResult = choices.front().Result;
    for (int attempt = 0;; ++attempt) {
        Out_ << prompt << " (default " << defaultCaption << "): " << std::flush;
        std::string line;
        if (Defaults_ || !std::getline(In_, line)) {
            Out_ << defaultCaption << "\n";
            return defaultResult;
        }
        std::string answer = Lower(line);
        answer.erase(0, answer.find_first_not_of(" \t\r"));
        answer.erase(answer.find_last_not_of(" \t\r") + 1);
        if (answer.empty()) return defaultResult;
        for (size_t i = 0; i < choices.size(); ++i) {
            char key = choices[i].Key ? choices[i].Key : static_cast<char>('1' + std::min<size_t>(i, 8));
            if ((answer.size() == 1 && answer[0] == key) || answer == Lower(choices[i].Caption))
                return choices[i].Result;
        }
        if (attempt >= 20) return defaultResult;  // bounded: a stream of nonsense does not hang the program
        Out_ << "Please answer with one of the letters shown.\n";
    }
}

HRESULT TTerminalFrontEnd::TaskDialogIndirect(const TTaskDialogConfig* config, int32_t* pnButton,
                                              int32_t* pnRadioButton, int32_t* pfVerificationFlagChecked) {
    if (!config || config->cbSize != kTaskDialogConfigSize) return E_INVALIDARG;
    TTerminalTaskWindow window;
    auto notify = [&](uint32_t msg, uintptr_t wParam, intptr_t lParam) -> HRESULT {
        return config->pfCallback ? config->pfCallback(&window, msg, wParam, lParam, config->lpCallbackData) : S_OK;
    };
    window.Radio = config->nDefaultRadioButton ? config->nDefaultRadioButton
                   : (config->cRadioButtons && !(config->dwFlags & TDF_NO_DEFAULT_RADIO_BUTTON))
                       ? config->pRadioButtons[0].nButtonID
                       : 0;
    window.Verified = (config->dwFlags & TDF_VERIFICATION_FLAG_CHECKED) != 0;
    notify(TDN_DIALOG_CONSTRUCTED, 0, 0);
    notify(TDN_CREATED, 0, 0);

    Out_ << "\n" << Bold("== " + (config->pszWindowTitle ? Text(config->pszWindowTitle) : Application().Title) + " ==")
         << "\n";
    std::string instruction = Text(config->pszMainInstruction);
    if (const char* word = IconWord(config->pszMainIcon))
        instruction = instruction.empty() ? std::string(word) : std::string(word) + ": " + instruction;
    if (!instruction.empty()) Out_ << Bold(instruction) << "\n";
    if (config->pszContent) Out_ << Text(config->pszContent) << "\n";
    if (config->pszExpandedInformation) Out_ << Text(config->pszExpandedInformation) << "\n";
    if (config->pszFooter) {
        const char* word = IconWord(config->pszFooterIcon);
        Out_ << (word ? std::string(word) + ": " : std::string()) << Text(config->pszFooter) << "\n";
    }

    if (config->cRadioButtons > 0 && config->pRadioButtons) {
        std::vector<TChoice> radios;
        for (uint32_t i = 0; i < config->cRadioButtons; ++i) {
            std::string plain;
            SplitCaption(Text(config->pRadioButtons[i].pszButtonText), plain);
            radios.push_back({plain, static_cast<char>(i < 9 ? '1' + i : 0), config->pRadioButtons[i].nButtonID});
        }
        window.Radio = Ask(radios, window.Radio);
        notify(TDN_RADIO_BUTTON_CLICKED, static_cast<uintptr_t>(window.Radio), 0);
    }
    if (config->pszVerificationText)
        Out_ << "[" << (window.Verified ? "x" : " ") << "] " << Text(config->pszVerificationText) << "\n";

    std::vector<TChoice> buttons;
    for (uint32_t i = 0; config->pButtons && i < config->cButtons; ++i) {
        std::string plain;
        char key = SplitCaption(Text(config->pButtons[i].pszButtonText), plain);
        plain = plain.substr(0, plain.find('\n'));  // a command link's note stays out of the prompt
        buttons.push_back({plain, key, config->pButtons[i].nButtonID});
    }
    const struct { uint32_t Flag; const char* Caption; char Key; int32_t Id; } common[] = {
        {TDCBF_OK_BUTTON, "OK", 'o', IDOK},         {TDCBF_YES_BUTTON, "Yes", 'y', IDYES},
        {TDCBF_NO_BUTTON, "No", 'n', IDNO},         {TDCBF_RETRY_BUTTON, "Retry", 'r', IDRETRY},
        {TDCBF_CANCEL_BUTTON, "Cancel", 'c', IDCANCEL}, {TDCBF_CLOSE_BUTTON, "Close", 'l', IDCLOSE},
    };
    for (const auto& c : common)
        if (config->dwCommonButtons & c.Flag) buttons.push_back({c.Caption, c.Key, c.Id});
    if (buttons.empty()) buttons.push_back({"OK", 'o', IDOK});
    // Keys must pick one button each; a clash falls back to numbers.
    for (size_t i = 0; i < buttons.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (buttons[i].Key && buttons[i].Key == buttons[j].Key) buttons[i].Key = 0;

    int32_t defaultButton = config->nDefaultButton ? config->nDefaultButton : buttons.front().Result;
    int32_t pressed = 0;
    for (int round = 0; round < 100; ++round) {
        pressed = window.PendingClick ? window.PendingClick : Ask(buttons, defaultButton);
        window.PendingClick = 0;
        if (notify(TDN_BUTTON_CLICKED, static_cast<uintptr_t>(pressed), 0) == S_OK) break;
        if (Defaults_) break;  // nobody to ask again
    }
    notify(TDN_DESTROYED, 0, 0);
    if (pnButton) *pnButton = pressed;
    if (pnRadioButton) *pnRadioButton = window.Radio;
    if (pfVerificationFlagChecked) *pfVerificationFlagChecked = window.Verified ? 1 : 0;
    return S_OK;
}

int32_t TTerminalFrontEnd::ShowMessageDialog(const TMessageDialogRequest& request) {
    Out_ << "\n" << Bold("== " + request.Caption + " ==") << "\n";
    if (const char* word = MessageTypeName(request.Type); *word) Out_ << word << ": ";
    Out_ << CarriageReturnsToLineBreaks(request.Text) << "\n";
    std::vector<TChoice> choices;
    for (const TMessageDialogButton& b : kMessageDialogButtons) {
        if (!(request.Buttons & b.Button) || b.ModalResult == mrNone) continue;
        std::string plain;
        char key = SplitCaption(b.Caption, plain);
        if (!key) key = static_cast<char>(std::tolower(static_cast<unsigned char>(plain[0])));
        choices.push_back({plain, key, b.ModalResult});
    }
    for (size_t i = 0; i < choices.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (choices[i].Key == choices[j].Key) choices[i].Key = 0;
    int32_t def = mrNone;
    for (const TMessageDialogButton& b : kMessageDialogButtons)
        if (b.Button == DefaultMessageButton(request.Buttons)) def = b.ModalResult;
    if (def == mrNone && !choices.empty()) def = choices.front().Result;
    return choices.empty() ? CancelMessageResult(request.Buttons) : Ask(choices, def);
}

void TTerminalFrontEnd::PrintProgress() {
    for (TControl* c : Form_->Controls()) {
        auto* bar = dynamic_cast<TProgressBar*>(c);
        if (!bar || !bar->Visible()) continue;
        const int width = 40;
        long long range = static_cast<long long>(bar->Max()) - bar->Min();
        int filled = range > 0 ? static_cast<int>((bar->Position() - bar->Min()) * width / range) : 0;
        Out_ << "     [" << std::string(static_cast<size_t>(filled), '#')
             << std::string(static_cast<size_t>(width - filled), '.') << "] " << bar->Position() - bar->Min() << "/"
             << range << "\n";
        LastPosition_ = bar->Position();
    }
}

void TTerminalFrontEnd::PrintForm() {
    Out_ << "\n" << Bold(Form_->Caption) << "\n";
    const TImage* arrow = nullptr;
    std::vector<const TLabel*> labels;
    for (TControl* c : Form_->Controls()) {
        if (auto* img = dynamic_cast<TImage*>(c); img && img->Visible()) arrow = img;
        if (auto* l = dynamic_cast<TLabel*>(c); l && l->Visible()) labels.push_back(l);
    }
    std::stable_sort(labels.begin(), labels.end(), [](const TLabel* a, const TLabel* b) { return a->Top < b->Top; });
    for (const TLabel* l : labels) {
        // The marker stands beside the label whose lines hold the arrow's middle.
        bool marked = arrow && 2 * arrow->Top + arrow->Height >= 2 * l->Top &&
                      2 * arrow->Top + arrow->Height < 2 * (l->Top + l->Height);
        Out_ << (marked ? "  -> " : "     ") << (l->Font().Bold ? Bold(l->Caption()) : l->Caption()) << "\n";
    }
    PrintProgress();
}

void TTerminalFrontEnd::FormChanged() {
    // Progress is shown as it moves; everything else on the next repaint.
    if (!Form_ || Form_->Closed()) return;
    for (TControl* c : Form_->Controls())
        if (auto* bar = dynamic_cast<TProgressBar*>(c); bar && bar->Position() != LastPosition_ && LastPosition_ >= 0 &&
                                                        bar->Position() > bar->Min())
            PrintProgress();
}

void TTerminalFrontEnd::Repaint() {
    if (Form_ && !Form_->Closed()) PrintForm();
}

int TTerminalFrontEnd::Run(TForm& mainForm) {
    if (Application().Terminated()) return kExitOk;
    Form_ = &mainForm;
    struct TDetach {
        TForm& Form;
        TTerminalFrontEnd& Self;
        ~TDetach() { Form.AttachView(nullptr); Self.Form_ = nullptr; }
    } detach{mainForm, *this};
    mainForm.AttachView(this);
    mainForm.Activate();

    std::vector<TPngBitBtn*> buttons;
    for (TControl* c : mainForm.Controls())
        if (auto* b = dynamic_cast<TPngBitBtn*>(c)) buttons.push_back(b);
    std::stable_sort(buttons.begin(), buttons.end(),
                     [](const TPngBitBtn* a, const TPngBitBtn* b) { return a->TabOrder < b->TabOrder; });

    while (!mainForm.Closed() && !Application().Terminated()) {
        PrintForm();
        std::vector<TChoice> choices;
        std::vector<TPngBitBtn*> active;
        int32_t defIndex = -1;
        for (TPngBitBtn* b : buttons) {
            if (!b->Visible() || !b->Enabled()) continue;
            // Enter presses the default button, else the first one in tab order.
            if (defIndex < 0 || (b->Default && !active[static_cast<size_t>(defIndex)]->Default))
                defIndex = static_cast<int32_t>(active.size());
            choices.push_back({b->PlainCaption(), b->AccessKey(), static_cast<int32_t>(active.size())});
            active.push_back(b);
        }
        if (active.empty()) break;
        TPngBitBtn* pressed = active[static_cast<size_t>(Ask(choices, defIndex))];
        pressed->Click();
        if (Defaults_ && !mainForm.Closed()) {
            // One press of the default button per run; what is left open was not done.
            mainForm.Close();
            return kExitNotCleared;
        }
    }
    if (!mainForm.Closed()) mainForm.Close();
    return kExitOk;
}

}  // namespace dezede::freebolt
