#pragma once
// The Qt window of a form: one widget per control, placed at the control's
// position scaled from 96 dpi to the screen's, and brought up to date from
// the form's objects whenever they change.

#include <QWidget>
#include <map>

#include "app/core/form.h"

class QLabel;
class QProgressBar;

namespace dezede::freebolt {

class TGlyphButton;

// A length in pixels at 96 dpi, at `dpi` (rounded to nearest).
int ScaleToDpi(int pixels96, int dpi);

class TFormWindow : public QWidget, public TFormView {
    Q_OBJECT
public:
    explicit TFormWindow(TForm& form, QWidget* parent = nullptr);
    ~TFormWindow() override;

    TForm& Form() const { return Form_; }
    int Dpi() const { return Dpi_; }
    // The widget that shows a control.
    QWidget* WidgetFor(const TControl* control) const;

    void FormChanged() override;
    void Repaint() override;
    void FormClosed() override;

    // Shows the window, centred on the screen when the form asks for it, and activates the form.
    void ShowForm();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void Build();
    void Sync();
    QFont QtFont(const TFont& font) const;

    TForm& Form_;
    int Dpi_;
    std::map<const TControl*, QWidget*> Widgets_;
    bool Deactivated_ = false;
};

}  // namespace dezede::freebolt
