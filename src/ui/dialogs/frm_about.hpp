#pragma once

#include <QDialog>
#include <QImage>

class QLabel;
class QPushButton;

namespace hotfix {

// The about box: title, version, a notice of who owns and who made the installer, and a picture. It is
// built at every opening and gone when it closes; Enter, Esc, OK and the close box all close it.
class frmAbout final : public QDialog {
    Q_OBJECT

public:
    explicit frmAbout(QWidget* parent = nullptr);

    void frmAbout_Form_Load();
    void frmAbout_cmdOK_Click();

    QPushButton* cmdOK = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* Picture1 = nullptr;

    // Light yellow.
    static constexpr QRgb kBackColor = 0xFFFFFFC0;

protected:
    // The etched rule above the button row.
    void paintEvent(QPaintEvent* event) override;
};

// The about box's picture: 95 x 40 pixels, 24-bit colour.
QImage aboutPicture();

} // namespace hotfix
