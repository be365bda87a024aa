#pragma once
// A push button that draws a glyph left of its caption: the glyph `margin`
// pixels from the left edge and the caption `spacing` pixels after it, or both
// centred together when the margin is -1. Disabled, the glyph is greyed.

#include <QPushButton>

namespace dezede::freebolt {

class TGlyphButton : public QPushButton {
    Q_OBJECT
public:
    explicit TGlyphButton(QWidget* parent = nullptr);
    void SetGlyph(const QPixmap& glyph);
    void SetMargin(int margin) { Margin_ = margin; update(); }
    void SetSpacing(int spacing) { Spacing_ = spacing; update(); }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap Glyph_;
    int Margin_ = -1;
    int Spacing_ = 4;
};

}  // namespace dezede::freebolt
