#include "platform/win32/win32_files_in_use.hpp"

#include "platform/win32/win32_text.hpp"

#include <algorithm>
#include <windows.h>
// After windows.h, whose types it uses.
#include <restartmanager.h>

namespace hotfix::win32 {

namespace {

constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
// Windows writes to the second list once the first has grown past what it keeps in one value.
constexpr const wchar_t* kPendingValues[] = {L"PendingFileRenameOperations", L"PendingFileRenameOperations2"};
constexpr wchar_t kRunOnce[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr std::wstring_view kNtPrefix = L"\\??\\";

// Closes the key it holds on every path out of a function.
class Key {
public:
    Key(const wchar_t* path, REGSAM access) {
        m_status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access | KEY_WOW64_64KEY, &m_key);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (m_status == ERROR_SUCCESS) {
            ::RegCloseKey(m_key);
        }
    }
    HKEY get() const { return m_key; }
    LSTATUS status() const { return m_status; }

private:
    HKEY m_key = nullptr;
    LSTATUS m_status;
};

// A REG_MULTI_SZ value's text with its closing empty string; nothing where the value is missing or
// unreadable.
std::optional<std::wstring> readMultiString(HKEY key, const wchar_t* name) {
    for (;;) {
        DWORD type = 0;
        DWORD size = 0;
        if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            type != REG_MULTI_SZ) {
            return std::nullopt;
        }
        std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LSTATUS status =
            ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got);
        if (status == ERROR_MORE_DATA) {
            continue; // it grew meanwhile
        }
        if (status != ERROR_SUCCESS) {
            return std::nullopt;
        }
        text.resize(got / sizeof(wchar_t));
        return text;
    }
}

bool samePath(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

} // namespace

std::vector<PendingRename> parsePendingRenames(std::wstring_view multiString) {
    std::vector<std::wstring> strings;
    std::size_t start = 0;
    while (start < multiString.size()) {
        const std::size_t end = std::min(multiString.find(L'\0', start), multiString.size());
        strings.emplace_back(multiString.substr(start, end - start));
        start = end + 1;
    }
    // The list ends with an empty string, which is no source; a removal's empty target is kept.
    while (strings.size() % 2 != 0 && !strings.empty() && strings.back().empty()) {
        strings.pop_back();
    }
    std::vector<PendingRename> renames;
    for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
        renames.push_back({strings[i], strings[i + 1]});
    }
    return renames;
}

std::wstring joinPendingRenames(const std::vector<PendingRename>& renames) {
    std::wstring text;
    for (const PendingRename& each : renames) {
        text += each.from;
        text += L'\0';
        text += each.to;
        text += L'\0';
    }
    text += L'\0';
    return text;
}

std::wstring win32PathOfPending(std::wstring_view ntPath) {
    if (ntPath.starts_with(L'!')) {
        ntPath.remove_prefix(1);
    }
    if (ntPath.starts_with(kNtPrefix)) {
        ntPath.remove_prefix(kNtPrefix.size());
    }
    return std::wstring(ntPath);
}

std::vector<PendingRename> pendingRenames() {
    std::vector<PendingRename> renames;
    Key key(kSessionManager, KEY_QUERY_VALUE);
    for (const wchar_t* value : kPendingValues) {
        const std::optional<std::wstring> text =
            key.status() == ERROR_SUCCESS ? readMultiString(key.get(), value) : std::nullopt;
        for (PendingRename& each : text ? parsePendingRenames(*text) : std::vector<PendingRename>{}) {
            renames.push_back(std::move(each));
        }
    }
    return renames;
}

Win32FilesInUse::Win32FilesInUse(SystemFolders folders)
    : m_paths(std::move(folders)) {}

Win32FilesInUse::~Win32FilesInUse() {
    if (m_closing) {
        ::RmEndSession(*m_closing);
    }
}

std::optional<std::wstring> Win32FilesInUse::fullPath(std::string_view path) const {
    auto full = m_paths.toFullPath(path);
    if (!full) {
        return std::nullopt;
    }
    return withoutLongPrefix(std::move(*full));
}

std::optional<unsigned long> Win32FilesInUse::startSession(std::span<const std::string> paths) {
    std::vector<std::wstring> files;
    for (const std::string& path : paths) {
        if (auto full = fullPath(path)) {
            files.push_back(std::move(*full));
        }
    }
    std::vector<LPCWSTR> names;
    names.reserve(files.size());
    for (const std::wstring& file : files) {
        names.push_back(file.c_str());
    }
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (names.empty() || ::RmStartSession(&session, 0, key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    if (::RmRegisterResources(session, static_cast<UINT>(names.size()), names.data(), 0, nullptr, 0,
                              nullptr) != ERROR_SUCCESS) {
        ::RmEndSession(session);
        return std::nullopt;
    }
    return session;
}

std::vector<FilesInUse::Holder> Win32FilesInUse::holders(std::span<const std::string> paths) {
    const std::optional<unsigned long> session = startSession(paths);
    if (!session) {
        return {};
    }
    std::vector<RM_PROCESS_INFO> found(8);
    UINT needed = 0;
    UINT count = static_cast<UINT>(found.size());
    DWORD reasons = 0;
    DWORD status = ERROR_MORE_DATA;
    // The list may grow between the calls.
    for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
        count = static_cast<UINT>(found.size());
        status = ::RmGetList(*session, &needed, &count, found.data(), &reasons);
        if (status == ERROR_MORE_DATA) {
            found.resize(needed + 4);
        }
    }
    ::RmEndSession(*session);
    std::vector<Holder> holders;
    if (status != ERROR_SUCCESS) {
        return holders;
    }
    for (UINT i = 0; i < count; ++i) {
        const RM_PROCESS_INFO& info = found[i];
        std::wstring name = info.strAppName;
        if (name.empty()) {
            name = info.strServiceShortName;
        }
        holders.push_back({info.Process.dwProcessId, narrow(name), info.ApplicationType == RmService,
                           info.ApplicationType == RmCritical || !info.bRestartable});
    }
    return holders;
}

bool Win32FilesInUse::closeHolders(std::span<const std::string> paths) {
    if (m_closing) {
        ::RmEndSession(*m_closing);
    }
    m_closing = startSession(paths);
    // Not forced: a program that will not close keeps its file, which then waits for the restart.
    return m_closing && ::RmShutdown(*m_closing, 0, nullptr) == ERROR_SUCCESS;
}

bool Win32FilesInUse::restartClosed() {
    if (!m_closing) {
        return true;
    }
    const bool restarted = ::RmRestart(*m_closing, 0, nullptr) == ERROR_SUCCESS;
    ::RmEndSession(*m_closing);
    m_closing.reset();
    return restarted;
}

FilesInUse::Queued Win32FilesInUse::replaceAtRestart(std::string_view from, std::string_view to) {
    const auto source = fullPath(from);
    const auto target = fullPath(to);
    if (!source || !target) {
        return Queued::Failed;
    }
    if (::MoveFileExW(source->c_str(), target->c_str(),
                      MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) {
        return Queued::Queued;
    }
    return ::GetLastError() == ERROR_ACCESS_DENIED ? Queued::NeedsAdministrator : Queued::Failed;
}

bool Win32FilesInUse::cancelAtRestart(std::string_view from) {
    const auto source = fullPath(from);
    if (!source) {
        return false;
    }
    Key key(kSessionManager, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (key.status() != ERROR_SUCCESS) {
        // Nobody could have queued anything without the right to change the list.
        return !waitsForRestartFrom(*source);
    }
    for (const wchar_t* value : kPendingValues) {
        const std::optional<std::wstring> text = readMultiString(key.get(), value);
        if (!text) {
            continue;
        }
        std::vector<PendingRename> kept;
        const std::vector<PendingRename> renames = parsePendingRenames(*text);
        for (const PendingRename& each : renames) {
            if (!samePath(win32PathOfPending(each.from), *source)) {
                kept.push_back(each);
            }
        }
        if (kept.size() == renames.size()) {
            continue;
        }
        const std::wstring joined = joinPendingRenames(kept);
        const LSTATUS status = kept.empty()
                                   ? ::RegDeleteValueW(key.get(), value)
                                   : ::RegSetValueExW(key.get(), value, 0, REG_MULTI_SZ,
                                                      reinterpret_cast<const BYTE*>(joined.data()),
                                                      static_cast<DWORD>(joined.size() * sizeof(wchar_t)));
        if (status != ERROR_SUCCESS) {
            return false;
        }
    }
    return !waitsForRestartFrom(*source);
}

std::vector<std::string> Win32FilesInUse::heldFiles(std::span<const std::string> paths) {
    std::vector<std::string> held;
    for (const std::string& path : paths) {
        const auto full = fullPath(path);
        if (!full) {
            continue;
        }
        // Opened to write as a copy over it would be, sharing everything: only a program that holds it
        // without sharing its writing (or has it loaded) makes this fail. Nothing is written.
        const HANDLE file = ::CreateFileW(full->c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
            continue;
        }
        const DWORD error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
            error == ERROR_USER_MAPPED_FILE) {
            held.push_back(path);
        }
    }
    return held;
}

std::optional<std::string> Win32FilesInUse::replacementWaiting(std::string_view to) {
    const auto target = fullPath(to);
    if (!target) {
        return std::nullopt;
    }
    // Carried out in order at the restart: the last rename onto the file decides what it holds.
    std::optional<std::string> waiting;
    for (const PendingRename& each : pendingRenames()) {
        if (!each.to.empty() && samePath(win32PathOfPending(each.to), *target)) {
            waiting = narrow(win32PathOfPending(each.from));
        }
    }
    return waiting;
}

bool Win32FilesInUse::waitsForRestartFrom(const std::wstring& source) {
    const std::vector<PendingRename> renames = pendingRenames();
    return std::any_of(renames.begin(), renames.end(), [&](const PendingRename& each) {
        return samePath(win32PathOfPending(each.from), source);
    });
}

bool Win32FilesInUse::runAfterRestart(std::string_view name, std::string_view commandLine) {
    const auto valueName = widen(name);
    const auto command = widen(commandLine);
    Key key(kRunOnce, KEY_SET_VALUE);
    return valueName && command && key.status() == ERROR_SUCCESS &&
           ::RegSetValueExW(key.get(), valueName->c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(command->c_str()),
                            static_cast<DWORD>((command->size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool Win32FilesInUse::cancelRunAfterRestart(std::string_view name) {
    const auto valueName = widen(name);
    if (!valueName) {
        return false;
    }
    Key key(kRunOnce, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (key.status() == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    if (key.status() != ERROR_SUCCESS) {
        return false;
    }
    const LSTATUS status = ::RegDeleteValueW(key.get(), valueName->c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

} // namespace hotfix::win32
