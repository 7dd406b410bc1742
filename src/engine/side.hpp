#pragma once

#include <array>
#include <string_view>

namespace hotfix {

// Every file of a hot fix belongs to one side: the product family's files or the Windows folder's.
enum class Side { Product, Windows };

inline constexpr std::array<Side, 2> kSides = {Side::Product, Side::Windows};

struct SideInfo {
    std::string_view listFile;      // joined to the program folder
    std::string_view packageFolder; // joined to the program folder
    std::string_view scriptName;    // joined to the program folder
};

constexpr SideInfo sideInfo(Side side) {
    return side == Side::Product
               ? SideInfo{"\\Setup\\InstallPatch.BLR", "\\Setup\\Vtrl\\", "\\Register.bat"}
               : SideInfo{"\\Setup\\InstallWinPatch.BLR", "\\Setup\\Othr\\", "\\RegisterWin.bat"};
}

} // namespace hotfix
