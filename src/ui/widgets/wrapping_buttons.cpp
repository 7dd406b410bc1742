#include "ui/widgets/wrapping_buttons.hpp"

#include <algorithm>
#include <limits>

#include <QCoreApplication>
#include <QPointer>
#include <QProxyStyle>
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

enum class CaptionFit { OneLine, Lines, Cut };

// Where the caption does not fit one line it breaks into more, in the control's own face; where those do
// not fit either, it is cut. The last line may lose the bottom of its descenders, as it always could.
CaptionFit captionFit(const QFontMetrics& metrics, const QRect& room, const QString& text) {
    if (metrics.boundingRect(room, Qt::TextShowMnemonic, text).width() <= room.width()) {
        return CaptionFit::OneLine;
    }
    const QRect lines = metrics.boundingRect(room, Qt::TextShowMnemonic | Qt::TextWordWrap, text);
    return lines.height() <= room.height() + metrics.descent() && lines.width() <= room.width()
               ? CaptionFit::Lines
               : CaptionFit::Cut;
}

// The part of the room inside every frame and window that holds the control: a control may reach past its
// window's edge, and a caption is whole only where it is seen.
QRect seenRoom(const QWidget& widget, QRect room) {
    QPoint origin;
    for (const QWidget* child = &widget; !child->isWindow() && child->parentWidget() != nullptr;
         child = child->parentWidget()) {
        origin += child->pos();
        room &= QRect(-origin, child->parentWidget()->size());
    }
    return room;
}

bool fitsOneLine(const QWidget& widget, const QString& text, const QRect& room) {
    return captionFit(widget.fontMetrics(), seenRoom(widget, room), text) == CaptionFit::OneLine;
}

// A caption that is cut is one line that ends in an ellipsis, which says more than cut-off lines.
void drawCaption(QStylePainter& painter, const QWidget& widget, const QRect& room, int alignment,
                 const QString& text, QPalette::ColorRole role) {
    const int flags = alignment | mnemonicFlag(widget);
    const QFontMetrics metrics = widget.fontMetrics();
    const QRect seen = seenRoom(widget, room);
    if (captionFit(metrics, seen, text) != CaptionFit::Cut) {
        painter.drawItemText(seen, flags | Qt::TextWordWrap, widget.palette(), widget.isEnabled(), text,
                             role);
        return;
    }
    painter.drawItemText(room, flags, widget.palette(), widget.isEnabled(),
                         metrics.elidedText(text, Qt::ElideRight, seen.width(), Qt::TextShowMnemonic), role);
}

// A check box or an option button may be lower than the style's indicator (the forms were made for a 13
// pixel one): the indicator shrinks to the control's height, and the gap after it grows by as much, so
// that the caption stays where the style puts it.
class FittingIndicatorStyle final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        switch (metric) {
        case PM_IndicatorWidth:
        case PM_IndicatorHeight:
        case PM_ExclusiveIndicatorWidth:
        case PM_ExclusiveIndicatorHeight:
            return std::min(QProxyStyle::pixelMetric(metric, option, widget), room(widget));
        case PM_CheckBoxLabelSpacing:
            return QProxyStyle::pixelMetric(metric, option, widget) + cut(PM_IndicatorWidth, option, widget);
        case PM_RadioButtonLabelSpacing:
            return QProxyStyle::pixelMetric(metric, option, widget) +
                   cut(PM_ExclusiveIndicatorWidth, option, widget);
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }

private:
    static int room(const QWidget* widget) {
        return widget != nullptr ? widget->height() : std::numeric_limits<int>::max();
    }
    int cut(PixelMetric width, const QStyleOption* option, const QWidget* widget) const {
        const int full = QProxyStyle::pixelMetric(width, option, widget);
        return full - std::min(full, room(widget));
    }
};

// One style for all such controls, gone with the application. Its base is a style of its own, as a proxy
// of the application's style would take that style over for every widget.
QStyle* fittingIndicatorStyle() {
    static QPointer<QStyle> style;
    if (style == nullptr) {
        style = new FittingIndicatorStyle;
        style->setParent(QCoreApplication::instance());
    }
    return style;
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
// wrapped or cut.
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

WrappingCheckBox::WrappingCheckBox(const QString& text, QWidget* parent)
    : QCheckBox(text, parent) {
    setStyle(fittingIndicatorStyle());
}

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

WrappingRadioButton::WrappingRadioButton(const QString& text, QWidget* parent)
    : QRadioButton(text, parent) {
    setStyle(fittingIndicatorStyle());
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

bool captionWhole(const QAbstractButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QCheckBox*>(&button) != nullptr) {
        contents = QStyle::SE_CheckBoxContents;
    } else if (qobject_cast<const QRadioButton*>(&button) != nullptr) {
        contents = QStyle::SE_RadioButtonContents;
    }
    const QRect room = button.style()->subElementRect(contents, &option, &button);
    return captionFit(button.fontMetrics(), seenRoom(button, room), button.text()) != CaptionFit::Cut;
}

bool WrappingCheckBox::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

} // namespace hotfix
