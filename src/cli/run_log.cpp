#include "cli/run_log.hpp"

#include "engine/install_record.hpp"
#include "platform/file_system.hpp"

#include <vector>

namespace hotfix {

namespace {

// Each line is in the machine's log as soon as it is said, so a killed run's log is as current as its
// record: the system keeps what was written when the process dies. Only a power cut takes unflushed lines,
// and one flush per this many lines (an install logs a line per file) bounds what it takes without making
// the disk wait once per file.
constexpr int kLinesPerFlush = 200;

} // namespace

bool RunLog::useMachineLog(FileSystem& fs, std::string path) {
    const FileSystem::Privacy privacy = fs.privacy(path);
    if (privacy != FileSystem::Privacy::Private && privacy != FileSystem::Privacy::Missing) {
        return false;
    }
    m_fs = &fs;
    m_path = std::move(path);
    return true;
}

void RunLog::line(std::string_view text) {
    const std::string stamped = recordTime() + "\t" + std::string(text) + "\n";
    if (m_copy != nullptr) {
        *m_copy << stamped << std::flush;
    }
    // Held until the machine's log is known, too: the lines before it (the run's first) belong in it.
    m_pending += stamped;
    if (m_fs == nullptr) {
        return;
    }
    // The first write makes the log where it is missing and drops a line an earlier run left cut off; the
    // rest only add to it. A log that cannot be written takes nothing from the run: the console has it all.
    if (m_begun) {
        m_fs->appendToFile(m_path, m_pending);
    } else if (!m_fs->appendDurably(m_path, m_pending)) {
        m_fs = nullptr;
        return;
    }
    m_begun = true;
    m_pending.clear();
    if (++m_unflushedLines >= kLinesPerFlush) {
        flush();
    }
}

void RunLog::flush() {
    if (m_fs == nullptr || m_unflushedLines == 0) {
        return;
    }
    const std::vector<std::string> paths = {m_path};
    m_fs->flush(paths);
    m_unflushedLines = 0;
}

} // namespace hotfix
