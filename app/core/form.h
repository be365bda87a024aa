#pragma once
// A form: a window with a fixed client area, a caption, a font that its
// controls inherit, and the creation, activation and close-query events. A
// front end attaches a view that draws the form and is told of each change.

#include <functional>
#include <string>
#include <vector>

#include "components/component.h"
#include "app/core/controls.h"

namespace dezede::freebolt {

class TForm;

class TFormView {
public:
    virtual ~TFormView() = default;
    // The form or one of its controls changed; redraw from the objects.
    virtual void FormChanged() = 0;
    // Draw now, before returning to the event loop.
    virtual void Repaint() = 0;
    // The form closed; hide the window.
    virtual void FormClosed() = 0;
};

enum class TBorderStyle { Dialog, Sizeable };
enum class TFormPosition { Designed, ScreenCenter };

class TForm : public TComponent {
public:
    explicit TForm(TComponent* owner = nullptr, const std::string& name = {});
    ~TForm() override;

    std::string Caption;
    int ClientWidth = 0, ClientHeight = 0;  // pixels at 96 dpi
    TBorderStyle BorderStyle = TBorderStyle::Sizeable;
    TFormPosition Position = TFormPosition::Designed;
    std::string Icon;  // image resource name

    const TFont& Font() const { return Font_; }
    // Also given to every control that still shows the form's font.
    void SetFont(const TFont& font);
    void SetFontName(const std::string& name);
    void SetFontSize(int size);

    // Controls in creation order.
    std::vector<TControl*> Controls() const;
    // The button that Esc presses, or null.
    TPngBitBtn* CancelButton() const;

    std::function<void()> OnCreate;
    std::function<void()> OnActivate;
    std::function<void(bool& canClose)> OnCloseQuery;

    // Runs OnCreate; a form class calls it at the end of its constructor.
    void DoCreate();
    // The window became the active one.
    void Activate();
    // Asks OnCloseQuery; when closing is allowed the form closes. Returns whether it did.
    bool Close();
    bool Closed() const { return Closed_; }

    void AttachView(TFormView* view) { View_ = view; }
    TFormView* View() const { return View_; }
    void Changed();
    void Repaint();

private:
    TFont Font_;
    bool Closed_ = false;
    TFormView* View_ = nullptr;
};

}  // namespace dezede::freebolt
