#include "app/gui/qt_front_end.h"

#include <QFontDatabase>
#include <QMessageBox>

#include "app/core/application.h"
#include "app/core/exit_status.h"
#include "app/core/form.h"
#include "app/gui/form_window.h"
#include "app/gui/message_box.h"
#include "app/gui/task_dialog_window.h"
#include "platform/crash_reporter.h"

namespace dezede::freebolt {

TQtApplication::TQtApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TQtApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportUnhandledException(std::current_exception());
    }
}

std::vector<std::string> TQtScreenFonts::Families() const {
    std::vector<std::string> out;
    for (const QString& f : QFontDatabase::families()) out.push_back(f.toStdString());
    return out;
}

TQtFrontEnd::TQtFrontEnd() = default;
TQtFrontEnd::~TQtFrontEnd() = default;

QWidget* TQtFrontEnd::WindowFor(THandle handle) const {
    // Only a handle this front end gave out is turned back into a window.
    return handle && Window_ && handle == reinterpret_cast<THandle>(Window_.get()) ? Window_.get() : nullptr;
}

THandle TQtFrontEnd::MainWindowHandle() const {
    return Window_ && Window_->isVisible() ? reinterpret_cast<THandle>(Window_.get()) : 0;
}

HRESULT TQtFrontEnd::TaskDialogIndirect(const TTaskDialogConfig* config, int32_t* pnButton, int32_t* pnRadioButton,
                                        int32_t* pfVerificationFlagChecked) {
    return QtTaskDialogIndirect(config, config ? WindowFor(config->hwndParent) : nullptr, pnButton, pnRadioButton,
                                pfVerificationFlagChecked);
}

int32_t TQtFrontEnd::ShowMessageDialog(const TMessageDialogRequest& request) {
    return ShowQtMessageDialog(request, WindowFor(request.Owner));
}

void TQtFrontEnd::Terminate() { QCoreApplication::quit(); }

TFormWindow* TQtFrontEnd::ShowMainForm(TForm& mainForm) {
    Window_ = std::make_unique<TFormWindow>(mainForm);
    Window_->ShowForm();
    return Window_.get();
}

int TQtFrontEnd::Run(TForm& mainForm) {
    if (Application().Terminated()) return kExitOk;
    ShowMainForm(mainForm);
    if (!mainForm.Closed() && !Application().Terminated()) QApplication::exec();
    if (!mainForm.Closed()) mainForm.Close();
    Window_.reset();
    return kExitOk;
}

}  // namespace dezede::freebolt
