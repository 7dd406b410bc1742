#include "ui/widgets/program_font.hpp"

#include <QApplication>
#include <QFontDatabase>
#include <QStringList>

namespace hotfix {

// The installer's font where the machine has it, else a font of the same width (captions are laid out for
// it), else the toolkit's own.
QFont programFont(qreal pointSize) {
    static const QString family = [] {
        // One look at the installed families: asking for each candidate by name makes the font system
        // resolve it as an alias, which cost more than the rest of the window's start.
        const QStringList installed = QFontDatabase::families();
        for (const char* candidate : {"MS Sans Serif", "Microsoft Sans Serif", "Arial", "Liberation Sans"}) {
            if (installed.contains(QLatin1String(candidate), Qt::CaseInsensitive)) {
                return QString::fromLatin1(candidate);
            }
        }
        return QApplication::font().family();
    }();
    QFont font(family);
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

} // namespace hotfix
