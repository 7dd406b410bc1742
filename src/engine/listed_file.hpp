#pragma once

#include "engine/installer_window.hpp"
#include "engine/side.hpp"

#include <string>
#include <string_view>

namespace hotfix {

// One listed file as the run sees it.
struct ListedFile {
    Side side = Side::Product;
    int index = 0;
    std::string name;
    std::string folder;
    std::string destination;
    std::string source;
};

ListedFile listedFileAt(Side side, int index, const InstallerWindow& window, std::string_view programFolder);

} // namespace hotfix
