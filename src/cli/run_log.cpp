#include "cli/run_log.hpp"

#include "engine/install_record.hpp"
#include "platform/file_system.hpp"

namespace hotfix {

namespace {

// A run killed midway still leaves most of its lines, without a write to the disk per file.
constexpr int kLinesPerWrite = 200;

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
    if (m_fs != nullptr && ++m_pendingLines >= kLinesPerWrite) {
        flush();
    }
}

void RunLog::flush() {
    if (m_fs == nullptr) {
        return;
    }
    if (!m_pending.empty()) {
        // A log that cannot be written takes nothing from the run; the console has every line.
        m_fs->appendDurably(m_path, m_pending);
    }
    m_pending.clear();
    m_pendingLines = 0;
}

} // namespace hotfix
