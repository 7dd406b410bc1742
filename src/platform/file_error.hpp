#pragma once

#include <optional>
#include <string>
#include <utility>

namespace hotfix {

// Why a change to a file failed, as the system told it.
struct FileError {
    // errno on POSIX, GetLastError() on Windows; 0 where the system gave none.
    int code = 0;
    // The system's words (or the installer's, for a link it refused), for the log; never for a decision.
    std::string text;
    // A running program holds the file (loaded, or open without letting others write): it can only be
    // replaced at the next restart.
    bool inUse = false;
};

// What a change to a file came to: done, or the FileError that stopped it. Tested like a bool.
class FileResult {
public:
    FileResult() = default;
    // Implicit: a failing call returns its error as it is.
    FileResult(FileError error)
        : m_error(std::move(error)) {}

    explicit operator bool() const noexcept { return ok(); }
    bool ok() const noexcept { return !m_error.has_value(); }
    // Only for a result that failed.
    const FileError& error() const { return *m_error; }
    // The error's text where it failed, empty where it did not.
    std::string reason() const { return m_error ? m_error->text : std::string(); }

private:
    std::optional<FileError> m_error;
};

} // namespace hotfix
