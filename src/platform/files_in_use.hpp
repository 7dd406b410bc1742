#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hotfix {

// Files that running programs hold open or loaded, which Windows will not let anyone replace: who holds
// them, and the replacement that waits for the next restart. Paths are Windows-style, in UTF-8, as the
// FileSystem takes them.
class FilesInUse {
public:
    virtual ~FilesInUse() = default;

    // A program holding one of the files, as the Restart Manager names it.
    struct Holder {
        unsigned long processId = 0;
        std::string name;
        // A service, rather than a program a user has open.
        bool service = false;
        // It cannot be asked to close (the system itself, or a program that registered not to be).
        bool critical = false;
    };
    // The programs holding any of the files; empty where none does or where that cannot be learned.
    virtual std::vector<Holder> holders(std::span<const std::string> paths) = 0;

    // The files that some program holds so that they cannot be replaced now, whether or not it can be named
    // (the Restart Manager names no service it cannot see into, nor any program under Wine); none where
    // that cannot be learned.
    virtual std::vector<std::string> heldFiles(std::span<const std::string> paths) {
        (void)paths;
        return {};
    }

    // Asks the programs holding the files to close, to start them again afterwards with
    // restartClosed(); false when one still holds a file (nothing is forced).
    virtual bool closeHolders(std::span<const std::string> paths) = 0;
    // Starts again what closeHolders closed; true when nothing was closed.
    virtual bool restartClosed() = 0;

    enum class Queued {
        Queued,
        // Only an administrator may change what the system does at its start.
        NeedsAdministrator,
        Failed,
    };
    // Has the system rename from over to at its next start, before any program may hold to. from must be
    // complete and durable already.
    virtual Queued replaceAtRestart(std::string_view from, std::string_view to) = 0;
    // Takes back every rename at restart of from; true when none is left waiting.
    virtual bool cancelAtRestart(std::string_view from) = 0;
    // The file that the last rename queued onto to puts there at the next restart; nothing where none
    // waits.
    virtual std::optional<std::string> replacementWaiting(std::string_view to) {
        (void)to;
        return std::nullopt;
    }

    // Has the system run the command line once, as the next administrator to log on, after the next
    // restart; the name tells it apart from other such commands, and a command of the same name is
    // replaced.
    virtual bool runAfterRestart(std::string_view name, std::string_view commandLine) = 0;
    // Takes back a command of that name; true when none is left waiting.
    virtual bool cancelRunAfterRestart(std::string_view name) = 0;
};

} // namespace hotfix
