#pragma once

// The Win32 file calls the file system is built from: a handle type, attributes, copies, flushes, appends
// and the renames that leave a read-only attribute alone.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <windows.h>

namespace hotfix::win32 {

// The attributes SetFileAttributesW accepts; the others (directory, compressed, ...) only describe a file.
inline constexpr DWORD kSettableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
    FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// What setting a file's attributes to 0 through the scripting runtime clears.
inline constexpr DWORD kClearedAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

inline constexpr DWORD kNotReadOnly = ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);

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

// CreateDirectoryW takes 12 characters less than the other calls without the "\\?\" form: room for an 8.3
// name below the new folder.
inline constexpr std::size_t kFolderPathLimit = MAX_PATH - 12;

// Windows' code for a link met where none may be; the mingw-w64 headers lack it.
inline constexpr DWORD kErrorReparsePointEncountered = 4395;

// The extended rename and delete of Windows 10 1809 and later, which can leave a read-only attribute alone;
// declared here, as the mingw-w64 headers lack them.
inline constexpr int kFileRenameInfoEx = 22;
inline constexpr int kFileDispositionInfoEx = 21;
inline constexpr DWORD kRenameReplaceIfExists = 0x1;
inline constexpr DWORD kRenameIgnoreReadOnly = 0x40;
inline constexpr DWORD kDispositionDelete = 0x1;
inline constexpr DWORD kDispositionPosixSemantics = 0x2;
inline constexpr DWORD kDispositionIgnoreReadOnly = 0x10;

std::optional<DWORD> attributesOf(const std::wstring& path);

bool isFolder(DWORD attributes);

// Windows refuses to write to or delete a read-only file by itself; it is checked here as well because not
// every file system behind these calls enforces the attribute (Wine run as root does not).
bool isReadOnly(const std::wstring& path);

// What a file's own handle tells without the right to read or change it: how many names it has and the
// volume it is on. Such a handle is granted even for a library a program has loaded.
std::optional<BY_HANDLE_FILE_INFORMATION> fileInformation(const std::wstring& path);

// Both paths name one file (the same file under two names, or two links of it).
bool isSameFile(const std::wstring& a, const std::wstring& b);

// Copies into a new file; a copy that breaks off is removed, since a file cut short would pass for a whole
// one. CopyFileW carries the source's attributes and creates the target only where nothing is.
bool copyToNew(const std::wstring& source, const std::wstring& target);

// FlushFileBuffers needs a handle open for writing, which a read-only file does not give; its read-only
// attribute is lifted for that moment. Windows' error is kept for the caller.
bool flushFile(const std::wstring& path, DWORD attributes);

// A folder's own flush, which NTFS takes as a commit of its journal and with it of every name made on the
// volume so far.
bool flushFolder(const std::wstring& path);

// Whether a running program holds the file so that nobody may write to it: it has loaded it, or opened it
// without letting others write. The probe writes nothing.
bool heldByProgram(const std::wstring& path);

bool writeAll(HANDLE file, std::string_view bytes);

std::wstring withoutClosingSeparators(std::wstring path);

// The folder above path, with the separator a drive's root needs ("C:\\"); nothing above a root.
std::optional<std::wstring> parentOf(const std::wstring& path);

// Drops what a cut-off append left after the file's last line break; the file pointer ends at the end.
bool dropCutOffTail(HANDLE file);

// Opens the file or folder itself: a link, junction or other reparse point is opened, not followed.
Handle openItself(const std::wstring& path, DWORD access);

bool isReparsePoint(HANDLE item);

// Renames the file over an existing one, read-only or not, in one step and without lifting any attribute;
// false where the system cannot (before 10 1809), so that the caller may do it the old way.
bool renameIgnoringReadOnly(const std::wstring& source, const std::wstring& target);

} // namespace hotfix::win32
