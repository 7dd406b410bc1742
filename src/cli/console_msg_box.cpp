#include "cli/console_msg_box.hpp"

namespace hotfix {

MsgResult ConsoleMsgBox::show(const MsgBoxRequest& request) {
    ++m_shown;
    const std::string line = request.shownTitle() + ": " + request.prompt;
    if (m_progressOpen) {
        m_err << '\n';
        m_progressOpen = false;
    }
    m_err << line << '\n' << std::flush;
    m_log.line(line);
    if (onShown) {
        onShown(line);
    }
    return request.defaultButton();
}

void ConsoleMsgBox::progress(std::string_view text) {
    m_err << '\r' << text << std::flush;
    m_progressOpen = true;
}

void ConsoleMsgBox::endProgress() {
    if (m_progressOpen) {
        m_err << '\n' << std::flush;
        m_progressOpen = false;
    }
}

void ConsoleMsgBox::logLine(std::string_view line) {
    m_log.line(line);
}

} // namespace hotfix
