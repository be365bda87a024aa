// The real windows on an X server: the main form's layout, and message
// dialogs that open and close with their OK button. Skipped without a display.
#ifdef FREEBOLT_GUI_TESTS

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include "app/core/application.h"
#include "app/core/form_fonts.h"
#include "app/core/main_form.h"
#include "app/core/task_message.h"
#include "app/gui/form_window.h"
#include "app/gui/qt_front_end.h"
#include "app/gui/task_dialog_window.h"
#include "tests/platform/temp_dir.h"

namespace dezede::freebolt {
namespace {

using dezede::test::TScopedEnv;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "no X display";
        static int argc = 1;
        static char name[] = "test_app";
        static char* argv[] = {name, nullptr};
        if (!qApp) new TQtApplication(argc, argv);  // lives for the whole test program
        FrontEnd = std::make_unique<TQtFrontEnd>();
        Application().Initialize(FrontEnd.get());
        Application().Title = "Quintora Freebolt";
        InitDefaultFont(FrontEnd->ScreenFonts());
    }
    void TearDown() override { Application().Initialize(nullptr); }

    // Clicks the button named `button` of the next modal dialog once it is open.
    void ClickInNextDialog(const QString& button, QString* seenTitle = nullptr, QString* seenText = nullptr) {
        QTimer::singleShot(0, [=] { PollAndClick(button, seenTitle, seenText, 0); });
    }
    static void PollAndClick(const QString& button, QString* seenTitle, QString* seenText, int attempt) {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible()) {
            if (attempt < 200) QTimer::singleShot(25, [=] { PollAndClick(button, seenTitle, seenText, attempt + 1); });
            return;
        }
        if (seenTitle) *seenTitle = dialog->windowTitle();
        if (seenText) {
            for (QLabel* l : dialog->findChildren<QLabel*>()) seenText->append(l->text() + QLatin1Char('|'));
        }
        auto* b = dialog->findChild<QAbstractButton*>(button);
        ASSERT_NE(b, nullptr) << button.toStdString();
        QTest::mouseClick(b, Qt::LeftButton);
    }

    std::unique_ptr<TQtFrontEnd> FrontEnd;
};

TEST_F(MainWindowTest, FormShowsWithTheDesignedLayout) {
    TfrmVovazorad form;
    TFormWindow* window = FrontEnd->ShowMainForm(form);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const int dpi = window->Dpi();
    auto px = [dpi](int v) { return ScaleToDpi(v, dpi); };
    EXPECT_EQ(window->size(), QSize(px(385), px(117)));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Clear Quintora Record Locks"));
    EXPECT_FALSE(window->windowIcon().isNull());

    struct Case { const char* name; int left, top, width, height; bool visible; };
    const Case cases[] = {
        {"lblLocked", 36, 24, 160, 13, true},     {"imgArrow", 24, 7, 7, 11, false},
        {"lblAccess", 36, 6, 142, 13, true},      {"ProgressBar", 24, 48, 339, 15, true},
        {"cmdVovazorad", 24, 80, 105, 26, true},  {"cmdCancel", 288, 80, 73, 26, true},
    };
    for (const Case& c : cases) {
        QWidget* w = window->findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(w, nullptr) << c.name;
        QRect expected(px(c.left), px(c.top), px(c.width), px(c.height));
        if (std::string(c.name) == "imgArrow") expected.setSize(QSize(7, 11));  // sized to its picture
        if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
            expected.setSize(label->sizeHint());  // sized to its caption
        }
        EXPECT_EQ(w->geometry(), expected) << c.name;
        EXPECT_EQ(w->isVisible(), c.visible) << c.name;
    }
    EXPECT_EQ(window->findChild<QLabel*>("lblAccess")->text(), QStringLiteral("Checking for exclusive access"));
    EXPECT_EQ(window->findChild<QLabel*>("lblLocked")->text(), QStringLiteral("Releasing records that are locked"));
    EXPECT_EQ(window->findChild<QPushButton*>("cmdVovazorad")->text(), QStringLiteral("Clear &Locks"));
    EXPECT_EQ(window->findChild<QPushButton*>("cmdCancel")->text(), QStringLiteral("&Cancel"));
    EXPECT_EQ(window->findChild<QLabel*>("lblAccess")->font().family(), QStringLiteral("Segoe UI"));
    EXPECT_EQ(window->findChild<QLabel*>("lblAccess")->font().pointSize(), 9);

    // Changes of the form's objects reach the window.
    form.imgArrow->SetVisible(true);
    form.imgArrow->SetTop(23);
    form.lblLocked->SetFontBold(true);
    form.ProgressBar->SetMax(14);
    form.ProgressBar->StepIt();
    EXPECT_TRUE(window->findChild<QWidget*>("imgArrow")->isVisible());
    EXPECT_EQ(window->findChild<QWidget*>("imgArrow")->y(), px(23));
    EXPECT_TRUE(window->findChild<QLabel*>("lblLocked")->font().bold());
    EXPECT_EQ(window->findChild<QProgressBar*>("ProgressBar")->maximum(), 14);
    EXPECT_EQ(window->findChild<QProgressBar*>("ProgressBar")->value(), 1);

    if (const char* shot = std::getenv("FREEBOLT_SCREENSHOT")) window->grab().save(QString::fromLocal8Bit(shot));

    // Esc presses Cancel, which closes the form.
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(form.Closed());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, MessageDialogsCloseWithTheirOKButton) {
    TfrmVovazorad form;
    TFormWindow* window = FrontEnd->ShowMainForm(form);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

    QString title, text;
    ClickInNextDialog(QStringLiteral("Button1"), &title, &text);
    EXPECT_EQ(ShowTaskMessage("Clear Locks successful", "All record locks have been cleared.\r\rResume.", mtInformation,
                              0, mbOK),
              IDOK);
    EXPECT_EQ(title, QStringLiteral("Quintora Freebolt"));
    EXPECT_TRUE(text.contains(QStringLiteral("Clear Locks successful|")));
    EXPECT_TRUE(text.contains(QStringLiteral("All record locks have been cleared.\n\nResume.|"))) << text.toStdString();

    TScopedEnv older("QUINTORA_OS_MAJOR", "5");
    title.clear(), text.clear();
    ClickInNextDialog(QStringLiteral("OK"), &title, &text);
    EXPECT_EQ(ShowTaskMessage("Exclusive access failed", "Unable to lock.", mtInformation, 0, mbOK), mrOk);
    EXPECT_EQ(title, QStringLiteral("Quintora Freebolt"));
    EXPECT_TRUE(text.contains(QStringLiteral("Exclusive access failed\n\nUnable to lock."))) << text.toStdString();
    form.Close();
}

// A task dialog with every part: the callback sees the notifications and
// drives the progress bar; a refused click keeps the dialog open.
struct TCallbackLog {
    std::vector<std::pair<uint32_t, uintptr_t>> Notifications;
    int ProgressMax = -1, ProgressValue = -1;
};

HRESULT RecordingCallback(TTaskDialogWindow* hwnd, uint32_t msg, uintptr_t wParam, intptr_t, intptr_t ref) {
    auto* log = reinterpret_cast<TCallbackLog*>(ref);
    log->Notifications.push_back({msg, wParam});
    if (auto* d = dynamic_cast<TQtTaskDialog*>(hwnd); d && msg == TDN_BUTTON_CLICKED && d->ProgressBar()) {
        log->ProgressMax = d->ProgressBar()->maximum();
        log->ProgressValue = d->ProgressBar()->value();
    }
    if (msg == TDN_CREATED) {
        hwnd->SendMessage(TDM_SET_PROGRESS_BAR_RANGE, 0, MakeLParam(0, 14));
        hwnd->SendMessage(TDM_SET_PROGRESS_BAR_POS, 9, 0);
        hwnd->SendMessage(TDM_CLICK_BUTTON, 100, 0);  // refused below
        hwnd->SendMessage(TDM_CLICK_BUTTON, IDOK, 0);
    }
    if (msg == TDN_BUTTON_CLICKED && wParam == 100) return S_FALSE;
    return S_OK;
}

TEST_F(MainWindowTest, TaskDialogTakesTheWholeRecord) {
    TCallbackLog record;
    auto& log = record.Notifications;
    std::u16string title = u"T", instruction = u"Main", content = u"a\rb", footer = u"F", expanded = u"More",
                   verify = u"Again", custom = u"&Retry now", radio1 = u"One", radio2 = u"Two";
    TTaskDialogButton buttons[] = {{100, custom.c_str()}};
    TTaskDialogButton radios[] = {{200, radio1.c_str()}, {201, radio2.c_str()}};
    TTaskDialogConfig c{};
    c.cbSize = kTaskDialogConfigSize;
    c.dwFlags = TDF_SHOW_PROGRESS_BAR | TDF_CALLBACK_TIMER | TDF_VERIFICATION_FLAG_CHECKED | TDF_POSITION_RELATIVE_TO_WINDOW;
    c.dwCommonButtons = TDCBF_OK_BUTTON | TDCBF_CANCEL_BUTTON;
    c.pszWindowTitle = title.c_str();
    c.pszMainIcon = kIconWarning;
    c.pszMainInstruction = instruction.c_str();
    c.pszContent = content.c_str();
    c.cButtons = 1;
    c.pButtons = buttons;
    c.cRadioButtons = 2;
    c.pRadioButtons = radios;
    c.nDefaultRadioButton = 201;
    c.pszVerificationText = verify.c_str();
    c.pszExpandedInformation = expanded.c_str();
    c.pszFooterIcon = kIconError;
    c.pszFooter = footer.c_str();
    c.pfCallback = &RecordingCallback;
    c.lpCallbackData = reinterpret_cast<intptr_t>(&record);
    int32_t button = 0, radio = 0, verified = 0;
    EXPECT_EQ(QtTaskDialogIndirect(&c, nullptr, &button, &radio, &verified), S_OK);
    EXPECT_EQ(button, IDOK);
    EXPECT_EQ(radio, 201);
    EXPECT_EQ(verified, 1);
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(log[0].first, TDN_DIALOG_CONSTRUCTED);
    EXPECT_EQ(log[1].first, TDN_CREATED);
    auto clicked = [&](uintptr_t id) {
        return std::count(log.begin(), log.end(), std::make_pair(TDN_BUTTON_CLICKED, id));
    };
    EXPECT_EQ(clicked(100), 1);
    EXPECT_EQ(clicked(IDOK), 1);
    EXPECT_EQ(log.back().first, TDN_DESTROYED);
    EXPECT_EQ(record.ProgressMax, 14);
    EXPECT_EQ(record.ProgressValue, 9);

    c.cbSize = 95;
    EXPECT_EQ(QtTaskDialogIndirect(&c, nullptr, &button, &radio, &verified), E_INVALIDARG);
}

}  // namespace
}  // namespace dezede::freebolt

#endif  // FREEBOLT_GUI_TESTS
