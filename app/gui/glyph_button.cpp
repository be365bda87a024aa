#include "app/gui/glyph_button.h"

#include <QIcon>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace dezede::freebolt {

TGlyphButton::TGlyphButton(QWidget* parent) : QPushButton(parent) {}

void TGlyphButton::SetGlyph(const QPixmap& glyph) {
    Glyph_ = glyph;
    update();
}

QSize TGlyphButton::sizeHint() const {
    QSize s = QPushButton::sizeHint();
    return QSize(s.width() + Glyph_.width() + Spacing_, s.height());
}

void TGlyphButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QString caption = opt.text;
    opt.text.clear();
    opt.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButton, opt);  // bevel and focus frame

    int shiftX = 0, shiftY = 0;
    if (isDown() || isChecked()) {
        shiftX = style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &opt, this);
        shiftY = style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &opt, this);
    }
    QPixmap glyph = Glyph_;
    if (!isEnabled() && !glyph.isNull()) glyph = QIcon(Glyph_).pixmap(Glyph_.size(), QIcon::Disabled);
    const int gw = glyph.isNull() ? 0 : glyph.width();
    const int gap = gw ? Spacing_ : 0;
    QString plain = caption;
    plain.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    const int textWidth = fontMetrics().horizontalAdvance(plain);
    int x = Margin_ >= 0 ? Margin_ : (width() - gw - gap - textWidth) / 2;
    x += shiftX;
    if (gw) painter.drawPixmap(x, (height() - glyph.height()) / 2 + shiftY, glyph);
    QRect textRect(x + gw + gap, shiftY, width() - (x + gw + gap), height());
    style()->drawItemText(&painter, textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, palette(),
                          isEnabled(), caption, QPalette::ButtonText);
}

}  // namespace dezede::freebolt
