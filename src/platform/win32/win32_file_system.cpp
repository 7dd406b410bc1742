#include "platform/win32/win32_file_system.hpp"

#include "platform/compare_reading.hpp"
#include "platform/temporary_name.hpp"
#include "platform/text_codec.hpp"
#include "platform/win32/win32_io.hpp"
#include "platform/win32/win32_private_folder.hpp"
#include "platform/win32/win32_text.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>
#include <windows.h>

namespace hotfix::win32 {

Win32FileSystem::Win32FileSystem(SystemFolders folders)
    : Win32FileSystem(std::move(folders), openHeld) {}

Win32FileSystem::Win32FileSystem(SystemFolders folders, ItemOpener open)
    : m_paths(std::move(folders))
    , m_walk(std::move(open)) {}

void Win32FileSystem::confineBelow(std::span<const std::string> roots) {
    std::vector<std::wstring> natives;
    for (const std::string& root : roots) {
        if (auto native = m_paths.toNative(root)) {
            natives.push_back(std::move(*native));
        }
    }
    m_walk.confineBelow(std::move(natives));
}

ConfinedWalk::Held Win32FileSystem::confined(const std::optional<std::wstring>& native, Reach reach) {
    if (!native) {
        ConfinedWalk::Held refused;
        refused.outcome = ConfinedWalk::Held::Outcome::Failed;
        refused.error = ERROR_INVALID_NAME;
        ::SetLastError(ERROR_INVALID_NAME);
        return refused;
    }
    ConfinedWalk::Held held = m_walk.hold(*native, reach);
    if (!held) {
        ::SetLastError(held.outcome == ConfinedWalk::Held::Outcome::Link ? kErrorReparsePointEncountered
                                                                         : held.error);
    }
    return held;
}

FileError Win32FileSystem::refusal(const ConfinedWalk::Held& held) {
    if (held.outcome == ConfinedWalk::Held::Outcome::Link) {
        return linkRefusal(held.at);
    }
    return windowsError(held.outcome == ConfinedWalk::Held::Outcome::Failed ? held.error
                                                                            : ERROR_INVALID_NAME);
}

FileError Win32FileSystem::linkRefusal(const std::wstring& native) {
    ::SetLastError(kErrorReparsePointEncountered);
    return {static_cast<int>(kErrorReparsePointEncountered),
            narrow(withoutLongPrefix(native)) + " is a link or junction, which the installer never follows",
            false};
}

bool Win32FileSystem::fileExists(std::string_view path) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::Folders);
    const auto attributes = native && held ? attributesOf(*native) : std::nullopt;
    return attributes && !isFolder(*attributes);
}

bool Win32FileSystem::folderExists(std::string_view path) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::Folders);
    const auto attributes = native && held ? attributesOf(*native) : std::nullopt;
    return attributes && isFolder(*attributes);
}

std::optional<std::vector<std::string>> Win32FileSystem::subfolderNames(std::string_view path) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::Folders);
    if (!native || !held) {
        return std::nullopt;
    }
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = *native + L"\\*";
    const HANDLE search =
        ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    do {
        const std::wstring_view name = found.cFileName;
        // A junction to a folder is no folder of the installer's.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && name != L"." && name != L"..") {
            names.push_back(narrow(name));
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

bool Win32FileSystem::sameFile(std::string_view first, std::string_view second) {
    const auto a = m_paths.toNative(first);
    const auto b = m_paths.toNative(second);
    const auto heldA = confined(a, Reach::Folders);
    const auto heldB = heldA ? confined(b, Reach::Folders) : ConfinedWalk::Held{};
    return a && b && heldA && heldB && isSameFile(*a, *b);
}

std::optional<FileAttributes> Win32FileSystem::attributes(std::string_view path) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::Folders);
    const auto attributes = native && held ? attributesOf(*native) : std::nullopt;
    if (!attributes) {
        return std::nullopt;
    }
    return FileAttributes{static_cast<std::uint32_t>(*attributes)};
}

FileResult Win32FileSystem::setAttributes(std::string_view path, FileAttributes attributes) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::LastName);
    if (!held) {
        return refusal(held);
    }
    const DWORD settable = attributes.bits & kSettableAttributes;
    return resultOf(::SetFileAttributesW(native->c_str(), settable == 0 ? FILE_ATTRIBUTE_NORMAL : settable) !=
                    0);
}

FileResult Win32FileSystem::clearAttributes(std::string_view path) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::LastName);
    if (!held) {
        return refusal(held);
    }
    const auto attributes = attributesOf(*native);
    if (!attributes || isFolder(*attributes)) {
        return attributes ? windowsError(ERROR_ACCESS_DENIED) : lastWindowsError();
    }
    const DWORD kept = *attributes & kSettableAttributes & ~kClearedAttributes;
    return resultOf(::SetFileAttributesW(native->c_str(), kept == 0 ? FILE_ATTRIBUTE_NORMAL : kept) != 0);
}

FileResult Win32FileSystem::copyFileToNew(std::string_view from, std::string_view to) {
    const auto source = m_paths.toNative(from);
    const auto target = m_paths.toNative(to);
    // CopyFileW reads what a link at the source leads to.
    const auto heldSource = confined(source, Reach::LastName);
    if (!heldSource) {
        return refusal(heldSource);
    }
    const auto heldTarget = confined(target, Reach::Folders);
    if (!heldTarget) {
        return refusal(heldTarget);
    }
    return resultOf(copyToNew(*source, *target));
}

FileResult Win32FileSystem::resultOf(bool succeeded) {
    if (succeeded) {
        return {};
    }
    return lastWindowsError();
}

FileError Win32FileSystem::lastWindowsError() {
    return windowsError(::GetLastError());
}

FileError Win32FileSystem::windowsError(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message =
        length > 0 ? std::wstring(text, length) : L"Windows error " + std::to_wstring(code);
    ::LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    return {static_cast<int>(code), narrow(message), false};
}

FileSystem::LinkResult Win32FileSystem::linkFile(std::string_view existing, std::string_view newName) {
    const auto source = m_paths.toNative(existing);
    const auto target = m_paths.toNative(newName);
    const auto heldSource = confined(source, Reach::Folders);
    if (!heldSource) {
        return {LinkOutcome::Failed, refusal(heldSource)};
    }
    const auto heldTarget = confined(target, Reach::Folders);
    if (!heldTarget) {
        return {LinkOutcome::Failed, refusal(heldTarget)};
    }
    const auto attributes = attributesOf(*source);
    if (!attributes || isFolder(*attributes)) {
        return {LinkOutcome::Failed, attributes ? windowsError(ERROR_ACCESS_DENIED) : lastWindowsError()};
    }
    // A hard link of a symbolic link is a link too: it holds no bytes of its own. Such a file is backed up
    // as a copy.
    if ((*attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return {LinkOutcome::Unsupported, linkRefusal(*source)};
    }
    if (::CreateHardLinkW(target->c_str(), source->c_str(), nullptr)) {
        return {};
    }
    const FileError error = lastWindowsError();
    switch (error.code) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return {LinkOutcome::Failed, error};
    default:
        // FAT, network shares without links, a file at its link limit: the caller copies instead.
        return {LinkOutcome::Unsupported, error};
    }
}

FileResult Win32FileSystem::moveFile(std::string_view from, std::string_view to, Overwrite overwrite) {
    const auto source = m_paths.toNative(from);
    const auto target = m_paths.toNative(to);
    const auto heldSource = confined(source, Reach::Folders);
    if (!heldSource) {
        return refusal(heldSource);
    }
    const auto heldTarget = confined(target, Reach::Folders);
    if (!heldTarget) {
        return refusal(heldTarget);
    }
    if (overwrite == Overwrite::Never) {
        return resultOf(::MoveFileExW(source->c_str(), target->c_str(), MOVEFILE_WRITE_THROUGH) != 0);
    }
    const auto existing = attributesOf(*target);
    if (existing && isFolder(*existing)) {
        return windowsError(ERROR_ACCESS_DENIED);
    }
    // Windows replaces no read-only file the old way; the attribute, which a backup of the file may share, is
    // left alone where the system can, and lifted for the move and put back if the move fails elsewhere.
    const bool readOnly = existing && (*existing & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && renameIgnoringReadOnly(*source, *target)) {
        return {};
    }
    if (readOnly && !::SetFileAttributesW(target->c_str(), *existing & kSettableAttributes & kNotReadOnly)) {
        return lastWindowsError();
    }
    if (::MoveFileExW(source->c_str(), target->c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return {};
    }
    FileError error = lastWindowsError();
    // Windows refuses to replace a loaded library with "access denied", which a missing right gives too.
    error.inUse = heldByProgram(*target);
    if (readOnly) {
        ::SetFileAttributesW(target->c_str(), *existing & kSettableAttributes);
    }
    return error;
}

FileResult Win32FileSystem::flush(std::span<const std::string> paths) {
    // A name of a file that has others (a backup that is a hard link of the installed file), or of a file
    // that a running program holds, is made durable without opening the file for writing, which a program
    // that has it loaded refuses: the installer's bytes in it were on the disk before it got that name, and
    // NTFS commits names for the whole volume with any flush after them.
    std::vector<DWORD> flushedVolumes;
    std::vector<std::pair<DWORD, std::wstring>> namesOnly;
    for (const std::string& path : paths) {
        const auto native = m_paths.toNative(path);
        const auto held = confined(native, Reach::Folders);
        if (!held) {
            return refusal(held);
        }
        // A name's removal is in NTFS's journal, which Windows offers no call to flush for one folder; the
        // next write-through or flush of a file on the volume takes it along.
        const auto attributes = attributesOf(*native);
        if (!attributes) {
            const auto folder = parentOf(*native);
            if (!folder || !attributesOf(*folder)) {
                return folder ? lastWindowsError() : windowsError(ERROR_PATH_NOT_FOUND);
            }
            continue;
        }
        const auto info = fileInformation(*native);
        if (!info || isFolder(*attributes)) {
            return lastWindowsError();
        }
        if (info->nNumberOfLinks > 1) {
            namesOnly.emplace_back(info->dwVolumeSerialNumber, parentOf(*native).value_or(*native));
            continue;
        }
        if (!flushFile(*native, *attributes)) {
            if (::GetLastError() != ERROR_SHARING_VIOLATION) {
                return lastWindowsError();
            }
            namesOnly.emplace_back(info->dwVolumeSerialNumber, parentOf(*native).value_or(*native));
            continue;
        }
        flushedVolumes.push_back(info->dwVolumeSerialNumber);
    }
    for (const auto& [volume, folder] : namesOnly) {
        if (std::find(flushedVolumes.begin(), flushedVolumes.end(), volume) != flushedVolumes.end()) {
            continue;
        }
        if (!flushFolder(folder)) {
            return lastWindowsError();
        }
        flushedVolumes.push_back(volume);
    }
    return {};
}

FileResult Win32FileSystem::flushNames(std::span<const std::string> paths) {
    // One flush of each folder commits its new names; a folder that cannot be flushed so (no write access to
    // the folder itself) has each of its files flushed instead.
    std::vector<std::wstring> flushed;
    for (const std::string& path : paths) {
        const auto native = m_paths.toNative(path);
        const auto held = confined(native, Reach::Folders);
        if (!held) {
            return refusal(held);
        }
        const auto folder = parentOf(*native);
        if (!folder) {
            return windowsError(ERROR_INVALID_NAME);
        }
        if (std::find(flushed.begin(), flushed.end(), *folder) != flushed.end()) {
            continue;
        }
        if (flushFolder(*folder)) {
            flushed.push_back(*folder);
            continue;
        }
        if (FileResult flushedFile = flush(std::span<const std::string>(&path, 1)); !flushedFile) {
            return flushedFile;
        }
    }
    return {};
}

FileResult Win32FileSystem::removeName(std::string_view path) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::Folders);
    if (!held) {
        return refusal(held);
    }
    Handle file(::CreateFileW(native->c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) {
        return lastWindowsError();
    }
    const DWORD flags = kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly;
    return resultOf(::SetFileInformationByHandle(
                        file.get(), static_cast<FILE_INFO_BY_HANDLE_CLASS>(kFileDispositionInfoEx),
                        const_cast<DWORD*>(&flags), sizeof flags) != 0);
}

FileResult Win32FileSystem::deleteFile(std::string_view path) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::Folders);
    if (!held) {
        return refusal(held);
    }
    // Not forced: a read-only file stays.
    if (isReadOnly(*native)) {
        return windowsError(ERROR_ACCESS_DENIED);
    }
    return resultOf(::DeleteFileW(native->c_str()) != 0);
}

FileResult Win32FileSystem::createTextFile(std::string_view path) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::Folders);
    if (!held) {
        return refusal(held);
    }
    if (isReadOnly(*native)) {
        return windowsError(ERROR_FILE_EXISTS);
    }
    // CREATE_NEW: a file that is there, or appears meanwhile, is never emptied; it may be a running script.
    Handle file(::CreateFileW(native->c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        return lastWindowsError();
    }
    if (!file.close()) {
        const FileError error = lastWindowsError();
        ::DeleteFileW(native->c_str());
        return error;
    }
    return {};
}

FileResult Win32FileSystem::appendToFile(std::string_view path, std::string_view bytes) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::Folders);
    if (!held) {
        return refusal(held);
    }
    if (isReadOnly(*native)) {
        return windowsError(ERROR_ACCESS_DENIED);
    }
    // The file itself, never one that a link leads to.
    Handle file(::CreateFileW(native->c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr));
    if (file.valid() && isReparsePoint(file.get())) {
        return linkRefusal(*native);
    }
    return resultOf(file.valid() && writeAll(file.get(), bytes) && file.close());
}

bool Win32FileSystem::readFile(std::string_view path,
                               const std::function<void(std::span<const char>)>& sink) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::Folders);
    if (!native || !held) {
        return false;
    }
    Handle file(::CreateFileW(native->c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) {
        return false;
    }
    if (isReparsePoint(file.get())) {
        ::SetLastError(kErrorReparsePointEncountered);
        return false;
    }
    std::vector<char> buffer(std::size_t{256} * 1024);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        sink(std::span<const char>(buffer.data(), got));
    }
}

std::optional<bool> Win32FileSystem::sameBytes(std::string_view first, std::string_view second,
                                               ByteSink& firstSink) {
    // Each file itself, never one that a link leads to, opened from held folders.
    std::vector<ConfinedWalk::Held> folders;
    const auto open = [this, &folders](std::string_view path) {
        const auto native = m_paths.toNative(path);
        folders.push_back(confined(native, Reach::Folders));
        const HANDLE file =
            native && folders.back()
                ? ::CreateFileW(native->c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr)
                : INVALID_HANDLE_VALUE;
        if (file != INVALID_HANDLE_VALUE && isReparsePoint(file)) {
            ::CloseHandle(file);
            ::SetLastError(kErrorReparsePointEncountered);
            return INVALID_HANDLE_VALUE;
        }
        return file;
    };
    Handle a(open(first));
    Handle b(a.valid() ? open(second) : INVALID_HANDLE_VALUE);
    LARGE_INTEGER aSize{};
    LARGE_INTEGER bSize{};
    if (!b.valid() || !::GetFileSizeEx(a.get(), &aSize) || !::GetFileSizeEx(b.get(), &bSize)) {
        return std::nullopt;
    }
    const auto reader = [](HANDLE file, ReadUntil until) {
        return [file, until](char* buffer, std::size_t size) -> std::optional<std::size_t> {
            std::size_t done = 0;
            while (done < size) {
                DWORD got = 0;
                if (!::ReadFile(file, buffer + done, static_cast<DWORD>(size - done), &got, nullptr)) {
                    return std::nullopt;
                }
                done += got;
                if (got == 0 || until == ReadUntil::AnyBytes) {
                    break;
                }
            }
            return done;
        };
    };
    return compareReading(reader(a.get(), ReadUntil::AnyBytes), reader(b.get(), ReadUntil::AllAsked),
                          aSize.QuadPart == bSize.QuadPart, firstSink);
}

FileResult Win32FileSystem::createFolders(std::string_view path) {
    auto full = m_paths.toFullPath(path);
    if (!full) {
        return windowsError(ERROR_INVALID_NAME);
    }
    std::wstring folder = withoutClosingSeparators(std::move(*full));
    if (folder.size() >= kFolderPathLimit && !folder.starts_with(L"\\\\?\\") &&
        !folder.starts_with(L"\\\\.\\")) {
        folder = withLongPrefix(folder);
    }
    // The missing levels, found deepest first and made outermost first.
    std::vector<std::wstring> missing;
    std::optional<std::wstring> level = folder;
    while (level && !attributesOf(*level)) {
        missing.push_back(*level);
        level = parentOf(*level);
    }
    std::reverse(missing.begin(), missing.end());
    // Each level is made in a folder held from its root down, none of them a link, and is held itself
    // before the next is made in it: no junction can be swapped in for it meanwhile.
    std::vector<ConfinedWalk::Held> held;
    if (level) {
        held.push_back(confined(*level, Reach::LastName));
        if (!held.back()) {
            return refusal(held.back());
        }
    }
    for (const std::wstring& toMake : missing) {
        if (!::CreateDirectoryW(toMake.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            return lastWindowsError();
        }
        held.push_back(confined(toMake, Reach::LastName));
        if (!held.back()) {
            return refusal(held.back());
        }
    }
    const auto attributes = attributesOf(folder);
    if (!attributes || !isFolder(*attributes)) {
        return attributes ? windowsError(ERROR_DIRECTORY) : lastWindowsError();
    }
    return {};
}

FileResult Win32FileSystem::appendDurably(std::string_view path, std::string_view bytes) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::Folders);
    if (!held) {
        return refusal(held);
    }
    if (isReadOnly(*native)) {
        return windowsError(ERROR_ACCESS_DENIED);
    }
    // The file itself, never one that a link or junction leads to; one writer at a time.
    Handle file(::CreateFileW(native->c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file.valid() && isReparsePoint(file.get())) {
        return linkRefusal(*native);
    }
    return resultOf(file.valid() && dropCutOffTail(file.get()) && writeAll(file.get(), bytes) &&
                    ::FlushFileBuffers(file.get()) && file.close());
}

FileSystem::Privacy Win32FileSystem::privacyOfRefusal(const ConfinedWalk::Held& held) {
    if (held.outcome == ConfinedWalk::Held::Outcome::Link) {
        return Privacy::Link;
    }
    return held.error == ERROR_FILE_NOT_FOUND || held.error == ERROR_PATH_NOT_FOUND ? Privacy::Missing
                                                                                    : Privacy::Unknown;
}

FileSystem::Privacy Win32FileSystem::makePrivateFolder(std::string_view path) {
    const auto native = m_paths.toNative(path);
    if (!native) {
        return Privacy::Unknown;
    }
    const auto folders = confined(native, Reach::Folders);
    if (!folders) {
        return privacyOfRefusal(folders);
    }
    if (createPrivateFolder(*native)) {
        return privacy(path);
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
        return ::GetLastError() == ERROR_PATH_NOT_FOUND ? Privacy::Missing : Privacy::Unknown;
    }
    // A folder there already (an earlier version made it with the rights it inherited) gets the protection
    // when its owner is trusted.
    Handle folder = openItself(*native, READ_CONTROL | WRITE_DAC);
    if (!folder.valid()) {
        const Privacy found = privacy(path);
        return found == Privacy::Private ? Privacy::Unknown : found;
    }
    return protectFolder(folder.get());
}

FileSystem::Privacy Win32FileSystem::privacy(std::string_view path) {
    const auto native = m_paths.toNative(path);
    if (!native) {
        return Privacy::Unknown;
    }
    const auto held = confined(native, Reach::Folders);
    if (!held) {
        return privacyOfRefusal(held);
    }
    Handle item = openItself(*native, READ_CONTROL | FILE_READ_ATTRIBUTES);
    if (!item.valid()) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Privacy::Missing
                                                                              : Privacy::Unknown;
    }
    return privacyOf(item.get());
}

std::optional<std::string> Win32FileSystem::identity(std::string_view path) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::Folders);
    if (!native || !held) {
        return std::nullopt;
    }
    const auto found = fileInformation(*native);
    if (!found) {
        return std::nullopt;
    }
    const BY_HANDLE_FILE_INFORMATION& info = *found;
    // The file index may be given to a new file again where the file system keeps no sequence number in it;
    // the creation time tells such a file apart.
    return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
           std::to_string(info.nFileIndexLow) + ":" + std::to_string(info.ftCreationTime.dwHighDateTime) +
           ":" + std::to_string(info.ftCreationTime.dwLowDateTime);
}

} // namespace hotfix::win32
