#pragma once

#include "engine/side.hpp"
#include "platform/msg_box.hpp"

#include <string>
#include <string_view>

// The installer's own texts, with their titles and styles, in one place.
namespace hotfix::messages {

// ChkAppedToFile's caption while it is not ticked; ticked, it shows the date suffix that backups take.
inline constexpr const char* kAppendDateCaption = "Suffix Today's Date to Old Files";

// What a screen reader calls the controls that have no caption and no label: the picker's two lists, the
// about box's picture.
inline constexpr const char* kDriveListName = "Drive";
inline constexpr const char* kFolderListName = "Folder";
inline constexpr const char* kAboutPictureName = "HOT FIX";

inline MsgBoxRequest errorBox(std::string prompt) {
    return {std::move(prompt), MsgButtons::Ok, MsgIcon::Critical, std::string("Error")};
}

inline MsgBoxRequest missingSuffix() {
    return {"Please Provide Backup Name in Text Box OR Select Check Box", MsgButtons::OkCancel,
            MsgIcon::Information, std::nullopt};
}

inline MsgBoxRequest noFileToCopy() {
    return {"No File to Copy", MsgButtons::Ok, MsgIcon::Critical, std::string("HotFix Installer")};
}

inline MsgBoxRequest hotFixFailed() {
    return errorBox(" HotFix Failed, Please try again  ");
}

inline MsgBoxRequest hotFixApplied() {
    return {"Sucessfully Applied the HotFix", MsgButtons::Ok, MsgIcon::Information,
            std::string("HotFix Installer")};
}

inline MsgBoxRequest wrongRoot(Side side) {
    return errorBox(side == Side::Product ? "Please provide the correct Vantrel Root Path"
                                          : "Please provide the correct Windows Root Path");
}

// An entry of a list file that names no file: untitled, and without an icon.
inline MsgBoxRequest badListEntry() {
    return {"error", MsgButtons::Ok, MsgIcon::None, std::nullopt};
}

// The checks and the run end this message differently on the Windows side; both are kept as they were.
enum class FolderMessageEnd { Checks, Run };

MsgBoxRequest folderNotAvailable(std::string_view head, std::string_view programFolder, Side side,
                                 FolderMessageEnd end);
MsgBoxRequest listFileUnreadable(std::string_view path);
MsgBoxRequest fileNotAvailable(std::string_view name, std::string_view programFolder, Side side,
                               std::string_view folder);
MsgBoxRequest couldNotBackUp(std::string_view destination, std::string_view backup);
MsgBoxRequest couldNotReplace(std::string_view destination, std::string_view source);
MsgBoxRequest couldNotCopy(std::string_view source, std::string_view destination);
MsgBoxRequest couldNotFlush(std::string_view folder);
MsgBoxRequest couldNotWriteScript(std::string_view scriptPath);
MsgBoxRequest couldNotStart(std::string_view scriptPath);
MsgBoxRequest cannotRegister(std::string_view destination);
// Files that running programs hold.
MsgBoxRequest inUseNeedsAdministrator(std::string_view destination);
MsgBoxRequest replacedAtRestart(std::string_view files);
MsgBoxRequest filesInUse(std::string_view programs);
// The same choice where programs hold files but none can be named: the files, a line each.
MsgBoxRequest filesHeld(std::string_view files);
MsgBoxRequest couldNotCancelAtRestart(std::string_view destination);

// The install record and the restore.
MsgBoxRequest couldNotWriteRecord(std::string_view recordPath);
// No install is recorded, yet the workstation holds what only an install leaves: nothing can be undone.
MsgBoxRequest inPlaceWithoutRecord(std::string_view destination, std::string_view recordPath);
MsgBoxRequest backupWithoutRecord(std::string_view backup, std::string_view recordPath);
MsgBoxRequest changedSinceInstall(std::string_view destination);
MsgBoxRequest backupNotOriginal(std::string_view backup, std::string_view destination);
MsgBoxRequest couldNotRestore(std::string_view destination, std::string_view backup);
MsgBoxRequest couldNotRemove(std::string_view destination);
MsgBoxRequest couldNotRemoveBackup(std::string_view backup);
MsgBoxRequest scriptsStillRunning(long long seconds);
MsgBoxRequest notRegistered(std::string_view library, int regsvr32Code);
// The record, or a folder it lives in, is not the installer's own to trust (why: "it is a link", ...).
MsgBoxRequest recordNotPrivate(std::string_view path, std::string_view why);
// A line of the record is not one the installer writes; nothing is changed.
MsgBoxRequest recordRefused(std::string_view recordPath, int line, std::string_view why);
MsgBoxRequest recordTooLarge(std::string_view recordPath);

inline MsgBoxRequest allInPlace() {
    return {"Every file of the HotFix is in place already; nothing was changed", MsgButtons::Ok,
            MsgIcon::Information, std::string("HotFix Installer")};
}

inline MsgBoxRequest everyFileWasNew() {
    return {"Every file of the HotFix was new: none was replaced", MsgButtons::Ok, MsgIcon::Information,
            std::string("HotFix Installer")};
}

inline MsgBoxRequest nothingToRestore() {
    return {"Every recorded install of this HotFix is undone already", MsgButtons::Ok, MsgIcon::Information,
            std::string("HotFix Installer")};
}

// No install is recorded, and nothing of the HotFix is on the workstation.
inline MsgBoxRequest nothingInstalled() {
    return {
        "No install of this HotFix is recorded and none of its files is in place: there is nothing to undo",
        MsgButtons::Ok, MsgIcon::Information, std::string("HotFix Installer")};
}

// One install or restore at a time on a machine.
inline MsgBoxRequest anotherRunInProgress() {
    return errorBox(" Another install or restore of a HotFix is running on this workstation; try again "
                    "when it has ended");
}

inline MsgBoxRequest restoreApplied() {
    return {"Restored what the HotFix had replaced", MsgButtons::Ok, MsgIcon::Information,
            std::string("HotFix Installer")};
}

inline MsgBoxRequest restoreFailed() {
    return errorBox("The HotFix was not undone completely; the messages before this one say why");
}

// A failed install from the command line takes its own changes back.
inline MsgBoxRequest rolledBack() {
    return {"The HotFix was not applied: every file it changed is as it was before", MsgButtons::Ok,
            MsgIcon::Information, std::string("HotFix Installer")};
}

inline MsgBoxRequest rollBackFailed() {
    return errorBox("The HotFix was not applied, and not every file it changed could be put back; the "
                    "messages before this one say why. Run --restore once the files are free");
}

// The main window's close confirmation.
inline MsgBoxRequest confirmClose() {
    return {"Are you sure, You want to close Installer", MsgButtons::YesNo, MsgIcon::Information,
            std::string("Close HotFix Installer")};
}

// A drive the folder picker cannot open, titled with the runtime's standard text for the error's number.
MsgBoxRequest driveError(int number, std::string_view description);

// How far a long install has come.
std::string filesDone(int done, int total);

} // namespace hotfix::messages
