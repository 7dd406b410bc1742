#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace hotfix {

class FileSystem;

// The log of a run without a window: every message, every file dealt with and the exit code, each line with
// its time. It goes to the machine's log of the package, which the records' folder keeps protected as the
// records themselves, and to a copy the command line names (--log).
class RunLog {
public:
    explicit RunLog(std::ostream* copy)
        : m_copy(copy) {}
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;
    ~RunLog() { flush(); }

    // From now on the lines go to the file at path too (made where missing, never through a link). False,
    // and no machine log, where it cannot be trusted.
    bool useMachineLog(FileSystem& fs, std::string path);

    void line(std::string_view text);
    // Writes the lines held for the machine's log: many lines, one write to the disk.
    void flush();

private:
    std::ostream* m_copy;
    FileSystem* m_fs = nullptr;
    std::string m_path;
    std::string m_pending;
    int m_pendingLines = 0;
};

} // namespace hotfix
