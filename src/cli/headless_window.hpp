#pragma once

#include "engine/date_suffix.hpp"
#include "engine/installer_window.hpp"

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace hotfix {

// The main window's state for a run without a window: the same lists, roots and options, set from the
// command line instead of by the user. Its lists are the only copy a headless run keeps.
class HeadlessWindow final : public InstallerWindow {
public:
    struct Options {
        std::string productRoot;
        std::string windowsRoot;
        std::string suffixText = "backup";
        bool dateSuffix = false;
        bool registerDlls = false;
        bool closeApplications = false;
    };

    // now is when the date box counts as ticked, for a date suffix.
    HeadlessWindow(Options options, LocalDateTime now);

    void addListItem(Side side, std::string_view name, std::string_view folder) override;

    std::string rootText(Side side) const override;
    int itemCount(Side side) const override;
    std::string itemName(Side side, int index) const override;
    std::string itemFolder(Side side, int index) const override;

    std::string appendToFileText() const override { return m_options.suffixText; }
    bool appendDateTicked() const override { return m_options.dateSuffix; }
    std::string appendDateCaption() const override;
    void tickAppendDate() override { m_options.dateSuffix = true; }

    bool registerDllsTicked() const override { return m_options.registerDlls; }
    // regsvr32 must never wait for somebody to close its box.
    bool showAfterRegTicked() const override { return false; }
    // The process ends after the run in any case.
    bool closeAfterInstallationTicked() const override { return false; }
    void CmdCancel_Click() override {}

    InstallState& installState() override { return m_state; }
    bool unattended() const override { return true; }
    bool closeApplications() const override { return m_options.closeApplications; }
    void installProgress(int done, int total) override;

    // How far the run has come, for a front end that shows it.
    std::function<void(int done, int total)> onProgress;

private:
    struct List {
        std::vector<std::string> names;
        std::vector<std::string> folders;
    };
    const List& list(Side side) const { return m_lists[side == Side::Product ? 0 : 1]; }

    Options m_options;
    LocalDateTime m_now;
    std::array<List, 2> m_lists;
    InstallState m_state;
};

} // namespace hotfix
