#include "ui/main_window/qt_msg_box.hpp"

#include "ui/widgets/program_font.hpp"

#include <algorithm>

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

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
    case MsgResult::Abort:
        return QMessageBox::Abort;
    case MsgResult::Retry:
        return QMessageBox::Retry;
    case MsgResult::Ignore:
        return QMessageBox::Ignore;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButtons buttonsOf(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::AbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
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
    case MsgButtons::AbortRetryIgnore:
        return MsgResult::Abort;
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

// Centred frame on frame over the window it stands over, as Windows places its own boxes, and kept on that
// window's screen. Qt's own placement guesses the box's frame from the other windows' frames, which puts
// the box off centre where those frames are thin or reported oddly (Wine).
class CentredBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override {
        // The box takes its final size here, before it first appears.
        QMessageBox::showEvent(event);
        if (parentWidget() == nullptr || event->spontaneous()) {
            return;
        }
        const QWidget* const over = parentWidget()->window();
        const QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
        const QSize outer = size().grownBy(frame);
        QPoint place = over->frameGeometry().center() - QPoint(outer.width() / 2, outer.height() / 2);
        if (const QScreen* const screen = over->screen()) {
            const QRect room = screen->availableGeometry();
            place.setX(
                std::clamp(place.x(), room.left(), std::max(room.left(), room.right() + 1 - outer.width())));
            place.setY(
                std::clamp(place.y(), room.top(), std::max(room.top(), room.bottom() + 1 - outer.height())));
        }
        move(place);
    }
};

} // namespace

MsgResult QtMsgBox::show(const MsgBoxRequest& request) {
    QWidget* const parent = boxParent(m_owner);
    QString prompt = QString::fromStdString(request.prompt);
    prompt.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

    CentredBox box(toQt(request.icon), QString::fromStdString(request.shownTitle()), prompt,
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
    case QMessageBox::Abort:
        return MsgResult::Abort;
    case QMessageBox::Retry:
        return MsgResult::Retry;
    case QMessageBox::Ignore:
        return MsgResult::Ignore;
    default:
        return fallbackAnswer(request.buttons);
    }
}

} // namespace hotfix
