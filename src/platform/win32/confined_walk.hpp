#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace hotfix::win32 {

// One folder or file opened by its own name (a link or junction there is opened, not followed) and held
// for as long as anybody keeps hold; or the Windows error where it could not be opened.
struct OpenedItem {
    std::shared_ptr<void> hold;
    bool reparsePoint = false;
    unsigned long error = 0;
};
// Opens the item at a full path so, letting nobody rename or remove it while it is held.
using ItemOpener = std::function<OpenedItem(const std::wstring& path)>;
// The system's ItemOpener.
OpenedItem openHeld(const std::wstring& path);

// How much of a path a walk opens: the folders that hold its last name, or the last name too, for the calls
// that would follow a link there.
enum class Reach { Folders, LastName };

// The folders below the roots a run works in, opened one level at a time from the root down and held while
// an operation acts: a link or junction at any level refuses the operation, and none can be swapped in
// before the holds are let go, as a held folder cannot be renamed or removed. A root itself is taken as its
// path leads; paths outside every root are not walked.
class ConfinedWalk {
public:
    explicit ConfinedWalk(ItemOpener open)
        : m_open(std::move(open)) {}

    // Full paths, in the "\\?\" form or not; they replace the roots given before.
    void confineBelow(std::vector<std::wstring> roots);

    struct Held {
        enum class Outcome { Passed, Link, Failed };
        Outcome outcome = Outcome::Passed;
        // The item that is a link or could not be opened, and the error of that open.
        std::wstring at;
        unsigned long error = 0;
        std::vector<std::shared_ptr<void>> holds;
        explicit operator bool() const { return outcome == Outcome::Passed; }
    };
    Held hold(const std::wstring& path, Reach reach);

private:
    // Where below its deepest root the path's own names start (the separator after the root); npos outside
    // every root.
    std::size_t belowRoot(const std::wstring& path) const;
    // Opens one level; false (and held told why, its holds let go) where the walk must stop.
    bool openLevel(const std::wstring& item, Held& held);

    ItemOpener m_open;
    // Guarded: a script's exit handler may reach the file system from another thread.
    mutable std::mutex m_mutex;
    std::vector<std::wstring> m_roots;
};

} // namespace hotfix::win32
