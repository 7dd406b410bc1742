#include "engine/file_lists.hpp"

#include "engine/messages.hpp"
#include "engine/name_rules.hpp"
#include "engine/text.hpp"
#include "platform/ascii.hpp"
#include "platform/file_system.hpp"
#include "platform/msg_box.hpp"
#include "platform/package_text.hpp"

#include <algorithm>
#include <utility>

namespace hotfix {

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

// Windows opens these names as devices in any folder and with any extension: a copy "to" CON.dll writes to
// the console and reports success.
bool isDeviceName(std::string_view name) {
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.remove_suffix(1);
    }
    // From "CON" to "CONOUT$": a list's names are mostly longer, and are passed at once.
    if (base.size() < 3 || base.size() > 7) {
        return false;
    }
    std::string upper;
    for (const char c : base) {
        upper += asciiUpper(c);
    }
    if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" || upper == "CONIN$" ||
        upper == "CONOUT$") {
        return true;
    }
    if (upper.size() < 4 || (!upper.starts_with("COM") && !upper.starts_with("LPT"))) {
        return false;
    }
    // COM1 to COM9 and LPT1 to LPT9, and the superscript digits one to three that Windows takes for them.
    const std::string_view number = std::string_view(upper).substr(3);
    return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

// Gives the sink the item an entry names, split at its last "\"; false for an entry that names no file (a
// device name names none, and nothing of a hot fix lies outside its roots).
bool readEntry(Side side, std::string_view entry, FileListSink& sink) {
    const std::size_t slash = entry.rfind('\\');
    if (slash == std::string_view::npos) {
        return false;
    }
    const std::string_view name = trimEntry(entry.substr(slash + 1));
    const std::string_view folder = trimEntry(entry.substr(0, slash + 1));
    if (!isEntryPart(name) || !isEntryPart(folder) || isDeviceName(name)) {
        return false;
    }
    sink.addListItem(side, std::string(name), std::string(folder));
    return true;
}

} // namespace

bool LoadListFile(Side side, const ListFileContext& context, FileListSink& sink) {
    const std::string path = concat({context.programFolder, sideInfo(side).listFile});
    if (!context.fs.fileExists(path) && !context.fs.folderExists(path)) {
        return false;
    }
    // A folder of the list file's name is a list that cannot be read, not a missing one.
    std::optional<std::string> bytes =
        context.fs.fileExists(path) ? readWholeFile(context.fs, path) : std::nullopt;
    if (!bytes) {
        context.msgBox.show(messages::listFileUnreadable(path));
        return false;
    }
    const std::string content = decodeListFile(std::move(*bytes), context.codePages);
    const std::string_view text = content;
    if (trimEntry(text).empty()) {
        return true;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string_view entry = trimEntry(
            text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (!readEntry(side, entry, sink)) {
            if (context.badEntry) {
                const auto before = text.substr(0, static_cast<std::size_t>(entry.data() - text.data()));
                context.badEntry(path, static_cast<int>(std::count(before.begin(), before.end(), '\n')) + 1,
                                 entry);
            } else {
                context.msgBox.show(messages::badListEntry());
            }
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

std::string destinationFolder(std::string_view root, std::string_view folder) {
    std::string path = concat({root, "\\", headDroppedFolder(root, folder)});
    // A path that begins with two separators names a network share; the join must not make one of a root
    // such as "\" that names none.
    const bool rootIsNetworkPath = root.size() >= 2 && isSeparator(root[0]) && isSeparator(root[1]);
    if (!rootIsNetworkPath && path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        const std::size_t first = std::min(path.find_first_not_of("\\/"), path.size());
        path.erase(0, first - 1);
        path.front() = '\\';
    }
    return path;
}

std::string DestinationPath(std::string_view root, std::string_view folder, std::string_view name) {
    return destinationFolder(root, folder).append(name);
}

std::string SourcePath(std::string_view programFolder, Side side, std::string_view folder,
                       std::string_view name) {
    return concat({programFolder, sideInfo(side).packageFolder, folder, name});
}

} // namespace hotfix
