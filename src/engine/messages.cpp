#include "engine/messages.hpp"

#include "engine/text.hpp"
#include "platform/folder_browser.hpp"

namespace hotfix::messages {

MsgBoxRequest folderNotAvailable(std::string_view head, std::string_view programFolder, Side side,
                                 FolderMessageEnd end) {
    std::string_view tail = "\\Setup\\Vtrl\\''";
    if (side == Side::Windows) {
        tail = end == FolderMessageEnd::Checks ? "\\Setup\\Othr\\''" : "\\Setup\\Othr\\ ''";
    }
    return errorBox(concat({"Folder ''", head, "'' is not avaialble at ''", programFolder, tail}));
}

MsgBoxRequest listFileUnreadable(std::string_view path) {
    return errorBox(concat({"File ''", path, "'' could not be read"}));
}

MsgBoxRequest fileNotAvailable(std::string_view name, std::string_view programFolder, Side side,
                               std::string_view folder) {
    return errorBox(concat({" File ''", name, "'' is not available at ''", programFolder,
                            sideInfo(side).packageFolder, folder, "''"}));
}

MsgBoxRequest couldNotBackUp(std::string_view destination, std::string_view backup) {
    return errorBox(concat({" File ''", destination, "'' could not be backed up to ''", backup, "''"}));
}

MsgBoxRequest couldNotReplace(std::string_view destination, std::string_view source) {
    return errorBox(concat({" File ''", destination, "'' could not be replaced from ''", source, "''"}));
}

MsgBoxRequest inUseNeedsAdministrator(std::string_view destination) {
    return errorBox(
        concat({" File ''", destination,
                "'' is in use by a running program and was not replaced: only an administrator can "
                "have it replaced when Windows restarts"}));
}

MsgBoxRequest replacedAtRestart(std::string_view files) {
    return {
        concat({"These files are in use by running programs. They are backed up, and will be replaced when "
                "Windows restarts:\n",
                files}),
        MsgButtons::Ok, MsgIcon::Information, std::string("HotFix Installer")};
}

MsgBoxRequest filesInUse(std::string_view programs) {
    return {concat({"These programs are using files that the HotFix replaces:\n", programs,
                    "\nClose them and choose Retry; choose Ignore to have their files replaced when "
                    "Windows restarts, or Abort to change nothing."}),
            MsgButtons::AbortRetryIgnore, MsgIcon::Information, std::string("Files in Use")};
}

MsgBoxRequest filesHeld(std::string_view files) {
    return {
        concat(
            {"Programs that Windows does not name are using these files, which the HotFix replaces:\n", files,
             "\nClose the programs that use them and choose Retry; choose Ignore to have the files replaced "
             "when Windows restarts, or Abort to change nothing."}),
        MsgButtons::AbortRetryIgnore, MsgIcon::Information, std::string("Files in Use")};
}

MsgBoxRequest couldNotCancelAtRestart(std::string_view destination) {
    return errorBox(
        concat({" File ''", destination,
                "'' waits to be replaced when Windows restarts, and that could not be taken back"}));
}

MsgBoxRequest couldNotCopy(std::string_view source, std::string_view destination) {
    return errorBox(concat({" File ''", source, "'' could not be copied to ''", destination, "''"}));
}

MsgBoxRequest couldNotFlush(std::string_view folder) {
    return errorBox(concat({" Files in ''", folder, "'' could not be written to the disk"}));
}

MsgBoxRequest couldNotWriteScript(std::string_view scriptPath) {
    return errorBox(concat({" File ''", scriptPath, "'' could not be written"}));
}

MsgBoxRequest couldNotStart(std::string_view scriptPath) {
    return errorBox(concat({" File ''", scriptPath, "'' could not be started"}));
}

MsgBoxRequest driveError(int number, std::string_view description) {
    const std::string title = number == kDeviceUnavailable ? std::string(kDeviceUnavailableText)
                                                           : "Error " + std::to_string(number);
    return {concat({"Error Number :", std::to_string(number), "\r\nDescription : ", description}),
            MsgButtons::Ok, MsgIcon::Critical, title};
}

std::string filesDone(int done, int total) {
    return std::to_string(done) + " of " + std::to_string(total) + " files done";
}

MsgBoxRequest cannotRegister(std::string_view destination) {
    return errorBox(concat(
        {" File ''", destination, "'' could not be registered: its name cannot be written to a script"}));
}

MsgBoxRequest couldNotWriteRecord(std::string_view recordPath) {
    return errorBox(concat(
        {" The install record ''", recordPath, "'' could not be written; no file is replaced without it"}));
}

MsgBoxRequest inPlaceWithoutRecord(std::string_view destination, std::string_view recordPath) {
    return errorBox(concat({" File ''", destination,
                            "'' holds the HotFix, but no install of it is recorded on this machine (''",
                            recordPath, "''): it cannot be undone. Nothing was changed"}));
}

MsgBoxRequest backupWithoutRecord(std::string_view backup, std::string_view recordPath) {
    const std::string_view between =
        "'' is there, but no install of this HotFix is recorded on this machine (''";
    return errorBox(
        concat({" Backup ''", backup, between, recordPath, "''): it cannot be undone. Nothing was changed"}));
}

MsgBoxRequest changedSinceInstall(std::string_view destination) {
    return {
        concat({" File ''", destination, "'' was changed after the HotFix was applied; it is left as it is"}),
        MsgButtons::Ok, MsgIcon::Information, std::string("HotFix Installer")};
}

MsgBoxRequest backupNotOriginal(std::string_view backup, std::string_view destination) {
    return errorBox(concat({" Backup ''", backup, "'' no longer holds the original of ''", destination,
                            "''; the file is left as it is"}));
}

MsgBoxRequest couldNotRestore(std::string_view destination, std::string_view backup) {
    return errorBox(concat({" File ''", destination, "'' could not be restored from ''", backup, "''"}));
}

MsgBoxRequest couldNotRemoveBackup(std::string_view backup) {
    return errorBox(
        concat({" Backup ''", backup,
                "'' could not be removed; if a running program holds the file, close it and restore "
                "again"}));
}

MsgBoxRequest couldNotRemove(std::string_view destination) {
    return errorBox(concat({" File ''", destination, "'' that the HotFix added could not be removed"}));
}

MsgBoxRequest scriptsStillRunning(long long seconds) {
    return errorBox(concat({" The registration scripts still run after ", std::to_string(seconds),
                            " seconds; whether the libraries were registered is not known"}));
}

MsgBoxRequest notRegistered(std::string_view library, int regsvr32Code) {
    return errorBox(concat({" Library ''", library, "'' could not be registered: regsvr32 ended with ",
                            std::to_string(regsvr32Code)}));
}

MsgBoxRequest recordNotPrivate(std::string_view path, std::string_view why) {
    return errorBox(
        concat({" The install record at ''", path, "'' cannot be trusted: ", why, ". Nothing was changed"}));
}

MsgBoxRequest recordRefused(std::string_view recordPath, int line, std::string_view why) {
    return errorBox(concat({" The install record ''", recordPath, "'' cannot be used: line ",
                            std::to_string(line), " ", why, ". Nothing was changed"}));
}

MsgBoxRequest recordTooLarge(std::string_view recordPath) {
    return errorBox(
        concat({" The install record ''", recordPath,
                "'' is larger than 64 MiB, which no history of one package needs; it is not read. "
                "Nothing was changed"}));
}

} // namespace hotfix::messages
