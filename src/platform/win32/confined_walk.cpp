#include "platform/win32/confined_walk.hpp"

#include "platform/win32/win32_path_resolver.hpp"

#include <windows.h>

namespace hotfix::win32 {

namespace {

std::wstring withoutClosingSeparators(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

// As Windows compares names: case aside, by the file system's own upper-case table.
bool sameIgnoringCase(const wchar_t* a, const wchar_t* b, std::size_t length) {
    return ::CompareStringOrdinal(a, static_cast<int>(length), b, static_cast<int>(length), TRUE) ==
           CSTR_EQUAL;
}

} // namespace

// Windows heeds a handle's sharing only where the handle may read, write or remove the data, so this one may
// read (list a folder) too: without FILE_SHARE_DELETE it then keeps everybody from renaming or removing the
// item while it is held.
OpenedItem openHeld(const std::wstring& path) {
    const HANDLE handle = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | FILE_READ_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return {nullptr, false, ::GetLastError()};
    }
    std::shared_ptr<void> hold(handle, [](void* held) { ::CloseHandle(held); });
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) {
        return {nullptr, false, ::GetLastError()};
    }
    return {std::move(hold), (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0, ERROR_SUCCESS};
}

void ConfinedWalk::confineBelow(std::vector<std::wstring> roots) {
    for (std::wstring& root : roots) {
        root = withoutClosingSeparators(withoutLongPrefix(std::move(root)));
    }
    const std::lock_guard lock(m_mutex);
    m_roots = std::move(roots);
}

std::size_t ConfinedWalk::belowRoot(const std::wstring& path) const {
    const std::wstring plain = withoutLongPrefix(path);
    // withoutLongPrefix changes the start of the path only.
    const std::size_t shift = path.size() - plain.size();
    std::size_t deepest = 0;
    bool found = false;
    for (const std::wstring& root : m_roots) {
        if (root.empty() || plain.size() < root.size() || (found && root.size() <= deepest) ||
            (plain.size() > root.size() && plain[root.size()] != L'\\') ||
            !sameIgnoringCase(plain.data(), root.data(), root.size())) {
            continue;
        }
        deepest = root.size();
        found = true;
    }
    return found ? shift + deepest : std::wstring::npos;
}

bool ConfinedWalk::openLevel(const std::wstring& item, Held& held) {
    OpenedItem opened = m_open(item);
    if (!opened.hold || opened.reparsePoint) {
        held.outcome = opened.hold ? Held::Outcome::Link : Held::Outcome::Failed;
        held.at = item;
        held.error = opened.error;
        held.holds.clear();
        return false;
    }
    held.holds.push_back(std::move(opened.hold));
    return true;
}

ConfinedWalk::Held ConfinedWalk::hold(const std::wstring& path, Reach reach) {
    const std::lock_guard lock(m_mutex);
    Held held;
    const std::wstring trimmed = withoutClosingSeparators(path);
    const std::size_t start = belowRoot(trimmed);
    if (start == std::wstring::npos) {
        return held;
    }
    for (std::size_t at = trimmed.find(L'\\', start + 1); at != std::wstring::npos;
         at = trimmed.find(L'\\', at + 1)) {
        if (!openLevel(trimmed.substr(0, at), held)) {
            return held;
        }
    }
    if (reach == Reach::LastName && trimmed.size() > start) {
        openLevel(trimmed, held);
    }
    return held;
}

} // namespace hotfix::win32
