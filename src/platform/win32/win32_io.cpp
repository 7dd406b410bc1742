#include "platform/win32/win32_io.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace hotfix::win32 {

std::optional<DWORD> attributesOf(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return std::nullopt;
    }
    return attributes;
}

bool isFolder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isReadOnly(const std::wstring& path) {
    const auto attributes = attributesOf(path);
    return attributes && (*attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

std::optional<BY_HANDLE_FILE_INFORMATION> fileInformation(const std::wstring& path) {
    Handle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.valid() || !::GetFileInformationByHandle(file.get(), &info)) {
        return std::nullopt;
    }
    return info;
}

bool isSameFile(const std::wstring& a, const std::wstring& b) {
    const auto first = fileInformation(a);
    const auto second = first ? fileInformation(b) : std::nullopt;
    return second && first->dwVolumeSerialNumber == second->dwVolumeSerialNumber &&
           first->nFileIndexHigh == second->nFileIndexHigh && first->nFileIndexLow == second->nFileIndexLow;
}

bool copyToNew(const std::wstring& source, const std::wstring& target) {
    if (::CopyFileW(source.c_str(), target.c_str(), TRUE)) {
        return true;
    }
    const DWORD error = ::GetLastError();
    switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        // Nothing of ours was created.
        break;
    default:
        ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(target.c_str());
        break;
    }
    ::SetLastError(error);
    return false;
}

bool flushFile(const std::wstring& path, DWORD attributes) {
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !::SetFileAttributesW(path.c_str(), attributes & kNotReadOnly)) {
        return false;
    }
    Handle file(::CreateFileW(path.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    const bool flushed = file.valid() && ::FlushFileBuffers(file.get()) && file.close();
    const DWORD error = ::GetLastError();
    if (readOnly) {
        ::SetFileAttributesW(path.c_str(), attributes & kSettableAttributes);
    }
    ::SetLastError(error);
    return flushed;
}

bool flushFolder(const std::wstring& path) {
    Handle folder(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return folder.valid() && ::FlushFileBuffers(folder.get()) && folder.close();
}

bool heldByProgram(const std::wstring& path) {
    Handle file(::CreateFileW(path.c_str(), FILE_WRITE_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const DWORD error = file.valid() ? ERROR_SUCCESS : ::GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_USER_MAPPED_FILE;
}

bool writeAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

std::wstring withoutClosingSeparators(std::wstring path) {
    while (path.size() > 1 && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

std::optional<std::wstring> parentOf(const std::wstring& path) {
    const auto separator = path.find_last_of(L'\\');
    if (separator == std::wstring::npos || separator + 1 >= path.size()) {
        return std::nullopt;
    }
    std::wstring parent = path.substr(0, separator);
    if (!parent.empty() && parent.back() == L':') {
        parent.push_back(L'\\');
    }
    if (parent.empty() || parent == L"\\" || parent == L"\\\\?" || parent == L"\\\\.") {
        return std::nullopt;
    }
    return parent;
}

bool dropCutOffTail(HANDLE file) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size)) {
        return false;
    }
    std::array<char, 4096> block{};
    LONGLONG keep = 0;
    for (LONGLONG end = size.QuadPart; end > 0 && keep == 0;) {
        const LONGLONG start = std::max<LONGLONG>(0, end - static_cast<LONGLONG>(block.size()));
        const auto wanted = static_cast<DWORD>(end - start);
        LARGE_INTEGER at{};
        at.QuadPart = start;
        DWORD got = 0;
        if (!::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ||
            !::ReadFile(file, block.data(), wanted, &got, nullptr) || got != wanted) {
            return false;
        }
        for (DWORD i = wanted; i-- > 0;) {
            if (block[i] == '\n') {
                keep = start + i + 1;
                break;
            }
        }
        end = start;
    }
    LARGE_INTEGER at{};
    at.QuadPart = keep;
    if (keep != size.QuadPart &&
        (!::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !::SetEndOfFile(file))) {
        return false;
    }
    return ::SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_END) != 0;
}

Handle openItself(const std::wstring& path, DWORD access) {
    return Handle(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool isReparsePoint(HANDLE item) {
    BY_HANDLE_FILE_INFORMATION info{};
    return !::GetFileInformationByHandle(item, &info) ||
           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool renameIgnoringReadOnly(const std::wstring& source, const std::wstring& target) {
    Handle file(::CreateFileW(source.c_str(), DELETE | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) {
        return false;
    }
    const std::size_t size = offsetof(FILE_RENAME_INFO, FileName) + (target.size() + 1) * sizeof(wchar_t);
    std::vector<std::byte> buffer(size);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    const DWORD flags = kRenameReplaceIfExists | kRenameIgnoreReadOnly;
    std::memcpy(buffer.data(), &flags, sizeof flags);
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, target.c_str(), (target.size() + 1) * sizeof(wchar_t));
    return ::SetFileInformationByHandle(file.get(), static_cast<FILE_INFO_BY_HANDLE_CLASS>(kFileRenameInfoEx),
                                        info, static_cast<DWORD>(size)) != 0;
}

} // namespace hotfix::win32
