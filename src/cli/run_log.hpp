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
    // Makes the machine log's lines durable.
    void flush();

private:
    std::ostream* m_copy;
    FileSystem* m_fs = nullptr;
    std::string m_path;
    // The lines said before the machine's log was known.
    std::string m_pending;
    // Whether the machine's log has been written to in this run, and how many lines since it was flushed.
    bool m_begun = false;
    int m_unflushedLines = 0;
};

} // namespace hotfix
