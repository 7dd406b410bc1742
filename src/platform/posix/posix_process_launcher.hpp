#pragma once

#include "platform/platform_services.hpp"
#include "platform/posix/posix_path_resolver.hpp"
#include "platform/process_launcher.hpp"

#include <string>

namespace hotfix::posix {

// Runs a registration script through Wine's own command interpreter, "wine cmd /d /c <script's name>" in the
// script's folder, with WINEPREFIX set to the prefix. The installer does not wait: a thread of
// the launcher waits for the interpreter and then hands onExit to the poster (or runs it itself when there is
// none). The interpreter runs in a session of its own, without the installer's terminal, and is never
// stopped by the launcher, so it goes on when the installer closes.
//
// startScript starts nothing and returns false, so that the caller removes the script at once, when no
// wine program was found (there is no regsvr32 to run), when the prefix does not exist (Wine would make a
// new one just to run the script), or when no drive of the prefix holds the script (Wine could not name
// it).
class PosixProcessLauncher final : public ProcessLauncher {
public:
    PosixProcessLauncher(WinePrefix prefix, std::string wineProgram, CallbackPoster post);

    bool startScript(const std::string& scriptPath, ExitHandler onExit) override;

    // The first program named wine on the PATH; empty when there is none.
    static std::string findWine();

private:
    PosixPathResolver m_paths;
    std::string m_wine;
    CallbackPoster m_post;
};

} // namespace hotfix::posix
