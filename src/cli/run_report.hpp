#pragma once

#include "cli/command_line.hpp"
#include "engine/side.hpp"

#include <optional>
#include <string>
#include <vector>

namespace hotfix {
struct InstalledHotFix;
}

namespace hotfix::cli {

// What a run without a window found or did, gathered as it goes, for a tool that reads it (--json).
class RunReport {
public:
    struct File {
        Side side = Side::Product;
        std::string destination;
        // What the run would do (--check), did (--install) or what became of the file (--restore), as the
        // lines for people name it.
        std::string action;
        std::string reason;
        std::string backup;
    };
    struct Library {
        std::string path;
        // "registered", "failed", "not known" (its script did not end), or for --check "register again".
        std::string outcome;
        std::optional<int> code;
    };
    struct BadEntry {
        std::string list;
        int line = 0;
        std::string entry;
    };
    struct Holder {
        std::string name;
        unsigned long processId = 0;
        bool service = false;
    };

    std::string package;
    std::string log;
    std::vector<File> files;
    // Files a failed install put back as they were.
    std::vector<File> rolledBack;
    std::vector<Library> libraries;
    std::vector<BadEntry> badEntries;
    std::vector<Holder> holders;
    // Files held by programs that cannot be named.
    std::vector<std::string> heldFiles;
    std::vector<std::string> messages;
};

// The report as one JSON object: the mode, the exit code and what it means, and what the run gathered.
std::string reportJson(const RunReport& report, Mode mode, int exitCode);

// The hot fixes the workstation's records know of (--list --json).
std::string installedJson(const std::vector<InstalledHotFix>& fixes);

} // namespace hotfix::cli
