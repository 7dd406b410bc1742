#include "platform/win32/win32_test_tools.hpp"

#include <array>
#include <thread>
#include <windows.h>

namespace hotfix::test {

std::optional<unsigned long> runAndWait(const std::wstring& program, const std::wstring& arguments,
                                        std::chrono::milliseconds timeout) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    // What the tools print would only bury the tests' own output.
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inheritable, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                          nullptr, nullptr, &startup, &process);
    ::CloseHandle(nul);
    if (!started) {
        return std::nullopt;
    }
    ::CloseHandle(process.hThread);
    std::optional<unsigned long> exitCode;
    if (::WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (::GetExitCodeProcess(process.hProcess, &code)) {
            exitCode = code;
        }
    }
    ::CloseHandle(process.hProcess);
    return exitCode;
}

bool reg(const std::wstring& arguments) {
    return runAndWait(systemFolder() + L"\\reg.exe", arguments) == 0ul;
}

std::wstring systemFolder() {
    std::array<wchar_t, MAX_PATH> buffer{};
    const UINT length = ::GetSystemDirectoryW(buffer.data(), MAX_PATH);
    return std::wstring(buffer.data(), length);
}

std::filesystem::path executableFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return std::filesystem::path(path).parent_path();
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::wstring longForm(const std::filesystem::path& path) {
    return L"\\\\?\\" + path.wstring();
}

} // namespace hotfix::test
