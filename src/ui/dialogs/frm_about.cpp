#include "ui/dialogs/frm_about.hpp"

#include "engine/messages.hpp"
#include "ui/dialogs/window_placement.hpp"
#include "ui/widgets/label.hpp"
#include "ui/widgets/program_font.hpp"
#include "ui/widgets/twips.hpp"
#include "ui/widgets/window_flags.hpp"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

namespace hotfix {

namespace {

// Who owns and who made the installer, and where to write. Lines stand one empty line apart.
const char* const kNotice = "This installer belongs to Vantrel Software.\r\n\r\n"
                            "Designed and developed at Vantrel.\r\n\r\n"
                            "Write to us: hotfix@vantrel.example";

// Where the named face is missing, a Times-like serif keeps the title in its box.
QFont titleFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Serif"), QStringLiteral("Liberation Serif"),
                      QStringLiteral("Times New Roman"), QStringLiteral("DejaVu Serif")});
    font.setStyleHint(QFont::Serif);
    font.setPointSizeF(13.5);
    return font;
}

// The calligraphic face is narrow; a narrow italic stands in for it, or the version would not fit.
QFont versionFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Monotype Corsiva"), QStringLiteral("Z003"),
                      QStringLiteral("URW Chancery L"), QStringLiteral("Liberation Serif"),
                      QStringLiteral("Times New Roman")});
    font.setStyleHint(QFont::Cursive);
    font.setPointSizeF(9.0);
    font.setItalic(true);
    return font;
}

} // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral(" About Patch Installer"));
    setWindowFlags(fixedWindowFlags(Qt::Dialog));
    setFixedSize(twipsRect(0, 0, 4980, 2685).size());
    setFont(programFont(kBaseFontPointSize));
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor::fromRgb(kBackColor));
    setPalette(colours);
    setAutoFillBackground(true);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twipsRect(3765, 2265, 1140, 345));
    // Enter presses it as the default button, Esc as the cancel button (QDialog's reject).
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::frmAbout_cmdOK_Click);

    lblDescription =
        makeLabel(this, "lblDescription", QStringLiteral("a"), twipsRect(1050, 1005, 3765, 1170));
    lblDescription->setWordWrap(true);
    lblDisclaimer =
        makeLabel(this, "lblDisclaimer", QStringLiteral("Warning: ..."), twipsRect(135, 2265, 2430, 345));
    lblTitle =
        makeLabel(this, "lblTitle", QStringLiteral("Patch Installer"), twipsRect(1770, 240, 2445, 360));
    lblTitle->setFont(titleFont());
    lblVersion = makeLabel(this, "lblVersion", QStringLiteral("Version : 2005.05.01"),
                           twipsRect(1770, 660, 1605, 225));
    lblVersion->setFont(versionFont());

    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(twipsRect(120, 120, 1485, 660));
    Picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Picture1->setLineWidth(2);
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture1->setPixmap(QPixmap::fromImage(aboutPicture()));
    Picture1->setAccessibleName(QString::fromLatin1(messages::kAboutPictureName));
    // The picture box takes the focus after the button, as it always has.
    Picture1->setFocusPolicy(Qt::TabFocus);
    setTabOrder(cmdOK, Picture1);

    // Centred on the screen, not over the main window.
    const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        const QSize outer = parent != nullptr ? outerSize(*this, *parent->window()) : size();
        move(screen->geometry().center() - QPoint(outer.width() / 2, outer.height() / 2));
    }

    frmAbout_Form_Load();
}

void frmAbout::frmAbout_Form_Load() {
    lblDescription->setText(QString::fromLatin1(kNotice));
}

void frmAbout::frmAbout_cmdOK_Click() {
    accept();
}

void frmAbout::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // Grey over white, one pixel apart: an etched line that runs on past the right edge.
    QPainter painter(this);
    painter.fillRect(QRect(QPoint(90 / kTwipsPerPixel, 2205 / kTwipsPerPixel),
                           QPoint(5654 / kTwipsPerPixel, 2205 / kTwipsPerPixel)),
                     QColor(0x80, 0x80, 0x80));
    painter.fillRect(QRect(105 / kTwipsPerPixel, 2220 / kTwipsPerPixel, (5654 - 105) / kTwipsPerPixel + 1, 2),
                     Qt::white);
}

} // namespace hotfix
