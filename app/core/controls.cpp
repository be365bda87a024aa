#include "app/core/controls.h"

#include <cctype>

#include "app/core/form.h"

namespace dezede::freebolt {

int PointsToPixels96(int points) { return (points * 96 + (points >= 0 ? 36 : -36)) / 72; }

TControl::TControl(TForm* owner, std::string name) : TComponent(owner), Form_(owner) {
    SetName(name);
    if (Form_) Font_ = Form_->Font();
}

void TControl::Changed() {
    if (Form_) Form_->Changed();
}

void TControl::SetBounds(int left, int top, int width, int height) {
    Left = left, Top = top, Width = width, Height = height;
    Changed();
}

void TControl::SetVisible(bool visible) {
    Visible_ = visible;
    Changed();
}

void TControl::SetTop(int top) {
    Top = top;
    Changed();
}

void TControl::SetFont(const TFont& font) {
    Font_ = font;
    ParentFont_ = false;
    Changed();
}

void TControl::SetFontName(const std::string& name) {
    TFont f = Font_;
    f.Name = name;
    SetFont(f);
}

void TControl::SetFontSize(int size) {
    TFont f = Font_;
    f.Size = size;
    SetFont(f);
}

void TControl::SetFontBold(bool bold) {
    TFont f = Font_;
    f.Bold = bold;
    SetFont(f);
}

void TControl::InheritFont(const TFont& font) {
    if (ParentFont_) Font_ = font;
}

void TLabel::SetCaption(std::string caption) {
    Caption_ = std::move(caption);
    Changed();
}

void TProgressBar::SetMax(int max) {
    Max_ = max;
    if (Min_ > Max_) Min_ = Max_;
    SetPosition(Position_);
}

void TProgressBar::SetMin(int min) {
    Min_ = min;
    if (Max_ < Min_) Max_ = Min_;
    SetPosition(Position_);
}

void TProgressBar::SetPosition(int position) {
    Position_ = position < Min_ ? Min_ : (position > Max_ ? Max_ : position);
    Changed();
}

void TProgressBar::StepIt() {
    long long next = static_cast<long long>(Position_) + Step;
    long long range = static_cast<long long>(Max_) - Min_;
    if (next > Max_) next = range > 0 ? Min_ + (next - Min_) % range : Min_;
    if (next < Min_) next = Min_;
    Position_ = static_cast<int>(next);
    Changed();
}

void TPngBitBtn::SetEnabled(bool enabled) {
    Enabled_ = enabled;
    Changed();
}

void TPngBitBtn::Click() {
    if (Enabled_ && OnClick) OnClick();
}

std::string TPngBitBtn::PlainCaption() const {
    std::string out;
    for (size_t i = 0; i < Caption.size(); ++i) {
        if (Caption[i] == '&') {
            if (i + 1 < Caption.size() && Caption[i + 1] == '&') out += '&', ++i;
            continue;
        }
        out += Caption[i];
    }
    return out;
}

char TPngBitBtn::AccessKey() const {
    for (size_t i = 0; i + 1 < Caption.size(); ++i) {
        if (Caption[i] != '&') continue;
        if (Caption[i + 1] == '&') {
            ++i;
            continue;
        }
        return static_cast<char>(std::tolower(static_cast<unsigned char>(Caption[i + 1])));
    }
    return 0;
}

}  // namespace dezede::freebolt
