// Any bytes as a package's install record, read as a restore reads it for a package of four listed files.
// Whatever the reader accepts must be what the installer itself could have written: every entry a listed
// destination under its install's root, its backup the destination's name and a suffix in the same folder,
// its temporary files the installer's own in the same folder, no control character anywhere.

#include "engine/file_lists.hpp"
#include "engine/record_history.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

namespace hotfix {
namespace {

constexpr std::string_view kIdentity = "0123456789abcdef";

const std::vector<ListedItem>& items() {
    static const std::vector<ListedItem> listed = {
        {Side::Product, "bin\\", "core.dll"},
        {Side::Product, "\\", "readme.txt"},
        {Side::Product, "Vantrel\\lib\\", "engine.cfg"},
        {Side::Windows, "system32\\", "hook.dll"},
    };
    return listed;
}

void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

bool clean(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

std::string_view folderOf(std::string_view path) {
    return path.substr(0, path.find_last_of("\\/") + 1);
}

bool isListed(const RecordedInstall& install, const RecordedFile& file) {
    const std::string& root = file.side == Side::Product ? install.productRoot : install.windowsRoot;
    return std::any_of(items().begin(), items().end(), [&](const ListedItem& item) {
        return item.side == file.side && DestinationPath(root, item.folder, item.name) == file.destination;
    });
}

void checkTemporary(const std::string& temporary, const std::string& destination) {
    if (temporary.empty()) {
        return;
    }
    require(folderOf(temporary) == folderOf(destination), "a temporary file lies beside its destination");
    const std::string_view name = std::string_view(temporary).substr(folderOf(temporary).size());
    require(name.starts_with("~hotfix,") && name.ends_with(".tmp"),
            "a temporary file has the installer's name");
}

void checkFile(const RecordedInstall& install, const RecordedFile& file) {
    for (const std::string* field : {&file.destination, &file.temporary, &file.backup, &file.backupTemporary,
                                     &file.originalSha256, &file.newSha256}) {
        require(clean(*field), "no field holds a control character");
    }
    require(isListed(install, file), "every entry is a listed destination under its install's root");
    checkTemporary(file.temporary, file.destination);
    checkTemporary(file.backupTemporary, file.destination);
    if (!file.backup.empty()) {
        require(file.backup.starts_with(file.destination) && file.backup.size() > file.destination.size() &&
                    folderOf(file.backup) == folderOf(file.destination),
                "a backup is its destination's name and a suffix, in the same folder");
        require(file.backup.find_first_of("\\/", file.destination.size()) == std::string::npos,
                "a backup's suffix holds no separator");
    }
    if (file.journalled) {
        require(file.newSha256.size() == 64, "a journalled file has the new content's digest");
        require(file.added() ? file.backup.empty() : file.originalSha256.size() == 64,
                "a replaced file has its original's digest and a backup");
    }
}

void readOne(std::string_view input) {
    const auto read = readRecordHistory(input, kIdentity, items());
    if (const auto* refusal = std::get_if<RecordRefusal>(&read)) {
        require(refusal->line >= 1 && !refusal->why.empty(), "a refusal names its line and why");
        return;
    }
    const RecordHistory& history = std::get<RecordHistory>(read);
    require(history.toUndo.empty() || history.anyInstall, "installs to undo are installs of the record");
    for (const RecordedInstall& install : history.toUndo) {
        require(clean(install.productRoot) && clean(install.windowsRoot) && clean(install.suffix),
                "no root or suffix holds a control character");
        for (const RecordedFile& file : install.files) {
            checkFile(install, file);
        }
    }
}

} // namespace
} // namespace hotfix

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    hotfix::readOne(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
