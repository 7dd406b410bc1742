#include "platform/win32/win32_process_launcher.hpp"

#include "platform/win32/win32_path_resolver.hpp"
#include "platform/win32/win32_text.hpp"

#include <algorithm>
#include <windows.h>

namespace hotfix::win32 {

Win32ProcessLauncher::Win32ProcessLauncher(std::wstring interpreter, CallbackPoster post)
    : m_interpreter(std::move(interpreter))
    , m_post(std::move(post))
    , m_wake(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

Win32ProcessLauncher::~Win32ProcessLauncher() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    if (m_waiter.joinable()) {
        ::SetEvent(m_wake);
        m_waiter.join();
    }
    for (const Running& running : m_running) {
        ::CloseHandle(running.process);
    }
    if (m_wake != nullptr) {
        ::CloseHandle(m_wake);
    }
}

Win32ProcessLauncher::Start Win32ProcessLauncher::startOf(const std::wstring& interpreter,
                                                          const std::wstring& script) {
    // /d: no AutoRun command of the machine or user runs first, which might change the working folder.
    const std::wstring interpreterText = L"\"" + interpreter + L"\" /d /s /c \"\"";
    const auto separator = script.rfind(L'\\');
    if (script.starts_with(L"\\\\") || separator == std::wstring::npos) {
        return {interpreterText + script + L"\"\"", {}};
    }
    // "C:\Register.bat" runs in "C:\", the root, which needs its separator.
    const std::wstring folder = script.substr(0, separator == 2 ? 3 : separator);
    return {interpreterText + script.substr(separator + 1) + L"\"\"", folder};
}

bool Win32ProcessLauncher::startScript(const std::string& scriptPath, ExitHandler onExit) {
    if (m_wake == nullptr) {
        return false;
    }
    const auto wideScript = widen(scriptPath);
    if (!wideScript) {
        return false;
    }
    Start start = startOf(m_interpreter, collapseSeparators(*wideScript));

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    // Minimized, and never activated: the box that says how the install went keeps the keyboard, which a
    // console that took the foreground and then ended would leave with no window at all.
    startup.wShowWindow = SW_SHOWMINNOACTIVE;
    PROCESS_INFORMATION process{};
    // A console of its own: the window style applies to it, and the script outlives the installer.
    if (!::CreateProcessW(m_interpreter.c_str(), start.commandLine.data(), nullptr, nullptr, FALSE,
                          CREATE_NEW_CONSOLE, nullptr, start.folder.empty() ? nullptr : start.folder.c_str(),
                          &startup, &process)) {
        return false;
    }
    ::CloseHandle(process.hThread);
    {
        const std::lock_guard lock(m_mutex);
        m_running.push_back({process.hProcess, std::move(onExit)});
        if (!m_waiter.joinable()) {
            m_waiter = std::thread([this] { waitForExits(); });
        }
    }
    ::SetEvent(m_wake);
    return true;
}

void Win32ProcessLauncher::waitForExits() {
    std::vector<HANDLE> handles;
    for (;;) {
        handles.assign(1, m_wake);
        {
            const std::lock_guard lock(m_mutex);
            if (m_stopping) {
                return;
            }
            // One wait takes at most 64 handles; any further scripts are waited for once these have ended.
            const std::size_t count = std::min<std::size_t>(m_running.size(), MAXIMUM_WAIT_OBJECTS - 1);
            for (std::size_t i = 0; i < count; ++i) {
                handles.push_back(m_running[i].process);
            }
        }
        const DWORD signalled =
            ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
        if (signalled == WAIT_FAILED) {
            return;
        }
        if (signalled == WAIT_OBJECT_0 || signalled >= WAIT_OBJECT_0 + handles.size()) {
            continue;
        }
        const HANDLE ended = handles[signalled - WAIT_OBJECT_0];
        ExitHandler onExit;
        {
            const std::lock_guard lock(m_mutex);
            const auto it = std::find_if(m_running.begin(), m_running.end(), [ended](const Running& running) {
                return running.process == ended;
            });
            onExit = std::move(it->onExit);
            m_running.erase(it);
            if (m_stopping) {
                ::CloseHandle(ended);
                return;
            }
        }
        DWORD exitCode = 0;
        const int code = ::GetExitCodeProcess(ended, &exitCode) ? static_cast<int>(exitCode) : -1;
        ::CloseHandle(ended);
        if (!onExit) {
            continue;
        }
        if (m_post) {
            m_post([onExit = std::move(onExit), code] { onExit(code); });
        } else {
            onExit(code);
        }
    }
}

} // namespace hotfix::win32
