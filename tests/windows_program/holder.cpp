// Plays a running program that holds files: keeps one library loaded and one data file open to read, sharing
// it for reading only, so that no one may write, rename or delete either while it runs. It says it holds
// them by making the ready file, and lets go once the stop file appears. Given a mutex's name, it owns that
// mutex too, as another install does the installer's.
//   holder.exe <library> <data file> <ready file> <stop file> [<mutex>]
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <thread>
#include <windows.h>

namespace {

using Clock = std::chrono::steady_clock;

// A test that forgot to stop it must not leave it behind for ever.
constexpr auto kStopTimeout = std::chrono::seconds(300);
constexpr auto kPoll = std::chrono::milliseconds(100);

void say(const wchar_t* what, const wchar_t* path) {
    std::fwprintf(stderr, L"holder: %ls %ls (error %lu)\n", what, path, ::GetLastError());
    std::fflush(stderr);
}

bool exists(const wchar_t* path) {
    return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5 && argc != 6) {
        std::fwprintf(stderr,
                      L"usage: holder.exe <library> <data file> <ready file> <stop file> [<mutex>]\n");
        return 2;
    }
    HANDLE mutex = argc == 6 ? ::CreateMutexW(nullptr, TRUE, argv[5]) : nullptr;
    if (argc == 6 && (mutex == nullptr || ::GetLastError() == ERROR_ALREADY_EXISTS)) {
        say(L"cannot own", argv[5]);
        return 1;
    }
    HMODULE library = ::LoadLibraryW(argv[1]);
    if (library == nullptr) {
        say(L"cannot load", argv[1]);
        return 1;
    }
    HANDLE data = ::CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (data == INVALID_HANDLE_VALUE) {
        say(L"cannot open", argv[2]);
        return 1;
    }
    HANDLE ready =
        ::CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) {
        say(L"cannot make", argv[3]);
        return 1;
    }
    ::CloseHandle(ready);

    const auto end = Clock::now() + kStopTimeout;
    while (!exists(argv[4])) {
        if (Clock::now() >= end) {
            say(L"was never told to stop by", argv[4]);
            return 1;
        }
        std::this_thread::sleep_for(kPoll);
    }
    ::CloseHandle(data);
    ::FreeLibrary(library);
    if (mutex != nullptr) {
        ::ReleaseMutex(mutex);
        ::CloseHandle(mutex);
    }
    return 0;
}
