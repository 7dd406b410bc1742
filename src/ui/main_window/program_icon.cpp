#include "ui/main_window/program_icon.hpp"

#include <QPixmap>

namespace {
#include "ui/main_window/icon/hotfix-16-24bit.xpm"
#include "ui/main_window/icon/hotfix-16-4bit.xpm"
#include "ui/main_window/icon/hotfix-16-8bit.xpm"
#include "ui/main_window/icon/hotfix-32-24bit.xpm"
#include "ui/main_window/icon/hotfix-32-4bit.xpm"
#include "ui/main_window/icon/hotfix-32-8bit.xpm"
} // namespace

namespace hotfix {

QIcon programIcon() {
    QIcon icon;
    // The fullest colour first: of two images of one size, the icon shows the first one added.
    for (const char* const* image :
         {hotfix_16_24bit, hotfix_32_24bit, hotfix_16_8bit, hotfix_32_8bit, hotfix_16_4bit, hotfix_32_4bit}) {
        icon.addPixmap(QPixmap(image));
    }
    return icon;
}

} // namespace hotfix
