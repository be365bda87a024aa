// ShowTaskMessage and TTaskDialog::Execute, checked on the configuration
// record and the message-dialog request they hand to the front end.
#include <gtest/gtest.h>

#include "app/core/ansi_text.h"
#include "app/core/task_dialog.h"
#include "app/core/task_message.h"
#include "tests/app/fake_front_end.h"
#include "tests/platform/temp_dir.h"

namespace dezede::freebolt {
namespace {

using dezede::test::TScopedEnv;

class TaskMessageTest : public ::testing::Test {
protected:
    TScopedEnv Os{"QUINTORA_OS_MAJOR", nullptr};
    test::TFakeApplication App;
    test::TFakeFrontEnd& Fe = App.FrontEnd;
};

TEST_F(TaskMessageTest, InformationMessageBuildsTheRecord) {
    Fe.ButtonAnswer = IDOK;
    int32_t r = ShowTaskMessage("Clear Locks successful", "All record locks have been cleared.", mtInformation, 0, mbOK);
    EXPECT_EQ(r, IDOK);
    ASSERT_EQ(Fe.Configs.size(), 1u);
    EXPECT_TRUE(Fe.Requests.empty());
    const test::TRecordedConfig& c = Fe.Configs[0];
    EXPECT_EQ(c.Raw.cbSize, 96u);
    EXPECT_EQ(c.Raw.hwndParent, Fe.Handle);
    EXPECT_EQ(c.Raw.hInstance, 0);
    EXPECT_EQ(c.Raw.dwFlags, TDF_POSITION_RELATIVE_TO_WINDOW);
    EXPECT_EQ(c.Raw.dwCommonButtons, TDCBF_OK_BUTTON);
    EXPECT_EQ(c.Raw.pszMainIcon, 81);
    EXPECT_EQ(c.Raw.pszFooterIcon, 0);
    EXPECT_EQ(c.Title, u"Quintora Freebolt");
    EXPECT_EQ(c.Instruction, u"Clear Locks successful");
    EXPECT_EQ(c.Content, u"All record locks have been cleared.");
    EXPECT_FALSE(c.HasFooter || c.HasExpanded || c.HasExpandText || c.HasCollapseText || c.HasVerification);
    EXPECT_EQ(c.Raw.cButtons, 0u);
    EXPECT_EQ(c.Raw.pButtons, nullptr);
    EXPECT_EQ(c.Raw.cRadioButtons, 0u);
    EXPECT_NE(c.Raw.pfCallback, nullptr);
    EXPECT_NE(c.Raw.lpCallbackData, 0);
}

TEST_F(TaskMessageTest, TypesAndButtonsMapToIconsAndCommonButtons) {
    struct Case { TMsgDlgType type; TMsgDlgButtons buttons; intptr_t icon; uint32_t common; };
    const Case cases[] = {
        {mtWarning, mbOK, 84, 0x1},
        {mtError, mbYes | mbNo, 98, 0x2 | 0x4},
        {mtInformation, mbCancel | mbRetry, 81, 0x8 | 0x10},
        {mtConfirmation, mbAbort, 99, 0x20},
        {mtCustom, mbIgnore | mbAll | mbHelp, 0, 0},
        {mtWarning, mbYes | mbNo | mbOK | mbCancel | mbAbort | mbRetry, 84, 0x3F},
    };
    for (const Case& c : cases) {
        Fe.Configs.clear();
        ShowTaskMessage("i", "", c.type, 0, c.buttons);
        ASSERT_EQ(Fe.Configs.size(), 1u);
        EXPECT_EQ(Fe.Configs[0].Raw.pszMainIcon, c.icon) << c.type;
        EXPECT_EQ(Fe.Configs[0].Raw.dwCommonButtons, c.common) << c.type;
        EXPECT_FALSE(Fe.Configs[0].HasContent);  // empty texts stay null
    }
}

TEST_F(TaskMessageTest, NoTaskDialogOnANewerSystemShowsNothing) {
    Fe.TaskDialogAvailable = false;
    EXPECT_EQ(ShowTaskMessage("i", "c", mtWarning, 0, mbOK), -1);
    EXPECT_TRUE(Fe.Configs.empty());
    EXPECT_TRUE(Fe.Requests.empty());
}

TEST_F(TaskMessageTest, OlderSystemUsesTheMessageDialogAndTheHelpContextRule) {
    TScopedEnv os("QUINTORA_OS_MAJOR", "5");
    struct Case { const char* content; int32_t help; TMsgDlgButtons buttons; std::string text; TMsgDlgButtons shown; };
    const Case cases[] = {
        {"All record locks have been cleared.", 0, mbOK, "Done\r\rAll record locks have been cleared.", mbOK},
        {"", 0, mbOK, "Done", mbOK},
        {"c", 7, mbOK, "Done\r\rc", mbOK | mbHelp},
        {"c", 7, mbOK | mbHelp, "Done\r\rc", mbOK | mbHelp},
        {"c", -1, mbYes | mbNo, "Done\r\rc", mbYes | mbNo},
    };
    Fe.MessageAnswer = mrYes;
    for (const Case& c : cases) {
        Fe.Requests.clear();
        EXPECT_EQ(ShowTaskMessage("Done", c.content, mtInformation, c.help, c.buttons), mrYes);
        ASSERT_EQ(Fe.Requests.size(), 1u);
        const TMessageDialogRequest& r = Fe.Requests[0];
        EXPECT_EQ(r.Text, c.text);
        EXPECT_EQ(r.Buttons, c.shown);
        EXPECT_EQ(r.HelpContext, c.help);
        EXPECT_EQ(r.Type, mtInformation);
        EXPECT_EQ(r.Caption, "Quintora Freebolt");
        EXPECT_EQ(r.Owner, Fe.Handle);
    }
    EXPECT_TRUE(Fe.Configs.empty());
    TTaskDialog dialog;
    EXPECT_EQ(dialog.Execute(), -1);  // no task dialog below version 6
}

TEST_F(TaskMessageTest, ExecuteFillsButtonsTextsAndDefaults) {
    TTaskDialog d;
    d.CustomButtons = {"&Retry now", "Skip"};
    d.RadioButtons = {"One", "Two", "Three"};
    d.DefaultButton = 101;
    d.DefaultRadioButton = 202;
    d.Title = "T";
    d.Instruction = "I";
    d.Content = "C\r\rD";
    d.Footer = "F";
    d.ExpandedText = "E";
    d.ExpandControlText = "less";
    d.CollapsControlText = "more";
    d.VerificationText = "V";
    d.FooterIcon = TTaskDialogFooterIcon::tfiError;
    d.Icon = TTaskDialogIcon::tiShield;
    Fe.ButtonAnswer = 101;
    Fe.RadioAnswer = 201;
    Fe.VerifyAnswer = 1;
    EXPECT_EQ(d.Execute(), 101);
    EXPECT_EQ(d.RadioButton(), 201);
    EXPECT_TRUE(d.VerificationChecked());
    const test::TRecordedConfig& c = Fe.Configs.at(0);
    EXPECT_EQ(c.Buttons, (std::vector<test::TRecordedButton>{{100, u"&Retry now"}, {101, u"Skip"}}));
    EXPECT_EQ(c.Radios, (std::vector<test::TRecordedButton>{{200, u"One"}, {201, u"Two"}, {202, u"Three"}}));
    EXPECT_EQ(c.Raw.nDefaultButton, 101);
    EXPECT_EQ(c.Raw.nDefaultRadioButton, 202);
    EXPECT_EQ(c.Title, u"T");
    EXPECT_EQ(c.Content, u"C\r\rD");  // the text stays as built; the dialog shows line breaks
    EXPECT_EQ(c.Footer, u"F");
    EXPECT_EQ(c.Expanded, u"E");
    EXPECT_EQ(c.ExpandText, u"less");
    EXPECT_EQ(c.CollapseText, u"more");
    EXPECT_EQ(c.Verification, u"V");
    EXPECT_EQ(c.Raw.pszMainIcon, 0);  // the shield has no identifier
    EXPECT_EQ(c.Raw.pszFooterIcon, 98);
}

TEST_F(TaskMessageTest, OptionsMapToFlags) {
    struct Case { TTaskDialogOptions options; uint32_t flags; };
    const uint32_t rel = 0x1000, timer = 0x800;
    const Case cases[] = {
        {0, rel},
        {doCommandLinks, 0x10 | rel},
        {doCommandLinksNoIcon, 0x20 | rel},
        {doCommandLinks | doCommandLinksNoIcon, 0x20 | rel},
        {doHyperlinks, 0x1 | rel},
        {doExpandedDefault, 0x80 | rel},
        {doExpandedFooter, 0x40 | rel},
        {doAllowMinimize, 0x8000 | rel},
        {doVerifyChecked, 0x100 | rel},
        {doProgressBar, 0x200 | timer | rel},
        {doProgressBarMarquee, 0x400 | timer | rel},
        {doTimer, timer | rel},
        {doCommandLinks | doHyperlinks | doTimer, 0x10 | 0x1 | timer | rel},
    };
    for (const Case& c : cases) {
        Fe.Configs.clear();
        TTaskDialog d;
        d.Options = c.options;
        d.Execute();
        EXPECT_EQ(Fe.Configs.at(0).Raw.dwFlags, c.flags) << std::hex << c.options;
    }
}

TEST_F(TaskMessageTest, TextsAreConvertedAndCutAt511) {
    TTaskDialog d;
    d.Content = std::string(600, 'x');
    d.Instruction = std::string(511, 'y');
    d.Title = "Caf\xE9 \x80";
    d.CustomButtons = {std::string(700, 'b')};
    d.Execute();
    const test::TRecordedConfig& c = Fe.Configs.at(0);
    EXPECT_EQ(c.Content, std::u16string(511, u'x'));
    EXPECT_EQ(c.Instruction, std::u16string(511, u'y'));
    EXPECT_EQ(c.Title, u"Caf\u00E9 \u20AC");
    EXPECT_EQ(c.Buttons.at(0).Text.size(), 511u);
}

TEST_F(TaskMessageTest, NotificationsRaiseEventsAndSendProgressMessages) {
    TTaskDialog d;
    d.Options = doProgressBar;
    d.ProgressBarMin = 5;
    d.ProgressBarMax = 250;
    std::vector<std::string> events;
    d.OnDialogCreated = [&](TTaskDialog& s) { events.push_back(s.Handle() ? "created" : "created without handle"); };
    d.OnDialogButtonClick = [&](TTaskDialog&, int32_t id) { events.push_back("button " + std::to_string(id)); };
    d.OnDialogClose = [&](TTaskDialog&, bool& canClose) { canClose = events.size() > 3; };
    d.OnDialogHyperlinkClick = [&](TTaskDialog&, const std::string& href) { events.push_back("link " + href); };
    d.OnDialogTimer = [&](TTaskDialog&) { events.push_back("timer"); };
    d.OnDialogProgress = [&](TTaskDialog&, int32_t& pos, TTaskDialogProgressState& state) {
        pos = 42;
        state = TTaskDialogProgressState::psPaused;
    };
    d.OnDialogRadioClick = [&](TTaskDialog&, int32_t id) { events.push_back("radio " + std::to_string(id)); };
    d.OnDialogVerifyClick = [&](TTaskDialog&, bool on) { events.push_back(on ? "verify on" : "verify off"); };
    std::vector<HRESULT> answers;
    Fe.Script = [&](const TTaskDialogConfig& c, TTaskDialogWindow& w) {
        auto send = [&](uint32_t msg, uintptr_t wp = 0, intptr_t lp = 0) {
            answers.push_back(c.pfCallback(&w, msg, wp, lp, c.lpCallbackData));
        };
        send(TDN_CREATED);
        send(TDN_BUTTON_CLICKED, 100);  // refused by OnDialogClose
        std::u16string link = u"http://x/\u00E9";
        send(TDN_HYPERLINK_CLICKED, 0, reinterpret_cast<intptr_t>(link.c_str()));
        send(TDN_TIMER, 200);
        send(TDN_RADIO_BUTTON_CLICKED, 201);
        send(TDN_VERIFICATION_CLICKED, 1);
        send(TDN_HELP);
        send(TDN_BUTTON_CLICKED, IDOK);  // allowed now
    };
    d.Execute();
    EXPECT_EQ(events, (std::vector<std::string>{"created", "button 100", "link http://x/\xE9", "timer", "radio 201",
                                                "verify on", "button 1"}));
    EXPECT_EQ(answers, (std::vector<HRESULT>{S_OK, S_FALSE, S_OK, S_OK, S_OK, S_OK, S_OK, S_OK}));
    ASSERT_EQ(Fe.Sent.size(), 3u);
    EXPECT_EQ(Fe.Sent[0].Msg, 0x469u);
    EXPECT_EQ(Fe.Sent[0].LParam, 5 | (250 << 16));
    EXPECT_EQ(Fe.Sent[1].Msg, 0x46Au);
    EXPECT_EQ(Fe.Sent[1].WParam, 42u);
    EXPECT_EQ(Fe.Sent[2].Msg, 0x468u);
    EXPECT_EQ(Fe.Sent[2].WParam, 3u);  // paused
    EXPECT_EQ(d.Handle(), nullptr);    // the dialog is gone after Execute
}

TEST_F(TaskMessageTest, ProgressRangeIsSetEvenWithoutACreatedHandler) {
    TTaskDialog d;
    d.Options = doProgressBar;
    d.ProgressBarMax = 14;
    Fe.Script = [](const TTaskDialogConfig& c, TTaskDialogWindow& w) {
        c.pfCallback(&w, TDN_CREATED, 0, 0, c.lpCallbackData);
        c.pfCallback(&w, TDN_TIMER, 0, 0, c.lpCallbackData);  // no progress handler: nothing sent
    };
    d.Execute();
    ASSERT_EQ(Fe.Sent.size(), 1u);
    EXPECT_EQ(Fe.Sent[0].Msg, TDM_SET_PROGRESS_BAR_RANGE);
    EXPECT_EQ(Fe.Sent[0].LParam, 14 << 16);
}

TEST(AnsiText, ConvertsWindows1252BothWaysAndLineBreaks) {
    EXPECT_EQ(AnsiToWide("a\x80\x81\x9F\xFF"), u"a\u20AC\u0081\u0178\u00FF");
    EXPECT_EQ(WideToAnsi(u"a\u20AC\u00FF\u4E00"), "a\x80\xFF?");
    EXPECT_EQ(CarriageReturnsToLineBreaks(std::string_view("a\r\rb\r\nc")), "a\n\nb\nc");
}

}  // namespace
}  // namespace dezede::freebolt
