#pragma once

#include "engine/file_lists.hpp"
#include "engine/side.hpp"

#include <string>

namespace hotfix {

// State of the main window that outlives an install run.
struct InstallState {
    std::string BackupSuffix;
    bool ChecksPassed = false;
};

// The main window as the engine reads and drives it. The window owns the controls and the lists; the
// engine keeps no copy of either.
class InstallerWindow : public FileListSink {
public:
    // TxtPath or TxtWinPath, as it reads now.
    virtual std::string rootText(Side side) const = 0;

    // The side's name and folder list boxes.
    virtual int itemCount(Side side) const = 0;
    virtual std::string itemName(Side side, int index) const = 0;
    virtual std::string itemFolder(Side side, int index) const = 0;

    // txtAppendToFile and ChkAppedToFile.
    virtual std::string appendToFileText() const = 0;
    virtual bool appendDateTicked() const = 0;
    virtual std::string appendDateCaption() const = 0;
    // Ticks ChkAppedToFile from code, which runs ChkAppedToFile_Click as a click would; ticking a ticked
    // box changes nothing.
    virtual void tickAppendDate() = 0;

    virtual bool registerDllsTicked() const = 0;           // chkRegisterDlls
    virtual bool showAfterRegTicked() const = 0;           // chkShowAfterReg
    virtual bool closeAfterInstallationTicked() const = 0; // chkCloseAfterInstallation

    // The close confirmation; returns only when the user answers No.
    virtual void CmdCancel_Click() = 0;

    virtual InstallState& installState() = 0;

    // Run by a deployment tool, not a person: a file that holds the package's bytes already is left alone (a
    // retry changes nothing), and a hot fix that only adds files is applied. The window keeps backing up on
    // every press, and calls a run that replaced nothing a failure.
    virtual bool unattended() const { return false; }
    // Unattended: programs that hold listed files are asked to close before the install and started again
    // after it, rather than their files waiting for the next restart.
    virtual bool closeApplications() const { return false; }

    // How many listed files of how many the run has dealt with; a window may show it.
    virtual void installProgress(int done, int total) {
        (void)done;
        (void)total;
    }
};

} // namespace hotfix
