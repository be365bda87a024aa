#pragma once
// The controls a form is made of, as plain objects: position and size in
// pixels at 96 dpi, texts, fonts and state. A front end draws them and feeds
// clicks back; the form logic only changes these objects, so it runs the same
// under the Qt front end, the terminal front end and in tests.

#include <cstdint>
#include <functional>
#include <string>

#include "components/component.h"

namespace dezede::freebolt {

class TForm;

// Pixels for a size in points at 96 dpi (the design resolution), rounded.
int PointsToPixels96(int points);

struct TFont {
    std::string Name = "Tahoma";
    int Size = 8;  // points
    bool Bold = false;
    // The font height in pixels at 96 dpi, negative as stored for forms (8 pt gives -11).
    int Height() const { return -PointsToPixels96(Size); }
    bool operator==(const TFont&) const = default;
};

class TControl : public TComponent {
public:
    TControl(TForm* owner, std::string name);

    int Left = 0, Top = 0, Width = 0, Height = 0;
    int TabOrder = -1;  // -1: not a tab stop

    TForm* Form() const { return Form_; }
    void SetBounds(int left, int top, int width, int height);
    bool Visible() const { return Visible_; }
    void SetVisible(bool visible);
    void SetTop(int top);

    // A control shows its form's font until it is given its own.
    const TFont& Font() const { return Font_; }
    bool ParentFont() const { return ParentFont_; }
    void SetFont(const TFont& font);
    void SetFontName(const std::string& name);
    void SetFontSize(int size);
    void SetFontBold(bool bold);
    // Called by the form when its font changes.
    void InheritFont(const TFont& font);

protected:
    void Changed();

private:
    TForm* Form_;
    bool Visible_ = true;
    TFont Font_;
    bool ParentFont_ = true;
};

class TLabel : public TControl {
public:
    using TControl::TControl;
    const std::string& Caption() const { return Caption_; }
    void SetCaption(std::string caption);

private:
    std::string Caption_;
};

// A picture, named by its image resource ("arrow" is the file arrow.png).
class TImage : public TControl {
public:
    using TControl::TControl;
    std::string Picture;
    bool AutoSize = false;  // sized to the picture
    bool Transparent = false;
};

class TProgressBar : public TControl {
public:
    using TControl::TControl;
    int Min() const { return Min_; }
    int Max() const { return Max_; }
    int Position() const { return Position_; }
    int Step = 10;
    void SetMax(int max);
    void SetMin(int min);
    void SetPosition(int position);  // kept within Min..Max
    // Advances by Step; past Max it starts over from Min, as the system's progress bar does.
    void StepIt();

private:
    int Min_ = 0, Max_ = 100, Position_ = 0;
};

// A push button with a PNG glyph left of its caption.
class TPngBitBtn : public TControl {
public:
    using TControl::TControl;
    std::string Caption;  // "&" marks the access key
    std::string Glyph;    // image resource name
    int ModalResult = 0;
    bool Cancel = false;  // pressed by Esc
    bool Default = false; // pressed by Enter
    int Margin = -1;      // pixels from the left edge to the glyph; -1 centres glyph and caption
    int Spacing = 4;      // pixels between glyph and caption
    bool BlendOnDisabled = false;
    bool GrayscaleOnDisabled = false;
    bool Enabled() const { return Enabled_; }
    void SetEnabled(bool enabled);
    std::function<void()> OnClick;
    void Click();

    // The caption without access-key marks, and the access key (lower case) or 0.
    std::string PlainCaption() const;
    char AccessKey() const;

private:
    bool Enabled_ = true;
};

// A non-visual component that asks for themed controls; the front ends are themed anyway.
class TXPManifest : public TComponent {
public:
    using TComponent::TComponent;
};

}  // namespace dezede::freebolt
