// Draws the program icon: a parcel with an arrow going into it, at 16 and 32 pixels, each in 16 colours,
// 256 colours and 24-bit colour. Writes one XPM per image (compiled into the program, read without any
// image plug-in) and hotfix.ico with all six (the Windows executable's icon resource). Run it again only
// when the artwork changes:
//   draw_icon <output folder>

#include <cstdint>
#include <cstdio>
#include <vector>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>

namespace {

enum class Depth { Colors16 = 4, Colors256 = 8, TrueColor = 24 };

struct Shades {
    QColor outline, top, front, side, tape, arrow, arrowShade;
};

// The sixteen colours every display could show.
const QList<QRgb> kVgaColors = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};

QList<QRgb> palette256() {
    QList<QRgb> colors;
    for (int r = 0; r < 6; ++r) {
        for (int g = 0; g < 6; ++g) {
            for (int b = 0; b < 6; ++b) {
                colors.append(qRgb(r * 51, g * 51, b * 51));
            }
        }
    }
    for (int grey = 1; grey <= 38; ++grey) {
        const int level = grey * 255 / 39;
        colors.append(qRgb(level, level, level));
    }
    colors.append(qRgb(192, 192, 192));
    return colors; // 255 entries: the last index of 256 is the transparent one
}

Shades shadesFor(Depth depth) {
    if (depth == Depth::Colors16) {
        return {QColor(0, 0, 0),   QColor(255, 255, 0), QColor(128, 128, 0), QColor(128, 0, 0),
                QColor(128, 0, 0), QColor(0, 255, 0),   QColor(0, 128, 0)};
    }
    return {QColor(40, 28, 12),  QColor(236, 200, 128), QColor(204, 152, 84), QColor(150, 100, 48),
            QColor(170, 60, 40), QColor(60, 200, 60),   QColor(20, 120, 30)};
}

// The artwork on a 32-unit grid.
void drawArt(QPainter& painter, int size, Depth depth) {
    const Shades shades = shadesFor(depth);
    const bool smooth = depth == Depth::TrueColor;
    painter.setRenderHint(QPainter::Antialiasing, smooth);
    painter.scale(size / 32.0, size / 32.0);
    QPen pen(shades.outline);
    pen.setWidthF(size == 16 ? 2.0 : 1.0);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);

    const QPolygonF top({{3, 15}, {10, 10}, {29, 10}, {22, 15}});
    const QPolygonF front({{3, 15}, {22, 15}, {22, 30}, {3, 30}});
    const QPolygonF side({{22, 15}, {29, 10}, {29, 25}, {22, 30}});
    painter.setBrush(shades.top);
    painter.drawPolygon(top);
    painter.setBrush(shades.front);
    painter.drawPolygon(front);
    painter.setBrush(shades.side);
    painter.drawPolygon(side);
    if (size == 32) {
        // Packing tape down the front.
        painter.setPen(Qt::NoPen);
        painter.setBrush(shades.tape);
        painter.drawRect(QRectF(11, 15.5, 3, 14));
        painter.setPen(pen);
    }

    QPainterPath arrow;
    arrow.moveTo(10, 1);
    arrow.lineTo(18, 1);
    arrow.lineTo(18, 8);
    arrow.lineTo(23, 8);
    arrow.lineTo(14, 18);
    arrow.lineTo(5, 8);
    arrow.lineTo(10, 8);
    arrow.closeSubpath();
    if (smooth) {
        QLinearGradient fill(QPointF(10, 0), QPointF(18, 0));
        fill.setColorAt(0, shades.arrow);
        fill.setColorAt(1, shades.arrowShade);
        painter.setBrush(fill);
    } else {
        painter.setBrush(shades.arrow);
    }
    painter.drawPath(arrow);
}

QImage drawImage(int size, Depth depth) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        drawArt(painter, size, depth);
    }
    if (depth == Depth::TrueColor) {
        return image;
    }
    // Exact palette colours, no dithering; pixels under half opacity become the transparent entry.
    QList<QRgb> colors = depth == Depth::Colors16 ? kVgaColors : palette256();
    QImage indexed(size, size, QImage::Format_Indexed8);
    QList<QRgb> table = colors;
    table.append(qRgba(0, 0, 0, 0));
    indexed.setColorTable(table);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const QRgb pixel = image.pixel(x, y);
            int best = static_cast<int>(colors.size()); // transparent
            if (qAlpha(pixel) >= 128) {
                long bestDistance = -1;
                for (int i = 0; i < colors.size(); ++i) {
                    const long dr = qRed(pixel) - qRed(colors[i]);
                    const long dg = qGreen(pixel) - qGreen(colors[i]);
                    const long db = qBlue(pixel) - qBlue(colors[i]);
                    const long distance = dr * dr + dg * dg + db * db;
                    if (bestDistance < 0 || distance < bestDistance) {
                        bestDistance = distance;
                        best = i;
                    }
                }
            }
            indexed.setPixel(x, y, static_cast<uint>(best));
        }
    }
    return indexed;
}

void put16(std::vector<unsigned char>& out, unsigned value) {
    out.push_back(static_cast<unsigned char>(value & 0xFF));
    out.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
}

void put32(std::vector<unsigned char>& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

bool transparentAt(const QImage& image, int x, int y) {
    return qAlpha(image.pixel(x, y)) < 128;
}

// One icon image as Windows keeps it: a bottom-up bitmap of twice the height (colour, then mask).
std::vector<unsigned char> iconBitmap(const QImage& image, Depth depth) {
    const int size = image.width();
    const int bits = static_cast<int>(depth);
    const int paletteSize = depth == Depth::TrueColor ? 0 : (1 << bits);
    const int colorStride = ((size * bits + 31) / 32) * 4;
    const int maskStride = ((size + 31) / 32) * 4;
    std::vector<unsigned char> out;
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(size));
    put32(out, static_cast<std::uint32_t>(size * 2));
    put16(out, 1);
    put16(out, static_cast<unsigned>(bits));
    put32(out, 0);
    put32(out, static_cast<std::uint32_t>((colorStride + maskStride) * size));
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    for (int i = 0; i < paletteSize; ++i) {
        const QRgb color = i < image.colorCount() - 1 ? image.color(i) : qRgb(0, 0, 0);
        out.push_back(static_cast<unsigned char>(qBlue(color)));
        out.push_back(static_cast<unsigned char>(qGreen(color)));
        out.push_back(static_cast<unsigned char>(qRed(color)));
        out.push_back(0);
    }
    for (int y = size - 1; y >= 0; --y) {
        std::vector<unsigned char> row(static_cast<std::size_t>(colorStride), 0);
        for (int x = 0; x < size; ++x) {
            const bool clear = transparentAt(image, x, y);
            if (depth == Depth::TrueColor) {
                const QRgb color = clear ? qRgb(0, 0, 0) : image.pixel(x, y);
                const auto at = static_cast<std::size_t>(x) * 3;
                row[at] = static_cast<unsigned char>(qBlue(color));
                row[at + 1] = static_cast<unsigned char>(qGreen(color));
                row[at + 2] = static_cast<unsigned char>(qRed(color));
            } else {
                const int index = clear ? 0 : image.pixelIndex(x, y);
                if (depth == Depth::Colors256) {
                    row[static_cast<std::size_t>(x)] = static_cast<unsigned char>(index);
                } else {
                    const auto at = static_cast<std::size_t>(x / 2);
                    row[at] = static_cast<unsigned char>(row[at] | (x % 2 == 0 ? index << 4 : index));
                }
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = size - 1; y >= 0; --y) {
        std::vector<unsigned char> row(static_cast<std::size_t>(maskStride), 0);
        for (int x = 0; x < size; ++x) {
            if (transparentAt(image, x, y)) {
                const auto at = static_cast<std::size_t>(x / 8);
                row[at] = static_cast<unsigned char>(row[at] | (0x80 >> (x % 8)));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

struct Entry {
    int size;
    Depth depth;
    QImage image;
};

// An XPM is C source: the program includes it and Qt reads it without looking for image plug-ins.
bool writeXpm(const QString& path, const QString& name, const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QList<QRgb> colors;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb pixel = qAlpha(argb.pixel(x, y)) < 128 ? 0 : (argb.pixel(x, y) | 0xFF000000U);
            if (!colors.contains(pixel)) {
                colors.append(pixel);
            }
        }
    }
    const QString symbols = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
    const int width = colors.size() <= symbols.size() ? 1 : 2;
    const auto code = [&](qsizetype index) {
        return width == 1 ? QString(symbols[index])
                          : QString(symbols[index / symbols.size()]) + symbols[index % symbols.size()];
    };
    QString text = QStringLiteral("/* XPM */\nstatic const char* const %1[] = {\n\"%2 %3 %4 %5\",\n")
                       .arg(name)
                       .arg(argb.width())
                       .arg(argb.height())
                       .arg(colors.size())
                       .arg(width);
    for (qsizetype i = 0; i < colors.size(); ++i) {
        const QString value = colors[i] == 0
                                  ? QStringLiteral("None")
                                  : QStringLiteral("#%1").arg(colors[i] & 0xFFFFFFU, 6, 16, QLatin1Char('0'));
        text += QStringLiteral("\"%1 c %2\",\n").arg(code(i), value);
    }
    for (int y = 0; y < argb.height(); ++y) {
        text += QLatin1Char('"');
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb pixel = qAlpha(argb.pixel(x, y)) < 128 ? 0 : (argb.pixel(x, y) | 0xFF000000U);
            text += code(colors.indexOf(pixel));
        }
        text += y + 1 < argb.height() ? QStringLiteral("\",\n") : QStringLiteral("\"};\n");
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text) &&
           file.write(text.toLatin1()) > 0;
}

bool writeIco(const QString& path, const std::vector<Entry>& entries) {
    std::vector<unsigned char> out;
    put16(out, 0);
    put16(out, 1);
    put16(out, static_cast<unsigned>(entries.size()));
    std::vector<std::vector<unsigned char>> bitmaps;
    bitmaps.reserve(entries.size());
    for (const Entry& entry : entries) {
        bitmaps.push_back(iconBitmap(entry.image, entry.depth));
    }
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        out.push_back(static_cast<unsigned char>(entries[i].size));
        out.push_back(static_cast<unsigned char>(entries[i].size));
        out.push_back(entries[i].depth == Depth::Colors16 ? 16 : 0);
        out.push_back(0);
        put16(out, 1);
        put16(out, static_cast<unsigned>(entries[i].depth));
        put32(out, static_cast<std::uint32_t>(bitmaps[i].size()));
        put32(out, offset);
        offset += static_cast<std::uint32_t>(bitmaps[i].size());
    }
    for (const auto& bitmap : bitmaps) {
        out.insert(out.end(), bitmap.begin(), bitmap.end());
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(reinterpret_cast<const char*>(out.data()), static_cast<qint64>(out.size())) ==
               static_cast<qint64>(out.size());
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_icon <output folder>\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    std::vector<Entry> entries;
    for (const int size : {16, 32}) {
        for (const Depth depth : {Depth::Colors16, Depth::Colors256, Depth::TrueColor}) {
            entries.push_back({size, depth, drawImage(size, depth)});
        }
    }
    for (const Entry& entry : entries) {
        const QString base =
            QStringLiteral("hotfix-%1-%2bit").arg(entry.size).arg(static_cast<int>(entry.depth));
        const QString symbol =
            QStringLiteral("hotfix_%1_%2bit").arg(entry.size).arg(static_cast<int>(entry.depth));
        if (!writeXpm(folder.filePath(base + QStringLiteral(".xpm")), symbol, entry.image)) {
            std::fprintf(stderr, "draw_icon: cannot write %s.xpm\n", qPrintable(base));
            return 1;
        }
    }
    if (!writeIco(folder.filePath(QStringLiteral("hotfix.ico")), entries)) {
        std::fprintf(stderr, "draw_icon: cannot write hotfix.ico\n");
        return 1;
    }
    return 0;
}
