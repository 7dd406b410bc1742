#include "cli/headless_window.hpp"

#include "engine/messages.hpp"

namespace hotfix {

HeadlessWindow::HeadlessWindow(Options options, LocalDateTime now)
    : m_options(std::move(options))
    , m_now(now) {}

void HeadlessWindow::addListItem(Side side, std::string_view name, std::string_view folder) {
    List& target = m_lists[side == Side::Product ? 0 : 1];
    target.names.emplace_back(name);
    target.folders.emplace_back(folder);
}

std::string HeadlessWindow::rootText(Side side) const {
    return side == Side::Product ? m_options.productRoot : m_options.windowsRoot;
}

int HeadlessWindow::itemCount(Side side) const {
    return static_cast<int>(list(side).names.size());
}

std::string HeadlessWindow::itemName(Side side, int index) const {
    return list(side).names.at(static_cast<std::size_t>(index));
}

std::string HeadlessWindow::itemFolder(Side side, int index) const {
    return list(side).folders.at(static_cast<std::size_t>(index));
}

std::string HeadlessWindow::appendDateCaption() const {
    return m_options.dateSuffix ? dateSuffix(m_now) : std::string(messages::kAppendDateCaption);
}

void HeadlessWindow::installProgress(int done, int total) {
    if (onProgress) {
        onProgress(done, total);
    }
}

} // namespace hotfix
