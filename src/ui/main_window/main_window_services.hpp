#pragma once

#include "engine/date_suffix.hpp"

#include <chrono>
#include <functional>
#include <string>

namespace hotfix {

class RunLock;

class CodePageCodec;
class FileSystem;
class FilesInUse;
class FolderBrowser;
class MsgBox;
class ProcessLauncher;
class RegistryApi;
class SettingsStore;

// The current local date and time.
LocalDateTime localNow();

// Ends the program at once: every event loop returns, and no window is asked to close.
void endProgramNow();

// Everything the main window and its dialogs reach the machine through.
struct MainWindowServices {
    std::string programFolder;
    FileSystem& fs;
    // The workstation's code pages, for the list files and the scripts.
    const CodePageCodec& codePages;
    MsgBox& msgBox;
    RegistryApi& registry;
    SettingsStore& settings;
    ProcessLauncher& launcher;
    FolderBrowser& folderBrowser;
    // The date and time that a date suffix is made of.
    std::function<LocalDateTime()> clock = localNow;
    std::function<void()> endProgram = endProgramNow;
    // Measures how long an install has run; it never goes back, whatever the user does to the date.
    std::function<std::chrono::steady_clock::time_point()> steadyClock = std::chrono::steady_clock::now;
    // Where installs are recorded so that they can be undone; empty keeps no record.
    std::string recordFolder = {};
    // One install at a time on the machine; none where nothing else can run.
    RunLock* runLock = nullptr;
    // Who holds listed files, and replacement at restart; none where nothing is ever held.
    FilesInUse* filesInUse = nullptr;
    // The program folder as the host's own file calls name it, for the read-me page; empty where that is
    // programFolder itself (on Linux programFolder is the Windows name Wine gives the folder).
    std::string hostProgramFolder = {};
};

} // namespace hotfix
