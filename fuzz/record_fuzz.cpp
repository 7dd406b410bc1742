// Any bytes as a package's install record, read as a restore reads it for a package of four listed files.
// Whatever the reader accepts must be what the installer itself could have written: every entry a listed
// destination under its install's root, its backup the destination's name and a suffix in the same folder,
// its temporary files the installer's own in the same folder, no control character anywhere. And whatever
// a restore would act on lies strictly below its install's roots, which are absolute and without dot
// folders; in a record naming the harness's own roots, below those: that is checked on the paths' text
// alone, without the path rule the reader itself uses.

#include "engine/file_lists.hpp"
#include "engine/record_history.hpp"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

namespace hotfix {
namespace {

constexpr std::string_view kIdentity = "0123456789abcdef";
// The roots of the seed records, and of the dictionary.
constexpr std::string_view kProductRoot = "C:\\Program Files\\Vantrel";
constexpr std::string_view kWindowsRoot = "C:\\WINNT";

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

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

// The parts between separators, blank-trimmed as Windows would match them.
bool holdsPart(std::string_view path, std::initializer_list<std::string_view> parts) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !isSeparator(path[end])) {
            ++end;
        }
        std::string_view part = path.substr(start, end - start);
        while (!part.empty() && part.front() == ' ') {
            part.remove_prefix(1);
        }
        while (!part.empty() && part.back() == ' ') {
            part.remove_suffix(1);
        }
        if (std::find(parts.begin(), parts.end(), part) != parts.end()) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool isAbsoluteWithoutDots(std::string_view root) {
    const bool drive = root.size() >= 3 && std::isalpha(static_cast<unsigned char>(root[0])) != 0 &&
                       root[1] == ':' && isSeparator(root[2]);
    return (drive || (!root.empty() && isSeparator(root[0]))) && !holdsPart(root, {".", ".."});
}

// Below the root by the text alone: the root, a separator unless the root ends in one, and something more.
// Either separator stands for the other, as on Windows.
bool liesBelow(std::string_view path, std::string_view root) {
    const auto same = [](char a, char b) {
        return a == b || (isSeparator(a) && isSeparator(b));
    };
    if (path.size() < root.size() || !std::equal(root.begin(), root.end(), path.begin(), same)) {
        return false;
    }
    std::string_view rest = path.substr(root.size());
    if (!isSeparator(root.back())) {
        if (rest.empty() || !isSeparator(rest.front())) {
            return false;
        }
        rest.remove_prefix(1);
    }
    return std::any_of(rest.begin(), rest.end(), [](char c) { return !isSeparator(c); });
}

// Windows drops the dots and blanks that end a name.
std::string_view asWindowsOpensIt(std::string_view path) {
    return path.substr(0, path.find_last_not_of(". ") + 1);
}

// Every path a restore would act on for the file: below the root, no ".." part, no control character, and
// no two of them the same file.
void checkReach(const RecordedFile& file, std::string_view root) {
    const std::string* paths[] = {&file.destination, &file.backup, &file.temporary, &file.backupTemporary};
    for (const std::string* path : paths) {
        if (path->empty()) {
            continue;
        }
        require(liesBelow(*path, root), "every path a restore acts on lies below its root");
        require(!holdsPart(*path, {".."}) && clean(*path),
                "no path a restore acts on leads up or holds a control character");
        for (const std::string* other : paths) {
            require(other == path || asWindowsOpensIt(*other) != asWindowsOpensIt(*path),
                    "no two of a file's paths are the same file");
        }
    }
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
        // A workstation may lack one root; then no file of the install lies on that side.
        const auto rootFits = [&install](const std::string& root, Side side) {
            if (!root.empty()) {
                return isAbsoluteWithoutDots(root);
            }
            return std::none_of(install.files.begin(), install.files.end(),
                                [side](const RecordedFile& file) { return file.side == side; });
        };
        require(rootFits(install.productRoot, Side::Product) &&
                    rootFits(install.windowsRoot, Side::Windows) &&
                    !(install.productRoot.empty() && install.windowsRoot.empty()),
                "every root is absolute, with no dot folder, or missing where no file lies on its side");
        require(!install.suffix.empty(), "a suffix is never empty");
        // Where the record names the harness's roots, the reach is measured from the harness's own.
        const bool ownRoots = install.productRoot == kProductRoot && install.windowsRoot == kWindowsRoot;
        for (const RecordedFile& file : install.files) {
            checkFile(install, file);
            const bool product = file.side == Side::Product;
            checkReach(file, ownRoots ? (product ? kProductRoot : kWindowsRoot)
                                      : (product ? install.productRoot : install.windowsRoot));
        }
    }
}

} // namespace
} // namespace hotfix

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    hotfix::readOne(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
