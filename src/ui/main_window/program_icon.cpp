#include "program_icon.hpp"

#include <QString>

namespace hotfix {

QIcon programIcon() {
    QIcon icon;
    // The fullest colour first: of two images of one size, the icon shows the first one added.
    for (const int depth : {24, 8, 4}) {
        for (const int size : {16, 32}) {
            icon.addFile(QStringLiteral(":/hotfix/icon/hotfix-%1-%2bit.png").arg(size).arg(depth),
                         QSize(size, size));
        }
    }
    return icon;
}

} // namespace hotfix
