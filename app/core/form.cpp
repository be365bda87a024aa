#include "app/core/form.h"

namespace dezede::freebolt {

TForm::TForm(TComponent* owner, const std::string& name) : TComponent(owner) { SetName(name); }

TForm::~TForm() {
    View_ = nullptr;
    DestroyComponents();
}

void TForm::SetFont(const TFont& font) {
    Font_ = font;
    for (TControl* c : Controls()) c->InheritFont(font);
    Changed();
}

void TForm::SetFontName(const std::string& name) {
    TFont f = Font_;
    f.Name = name;
    SetFont(f);
}

void TForm::SetFontSize(int size) {
    TFont f = Font_;
    f.Size = size;
    SetFont(f);
}

std::vector<TControl*> TForm::Controls() const {
    std::vector<TControl*> out;
    for (TComponent* c : Components())
        if (auto* control = dynamic_cast<TControl*>(c)) out.push_back(control);
    return out;
}

TPngBitBtn* TForm::CancelButton() const {
    for (TControl* c : Controls())
        if (auto* b = dynamic_cast<TPngBitBtn*>(c); b && b->Cancel) return b;
    return nullptr;
}

void TForm::DoCreate() {
    if (OnCreate) OnCreate();
}

void TForm::Activate() {
    if (OnActivate) OnActivate();
}

bool TForm::Close() {
    if (Closed_) return true;
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(canClose);
    if (!canClose) return false;
    Closed_ = true;
    if (View_) View_->FormClosed();
    return true;
}

void TForm::Changed() {
    if (View_) View_->FormChanged();
}

void TForm::Repaint() {
    if (View_) View_->Repaint();
}

}  // namespace dezede::freebolt
