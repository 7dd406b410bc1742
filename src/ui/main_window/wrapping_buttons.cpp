#include "wrapping_buttons.hpp"

#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace hotfix {

namespace {

constexpr int kCentre = Qt::AlignCenter;
constexpr int kLeftMiddle = Qt::AlignLeft | Qt::AlignVCenter;

int mnemonicFlag(const QWidget& widget) {
    QStyleOption option;
    option.initFrom(&widget);
    return widget.style()->styleHint(QStyle::SH_UnderlineShortcut, &option, &widget) ? Qt::TextShowMnemonic
                                                                                     : Qt::TextHideMnemonic;
}

bool fitsOneLine(const QWidget& widget, const QString& text, const QRect& room) {
    return widget.fontMetrics().boundingRect(room, Qt::TextShowMnemonic, text).width() <= room.width();
}

// Where the lines would not fit either, one line that ends in an ellipsis says more than cut-off lines.
void drawCaption(QStylePainter& painter, const QWidget& widget, const QRect& room, int alignment,
                 const QString& text, QPalette::ColorRole role) {
    const int flags = alignment | mnemonicFlag(widget);
    const QFontMetrics metrics = widget.fontMetrics();
    // The last line may lose the bottom of its descenders, as it always could.
    if (metrics.boundingRect(room, flags | Qt::TextWordWrap, text).height() <=
        room.height() + metrics.descent()) {
        painter.drawItemText(room, flags | Qt::TextWordWrap, widget.palette(), widget.isEnabled(), text,
                             role);
        return;
    }
    // A control may reach past its window's edge; the ellipsis goes where the caption is still seen.
    const QRect seen = room.intersected(widget.visibleRegion().boundingRect());
    painter.drawItemText(room, flags, widget.palette(), widget.isEnabled(),
                         metrics.elidedText(text, Qt::ElideRight, seen.width(), Qt::TextShowMnemonic), role);
}

} // namespace

void WrappingPushButton::paintEvent(QPaintEvent* event) {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect room = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (fitsOneLine(*this, text(), room)) {
        QPushButton::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    drawCaption(painter, *this, room, kCentre, text(), QPalette::ButtonText);
}

void WrappingCheckBox::paintEvent(QPaintEvent* event) {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect room = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
    if (fitsOneLine(*this, text(), room)) {
        QCheckBox::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    QStyleOptionButton indicator = option;
    indicator.rect = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicator);

    drawCaption(painter, *this, room, kLeftMiddle, text(), QPalette::WindowText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = room.adjusted(-1, 0, 1, 0).intersected(rect());
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

bool WrappingCheckBox::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

} // namespace hotfix
