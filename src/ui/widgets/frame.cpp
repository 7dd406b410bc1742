#include "ui/widgets/frame.hpp"

#include <utility>

#include <QPainter>

namespace hotfix {

Frame::Frame(QString title, QWidget* parent)
    : QWidget(parent)
    , m_title(std::move(title)) {}

void Frame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const QRect line = rect().adjusted(0, metrics.height() / 2, -1, -1);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(line.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(line.adjusted(1, 1, 0, 0));

    const QRect caption(7, 0, metrics.horizontalAdvance(m_title) + 2, metrics.height());
    painter.fillRect(caption, palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(caption.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     m_title);
}

} // namespace hotfix
