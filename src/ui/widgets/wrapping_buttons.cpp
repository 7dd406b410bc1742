#include "ui/widgets/wrapping_buttons.hpp"

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

// Where the caption does not fit in the control's font, a narrower face of it often does (the layout was made
// for a narrow bitmap font); where none fits, one line that ends in an ellipsis says more than cut-off lines.
void drawCaption(QStylePainter& painter, const QWidget& widget, const QRect& room, int alignment,
                 const QString& text, QPalette::ColorRole role) {
    const int flags = alignment | mnemonicFlag(widget);
    QFont font = widget.font();
    for (const int stretch : {int{QFont::Unstretched}, int{QFont::SemiCondensed}, int{QFont::Condensed}}) {
        font.setStretch(stretch);
        const QFontMetrics metrics(font);
        // The last line may lose the bottom of its descenders, as it always could.
        if (metrics.boundingRect(room, flags | Qt::TextWordWrap, text).height() <=
            room.height() + metrics.descent()) {
            painter.setFont(font);
            painter.drawItemText(room, flags | Qt::TextWordWrap, widget.palette(), widget.isEnabled(), text,
                                 role);
            return;
        }
    }
    // A control may reach past its window's edge; the ellipsis goes where the caption is still seen.
    const QRect seen = room.intersected(widget.visibleRegion().boundingRect());
    painter.drawItemText(
        room, flags, widget.palette(), widget.isEnabled(),
        widget.fontMetrics().elidedText(text, Qt::ElideRight, seen.width(), Qt::TextShowMnemonic), role);
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

namespace {

// A check box or an option button whose caption does not fit one line: its indicator, then its caption
// wrapped, narrowed or cut.
void paintIndicatorButton(QAbstractButton& button, const QStyleOptionButton& option,
                          QStyle::SubElement contents, QStyle::SubElement indicatorElement,
                          QStyle::PrimitiveElement indicatorPrimitive) {
    const QRect room = button.style()->subElementRect(contents, &option, &button);
    QStylePainter painter(&button);
    QStyleOptionButton indicator = option;
    indicator.rect = button.style()->subElementRect(indicatorElement, &option, &button);
    painter.drawPrimitive(indicatorPrimitive, indicator);

    drawCaption(painter, button, room, kLeftMiddle, button.text(), QPalette::WindowText);
    if (button.hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(&button);
        focus.rect = room.adjusted(-1, 0, 1, 0).intersected(button.rect());
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

} // namespace

void WrappingCheckBox::paintEvent(QPaintEvent* event) {
    QStyleOptionButton option;
    initStyleOption(&option);
    if (fitsOneLine(*this, text(), style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this))) {
        QCheckBox::paintEvent(event);
        return;
    }
    paintIndicatorButton(*this, option, QStyle::SE_CheckBoxContents, QStyle::SE_CheckBoxIndicator,
                         QStyle::PE_IndicatorCheckBox);
}

void WrappingRadioButton::paintEvent(QPaintEvent* event) {
    QStyleOptionButton option;
    initStyleOption(&option);
    if (fitsOneLine(*this, text(), style()->subElementRect(QStyle::SE_RadioButtonContents, &option, this))) {
        QRadioButton::paintEvent(event);
        return;
    }
    paintIndicatorButton(*this, option, QStyle::SE_RadioButtonContents, QStyle::SE_RadioButtonIndicator,
                         QStyle::PE_IndicatorRadioButton);
}

bool WrappingRadioButton::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

bool WrappingCheckBox::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

} // namespace hotfix
