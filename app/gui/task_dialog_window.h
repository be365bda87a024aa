#pragma once
// The task dialog built with Qt Widgets: takes the configuration record, shows
// its texts, icons, buttons, radio buttons, verification box, expandable
// details, progress bar, hyperlinks and footer, and sends the notifications
// to the record's callback, which may send messages back.

#include <QDialog>
#include <QElapsedTimer>
#include <map>

#include "app/core/task_dialog_config.h"

class QAbstractButton;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

namespace dezede::freebolt {

class TQtTaskDialog : public QDialog, public TTaskDialogWindow {
    Q_OBJECT
public:
    TQtTaskDialog(const TTaskDialogConfig& config, QWidget* parent);
    ~TQtTaskDialog() override;

    intptr_t SendMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;

    // Runs the dialog; fills the results like TaskDialogIndirect.
    void Run(int32_t* pnButton, int32_t* pnRadioButton, int32_t* pfVerificationFlagChecked);

    // The buttons by identifier (common and custom), for tests and keyboard handling.
    QAbstractButton* Button(int32_t id) const;
    QProgressBar* ProgressBar() const { return Progress_; }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    HRESULT Notify(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);
    void ButtonClicked(int32_t id);
    void SetExpanded(bool expanded);
    void ApplyProgressState();

    const TTaskDialogConfig& Config_;
    std::map<int32_t, QAbstractButton*> Buttons_;
    std::map<int32_t, QRadioButton*> Radios_;
    QCheckBox* Verification_ = nullptr;
    QProgressBar* Progress_ = nullptr;
    QPushButton* Expando_ = nullptr;
    QLabel* Expanded_ = nullptr;
    QTimer* Timer_ = nullptr;
    QElapsedTimer Clock_;
    bool Created_ = false;
    bool ExpandedNow_ = false;
    int32_t Result_ = 0;
    int32_t Radio_ = 0;
    uintptr_t ProgressState_ = PBST_NORMAL;
    bool Marquee_ = false;
    bool Closing_ = false;
};

// TaskDialogIndirect on Qt: `parent` is the window to centre on, or null.
HRESULT QtTaskDialogIndirect(const TTaskDialogConfig* config, QWidget* parent, int32_t* pnButton,
                             int32_t* pnRadioButton, int32_t* pfVerificationFlagChecked);

// Text of the record as Qt shows it: carriage returns become line breaks.
QString TaskDialogQString(const char16_t* text);

}  // namespace dezede::freebolt
