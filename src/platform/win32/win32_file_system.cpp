#include "platform/win32/win32_file_system.hpp"

#include "platform/compare_reading.hpp"
#include "platform/temporary_name.hpp"
#include "platform/text_codec.hpp"
#include "platform/win32/win32_text.hpp"

#include <aclapi.h>
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <sddl.h>
#include <vector>
#include <windows.h>

namespace hotfix::win32 {

namespace {

// The marks SetFileAttributesW accepts; the others (directory, compressed, ...) only describe a file.
constexpr DWORD kSettableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
    FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// What setting a file's attributes to 0 through the scripting runtime clears.
constexpr DWORD kClearedAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

constexpr DWORD kNotReadOnly = ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);

// Closes the handle it holds on every path out of a function.
class Handle {
public:
    explicit Handle(HANDLE handle)
        : m_handle(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (valid()) {
            ::CloseHandle(m_handle);
        }
    }
    HANDLE get() const { return m_handle; }
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    // Closes now and tells whether the file took everything written to it.
    bool close() {
        const HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return ::CloseHandle(handle) != 0;
    }

private:
    HANDLE m_handle;
};

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

// Windows refuses to write to or delete a read-only file by itself; it is checked here as well because not
// every file system behind these calls enforces the mark (Wine run as root does not).
bool isReadOnly(const std::wstring& path) {
    const auto attributes = attributesOf(path);
    return attributes && (*attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// What a file's own handle tells without the right to read or change it: how many names it has and the
// volume it is on. Such a handle is granted even for a library a program has loaded.
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

// Both paths name one file (the same file under two names, or two links of it).
bool isSameFile(const std::wstring& a, const std::wstring& b) {
    const auto first = fileInformation(a);
    const auto second = first ? fileInformation(b) : std::nullopt;
    return second && first->dwVolumeSerialNumber == second->dwVolumeSerialNumber &&
           first->nFileIndexHigh == second->nFileIndexHigh && first->nFileIndexLow == second->nFileIndexLow;
}

// Copies into a new file; a copy that breaks off is removed, since a file cut short would pass for a whole
// one. CopyFileW carries the source's marks and creates the target only where nothing is.
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

// FlushFileBuffers needs a handle open for writing, which a read-only file does not give; its mark is
// lifted for that moment. Windows' error is kept for the caller.
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

// A folder's own flush, which NTFS takes as a commit of its journal and with it of every name made on the
// volume so far.
bool flushFolder(const std::wstring& path) {
    Handle folder(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return folder.valid() && ::FlushFileBuffers(folder.get()) && folder.close();
}

// Whether a running program holds the file so that nobody may write to it: it has loaded it, or opened it
// without letting others write. The probe writes nothing.
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

// CreateDirectoryW takes 12 characters less than the other calls without the "\\?\" form: room for an 8.3
// name below the new folder.
constexpr std::size_t kFolderPathLimit = MAX_PATH - 12;

std::wstring withoutClosingSeparators(std::wstring path) {
    while (path.size() > 1 && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

// The folder above path, with the separator a drive's root needs ("C:\\"); nothing above a root.
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

// Drops what a cut-off append left after the file's last line break; the file pointer ends at the end.
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

// The installer's own folders: the system and the administrators may do anything, the users may read, the
// owner (the account that made it: the administrators, the system, or a user running the installer
// without rights, whom no other account then trusts) may do anything; nothing is inherited from above, and
// everything made inside inherits this.
constexpr const wchar_t* kPrivateFolderSddl =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)(A;OICI;0x1200a9;;;BU)";

// What lets an account change a file or a folder, or what it holds.
constexpr DWORD kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                  FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                  GENERIC_ALL;

struct LocalFreeDeleter {
    void operator()(void* memory) const { ::LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreeDeleter>;

// The accounts whose rights over the installer's files are no danger: the system, the administrators,
// and the account running the installer.
class TrustedAccounts {
public:
    TrustedAccounts() {
        DWORD size = SECURITY_MAX_SID_SIZE;
        ::CreateWellKnownSid(WinLocalSystemSid, nullptr, m_system.data(), &size);
        size = SECURITY_MAX_SID_SIZE;
        ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, m_administrators.data(), &size);
        size = SECURITY_MAX_SID_SIZE;
        ::CreateWellKnownSid(WinCreatorOwnerRightsSid, nullptr, m_ownerRights.data(), &size);
        HANDLE token = nullptr;
        if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
            DWORD needed = 0;
            ::GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
            m_user.resize(needed);
            if (needed == 0 || !::GetTokenInformation(token, TokenUser, m_user.data(), needed, &needed)) {
                m_user.clear();
            }
            ::CloseHandle(token);
        }
    }

    bool trusts(PSID sid) const {
        return sid != nullptr && ::IsValidSid(sid) &&
               (::EqualSid(sid, system()) || ::EqualSid(sid, administrators()) ||
                (user() != nullptr && ::EqualSid(sid, user())));
    }
    // An access entry for the owner, whoever that is; the owner is checked on its own.
    bool isOwnerRights(PSID sid) const { return ::EqualSid(sid, const_cast<BYTE*>(m_ownerRights.data())); }

private:
    PSID system() const { return const_cast<BYTE*>(m_system.data()); }
    PSID administrators() const { return const_cast<BYTE*>(m_administrators.data()); }
    PSID user() const {
        return m_user.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(m_user.data())->User.Sid;
    }

    std::array<BYTE, SECURITY_MAX_SID_SIZE> m_system{};
    std::array<BYTE, SECURITY_MAX_SID_SIZE> m_administrators{};
    std::array<BYTE, SECURITY_MAX_SID_SIZE> m_ownerRights{};
    std::vector<BYTE> m_user;
};

const TrustedAccounts& trustedAccounts() {
    static const TrustedAccounts accounts;
    return accounts;
}

// Opens the file or folder itself: a link, junction or other reparse point is opened, not followed.
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

// Windows' code for a link met where none may be; the mingw-w64 headers lack it.
constexpr DWORD kErrorReparsePointEncountered = 4395;

FileSystem::Privacy privacyOf(HANDLE item) {
    if (isReparsePoint(item)) {
        return FileSystem::Privacy::Link;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(item, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                          nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return FileSystem::Privacy::Unknown;
    }
    const LocalMemory held(descriptor);
    return privacyOfSecurity(descriptor);
}

// The extended rename and delete of Windows 10 1809 and later, which can leave a read-only mark alone;
// declared here, as the mingw-w64 headers lack them.
constexpr int kFileRenameInfoEx = 22;
constexpr int kFileDispositionInfoEx = 21;
constexpr DWORD kRenameReplaceIfExists = 0x1;
constexpr DWORD kRenameIgnoreReadOnly = 0x40;
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;

// Renames the file over an existing one, read-only or not, in one step and without lifting any mark; false
// where the system cannot (before 10 1809), so that the caller may do it the old way.
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

} // namespace

FileSystem::Privacy privacyOfSecurity(void* descriptor) {
    using Privacy = FileSystem::Privacy;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
        return Privacy::Unknown;
    }
    if (!present) {
        dacl = nullptr;
    }
    const TrustedAccounts& trusted = trustedAccounts();
    if (!trusted.trusts(owner)) {
        return Privacy::ForeignOwner;
    }
    // No access list at all lets everybody do everything.
    if (dacl == nullptr) {
        return Privacy::OthersMayWrite;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) {
            return Privacy::Unknown;
        }
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        // Entries that only pass down to what is made inside are checked there.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) {
            continue;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        auto* sid = reinterpret_cast<PSID>(const_cast<DWORD*>(&allowed->SidStart));
        if ((allowed->Mask & kChangingRights) != 0 && !trusted.trusts(sid) && !trusted.isOwnerRights(sid)) {
            return Privacy::OthersMayWrite;
        }
    }
    return Privacy::Private;
}

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
    if (held.outcome == ConfinedWalk::Held::Outcome::Link) {
        refusedLink(held.at);
    } else if (!held) {
        ::SetLastError(held.error);
        noted(false);
    }
    return held;
}

bool Win32FileSystem::refusedLink(const std::wstring& native) {
    m_inUse = false;
    m_lastError =
        narrow(withoutLongPrefix(native)) + " is a link or junction, which the installer never follows";
    ::SetLastError(kErrorReparsePointEncountered);
    return false;
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

bool Win32FileSystem::setAttributes(std::string_view path, FileAttributes attributes) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::LastName);
    if (!native || !held) {
        return false;
    }
    const DWORD settable = attributes.bits & kSettableAttributes;
    return ::SetFileAttributesW(native->c_str(), settable == 0 ? FILE_ATTRIBUTE_NORMAL : settable) != 0;
}

bool Win32FileSystem::clearAttributes(std::string_view path) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::LastName);
    const auto attributes = native && held ? attributesOf(*native) : std::nullopt;
    if (!attributes || isFolder(*attributes)) {
        return false;
    }
    const DWORD kept = *attributes & kSettableAttributes & ~kClearedAttributes;
    return ::SetFileAttributesW(native->c_str(), kept == 0 ? FILE_ATTRIBUTE_NORMAL : kept) != 0;
}

bool Win32FileSystem::copyFileToNew(std::string_view from, std::string_view to) {
    const auto source = m_paths.toNative(from);
    const auto target = m_paths.toNative(to);
    // CopyFileW reads what a link at the source leads to.
    const auto heldSource = confined(source, Reach::LastName);
    const auto heldTarget = heldSource ? confined(target, Reach::Folders) : ConfinedWalk::Held{};
    if (!heldSource || !heldTarget) {
        return false;
    }
    return noted(source && target && copyToNew(*source, *target));
}

bool Win32FileSystem::noted(bool succeeded) {
    if (!succeeded) {
        const DWORD error = ::GetLastError();
        m_inUse = false;
        wchar_t* text = nullptr;
        const DWORD length = ::FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        std::wstring message =
            length > 0 ? std::wstring(text, length) : L"Windows error " + std::to_wstring(error);
        ::LocalFree(text);
        while (!message.empty() &&
               (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
            message.pop_back();
        }
        m_lastError = narrow(message);
    }
    return succeeded;
}

FileSystem::LinkResult Win32FileSystem::linkFile(std::string_view existing, std::string_view newName) {
    const auto source = m_paths.toNative(existing);
    const auto target = m_paths.toNative(newName);
    const auto heldSource = confined(source, Reach::Folders);
    const auto heldTarget = heldSource ? confined(target, Reach::Folders) : ConfinedWalk::Held{};
    const auto attributes = source && heldSource && heldTarget ? attributesOf(*source) : std::nullopt;
    if (!target || !attributes || isFolder(*attributes)) {
        return LinkResult::Failed;
    }
    // A second name of a symbolic link is a link too: it holds no bytes of its own. Such a file is backed up
    // as a copy.
    if ((*attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return LinkResult::Unsupported;
    }
    if (::CreateHardLinkW(target->c_str(), source->c_str(), nullptr)) {
        return LinkResult::Linked;
    }
    noted(false);
    switch (::GetLastError()) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return LinkResult::Failed;
    default:
        // FAT, network shares without links, a file at its link limit: the caller copies instead.
        return LinkResult::Unsupported;
    }
}

bool Win32FileSystem::moveFile(std::string_view from, std::string_view to, Overwrite overwrite) {
    const auto source = m_paths.toNative(from);
    const auto target = m_paths.toNative(to);
    const auto heldSource = confined(source, Reach::Folders);
    const auto heldTarget = heldSource ? confined(target, Reach::Folders) : ConfinedWalk::Held{};
    if (!source || !target || !heldSource || !heldTarget) {
        return false;
    }
    if (overwrite == Overwrite::Never) {
        return noted(::MoveFileExW(source->c_str(), target->c_str(), MOVEFILE_WRITE_THROUGH) != 0);
    }
    const auto existing = attributesOf(*target);
    if (existing && isFolder(*existing)) {
        return false;
    }
    // Windows replaces no read-only file the old way; the mark, which a backup of the file may share, is
    // left alone where the system can, and lifted for the move and put back if the move fails elsewhere.
    const bool readOnly = existing && (*existing & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && renameIgnoringReadOnly(*source, *target)) {
        return true;
    }
    if (readOnly && !::SetFileAttributesW(target->c_str(), *existing & kSettableAttributes & kNotReadOnly)) {
        return false;
    }
    if (::MoveFileExW(source->c_str(), target->c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    noted(false);
    // Windows refuses to replace a loaded library with "access denied", which a missing right gives too.
    m_inUse = heldByProgram(*target);
    if (readOnly) {
        ::SetFileAttributesW(target->c_str(), *existing & kSettableAttributes);
    }
    return false;
}

bool Win32FileSystem::flush(std::span<const std::string> paths) {
    // A name of a file that has others (a backup that is a second name of the installed file), or of a file
    // that a running program holds, is made durable without opening the file for writing, which a program
    // that has it loaded refuses: the installer's bytes in it were on the disk before it got that name, and
    // NTFS commits names for the whole volume with any flush after them.
    std::vector<DWORD> flushedVolumes;
    std::vector<std::pair<DWORD, std::wstring>> namesOnly;
    for (const std::string& path : paths) {
        const auto native = m_paths.toNative(path);
        const auto held = confined(native, Reach::Folders);
        if (!native || !held) {
            return false;
        }
        // A name's removal is in NTFS's journal, which Windows offers no call to flush for one folder; the
        // next write-through or flush of a file on the volume takes it along.
        const auto attributes = attributesOf(*native);
        if (!attributes) {
            const auto folder = parentOf(*native);
            if (!folder || !attributesOf(*folder)) {
                return false;
            }
            continue;
        }
        const auto info = fileInformation(*native);
        if (!info || isFolder(*attributes)) {
            return noted(false);
        }
        if (info->nNumberOfLinks > 1) {
            namesOnly.emplace_back(info->dwVolumeSerialNumber, parentOf(*native).value_or(*native));
            continue;
        }
        if (!flushFile(*native, *attributes)) {
            if (::GetLastError() != ERROR_SHARING_VIOLATION) {
                return noted(false);
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
            return noted(false);
        }
        flushedVolumes.push_back(volume);
    }
    return true;
}

bool Win32FileSystem::flushNames(std::span<const std::string> paths) {
    // One flush of each folder commits its new names; a folder that cannot be flushed so (no write access to
    // the folder itself) has each of its files flushed instead.
    std::vector<std::wstring> flushed;
    for (const std::string& path : paths) {
        const auto native = m_paths.toNative(path);
        const auto held = confined(native, Reach::Folders);
        const auto folder = native && held ? parentOf(*native) : std::nullopt;
        if (!folder) {
            return false;
        }
        if (std::find(flushed.begin(), flushed.end(), *folder) != flushed.end()) {
            continue;
        }
        if (flushFolder(*folder)) {
            flushed.push_back(*folder);
        } else if (!flush(std::span<const std::string>(&path, 1))) {
            return false;
        }
    }
    return true;
}

bool Win32FileSystem::removeName(std::string_view path) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::Folders);
    if (!native || !held) {
        return false;
    }
    Handle file(::CreateFileW(native->c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) {
        return false;
    }
    const DWORD flags = kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly;
    return ::SetFileInformationByHandle(file.get(),
                                        static_cast<FILE_INFO_BY_HANDLE_CLASS>(kFileDispositionInfoEx),
                                        const_cast<DWORD*>(&flags), sizeof flags) != 0;
}

bool Win32FileSystem::deleteFile(std::string_view path) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::Folders);
    if (!held) {
        return false;
    }
    // Not forced: a read-only file stays.
    if (native && isReadOnly(*native)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
    }
    return noted(native && !isReadOnly(*native) && ::DeleteFileW(native->c_str()) != 0);
}

bool Win32FileSystem::createTextFile(std::string_view path) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::Folders);
    if (!native || !held || isReadOnly(*native)) {
        return false;
    }
    // CREATE_NEW: a file that is there, or appears meanwhile, is never emptied; it may be a running script.
    Handle file(::CreateFileW(native->c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        return false;
    }
    if (!file.close()) {
        ::DeleteFileW(native->c_str());
        return false;
    }
    return true;
}

bool Win32FileSystem::appendToFile(std::string_view path, std::string_view bytes) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::Folders);
    if (!held) {
        return false;
    }
    if (!native || isReadOnly(*native)) {
        ::SetLastError(native ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
        return noted(false);
    }
    // The file itself, never one that a link leads to.
    Handle file(::CreateFileW(native->c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr));
    if (file.valid() && isReparsePoint(file.get())) {
        return refusedLink(*native);
    }
    return noted(file.valid() && writeAll(file.get(), bytes) && file.close());
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
        return refusedLink(*native);
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
            refusedLink(*native);
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

bool Win32FileSystem::createFolders(std::string_view path) {
    auto full = m_paths.toFullPath(path);
    if (!full) {
        return false;
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
            return false;
        }
    }
    for (const std::wstring& toMake : missing) {
        if (!::CreateDirectoryW(toMake.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
        held.push_back(confined(toMake, Reach::LastName));
        if (!held.back()) {
            return false;
        }
    }
    const auto attributes = attributesOf(folder);
    return attributes && isFolder(*attributes);
}

bool Win32FileSystem::appendDurably(std::string_view path, std::string_view bytes) {
    const auto native = m_paths.toNative(path);
    const auto held = confined(native, Reach::Folders);
    if (!native || !held || isReadOnly(*native)) {
        return false;
    }
    // The file itself, never one that a link or junction leads to; one writer at a time.
    Handle file(::CreateFileW(native->c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file.valid() && isReparsePoint(file.get())) {
        return refusedLink(*native);
    }
    return noted(file.valid() && dropCutOffTail(file.get()) && writeAll(file.get(), bytes) &&
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
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kPrivateFolderSddl, SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        return Privacy::Unknown;
    }
    const LocalMemory held(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
    if (::CreateDirectoryW(native->c_str(), &attributes)) {
        return privacy(path);
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
        return ::GetLastError() == ERROR_PATH_NOT_FOUND ? Privacy::Missing : Privacy::Unknown;
    }
    // A folder there already (an earlier version made it with the rights it inherited) gets the protection
    // when its owner is trusted; one of another owner is refused as it is.
    Handle folder = openItself(*native, READ_CONTROL | WRITE_DAC);
    if (!folder.valid()) {
        const Privacy found = privacy(path);
        return found == Privacy::Private ? Privacy::Unknown : found;
    }
    const Privacy found = privacyOf(folder.get());
    if (found != Privacy::Private && found != Privacy::OthersMayWrite) {
        return found;
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) ||
        ::SetSecurityInfo(folder.get(), SE_FILE_OBJECT,
                          DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          dacl, nullptr) != ERROR_SUCCESS) {
        return Privacy::Unknown;
    }
    return privacyOf(folder.get());
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
