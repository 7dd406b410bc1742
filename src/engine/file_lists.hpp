#pragma once

#include "engine/side.hpp"
#include "platform/code_page_codec.hpp"
#include "platform/file_system.hpp"

#include <functional>
#include <string>
#include <string_view>

namespace hotfix {

class MsgBox;

// Receives a side's items as a list file is read; the main window's list boxes are the only copy.
class FileListSink {
public:
    virtual ~FileListSink() = default;
    virtual void addListItem(Side side, std::string_view name, std::string_view folder) = 0;
};

struct ListFileContext {
    std::string_view programFolder;
    FileReader& fs;
    MsgBox& msgBox;
    const CodePageCodec& codePages;
    // Where set, told of each entry that names no file (the list's path, the entry's line counted from 1,
    // and its text) instead of the window's box, which names none.
    std::function<void(std::string_view path, int line, std::string_view entry)> badEntry = {};
};

// Reads the side's list file into the sink, in file order. False when the side has no list file, or when
// it cannot be read (then a box says which file).
bool LoadListFile(Side side, const ListFileContext& context, FileListSink& sink);

// The last folder name of a root: the text after its last "\"; a root with no "\" at all gives the text
// after its last "/", or its whole text.
std::string_view lastFolderName(std::string_view root);

// The item's folder with its head dropped where the head repeats the root's last folder name.
std::string_view headDroppedFolder(std::string_view root, std::string_view folder);

// The folder an item is installed into: the root, "\" and the folder with its head dropped.
std::string destinationFolder(std::string_view root, std::string_view folder);
std::string DestinationPath(std::string_view root, std::string_view folder, std::string_view name);
std::string SourcePath(std::string_view programFolder, Side side, std::string_view folder,
                       std::string_view name);

} // namespace hotfix
