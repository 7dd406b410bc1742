#pragma once

#include "engine/date_suffix.hpp"
#include "engine/installer_window.hpp"
#include "engine/messages.hpp"

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace hotfix::test {

// The main window's state without its widgets. Ticking the date box from code builds the suffix from a
// fixed clock, as the real window's click handler does from the real one.
class FakeInstallerWindow final : public InstallerWindow {
public:
    struct Lists {
        std::vector<std::string> names;
        std::vector<std::string> folders;
    };

    void addListItem(Side side, std::string_view name, std::string_view folder) override {
        lists(side).names.emplace_back(name);
        lists(side).folders.emplace_back(folder);
    }

    std::string rootText(Side side) const override { return side == Side::Product ? TxtPath : TxtWinPath; }
    int itemCount(Side side) const override { return static_cast<int>(lists(side).names.size()); }
    std::string itemName(Side side, int index) const override { return lists(side).names.at(toIndex(index)); }
    std::string itemFolder(Side side, int index) const override {
        return lists(side).folders.at(toIndex(index));
    }

    std::string appendToFileText() const override { return txtAppendToFile; }
    bool appendDateTicked() const override { return ChkAppedToFile; }
    std::string appendDateCaption() const override { return appendDateCaptionText; }
    void tickAppendDate() override {
        if (ChkAppedToFile) {
            return;
        }
        ChkAppedToFile = true;
        ++dateTicks;
        appendDateCaptionText = dateSuffix(clock);
        txtAppendToFileEnabled = false;
    }
    bool registerDllsTicked() const override { return chkRegisterDlls; }
    bool showAfterRegTicked() const override { return chkShowAfterReg; }
    bool closeAfterInstallationTicked() const override { return chkCloseAfterInstallation; }
    void CmdCancel_Click() override { ++closeQuestions; }
    InstallState& installState() override { return state; }
    void installProgress(int done, int total) override { progress.push_back({done, total}); }

    Lists& lists(Side side) { return m_lists[side == Side::Product ? 0 : 1]; }
    const Lists& lists(Side side) const { return m_lists[side == Side::Product ? 0 : 1]; }

    std::string TxtPath = "C:\\";
    std::string TxtWinPath = "C:\\";
    std::string txtAppendToFile = "backup";
    bool txtAppendToFileEnabled = true;
    bool ChkAppedToFile = false;
    std::string appendDateCaptionText = messages::kAppendDateCaption;
    bool chkRegisterDlls = false;
    bool chkShowAfterReg = false;
    bool chkCloseAfterInstallation = true;
    LocalDateTime clock{2005, 5, 1, 9, 7};
    int dateTicks = 0;
    int closeQuestions = 0;
    std::vector<std::pair<int, int>> progress;
    InstallState state;

private:
    static std::size_t toIndex(int index) { return static_cast<std::size_t>(index); }
    std::array<Lists, 2> m_lists;
};

} // namespace hotfix::test
