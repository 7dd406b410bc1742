#include "ui/main_window/qt_msg_box.hpp"

#include "ui/widgets/program_font.hpp"

#include <QApplication>
#include <QMessageBox>

namespace hotfix {

namespace {

QMessageBox::Icon toQt(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Critical:
        return QMessageBox::Critical;
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton toQt(MsgResult button) {
    switch (button) {
    case MsgResult::Ok:
        return QMessageBox::Ok;
    case MsgResult::Cancel:
        return QMessageBox::Cancel;
    case MsgResult::Yes:
        return QMessageBox::Yes;
    case MsgResult::No:
        return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButtons buttonsOf(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::Ok:
        break;
    }
    return QMessageBox::Ok;
}

// A box closed by no button of its own (the program ending under it) counts as the harmless answer.
MsgResult fallbackAnswer(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::OkCancel:
        return MsgResult::Cancel;
    case MsgButtons::YesNo:
        return MsgResult::No;
    case MsgButtons::Ok:
        break;
    }
    return MsgResult::Ok;
}

// The window the user works in: the owner, or a dialog open modally over it (the folder picker), which
// the owner cannot be used through. A box over a window that is not on screen yet (start-up) would open
// in the screen's corner: such a box has no parent.
QWidget* boxParent(QWidget* owner) {
    if (owner == nullptr || !owner->isVisible()) {
        return nullptr;
    }
    QWidget* const modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
        return owner;
    }
    // isAncestorOf stops at a window's edge, and the dialog is a window of its own.
    for (const QWidget* up = modal->parentWidget(); up != nullptr; up = up->parentWidget()) {
        if (up == owner) {
            return modal;
        }
    }
    return owner;
}

} // namespace

MsgResult QtMsgBox::show(const MsgBoxRequest& request) {
    QWidget* const parent = boxParent(m_owner);
    QString prompt = QString::fromStdString(request.prompt);
    prompt.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

    QMessageBox box(toQt(request.icon), QString::fromStdString(request.shownTitle()), prompt,
                    buttonsOf(request.buttons), parent);
    // Plain text always: a prompt that begins with a tag would otherwise be read as HTML.
    box.setTextFormat(Qt::PlainText);
    // A box takes no font from its owner.
    box.setFont(programFont(kBaseFontPointSize));
    box.setDefaultButton(toQt(request.defaultButton()));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();

    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok:
        return MsgResult::Ok;
    case QMessageBox::Cancel:
        return MsgResult::Cancel;
    case QMessageBox::Yes:
        return MsgResult::Yes;
    case QMessageBox::No:
        return MsgResult::No;
    default:
        return fallbackAnswer(request.buttons);
    }
}

} // namespace hotfix
