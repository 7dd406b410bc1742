#include "file_lists.hpp"

#include "platform/file_system.hpp"
#include "platform/msg_box.hpp"
#include "text.hpp"

namespace hotfix {

namespace {

void showBadEntry(MsgBox& msgBox) {
    msgBox.show({"error", MsgButtons::Ok, MsgIcon::None, std::nullopt});
}

} // namespace

bool LoadListFile(Side side, const ListFileContext& context, FileListSink& sink) {
    const std::string path = concat({context.programFolder, sideInfo(side).listFile});
    if (!context.fs.fileExists(path)) {
        return false;
    }
    const std::optional<std::string> content = context.fs.readTextFile(path);
    if (!content) {
        context.msgBox.show(
            {concat({"File ''", path, "'' could not be read"}), MsgButtons::Ok, MsgIcon::Critical, "Error"});
        return false;
    }
    const std::string_view text = *content;
    if (trimEntry(text).empty()) {
        return true;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string_view entry = trimEntry(
            text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        const std::size_t slash = entry.rfind('\\');
        if (slash == std::string_view::npos) {
            showBadEntry(context.msgBox);
        } else {
            sink.addListItem(side, std::string(trimEntry(entry.substr(slash + 1))),
                             std::string(trimEntry(entry.substr(0, slash + 1))));
        }
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    return true;
}

std::string_view lastFolderName(std::string_view root) {
    if (const std::size_t slash = root.rfind('\\'); slash != std::string_view::npos) {
        return root.substr(slash + 1);
    }
    if (const std::size_t slash = root.rfind('/'); slash != std::string_view::npos) {
        return root.substr(slash + 1);
    }
    return root;
}

std::string_view headDroppedFolder(std::string_view root, std::string_view folder) {
    const std::size_t headEnd = folder.find('\\');
    const std::string_view head =
        folder.substr(0, headEnd == std::string_view::npos ? folder.size() : headEnd);
    return head == lastFolderName(root) ? folder.substr(head.size()) : folder;
}

std::string DestinationFolder(std::string_view root, std::string_view folder) {
    return concat({root, "\\", headDroppedFolder(root, folder)});
}

std::string DestinationPath(std::string_view root, std::string_view folder, std::string_view name) {
    return DestinationFolder(root, folder).append(name);
}

std::string SourcePath(std::string_view programFolder, Side side, std::string_view folder,
                       std::string_view name) {
    return concat({programFolder, sideInfo(side).packageFolder, folder, name});
}

} // namespace hotfix
