#include "ui/main_window/main_window_services.hpp"

#include <QCoreApplication>
#include <QDateTime>

namespace hotfix {

LocalDateTime localNow() {
    const QDateTime now = QDateTime::currentDateTime();
    return {now.date().year(), now.date().month(), now.date().day(), now.time().hour(), now.time().minute()};
}

void endProgramNow() {
    // Not quit(): that would send every window a close request, and the question would be asked again.
    QCoreApplication::exit(0);
}

} // namespace hotfix
