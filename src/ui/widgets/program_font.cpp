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

// No smaller than this share of the asked size: text that small is read with effort, and a face that much
// wider than the installer's is better cut than unreadable.
constexpr int kMostQuarterPointsOff = 6;

// 0 until chosen.
qreal& chosenScale() {
    static qreal scale = 0.0;
    return scale;
}

} // namespace

// The installer's font where the machine has it, else a font of the same width (captions are laid out for
// it), else the toolkit's own.
QFont programFontAt(qreal pointSize, qreal scale) {
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
    font.setPointSizeF(pointSize * scale);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

QFont programFont(qreal pointSize) {
    return programFontAt(pointSize, programFontScale());
}

qreal programFontScale() {
    return chosenScale() > 0.0 ? chosenScale() : 1.0;
}

void fitProgramFont(const std::function<bool(qreal scale)>& captionsWhole) {
    if (chosenScale() > 0.0) {
        return;
    }
    qreal scale = 1.0;
    for (int quarters = 0; quarters <= kMostQuarterPointsOff; ++quarters) {
        scale = 1.0 - quarters * 0.25 / kBaseFontPointSize;
        if (captionsWhole(scale)) {
            break;
        }
    }
    chosenScale() = scale;
}

} // namespace hotfix
