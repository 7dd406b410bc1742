#include "ui/widgets/program_font.hpp"

#include <array>

#include <QApplication>
#include <QFontDatabase>
#include <QStringList>

namespace hotfix {

namespace {

// Windows asks for the TrueType twin of the installer's face first: the same widths, but it scales, where
// the bitmap "MS Sans Serif" has a few fixed sizes and looks ragged at 150 %. Elsewhere "MS Sans Serif" is
// a TrueType face whenever it is there at all.
#ifdef _WIN32
constexpr std::array kFaces{"Microsoft Sans Serif", "MS Sans Serif", "Arial", "Liberation Sans"};
#else
constexpr std::array kFaces{"MS Sans Serif", "Microsoft Sans Serif", "Arial", "Liberation Sans"};
#endif

} // namespace

// The installer's font where the machine has it, else a font of the same width (captions are laid out for
// it), else the toolkit's own.
QFont programFont(qreal pointSize) {
    static const QString family = [] {
        // One look at the installed families: asking for each candidate by name makes the font system
        // resolve it as an alias, which cost more than the rest of the window's start.
        const QStringList installed = QFontDatabase::families();
        for (const char* candidate : kFaces) {
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
