#include "platform/console.hpp"
#include "platform/win32/win32_text.hpp"

#include <cstdio>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

namespace hotfix {

std::vector<std::string> programArguments(int, char**) {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* const wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) {
        return arguments;
    }
    for (int i = 1; i < count; ++i) {
        arguments.push_back(win32::narrow(wide[i]));
    }
    ::LocalFree(wide);
    return arguments;
}

namespace {

// A handle the program can write to: given by whoever started it (a pipe, a file, a console).
bool usable(DWORD which) {
    const HANDLE handle = ::GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

} // namespace

void useParentConsole() {
    const bool output = usable(STD_OUTPUT_HANDLE);
    const bool error = usable(STD_ERROR_HANDLE);
    if ((output && error) || !::AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    // The messages are UTF-8; the console shows them as such.
    ::SetConsoleOutputCP(CP_UTF8);
    if (!output) {
        std::freopen("CONOUT$", "w", stdout);
    }
    if (!error) {
        std::freopen("CONOUT$", "w", stderr);
    }
}

bool errorStreamIsTerminal() {
    return ::_isatty(::_fileno(stderr)) != 0;
}

} // namespace hotfix
