#pragma once
// The Qt front end. Needs a QApplication (TQtApplication) to exist.

#include <QApplication>
#include <memory>

#include "app/core/front_end.h"

namespace dezede::freebolt {

class TFormWindow;

// Hands an exception that escapes an event handler to the crash reporter
// instead of letting it unwind through Qt.
class TQtApplication : public QApplication {
public:
    TQtApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

class TQtScreenFonts : public TScreenFonts {
public:
    std::vector<std::string> Families() const override;
};

class TQtFrontEnd : public TFrontEnd {
public:
    TQtFrontEnd();
    ~TQtFrontEnd() override;

    const TScreenFonts& ScreenFonts() const override { return Fonts_; }
    bool HasTaskDialog() const override { return true; }
    HRESULT TaskDialogIndirect(const TTaskDialogConfig* config, int32_t* pnButton, int32_t* pnRadioButton,
                               int32_t* pfVerificationFlagChecked) override;
    int32_t ShowMessageDialog(const TMessageDialogRequest& request) override;
    THandle MainWindowHandle() const override;
    int Run(TForm& mainForm) override;
    void Terminate() override;

    // Creates and shows the main form's window without entering the loop (Run does both).
    TFormWindow* ShowMainForm(TForm& mainForm);
    TFormWindow* MainWindow() const { return Window_.get(); }

private:
    QWidget* WindowFor(THandle handle) const;

    TQtScreenFonts Fonts_;
    std::unique_ptr<TFormWindow> Window_;
};

}  // namespace dezede::freebolt
