#include "engine/listed_file.hpp"

#include "engine/file_lists.hpp"

namespace hotfix {

ListedFile listedFileAt(Side side, int index, const InstallerWindow& window, std::string_view programFolder) {
    ListedFile file{side, index, window.itemName(side, index), window.itemFolder(side, index), {}, {}};
    file.destination = DestinationPath(window.rootText(side), file.folder, file.name);
    file.source = SourcePath(programFolder, side, file.folder, file.name);
    return file;
}

} // namespace hotfix
