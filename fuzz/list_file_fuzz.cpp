// Any bytes as a product list file, read by LoadListFile under a western and a double-byte code page, and
// every item it accepts mapped to its two paths.
// An input with a zero byte gives the root before it and the list file after it, so that the head rule
// meets roots of every shape too.

#include "engine/file_lists.hpp"
#include "engine/text.hpp"
#include "platform/file_system.hpp"
#include "platform/msg_box.hpp"
#include "platform/package_text.hpp"
#include "platform/posix/posix_code_page_codec.hpp"
#include "platform/text_codec.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace hotfix {
namespace {

constexpr std::string_view kProgramFolder = "C:\\Patch";
constexpr std::string_view kListPath = "C:\\Patch\\Setup\\InstallPatch.BLR";

// Holds the one list file's bytes in memory, as the disk would: all the list loader reads through.
class ListFileOnly final : public FileReader {
public:
    explicit ListFileOnly(std::string_view bytes)
        : m_bytes(bytes) {}

    bool fileExists(std::string_view path) override { return path == kListPath; }
    bool folderExists(std::string_view) override { return false; }
    bool readFile(std::string_view path, const std::function<void(std::span<const char>)>& sink) override {
        if (path != kListPath) {
            return false;
        }
        sink(std::span<const char>(m_bytes.data(), m_bytes.size()));
        return true;
    }

private:
    std::string_view m_bytes;
};

class CountingMsgBox final : public MsgBox {
public:
    MsgResult show(const MsgBoxRequest& request) override {
        ++badEntries;
        if (request.prompt != "error" || request.icon != MsgIcon::None || request.title) {
            std::fprintf(stderr, "unexpected box: %s\n", request.prompt.c_str());
            std::abort();
        }
        return MsgResult::Ok;
    }
    std::size_t badEntries = 0;
};

class Items final : public FileListSink {
public:
    void addListItem(Side side, std::string_view name, std::string_view folder) override {
        if (side != Side::Product) {
            std::abort();
        }
        items.emplace_back(name, folder);
    }
    std::vector<std::pair<std::string, std::string>> items;
};

void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

bool isControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == '\x7f';
}

bool isTrimmed(std::string_view text) {
    return trimEntry(text) == text;
}

void checkPaths(std::string_view root, const std::string& name, const std::string& folder) {
    const std::string destination = DestinationPath(root, folder, name);
    const std::string_view dropped = headDroppedFolder(root, folder);
    require(folder.ends_with(dropped), "the head rule only drops the folder's head");
    require(dropped.size() == folder.size() || dropped.starts_with('\\'),
            "a folder without its head begins with a separator");
    // The join begins with two separators, a network path, only where the root itself does.
    std::string joined = concat({root, "\\", dropped});
    const auto separator = [](char c) {
        return c == '\\' || c == '/';
    };
    if (!(root.size() >= 2 && separator(root[0]) && separator(root[1])) && joined.size() >= 2 &&
        separator(joined[0]) && separator(joined[1])) {
        joined.erase(0, std::min(joined.find_first_not_of("\\/"), joined.size()) - 1);
        joined.front() = '\\';
    }
    joined += name;
    require(destination == joined, "destination is root, \\, folder, name");
    require(SourcePath(kProgramFolder, Side::Product, folder, name) ==
                concat({kProgramFolder, "\\Setup\\Vtrl\\", folder, name}),
            "source keeps the folder as listed");
}

void readOne(std::string_view input, const CodePageCodec& codePages) {
    std::string_view root = "C:\\Program Files\\Vantrel";
    std::string_view list = input;
    if (const std::size_t zero = input.find('\0'); zero != std::string_view::npos) {
        root = input.substr(0, zero);
        list = input.substr(zero + 1);
    }
    ListFileOnly fs(list);
    CountingMsgBox boxes;
    Items sink;
    require(LoadListFile(Side::Product, {kProgramFolder, fs, boxes, codePages}, sink),
            "an existing list file is read");

    // The one decoder the program uses, under a western and a double-byte code page.
    const std::string content = decodeListFile(std::string(list), codePages);
    require(isValidUtf8(content), "a list file decodes to UTF-8");
    const std::size_t entries =
        trimEntry(content).empty()
            ? 0
            : static_cast<std::size_t>(std::count(content.begin(), content.end(), ',')) + 1;
    require(sink.items.size() + boxes.badEntries == entries, "every entry is an item or one error box");
    for (const auto& [name, folder] : sink.items) {
        require(folder.ends_with('\\'), "a folder ends with a separator");
        require(name.find_first_of("\\/") == std::string::npos && folder.find('/') == std::string::npos,
                "a name holds no separator, and a folder separates its parts with \\ alone");
        require(std::none_of(name.begin(), name.end(), isControl) &&
                    std::none_of(folder.begin(), folder.end(), isControl),
                "no item holds a control character");
        require(name != ".." && folder.find("\\..\\") == std::string::npos && !folder.starts_with("..\\"),
                "no item leads up out of its root");
        require(name.find(',') == std::string::npos && folder.find(',') == std::string::npos,
                "no item holds a comma");
        require(isTrimmed(name) && isTrimmed(folder), "items are trimmed");
        checkPaths(root, name, folder);
    }
}

} // namespace
} // namespace hotfix

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const hotfix::posix::PosixCodePageCodec western({1252, 437});
    static const hotfix::posix::PosixCodePageCodec japanese({932, 932});
    // Bytes, whatever their value, are read as chars.
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    hotfix::readOne(input, western);
    hotfix::readOne(input, japanese);
    return 0;
}
