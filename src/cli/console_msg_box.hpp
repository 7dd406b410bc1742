#pragma once

#include "cli/run_log.hpp"
#include "platform/msg_box.hpp"

#include <functional>
#include <ostream>
#include <string_view>

namespace hotfix {

// Every message of a run without a window goes to standard error and to the log, in order, as its title and
// its text. A box that asks a question takes its default answer, the one that lets the run go on.
class ConsoleMsgBox final : public MsgBox {
public:
    ConsoleMsgBox(std::ostream& err, RunLog& log)
        : m_err(err)
        , m_log(log) {}

    MsgResult show(const MsgBoxRequest& request) override;

    // How far a long run has come, on one line of standard error that each call overwrites; a message ends
    // that line first.
    void progress(std::string_view text);
    void endProgress();

    // A line that is no box (what --check found for a file, the outcome of a restored file) for the log
    // alone.
    void logLine(std::string_view line);

    int shown() const { return m_shown; }

    // Given, hears each message as it is shown (its title and text, as standard error gets it).
    std::function<void(std::string_view line)> onShown;

private:
    std::ostream& m_err;
    RunLog& m_log;
    int m_shown = 0;
    bool m_progressOpen = false;
};

} // namespace hotfix
