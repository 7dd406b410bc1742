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

bool fitsOneLine(const QWidget& widget, const QString& text, const QRect& room) {
    return widget.fontMetrics().boundingRect(room, Qt::TextShowMnemonic, text).width() <= room.width();
}

// Where the caption does not fit one line it breaks into more, in the control's own face; where those do
// not fit either, one line that ends in an ellipsis says more than cut-off lines.
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

bool WrappingCheckBox::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

} // namespace hotfix
