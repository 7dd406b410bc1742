// Plays the technician at the real program: starts it from its package folder, waits for its window, presses
// Alt+I, and answers each message box with Enter once its title and text are the expected ones. Every wait
// is bounded and every failure says what was seen instead.
//   technician.exe <program> <title>|<text> [<title>|<text> ...]
// The boxes are named in the order they must come; after the last one the program must end by itself.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const wchar_t* kMainTitle = L" HotFix Installer";
constexpr auto kStartTimeout = std::chrono::seconds(45);
constexpr auto kBoxTimeout = std::chrono::seconds(30);
constexpr auto kFocusTimeout = std::chrono::seconds(10);
constexpr auto kEndTimeout = std::chrono::seconds(20);

struct Box {
    std::wstring title;
    std::wstring text;
};

void say(const std::wstring& line) {
    std::fwprintf(stderr, L"technician: %ls\n", line.c_str());
    std::fflush(stderr);
}

bool waitUntil(const std::function<bool()>& condition, Clock::duration timeout) {
    const auto end = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::wstring titleOf(HWND window) {
    std::wstring title(512, L'\0');
    const int length = ::GetWindowTextW(window, title.data(), static_cast<int>(title.size()));
    title.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    return title;
}

struct Search {
    DWORD process;
    std::vector<HWND> found;
};

// The process's visible top-level windows.
std::vector<HWND> windowsOf(DWORD process) {
    Search search{process, {}};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& wanted = *reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == wanted.process && ::IsWindowVisible(window) != FALSE) {
                wanted.found.push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void sendKeys(std::initializer_list<WORD> chord) {
    std::vector<INPUT> inputs;
    for (const WORD key : chord) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (auto it = chord.end(); it != chord.begin();) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *--it;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Keys go where the focus is, and a technician cannot put it anywhere: the program must bring each of its
// windows to the front by itself.
bool inFront(HWND window) {
    return waitUntil([window] { return ::GetForegroundWindow() == window; }, kFocusTimeout);
}

std::wstring clipboardText() {
    std::wstring text;
    if (::OpenClipboard(nullptr) == FALSE) {
        return text;
    }
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
            text = chars;
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

// A message box puts its title, text and buttons on the clipboard on Ctrl+C. The clipboard is opened only
// once the box has written it (its sequence number moves): opened while the box writes, it would make the
// box's write fail. On a busy machine the keys may miss the box, which is then asked again.
std::wstring boxText(HWND box) {
    std::wstring text;
    waitUntil(
        [&] {
            if (::IsWindow(box) == FALSE) {
                return true;
            }
            if (::GetForegroundWindow() != box) {
                return false;
            }
            const DWORD before = ::GetClipboardSequenceNumber();
            sendKeys({VK_CONTROL, 'C'});
            if (waitUntil([before] { return ::GetClipboardSequenceNumber() != before; },
                          std::chrono::milliseconds(1500))) {
                text = clipboardText();
            }
            return !text.empty();
        },
        std::chrono::seconds(20));
    return text;
}

// The box's copied text on one line for the log: its parts without the rules between them.
std::wstring oneLine(const std::wstring& text) {
    std::wstring line;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        end = end == std::wstring::npos ? text.size() : end;
        std::wstring part = text.substr(start, end - start);
        while (!part.empty() && (part.back() == L'\r' || part.back() == L' ')) {
            part.pop_back();
        }
        if (!part.empty() && part.find_first_not_of(L'-') != std::wstring::npos) {
            line += (line.empty() ? L"" : L" / ") + part;
        }
        start = end + 1;
    }
    return line;
}

class Program {
public:
    explicit Program(const std::wstring& path) {
        const std::wstring folder = path.substr(0, path.find_last_of(L"\\/"));
        std::wstring commandLine = L"\"" + path + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        if (::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             folder.c_str(), &startup, &m_info) == FALSE) {
            say(L"could not start " + path + L" (error " + std::to_wstring(::GetLastError()) + L")");
            m_info = {};
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program() {
        if (m_info.hProcess == nullptr) {
            return;
        }
        if (running()) {
            say(L"the program is still running: ending it");
            ::TerminateProcess(m_info.hProcess, 1);
            ::WaitForSingleObject(m_info.hProcess, 5000);
        }
        ::CloseHandle(m_info.hThread);
        ::CloseHandle(m_info.hProcess);
    }

    bool started() const { return m_info.hProcess != nullptr; }
    bool running() const { return ::WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT; }
    DWORD id() const { return m_info.dwProcessId; }
    DWORD exitCode() const {
        DWORD code = 0;
        ::GetExitCodeProcess(m_info.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION m_info{};
};

// The first visible window of the program that is a box. An install that takes longer than a second, as on
// a busy machine, shows its progress in a window titled as the main window, which is no box: it goes when
// the install ends.
HWND waitForBox(const Program& program, HWND mainWindow) {
    HWND box = nullptr;
    bool progressSeen = false;
    waitUntil(
        [&] {
            for (HWND window : windowsOf(program.id())) {
                const std::wstring title = titleOf(window);
                if (window == mainWindow || title.empty()) {
                    continue;
                }
                if (title == kMainTitle) {
                    if (!progressSeen) {
                        say(L"the progress window is up");
                        progressSeen = true;
                    }
                    continue;
                }
                box = window;
                return true;
            }
            return !program.running();
        },
        kBoxTimeout);
    return box;
}

bool answer(const Program& program, HWND mainWindow, const Box& expected) {
    HWND box = waitForBox(program, mainWindow);
    if (box == nullptr) {
        say(L"no box \"" + expected.title + L"\" within " + std::to_wstring(kBoxTimeout.count()) + L" s" +
            (program.running() ? L"" : L"; the program has ended"));
        return false;
    }
    const std::wstring title = titleOf(box);
    if (!inFront(box)) {
        say(L"the box \"" + title + L"\" is not in front; in front: \"" + titleOf(::GetForegroundWindow()) +
            L"\"");
        return false;
    }
    const std::wstring text = boxText(box);
    say(L"box \"" + title + L"\": " + oneLine(text));
    if (title != expected.title || text.find(expected.text) == std::wstring::npos) {
        say(L"expected the box \"" + expected.title + L"\" saying \"" + expected.text + L"\"");
        return false;
    }
    if (!inFront(box)) {
        say(L"the box \"" + title + L"\" left the front after its text was copied");
        return false;
    }
    sendKeys({VK_RETURN});
    if (!waitUntil([box] { return ::IsWindow(box) == FALSE || ::IsWindowVisible(box) == FALSE; },
                   kBoxTimeout)) {
        HWND front = ::GetForegroundWindow();
        say(L"the box \"" + title + L"\" stayed open after Enter; in front: \"" + titleOf(front) + L"\"" +
            (front == box ? L" (the box)" : L""));
        return false;
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        say(L"usage: technician <program> <title>|<text>...");
        return 2;
    }
    std::vector<Box> boxes;
    for (int i = 2; i < argc; ++i) {
        const std::wstring expected = argv[i];
        const auto bar = expected.find(L'|');
        boxes.push_back(
            {expected.substr(0, bar), bar == std::wstring::npos ? L"" : expected.substr(bar + 1)});
    }

    Program program(argv[1]);
    if (!program.started()) {
        return 1;
    }
    HWND mainWindow = nullptr;
    const auto started = Clock::now();
    waitUntil(
        [&] {
            mainWindow = ::FindWindowW(nullptr, kMainTitle);
            return mainWindow != nullptr || !program.running();
        },
        kStartTimeout);
    if (mainWindow == nullptr) {
        say(program.running()
                ? L"no window \" HotFix Installer\" within " + std::to_wstring(kStartTimeout.count()) + L" s"
                : L"the program ended with " + std::to_wstring(program.exitCode()) +
                      L" before showing its window");
        return 1;
    }
    say(L"window up after " +
        std::to_wstring(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count()) +
        L" ms");
    if (!inFront(mainWindow)) {
        say(L"the window did not come to the front by itself");
        return 1;
    }
    sendKeys({VK_MENU, 'I'});
    for (const Box& box : boxes) {
        if (!answer(program, mainWindow, box)) {
            return 1;
        }
    }
    if (!waitUntil([&] { return !program.running(); }, kEndTimeout)) {
        say(L"the program did not end after the last box");
        return 1;
    }
    say(L"the program ended with " + std::to_wstring(program.exitCode()));
    return program.exitCode() == 0 ? 0 : 1;
}
