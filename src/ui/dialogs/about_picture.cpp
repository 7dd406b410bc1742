// The about box's picture: a cog with a sticking plaster across it, and the words HOT FIX, on an evening
// blue. Drawn here rather than shipped as a file, so the artwork stays reviewable as code.

#include "ui/dialogs/frm_about.hpp"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace hotfix {

namespace {

QPainterPath cog(QPointF centre, double outer, double inner, double hole, int teeth) {
    QPainterPath path;
    const double step = 2.0 * M_PI / teeth;
    for (int tooth = 0; tooth < teeth; ++tooth) {
        const double start = tooth * step;
        // Each tooth: up the flank, across the top, down the flank, along the root.
        const double angles[] = {start, start + step * 0.12, start + step * 0.42, start + step * 0.54};
        const double radii[] = {inner, outer, outer, inner};
        for (int i = 0; i < 4; ++i) {
            const QPointF point(centre.x() + radii[i] * std::cos(angles[i]),
                                centre.y() + radii[i] * std::sin(angles[i]));
            if (tooth == 0 && i == 0) {
                path.moveTo(point);
            } else {
                path.lineTo(point);
            }
        }
    }
    path.closeSubpath();
    path.addEllipse(centre, hole, hole);
    return path;
}

} // namespace

QImage aboutPicture() {
    QImage image(95, 40, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, 40);
    sky.setColorAt(0.0, QColor(24, 48, 112));
    sky.setColorAt(1.0, QColor(72, 128, 200));
    painter.fillRect(image.rect(), sky);

    const QPointF centre(22.0, 20.0);
    QLinearGradient steel(8, 6, 36, 34);
    steel.setColorAt(0.0, QColor(236, 238, 242));
    steel.setColorAt(1.0, QColor(128, 136, 150));
    painter.setPen(QPen(QColor(40, 44, 56), 1.0));
    painter.setBrush(steel);
    painter.drawPath(cog(centre, 16.5, 12.5, 4.5, 9));

    // The plaster, across the cog from lower left to upper right.
    painter.save();
    painter.translate(centre);
    painter.rotate(-35.0);
    painter.setPen(QPen(QColor(150, 100, 60), 1.0));
    painter.setBrush(QColor(232, 184, 136));
    painter.drawRoundedRect(QRectF(-19.0, -5.5, 38.0, 11.0), 5.0, 5.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(250, 236, 214));
    painter.drawRect(QRectF(-6.0, -4.0, 12.0, 8.0));
    painter.setBrush(QColor(196, 144, 100));
    for (const double x : {-15.0, -11.0, 11.0, 15.0}) {
        for (const double y : {-2.0, 2.0}) {
            painter.drawEllipse(QPointF(x, y), 0.8, 0.8);
        }
    }
    painter.restore();

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(14);
    painter.setFont(font);
    const QRectF words(42.0, 3.0, 51.0, 34.0);
    painter.setPen(QColor(8, 16, 48));
    painter.drawText(words.translated(1.0, 1.0), Qt::AlignCenter, QStringLiteral("HOT\nFIX"));
    painter.setPen(QColor(255, 236, 150));
    painter.drawText(words, Qt::AlignCenter, QStringLiteral("HOT\nFIX"));
    painter.end();

    return image.convertToFormat(QImage::Format_RGB888);
}

} // namespace hotfix
