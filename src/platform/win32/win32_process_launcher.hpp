#pragma once

#include "platform/platform_services.hpp"
#include "platform/process_launcher.hpp"

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hotfix::win32 {

// Starts cmd on a script through CreateProcessW, minimized, and keeps the process handle. One waiting
// thread, started with the first script, learns when each interpreter ends and hands its exit handler to
// the poster (or runs it itself without one). Destroying the launcher neither waits for nor stops the
// scripts; handlers of scripts still running then never run.
class Win32ProcessLauncher final : public ProcessLauncher {
public:
    Win32ProcessLauncher(std::wstring interpreter, CallbackPoster post);
    ~Win32ProcessLauncher() override;
    Win32ProcessLauncher(const Win32ProcessLauncher&) = delete;
    Win32ProcessLauncher& operator=(const Win32ProcessLauncher&) = delete;

    bool startScript(const std::string& scriptPath, ExitHandler onExit) override;

    // How the interpreter is started on a script: in the script's folder, with the script's bare name on the
    // command line, quoted, so that no "&", "(", ")" or "%" of the folder reaches cmd's command line, where
    // cmd would act on them; /s makes cmd take the quotes exactly as given, /d skips AutoRun commands. A
    // network folder cannot be cmd's working folder; there the command line names the whole path and the
    // folder is left empty.
    struct Start {
        std::wstring commandLine;
        std::wstring folder;
    };
    static Start startOf(const std::wstring& interpreter, const std::wstring& script);

private:
    struct Running {
        void* process; // HANDLE
        ExitHandler onExit;
    };

    void waitForExits();

    std::wstring m_interpreter;
    CallbackPoster m_post;
    std::mutex m_mutex;
    std::vector<Running> m_running;
    bool m_stopping = false;
    void* m_wake = nullptr; // auto-reset event: the list changed, or the launcher goes
    std::thread m_waiter;
};

} // namespace hotfix::win32
