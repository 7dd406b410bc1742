#include "ui/dialogs/modal.hpp"

#include <memory>

#include <QApplication>
#include <QTest>
#include <QTimer>

namespace hotfix::test {

void whenModal(std::function<void(QWidget&)> action) {
    auto pending = std::make_shared<std::function<void(QWidget&)>>(std::move(action));
    auto* poll = new QTimer(qApp);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, pending] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        (*pending)(*modal);
    });
    poll->start();
}

void pressKey(QWidget& window, Qt::Key key) {
    QWidget* focus = window.focusWidget();
    QTest::keyClick(focus != nullptr ? focus : &window, key);
}

} // namespace hotfix::test
